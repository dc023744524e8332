// The standard server options read into the args record: values, hub flags,
// range checks, duplicates, the words left over for the program, and the
// failures that print the usage text.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libhub/ServerMain/ServerArgs.h"
#include "tests/libhub/ServerMain/ServerMainTestSupport.h"

namespace {

using hubtest::Words;

struct ArgsCase {
  const char* title;
  Words words;  // after the program's name
  int port;
  int maxConnections;
  int hubFlags;
  const char* contactHub;  // null: none
  int verbosity;
  int threadMode;
  const char* leftover;  // the leftover words joined with '|'
  const char* warnings;  // standard error, exactly
};

const ArgsCase kArgsCases[] = {
    // title, words, port, max connections, hub flags, contact hub, verbosity, thread mode,
    // leftover words, warnings
    {"no options", {}, 0, 1, 1, nullptr, -1, 0, "toy", ""},
    {"port", {"-port", "13000"}, 13000, 1, 1, nullptr, -1, 0, "toy", ""},
    {"highest port", {"-port", "65535"}, 65535, 1, 1, nullptr, -1, 0, "toy", ""},
    {"port above the range", {"-port", "70000"}, 0, 1, 1, nullptr, -1, 0, "toy",
     "  (WARNING: Value `70000' of -port is outside 1-65535; ignored)\n"},
    {"port 0", {"-port", "0"}, 0, 1, 1, nullptr, -1, 0, "toy",
     "  (WARNING: Value `0' of -port is outside 1-65535; ignored)\n"},
    {"negative port", {"-port", "-5"}, 0, 1, 1, nullptr, -1, 0, "toy",
     "  (WARNING: Value `-5' of -port is outside 1-65535; ignored)\n"},
    {"contact hub only", {"-contact_hub", "localhost:15000"}, 0, 1, 4, "localhost:15000", -1, 0,
     "toy", ""},
    {"contact hub and port", {"-port", "13000", "-contact_hub", "h:1 g:2"}, 13000, 1, 5,
     "h:1 g:2", -1, 0, "toy", ""},
    {"port after contact hub", {"-contact_hub", "h:1", "-port", "13000"}, 13000, 1, 5, "h:1", -1,
     0, "toy", ""},
    {"contact hub with a port out of range", {"-contact_hub", "h:1", "-port", "99999"}, 0, 1, 4,
     "h:1", -1, 0, "toy", "  (WARNING: Value `99999' of -port is outside 1-65535; ignored)\n"},
    {"max connections", {"-maxconns", "4"}, 0, 4, 1, nullptr, -1, 0, "toy", ""},
    {"max connections 0", {"-maxconns", "0"}, 0, 1, 1, nullptr, -1, 0, "toy",
     "  (WARNING: Value `0' of -maxconns is outside 1-2147483647; ignored)\n"},
    {"negative max connections", {"-maxconns", "-3"}, 0, 1, 1, nullptr, -1, 0, "toy",
     "  (WARNING: Value `-3' of -maxconns is outside 1-2147483647; ignored)\n"},
    {"verbosity", {"-verbosity", "5"}, 0, 1, 1, nullptr, 5, 0, "toy", ""},
    {"threads", {"-thread"}, 0, 1, 1, nullptr, -1, 1, "toy", ""},
    {"no loop", {"-nottloop"}, 0, 1, 1, nullptr, -1, 2, "toy", ""},
    {"threads win over no loop", {"-nottloop", "-thread"}, 0, 1, 1, nullptr, -1, 1, "toy", ""},
    {"obsolete loop option", {"-ttloop"}, 0, 1, 1, nullptr, -1, 0, "toy", ""},
    {"bridge words left over", {"-PORT", "13000", "-INITASR"}, 0, 1, 1, nullptr, -1, 0,
     "toy|-PORT|13000|-INITASR", ""},
    {"bridge words around library options",
     {"-INITASR", "-verbosity", "2", "-PORT", "13000", "-port", "14000"}, 14000, 1, 1, nullptr, 2,
     0, "toy|-INITASR|-PORT|13000", ""},
    {"unknown word with several values", {"-foo", "a", "b", "-maxconns", "3"}, 0, 3, 1, nullptr,
     -1, 0, "toy|-foo|a|b", ""},
    {"first of two ports", {"-port", "13000", "-port", "14000"}, 13000, 1, 1, nullptr, -1, 0,
     "toy",
     "  (WARNING: Key `-port' specified more than once, will extract first occurrence)\n"
     "  (WARNING: Key `-port' specified twice -- will use first occurrence)\n"},
    {"locations-file name without a file", {"-slf_name", "X"}, 0, 1, 1, nullptr, -1, 0, "toy",
     ""},
};

class ServerArgsTableTest : public ::testing::TestWithParam<ArgsCase> {};

TEST_P(ServerArgsTableTest, ReadsTheOptions) {
  const ArgsCase& c = GetParam();
  hubtest::CommandLine line("toy", c.words);
  int leftoverArgc = -1;
  char** leftoverArgv = nullptr;
  testing::internal::CaptureStderr();
  Hub_ServerArgs* args =
      Hub_ParseServerArgs(line.Argc(), line.Argv(), nullptr, &leftoverArgc, &leftoverArgv);
  std::string warnings = testing::internal::GetCapturedStderr();
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->port, c.port);
  EXPECT_EQ(args->maxConnections, c.maxConnections);
  EXPECT_EQ(args->hubFlags, c.hubFlags);
  EXPECT_EQ(hubtest::Text(args->contactHub), hubtest::Text(c.contactHub));
  EXPECT_EQ(args->verbosity, c.verbosity);
  EXPECT_EQ(args->threadMode, c.threadMode);
  EXPECT_EQ(hubtest::Joined(leftoverArgc, leftoverArgv), c.leftover);
  EXPECT_EQ(leftoverArgv[leftoverArgc], nullptr);
  EXPECT_EQ(warnings, c.warnings);
  Hub_DestroyServerArgs(args);
}

