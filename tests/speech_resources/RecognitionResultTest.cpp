#include "speech_resources/RecognitionResult.h"

#include <gtest/gtest.h>

#include "tests/speech_resources/SpeechTestSupport.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FakePeerLink.h"

namespace {

using speechtest::LogFile;
using testsupport::CaptureStdout;
using testsupport::FakePeerLink;

class RecognitionResultTest : public testsupport::TempDirTest {
 protected:
  LogFile log_{"main.txt"};
  FakePeerLink peer_;
  RecognitionResult input_{log_.get(), peer_};
};

std::string Reply(const std::string& utt, const std::string& conf, const std::string& noinput,
                  const std::string& semantic) {
  return ":utt " + utt + "\t:conf " + conf + "\t:noinput " + noinput + "\t:semantic " + semantic;
}

struct AskCase {
  const char* name;
  std::string reply;
  int result;
  std::string utterance;
  double confidence;
  std::string interpretation;
  bool noInput;
  bool noMatch;
  std::string console;
  std::string confLog;  // the raw text after "CONF: "
  std::string cutLog = "";  // the errors before "CONF: "
};

class AskTest : public RecognitionResultTest, public ::testing::WithParamInterface<AskCase> {};

TEST_P(AskTest, ReadsTheFourFields) {
  const AskCase& c = GetParam();
  peer_.QueueReply(c.reply);
  CaptureStdout out;
  const int result = input_.Ask("voice", "ignored");
  EXPECT_EQ(c.console, out.Take());
  EXPECT_EQ(c.result, result);
  EXPECT_EQ(c.utterance, input_.utterance);
  EXPECT_DOUBLE_EQ(c.confidence, input_.confidence);
  EXPECT_EQ(c.interpretation, input_.interpretation);
  EXPECT_EQ(c.noInput, input_.noInput);
  EXPECT_EQ(c.noMatch, input_.noMatch);
  EXPECT_FALSE(input_.HangUp());
  EXPECT_EQ(std::vector<std::string>{"ask:"}, peer_.Sent());
  EXPECT_EQ(1, peer_.ReceiveCount());
  EXPECT_EQ("\nMESSAGE 0 : Zber vstupnych udajov (ATK based recognizer)" + c.cutLog +
                "\nMESSAGE 1 : CONF: " + c.confLog,
            log_.Text());
}

const std::string kLong(600, 'x');

INSTANTIATE_TEST_SUITE_P(
    Table, AskTest,
    ::testing::Values(
        AskCase{"recognised", Reply("hello", "0.9", "0", "none"), 0, "hello", 0.9, "none", false,
                false, "hello [0.9] ", "0.9"},
        AskCase{"low_confidence_is_no_match", Reply("hello", "0.5", "0", "none"), 0, "hello", 0.5,
                "none", false, true, "hello [0.5] ", "0.5"},
        AskCase{"threshold_itself_matches", Reply("hi", "0.78", "0", "s"), 0, "hi", 0.78, "s",
                false, false, "hi [0.78] ", "0.78"},
        AskCase{"just_below_threshold", Reply("hi", "0.7799", "0", "s"), 0, "hi", 0.7799, "s",
                false, true, "hi [0.7799] ", "0.7799"},
        AskCase{"no_input", Reply("", "0", "1", ""), -1, "", 0, "", true, false, " [0] \n", "0"},
        AskCase{"other_no_input_value_sets_no_flag", Reply("hi", "0.1", "2", "s"), 0, "hi", 0.1,
                "s", false, false, "hi [0.1] ", "0.1"},
        AskCase{"colons_in_utterance_and_semantic", Reply("time: ten", "0.95", "0", "a:b"), 0,
                "time: ten", 0.95, "a:b", false, false, "time: ten [0.95] ", "0.95"},
        AskCase{"missing_fields_count_as_no_match", ":utt hi", 0, "hi", 0, "", false, true,
                "hi [] ", ""},
        AskCase{"bare_ok_is_empty_no_match", "OK", 0, "", 0, "", false, true, " [] ", ""},
        AskCase{"over_long_fields_are_cut", Reply(kLong, "0.912345678901234567890", "0", kLong),
                0, std::string(499, 'x'), 0.9123456789012345, std::string(499, 'x'), false, false,
                std::string(499, 'x') + " [0.91234567890123456] ", "0.91234567890123456",
                "\nERROR :Reply field utt cut to 499 characters, the most it may hold\n"
                "\nERROR :Reply field conf cut to 19 characters, the most it may hold\n"
                "\nERROR :Reply field semantic cut to 499 characters, the most it may hold\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecognitionResultTest, EndIsAStickyHangUp) {
  peer_.QueueReply("End");
  EXPECT_EQ(RecognitionResult::kHangUp, input_.Ask("voice"));
  EXPECT_TRUE(input_.HangUp());
  input_.Reset();
  EXPECT_TRUE(input_.HangUp());
  peer_.QueueReply(Reply("hello", "0.9", "0", "none"));
  CaptureStdout out;
  EXPECT_EQ(0, input_.Ask("voice"));
  out.Take();
  EXPECT_TRUE(input_.HangUp());
  EXPECT_EQ("hello", input_.utterance);
}

TEST_F(RecognitionResultTest, ModeOtherThanVoiceSendsNothingAndResets) {
  peer_.QueueReply(Reply("hello", "0.5", "0", "none"));
  CaptureStdout out;
  ASSERT_EQ(0, input_.Ask("voice"));
  out.Take();
  ASSERT_TRUE(input_.noMatch);
  const std::string logBefore = log_.Text();
  for (const char* mode : {"dtmf", "", "Voice"}) {
    EXPECT_EQ(RecognitionResult::kNoInput, input_.Ask(mode)) << mode;
    EXPECT_EQ("", input_.utterance);
    EXPECT_EQ("", input_.interpretation);
    EXPECT_EQ(0, input_.confidence);
    EXPECT_FALSE(input_.noMatch);
  }
  EXPECT_EQ(1u, peer_.Sent().size());
  EXPECT_EQ(logBefore, log_.Text());
}

TEST_F(RecognitionResultTest, LoadGroupReadsOneReplyAndNoticesOnlyAHangUp) {
  peer_.QueueReply(":utt x");
  peer_.QueueReply("End");
  peer_.QueueReply("next");
  input_.LoadGroup();
  EXPECT_FALSE(input_.HangUp());
  input_.LoadGroup();
  EXPECT_EQ((std::vector<std::string>{"LoadGroup", "LoadGroup"}), peer_.Sent());
  EXPECT_EQ(2, peer_.ReceiveCount());
  EXPECT_TRUE(input_.HangUp());
  EXPECT_EQ("", log_.Text());
}

struct RecordCase {
  const char* name;
  std::string reply;
  int result;
};

class RecordTest : public RecognitionResultTest, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordTest, SendsTheThreeFieldsInOrder) {
  input_.utterance = "old";
  input_.confidence = 0.5;
  peer_.QueueReply(GetParam().reply);
  EXPECT_EQ(GetParam().result, input_.Record("msg1", "10s", "true"));
  EXPECT_EQ(std::vector<std::string>{"Record:\t:name msg1\t:maxtime 10s\t:dtmfterm true"},
            peer_.Sent());
  EXPECT_EQ(GetParam().result == RecognitionResult::kHangUp, input_.HangUp());
  // The reply's fields are not read.
  EXPECT_EQ("", input_.utterance);
  EXPECT_EQ("", input_.interpretation);
  EXPECT_EQ(0, input_.confidence);
  // "DM generuje požiadavku na nahratie audio zaznamu." in Windows-1250.
  EXPECT_EQ("\nMESSAGE 0 : DM generuje po\x9e" "iadavku na nahratie audio zaznamu.", log_.Text());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecordTest,
    ::testing::Values(RecordCase{"recorded", ":utt msg1\t:conf 1\t:noinput 0\t:semantic x", 0},
                      RecordCase{"ok", "OK", 0}, RecordCase{"hang_up", "End", -10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RecognitionResultTest, RecordCommandIsCutAt255Characters) {
  input_.Record(std::string(300, 'n'), "10s", "true");
  ASSERT_EQ(1u, peer_.Sent().size());
  EXPECT_EQ("Record:\t:name " + std::string(255 - 14, 'n'), peer_.Sent()[0]);
  EXPECT_NE(std::string::npos,
            log_.Text().find("\nERROR :Record: command cut to 255 characters, the most a "
                             "request holds\n"));
}

TEST_F(RecognitionResultTest, GetDtmfCharTakesTheKey) {
  peer_.QueueReply(Reply("hello", "0.9", "0", "none"));
  CaptureStdout out;
  input_.Ask("voice");
  out.Take();
  peer_.QueueReply(":DTMFchar 5");
  EXPECT_EQ(0, input_.GetDtmfChar());
  EXPECT_EQ("5", input_.dtmfInput);
  EXPECT_EQ("5", input_.interpretation);
  EXPECT_EQ("", input_.utterance);
  EXPECT_DOUBLE_EQ(0.99, input_.confidence);
  EXPECT_FALSE(input_.noInput);
  EXPECT_FALSE(input_.noMatch);
  EXPECT_EQ((std::vector<std::string>{"ask:", "GetDTMFch:"}), peer_.Sent());
  EXPECT_NE(std::string::npos,
            log_.Text().find("\nMESSAGE 2 : Zber vstupnych udajov pomocou DTMF"));
}

TEST_F(RecognitionResultTest, GetDtmfCharHangUpKeepsTheLastKey) {
  peer_.QueueReply(":DTMFchar #");
  ASSERT_EQ(0, input_.GetDtmfChar());
  peer_.QueueReply("End");
  EXPECT_EQ(-10, input_.GetDtmfChar());
  EXPECT_TRUE(input_.HangUp());
  EXPECT_EQ("#", input_.dtmfInput);
  EXPECT_EQ("", input_.interpretation);
}

TEST_F(RecognitionResultTest, ClosedLinkReadsAsHangUpAtEveryRequest) {
  peer_.NoDefaultReply();
  EXPECT_EQ(-10, input_.Ask("voice"));
  EXPECT_EQ(-10, input_.Record("a", "1s", "false"));
  EXPECT_EQ(-10, input_.GetDtmfChar());
  EXPECT_TRUE(peer_.Closed());
}

}  // namespace
