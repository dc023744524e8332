// A small program that runs one printing scenario of the hub library, so that
// tests see its exact output, its exit status and its reading of HUB_VERBOSE
// in a fresh process: hub_print_probe <scenario> [argument].
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Vlist.h"

namespace {

const char* const kLocation = "libhub/util/probe";

// The write that sends a signal once it has written, before its caller can
// count what went out (the library's write calls come here: see write below).
std::atomic<int> g_signalAfterWrite{0};
pthread_t g_signalled;
// Time for the signalled thread to run its handler before the write returns.
const timespec kHandlerTime = {0, 200000000L};

}  // namespace

extern "C" ssize_t write(int fd, const void* bytes, size_t count) {
  ssize_t written = syscall(SYS_write, fd, bytes, count);
  if (int signal = g_signalAfterWrite.exchange(0)) {
    pthread_kill(g_signalled, signal);
    if (!pthread_equal(g_signalled, pthread_self())) nanosleep(&kHandlerTime, nullptr);
  }
  return written;
}

namespace {

void Levels(const char*) {
  Hub_InitializeStatics();
  HubUtil_PrintError("e%d", 1);
  HubUtil_PrintWarning("w%s", "1");
  HubUtil_PrintWarningAt(kLocation, "wa %d", 2);
  HubUtil_PrintInfo("i\n");
  HubUtil_PrintInfoAt(kLocation, "ia\n");
  HubUtil_PrintDetail("d\n");
  HubUtil_PrintTrace("t\n");
  HubUtil_PrintDeepTrace("dt\n");
  HubUtil_PrintAtLevel(-1, "always\n");
  HubUtil_PrintWarningAtLevel(5, "wl5");
  HubUtil_StreamPrint(stderr, "stream\n");
  HubUtil_PrintColoredInfo(1, 2, "ci\n");
}

void Color(const char*) {
  Hub_InitializeStatics();
  HubUtil_InstallColorPrinters();
  HubUtil_PrintError("e");
  HubUtil_PrintWarning("w");
  HubUtil_PrintAtLevel(1, "l1");
  HubUtil_PrintAtLevel(3, "l3");
  HubUtil_PrintAtLevel(5, "l5");
  HubUtil_PrintAtLevel(-1, "lm");
  HubUtil_PrintColoredAtLevel(2, 1, 6, "c2");
  HubUtil_PrintColoredAtLevel(3, -1, 4, "c3");
  HubUtil_PrintColoredInfo(9, -1, "ci");
  HubUtil_PrintColoredDetail(-1, -1, "cd");
  HubUtil_PrintInfo("i");
  HubUtil_PrintFatal("f");
}

void NoStatics(const char*) { HubUtil_PrintWarning("w"); }

void Fatal(const char*) {
  Hub_InitializeStatics();
  HubUtil_PrintFatal("boom %d", 7);
}

void FatalAt(const char*) {
  Hub_InitializeStatics();
  HubUtil_PrintFatalAt(kLocation, "boom");
}

void AssertTrue(const char*) {
  Hub_InitializeStatics();
  HubUtil_Assert(true, "never");
}

void AssertFalse(const char*) {
  Hub_InitializeStatics();
  HubUtil_Assert(false, "bad %s", "thing");
}

void UninitVlist(const char*) { Hub_MakeVlist(); }
void UninitString(const char*) { Hub_MakeTextBuffer(nullptr, 0); }
void UninitPointer(const char*) { Hub_MakePointerBuffer(nullptr, 7, 0, 0, 1, 1, nullptr, 10, 0); }

void Signal(const char* number) {
  Hub_InitializeStatics();
  HubUtil_InstallSignalHandlers();
  if (!HubUtil_SignalHandlersInstalled()) return;
  HubUtil_PrintAtLevel(-1, "held\n");  // still in the console
  raise(atoi(number));
  sleep(5);
}

// Holds a line and makes the next write send the signal to this thread.
void HoldAndSignalAfterWrite(const char* number) {
  Hub_InitializeStatics();
  HubUtil_InstallSignalHandlers();
  HubUtil_PrintAtLevel(-1, "held\n");
  g_signalled = pthread_self();
  g_signalAfterWrite = atoi(number);
}

// The signal comes right after the held line went out: it goes out once.
void SignalAfterWrite(const char* number) {
  HoldAndSignalAfterWrite(number);
  HubUtil_PrintFlush();
  sleep(5);
}

// The same while another thread writes the line: the handler waits for it.
void SignalAfterWriteOnAThread(const char* number) {
  HoldAndSignalAfterWrite(number);
  pthread_t writer;
  pthread_create(&writer, nullptr, [](void*) -> void* {
    HubUtil_PrintFlush();
    return nullptr;
  }, nullptr);
  pthread_join(writer, nullptr);
  sleep(5);
}

void SetVerbosity(const char* level) {
  Hub_InitializeStatics();
  HubUtil_SetVerbosity(atoi(level));
  HubUtil_PrintDetail("d\n");
  HubUtil_PrintInfo("i\n");
}

struct Scenario {
  const char* name;
  void (*run)(const char* argument);
};

const Scenario kScenarios[] = {
    {"levels", Levels},           {"color", Color},
    {"nostatics", NoStatics},     {"fatal", Fatal},
    {"fatal-at", FatalAt},        {"assert-true", AssertTrue},
    {"assert-false", AssertFalse}, {"uninit-vlist", UninitVlist},
    {"uninit-string", UninitString}, {"uninit-pointer", UninitPointer},
    {"signal", Signal},           {"set-verbosity", SetVerbosity},
    {"signal-after-write", SignalAfterWrite},
    {"signal-after-write-on-a-thread", SignalAfterWriteOnAThread},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  for (const Scenario& scenario : kScenarios) {
    if (strcmp(scenario.name, argv[1]) == 0) {
      scenario.run(argc > 2 ? argv[2] : "");
      return 0;
    }
  }
  return 2;
}
