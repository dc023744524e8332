#include "interpreter/scripts/ScriptLiteral.h"

#include <gtest/gtest.h>

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

}  // namespace
