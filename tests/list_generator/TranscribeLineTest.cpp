// The display copy: every one of the 28 table rows, every byte outside the
// table, and the leading blanks that are dropped.
#include "list_generator/TranscribeLine.h"

#include <gtest/gtest.h>

#include <set>
#include <ostream>
#include <string>

namespace {

struct Row {
  unsigned char windows1250;
  unsigned char shown;
};

// Written out by hand from the agreed table, not from the code.
constexpr Row kRows[] = {
    {0x8A, 0xE6},  // Š
    {0x8D, 0x9B},  // Ť
    {0x8E, 0xA7},  // Ž (shown as ž)
    {0x9A, 0xE7},  // š
    {0x9D, 0x9C},  // ť
    {0x9E, 0xA7},  // ž
    {0xBC, 0x95},  // Ľ
    {0xBE, 0x96},  // ľ
    {0xC1, 0xB5},  // Á
    {0xC4, 0x8E},  // Ä
    {0xC8, 0xAC},  // Č
    {0xC9, 0xE0},  // É (shown as Ó)
    {0xCD, 0x49},  // Í (shown as I)
    {0xD2, 0x4E},  // Ň (shown as N)
    {0xD3, 0xD2},  // Ó (shown as Ď)
    {0xDA, 0xE9},  // Ú
    {0xDD, 0xED},  // Ý
    {0xE1, 0xA0},  // á
    {0xE4, 0x84},  // ä
    {0xE8, 0x9F},  // č
    {0xE9, 0x82},  // é
    {0xED, 0xA1},  // í
    {0xEF, 0xD4},  // ď
    {0xF2, 0xE5},  // ň
    {0xF3, 0xA2},  // ó
    {0xF4, 0x93},  // ô
    {0xFA, 0xA3},  // ú
    {0xFD, 0xEC},  // ý
};

class DisplayTableRow : public ::testing::TestWithParam<Row> {};

TEST_P(DisplayTableRow, MapsTheLetterInsideAPhrase) {
  const Row row = GetParam();
  std::string text = std::string("a") + static_cast<char>(row.windows1250) + "b";
  pantrel::TranscribeLine(text);
  EXPECT_EQ(std::string("a") + static_cast<char>(row.shown) + "b", text);
  EXPECT_EQ(row.shown, pantrel::DisplayByte(row.windows1250));
}

INSTANTIATE_TEST_SUITE_P(AllRows, DisplayTableRow, ::testing::ValuesIn(kRows));

TEST(DisplayTable, EveryOtherBytePassesUnchanged) {
  std::set<unsigned char> mapped;
  for (const Row& row : kRows) mapped.insert(row.windows1250);
  ASSERT_EQ(28u, mapped.size());
  for (int byte = 0; byte < 256; ++byte) {
    if (mapped.count(static_cast<unsigned char>(byte))) continue;
    EXPECT_EQ(byte, pantrel::DisplayByte(static_cast<unsigned char>(byte))) << "byte " << byte;
  }
}

struct Case {
  const char* name;
  std::string text;
  std::string display;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class TranscribeLineCase : public ::testing::TestWithParam<Case> {};

TEST_P(TranscribeLineCase, MakesTheDisplayCopy) {
  std::string text = GetParam().text;
  pantrel::TranscribeLine(text);
  EXPECT_EQ(GetParam().display, text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TranscribeLineCase,
    ::testing::Values(
        Case{"Empty", "", ""}, Case{"OnlyBlanks", "    ", ""},
        Case{"LeadingBlanksDropped", "   abc", "abc"},
        Case{"InnerAndTrailingBlanksKept", " a  b ", "a  b "},
        Case{"TabIsNotABlank", "\t abc", "\t abc"},
        // "  dobrý deň" -> "dobrý deň" in code page 852
        Case{"SlovakPhrase", "  dobr\xFD de\xF2", "dobr\xEC de\xE5"},
        // "Ťažký ŽIVOT" -> Ž shows as ž, Í as I
        Case{"CapitalsThatDiffer", "\x8D" "a\x9Ek\xFD \x8EIVOT", "\x9B" "a\xA7k\xEC \xA7IVOT"},
        Case{"NulKept", std::string("a\0\xE1", 3), std::string("a\0\xA0", 3)}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
