// The hub library's name splitting over any text. What is split off joins
// back into the text: prefix "." name, host ":" port text; an index prefix
// leaves a tail of the text; a port is -1 without ":" and 0..65535 with it.
//
// Input: the text (up to its first NUL, as the library sees it).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "libhub/util/NameSplit.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// The malloc'd text as a string ("" for null), freed.
std::string Take(char* text) {
  std::string taken = text ? text : "";
  free(text);
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = bytes.substr(0, bytes.find('\0'));

  char* prefix = nullptr;
  const std::string operation = Take(Hub_SplitOperationName(text.c_str(), &prefix));
  const bool hasPrefix = prefix != nullptr;
  const std::string server = Take(prefix);
  FUZZ_CHECK(hasPrefix ? server + "." + operation == text : operation == text);

  int port = 0;
  const std::string host = Take(Hub_SplitHostPort(text.c_str(), &port));
  const bool hasColon = text.find(':') != std::string::npos;
  FUZZ_CHECK(hasColon ? text.compare(0, host.size() + 1, host + ":") == 0 : host == text);
  FUZZ_CHECK(hasColon ? port >= 0 && port <= 65535 : port == -1);

  int index = 0;
  char* badIndex = nullptr;
  const std::string rest = Take(Hub_SplitIndexPrefix(text.c_str(), &index, &badIndex));
  FUZZ_CHECK(EndsWith(text, rest));
  FUZZ_CHECK(badIndex == nullptr || index == -1);
  free(badIndex);
  return 0;
}
