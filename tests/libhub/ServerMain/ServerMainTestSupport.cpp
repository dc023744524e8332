#include "tests/libhub/ServerMain/ServerMainTestSupport.h"

#include <cctype>

namespace hubtest {

CommandLine::CommandLine(const std::string& program, const Words& words) : words_{program} {
  words_.insert(words_.end(), words.begin(), words.end());
  for (std::string& word : words_) pointers_.push_back(word.data());
  pointers_.push_back(nullptr);
}

std::string Text(const char* text) { return text ? text : "(null)"; }

std::string Joined(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) text += (i ? "|" : "") + std::string(argv[i]);
  return text;
}

std::string TestName(const std::string& title) {
  std::string name;
  bool upper = true;
  for (char c : title) {
    if (isalnum(static_cast<unsigned char>(c))) {
      name += upper ? static_cast<char>(toupper(static_cast<unsigned char>(c))) : c;
      upper = false;
    } else {
      upper = true;
    }
  }
  return name;
}

}  // namespace hubtest
