#include "platform/ProgramRunner.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/TempDir.h"

namespace {

using testsupport::ReadFile;

class ProgramRunnerTest : public testsupport::TempDirTest {};

TEST_F(ProgramRunnerTest, ShellCommandLineGivesItsStatusOrMinusOne) {
  EXPECT_EQ(platform::RunShellCommand("echo hi > out; exit 4"), 4);
  EXPECT_EQ(ReadFile("out"), "hi\n");
  EXPECT_EQ(platform::RunShellCommand("kill -9 $$"), -1);
}

// The written file takes the output's place only when the program succeeds;
// its folder goes in any case.
TEST_F(ProgramRunnerTest, WrittenFileReplacesTheOutputOnSuccessOnly) {
  testsupport::WriteFile("out", "old");
  EXPECT_EQ(3, platform::RunProgramWritingFile({"/bin/sh", "-c", "echo new > \"$0\"; exit 3"}, "out"));
  EXPECT_EQ("old", ReadFile("out"));
  EXPECT_EQ(0, platform::RunProgramWritingFile({"/bin/sh", "-c", "echo new > \"$0\""}, "out"));
  EXPECT_EQ("new\n", ReadFile("out"));
  EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator("."), {}));
}

// Whole lines of any length, each without one "\r".
TEST_F(ProgramRunnerTest, AnswerLinesAreWhole) {
  testsupport::WriteFile("answer", "a\tb\r\nc\r\r\n" + std::string(20000, 'v') + "\nlast");
  std::vector<std::string> lines;
  EXPECT_TRUE(platform::ReadAnswerLines("answer", &lines));
  EXPECT_EQ(lines, (std::vector<std::string>{"a\tb", "c\r", std::string(20000, 'v'), "last"}));
  EXPECT_FALSE(platform::ReadAnswerLines("missing", &lines));
}

}  // namespace
