#include "tests/support/FakeScriptEngine.h"

#include <algorithm>
#include <utility>

namespace testsupport {

FakeScriptEngine::FakeScriptEngine(std::shared_ptr<FakeScriptRecord> record)
    : record_(std::move(record)) {}

void FakeScriptEngine::Start() { ++record_->starts; }

ScriptResult FakeScriptEngine::Run(const std::string& script, std::size_t resultSize) {
  record_->calls.push_back({script, resultSize});
  auto found = record_->answers.find(script);
  ScriptResult result = found != record_->answers.end() ? found->second : record_->otherwise;
  result.text.resize(std::min(result.text.size(), resultSize == 0 ? 0 : resultSize - 1));
  return result;
}

void FakeScriptEngine::Stop() { ++record_->stops; }

}  // namespace testsupport
