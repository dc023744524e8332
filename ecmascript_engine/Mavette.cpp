// The exported functions and the life of SpiderMonkey in the process:
// JS_Init runs once, at the first EEinit; an exit hook destroys whatever
// engine still runs and shuts SpiderMonkey down, so the process may end
// through exit at any time. SpiderMonkey cannot start again after
// JS_ShutDown, so EEdestroy ends only the engine.
#include "ecmascript_engine/Mavette.h"

#include <js/Initialization.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ecmascript_engine/EcmaEngine.h"

namespace {

// Returned when no engine runs or the call is malformed; the same code as an
// error report, so callers treat the call as failed.
constexpr int kNotRun = 3;

// The exit status when the engine cannot start.
constexpr int kStartFailure = 1;

std::unique_ptr<EcmaEngine> currentEngine;
bool spiderMonkeyStarted = false;
std::chrono::milliseconds timeLimit = EcmaEngine::kDefaultTimeLimit;
EEquitHandler quitHandler = nullptr;

void ShutDownAtExit() {
  currentEngine.reset();
  JS_ShutDown();
}

void StartSpiderMonkey() {
  if (spiderMonkeyStarted) return;
  if (!JS_Init()) std::exit(kStartFailure);
  spiderMonkeyStarted = true;
  std::atexit(ShutDownAtExit);
}

// Runs the script; a script that called quit ends the process here, after
// the engine has returned, so the handler may shut the engine down. An
// engine that could not start afresh ends it as one that cannot start.
int RunScript(std::string_view script, std::optional<std::string>* value) {
  int code = currentEngine->Run(script, value);
  if (std::optional<int> status = currentEngine->QuitStatus()) {
    if (quitHandler) quitHandler(*status);
    std::exit(*status);
  }
  if (currentEngine->Broken()) std::exit(kStartFailure);
  return code;
}

}  // namespace

extern "C" {

EcmaEngine* EEinit() {
  if (currentEngine) return currentEngine.get();
  StartSpiderMonkey();
  currentEngine = EcmaEngine::Start();
  if (!currentEngine) std::exit(kStartFailure);
  currentEngine->SetTimeLimit(timeLimit);
  return currentEngine.get();
}

int EEcommandN(const char* script, char* result, std::size_t size) {
  if (!currentEngine || !script) return kNotRun;
  std::optional<std::string> value;
  int code = RunScript(script, &value);
  if (value && size > 0) {
    std::size_t length = std::min(value->size(), size - 1);
    std::memcpy(result, value->data(), length);
    result[length] = '\0';
  }
  return code;
}

int EEcommand(const char* script, char* result) { return EEcommandN(script, result, SIZE_MAX); }

int EEcreateVar(const char* name, const char* value) {
  if (!currentEngine || !name) return kNotRun;
  std::string statement = std::string("var ") + name;
  if (value) statement += std::string("=") + value;
  return RunScript(statement, nullptr);
}

void EEdestroy() { currentEngine.reset(); }

void EEsetTimeLimit(unsigned milliseconds) {
  timeLimit = std::chrono::milliseconds(milliseconds == 0 ? 1 : milliseconds);
  if (currentEngine) currentEngine->SetTimeLimit(timeLimit);
}

int EEtimedOut() { return currentEngine && currentEngine->StoppedForTime() ? 1 : 0; }

int EEmemoryReset() { return currentEngine && currentEngine->StoppedForMemory() ? 1 : 0; }

void EEsetQuitHandler(EEquitHandler handler) { quitHandler = handler; }

}  // extern "C"
