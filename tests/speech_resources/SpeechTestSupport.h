// Shared pieces of the speech resource tests: a session log read back as
// text, and the one script engine of the test program.
#pragma once
#include <memory>
#include <string>

#include "interpreter/common/SessionLog.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "tests/support/TempDir.h"

namespace speechtest {

// A session log in the test's working directory; Text() is what it holds
// after its header.
class LogFile {
 public:
  explicit LogFile(std::string name) : name_(std::move(name)), log_(new SessionLog(name_)) {}
  SessionLog* get() { return log_.get(); }
  std::string Text() const {
    const std::string all = testsupport::ReadFile(name_);
    const std::size_t header = all.find(std::string(50, '_') + "\n");
    return header == std::string::npos ? all : all.substr(header + 51);
  }

 private:
  std::string name_;
  std::unique_ptr<SessionLog> log_;
};

// The script engine allows one running engine per process: every test of
// the program shares this scope layer. It is created before the first test
// and deleted after the last. The engine's error status is sticky, so no
// test may run a command that fails: every later test would see the error.
EcmaScopes& SharedScopes();

}  // namespace speechtest
