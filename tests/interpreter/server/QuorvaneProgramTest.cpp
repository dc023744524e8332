// The Quorvane program as a process, with the scripted peer on a real socket.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <regex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "platform/TcpSocket.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/ListeningPort.h"
#include "tests/support/PollUntil.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TempDir.h"

using testsupport::BinPath;
using testsupport::ChildResult;
using testsupport::ReadFile;
using testsupport::ScriptedPeer;

namespace {

const char kBanner[] =
    "\nDIALOG MANAGER Talmiro 2.15\nQuorvane developers\nSpoken dialogue systems group\n2026\n";
const char kStop[] =
    "Stop dialog called\n----------------------------------> END\n";

struct Session {
  ChildResult server;
  ScriptedPeer::Outcome outcome = ScriptedPeer::Outcome::kFailed;
  std::vector<std::string> received;
};

class QuorvaneProgramTest : public testsupport::TempDirTest {
 protected:
  // doc.vxml: a form whose one block says nothing, so a dialogue ends at once.
  QuorvaneProgramTest() {
    mkdir("Quorvane", 0755);
    testsupport::WriteFile("doc.vxml",
                           "<?xml version=\"1.0\"?>\n<vxml version=\"1.0\">\n<form id=\"f\">\n"
                           "<block name=\"b\">\n</block>\n</form>\n</vxml>\n");
  }

  // Starts Quorvane on doc.vxml with the options, then plays the script.
  static Session Serve(const std::string& script, std::vector<std::string> options = {}) {
    int port = testsupport::FreePort();
    std::vector<std::string> argv = {BinPath("Quorvane"), "-F", "doc.vxml"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), {"-PORT", std::to_string(port)});
    testsupport::BackgroundChild child(argv);
    Session session;
    ScriptedPeer peer(testsupport::PeerScript::Parse(script));
    if (peer.Connect(port, 10000)) session.outcome = peer.Run(10000);
    session.received = peer.Received();
    session.server = child.Wait(10000);
    return session;
  }

