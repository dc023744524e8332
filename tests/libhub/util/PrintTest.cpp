// Printing and verbosity, seen from a fresh process each time (the verbosity
// is read from HUB_VERBOSE once per process).
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"

namespace {

struct ProbeCase {
  const char* name;
  const char* scenario;
  const char* argument;
  const char* verbose;  // HUB_VERBOSE, or null for unset
  int status;
  const char* out;
  const char* err;
};

testsupport::ChildResult RunProbe(const ProbeCase& c) {
  if (c.verbose) {
    setenv("HUB_VERBOSE", c.verbose, 1);
  } else {
    unsetenv("HUB_VERBOSE");
  }
  auto result = testsupport::RunChild({HUB_PRINT_PROBE, c.scenario, c.argument}, "", 10000);
  unsetenv("HUB_VERBOSE");
  return result;
}

const char* const kErrAt3 = "  (ERROR: e1)\n  (WARNING: w1)\n  (WARNING: wa 2)\n";
const char* const kErrAt4 =
    "  (ERROR: e1)\n  (WARNING: w1)\n  (WARNING: libhub/util/probe: wa 2)\n";

const ProbeCase kCases[] = {
    {"UnsetIsThree", "levels", "", nullptr, 0, "i\nia\nalways\nstream\nci\n", kErrAt3},
    {"NegativeIsThree", "levels", "", "-2", 0, "i\nia\nalways\nstream\nci\n", kErrAt3},
    {"ZeroHidesAll", "levels", "", "0", 0, "always\nstream\n", ""},
    {"NonNumberIsZero", "levels", "", "loud", 0, "always\nstream\n", ""},
    {"OneShowsErrors", "levels", "", "1", 0, "always\nstream\n", "  (ERROR: e1)\n"},
    {"FourShowsLocations", "levels", "", "4", 0, "i\nlibhub/util/probe: ia\nd\nalways\nstream\nci\n",
     kErrAt4},
    {"SixShowsTraces", "levels", "", "6", 0,
     "i\nlibhub/util/probe: ia\nd\nt\ndt\nalways\nstream\nci\n",
     "  (ERROR: e1)\n  (WARNING: w1)\n  (WARNING: libhub/util/probe: wa 2)\n  (WARNING: wl5)\n"},
    {"ColorBytes", "color", "", "6", 255,
     "lm\033[44mc3\033[0m\033[31mci\033[0m\033[0mcd\033[0mi",
     "\033[31m  (ERROR: e)\n\033[0m\033[35m  (WARNING: w)\n\033[0m\033[33ml1\033[0m"
     "\033[34ml3\033[0m\033[32ml5\033[0m\033[31m\033[46mc2\033[0m"
     "\033[33m  (FATAL ERROR: f)\n\033[0m"},
    {"ColorTableBeforeStatics", "nostatics", "", nullptr, 0, "",
     "\033[35m  (WARNING: w)\n\033[0m"},
    {"FatalExits255", "fatal", "", nullptr, 255, "", "  (FATAL ERROR: boom 7)\n"},
    {"FatalHiddenStillExits", "fatal", "", "0", 255, "", ""},
    {"FatalLocatedAtFour", "fatal-at", "", "4", 255, "",
     "  (FATAL ERROR: libhub/util/probe: boom)\n"},
    {"FatalUnlocatedAtThree", "fatal-at", "", "3", 255, "", "  (FATAL ERROR: boom)\n"},
    {"AssertTrueGoesOn", "assert-true", "", nullptr, 0, "", ""},
    {"AssertFalseIsFatal", "assert-false", "", nullptr, 255, "", "  (FATAL ERROR: bad thing)\n"},
    {"VlistBeforeStatics", "uninit-vlist", "", nullptr, 255, "",
     "\033[33m  (FATAL ERROR: Vlist memory not initialized; call Hub_InitializeStatics())\n"
     "\033[0m"},
    {"StringBufferBeforeStatics", "uninit-string", "", nullptr, 255, "",
     "\033[33m  (FATAL ERROR: String buffer memory not initialized; call "
     "Hub_InitializeStatics())\n\033[0m"},
    {"PointerBufferBeforeStatics", "uninit-pointer", "", nullptr, 255, "",
     "\033[33m  (FATAL ERROR: Pointer buffer memory not initialized; call "
     "Hub_InitializeStatics())\n\033[0m"},
    {"SetNegativeVerbosityIsThree", "set-verbosity", "-7", "6", 0, "i\n", ""},
    {"SetVerbosityFour", "set-verbosity", "4", "0", 0, "d\ni\n", ""},
    {"SigtermWritesTheConsoleAndEndsWithOne", "signal", "15", nullptr, 1, "held\n",
     "  (WARNING: Received signal 15; exiting\n)\n"},
    {"SigintWritesTheConsoleAndEndsWithOne", "signal", "2", nullptr, 1, "held\n",
     "  (WARNING: Received signal 2; exiting\n)\n"},
    {"SignalQuietAtZero", "signal", "2", "0", 1, "held\n", ""},
    {"SignalRightAfterAWriteFindsItWritten", "signal-after-write", "15", nullptr, 1, "held\n",
     "  (WARNING: Received signal 15; exiting\n)\n"},
    {"SignalWhileAThreadWritesWaitsForIt", "signal-after-write-on-a-thread", "2", nullptr, 1,
     "held\n", "  (WARNING: Received signal 2; exiting\n)\n"},
};

class PrintProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(PrintProbeTest, ExactOutputAndStatus) {
  const ProbeCase& c = GetParam();
  testsupport::ChildResult result = RunProbe(c);
  ASSERT_FALSE(result.timedOut);
  ASSERT_TRUE(result.exited) << "signal " << result.status;
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, PrintProbeTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
