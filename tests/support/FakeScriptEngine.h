// A script engine that runs nothing: it notes every call and answers each
// script from a table, for cases the real engine cannot show (a chosen
// status, the result buffer size of each call). The notes and the table sit
// in a shared record, so a test still reads them after handing the engine to
// the layer that owns it.
#pragma once
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "interpreter/scripts/ScriptEngine.h"

namespace testsupport {

struct ScriptCall {
  std::string script;
  std::size_t resultSize;
  bool operator==(const ScriptCall& other) const {
    return script == other.script && resultSize == other.resultSize;
  }
};

struct FakeScriptRecord {
  std::vector<ScriptCall> calls;
  int starts = 0;
  int stops = 0;
  // The answer to a script found here; every other script gets `otherwise`.
  std::map<std::string, ScriptResult> answers;
  ScriptResult otherwise;
};

class FakeScriptEngine : public ScriptEngine {
 public:
  explicit FakeScriptEngine(std::shared_ptr<FakeScriptRecord> record);
  void Start() override;
  // The answer, its text cut to resultSize - 1 bytes as a real buffer would.
  ScriptResult Run(const std::string& script, std::size_t resultSize) override;
  void Stop() override;

 private:
  std::shared_ptr<FakeScriptRecord> record_;
};

}  // namespace testsupport
