// The script-literal escaping with the real engine, through every command
// path of the scope layer that takes a value: any bytes, escaped and run as a
// single-quoted and as a double-quoted literal of a built command, assigned
// by FillVariableNoScope and AssignString and read back through GetValue,
// give back the same bytes. Nothing in the text is decoded (an entity stays
// as written) or run. Texts reach the engine as C strings, so a NUL ends the
// text; a value read back holds at most kValueSize - 1 bytes.
//
// Input: the text.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ScriptLiteral.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/MavetteFuzzSetup.h"

namespace {

// The layer writes no script log: its folder is not there.
EcmaScopes& Scopes() {
  static EcmaScopes* scopes = [] {
    auto* started = new EcmaScopes();
    started->CreateSessionScopes();
    started->CreateDocumentScopes();
    return started;
  }();
  return *scopes;
}

void CheckBuilt(const std::string& command, const std::string& text) {
  std::string result;
  FUZZ_CHECK(Scopes().ExecuteBuilt(command, text.size() + 1, &result) == 0);
  FUZZ_CHECK(result == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::string text(bytes, strnlen(bytes, std::min(size, EcmaScopes::kValueSize - 1)));
  EcmaScopes& scopes = Scopes();
  CheckBuilt(QuoteScriptString(text), text);
  CheckBuilt("\"" + EscapeScriptString(text) + "\"", text);
  scopes.FillVariableNoScope("v", text, "dialog");
  FUZZ_CHECK(scopes.GetValue("dialog.v") == text);
  FUZZ_CHECK(scopes.ExecuteBuilt("dialog.o={}") == 0);
  const std::string shorter = text.substr(0, EcmaScopes::kStringSize - 1);
  scopes.AssignString("dialog", "o", "p", shorter);
  FUZZ_CHECK(scopes.GetValue("dialog.o.p") == shorter);
  return 0;
}
