// Reading one line of text, from a source file or from the operator.
#pragma once
#include <iosfwd>
#include <string>

namespace pantrel {

// Reads the next line of any length into line, without its line feed and
// without one carriage return before it (files written on Windows end their
// lines with CR LF). A last line with no line feed still counts. Returns false,
// with line empty, when no line is left or the stream failed.
bool ReadTextLine(std::istream& in, std::string& line);

}  // namespace pantrel
