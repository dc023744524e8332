// The script engine of the server: the one engine of the library Mavette.
// The library holds one engine per process: every MavetteEngine runs its
// scripts there, and Start keeps an engine that runs already (the server
// starts it before its peer connects, and the scope layer starts it again).
// A script's quit ends the dialogue as a fatal error does
// (quorvane::FatalExit, status 0). A run that makes the engine hold too much
// memory fails and reports a memory reset: the library's engine has started
// afresh, without the globals of every earlier script (EEmemoryReset).
#pragma once
#include <vector>

#include "interpreter/scripts/ScriptEngine.h"

class MavetteEngine : public ScriptEngine {
 public:
  void Start() override;  // EEinit: a failing start ends the process (status 1)
  // EEcommandN into a buffer one byte longer than resultSize, which tells a
  // value that fits from one that was cut. The buffer is kept between runs
  // and only its first byte is cleared before each.
  ScriptResult Run(const std::string& script, std::size_t resultSize) override;
  void Stop() override;  // EEdestroy

 private:
  std::vector<char> buffer_;
};
