#include "interpreter/server/DialogSession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "interpreter/common/FatalExit.h"
#include "interpreter/executors/CurrentDocument.h"
#include "platform/Clock.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/ScriptedPeerLink.h"
#include "tests/support/TempDir.h"

using testsupport::FileExists;
using testsupport::ReadFile;

namespace {

const std::string kRule(50, '_');
const std::string kHeader = "START SESSION 22:13:20\t\t\tDATE 11/14/23\n" + kRule + "\n";
const std::string kFooter = kRule + "\nEND OF SESSION 22:13:20";

// What the session did to its dialogue, in order.
struct DialogueTrace {
  std::string events;
};

// A dialogue that notes its calls, writes to both logs while it runs and
// writes a closing message when it is destroyed.
class TracingDialogue : public Dialogue {
 public:
  TracingDialogue(DialogueTrace& trace, SessionLog& mainLog, SessionLog& dialogLog)
      : trace_(trace), mainLog_(mainLog), dialogLog_(dialogLog) {
    trace_.events += "create;";
  }
  ~TracingDialogue() override {
    trace_.events += "destroy;";
    mainLog_.Message("closing");
  }
  void Run() override {
    trace_.events += "run;";
    mainLog_.Message("running");
    dialogLog_.Write("USER: ano\n");
  }
  void Stop() override { trace_.events += "stop;"; }

 private:
  DialogueTrace& trace_;
  SessionLog& mainLog_;
  SessionLog& dialogLog_;
};

class DialogSessionTest : public testsupport::TempDirTest {
 protected:
  DialogSessionTest() {
    setenv("TZ", "UTC", 1);
    tzset();
    platform::SetFixedClock(1700000000);  // 22:13:20
    mkdir("Quorvane", 0755);
    quorvane::SetCurrentDocument("start.vxml");
    setenv(kDeathDir, dir_.Path().c_str(), 0);  // a death test's fresh process keeps ours
  }
  ~DialogSessionTest() override {
    unsetenv(kDeathDir);
    quorvane::SetStopHook({});
    platform::ClearFixedClock();
  }

  // A death test may run its statement in a fresh process that has set up a
  // directory of its own; the statement first moves into this test's
  // directory, so that its files can be checked here.
  static void EnterTestDir() { ASSERT_EQ(0, chdir(getenv(kDeathDir))); }
  static constexpr const char* kDeathDir = "QUORVANE_DEATH_TEST_DIR";

  DialogueFactory Factory() {
    return [this](SessionLog& mainLog, SessionLog& dialogLog) {
      return std::make_unique<TracingDialogue>(trace_, mainLog, dialogLog);
    };
  }

