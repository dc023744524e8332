// The script-literal escaping with the real engine: any bytes, escaped and
// run as a single-quoted and as a double-quoted string literal, give back the
// same bytes. Texts reach the engine as C strings, so a NUL ends the text.
//
// Input: the text.
#include <cstdint>
#include <cstring>
#include <string>

#include "interpreter/MavetteEngine.h"
#include "interpreter/ScriptLiteral.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/fuzz/MavetteFuzzSetup.h"

namespace {

MavetteEngine& Engine() {
  static MavetteEngine* engine = [] {
    auto* started = new MavetteEngine();
    started->Start();
    return started;
  }();
  return *engine;
}

void CheckRoundTrip(const std::string& literal, const std::string& text) {
  ScriptResult result = Engine().Run(literal, text.size() + 1);
  FUZZ_CHECK(result.status == 0);
  FUZZ_CHECK(result.text == text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  const std::string text(bytes, strnlen(bytes, size));
  CheckRoundTrip(QuoteScriptString(text), text);
  CheckRoundTrip("\"" + EscapeScriptString(text) + "\"", text);
  return 0;
}
