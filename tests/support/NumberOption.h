// Numbers given on the command line of the test tools.
#pragma once
#include <cstdlib>
#include <string>

namespace testsupport {

// The longest time-out a tool takes: a day, which still fits in milliseconds.
inline constexpr long kMaxTimeoutSeconds = 86400;

// A number made of decimal digits only, at most max: true and the number.
inline bool ParseNumber(const std::string& text, long max, int* number) {
  bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  if (!digits || text.size() > 9) return false;
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > max) return false;
  *number = static_cast<int>(value);
  return true;
}

}  // namespace testsupport
