// The main log line that names what a document holds but nothing runs, in
// one shape wherever it is found: "ERROR :" + what + " " + place +
// " is not run", then ": " + why when a reason is given
// (<script> at the top of start.vxml is not run).
#pragma once
#include <initializer_list>
#include <string>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"

namespace notrun {

inline void Log(SessionLog& log, const std::string& what, const std::string& place,
                const std::string& why = "") {
  log.Error(what + " " + place + " is not run" + (why.empty() ? "" : ": " + why));
}

// Log for each of the attributes the element gives a value, named as
// written: name="value".
inline void LogAttributes(SessionLog& log, const Element& element,
                          std::initializer_list<const char*> attributes, const std::string& place,
                          const std::string& why) {
  for (const char* attribute : attributes) {
    const std::string value = element.GetAttribute(attribute);
    if (!value.empty()) Log(log, attribute + ("=\"" + value + "\""), place, why);
  }
}

}  // namespace notrun
