// Waiting for a condition that nothing announces: a file's contents, a
// listening socket, a process's state.
#pragma once
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// Polls the condition every 10 ms until it holds (true) or timeoutMs have
// passed since the call, the time the condition itself takes included.
inline bool PollUntil(int timeoutMs, const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace testsupport
