#include "list_generator/ListGenerator.h"

#include <istream>
#include <ostream>

#include "list_generator/ConsoleTexts.h"
#include "list_generator/LineText.h"
#include "list_generator/TranscribeLine.h"

namespace pantrel {
namespace {

// Shows the phrase to the operator and returns the result typed for it; an
// empty answer, or the end of the input, takes the phrase itself.
std::string AskForResult(const std::string& phrase, long long lineNumber, Console& console) {
  std::string displayCopy = phrase;
  TranscribeLine(displayCopy);
  console.Write(texts::kLine + std::to_string(lineNumber) + "\t");
  console.WriteDisplay(displayCopy);
  console.Write("\n");
  console.Write(texts::kResultPrompt);
  std::string answer;
  console.ReadAnswer(answer);
  return answer.empty() ? phrase : answer;
}

}  // namespace

Mode ModeFromWord(const std::string& word) {
  return word == texts::kManualMode ? Mode::kManual : Mode::kAutomatic;
}

ListResult GenerateList(std::istream& source, std::ostream& list, Mode mode, Console& console) {
  std::string phrase;
  long long lineNumber = 0;
  while (ReadTextLine(source, phrase)) {
    ++lineNumber;
    std::string result = mode == Mode::kManual ? AskForResult(phrase, lineNumber, console) : phrase;
    list << phrase << '\t' << result << '\n';
    if (!list.flush()) return ListResult::kListUnwritable;
  }
  return source.bad() ? ListResult::kSourceUnreadable : ListResult::kDone;
}

}  // namespace pantrel
