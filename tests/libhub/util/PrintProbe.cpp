// A small program that runs one printing scenario of the hub library, so that
// tests see its exact output, its exit status and its reading of HUB_VERBOSE
// in a fresh process: hub_print_probe <scenario> [argument].
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/PlatformUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Vlist.h"

namespace {

const char* const kLocation = "libhub/util/probe";

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
