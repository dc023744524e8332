// Captures what the process writes to standard output (file descriptor 1,
// C stdio and std::cout alike) between construction and Take().
#pragma once
#include <string>

namespace testsupport {

class CaptureStdout {
 public:
  CaptureStdout();
  ~CaptureStdout();  // restores standard output if Take() was not called
  CaptureStdout(const CaptureStdout&) = delete;
  CaptureStdout& operator=(const CaptureStdout&) = delete;

  // Restores standard output and returns everything written meanwhile.
  std::string Take();

 private:
  int savedFd_ = -1;
  int fileFd_ = -1;
};

}  // namespace testsupport
