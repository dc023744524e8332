// The list loop over string streams, pauses off: exact list-file bytes,
// exact console bytes, and the failing-stream paths.
#include "list_generator/ListGenerator.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <ostream>
#include <string>

#include "list_generator/Console.h"

namespace {

using pantrel::Console;
using pantrel::ConsoleSettings;
using pantrel::GenerateList;
using pantrel::ListResult;
using pantrel::Mode;

struct Outcome {
  ListResult result;
  std::string list;
  std::string console;
};

Outcome Generate(const std::string& source, Mode mode, const std::string& answers = "",
                 bool utf8 = false) {
  std::istringstream sourceStream(source);
  std::istringstream in(answers);
  std::ostringstream list, out;
  Console console(in, out, ConsoleSettings{utf8, false});
  ListResult result = GenerateList(sourceStream, list, mode, console);
  return {result, list.str(), out.str()};
}

std::string Repeat(const std::string& piece, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += piece;
  return s;
}

struct AutoCase {
  const char* name;
  std::string source;
  std::string list;
};

void PrintTo(const AutoCase& c, std::ostream* os) { *os << c.name; }

class AutomaticMode : public ::testing::TestWithParam<AutoCase> {};

TEST_P(AutomaticMode, WritesPhraseTabPhrase) {
  Outcome outcome = Generate(GetParam().source, Mode::kAutomatic);
  EXPECT_EQ(ListResult::kDone, outcome.result);
  EXPECT_EQ(GetParam().list, outcome.list);
  EXPECT_EQ("", outcome.console);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, AutomaticMode,
    ::testing::Values(
        // dobrý deň
        AutoCase{"Windows1250Phrase", "dobr\xFD de\xF2\n", "dobr\xFD de\xF2\tdobr\xFD de\xF2\n"},
        AutoCase{"TrailingLineFeedGivesNoEmptyEntry", "a\nb\n", "a\ta\nb\tb\n"},
        AutoCase{"LastLineWithoutLineFeed", "a\nb", "a\ta\nb\tb\n"},
        AutoCase{"CrLfLines", "a\r\nb\r\n", "a\ta\nb\tb\n"},
        AutoCase{"OnlyOneCarriageReturnDropped", "a\r\r\n", "a\r\ta\r\n"},
        AutoCase{"InnerCarriageReturnKept", "a\rb\n", "a\rb\ta\rb\n"},
        AutoCase{"EmptySource", "", ""},
        AutoCase{"EmptyLineInTheMiddle", "a\n\nb\n", "a\ta\n\t\nb\tb\n"},
        // the list keeps leading blanks and every byte, table bytes included
        AutoCase{"PhraseKeptUnchanged", "  \x8A\xE1ra\n", "  \x8A\xE1ra\t  \x8A\xE1ra\n"},
        AutoCase{"NulByteKept", std::string("a\0b\n", 4), std::string("a\0b\ta\0b\n", 8)},
        AutoCase{"LongLineWhole", Repeat("\xE1", 5000) + "\n",
                 Repeat("\xE1", 5000) + "\t" + Repeat("\xE1", 5000) + "\n"}),
    [](const ::testing::TestParamInfo<AutoCase>& info) { return std::string(info.param.name); });

struct ManualCase {
  const char* name;
  std::string source;
  std::string answers;
  std::string list;
  std::string console;
};

void PrintTo(const ManualCase& c, std::ostream* os) { *os << c.name; }

class ManualMode : public ::testing::TestWithParam<ManualCase> {};

TEST_P(ManualMode, AsksForEachLine) {
  Outcome outcome = Generate(GetParam().source, Mode::kManual, GetParam().answers);
  EXPECT_EQ(ListResult::kDone, outcome.result);
  EXPECT_EQ(GetParam().list, outcome.list);
  EXPECT_EQ(GetParam().console, outcome.console);
}

const char kPrompt[] = "Result string for this line:";

INSTANTIATE_TEST_SUITE_P(
    Answers, ManualMode,
    ::testing::Values(
        ManualCase{"EnterTakesThePhrase", "a\nb\nc\n", "x\ny\n\n", "a\tx\nb\ty\nc\tc\n",
                   std::string("\nLine:1\ta\n") + kPrompt + "\nLine:2\tb\n" + kPrompt +
                       "\nLine:3\tc\n" + kPrompt},
        // "  dobrý deň" is shown without its blanks and in code page 852
        ManualCase{"DisplayCopyShown", "  dobr\xFD de\xF2\n", "\n",
                   "  dobr\xFD de\xF2\t  dobr\xFD de\xF2\n",
                   std::string("\nLine:1\tdobr\xEC de\xE5\n") + kPrompt},
        ManualCase{"EndOfInputTakesEveryPhrase", "a\nb\n", "", "a\ta\nb\tb\n",
                   std::string("\nLine:1\ta\n") + kPrompt + "\nLine:2\tb\n" + kPrompt},
        ManualCase{"LastAnswerWithoutLineFeed", "a\nb\n", "x", "a\tx\nb\tb\n",
                   std::string("\nLine:1\ta\n") + kPrompt + "\nLine:2\tb\n" + kPrompt},
        ManualCase{"AnswerCrLf", "a\n", "x\r\n", "a\tx\n", std::string("\nLine:1\ta\n") + kPrompt},
        ManualCase{"AnswerBytesKeptInPlainLocale", "a\n", "\xC3\xA1 x \n", "a\t\xC3\xA1 x \n",
                   std::string("\nLine:1\ta\n") + kPrompt},
        ManualCase{"LongAnswerWhole", "a\n", Repeat("0123456789", 100) + "\n",
                   "a\t" + Repeat("0123456789", 100) + "\n",
                   std::string("\nLine:1\ta\n") + kPrompt}),
    [](const ::testing::TestParamInfo<ManualCase>& info) { return std::string(info.param.name); });

TEST(ManualModeUtf8, ConvertsTheDisplayCopyAndTheAnswer) {
  // phrase "Šťastný deň", answer typed as UTF-8 "ďakujem"
  Outcome outcome = Generate("\x8A\x9D" "astn\xFD de\xF2\n", Mode::kManual,
                             "\xC4\x8F" "akujem\n", true);
  EXPECT_EQ("\x8A\x9D" "astn\xFD de\xF2\t\xEF" "akujem\n", outcome.list);
  EXPECT_EQ(std::string("\nLine:1\t\xC5\xA0\xC5\xA5" "astn\xC3\xBD de\xC5\x88\n") + kPrompt,
            outcome.console);
}

TEST(ManualModeUtf8, AutomaticModeNeverConverts) {
  Outcome outcome = Generate("dobr\xFD\n", Mode::kAutomatic, "", true);
  EXPECT_EQ("dobr\xFD\tdobr\xFD\n", outcome.list);
}

TEST(ModeFromWord, OnlyExactManualIsManual) {
  EXPECT_EQ(Mode::kManual, pantrel::ModeFromWord("manual"));
  for (const char* word : {"auto", "Manual", "MANUAL", "manual ", "manua", "", "xyz"}) {
    EXPECT_EQ(Mode::kAutomatic, pantrel::ModeFromWord(word)) << word;
  }
}

// Serves its text, then fails the next read as a broken disk would.
class BrokenSource : public std::streambuf {
 public:
  explicit BrokenSource(std::string text) : text_(std::move(text)) {
    setg(text_.data(), text_.data(), text_.data() + text_.size());
  }

 protected:
  int_type underflow() override { throw std::runtime_error("read error"); }

 private:
  std::string text_;
};

// Accepts nothing, as a full disk.
class FullDisk : public std::streambuf {};

TEST(FailingStreams, SourceReadErrorIsReported) {
  BrokenSource buffer("a\nb");
  std::istream source(&buffer);
  std::istringstream in;
  std::ostringstream list, out;
  Console console(in, out, ConsoleSettings{false, false});
  EXPECT_EQ(ListResult::kSourceUnreadable, GenerateList(source, list, Mode::kAutomatic, console));
  EXPECT_EQ("a\ta\n", list.str());
}

TEST(FailingStreams, ListWriteErrorStopsAtTheFirstLine) {
  std::istringstream source("a\nb\n");
  FullDisk disk;
  std::ostream list(&disk);
  std::istringstream in("x\ny\n");
  std::ostringstream out;
  Console console(in, out, ConsoleSettings{false, false});
  EXPECT_EQ(ListResult::kListUnwritable, GenerateList(source, list, Mode::kManual, console));
  EXPECT_EQ(std::string("\nLine:1\ta\n") + kPrompt, out.str());
}

}  // namespace
