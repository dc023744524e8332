// The real Pantrel program run as a child process: exit statuses, exact
// console and list-file bytes, error paths, and runs that must not hang.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <clocale>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::ChildResult;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

constexpr int kTimeoutMs = 10000;

// Runs Pantrel with the given arguments in the given locale.
ChildResult RunPantrel(const std::vector<std::string>& arguments, const std::string& input = "",
                       const std::string& locale = "C") {
  std::vector<std::string> argv = {"/usr/bin/env", "LC_ALL=" + locale,
                                   testsupport::BinPath("Pantrel")};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return testsupport::RunChild(argv, input, kTimeoutMs);
}

void ExpectExited(const ChildResult& result, int status) {
  EXPECT_FALSE(result.timedOut);
  EXPECT_TRUE(result.exited);
  EXPECT_EQ(status, result.status);
}

const std::string kBanner =
    "\n\n"
    "***************************************\n"
    "* Semi-automatic lis file generator  *\n"
    "***************************************\n";

std::string Settings(const std::string& source, const std::string& output,
                     const std::string& mode) {
  return "*\n* Input file: " + source + "\n*\n* Output file: " + output + "\n*\n* Mode: " + mode +
         "\n*\n*";
}

std::string Closing(const std::string& output) {
  return " Lis file generation was ended successfull!\n"
         "* The result was writed to output file " +
         output + "\n";
}

const std::string kPrompt = "Result string for this line:";

class PantrelProgram : public testsupport::TempDirTest {};

TEST_F(PantrelProgram, WrongArgumentCountsShowUsageAndExitZero) {
  const std::vector<std::vector<std::string>> commandLines = {
      {}, {"src.txt"}, {"src.txt", "out.lis"}, {"src.txt", "out.lis", "auto", "extra"}};
  WriteFile("src.txt", "a\n");
  for (const auto& arguments : commandLines) {
    SCOPED_TRACE(arguments.size());
    ChildResult result = RunPantrel(arguments);
    ExpectExited(result, 0);
    EXPECT_EQ(kBanner +
                  "Error: Problem with evaluating command line arguments!\n"
                  "Using of Sarvel: \n"
                  "\tPantrel source_file output_file mode\n"
                  "\tmode: manual/auto\n",
              result.out);
    EXPECT_EQ("", result.err);
    EXPECT_FALSE(FileExists("out.lis"));
  }
}

TEST_F(PantrelProgram, AutomaticRunIsByteExactAndPauses) {
  // "dobrý deň", "  Šára" with CR LF, "koniec" without a line feed
  WriteFile("src.txt", "dobr\xFD de\xF2\n  \x8A\xE1ra\r\nkoniec");
  auto start = std::chrono::steady_clock::now();
  ChildResult result = RunPantrel({"src.txt", "out.lis", "auto"});
  auto elapsed = std::chrono::steady_clock::now() - start;
  ExpectExited(result, 0);
  EXPECT_EQ(kBanner + Settings("src.txt", "out.lis", "auto") + Closing("out.lis"), result.out);
  EXPECT_EQ("", result.err);
  EXPECT_EQ("dobr\xFD de\xF2\tdobr\xFD de\xF2\n  \x8A\xE1ra\t  \x8A\xE1ra\nkoniec\tkoniec\n",
            ReadFile("out.lis"));
  // Nine 100 ms pauses between the banner's pieces and the settings lines.
  EXPECT_GE(elapsed, std::chrono::milliseconds(850));
}

TEST_F(PantrelProgram, ManualRunTakesEnterTypedAnswerAndEndOfInput) {
  // "  dobrý deň", "Žilina", "áno"; Enter, "Vysledok", then the input ends
  WriteFile("src.txt", "  dobr\xFD de\xF2\n\x8Eilina\n\xE1no\n");
  ChildResult result = RunPantrel({"src.txt", "out.lis", "manual"}, "\nVysledok\n");
  ExpectExited(result, 0);
  EXPECT_EQ(kBanner + Settings("src.txt", "out.lis", "manual") +
                "\nLine:1\tdobr\xEC de\xE5\n" + kPrompt +  // code page 852 bytes
                "\nLine:2\t\xA7ilina\n" + kPrompt +         // Ž shown as ž
                "\nLine:3\t\xA0no\n" + kPrompt + Closing("out.lis"),
            result.out);
  EXPECT_EQ("  dobr\xFD de\xF2\t  dobr\xFD de\xF2\n\x8Eilina\tVysledok\n\xE1no\t\xE1no\n",
            ReadFile("out.lis"));
}

