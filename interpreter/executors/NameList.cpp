#include "interpreter/executors/NameList.h"

std::vector<std::string> SplitNameList(const std::string& namelist) {
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < namelist.size()) {
    std::size_t end = namelist.find(' ', start);
    if (end == std::string::npos) end = namelist.size();
    if (end > start) names.push_back(namelist.substr(start, end - start));
    start = end + 1;
  }
  return names;
}
