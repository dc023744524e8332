#include "interpreter/scripts/ScriptLiteral.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(ScriptLiteralTest, EscapesWhatCouldEndOrBreakALiteral) {
  struct Case {
    const char* text;
    const char* escaped;
  };
  const Case cases[] = {
      {"", ""},
      {"plain text 123", "plain text 123"},
      {"O'Brien", "O\\'Brien"},
      {"say \"hi\"", "say \\\"hi\\\""},
      {"C:\\temp", "C:\\\\temp"},
      {"\\'", "\\\\\\'"},
      {"one\r\ntwo\n", "one\\r\\ntwo\\n"},
      {"tab\there", "tab\there"},
      {"\x9E" "ena \xE8" "aj", "\x9E" "ena \xE8" "aj"},  // "žena čaj" stays as it is
      {"'+quit(7)+'", "\\'+quit(7)+\\'"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.escaped, EscapeScriptString(c.text)) << c.text;
    EXPECT_EQ(std::string("'") + c.escaped + "'", QuoteScriptString(c.text)) << c.text;
  }
}

TEST(ScriptLiteralTest, IntegersAreWrittenInDecimal) {
  const std::pair<const char*, const char*> cases[] = {
      {"0777", "777"}, {"-0010", "-10"}, {"00", "0"},    {"-0", "-0"},
      {"0", "0"},      {" +007", " +7"}, {"120", "120"},
  };
  for (const auto& [integer, written] : cases) EXPECT_EQ(written, DecimalLiteral(integer));
}

}  // namespace
