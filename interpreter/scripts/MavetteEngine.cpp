#include "interpreter/scripts/MavetteEngine.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "ecmascript_engine/Mavette.h"
#include "interpreter/common/FatalExit.h"

namespace {

void EndOnQuit(int /*status*/) {
  quorvane::FatalExit("A script called quit(): the dialogue ends", 0);
}

}  // namespace

void MavetteEngine::Start() {
  EEinit();
  EEsetQuitHandler(EndOnQuit);
}

ScriptResult MavetteEngine::Run(const std::string& script, std::size_t resultSize) {
  if (buffer_.size() < resultSize + 1) buffer_.resize(resultSize + 1);
  buffer_[0] = '\0';  // an undefined value leaves the buffer as it is: it reads as ""
  ScriptResult result;
  result.status = EEcommandN(script.c_str(), buffer_.data(), resultSize + 1);
  result.timedOut = EEtimedOut() != 0;
  result.memoryReset = EEmemoryReset() != 0;
  std::size_t length = std::strlen(buffer_.data());
  result.cut = resultSize > 0 && length == resultSize;
  result.text.assign(buffer_.data(), std::min(length, resultSize == 0 ? 0 : resultSize - 1));
  return result;
}

void MavetteEngine::Stop() { EEdestroy(); }