TEST_F(PantrelProgram, CapitalisedManualRunsAutomatically) {
  WriteFile("src.txt", "jeden\ndva\n");
  ChildResult result = RunPantrel({"src.txt", "out.lis", "Manual"}, "typed\n");
  ExpectExited(result, 0);
  EXPECT_EQ(kBanner + Settings("src.txt", "out.lis", "Manual") + Closing("out.lis"), result.out);
  EXPECT_EQ("jeden\tjeden\ndva\tdva\n", ReadFile("out.lis"));
}

TEST_F(PantrelProgram, LongLineAndLongAnswerFinishWhole) {
  const std::string phrase(100000, '\xE1');  // á
  const std::string answer(20000, 'x');
  WriteFile("src.txt", phrase + "\n" + phrase + "\r\n");
  ChildResult result = RunPantrel({"src.txt", "out.lis", "manual"}, answer + "\n");
  ExpectExited(result, 0);
  EXPECT_EQ(phrase + "\t" + answer + "\n" + phrase + "\t" + phrase + "\n", ReadFile("out.lis"));
}

TEST_F(PantrelProgram, Utf8TerminalReadsLettersAndAnswersStayWindows1250) {
  const char* previous = std::setlocale(LC_CTYPE, "C.UTF-8");
  if (previous == nullptr) GTEST_SKIP() << "no C.UTF-8 locale on this machine";
  std::setlocale(LC_CTYPE, "C");
  // phrase "Šťastný deň"; answer "ďakujem" typed in UTF-8
  WriteFile("src.txt", "\x8A\x9D" "astn\xFD de\xF2\n");
  ChildResult result =
      RunPantrel({"src.txt", "out.lis", "manual"}, "\xC4\x8F" "akujem\n", "C.UTF-8");
  ExpectExited(result, 0);
  EXPECT_EQ(kBanner + Settings("src.txt", "out.lis", "manual") +
                "\nLine:1\t\xC5\xA0\xC5\xA5" "astn\xC3\xBD de\xC5\x88\n" + kPrompt +
                Closing("out.lis"),
            result.out);
  EXPECT_EQ("\x8A\x9D" "astn\xFD de\xF2\t\xEF" "akujem\n", ReadFile("out.lis"));
}

struct FailureCase {
  const char* name;
  std::string source;
  std::string output;
  std::string error;
  const char* mustNotExist;  // nullptr when no file is watched
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class PantrelFailure : public testsupport::TempDirTest,
                       public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PantrelFailure, ReportsOnStandardErrorAndExitsOne) {
  const FailureCase& failure = GetParam();
  WriteFile("src.txt", "a\nb\n");
  ChildResult result = RunPantrel({failure.source, failure.output, "auto"});
  ExpectExited(result, 1);
  EXPECT_EQ(failure.error, result.err);
  EXPECT_EQ(kBanner + Settings(failure.source, failure.output, "auto") + "\n", result.out);
  if (failure.mustNotExist) {
    EXPECT_FALSE(FileExists(failure.mustNotExist));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, PantrelFailure,
    ::testing::Values(
        FailureCase{"MissingSource", "missing.txt", "out.lis",
                    "Error: Cannot open the source file missing.txt: No such file or directory\n",
                    "out.lis"},
        FailureCase{"SourceIsAFolder", ".", "out.lis",
                    "Error: Cannot read the source file .: Is a directory\n", "out.lis"},
        FailureCase{"OutputFolderMissing", "src.txt", "nowhere/out.lis",
                    "Error: Cannot create the output file nowhere/out.lis: No such file or "
                    "directory\n",
                    "nowhere"},
        FailureCase{"OutputIsAFolder", "src.txt", ".",
                    "Error: Cannot create the output file .: Is a directory\n", nullptr},
        FailureCase{"OutputDiskFull", "src.txt", "/dev/full",
                    "Error: Cannot write the output file /dev/full\n", nullptr}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST_F(PantrelProgram, MissingSourceLeavesAnExistingListUntouched) {
  WriteFile("out.lis", "kept\n");
  ChildResult result = RunPantrel({"missing.txt", "out.lis", "auto"});
  ExpectExited(result, 1);
  EXPECT_EQ("kept\n", ReadFile("out.lis"));
}

// The list would otherwise truncate its own source before reading it.
TEST_F(PantrelProgram, OutputThatIsTheSourceLeavesTheSourceUntouched) {
  WriteFile("src.txt", "a\nb\n");
  ASSERT_EQ(0, symlink("src.txt", "link.lis"));
  for (const char* output : {"src.txt", "./src.txt", "link.lis"}) {
    ChildResult result = RunPantrel({"src.txt", output, "auto"});
    ExpectExited(result, 1);
    EXPECT_EQ(std::string("Error: The output file is the source file ") + output + "\n",
              result.err);
    EXPECT_EQ(kBanner + Settings("src.txt", output, "auto") + "\n", result.out);
    EXPECT_EQ("a\nb\n", ReadFile("src.txt"));
  }
}

}  // namespace
