#include "interpreter/common/SessionLog.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "tests/support/TempDir.h"

using testsupport::ReadFile;

namespace {

class SessionLogTest : public testsupport::TempDirTest {
 protected:
  SessionLogTest() {
    setenv("TZ", "UTC", 1);
    tzset();
    platform::SetFixedClock(1700000000);  // 2023-11-14 22:13:20 UTC
  }
  ~SessionLogTest() override { platform::ClearFixedClock(); }
};

const std::string kHeader =
    "START SESSION 22:13:20\t\t\tDATE 11/14/23\n" + std::string(50, '_') + "\n";

TEST_F(SessionLogTest, NewLogHoldsExactlyTheHeaderAndTruncates) {
  testsupport::WriteFile("log.txt", "old contents");
  { SessionLog log("log.txt");
    EXPECT_EQ(kHeader, ReadFile("log.txt"));
  }
}

TEST_F(SessionLogTest, EntriesAndFooter) {
  {
    SessionLog log("log.txt");
    log.Message("first");
    log.Message("second");
    log.Error("bad");
    log.WriteBool(true);
    log.WriteBool(false);
    log.WriteInt(-1234567890123LL);
    log.WriteTime();
    log.WriteText("raw");
    EXPECT_EQ("2", log.MessageNumber());
  }
  EXPECT_EQ(kHeader + "\nMESSAGE 0 : first\nMESSAGE 1 : second\nERROR :bad\n" +
                "truefalse-1234567890123\t22:13:20raw" + std::string(50, '_') +
                "\nEND OF SESSION 22:13:20",
            ReadFile("log.txt"));
}

TEST_F(SessionLogTest, BackslashPathsNameLocalFolders) {
  mkdir("Quorvane", 0755);
  { SessionLog log("Quorvane\\BaseLOG.txt"); }
  EXPECT_NE(std::string::npos, ReadFile("Quorvane/BaseLOG.txt").find("END OF SESSION"));
}

TEST_F(SessionLogTest, MissingFolderMakesWritesDoNothing) {
  SessionLog log("nowhere/log.txt");
  log.Message("lost");
  EXPECT_FALSE(testsupport::FileExists("nowhere/log.txt"));
}

}  // namespace
