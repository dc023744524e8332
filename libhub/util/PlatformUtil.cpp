#include "libhub/util/PlatformUtil.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "libhub/util/Console.h"
#include "libhub/util/Print.h"

namespace {

std::atomic<bool> g_handlersInstalled{false};
// The verbosity as it was when the handlers were installed; a handler may not
// read the environment.
volatile sig_atomic_t g_signalVerbosity = 3;

// Appends the decimal digits of a non-negative number.
char* AppendNumber(char* out, int number) {
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0);
  while (count > 0) *out++ = digits[--count];
  return out;
}

char* AppendText(char* out, const char* text) {
  while (*text) *out++ = *text++;
  return out;
}

// Only async-signal-safe calls: the console and the warning are written with
// write(2). A thread that is writing a piece of the console ends the process
// once the piece is counted.
void EndOnSignal(int signalNumber) {
  if (HubUtil_ConsoleDefersEnding(signalNumber, EndOnSignal)) return;
  HubUtil_ConsoleFlushFromSignal();
  if (g_signalVerbosity >= 2) {
    char line[64];
    char* end = AppendText(line, "  (WARNING: Received signal ");
    end = AppendNumber(end, signalNumber);
    end = AppendText(end, "; exiting\n)\n");
    ssize_t ignored = write(STDERR_FILENO, line, end - line);
    (void)ignored;
  }
  _exit(1);
}

}  // namespace

int64_t HubUtil_MonotonicMillis() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

int HubUtil_TimeOfDay(long* seconds, long* microseconds) {
  int64_t now = HubUtil_MonotonicMillis();
  *seconds = static_cast<long>(now / 1000);
  *microseconds = static_cast<long>(now % 1000) * 1000;
  return 0;
}

char* HubUtil_EncodeBinary(const void* bytes, int count) {
  if (!bytes || count <= 0) return nullptr;
  const auto* in = static_cast<const unsigned char*>(bytes);
  int groups = (count + 2) / 3;
  char* text = static_cast<char*>(malloc(4 * groups + 1));
  if (!text) return nullptr;
  char* out = text;
  for (int i = 0; i < count; i += 3) {
    unsigned b1 = in[i];
    unsigned b2 = i + 1 < count ? in[i + 1] : 0;
    unsigned b3 = i + 2 < count ? in[i + 2] : 0;
    *out++ = static_cast<char>((b1 >> 2) + 32);
    *out++ = static_cast<char>((((b1 & 0x3) << 4) | (b2 >> 4)) + 32);
    *out++ = static_cast<char>((((b2 & 0xf) << 2) | (b3 >> 6)) + 32);
    *out++ = static_cast<char>((b3 & 0x3f) + 32);
  }
  *out = '\0';
  return text;
}

void HubUtil_SleepPlainMillis(int milliseconds) {
  if (milliseconds <= 0) return;
  HubUtil_PrintFlush();
  timespec remaining = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

void HubUtil_SleepSeconds(int seconds) {
  if (seconds > 0) HubUtil_SleepPlainMillis(seconds * 1000);
}

void HubUtil_InstallSignalHandlers() {
  g_signalVerbosity = HubUtil_GetVerbosity();
  struct sigaction action = {};
  action.sa_handler = EndOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  g_handlersInstalled = true;
}

int HubUtil_SignalHandlersInstalled() { return g_handlersInstalled ? 1 : 0; }

int HubUtil_ProcessId() { return static_cast<int>(getpid()); }
