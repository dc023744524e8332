#include "list_generator/LineText.h"

#include <istream>

namespace pantrel {

bool ReadTextLine(std::istream& in, std::string& line) {
  line.clear();
  if (!std::getline(in, line)) {
    line.clear();
    return false;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

}  // namespace pantrel