INSTANTIATE_TEST_SUITE_P(Options, ServerArgsTableTest, ::testing::ValuesIn(kArgsCases),
                         [](const auto& info) { return hubtest::TestName(info.param.title); });

TEST(ServerArgsTest, DefaultsOfANewRecord) {
  Hub_ServerArgs* args = Hub_CreateServerArgs();
  EXPECT_EQ(args->serverName, nullptr);
  EXPECT_EQ(args->port, 0);
  EXPECT_EQ(args->maxConnections, 1);
  EXPECT_EQ(args->color, 0);
  EXPECT_EQ(args->assertPort, 0);
  EXPECT_EQ(args->threadMode, HUB_ARGS_TIMED_TASK_LOOP);
  EXPECT_EQ(args->validate, 0);
  EXPECT_EQ(args->verbosity, -1);
  EXPECT_EQ(args->hubFlags, HUBIO_LISTEN_FOR_HUBS);
  EXPECT_EQ(args->options, &HubUtil_OptionTable::Standard());
  EXPECT_EQ(args->declarations, 1);
  Hub_DestroyServerArgs(args);
  Hub_DestroyServerArgs(nullptr);
}

TEST(ServerArgsTest, FlagsAndStringsAreTaken) {
  hubtest::CommandLine line("toy", {"-color", "-assert", "-validate", "-session_id", "S1",
                                    "-server_locations_file", "none", "-slf_name", "N"});
  testing::internal::CaptureStderr();
  Hub_ServerArgs* args = Hub_ParseServerArgs(line.Argc(), line.Argv(), nullptr, nullptr, nullptr);
  testing::internal::GetCapturedStderr();  // the missing file's warning
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->color, 1);
  EXPECT_EQ(args->assertPort, 1);
  EXPECT_EQ(args->validate, 1);
  EXPECT_STREQ(args->sessionId, "S1");
  EXPECT_STREQ(args->locationsFile, "none");
  EXPECT_STREQ(args->locationsName, "N");
  Hub_DestroyServerArgs(args);
}

TEST(ServerArgsTest, TheHooksAreKept) {
  Hub_ServerHooks hooks = {hubtest::DeclareToy, hubtest::InitializeToy};
  hubtest::CommandLine line("toy", {});
  Hub_ServerArgs* args = Hub_ParseServerArgs(line.Argc(), line.Argv(), &hooks, nullptr, nullptr);
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->hooks.declare, hooks.declare);
  EXPECT_EQ(args->hooks.initialize, hooks.initialize);
  Hub_DestroyServerArgs(args);
}

// ---- failures: the usage text, and no record ----

struct FailureCase {
  const char* title;
  Words words;
  const char* warnings;  // standard error, exactly
  bool noUsageInfoLine;  // the check failed, not the split
};

const FailureCase kFailureCases[] = {
    {"help", {"-help"}, "", true},
    {"help after options", {"-port", "13000", "-help"}, "", true},
    {"help among program words", {"-PORT", "1", "-help"}, "", true},
    {"word where a key belongs", {"stray"}, "  (WARNING: Invalid key stray)\n", false},
    {"port without its number",
     {"-verbosity", "3", "-port"},
     "  (WARNING: Final key `-port' doesn't have enough arguments)\n",
     false},
};

class ServerArgsFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ServerArgsFailureTest, PrintsTheUsageAndGivesNoRecord) {
  const FailureCase& c = GetParam();
  hubtest::CommandLine line("/usr/local/bin/toy", c.words);
  int leftoverArgc = -1;
  testing::internal::CaptureStderr();
  hubtest::CaptureConsole out;
  Hub_ServerArgs* args =
      Hub_ParseServerArgs(line.Argc(), line.Argv(), nullptr, &leftoverArgc, nullptr);
  std::string printed = out.Take();
  std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(args, nullptr);
  EXPECT_EQ(leftoverArgc, -1);
  EXPECT_EQ(warnings, c.warnings);
  std::string expected = hubtest::Usage("toy");
  if (c.noUsageInfoLine) expected += "No usage info for server-specific options (if any)\n";
  EXPECT_EQ(printed, expected);
}

INSTANTIATE_TEST_SUITE_P(Options, ServerArgsFailureTest, ::testing::ValuesIn(kFailureCases),
                         [](const auto& info) { return hubtest::TestName(info.param.title); });

}  // namespace
