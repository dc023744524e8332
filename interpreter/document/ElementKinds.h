// The kinds of elements that the Form Interpretation Algorithm and the
// executors tell apart by tag name. Each set is written here once.
#pragma once
#include <string>

#include "interpreter/document/Element.h"

namespace elementkinds {

// Form items: the children of a form that the select phase can pick and the
// clear executor clears; each has a variable. "field", "block", "initial",
// "object", "record", "subdialog", "transfer".
inline bool IsFormItem(const std::string& tag) {
  return tag == "field" || tag == "block" || tag == "initial" || tag == "object" ||
         tag == "record" || tag == "subdialog" || tag == "transfer";
}

// Input items: the form items whose prompt and event counters the
// initialisation phase resets. "field", "initial", "record", "subdialog",
// "object".
inline bool IsInputItem(const std::string& tag) {
  return tag == "field" || tag == "initial" || tag == "record" || tag == "subdialog" ||
         tag == "object";
}

// Declared: the children of a dialog that get a variable in the
// initialisation phase: every form item and "var".
inline bool IsDeclared(const std::string& tag) { return tag == "var" || IsFormItem(tag); }

// A handler of the event ("noinput", "nomatch", "help"): an element named
// after it, or a <catch> whose "event" holds the name.
inline bool HandlesEvent(const Element& handler, const std::string& event) {
  if (handler.tagName != "catch") return handler.tagName == event;
  return handler.GetAttribute("event").find(event) != std::string::npos;
}

}  // namespace elementkinds
