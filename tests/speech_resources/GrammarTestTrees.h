// Hand-made element trees for the grammar tests: elements in the arena with
// the markup the line parser would give them; and SRGS markup for documents
// and grammar files (namespace srgs).
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "interpreter/document/Element.h"

namespace grammartest {

// An element whose source text is its start tag ("<tag a=\"v\">"), or the
// whole element "<tag ...>text</tag>" when a text is given.
inline Element* Make(const std::string& tag, std::vector<Attribute> attributes = {},
                     const std::string& text = "") {
  std::string source = "<" + tag;
  for (const Attribute& attribute : attributes) {
    source += " " + attribute.name + "=\"" + attribute.value + "\"";
  }
  source += text.empty() ? ">" : ">" + text + "</" + tag + ">";
  return NewElement(Element(tag, "anonymous", source, std::move(attributes)));
}

// Appends the child and returns it.
inline Element* Add(Element* parent, Element* child) {
  parent->AppendChild(child);
  return child;
}

// <item>text</item>, with a "repeat" attribute when one is given.
inline Element* Item(const std::string& text, const std::string& repeat = "") {
  if (repeat.empty()) return Make("item", {}, text);
  return Make("item", {Attribute("repeat", repeat)}, text);
}

// A one-of holding one item per text.
inline Element* OneOf(const std::vector<std::string>& texts) {
  Element* oneOf = Make("one-of");
  for (const std::string& text : texts) Add(oneOf, Item(text));
  return oneOf;
}

// <rule id="id"> holding the children.
inline Element* Rule(const std::string& id, const std::vector<Element*>& children) {
  Element* rule = Make("rule", {Attribute("id", id)});
  for (Element* child : children) Add(rule, child);
  return rule;
}

// <grammar root="root"> holding the children.
inline Element* Grammar(const std::string& root, const std::vector<Element*>& children) {
  Element* grammar = Make("grammar", {Attribute("root", root)});
  for (Element* child : children) Add(grammar, child);
  return grammar;
}

namespace srgs {

inline std::string Item(const std::string& words, const std::string& attributes = "") {
  return "<item" + attributes + ">" + words + "</item>";
}
inline std::string OneOf(const std::string& items) { return "<one-of>" + items + "</one-of>"; }
inline std::string Ref(const std::string& id) { return "<ruleref uri=\"#" + id + "\"/>"; }
// A line of its own.
inline std::string Rule(const std::string& id, const std::string& body,
                        const std::string& attributes = "") {
  return "<rule id=\"" + id + "\"" + attributes + ">" + body + "</rule>\n";
}
// An inline SRGS grammar of the rules.
inline std::string Inline(const std::string& root, const std::string& rules) {
  return "<grammar type=\"application/grammar+xml\" root=\"" + root + "\">\n" + rules +
         "</grammar>\n";
}

}  // namespace srgs
}  // namespace grammartest
