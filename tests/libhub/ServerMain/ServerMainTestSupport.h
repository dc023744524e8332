// Shared by the generic server main's tests: command lines, texts of results,
// the toy program's hooks.
#pragma once
#include <string>
#include <vector>

#include "tests/libhub/ServerMain/ToyServerHooks.h"
#include "tests/libhub/util/HubTestSupport.h"

namespace hubtest {

using Words = std::vector<std::string>;


// A command line: the program's name, then the words; argv ends in null.
class CommandLine {
 public:
  CommandLine(const std::string& program, const Words& words);
  int Argc() const { return static_cast<int>(words_.size()); }
  char** Argv() { return pointers_.data(); }

 private:
  Words words_;
  std::vector<char*> pointers_;
};

// "(null)" for null, else the text.
std::string Text(const char* text);
// The words joined with '|'.
std::string Joined(int argc, char** argv);
// A test name made of the title's letters and digits.
std::string TestName(const std::string& title);

}  // namespace hubtest
