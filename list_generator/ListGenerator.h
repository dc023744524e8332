// The list-file loop: one list-file line for each source line, the phrase,
// a tab and its result string. In automatic mode the result is the phrase
// itself; in manual mode the operator sees the phrase's display copy and types
// the result, or just presses Enter (or ends the input) to take the phrase.
#pragma once
#include <iosfwd>
#include <string>

#include "list_generator/Console.h"

namespace pantrel {

enum class Mode { kAutomatic, kManual };

// "manual" (exact, case-sensitive) is manual mode; any other word automatic.
Mode ModeFromWord(const std::string& word);

enum class ListResult {
  kDone,              // every source line has its list-file line
  kSourceUnreadable,  // reading the source failed before its end
  kListUnwritable,    // writing or flushing the list file failed
};

// Reads source to its end and writes phrase + "\t" + result + "\n" to list for
// each line, flushing after each. Source bytes are copied unchanged; only a
// line's line feed and one carriage return before it are dropped. Manual mode
// talks to the operator through console.
ListResult GenerateList(std::istream& source, std::ostream& list, Mode mode, Console& console);

}  // namespace pantrel
