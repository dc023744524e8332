// The exchange files in the server's working folder through which outside
// programs (the program an <object> names, the list lookup Morvish) get their
// request and leave their answer: one "name\tvalue" line per entry.
#pragma once
#include <iostream>
#include <string>

namespace exchangefiles {

inline constexpr char kFolder[] = "Quorvane/VObjects";
inline constexpr char kRequestFile[] = "Quorvane/VObjects/obj_temp_to_obj";
inline constexpr char kReplyFile[] = "Quorvane/VObjects/obj_temp_to_doc";

// The value with every CR, LF and TAB made a blank, so that a value written
// into a line-based exchange (a request file, a data query) stays one field
// of one line, whatever text the caller or a peer put in it.
inline std::string OnOneLine(std::string value) {
  for (char& c : value) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  return value;
}

// The console line for an exchange file that cannot be opened.
inline void ReportUnopened(const char* file) {
  std::cout << "Nepodarilo sa otvorit temp subor " << file << ". " << std::endl;
}

}  // namespace exchangefiles