  static std::set<std::string> Archive() {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("log_data", error)) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  DialogueTrace trace_;
  testsupport::ScriptedPeerLink link_{testsupport::PeerScript()};
  DialogSession session_{link_, Factory()};
};

TEST_F(DialogSessionTest, BeginCreatesLogsRawFileAndDialogue) {
  testsupport::CaptureStdout capture;
  session_.Begin();
  EXPECT_EQ("Created log files\n", capture.Take());
  EXPECT_EQ(kHeader + "\nMESSAGE 0 : Name of browse file: start.vxml\n",
            ReadFile("Quorvane/BaseLOG.txt"));
  EXPECT_EQ(kHeader, ReadFile("Quorvane/DiaLOG.txt"));
  EXPECT_TRUE(FileExists("temp.raw"));
  EXPECT_EQ("", ReadFile("temp.raw"));
  EXPECT_EQ("create;", trace_.events);
}

TEST_F(DialogSessionTest, WholeDialogueIsArchivedAndThePeerTold) {
  testsupport::CaptureStdout capture;
  session_.Begin();
  EXPECT_EQ(0, session_.StartDialog());
  session_.EndDialogue();
  EXPECT_EQ("Created log files\n---------------------------------> START\nStop dialog called\n"
            "----------------------------------> END\n",
            capture.Take());
  EXPECT_EQ("create;run;stop;destroy;", trace_.events);
  EXPECT_EQ(std::vector<std::string>{"Koniec dialogu"}, link_.Sent());
  EXPECT_EQ((std::set<std::string>{"BaseLOG__22_13_20.log", "DiaLOG__22_13_20.raw",
                                   "DiaLOG__22_13_20.txt"}),
            Archive());
  // The closing lines and the footers are part of the archive; nothing is
  // left under the log paths.
  EXPECT_EQ(kHeader + "\nMESSAGE 0 : Name of browse file: start.vxml\n\nMESSAGE 1 : running"
                      "\nMESSAGE 2 : End of DIALOG\n\nMESSAGE 3 : End of DIALOG\n\t22:13:20"
                      "\nMESSAGE 4 : closing" + kFooter,
            ReadFile("log_data/BaseLOG__22_13_20.log"));
  EXPECT_EQ(kHeader + "USER: ano\n" + kFooter, ReadFile("log_data/DiaLOG__22_13_20.txt"));
  EXPECT_FALSE(FileExists("Quorvane/BaseLOG.txt"));
  EXPECT_FALSE(FileExists("Quorvane/DiaLOG.txt"));
  EXPECT_FALSE(FileExists("temp.raw"));
}

struct ArchiveCase {
  const char* name;
  const char* dialogLog;
  const char* mainLog;
  std::set<std::string> expected;
};

class ArchiveNamesTest : public DialogSessionTest,
                         public ::testing::WithParamInterface<ArchiveCase> {};

TEST_P(ArchiveNamesTest, StampedWithTheTimeOfDay) {
  mkdir("logs", 0755);
  session_.SetDialogLogPath(GetParam().dialogLog);
  session_.SetMainLogPath(GetParam().mainLog);
  testsupport::CaptureStdout capture;
  session_.Begin();
  session_.EndDialogue();
  EXPECT_EQ(GetParam().expected, Archive());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ArchiveNamesTest,
    ::testing::Values(
        ArchiveCase{"Default", DialogSession::kDefaultDialogLog, DialogSession::kDefaultMainLog,
                    {"DiaLOG__22_13_20.txt", "DiaLOG__22_13_20.raw", "BaseLOG__22_13_20.log"}},
        ArchiveCase{"Backslashes", "logs\\d.txt", "logs\\m.txt",
                    {"d__22_13_20.txt", "d__22_13_20.raw", "m__22_13_20.log"}},
        ArchiveCase{"Slashes", "logs/d.txt", "logs/main.log",
                    {"d__22_13_20.txt", "d__22_13_20.raw", "main__22_13_20.log"}},
        ArchiveCase{"NoFolder", "dialog.txt", "base", {"dialog__22_13_20.txt",
                                                       "dialog__22_13_20.raw", "base__22_13_20.log"}}),
    [](const ::testing::TestParamInfo<ArchiveCase>& info) { return info.param.name; });

TEST_F(DialogSessionTest, ExistingArchiveNamesAreNeverOverwritten) {
  mkdir("log_data", 0755);
  testsupport::WriteFile("log_data/DiaLOG__22_13_20.raw", "earlier run");
  testsupport::WriteFile("log_data/BaseLOG__22_13_20_1.log", "earlier run");
  testsupport::CaptureStdout capture;
  session_.Begin();
  session_.EndDialogue();
  EXPECT_EQ((std::set<std::string>{"DiaLOG__22_13_20.raw", "BaseLOG__22_13_20_1.log",
                                   "DiaLOG__22_13_20_2.txt", "DiaLOG__22_13_20_2.raw",
                                   "BaseLOG__22_13_20_2.log"}),
            Archive());
  EXPECT_EQ("earlier run", ReadFile("log_data/DiaLOG__22_13_20.raw"));
  EXPECT_EQ("earlier run", ReadFile("log_data/BaseLOG__22_13_20_1.log"));
}

TEST_F(DialogSessionTest, OriginalsAreKeptWhenTheirCopiesFail) {
  testsupport::WriteFile("log_data", "a file where the archive folder should be");
  testsupport::CaptureStdout capture;
  session_.Begin();
  testing::internal::CaptureStderr();
  session_.EndDialogue();
  std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_EQ(0u, errors.find("Cannot archive Quorvane/DiaLOG.txt: "));
  EXPECT_NE(std::string::npos, errors.find("\nCannot archive temp.raw: "));
  EXPECT_NE(std::string::npos, errors.find("\nCannot archive Quorvane/BaseLOG.txt: "));
  EXPECT_TRUE(FileExists("temp.raw"));
  EXPECT_EQ(0u, ReadFile("Quorvane/BaseLOG.txt").find(kHeader));
  EXPECT_EQ(0u, ReadFile("Quorvane/DiaLOG.txt").find(kHeader));
}

TEST_F(DialogSessionTest, MissingLogDoesNotStopTheOtherCopies) {
  session_.SetMainLogPath("nowhere\\m.txt");
  testsupport::CaptureStdout capture;
  session_.Begin();
  testing::internal::CaptureStderr();
  session_.EndDialogue();
  EXPECT_EQ(0u, testing::internal::GetCapturedStderr().find("Cannot archive nowhere/m.txt: "));
  EXPECT_EQ((std::set<std::string>{"DiaLOG__22_13_20.txt", "DiaLOG__22_13_20.raw"}), Archive());
  EXPECT_FALSE(FileExists("temp.raw"));
}

TEST_F(DialogSessionTest, FailedSendIsLoggedAndTheArchiveGoesOn) {
  testsupport::CaptureStdout capture;
  session_.Begin();
  link_.FailSends();
  testing::internal::CaptureStderr();
  session_.EndDialogue();
  EXPECT_EQ("Problem s odeslanim dat\n", testing::internal::GetCapturedStderr());
  EXPECT_NE(std::string::npos, ReadFile("log_data/BaseLOG__22_13_20.log")
                                   .find("\t22:13:20\nERROR :Problem s odeslanim dat\n"));
  EXPECT_EQ(3u, Archive().size());
}

TEST_F(DialogSessionTest, ClosedPeerIsNotToldButTheLogsAreArchived) {
  testsupport::CaptureStdout capture;
  session_.Begin();
  EXPECT_EQ("End", link_.Receive());
  ASSERT_TRUE(link_.Closed());
  session_.EndDialogue();
  EXPECT_TRUE(link_.Sent().empty());
  EXPECT_EQ(3u, Archive().size());
}

TEST_F(DialogSessionTest, StopWithoutDialogueOnlyWarns) {
  testsupport::CaptureStdout capture;
  session_.StopDialog();
  session_.StopDialog();
  EXPECT_EQ(
      "Pokus o opatovne zavolanie funkcie StopDialog...ignorovane!!!\n"
      "Pokus o opatovne zavolanie funkcie StopDialog...ignorovane!!!\n",
      capture.Take());
  EXPECT_TRUE(link_.Sent().empty());
  EXPECT_FALSE(FileExists("Quorvane/BaseLOG.txt"));
}

TEST_F(DialogSessionTest, StopAfterTheDialogueEndsTheProcessWithStatusZero) {
  EXPECT_EXIT(
      {
        EnterTestDir();
        session_.Begin();
        session_.StartDialog();
        session_.StopDialog();
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(3u, Archive().size());
}

TEST_F(DialogSessionTest, FatalErrorAfterBeginStopsTheDialogue) {
  EXPECT_EXIT(
      {
        EnterTestDir();
        session_.Begin();
        quorvane::FatalExit("document unreadable", 0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(3u, Archive().size());
  EXPECT_NE(std::string::npos,
            ReadFile("log_data/BaseLOG__22_13_20.log").find("End of DIALOG\n\t22:13:20"));
}

}  // namespace
