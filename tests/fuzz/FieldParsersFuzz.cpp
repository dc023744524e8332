// The bridge's field parsers over any message from the dialog manager.
// TakeNextField, called until it finds no field: each call drops the message
// up to and with its first "\t:"; the field runs to the next "\t:" and is
// given back as key, blank and value, with one trailing TAB dropped and no
// other character, or, without a blank, as the value less the field's first
// character and the key untouched; so the fields taken in order rebuild the
// message. TakeColonText, called until it finds no ':': each call drops the
// message up to and with its first ':' and gives the text up to the next
// "\t:". A call that finds nothing changes nothing.
// RecognitionReply, with the input's halves as utterance and semantic text
// and its first four bytes as the confidence: read by the dialog manager's
// reply-field parser, the reply is exactly four fields, whose values are the
// texts with TAB, CR, LF and NUL made blanks.
//
// Input: the message.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hub_bridge/FieldParsers.h"
#include "speech_resources/RecognitionResult.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

const char kMark[] = "\t:";

// Takes one field and checks the call; appends the field, as the key and
// value give it back, to `rebuilt`. False once there was no field.
bool TakeField(std::string& message, std::string& key, std::string& rebuilt) {
  const std::string before = message, keyBefore = key;
  std::string value = "untouched";
  if (!TakeNextField(message, key, value)) {
    FUZZ_CHECK(before.find(kMark) == std::string::npos);
    FUZZ_CHECK(message == before && key == keyBefore && value == "untouched");
    return false;
  }
  const size_t mark = before.find(kMark);
  FUZZ_CHECK(mark != std::string::npos && message == before.substr(mark + 2));
  const std::string field = message.substr(0, message.find(kMark));
  const size_t blank = field.find(' ');
  std::string given;
  if (blank == std::string::npos) {
    FUZZ_CHECK(key == keyBefore);
    given = field.substr(0, 1) + value;
  } else {
    FUZZ_CHECK(key.find(' ') == std::string::npos);
    given = key + " " + value + (field.back() == '\t' ? "\t" : "");
  }
  FUZZ_CHECK(given == field);
  rebuilt += kMark + given;
  return true;
}

void CheckColonTexts(std::string message) {
  for (;;) {
    const std::string before = message;
    std::string text = "untouched";
    const size_t colon = before.find(':');
    if (!TakeColonText(message, text)) {
      FUZZ_CHECK(colon == std::string::npos && message == before && text == "untouched");
      return;
    }
    FUZZ_CHECK(colon != std::string::npos && message == before.substr(colon + 1));
    FUZZ_CHECK(text == message.substr(0, message.find(kMark)));
  }
}

void CheckRecognitionReply(const std::string& input) {
  const std::string utterance = input.substr(0, input.size() / 2);
  const std::string semantic = input.substr(input.size() / 2);
  float confidence = 0;
  std::memcpy(&confidence, input.data(), std::min(input.size(), sizeof confidence));
  std::string reply = RecognitionReply(utterance, confidence, 0, semantic);
  std::string key, value;
  std::vector<std::string> values;
  while (reply.find(':') != std::string::npos) {
    ParseReplyField(reply, key, value, reply.size());
    values.push_back(value);
  }
  FUZZ_CHECK(values.size() == 4);
  FUZZ_CHECK(values[0] == FieldValue(utterance) && values[2] == "0");
  FUZZ_CHECK(values[3] == FieldValue(semantic));
  FUZZ_CHECK(std::isfinite(std::atof(values[1].c_str())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string message(reinterpret_cast<const char*>(data), size);
  std::string rest = message, key = "earlier", rebuilt = message.substr(0, message.find(kMark));
  while (TakeField(rest, key, rebuilt)) {
  }
  FUZZ_CHECK(rebuilt == message);
  CheckColonTexts(message);
  CheckRecognitionReply(message);
  return 0;
}
