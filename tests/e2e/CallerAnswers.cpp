#include "tests/e2e/CallerAnswers.h"

#include <cstdlib>
#include <stdexcept>

#include "tests/support/ScriptedPeer.h"

namespace e2e {
namespace {

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The part before the next "|" (all when there is none); the rest follows it.
std::string TakePart(std::string& rest) {
  size_t bar = rest.find('|');
  std::string part = Trim(rest.substr(0, bar));
  rest = bar == std::string::npos ? "" : rest.substr(bar + 1);
  return part;
}

}  // namespace

SpeechAnswer ParseSpeech(const std::string& line) {
  SpeechAnswer answer;
  std::string rest = line;
  answer.utterance = TakePart(rest);
  answer.semantic = TakePart(rest);
  std::string confidence = TakePart(rest);
  answer.noInput = answer.utterance.empty() && answer.semantic.empty();
  if (answer.noInput) answer.confidence = 0;
  char* end = nullptr;
  double value = std::strtod(confidence.c_str(), &end);
  if (!confidence.empty() && *end == '\0' && value >= 0 && value <= 1) answer.confidence = value;
  return answer;
}

bool CallerAnswers::NextLine(std::string* line) {
  while (std::getline(in_, *line)) {
    if (!line->empty() && line->back() == '\r') line->pop_back();
    if (!script_) return true;
    if (!line->empty() && line->compare(0, 2, "# ") != 0) return true;
  }
  return false;
}

std::optional<std::string> CallerAnswers::Ask(std::ostream& out, const std::string& question) {
  out << question << std::flush;
  std::string line;
  if (!NextLine(&line)) {
    out << "(end of the answers)" << std::endl;
    return std::nullopt;
  }
  if (script_) out << line << std::endl;
  dropped_ = line == kDropCommand;
  if (line == kHangUpCommand || dropped_) return std::nullopt;
  if (line == kSilenceCommand) return std::string();
  try {
    return testsupport::Unescape(line);
  } catch (const std::invalid_argument& error) {
    out << "(" << error.what() << ": the line is taken as it stands)" << std::endl;
    return line;
  }
}

}  // namespace e2e
