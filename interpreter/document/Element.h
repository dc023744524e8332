// One node of a parsed VoiceXML or SRGS document, the attributes of its start
// tag and the note the script scope layer hangs on it.
//
// Elements live in a process-wide arena (NewElement) and are never freed while
// the process runs (fuzz builds aside): grammar entries, dialogs and executors
// of many documents keep pointers into their trees.
//
// What the line parser puts into an element:
// - tagName: a known element name ("field", "prompt", ...), "PCDATA" for a line
//   of text, or "</" + name (no ">") for a closing line such as "</form>".
// - scope: "anonymous", "document" or "dialog"; "grammar" for the root of an
//   SRGS document.
// - sourceText: the markup as read (a start tag, possibly joined from several
//   lines; a text line with "</PCDATA>" appended; a prompt's or script's body).
// - attributes: the kept attributes of the start tag in source order, at most
//   kMaxAttributes (attributes[0] is the first one).
#pragma once
#include <optional>
#include <string>
#include <vector>

class Element;

// One name-value pair of a start tag.
struct Attribute {
  Attribute(std::string name, std::string value);

  std::string name;
  std::string value;
};

// Hung on an element when a script variable is declared for it: the variable
// is scopeName + "." + variableName.
struct VariableBinding {
  VariableBinding(std::string variableName, std::string scopeName, Element* element);

  std::string variableName;
  std::string scopeName;  // the scope of the declaring element
  Element* element;       // the declaring element
};

class Element {
 public:
  static constexpr size_t kMaxAttributes = 5;
  static constexpr size_t kMaxChildren = 8000;

  // Empty strings, no attributes, no children, no parent, no binding.
  Element() = default;
  // Copies the strings and the attributes; counters as in the default.
  Element(std::string tagName, std::string scope, std::string sourceText,
          std::vector<Attribute> attributes);

  // The value of the first attribute whose name equals `name` exactly
  // (case-sensitive), or "" when there is none: a missing attribute and an
  // empty value read the same.
  std::string GetAttribute(const std::string& name) const;

  // The content of the element, taken from its source text with the start
  // mark "<" + tagName and the end mark "</" + tagName + ">":
  //   both marks found: the text between the first ">" and the end mark
  //                     ("" when that ">" lies after the end mark);
  //   only the start mark: "";
  //   only the end mark: everything before it (a text line, a prompt body);
  //   neither: the whole source text.
  // Leading and trailing blanks (0x20 only) are removed; tabs and line ends stay.
  std::string GetText() const;

  // The name of the variable bound to the element, or "" when none is.
  std::string VariableName() const { return binding ? binding->variableName : ""; }

  // Appends `child` to the children and makes this element its parent.
  void AppendChild(Element* child);

  std::vector<Element*> children;  // direct children in document order
  Element* parent = nullptr;       // null for a root
  std::vector<Attribute> attributes;
  std::string tagName;
  std::string scope;
  std::string sourceText;
  std::optional<VariableBinding> binding;  // none until the scope layer sets it
  int promptCounter = 1;  // prompts played for this form item
  int eventCounter = 0;   // no-input and no-match events of this form item
  int prompted = 0;       // 1 once the item's prompt has been played
};

// Moves `element` into the process-wide arena and returns its address, which
// stays valid until the process ends. Single-threaded use only.
Element* NewElement(Element element);

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Fuzz builds only: destroys every element of the arena, so that a fuzz target
// that parses millions of documents keeps its memory flat. Every pointer to
// an element dangles afterwards.
void ClearElementArena();
#endif
