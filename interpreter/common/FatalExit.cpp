#include "interpreter/common/FatalExit.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace quorvane {
namespace {
std::function<void()>& StopHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void SetStopHook(std::function<void()> hook) { StopHook() = std::move(hook); }

void FatalExit(const std::string& message, int status, FatalStream stream) {
  (stream == FatalStream::kStderr ? std::cerr : std::cout) << message << std::endl;
  std::function<void()> hook;
  hook.swap(StopHook());  // taken out first: a fatal error inside the hook cannot re-enter it
  if (hook) hook();
  std::cout.flush();
  std::fflush(nullptr);
  std::exit(status);
}

}  // namespace quorvane
