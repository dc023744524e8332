// The console conversions for terminals that read UTF-8.
#include "list_generator/Charset.h"

#include <gtest/gtest.h>

#include <locale.h>

#include <clocale>
#include <cstdlib>

#include <ostream>
#include <string>

namespace {

struct Conversion {
  const char* name;
  std::string input;
  std::string expected;
};

void PrintTo(const Conversion& c, std::ostream* os) { *os << c.name; }

class Cp852ToUtf8Case : public ::testing::TestWithParam<Conversion> {};

TEST_P(Cp852ToUtf8Case, Converts) {
  EXPECT_EQ(GetParam().expected, pantrel::Cp852ToUtf8(GetParam().input));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Cp852ToUtf8Case,
    ::testing::Values(
        Conversion{"Ascii", "Line text", "Line text"}, Conversion{"Empty", "", ""},
        // dobrý deň
        Conversion{"SlovakPhrase", "dobr\xEC de\xE5", "dobr\xC3\xBD de\xC5\x88"},
        // Šťú
        Conversion{"Letters", "\xE6\x9C\xA3", "\xC5\xA0\xC5\xA5\xC3\xBA"},
        // 0xE0 is Ó in code page 852: what an É of the source shows as
        Conversion{"ERowShowsAsO", "\xE0", "\xC3\x93"},
        Conversion{"LongText", std::string(1000, '\xA0'), [] {
                     std::string s;
                     for (int i = 0; i < 1000; ++i) s += "\xC3\xA1";  // á
                     return s;
                   }()}),
    [](const ::testing::TestParamInfo<Conversion>& info) { return std::string(info.param.name); });

class Utf8ToWindows1250Case : public ::testing::TestWithParam<Conversion> {};

TEST_P(Utf8ToWindows1250Case, Converts) {
  EXPECT_EQ(GetParam().expected, pantrel::Utf8ToWindows1250(GetParam().input));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8ToWindows1250Case,
    ::testing::Values(
        Conversion{"Ascii", "yes", "yes"}, Conversion{"Empty", "", ""},
        // dobrý deň
        Conversion{"SlovakPhrase", "dobr\xC3\xBD de\xC5\x88", "dobr\xFD de\xF2"},
        // € has a Windows-1250 byte
        Conversion{"Euro", "\xE2\x82\xAC", "\x80"},
        // 中 has none
        Conversion{"NoWindows1250Byte", "a\xE4\xB8\xAD" "b", "a?b"},
        Conversion{"InvalidByte", "a\xFF" "b", "a?b"},
        Conversion{"LeadWithoutContinuation", "\xC3(x", "?(x"},
        Conversion{"CutAtTheEnd", "ok\xC5", "ok?"}),
    [](const ::testing::TestParamInfo<Conversion>& info) { return std::string(info.param.name); });

// The terminal's character set is read from the environment without taking
// its locale for the process: numbers and character classes stay "C".
TEST(TerminalReadsUtf8Test, ReadsTheEnvironmentAndKeepsTheCLocale) {
  const char* previous = std::getenv("LC_ALL");
  const std::string saved = previous ? previous : "";
  struct Case {
    const char* locale;
    bool utf8;
  };
  locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  const bool haveUtf8 = utf8Locale != static_cast<locale_t>(0);
  if (haveUtf8) freelocale(utf8Locale);
  for (const Case& c : {Case{"C", false}, Case{"C.UTF-8", true}}) {
    if (c.utf8 && !haveUtf8) continue;
    setenv("LC_ALL", c.locale, 1);
    EXPECT_EQ(c.utf8, pantrel::TerminalReadsUtf8()) << c.locale;
    EXPECT_STREQ("C", std::setlocale(LC_ALL, nullptr)) << c.locale;
  }
  if (previous) {
    setenv("LC_ALL", saved.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}

}  // namespace
