// The one way the dialog manager server ends on a fatal condition. The message
// goes to the console; when a dialogue has begun, the stop hook that the
// dialogue session installed runs first (it tells the peer "Koniec dialogu" and
// archives the logs), then the process exits with the given status.
#pragma once
#include <functional>
#include <string>

namespace quorvane {

// Installs (or, with an empty function, removes) the hook that ends a running
// dialogue. It runs at most once, even when it fails fatally itself. A hook
// that throws leaves FatalExit by its exception, so the process goes on: a
// fuzz target does so, so that a fatal document ends only its input.
void SetStopHook(std::function<void()> hook);

// Where a fatal message is printed.
enum class FatalStream { kStdout, kStderr };

// Prints the message and a line end (on standard output unless told
// otherwise), runs the stop hook, flushes, and exits with the status. Never
// returns.
[[noreturn]] void FatalExit(const std::string& message, int status = 0,
                            FatalStream stream = FatalStream::kStdout);

}  // namespace quorvane
