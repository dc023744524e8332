#include "libhub/util/Console.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

namespace {

constexpr size_t kConsoleSize = 64 * 1024;
static_assert(std::atomic<size_t>::is_always_lock_free, "a signal handler reads the counts");

// The text not yet written is g_text[g_written, g_held); a message is
// counted in g_held only once it is whole.
char g_text[kConsoleSize];
std::atomic<size_t> g_held{0};
std::atomic<size_t> g_written{0};
std::mutex g_lock;  // one thread at a time adds or writes

// Who writes to standard output: nobody, a thread (one piece after another),
// or the signal handler that ends the process, after which nobody else does.
enum WriterState : int { kIdle, kWriting, kEnding };
std::atomic<int> g_writer{kIdle};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler takes the writer's state");

// Whether this thread is writing a piece (set around the writer's state), and
// the ending a signal handler left to it: the signal and what ends on it.
thread_local __attribute__((tls_model("initial-exec"))) volatile sig_atomic_t t_writing = 0;
std::atomic<int> g_deferredSignal{0};
std::atomic<void (*)(int)> g_deferredEnd{nullptr};

// How long a signal handler waits for another thread's piece to go out before
// it ends the process without the console (standard output does not drain).
constexpr int kEndingWaitMillis = 2000;

// Writes text[written, end) to standard output, counting each piece in
// `written` as soon as it went out; stops at a failure (the rest is lost),
// and at an interruption once an ending waits. Only write(2), so a signal
// handler may use it.
template <typename Count>
void WriteOut(const char* text, Count& written, size_t end) {
  while (written < end) {
    ssize_t count = write(STDOUT_FILENO, text + written, end - written);
    if (count < 0 && errno == EINTR && g_deferredSignal == 0) continue;
    if (count <= 0) return;
    written += static_cast<size_t>(count);
  }
}

// Writes text[written, end) as a thread's writer; nothing once a handler ends
// the process (it writes what is left). A piece counts as written only once
// write(2) has returned: a signal handler on this thread meanwhile leaves the
// ending to it, which comes once the piece is counted; one on another thread
// waits for the piece.
template <typename Count>
void WriteAsThread(const char* text, Count& written, size_t end) {
  if (written >= end) return;
  t_writing = 1;
  int idle = kIdle;
  if (g_writer.compare_exchange_strong(idle, kWriting)) {
    WriteOut(text, written, end);
    g_writer = kIdle;
  }
  t_writing = 0;
  if (const int signal = g_deferredSignal.exchange(0)) g_deferredEnd.load()(signal);
}

// For the handler: takes standard output from the threads, once the piece
// another thread writes has gone out. False when another handler has it, or
// when the piece does not go out in time.
bool TakeForEnding() {
  const timespec millisecond = {0, 1000000L};
  for (int waited = 0;; ++waited) {
    int idle = kIdle;
    if (g_writer.compare_exchange_strong(idle, kEnding)) return true;
    if (idle == kEnding || waited == kEndingWaitMillis) return false;
    nanosleep(&millisecond, nullptr);
  }
}

// Under g_lock. The held count is emptied before the written one, so that a
// signal between the two finds nothing left to write.
void FlushLocked() {
  WriteAsThread(g_text, g_written, g_held.load());
  g_held = 0;
  g_written = 0;
}

// Formats the message into out (at most size bytes with the NUL): its whole
// length, or -1. The arguments stay for another try.
int Format(char* out, size_t size, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = vsnprintf(out, size, format, copy);
  va_end(copy);
  return length;
}

// The text at the end of the process, also when it ends by exit.
struct FlushAtExit {
  ~FlushAtExit() { HubUtil_ConsoleFlush(); }
} g_flushAtExit;

}  // namespace

void HubUtil_ConsoleVPrint(const char* format, va_list args) {
  std::lock_guard<std::mutex> lock(g_lock);
  size_t held = g_held;
  int length = Format(g_text + held, kConsoleSize - held, format, args);
  if (length < 0) return;
  if (held + length < kConsoleSize) {
    g_held = held + length;
    return;
  }
  FlushLocked();
  if (static_cast<size_t>(length) < kConsoleSize) {
    g_held = Format(g_text, kConsoleSize, format, args);
    return;
  }
  std::string text(length, '\0');
  Format(text.data(), text.size() + 1, format, args);
  size_t written = 0;
  WriteAsThread(text.data(), written, text.size());
}

void HubUtil_ConsoleFlush() {
  std::lock_guard<std::mutex> lock(g_lock);
  FlushLocked();
}

bool HubUtil_ConsoleDefersEnding(int signal, void (*end)(int)) {
  if (!t_writing) return false;
  g_deferredEnd = end;
  g_deferredSignal = signal;
  return true;
}

void HubUtil_ConsoleFlushFromSignal() {
  int savedErrno = errno;
  if (TakeForEnding()) {
    size_t written = g_written;
    WriteOut(g_text, written, g_held.load());
  }
  errno = savedErrno;
}
