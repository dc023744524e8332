// One grammar the grammar manager keeps for the running dialogue: where it
// came from, how the recogniser gets it, and its state in the current turn.
// Entries are owned by the GrammarManager; the elements they point at live in
// the process-wide element arena and are not owned here.
#pragma once
#include <string>

class Element;

struct GrammarEntry {
  // For a grammar read from a file, the <grammar> element itself; for an
  // internal grammar, the grammar's parent (<choice>, <option>, <link>,
  // <form>, <field>, <record>, <transfer>, ...).
  Element* owner = nullptr;
  // "xml" entries: the root of the parsed SRGS document; internal entries:
  // the <grammar> element; none for the other kinds.
  Element* grammarTree = nullptr;
  std::string name;            // the "src" as written, or the generated name
  std::string sourceFormat;    // "list", "xml", "slf" or "bnf"
  std::string itemName;        // the property name of its result in SmResult
  std::string recogniserUri;   // sent as ":gramURI"
  std::string recogniserType;  // sent as ":gramTYPE": "list", "bnf" or "slf"
  std::string scopeClass;      // "document", "document-ard", "dialog", "unknown" or ""
  std::string dictionaryPath;  // sent as ":loc_DICT"
  bool active = false;
  bool matched = false;  // set by the semantic resolver
  bool sent = false;     // announced in the current turn
  // The element that holds the grammar, on which post-semantic processing
  // dispatches: the owner's parent when the owner is the <grammar> element,
  // otherwise the owner itself.
  Element* holder = nullptr;
};