  static std::set<std::string> Archive() {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("log_data", error)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  // The three archive names share one stamp of the form HH_MM_SS.
  static void ExpectArchive(const std::string& dialogId, const std::string& mainId) {
    std::set<std::string> names = Archive();
    ASSERT_EQ(3u, names.size());
    std::string stamp;
    std::regex dialogCopy(dialogId + "__(\\d\\d_\\d\\d_\\d\\d)\\.txt");
    for (const std::string& name : names) {
      std::smatch match;
      if (std::regex_match(name, match, dialogCopy)) stamp = match[1];
    }
    ASSERT_FALSE(stamp.empty());
    EXPECT_EQ((std::set<std::string>{dialogId + "__" + stamp + ".txt",
                                     dialogId + "__" + stamp + ".raw",
                                     mainId + "__" + stamp + ".log"}),
              names);
  }
};

TEST_F(QuorvaneProgramTest, BeginRunsOneDialogueAndArchivesItsLogs) {
  Session session = Serve("send Begin");
  EXPECT_EQ(ScriptedPeer::Outcome::kDialogueEnded, session.outcome);
  EXPECT_EQ(std::vector<std::string>{"Koniec dialogu"}, session.received);
  ASSERT_FALSE(session.server.timedOut);
  EXPECT_TRUE(session.server.exited);
  EXPECT_EQ(0, session.server.status);
  EXPECT_EQ(std::string(kBanner) + "doc.vxml\nPripojenie z adresy: 127.0.0.1\n"
                "Created log files\n---------------------------------> START\n" + kStop,
            session.server.out);
  EXPECT_EQ("", session.server.err);
  EXPECT_EQ("Socket log file for Quorvane\nOpen Connection OK\nReceive> Begin\n"
            "Send> Koniec dialogu\n",
            ReadFile("Quorvane/socket_log.txt"));
  ExpectArchive("DiaLOG", "BaseLOG");
  // Nothing is written under the log paths after the archive.
  EXPECT_FALSE(testsupport::FileExists("Quorvane/BaseLOG.txt"));
  EXPECT_FALSE(testsupport::FileExists("Quorvane/DiaLOG.txt"));
  EXPECT_FALSE(testsupport::FileExists("temp.raw"));
}

// The engine runs a watchdog thread of its own: before it starts, the server
// has one thread.
TEST_F(QuorvaneProgramTest, TheScriptEngineStartsBeforeThePeerConnects) {
  const int port = testsupport::FreePort();
  testsupport::BackgroundChild child(
      {BinPath("Quorvane"), "-F", "doc.vxml", "-PORT", std::to_string(port)});
  const std::string tasks = "/proc/" + std::to_string(child.Pid()) + "/task";
  auto threads = [&] {
    std::error_code error;
    const std::filesystem::directory_iterator entries(tasks, error);
    return error ? 0 : std::distance(begin(entries), end(entries));
  };
  // A listing of the task folder taken while threads start may miss one, so
  // the count that ended the wait is the one checked, never a second look.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  long seen = threads();
  while (seen < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    seen = threads();
  }
  EXPECT_GE(seen, 2);
  ScriptedPeer peer(testsupport::PeerScript::Parse("send Begin"));
  ASSERT_TRUE(peer.Connect(port, 10000));
  EXPECT_EQ(ScriptedPeer::Outcome::kDialogueEnded, peer.Run(10000));
  EXPECT_EQ(0, child.Wait(10000).status);
}

// Its one peer is the bridge on this machine: no other host may take the link.
TEST_F(QuorvaneProgramTest, ListensOnTheLoopbackAddressAlone) {
  const int port = testsupport::FreePort();
  testsupport::BackgroundChild child(
      {BinPath("Quorvane"), "-F", "doc.vxml", "-PORT", std::to_string(port)});
  EXPECT_TRUE(testsupport::PollUntil(
      10000, [&] { return testsupport::ProcessListens(child.Pid(), port, true); }));
  ScriptedPeer peer(testsupport::PeerScript::Parse("send Begin"));
  ASSERT_TRUE(peer.Connect(port, 10000));
  EXPECT_EQ(ScriptedPeer::Outcome::kDialogueEnded, peer.Run(10000));
  EXPECT_EQ(0, child.Wait(10000).status);
}

TEST_F(QuorvaneProgramTest, CustomLogPathsNameTheArchive) {
  mkdir("logs", 0755);
  Session session = Serve("send Begin", {"-DiaLOG", "logs\\d.txt", "-MainLOG", "logs\\m.txt"});
  EXPECT_EQ(ScriptedPeer::Outcome::kDialogueEnded, session.outcome);
  EXPECT_EQ(0, session.server.status);
  ExpectArchive("d", "m");
}

struct IdleCase {
  const char* name;
  const char* script;
  std::vector<std::string> socketLog;  // the lines after "Open Connection OK"
  std::string outAfterConnect;
};

class IdleLoopTest : public QuorvaneProgramTest,
                     public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleLoopTest, OnlyExactBeginStartsTheDialogue) {
  Session session = Serve(GetParam().script);
  ASSERT_FALSE(session.server.timedOut);
  EXPECT_TRUE(session.server.exited);
  EXPECT_EQ(0, session.server.status);
  EXPECT_EQ(std::string(kBanner) + "doc.vxml\nPripojenie z adresy: 127.0.0.1\n" +
                GetParam().outAfterConnect,
            session.server.out);
  std::string log = "Socket log file for Quorvane\nOpen Connection OK\n";
  for (const std::string& line : GetParam().socketLog) log += line + "\n";
  EXPECT_EQ(log, ReadFile("Quorvane/socket_log.txt"));
  bool dialogueRan = GetParam().outAfterConnect.find("START") != std::string::npos;
  EXPECT_EQ(dialogueRan, testsupport::FileExists("log_data"));
}

const char kWarning[] = "Pokus o opatovne zavolanie funkcie StopDialog...ignorovane!!!\n";
const std::string kDialogueOut =
    std::string("Created log files\n---------------------------------> START\n") + kStop;

