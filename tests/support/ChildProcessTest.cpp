// The child runner is what every process test leans on: its time-out must
// fire and its captures must be exact.
#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>

using testsupport::RunChild;

namespace {

std::size_t OpenDescriptorCount() {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                                std::filesystem::directory_iterator()));
}

}  // namespace

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

// A child that writes more than a pipe holds before it reads its input must
// still be read meanwhile, or both sides wait for ever.
TEST(ChildProcess, FeedsLargeInputToAChildThatWritesFirst) {
  const std::size_t size = 1 << 20;
  auto result = RunChild({"/bin/sh", "-c", "head -c 1048576 /dev/zero; wc -c"},
                         std::string(size, 'a'), 10000);
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(0, result.status);
  EXPECT_EQ(std::string(size, '\0') + "1048576\n", result.out);
}

TEST(ChildProcess, ProgramThatCannotStartLeavesNoDescriptorOpen) {
  const std::size_t before = OpenDescriptorCount();
  EXPECT_THROW(RunChild({"/nonexistent/program"}), std::runtime_error);
  EXPECT_THROW(testsupport::BackgroundChild({"/nonexistent/program"}), std::runtime_error);
  EXPECT_EQ(before, OpenDescriptorCount());
}
