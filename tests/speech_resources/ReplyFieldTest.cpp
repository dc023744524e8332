#include <gtest/gtest.h>

#include "speech_resources/RecognitionResult.h"

namespace {

struct FieldCase {
  const char* name;
  std::string reply;
  std::size_t maxValue;
  std::string key;    // expected key ("KEY" = untouched)
  std::string value;  // expected value ("VALUE" = untouched)
  std::string rest;   // the reply after the call
};

class ParseReplyFieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ParseReplyFieldTest, TakesOneFieldOffTheFront) {
  const FieldCase& c = GetParam();
  std::string reply = c.reply, key = "KEY", value = "VALUE";
  ParseReplyField(reply, key, value, c.maxValue);
  EXPECT_EQ(c.key, key);
  EXPECT_EQ(c.value, value);
  EXPECT_EQ(c.rest, reply);
}

const std::string k600(600, 'a');
const std::string k60(60, 'k');

INSTANTIATE_TEST_SUITE_P(
    Table, ParseReplyFieldTest,
    ::testing::Values(
        FieldCase{"first_of_several", ":utt hello\t:conf 0.9", 499, "utt", "hello", "\t:conf 0.9"},
        FieldCase{"next_field", "\t:conf 0.9\t:noinput 0", 19, "conf", "0.9", "\t:noinput 0"},
        FieldCase{"last_field", "\t:semantic none", 499, "semantic", "none", ""},
        FieldCase{"colon_in_value", ":utt a:b\t:conf 0.9", 499, "utt", "a:b", "\t:conf 0.9"},
        FieldCase{"uri_in_last_value", ":semantic http://x/y", 499, "semantic", "http://x/y", ""},
        FieldCase{"blanks_in_value", ":utt hello big world", 499, "utt", "hello big world", ""},
        FieldCase{"tab_without_colon_kept", ":utt a\tb", 499, "utt", "a\tb", ""},
        FieldCase{"text_before_colon", "xx:utt hi", 499, "utt", "hi", ""},
        FieldCase{"empty_value", ":utt \t:conf 1", 499, "utt", "", "\t:conf 1"},
        FieldCase{"no_blank_drops_first_char", ":novalue", 499, "KEY", "ovalue", ""},
        FieldCase{"lone_colon", ":", 499, "KEY", "", ""},
        FieldCase{"bare_ok", "OK", 499, "KEY", "VALUE", "OK"},
        FieldCase{"empty_reply", "", 499, "KEY", "VALUE", ""},
        FieldCase{"value_cut_to_limit", ":utt " + k600, 499, "utt", std::string(499, 'a'), ""},
        FieldCase{"number_cut_to_limit", ":conf 0.1234567890123456789999\t:x y", 19, "conf",
                  "0.12345678901234567", "\t:x y"},
        FieldCase{"key_cut_to_limit", ":" + k60 + " v", 499, std::string(49, 'k'), "v", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ParseReplyFieldSequence, ColonsInsideValuesDoNotShiftLaterFields) {
  std::string reply = ":utt time: ten\t:conf 0.95\t:noinput 0\t:semantic city:Praha";
  std::string key, utt, conf, noinput, semantic;
  ParseReplyField(reply, key, utt);
  ParseReplyField(reply, key, conf, kMaxReplyNumber);
  ParseReplyField(reply, key, noinput, kMaxReplyNumber);
  ParseReplyField(reply, key, semantic);
  EXPECT_EQ("time: ten", utt);
  EXPECT_EQ("0.95", conf);
  EXPECT_EQ("0", noinput);
  EXPECT_EQ("city:Praha", semantic);
  EXPECT_EQ("semantic", key);
  EXPECT_EQ("", reply);
  // Nothing is left: a further call changes nothing.
  ParseReplyField(reply, key, semantic);
  EXPECT_EQ("city:Praha", semantic);
}

}  // namespace
