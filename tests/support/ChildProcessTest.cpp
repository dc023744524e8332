// The child runner is what every process test leans on: its time-out must
// fire and its captures must be exact.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

using testsupport::RunChild;

TEST(ChildProcess, CapturesOutputErrorAndStatus) {
  auto result = RunChild({"/bin/sh", "-c", "cat; echo oops >&2; exit 3"}, "a\0b\n");
  EXPECT_FALSE(result.timedOut);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(3, result.status);
  EXPECT_EQ("a", result.out);  // the literal stops at its NUL
  EXPECT_EQ("oops\n", result.err);
}

TEST(ChildProcess, KillsAHangingChildAtTheTimeOut) {
  auto result = RunChild({"/bin/sleep", "30"}, "", 300);
  EXPECT_TRUE(result.timedOut);
  EXPECT_FALSE(result.exited);
}
