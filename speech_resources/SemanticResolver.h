// The meaning of an accepted answer. After an input turn the field, menu and
// initial executors hand the recognition result to the resolver; it looks at
// every grammar entry that was active and announced in the turn, interprets
// the result as the entry's format calls for, and writes the meaning into the
// script object "SmResult." + the entry's item name, marking the entry as
// matched:
//   "slf"   the semantic string (the utterance when it is empty), as a string;
//   "bnf"   the semantic string as a script expression, when it is not empty
//           (a DTMF key only when it is an integer as written, then read in
//           decimal, else a string);
//   "list"  the semantic string as a string when it is not empty; otherwise
//           the list lookup through the outside program Morvish;
//   "xml"   the SRGS matching of the utterance against the grammar tree.
// When no entry matched and the semantic string is not empty, the item's
// dialog variable receives it as a string.
//
// SRGS matching (BuildSmResult) walks the root rule's <ruleref>, <one-of>
// and <item> children in order, greedy and sequential: the words written
// beside them (text lines of a rule or an item) must come next, else the
// walk of that rule or item ends with status 0; they leave no result. The
// root rule is the one the BNF file is written with (bnf::RootRule: for a
// grammar without "root", its first rule). A rule made of words alone
// matches as an item does. An item matches only at the current word, by its
// words (one word, or several joined by single blanks) or, when nothing
// matched yet, by being the whole utterance; a failed item changes nothing.
// A matched item assigns its semantic text (its "tag", else the nearest
// ancestor's below the <grammar>, entities decoded; else its words as they
// stand) as a string: to the result itself while the root rule is matched
// directly, and appended to the result's property named by the rule entered
// last once a <ruleref> was followed. The result is made a new object first,
// and every other named rule starts as ''. The root rule's "tag" is then run
// as an expression with the rule ids qualified. A property is named
// "SmResult.<item>.<id>" for an id that is an identifier, else by the
// escaped id as a quoted key, SmResult.<item>["city-name"]. Only <rule>
// children with a non-empty id are initialised and referred to. Repeats "0-"
// and "1-" stop when a match takes no word; a rule is never entered again at
// the word where it is being matched already, and rules nest at most
// kMaxRuleDepth deep. A rule body stops after an item once something matched
// and no word is left. Every command built from words or tags runs as built
// (EcmaScopes::ExecuteBuilt); only the root rule's "tag", an expression,
// runs through EcmaScopes::ExecuteCommand.
//
// A matching may take at most kStepsPerMatching steps, whatever the grammar
// and the utterance: rules referred to again and again would otherwise take
// exponential time, and each visit does work that grows with what it reads.
// A visit of a rule body or an item takes kStepsPerVisit steps, and one more
// for each of its children and each byte of its markup and of its children's
// (their words, ids and references); entering a rule takes one more for each
// rule being matched; reading the utterance, one for each byte read; a line
// written to the main log (a rule not entered), kStepsPerLoggedByte for each
// byte. The assignments of its matched items may together hold at most
// kAssignedBytesPerMatching bytes of command: the engine reads back a rule's
// whole property at each, and the script log holds each, so items accepted
// again and again would otherwise take long and fill the log. Past either
// bound the utterance is not matched, the root tag is not run and the main
// log says so, naming the grammar and the bound ("took more than N steps",
// N being kStepsPerMatching, or "took more than 65536 bytes of
// assignments"); the assignment that would pass the bytes bound is not run.
//
// List lookup: the request file "Quorvane/VObjects/obj_temp_to_obj" gets
// "searching_item\t" + utterance; the reply file
// "Quorvane/VObjects/obj_temp_to_doc" is removed; "Quorvane/VObjects/Morvish"
// runs with the grammar's "src" as its one argument (no shell); each reply
// line name + "\t" + value with a plain name (identifier parts joined by dots,
// or empty for the result itself) sets that property of the result: digits,
// "true" and "false" as they are, anything else as an escaped string. The
// last such line decides the outcome; "listofvar\tnone" means not found, and
// so does no reply.
//
// The grammar manager (not owned; it must outlive the resolver) gives the
// entries, the scope layer and the main log. Single-threaded.
//
// Where the members live: the turn in SemanticResolver.cpp, the SRGS matcher
// in SrgsMatching.cpp, the list lookup in ListLookup.cpp.
#pragma once
#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class Element;
class GrammarManager;
struct GrammarEntry;

class SemanticResolver {
 public:
  // How deep rule references may nest in one matching.
  static constexpr std::size_t kMaxRuleDepth = 200;
  // The steps one matching may take, whatever the grammar and the utterance.
  static constexpr std::size_t kStepsPerMatching = 16000000;
  // The steps a visit of an element takes, before what it reads.
  static constexpr std::size_t kStepsPerVisit = 16;
  // The steps a byte written to the main log takes.
  static constexpr std::size_t kStepsPerLoggedByte = 16;
  // The bytes that the assignments of one matching's items may hold.
  static constexpr std::size_t kAssignedBytesPerMatching = 65536;

