// The script engine as the interpreter's scope layer uses it: every call goes
// on to the real engine, and each run that the engine stopped, for running
// too long or for its memory (a memory reset), is told to a function with
// its result, so that the interpreter can tell a dialogue whose scripts never
// end or have lost their variables.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "interpreter/scripts/ScriptEngine.h"

class StopNotifier : public ScriptEngine {
 public:
  StopNotifier(std::unique_ptr<ScriptEngine> engine,
                  std::function<void(const ScriptResult&)> onStopped)
      : engine_(std::move(engine)), onStopped_(std::move(onStopped)) {}

  void Start() override { engine_->Start(); }
  ScriptResult Run(const std::string& script, std::size_t resultSize) override {
    ScriptResult result = engine_->Run(script, resultSize);
    if (result.timedOut || result.memoryReset) onStopped_(result);
    return result;
  }
  void Stop() override { engine_->Stop(); }

 private:
  std::unique_ptr<ScriptEngine> engine_;
  std::function<void(const ScriptResult&)> onStopped_;
};
