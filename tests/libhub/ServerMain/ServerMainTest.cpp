// Server creation from the options, and the generic main: the fatal and
// start-up failure paths (exit statuses), and a toy program built on it that
// serves a hub over loopback TCP.
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/io/DispatchTable.h"
#include "libhub/util/Print.h"
#include "libhub/util/Sock.h"
#include "tests/libhub/ServerMain/ServerMainTestSupport.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeHub.h"
#include "tests/support/FreePort.h"
#include "tests/support/TempDir.h"

namespace {

using hubtest::Words;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kWaitMs = 10000;
// The toy program's name, as its usage text shows it.
const char* const kToyName = "hub_toy_server";

// ---- creating the server in this process ----

struct CreateCase {
  const char* title;
  Words words;
  int port;
  int maxConnections;
  int flags;
  int polls;
  const char* sessionId;
};

const CreateCase kCreateCases[] = {
    {"declared defaults", {}, 12001, 1, 1, 1, nullptr},
    {"port and max connections", {"-port", "13000", "-maxconns", "3"}, 13000, 3, 1, 1, nullptr},
    {"max connections 0 keeps 1", {"-maxconns", "0"}, 12001, 1, 1, 1, nullptr},
    {"port out of range keeps the declared one", {"-port", "65536"}, 12001, 1, 1, 1, nullptr},
    {"contact and listen", {"-contact_hub", "h:1", "-port", "13000"}, 13000, 1, 5, 1, nullptr},
    {"contact only", {"-contact_hub", "h:1", "-session_id", "S7"}, 12001, 1, 4, 1, "S7"},
    {"no loop", {"-nottloop"}, 12001, 1, 1, 0, nullptr},
};

class CreateServerTest : public ::testing::TestWithParam<CreateCase> {};

TEST_P(CreateServerTest, AppliesTheOptionsOverTheDeclaration) {
  const CreateCase& c = GetParam();
  hubtest::CommandLine line("toy", c.words);
  Hub_ServerHooks hooks = {hubtest::DeclareToy, hubtest::InitializeToy};
  hubtest::ResetToyCounts();
  testing::internal::CaptureStderr();
  testsupport::CaptureStdout out;
  HubIO_Server* server = Hub_SetUpServer(line.Argc(), line.Argv(), &hooks);
  EXPECT_EQ(out.Take(), "toy start-up: toy\n");
  testing::internal::GetCapturedStderr();
  ASSERT_NE(server, nullptr);
  EXPECT_STREQ(HubIO_ServerName(server), "toy");
  EXPECT_EQ(HubIO_ServerPort(server), c.port);
  EXPECT_EQ(HubIO_ServerMaxConnections(server), c.maxConnections);
  EXPECT_EQ(HubIO_ServerFlags(server), c.flags);
  EXPECT_EQ(HubIO_ServerPolls(server), c.polls);
  EXPECT_EQ(hubtest::Text(server->sessionId), hubtest::Text(c.sessionId));
  EXPECT_EQ(HubIO_ServerData(server), hubtest::ToyServerData());
  Hub_DispatchLookup lookup;
  EXPECT_EQ(Hub_FindOperation(HubIO_GetServerDispatchTable(server), "ping", &lookup), 1);
  EXPECT_EQ(hubtest::ToyDeclarations(), 1);
  EXPECT_EQ(hubtest::ToyPlaceholderDeclarations(), 0);
  EXPECT_TRUE(HubUtil_SocketsStarted());
  HubIO_DestroyServer(server);
  HubIO_FreeServer(server);
}

INSTANTIATE_TEST_SUITE_P(Options, CreateServerTest, ::testing::ValuesIn(kCreateCases),
                         [](const auto& info) { return hubtest::TestName(info.param.title); });

TEST(CreateServerFromArgsTest, NameValidationAndLeftoverWords) {
  Hub_ServerArgs* args = Hub_CreateServerArgs();
  args->serverName = strdup("renamed");
  args->validate = 1;
  args->hooks = {hubtest::DeclareToy, hubtest::InitializeToy};
  hubtest::CommandLine leftover("toy", {"-PORT", "13000", "-INITASR"});
  testsupport::CaptureStdout out;
  HubIO_Server* server = Hub_CreateServerFromArgs(args, leftover.Argc(), leftover.Argv());
  EXPECT_EQ(out.Take(), "toy start-up: toy|-PORT|13000|-INITASR\n");
  ASSERT_NE(server, nullptr);
  EXPECT_STREQ(HubIO_ServerName(server), "renamed");
  EXPECT_EQ(server->listener->validate, 1);
  Hub_DestroyServerArgs(args);
  HubIO_DestroyServer(server);
  HubIO_FreeServer(server);
}

TEST(CreateServerFromArgsTest, WithoutDeclarationsTheHookIsNotRun) {
  Hub_ServerArgs* args = Hub_CreateServerArgs();
  args->declarations = 0;
  args->hooks = {hubtest::DeclareToy, nullptr};
  hubtest::ResetToyCounts();
  hubtest::CommandLine leftover("toy", {});
  HubIO_Server* server = Hub_CreateServerFromArgs(args, leftover.Argc(), leftover.Argv());
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(hubtest::ToyDeclarations(), 0);
  EXPECT_EQ(HubIO_ServerData(server), nullptr);
  Hub_DestroyServerArgs(args);
  HubIO_DestroyServer(server);
  HubIO_FreeServer(server);
}

class CreateWithLocationsTest : public testsupport::TempDirTest {};

TEST_F(CreateWithLocationsTest, TheDeclarationRunsOnAPlaceholderFirst) {
  testsupport::WriteFile("locations", "toy 127.0.0.1:13500 server\n");
  hubtest::CommandLine line("toy", {"-server_locations_file", "locations", "-port", "14000"});
  Hub_ServerHooks hooks = {hubtest::DeclareToy, nullptr};
  hubtest::ResetToyCounts();
  HubIO_Server* server = Hub_SetUpServer(line.Argc(), line.Argv(), &hooks);
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(hubtest::ToyPlaceholderDeclarations(), 1);
  EXPECT_EQ(hubtest::ToyDeclarations(), 2);
  EXPECT_EQ(HubIO_ServerPort(server), 13500);
  EXPECT_EQ(HubIO_ServerFlags(server), HUBIO_LISTEN_FOR_HUBS);
  HubIO_DestroyServer(server);
  HubIO_FreeServer(server);
}

// Puts the plain printers back after a test that installs the colour ones.
class ColorTest : public ::testing::Test {
 protected:
  void TearDown() override { HubUtil_InstallPlainPrinters(); }
};

TEST_F(ColorTest, TheColorOptionInstallsTheColourPrinters) {
  hubtest::CommandLine line("toy", {"-color"});
  HubIO_Server* server = Hub_SetUpServer(line.Argc(), line.Argv(), nullptr);
  ASSERT_NE(server, nullptr);
  testing::internal::CaptureStderr();
  HubUtil_PrintWarning("tinted");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "\033[35m  (WARNING: tinted)\n\033[0m");
  HubIO_DestroyServer(server);
  HubIO_FreeServer(server);
}

