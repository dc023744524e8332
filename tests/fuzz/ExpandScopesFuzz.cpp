// The scope layer's name expansion over any expression, with the real engine
// and a variable in each searched scope. Expansion only puts a scope before a
// name: with every scope and its "." taken out, the expression is unchanged;
// and an expanded expression expands to itself.
//
// Input: the expression.
#include <cstdint>
#include <string>

#include "interpreter/scripts/EcmaScopes.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/MavetteFuzzSetup.h"

namespace {

// The text with every scope prefix taken out, in one pass from the left.
std::string WithoutScopes(const std::string& text) {
  std::string rest;
  for (std::size_t i = 0; i < text.size();) {
    bool skipped = false;
    for (const char* prefix : {"anonymous.", "dialog.", "document.", "application.", "session."}) {
      const std::string scope = prefix;
      if (text.compare(i, scope.size(), scope) == 0) {
        i += scope.size();
        skipped = true;
        break;
      }
    }
    if (!skipped) rest += text[i++];
  }
  return rest;
}

// The layer, made once, with the scope objects and a variable in each scope
// (the last name is "\xE8\xEDslo", "číslo").
EcmaScopes& Scopes() {
  static EcmaScopes* scopes = [] {
    auto* made = new EcmaScopes();
    made->CreateSessionScopes();
    made->CreateDocumentScopes();
    for (const char* variable : {"anonymous.a=1", "dialog.d=2", "document.x=3",
                                 "document.\xE8\xEDslo=4", "application.p=5", "session.s=6"}) {
      FUZZ_CHECK(made->ExecuteCommand(variable, nullptr, false) == 0);
    }
    return made;
  }();
  return *scopes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string expression(reinterpret_cast<const char*>(data), size);
  const std::string expanded = Scopes().ExpandScopes(expression);
  FUZZ_CHECK(WithoutScopes(expanded) == WithoutScopes(expression));
  FUZZ_CHECK(Scopes().ExpandScopes(expanded) == expanded);
  return 0;
}
