// Included once by each fuzz target that runs the real engine. SpiderMonkey is
// built without frame pointers, so the sanitizers' fast unwinding reads junk
// beyond its first frame, and it keeps blocks that only its garbage-collected
// heap points to, where the leak checker does not look. Hence:
// - allocation stacks keep two frames: every junk stack would otherwise be
//   stored as a new one, and memory would grow past the 1 GB limit within
//   minutes;
// - blocks the engine allocated are left out of leak reports (the engine
//   frees them when the process ends, where the leak check still runs);
// - libFuzzer checks no single input for leaks (each check costs as much as a
//   few dozen inputs); "-detect_leaks=1" given later still turns it on.
#pragma once
#include <vector>

extern "C" const char* __asan_default_options() { return "malloc_context_size=2"; }

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