// ---- the generic main's exit paths, in this process ----

TEST(GenericMainDeathTest, SetUpFailuresAreFatal) {
  const Words cases[] = {{"-help"}, {"stray"}, {"-port"}};
  for (const Words& words : cases) {
    hubtest::CommandLine line("toy", words);
    EXPECT_EXIT(Hub_ServerMain(line.Argc(), line.Argv(), {hubtest::DeclareToy, nullptr}),
                ::testing::ExitedWithCode(255), "FATAL ERROR: Failed to set up server!")
        << words[0];
  }
}

TEST(GenericMainDeathTest, AServerThatCannotStartExitsWithStatus1) {
  int port = testsupport::FreePort();
  HubUtil_Socket holder = HubUtil_ServerSocket(port, 5);
  ASSERT_GE(holder, 0);
  hubtest::CommandLine line("toy", {"-port", std::to_string(port), "-assert"});
  EXPECT_EXIT(Hub_ServerMain(line.Argc(), line.Argv(), {hubtest::DeclareToy, nullptr}),
              ::testing::ExitedWithCode(1), "WARNING: Server startup failed");
  HubUtil_CloseSocket(holder);
}

// ---- the toy program as a process ----

// Sets an environment variable for the test's children; restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = getenv(name);
    if (old) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

Words ToyArgv(const Words& words) {
  Words argv = {HUB_TOY_SERVER};
  argv.insert(argv.end(), words.begin(), words.end());
  return argv;
}

