// Pantrel's reading and transcription of source lines in manual mode, with
// the operator's answers, on a plain or a UTF-8 console. The list file holds
// each source line (its line feed and one CR before it dropped), a tab, and
// the operator's answer (in Windows-1250) or, for an empty or missing one,
// the line itself. A display copy keeps one character per byte of the line,
// less its leading blanks, on either console.
//
// Input: a flag byte (bit 0: UTF-8 console), the length N of the answers, the
// source, then the last N bytes: the answers.
#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "list_generator/Charset.h"
#include "list_generator/Console.h"
#include "list_generator/ListGenerator.h"
#include "list_generator/TranscribeLine.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace pantrel;

namespace {

std::vector<std::string> ModelLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || data[1] > size - 2) return 0;
  const bool utf8 = data[0] & 1;
  const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
  const std::string source = bytes.substr(0, bytes.size() - data[1]);
  const std::string answers = bytes.substr(bytes.size() - data[1]);

  std::istringstream sourceStream(source), answerStream(answers);
  std::ostringstream list, shown;
  Console console(answerStream, shown, ConsoleSettings{utf8, false});
  FUZZ_CHECK(GenerateList(sourceStream, list, Mode::kManual, console) == ListResult::kDone);

  const std::vector<std::string> lines = ModelLines(source), replies = ModelLines(answers);
  std::string expected;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    std::string reply = i < replies.size() ? replies[i] : "";
    if (utf8) reply = Utf8ToWindows1250(reply);
    expected += line + "\t" + (reply.empty() ? line : reply) + "\n";

    std::string display = line;
    TranscribeLine(display);
    const std::size_t blanks = std::min(line.find_first_not_of(' '), line.size());
    FUZZ_CHECK(display.size() == line.size() - blanks);
    FUZZ_CHECK(Utf8ToWindows1250(Cp852ToUtf8(display)).size() == display.size());
  }
  FUZZ_CHECK(list.str() == expected);
  return 0;
}
