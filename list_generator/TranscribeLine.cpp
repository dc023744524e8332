#include "list_generator/TranscribeLine.h"

#include <array>

namespace pantrel {
namespace {

struct DisplayRow {
  unsigned char windows1250;
  unsigned char shown;
};

// Windows-1250 byte -> byte written to the console. Most targets are the
// letter's code-page-852 byte; five rows are not (Ž, É, Í, Ň, Ó) and are kept
// as they are, since operators know the list as it has always been shown.
constexpr std::array<DisplayRow, 28> kDisplayTable = {{
    {0x8A, 0xE6},  // Š
    {0x8D, 0x9B},  // Ť
    {0x8E, 0xA7},  // Ž, shown as ž
    {0x9A, 0xE7},  // š
    {0x9D, 0x9C},  // ť
    {0x9E, 0xA7},  // ž
    {0xBC, 0x95},  // Ľ
    {0xBE, 0x96},  // ľ
    {0xC1, 0xB5},  // Á
    {0xC4, 0x8E},  // Ä
    {0xC8, 0xAC},  // Č
    {0xC9, 0xE0},  // É, shown as Ó
    {0xCD, 0x49},  // Í, shown as the letter I
    {0xD2, 0x4E},  // Ň, shown as the letter N
    {0xD3, 0xD2},  // Ó, shown as Ď
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
}};

}  // namespace

unsigned char DisplayByte(unsigned char windows1250) {
  for (const DisplayRow& row : kDisplayTable) {
    if (row.windows1250 == windows1250) return row.shown;
  }
  return windows1250;
}

void TranscribeLine(std::string& text) {
  text.erase(0, text.find_first_not_of(' '));
  for (char& byte : text) {
    byte = static_cast<char>(DisplayByte(static_cast<unsigned char>(byte)));
  }
}

}  // namespace pantrel
