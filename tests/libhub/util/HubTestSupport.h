// Shared by the hub library's tests: the library's statics are initialised
// before any test runs (death tests re-run the program, so threads left by
// other tests do not matter), and a watchdog that fails a hanging test.
#pragma once
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/CaptureStdout.h"

namespace hubtest {

// Ends the test program with a message when it is not destroyed within
// `timeoutMs`: a hang fails fast instead of blocking the run.
class Watchdog {
 public:
  explicit Watchdog(int timeoutMs);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;
  std::thread thread_;
};

// Captures descriptor 1 as testsupport::CaptureStdout does, with the library's
// console (Console.h) written out at both ends: Take gives what was printed
// meanwhile.
class CaptureConsole {
 public:
  CaptureConsole();
  std::string Take();

 private:
  std::optional<testsupport::CaptureStdout> capture_;
};

// Polls `condition` every millisecond for at most `timeoutMs`: true once it holds.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000);

// The text a printf-style format and its arguments give, of any length: what
// a printer installed by a test shows.
inline std::string FormatText(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? length : 0, '\0');
  vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

// The library's whole usage text for the program name, as "-help" prints it.
std::string Usage(const std::string& program);

}  // namespace hubtest
