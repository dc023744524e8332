#include "interpreter/MavetteEngine.h"

#include <cstring>
#include <vector>

#include "ecmascript_engine/Mavette.h"

void MavetteEngine::Start() { EEinit(); }

ScriptResult MavetteEngine::Run(const std::string& script, std::size_t resultSize) {
  std::vector<char> buffer(resultSize, '\0');
  ScriptResult result;
  result.status = EEcommandN(script.c_str(), buffer.data(), buffer.size());
  if (!buffer.empty()) result.text.assign(buffer.data(), strnlen(buffer.data(), buffer.size()));
  return result;
}

void MavetteEngine::Stop() { EEdestroy(); }
