// A small host of libMavette.so for process tests: runs the steps given as
// arguments, in order, in one process, and writes one line per command on
// standard output.
//   init             EEinit
//   destroy          EEdestroy
//   run:<script>     EEcommandN into a 10000-byte buffer that holds
//                    "<untouched>" before the call; prints "<code>\t<buffer>"
//   var:<name>       EEcreateVar without a value; prints "<code>"
//   var:<name>=<v>   EEcreateVar with the value v; prints "<code>"
//   limit:<ms>       EEsetTimeLimit(ms)
//   timedout         prints "timed out <EEtimedOut()>"
//   memoryreset      prints "memory reset <EEmemoryReset()>"
//   heapunder:<MiB>  waits (at most 10 s) for the process's allocator to
//                    hold less than MiB; prints "heap under <MiB> MiB", or
//                    "heap over <MiB> MiB" when it did not
//   cap:<MiB>        caps the process's data memory (RLIMIT_DATA), so that
//                    an engine that lets a script grow fails fast; nothing
//                    under AddressSanitizer, whose shadow memory is data
//   exit:<n>         exit(n) on the spot
// Returning from main after the last step ends the process through exit too.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "ecmascript_engine/Mavette.h"
#include "platform/HeapUsage.h"

namespace {

constexpr char kUntouched[] = "<untouched>";

void Run(const std::string& script) {
  static char buffer[10000];
  std::strcpy(buffer, kUntouched);
  int code = EEcommandN(script.c_str(), buffer, sizeof buffer);
  std::printf("%d\t%s\n", code, buffer);
}

void CreateVar(const std::string& definition) {
  std::string::size_type equals = definition.find('=');
  std::string name = definition.substr(0, equals);
  int code = equals == std::string::npos
                 ? EEcreateVar(name.c_str(), nullptr)
                 : EEcreateVar(name.c_str(), definition.c_str() + equals + 1);
  std::printf("%d\n", code);
}

bool StartsWith(const std::string& text, const char* head, std::string* rest) {
  std::size_t length = std::strlen(head);
  if (text.compare(0, length, head) != 0) return false;
  *rest = text.substr(length);
  return true;
}

void CapDataMemory(const std::string& mebibytes) {
#if !defined(__SANITIZE_ADDRESS__)
  const rlim_t bytes = static_cast<rlim_t>(std::atoi(mebibytes.c_str())) << 20;
  const struct rlimit cap = {bytes, bytes};
  if (setrlimit(RLIMIT_DATA, &cap) != 0) std::perror("setrlimit");
#else
  (void)mebibytes;
#endif
}

// The engine's helper threads may still be freeing what a collection left.
void HeapUnder(const std::string& mebibytes) {
  const std::size_t bytes = static_cast<std::size_t>(std::atoi(mebibytes.c_str())) << 20;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (platform::HeapBytesInUse() >= bytes && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::printf("heap %s %s MiB\n", platform::HeapBytesInUse() < bytes ? "under" : "over",
              mebibytes.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string step = argv[i];
    std::string rest;
    std::fflush(stdout);
    if (step == "init") {
      EEinit();
    } else if (step == "destroy") {
      EEdestroy();
    } else if (StartsWith(step, "run:", &rest)) {
      Run(rest);
    } else if (StartsWith(step, "var:", &rest)) {
      CreateVar(rest);
    } else if (StartsWith(step, "limit:", &rest)) {
      EEsetTimeLimit(static_cast<unsigned>(std::atoi(rest.c_str())));
    } else if (step == "timedout") {
      std::printf("timed out %d\n", EEtimedOut());
    } else if (step == "memoryreset") {
      std::printf("memory reset %d\n", EEmemoryReset());
    } else if (StartsWith(step, "heapunder:", &rest)) {
      HeapUnder(rest);
    } else if (StartsWith(step, "cap:", &rest)) {
      CapDataMemory(rest);
    } else if (StartsWith(step, "exit:", &rest)) {
      std::exit(std::atoi(rest.c_str()));
    } else {
      std::fprintf(stderr, "unknown step: %s\n", step.c_str());
      return 2;
    }
  }
  return 0;
}
