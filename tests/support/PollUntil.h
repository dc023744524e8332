// Waiting for a condition that nothing announces: a file's contents, a
// listening socket, a process's state.
#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// Polls the condition every 10 ms, at most timeoutMs: true once it holds.
inline bool PollUntil(int timeoutMs, const std::function<bool()>& condition) {
  for (int waited = 0; !condition(); waited += 10) {
    if (waited >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace testsupport
