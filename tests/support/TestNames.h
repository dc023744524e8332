// Names of parameterised tests taken from their rows.
#pragma once
#include <cctype>
#include <string>

#include <gtest/gtest.h>

namespace testsupport {

// A test name made of the letters and digits of a row's `title`, every
// other character written as '_'.
template <typename Case>
std::string TitleName(const ::testing::TestParamInfo<Case>& info) {
  std::string name;
  for (char c : std::string(info.param.title)) {
    name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  return name;
}

}  // namespace testsupport
