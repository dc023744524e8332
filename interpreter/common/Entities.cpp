#include "interpreter/common/Entities.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace entities {
namespace {

// The Unicode characters of the Windows-1250 bytes 0x80 to 0xFF (0: none).
const std::array<std::uint16_t, 128> kWindows1250 = {
    0x20AC, 0,      0x201A, 0,      0x201E, 0x2026, 0x2020, 0x2021, 0,      0x2030, 0x0160,
    0x2039, 0x015A, 0x0164, 0x017D, 0x0179, 0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0,      0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0,
    0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6,
    0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1,
    0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A,
    0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2,
    0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED,
    0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159,
    0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9};

struct NamedEntity {
  const char* name;
  char character;
};
const std::array<NamedEntity, 5> kNamedEntities = {
    {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}, {"quot", '"'}}};

// The Windows-1250 byte of a Unicode character; false when it has none.
bool Windows1250Byte(unsigned long code, char& byte) {
  if (code > 0 && code < 0x80) {
    byte = static_cast<char>(code);
    return true;
  }
  const auto found = std::find(kWindows1250.begin(), kWindows1250.end(), code);
  if (code == 0 || found == kWindows1250.end()) return false;
  byte = static_cast<char>(0x80 + (found - kWindows1250.begin()));
  return true;
}

// The character of a reference's name ("amp", "#233", "#xE9"); false when
// it is not one this lexer decodes.
bool ReferencedCharacter(const std::string& name, char& character) {
  for (const NamedEntity& entity : kNamedEntities) {
    if (name == entity.name) {
      character = entity.character;
      return true;
    }
  }
  if (name.size() < 2 || name[0] != '#') return false;
  const bool hex = name[1] == 'x' || name[1] == 'X';
  const std::string digits = name.substr(hex ? 2 : 1);
  const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (digits.empty() || digits.size() > 6) return false;
  if (digits.find_first_not_of(allowed) != std::string::npos) return false;
  return Windows1250Byte(std::stoul(digits, nullptr, hex ? 16 : 10), character);
}

}  // namespace

std::string Decode(const std::string& text) {
  std::string decoded;
  std::size_t from = 0;
  for (std::size_t amp = text.find('&'); amp != std::string::npos; amp = text.find('&', from)) {
    decoded += text.substr(from, amp - from);
    const std::size_t semicolon = text.find(';', amp);
    char character;
    if (semicolon != std::string::npos &&
        ReferencedCharacter(text.substr(amp + 1, semicolon - amp - 1), character)) {
      decoded += character;
      from = semicolon + 1;
    } else {
      decoded += '&';
      from = amp + 1;
    }
  }
  return decoded + text.substr(from);
}

}  // namespace entities
