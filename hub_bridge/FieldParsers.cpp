#include "hub_bridge/FieldParsers.h"

#include <cmath>
#include <cstdio>

namespace {

const char kFieldMark[] = "\t:";

// The text from `begin` up to the next field mark or the end.
std::string TextUpToField(const std::string& message, size_t begin) {
  size_t end = message.find(kFieldMark, begin);
  return message.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

bool TakeNextField(std::string& message, std::string& key, std::string& value) {
  size_t mark = message.find(kFieldMark);
  if (mark == std::string::npos) return false;
  message.erase(0, mark + 2);
  std::string field = TextUpToField(message, 0);
  size_t blank = field.find(' ');
  if (blank == std::string::npos) {
    value = field.empty() ? field : field.substr(1);
    return true;
  }
  key = field.substr(0, blank);
  value = field.substr(blank + 1);
  if (!value.empty() && value.back() == '\t') value.pop_back();
  return true;
}

bool TakeColonText(std::string& message, std::string& text) {
  size_t colon = message.find(':');
  if (colon == std::string::npos) return false;
  message.erase(0, colon + 1);
  text = TextUpToField(message, 0);
  return true;
}

std::string FieldValue(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return text;
}

std::string RecognitionReply(const std::string& utterance, float confidence, int32_t noInput,
                             const std::string& semantic) {
  if (!std::isfinite(confidence)) confidence = 0;
  char confidenceText[32];
  snprintf(confidenceText, sizeof confidenceText, "%G", static_cast<double>(confidence));
  return ":utt " + FieldValue(utterance) + "\t:conf " + confidenceText + "\t:noinput " +
         std::to_string(noInput) + "\t:semantic " + FieldValue(semantic);
}
