#include "list_generator/Charset.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <cerrno>
#include <cstring>

namespace pantrel {
namespace {

// Length of the UTF-8 sequence that starts with this byte, as its lead byte
// announces it; 1 for a byte that cannot start a sequence.
std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xC0 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  return 1;
}

// How many bytes at text make up the character that failed to convert: one,
// or for UTF-8 the lead byte and the continuation bytes that follow it.
std::size_t FailedCharacterLength(const char* text, std::size_t left, bool utf8) {
  std::size_t length = 1;
  if (!utf8) return length;
  std::size_t announced = Utf8SequenceLength(static_cast<unsigned char>(text[0]));
  while (length < announced && length < left &&
         (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
    ++length;
  }
  return length;
}

// Converts text with iconv. Input that cannot be converted is replaced by one
// '?' per character (skipped as a UTF-8 sequence when the source is UTF-8).
// Returns the text unchanged when the conversion is not available at all.
std::string Convert(const char* from, const char* to, const std::string& text) {
  iconv_t converter = iconv_open(to, from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;
  const bool fromUtf8 = std::strcmp(from, "UTF-8") == 0;
  std::string result;
  std::string input = text;  // iconv wants a non-const input pointer
  char* in = input.data();
  std::size_t inLeft = input.size();
  char buffer[256];
  while (inLeft > 0) {
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
    result.append(buffer, static_cast<std::size_t>(out - buffer));
    if (done != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // EILSEQ or EINVAL: one character that does not convert.
    result += '?';
    std::size_t skip = FailedCharacterLength(in, inLeft, fromUtf8);
    in += skip;
    inLeft -= skip;
  }
  iconv_close(converter);
  return result;
}

}  // namespace

bool TerminalReadsUtf8() {
  locale_t environment = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (environment == static_cast<locale_t>(0)) return false;
  bool utf8 = std::strcmp(nl_langinfo_l(CODESET, environment), "UTF-8") == 0;
  freelocale(environment);
  return utf8;
}

std::string Cp852ToUtf8(const std::string& text) { return Convert("CP852", "UTF-8", text); }

std::string Utf8ToWindows1250(const std::string& text) {
  return Convert("UTF-8", "WINDOWS-1250", text);
}

}  // namespace pantrel
