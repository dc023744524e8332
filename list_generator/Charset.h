// Character-set conversions for the console. The list file itself is never
// converted: it stays in the source's Windows-1250 bytes.
#pragma once
#include <string>

namespace pantrel {

// True when the character set of the environment's locale (LC_ALL, LC_CTYPE,
// LANG) is UTF-8, i.e. when the terminal needs the console's code-page-852
// bytes turned into UTF-8. The process's own locale stays "C".
bool TerminalReadsUtf8();

// Code page 852 bytes -> UTF-8. Every byte has a character in code page 852.
std::string Cp852ToUtf8(const std::string& text);

// UTF-8 -> Windows-1250. A character with no Windows-1250 byte, and a byte
// that is not valid UTF-8, each become one '?'.
std::string Utf8ToWindows1250(const std::string& text);

}  // namespace pantrel
