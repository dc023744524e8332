// Included once by each fuzz target that runs the real engine. SpiderMonkey
// keeps blocks that only its garbage-collected heap points to, and the leak
// checker does not look there, so every input would seem to leak them:
// - blocks the engine allocated are left out of leak reports (the engine
//   frees them when the process ends, where the leak check still runs);
// - libFuzzer checks no single input for leaks (each such check costs as much
//   as a few dozen inputs); "-detect_leaks=1" given later still turns it on.
#pragma once
#include <vector>

extern "C" const char* __lsan_default_suppressions() { return "leak:libmozjs\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static char noLeakChecks[] = "-detect_leaks=0";
  static std::vector<char*> arguments;
  arguments.assign(*argv, *argv + *argc);
  arguments.insert(arguments.begin() + 1, noLeakChecks);
  arguments.push_back(nullptr);
  *argc = static_cast<int>(arguments.size()) - 1;
  *argv = arguments.data();
  return 0;
}