// Connects a fake hub to the toy on `port`, retrying while it is not listening yet.
bool ConnectWhenListening(testsupport::FakeHub* hub, int port) {
  for (int tries = 0; tries < kWaitMs / 50; ++tries) {
    if (hub->ConnectToServer(port, 2000)) return true;
    if (hub->Handshake()) return false;  // it answered, with an error
    usleep(50 * 1000);
  }
  return false;
}

class ToyProgramTest : public testsupport::TempDirTest {
 protected:
  ScopedEnv verbose_{"HUB_VERBOSE", nullptr};
};

TEST_F(ToyProgramTest, HelpPrintsTheUsageAndEndsWithTheFatalStatus) {
  testsupport::ChildResult result = testsupport::RunChild(ToyArgv({"-help"}), "", kWaitMs);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out,
            hubtest::Usage(kToyName) + "No usage info for server-specific options (if any)\n");
  EXPECT_EQ(result.err, "  (FATAL ERROR: Failed to set up server!\n)\n");
}

TEST_F(ToyProgramTest, AnInvalidKeyPrintsTheUsageOnly) {
  testsupport::ChildResult result =
      testsupport::RunChild(ToyArgv({"-PORT", "1", "-port", "2", "stray"}), "", kWaitMs);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 255);
  EXPECT_EQ(result.out, hubtest::Usage(kToyName));
  EXPECT_EQ(result.err,
            "  (WARNING: Invalid key stray)\n  (FATAL ERROR: Failed to set up server!\n)\n");
}

TEST_F(ToyProgramTest, ABusyRequiredPortEndsWithStatus1) {
  int port = testsupport::FreePort();
  HubUtil_Socket holder = HubUtil_ServerSocket(port, 5);
  ASSERT_GE(holder, 0);
  testsupport::ChildResult result =
      testsupport::RunChild(ToyArgv({"-port", std::to_string(port), "-assert"}), "", kWaitMs);
  HubUtil_CloseSocket(holder);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "toy start-up: " HUB_TOY_SERVER "\n");
  EXPECT_THAT(result.err, HasSubstr("Failed to open listener on port " + std::to_string(port)));
  EXPECT_THAT(result.err, HasSubstr("  (WARNING: Server startup failed)\n"));
}

TEST_F(ToyProgramTest, NoLoopStartsTheServerAndEndsAtOnce) {
  int port = testsupport::FreePort();
  testsupport::ChildResult result = testsupport::RunChild(
      ToyArgv({"-nottloop", "-PORT", "5", "-INITASR", "-port", std::to_string(port)}), "", kWaitMs);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "toy start-up: " HUB_TOY_SERVER
                        "|-PORT|5|-INITASR\nOpened listener on port " +
                            std::to_string(port) + "\n");
  EXPECT_EQ(result.err, "");
}

struct VerbosityCase {
  const char* title;
  const char* hubVerbose;  // null: unset
  Words words;
  bool listenerLineShown;  // a message of verbosity 1
};

const VerbosityCase kVerbosityCases[] = {
    {"default", nullptr, {}, true},
    {"environment 0", "0", {}, false},
    {"environment 0 option 1", "0", {"-verbosity", "1"}, true},
    {"environment 1", "1", {}, true},
    {"environment 3 option 0", "3", {"-verbosity", "0"}, false},
};

class ToyVerbosityTest : public testsupport::TempDirTest,
                         public ::testing::WithParamInterface<VerbosityCase> {};

TEST_P(ToyVerbosityTest, TheOptionOverridesTheEnvironment) {
  const VerbosityCase& c = GetParam();
  ScopedEnv verbose("HUB_VERBOSE", c.hubVerbose);
  int port = testsupport::FreePort();
  Words words = {"-nottloop", "-port", std::to_string(port)};
  words.insert(words.end(), c.words.begin(), c.words.end());
  testsupport::ChildResult result = testsupport::RunChild(ToyArgv(words), "", kWaitMs);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 0);
  std::string line = "Opened listener on port " + std::to_string(port) + "\n";
  if (c.listenerLineShown) {
    EXPECT_THAT(result.out, HasSubstr(line));
  } else {
    EXPECT_THAT(result.out, Not(HasSubstr(line)));
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, ToyVerbosityTest, ::testing::ValuesIn(kVerbosityCases),
                         [](const auto& info) { return hubtest::TestName(info.param.title); });

