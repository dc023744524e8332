#include "ecmascript_engine/ScriptText.h"

namespace mavette {
namespace {

// Number of continuation bytes after a UTF-8 lead byte; -1 when the byte
// cannot start a sequence.
int ContinuationCount(unsigned char lead) {
  if (lead < 0x80) return 0;
  if ((lead & 0xE0) == 0xC0) return 1;
  if ((lead & 0xF0) == 0xE0) return 2;
  if ((lead & 0xF8) == 0xF0) return 3;
  return -1;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::u16string WidenBytes(std::string_view bytes) {
  std::u16string chars;
  chars.reserve(bytes.size());
  for (char byte : bytes) chars.push_back(static_cast<unsigned char>(byte));
  return chars;
}

std::string NarrowChars(const char16_t* chars, std::size_t length) {
  std::string bytes;
  bytes.reserve(length);
  for (std::size_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>(chars[i] & 0xFF));
  return bytes;
}

std::string Utf8ToBytes(std::string_view utf8) {
  std::string bytes;
  std::size_t i = 0;
  while (i < utf8.size()) {
    unsigned char lead = static_cast<unsigned char>(utf8[i]);
    int count = ContinuationCount(lead);
    bool complete = count >= 0 && i + count < utf8.size();
    for (int k = 1; complete && k <= count; ++k) {
      complete = IsContinuation(static_cast<unsigned char>(utf8[i + k]));
    }
    if (!complete) {
      bytes.push_back('?');
      ++i;
      continue;
    }
    unsigned long codePoint = count == 0 ? lead : lead & (0x3F >> count);
    for (int k = 1; k <= count; ++k) {
      codePoint = (codePoint << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    }
    bytes.push_back(static_cast<char>(codePoint & 0xFF));
    i += static_cast<std::size_t>(count) + 1;
  }
  return bytes;
}

}  // namespace mavette
