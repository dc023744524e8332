// The reply-field parser over any reply: the four fields of a recognition
// reply are taken with their limits, then further fields until none is left.
// Each call takes exactly one field off the front: what remains is the old
// reply's tail and starts at the next "\t:"; the field holds no "\t:"; key and
// value are the field's, cut to their limits, and a cut value is reported.
//
// Input: the reply.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "speech_resources/RecognitionResult.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// Takes one field and checks the call; false once nothing was taken.
bool TakeField(std::string& reply, std::string& key, std::size_t maxValue) {
  const std::string before = reply, keyBefore = key;
  std::string value = "untouched";
  const bool cut = ParseReplyField(reply, key, value, maxValue);
  const std::size_t colon = before.find(':');
  if (colon == std::string::npos) {
    FUZZ_CHECK(reply == before && key == keyBefore && value == "untouched" && !cut);
    return false;
  }
  FUZZ_CHECK(reply.size() < before.size());
  FUZZ_CHECK(before.compare(before.size() - reply.size(), reply.size(), reply) == 0);
  FUZZ_CHECK(reply.empty() || reply.compare(0, 2, "\t:") == 0);
  const std::string field = before.substr(colon + 1, before.size() - reply.size() - colon - 1);
  FUZZ_CHECK(field.find("\t:") == std::string::npos);

  const std::size_t blank = field.find(' ');
  const std::string whole =
      blank != std::string::npos ? field.substr(blank + 1) : field.substr(field.empty() ? 0 : 1);
  FUZZ_CHECK(value == whole.substr(0, maxValue) && cut == (whole.size() > maxValue));
  FUZZ_CHECK(key == (blank != std::string::npos ? field.substr(0, std::min(blank, kMaxReplyKey))
                                                : keyBefore));
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string reply(reinterpret_cast<const char*>(data), size);
  std::string key;
  for (std::size_t limit : {kMaxReplyValue, kMaxReplyNumber, kMaxReplyNumber, kMaxReplyValue}) {
    TakeField(reply, key, limit);
  }
  while (TakeField(reply, key, kMaxReplyValue)) {
  }
  return 0;
}