  explicit SemanticResolver(GrammarManager* grammars);
  SemanticResolver(const SemanticResolver&) = delete;
  SemanticResolver& operator=(const SemanticResolver&) = delete;

  // Interprets one turn for the field, menu or initial `item` (not null):
  // logs "Invoking function ReturnSemantic", prints "Available semantic " +
  // the semantic string and "ResultMatched is " + 1 or 0. The item's variable
  // is its binding's name for a menu, else its "name" attribute. `keyed`
  // tells that the semantic string is a DTMF key: data, never an expression.
  void ReturnSemantic(const std::string& utterance, const std::string& semantic, Element* item,
                      bool keyed);
  // Interprets one entry in the grammar manager's current format.
  void ReturnSemFromGr(const std::string& utterance, const std::string& semantic,
                       GrammarEntry& entry, bool keyed);
  // Matches the utterance against the current entry's grammar tree and
  // builds "SmResult." + its item name. The matched flag tells the outcome;
  // the status of the last root rule is returned (a null grammar: 0, logged).
  int BuildSmResult(const Element* grammar);

 private:
  // The result made a new object, and the property of every named rule but
  // the root rule (null: none) ''.
  void StartResult(const Element& grammar, const Element* root);
  // The result's property of the rule id: "." + id, or a quoted key.
  std::string RuleProperty(const std::string& id) const;
  // Takes the amount from what is left of a bound of the matching (`left`
  // of `bound`, counted in `unit`); false once the matching has stopped, or
  // now stops, "took more than <bound> <unit>", because less is left.
  bool Spend(std::size_t amount, std::size_t* left, std::size_t bound, const char* unit);
  // Spends the steps from the matching's budget of kStepsPerMatching.
  bool Charge(std::size_t steps);
  // Charges a visit of the element: kStepsPerVisit, and one for each byte of
  // its markup and for each child and each byte of the child's markup.
  bool Visit(const Element& element);
  // Writes the line, why a rule is not entered, to the main log when its
  // bytes can be charged; returns 0.
  int NotEntered(const std::string& line);
  // The matcher. Each returns 1 when its last attempt matched, else 0.
  int MatchRuleBody(const Element& rule);
  int MatchRuleref(const Element& ruleref);
  int MatchOneOf(const Element& oneOf);
  int MatchElement(const Element& element);
  // The walk of a rule body or of an item's children; the status is that of
  // the last <ruleref>, <one-of> or <item> child (0 when words are missing).
  int MatchChildren(const Element& parent, bool stopWhenComplete);
  // An item once, or while it matches and takes words for "0-" and "1-".
  int MatchRepeated(const Element& item);
  // An item without children, or a rule of words alone, by its words.
  int MatchLeaf(const Element& item);
  // Moves the word positions past the words when they come next in the
  // utterance (true); otherwise leaves them. Charges the bytes it read; with
  // the budget spent it takes nothing.
  bool TakeWords(const std::string& words);
  // Records the match of the leaf, which took the words, and runs its
  // assignment; stops the matching instead when that would pass the bytes
  // bound.
  void Accept(const Element& leaf, const std::string& words);
  // The next word of the utterance (up to the next blank); moves the word
  // positions past it. "" at the end, or between two blanks.
  std::string NextWord();
  // The expression with the first occurrence, after the previous insertion,
  // of each rule id made the result's property (RuleProperty), in rule order.
  std::string QualifyRuleNames(const std::string& expression, const Element& grammar) const;

  // The list lookup of the current entry; true when something was found.
  bool LookUpList(const GrammarEntry& entry);
  // Writes "searching_item\t" + utterance to the request file.
  void WriteRequest();
  // Sets one property of the result from a reply line; false for a line
  // that is skipped. *notFound tells whether it said "listofvar\tnone".
  bool TakeReplyLine(const GrammarEntry& entry, const std::string& line, bool* notFound);

  GrammarManager* grammars_;
  const GrammarEntry* currentEntry_ = nullptr;
  std::string ruleName_;    // the id of the rule whose body was entered last
  std::string utterance_;
  std::string resultPath_;  // "SmResult." + the entry's item name
  bool matched_ = false;    // an item matched in this matching
  bool complete_ = false;   // no word was left after the last item
  bool rootMode_ = false;   // the root rule is matched directly
  std::size_t wordStart_ = 0;
  std::size_t wordEnd_ = 0;
  const Element* grammar_ = nullptr;  // the grammar being matched
  // Its named rules by id, in document order, made once per matching.
  std::unordered_map<std::string, std::vector<const Element*>> rulesById_;
  std::size_t stepsLeft_ = 0;  // of kStepsPerMatching
  std::size_t assignedBytesLeft_ = 0;  // of kAssignedBytesPerMatching
  // Why the matching stopped before its end ("took more than ... steps"); "" while it goes on.
  std::string stopReason_;
  // The rules being matched, each with the word position it was entered at.
  std::vector<std::pair<const Element*, std::size_t>> activeRules_;
};
