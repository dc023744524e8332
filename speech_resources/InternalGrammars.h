// Internal grammars: a <grammar> without "src", which holds its grammar
// inline, and the choice grammar that the <choice> children of a menu or the
// <option> children of a field imply. The grammar manager registers them
// (GrammarManager::ServeInternalGrammar, GrammarManager::BuildChoiceGrammar);
// the helpers here make their names and trees.
#pragma once
#include <string>
#include <vector>

class EcmaScopes;
class Element;

// Dictionary folder sent as ":loc_DICT"; its backslashes go out as they are.
inline constexpr char kDictionaryFolder[] = "lang_resources\\Dictionaries\\";

struct GeneratedGrammarName {
  std::string name;
  bool fromExpr = false;  // the target came from "expr"
};

// The name of an internal grammar, by the tag name of its parent P (under
// bnf::kTempFolder):
//   "link", "choice": "GoTo" + P's "next" after its last "/", or else P's
//                     "event", or else P's "expr" (fromExpr set);
//   "form": "FormLink_" + "id";  "field", "record", "transfer": "FieldLink_" +
//   "name";  "option": "Option_" + "value";  any other: "" (no folder).
GeneratedGrammarName InternalGrammarName(const Element& parent);

// The words a <choice> or <option> is recognised by, and the text its menu
// compares a semantic result with: its own text when it has no children;
// otherwise the last of its children that gives one: a text line (its text),
// a <value> (its "expr" read through the scopes), an inline <grammar> (its
// text). A <grammar> with "src" prints "In choice element is not possible to
// use external grammars." and gives nothing. (The prompt player's
// <enumerate/> speaks a choice by a rule of its own.)
std::string ChoiceGrammarText(const Element& choice, EcmaScopes& scopes);

// One alternative of a choice grammar: its words and its "value" attribute.
struct ChoiceItem {
  std::string text;
  std::string value;
};

// A new "grammar" element with "root" = "main" and "type" =
// "application/grammar+xml", in the element arena, without parent or children.
Element* NewChoiceGrammar();

// Gives the choice grammar (anew, replacing what it held) one "rule" child
// with "id" = "main" holding one "one-of" with one "item" per choice item, in
// order. An item's source text is its words + "</item>", so its text is the
// words; a non-empty value adds a "tag" child "<tag>" + value + "</tag>".
void SetChoiceItems(Element& grammar, const std::vector<ChoiceItem>& items);