// The toy serves: a hub connects, completes the handshake and calls "ping";
// SIGTERM then ends the toy with status 1.
void ExpectServes(const Words& words, int port) {
  testsupport::BackgroundChild toy(ToyArgv(words));
  testsupport::FakeHub hub;
  ASSERT_TRUE(ConnectWhenListening(&hub, port));
  std::optional<testsupport::ReceivedFrame> handshake = hub.Handshake();
  ASSERT_TRUE(handshake);
  EXPECT_EQ(handshake->name, "toy");
  EXPECT_EQ(handshake->Value(":protocol_version"), "1");
  EXPECT_THAT(handshake->Value(":signatures"), HasSubstr("ping"));
  std::optional<testsupport::ReceivedFrame> reply = hub.Call("ping", {{":n", 1}}, kWaitMs);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->messageType, 2);
  EXPECT_EQ(reply->name, "ping");
  ASSERT_EQ(kill(toy.Pid(), SIGTERM), 0);
  testsupport::ChildResult result = toy.Wait(kWaitMs);
  ASSERT_TRUE(result.exited);
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.out, HasSubstr("toy start-up: " HUB_TOY_SERVER "\n"));
  EXPECT_THAT(result.err, HasSubstr("Received signal 15; exiting"));
}

TEST_F(ToyProgramTest, ListensOnThePortGivenAndServesAHub) {
  int port = testsupport::FreePort();
  ExpectServes({"-port", std::to_string(port)}, port);
}

TEST_F(ToyProgramTest, ServesInThreadMode) {
  int port = testsupport::FreePort();
  ExpectServes({"-thread", "-port", std::to_string(port)}, port);
}

TEST_F(ToyProgramTest, ListensOnThePortOfItsLocationsEntry) {
  int port = testsupport::FreePort();
  testsupport::WriteFile("locations", "# toy servers\r\nother 127.0.0.1:1 hub\r\ntoy 127.0.0.1:" +
                                          std::to_string(port) + " server\r\n");
  ExpectServes({"-server_locations_file", "locations"}, port);
}

TEST_F(ToyProgramTest, MaxConnectionsReachTheServer) {
  int port = testsupport::FreePort();
  testsupport::BackgroundChild toy(ToyArgv({"-port", std::to_string(port), "-maxconns", "2"}));
  testsupport::FakeHub first;
  testsupport::FakeHub second;
  testsupport::FakeHub third;
  ASSERT_TRUE(ConnectWhenListening(&first, port));
  EXPECT_TRUE(second.ConnectToServer(port, kWaitMs));
  EXPECT_FALSE(third.ConnectToServer(port, kWaitMs));
  ASSERT_TRUE(third.Handshake());
  EXPECT_EQ(third.Handshake()->Value(":err_description"), "max connections exceeded");
}

TEST_F(ToyProgramTest, ContactsTheHubItIsGivenWithItsSession) {
  testsupport::FakeHub hub;
  int hubPort = hub.Listen();
  ASSERT_GT(hubPort, 0);
  testsupport::BackgroundChild toy(
      ToyArgv({"-contact_hub", "127.0.0.1:" + std::to_string(hubPort), "-session_id", "S9"}));
  ASSERT_TRUE(hub.AcceptServer(kWaitMs));
  std::optional<testsupport::ReceivedFrame> handshake = hub.Handshake();
  ASSERT_TRUE(handshake);
  EXPECT_EQ(handshake->name, "toy");
  EXPECT_EQ(handshake->Value(":session_id"), "S9");
}

TEST_F(ToyProgramTest, ContactsTheHubOfItsLocationsEntry) {
  testsupport::FakeHub hub;
  int hubPort = hub.Listen();
  ASSERT_GT(hubPort, 0);
  testsupport::WriteFile("locations", "[1]hubbed 127.0.0.1:" + std::to_string(hubPort) + " hub\n");
  testsupport::BackgroundChild toy(
      ToyArgv({"-server_locations_file", "locations", "-slf_name", "hubbed"}));
  ASSERT_TRUE(hub.AcceptServer(kWaitMs));
  ASSERT_TRUE(hub.Handshake());
  EXPECT_EQ(hub.Handshake()->name, "toy");
}

}  // namespace