INSTANTIATE_TEST_SUITE_P(
    Scripts, IdleLoopTest,
    ::testing::Values(
        IdleCase{"EndBeforeBeginWarns", "send End\nsend Begin",
                 {"Receive> End", "Receive> Begin", "Send> Koniec dialogu"},
                 kWarning + kDialogueOut},
        IdleCase{"NearMissesAreIgnored", "send Begin \nsend begin\nsend BeginX\nsend \nsend Begin",
                 {"Receive> Begin ", "Receive> begin", "Receive> BeginX", "Receive> ",
                  "Receive> Begin", "Send> Koniec dialogu"},
                 kDialogueOut},
        IdleCase{"ClosedPeerEndsTheWait", "close", {},
                 "The peer closed the connection\n"},
        IdleCase{"ClosedPeerAfterEnd", "send End\nclose", {"Receive> End"},
                 std::string(kWarning) + "The peer closed the connection\n"}),
    [](const ::testing::TestParamInfo<IdleCase>& info) { return info.param.name; });

TEST_F(QuorvaneProgramTest, WithoutThePortOptionItListensOn12500) {
  const int kDefaultPort = 12500;
  // Only one run of this test on the machine at a time (other build trees
  // run it too); a run that finds the lock taken skips.
  const int lock =
      open("/tmp/quorvane-default-port-test.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
  if (lock < 0 || flock(lock, LOCK_EX | LOCK_NB) != 0) {
    if (lock >= 0) close(lock);
    GTEST_SKIP() << "another run holds port 12500";
  }
  struct Unlock {
    int fd;
    ~Unlock() { close(fd); }
  } unlock{lock};
  {
    platform::TcpListener probe;
    if (probe.Listen(kDefaultPort) != platform::ListenError::kNone) {
      GTEST_SKIP() << "port 12500 is in use on this machine";
    }
  }
  testsupport::BackgroundChild child({BinPath("Quorvane"), "-F", "doc.vxml"});
  ScriptedPeer peer(testsupport::PeerScript::Parse("send Begin"));
  ScriptedPeer::Outcome outcome = ScriptedPeer::Outcome::kFailed;
  if (peer.Connect(kDefaultPort, 10000)) outcome = peer.Run(10000);
  ChildResult server = child.Wait(10000);
  if (server.err.find("Problem s pojmenovanim soketu.") != std::string::npos) {
    GTEST_SKIP() << "another program took port 12500 meanwhile";
  }
  ASSERT_FALSE(server.timedOut);
  EXPECT_EQ(0, server.status);
  EXPECT_EQ(ScriptedPeer::Outcome::kDialogueEnded, outcome);
  EXPECT_EQ(std::vector<std::string>{"Koniec dialogu"}, peer.Received());
}

TEST_F(QuorvaneProgramTest, BusyPortEndsWithTheMessageAndStatusZero) {
  platform::TcpListener holder;
  ASSERT_EQ(platform::ListenError::kNone, holder.Listen(0));
  ChildResult result = testsupport::RunChild(
      {BinPath("Quorvane"), "-F", "doc.vxml", "-PORT", std::to_string(holder.Port())}, "", 10000);
  ASSERT_FALSE(result.timedOut);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("Problem s pojmenovanim soketu.\n", result.err);
}

class UsageTest : public QuorvaneProgramTest,
                  public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(UsageTest, BadCommandLineGivesUsageAndStatusZero) {
  std::vector<std::string> argv = {BinPath("Quorvane")};
  argv.insert(argv.end(), GetParam().begin(), GetParam().end());
  ChildResult result = testsupport::RunChild(argv, "", 10000);
  ASSERT_FALSE(result.timedOut);  // it never starts listening
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(kBanner, result.out);
  EXPECT_EQ("Usage: Quorvane -F document [-PORT port] [-DiaLOG path] [-MainLOG path]\n",
            result.err);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, UsageTest,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"-F"},
                      std::vector<std::string>{"doc.vxml"},
                      std::vector<std::string>{"-PORT", "5000", "-F", "doc.vxml"},
                      std::vector<std::string>{"-F", "doc.vxml", "-PORT"},
                      std::vector<std::string>{"-F", "doc.vxml", "-DiaLOG"},
                      std::vector<std::string>{"-F", "doc.vxml", "-MainLOG"},
                      std::vector<std::string>{"-F", "doc.vxml", "-PORT", "0"},
                      std::vector<std::string>{"-F", "doc.vxml", "-PORT", "65536"},
                      std::vector<std::string>{"-F", "doc.vxml", "-PORT", "12x"},
                      std::vector<std::string>{"-F", "doc.vxml", "-PORT", "-1"},
                      std::vector<std::string>{"-F", "doc.vxml", "-PORT", "99999999999"}));

}  // namespace
