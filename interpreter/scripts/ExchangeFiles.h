// The exchange files in the server's working folder through which outside
// programs (the program an <object> names, the list lookup Morvish) get their
// request and leave their answer: one "name\tvalue" line per entry. Every
// exchange goes the same way: the request written, an earlier reply removed,
// the program run, each reply line split into its name and its value, and the
// value made a script value by the exchange's own rule.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace exchangefiles {

inline constexpr char kFolder[] = "Quorvane/VObjects";
inline constexpr char kRequestFile[] = "Quorvane/VObjects/obj_temp_to_obj";
inline constexpr char kReplyFile[] = "Quorvane/VObjects/obj_temp_to_doc";

// Makes the folder of the exchange files when it is missing.
void MakeFolder();

// The value with every control character (the bytes below 0x20 and DEL) made
// a blank, so that a value written into a line-based exchange (a request
// file, a data query) stays one field of one line, whatever text the caller
// or a peer put in it. Bytes from 0x80 up are characters and stay.
std::string OnOneLine(std::string value);

// The console line for an exchange file that cannot be opened.
void ReportUnopened(const char* file);

// Runs the program (through `run`, which also tells how it ended) once the
// reply file of an earlier exchange is gone, so that no earlier answer
// counts. Gives the reply's lines; none, after the console line, when the
// program left no reply.
std::vector<std::string> RunForReply(const std::function<void()>& run);

// A reply line "name\tvalue": the console shows the line, then the TAB's
// position. False for a line without a TAB (shown all the same).
bool SplitReplyLine(const std::string& line, std::string* name, std::string* value);

// The rules that make a reply's value a script value. Both write "true" and
// "false" as booleans and any other text as an escaped string literal;
// numbers differ:
// - ObjectValue (an <object>'s program and data query): an integer as
//   written (blanks, a sign, digits) whose decimal integer read from every
//   position on is not zero, so 42 and -5 are numbers while 0, 100, 12a and
//   5-3 are strings;
// - LookupValue (the list lookup): decimal digits alone.
// A number is written in decimal (DecimalLiteral).
std::string ObjectValue(const std::string& text);
std::string LookupValue(const std::string& text);

}  // namespace exchangefiles
