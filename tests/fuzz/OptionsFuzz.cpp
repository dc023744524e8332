// The hub library's command-line options over any command line: the split
// into the library's words and the program's, and the whole parse a server
// makes of it. Both lists start with the program's name and keep the order of
// the command line; every word goes to one of them ("-help" to both); a parsed
// record holds values in range.
//
// Input: the words after the program's name, each ended by a NUL.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "libhub/ServerMain/ServerArgs.h"
#include "libhub/util/Options.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/HubFuzzSetup.h"

namespace {

// True when the words after the first are the command line's words in order,
// some left out.
bool KeepsOrder(const std::vector<std::string>& words, const std::vector<std::string>& line) {
  auto at = line.begin() + 1;
  for (auto word = words.begin() + 1; word != words.end(); ++word, ++at) {
    at = std::find(at, line.end(), *word);
    if (at == line.end()) return false;
  }
  return words.front() == line.front();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::InitializeHubQuietly();
  std::vector<std::string> line{"Tressig"};
  std::string word;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != '\0') {
      word += static_cast<char>(data[i]);
    } else {
      line.push_back(word);
      word.clear();
    }
  }
  std::vector<const char*> argv;
  for (const std::string& each : line) argv.push_back(each.c_str());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(line.size());

  HubUtil_ArgList library, leftover;
  if (HubUtil_SplitOptions(argc, argv.data(), HubUtil_OptionTable::Standard(), &library,
                           &leftover)) {
    FUZZ_CHECK(KeepsOrder(library.Words(), line) && KeepsOrder(leftover.Words(), line));
    const int words = library.Argc() + leftover.Argc() - 2;
    const int helps = static_cast<int>(std::count(line.begin() + 1, line.end(), "-help"));
    FUZZ_CHECK(words >= argc - 1 && words <= argc - 1 + helps);
  }

  Hub_ServerArgs* args = Hub_ParseServerArgs(argc, argv.data(), nullptr, nullptr, nullptr);
  if (args) {
    FUZZ_CHECK(args->maxConnections >= 1 && args->leftover.Words().front() == line.front());
    Hub_DestroyServerArgs(args);
  }
  return 0;
}
