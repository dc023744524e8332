// The display copy of a phrase: what manual mode shows the operator.
// Phrases are Windows-1250 text; the console speaks code page 852, so the
// accented Slovak letters are mapped through a fixed table of 28 rows.
#pragma once
#include <string>

namespace pantrel {

// The console byte for one Windows-1250 byte: its row in the display table,
// or the byte itself when the table has no row for it.
unsigned char DisplayByte(unsigned char windows1250);

// Changes text in place into its display copy: leading blanks (0x20) dropped,
// then every byte replaced by DisplayByte. Other leading white space stays.
void TranscribeLine(std::string& text);

}  // namespace pantrel
