// Tressig as a program: start-up and its options, the ends of a call, and a
// dialogue with the real Quorvane.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "hub_bridge/BridgeServer.h"
#include "tests/hub_bridge/BridgeTest.h"
#include "tests/support/ListeningPort.h"

namespace bridgetest {
namespace {

TEST(BridgeStartTest, ReadsItsOptionsAndEndsWhenNoDialogManagerListens) {
  testsupport::TempDir dir;
  testsupport::ChildResult result = testsupport::RunChild(
      {testsupport::BinPath("Tressig"), "-port", std::to_string(testsupport::FreePort()), "-PORT",
       "1", "-INITASR", "-PORT", "70000", "-PORT", "2", "-PORT"},
      "", kWaitMs);
  EXPECT_EQ(1, result.status);
  const char kWarning[] = "WARNING: -PORT needs a port from 1 to 65535; the port stays ";
  EXPECT_EQ(std::string(75, '-') + "\nWRAPPER pre Dialogovy manazer Talmiro 1.1.\nPort: 12001\n" +
                "Port DM: 12500\n" + std::string(75, '-') + "\n" + kWarning + "1\n" + kWarning +
                "2\n\nPort was set to 2\nNenadviazane spojenie!!!",
            result.out);
  EXPECT_TRUE(std::filesystem::is_directory("Recordings"));
}

rlimit g_descriptors;  // given back at exit: the sanitizers need descriptors then

TEST(BridgeStartTest, ReadsInitAsrAloneAndEndsWhenNoSocketCanBeMade) {
  testsupport::TempDir dir;
  char* argv[] = {const_cast<char*>("Tressig"), const_cast<char*>("-INITASR")};
  auto start = [&] {
    dup2(2, 1);  // the bridge prints on standard output
    getrlimit(RLIMIT_NOFILE, &g_descriptors);
    rlimit none{0, g_descriptors.rlim_max};
    setrlimit(RLIMIT_NOFILE, &none);
    atexit([] {
      setrlimit(RLIMIT_NOFILE, &g_descriptors);
      fprintf(stderr, "InitASR %d", InitASR);
    });
    InitializeBridge(nullptr, 2, argv);
  };
  EXPECT_EXIT(start(), ::testing::ExitedWithCode(1),
              "Port was set to 12500\nNastala chyba\\. Nie je mozne vytvorit soket!InitASR 1$");
}

TEST_F(BridgeTest, LostDialogManagerStopsTheCallWithStatus1) {
  Start({Await(), testsupport::Hang()});
  Call("BeginSession");
  testsupport::ChildResult result = Finish();
  EXPECT_EQ(Words{"StopCall"}, Frames());
  EXPECT_EQ(1, result.status);
  EXPECT_NE(std::string::npos,
            result.out.find("\nThe dialog manager closed the connection; the call is stopped.\n"));
}

TEST_F(BridgeTest, EndSessionSaysEndAndEndsWithStatus0) {
  Start({Await(), Say("ask:"), Await(), testsupport::Hang()});
  Call("BeginSession");
  Call("reset_dm");
  Call("EndSession");
  EXPECT_EQ(0, Finish().status);
  EXPECT_EQ((Words{"Begin", "End"}), dm_.Received());
  EXPECT_EQ(Words{"dialog :start_sampling \"\" :testmode 0"}, Frames());
}

// A hub connection lost outside the call changes nothing: the next hub is
// served, and the dialogue's end stays the end. A loss during the call:
// tests/e2e/CallTest.cpp.
struct HubLossCase {
  const char* title;
  bool leavesBeforeBegin;  // the hub leaves and comes again before BeginSession
  const char* dropAt;      // the hub leaves instead of answering this frame ("": none)
};

const HubLossCase kHubLossCases[] = {
    {"Before BeginSession", true, ""},
    {"At the dialogue's end", false, "StopCall"},
};

class HubLossTest : public BridgeTest, public ::testing::WithParamInterface<HubLossCase> {};

TEST_P(HubLossTest, OutsideTheCallChangesNothing) {
  const HubLossCase& c = GetParam();
  dm_.Play({Await(), Say("Koniec dialogu")});
  Launch(dm_.Port(), {}, false);
  if (c.leavesBeforeBegin) {
    hub_.CloseConnection();
    ASSERT_TRUE(Connect());
  }
  if (*c.dropAt) hub_.SetReply(c.dropAt, testsupport::AutoReply::Drop());
  Call("BeginSession");
  testsupport::ChildResult result = Finish();
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(Words{"Begin"}, dm_.Received());
  EXPECT_EQ(Words{"StopCall"}, Frames());
  EXPECT_EQ(std::string::npos, result.out.find("connection was lost")) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Hub, HubLossTest, ::testing::ValuesIn(kHubLossCases),
                         TitleName<HubLossCase>);

// The pause of "-INITASR" writes the console first: the reply to its second
// frame shows while the pause runs, and is still there after a SIGTERM then.
TEST_F(BridgeTest, ThePauseWritesTheConsoleFirst) {
  auto replies = [] {
    std::string console = testsupport::ReadFile("console.txt");
    int count = 0;
    for (size_t at = 0; (at = console.find("Received reply", at)) != std::string::npos; ++at) {
      ++count;
    }
    return count;
  };
  dm_.Play({});
  Launch(dm_.Port(), {"-INITASR"}, false, "console.txt");
  ASSERT_TRUE(hub_.Send("BeginSession", {}));
  ASSERT_TRUE(PollUntil(kWaitMs, [&] { return replies() == 2; }));
  kill(bridge_->Pid(), SIGTERM);
  EXPECT_EQ(1, Finish().status);
  EXPECT_EQ(Words{}, dm_.Received());  // the signal came in the pause, before "Begin"
  EXPECT_EQ(2, replies());
}

TEST_F(BridgeTest, QuorvaneAndTressigRunADialogueForAContactedHub) {
  mkdir("Quorvane", 0755);
  mkdir("log_data", 0755);
  testsupport::WriteFile("doc.vxml",
                         "<?xml version=\"1.0\"?>\n<vxml version=\"1.0\">\n<form id=\"f\">\n"
                         "<block name=\"b\">\n<prompt>Dobry den</prompt>\n"
                         "<prompt timeout=\"3s\">Dovidenia</prompt>\n</block>\n</form>\n</vxml>\n");
  int dmPort = testsupport::FreePort();
  testsupport::BackgroundChild quorvane(
      {testsupport::BinPath("Quorvane"), "-F", "doc.vxml", "-PORT", std::to_string(dmPort)});
  ASSERT_TRUE(
      PollUntil(kWaitMs, [&] { return testsupport::ProcessListens(quorvane.Pid(), dmPort); }));
  Launch(dmPort, {"-INITASR"}, true);
  Call("BeginSession");
  for (int turns = 0; turns < 5 && Frames().back() != "StopCall"; ++turns) Call("AfterPlaying");
  EXPECT_EQ((Words{"dialog :prepare_group \"\" :group_name \"init\"",
                   "dialog :start_sampling \"\" :testmode 1",
                   "dialog :synthetise \"\" :text \"Dobry den\" :bargein \"false\"",
                   "SetProperty :timeout 5",
                   "dialog :synthetise \"\" :text \"Dovidenia\" :bargein \"false\"",
                   "SetProperty :timeout 3", "StopCall"}),
            Frames());
  EXPECT_EQ(0, Finish().status);
  EXPECT_EQ(0, quorvane.Wait(kWaitMs).status);
  EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator("log_data"), {}));
}

}  // namespace
}  // namespace bridgetest
