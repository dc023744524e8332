// Conversions between the Windows-1250 bytes of the callers and the 16-bit
// characters of the engine. A byte becomes the character of the same number
// and back, so every byte round-trips. A character above 0xFF keeps only its
// low byte, as the engine's own Latin-1 encoding does.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mavette {

// One character per byte.
std::u16string WidenBytes(std::string_view bytes);

// One byte per character.
std::string NarrowChars(const char16_t* chars, std::size_t length);

// Decodes the engine's UTF-8 message texts into one byte per character.
// A malformed sequence gives one '?' per byte it spans.
std::string Utf8ToBytes(std::string_view utf8);

}  // namespace mavette
