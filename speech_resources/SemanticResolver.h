// The meaning of an accepted answer. After an input turn the field, menu and
// initial executors hand the recognition result to the resolver; it looks at
// every grammar entry that was active and announced in the turn, interprets
// the result as the entry's format calls for, and writes the meaning into the
// script object "SmResult." + the entry's item name (first made a new
// object), marking the entry as matched:
//   "slf"   the semantic string (the utterance when it is empty), as a string;
//   "bnf"   the semantic string as a script expression, when it is not empty;
//   "list"  the semantic string as a string when it is not empty; otherwise
//           the list lookup (not in this build: no match, with a warning);
//   "xml"   the SRGS matching of BuildSmResult (not in this build: no match,
//           with a warning).
// When no entry matched and the semantic string is not empty, the item's
// dialog variable receives it as a string.
//
// The grammar manager (not owned; it must outlive the resolver) gives the
// entries, the scope layer and the main log. Single-threaded.
#pragma once
#include <string>

class Element;
class GrammarManager;
struct GrammarEntry;

class SemanticResolver {
 public:
  explicit SemanticResolver(GrammarManager* grammars);
  SemanticResolver(const SemanticResolver&) = delete;
  SemanticResolver& operator=(const SemanticResolver&) = delete;

  // Interprets one turn for the field, menu or initial `item` (not null):
  // logs "Invoking function ReturnSemantic", prints "Available semantic " +
  // the semantic string and "ResultMatched is " + 1 or 0. The item's variable
  // is its binding's name for a menu, else its "name" attribute.
  void ReturnSemantic(const std::string& utterance, const std::string& semantic, Element* item);
  // Interprets one entry in the grammar manager's current format.
  void ReturnSemFromGr(const std::string& utterance, const std::string& semantic,
                       GrammarEntry& entry);
  // SRGS matching of the utterance against the current entry's grammar tree:
  // not in this build. Logs a warning naming the grammar; nothing matches.
  void BuildSmResult(const Element* grammar);

 private:
  // The lookup of a list grammar's answer: not in this build. Logs a warning
  // naming the grammar and returns false (nothing found).
  bool LookUpList(const GrammarEntry& entry);

  GrammarManager* grammars_;
  const GrammarEntry* currentEntry_ = nullptr;  // the entry being interpreted
  bool matched_ = false;  // the last SRGS matching matched something
};
