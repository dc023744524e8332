// Runs a program as a child process with a time-out, feeds it standard input
// and captures its standard output, standard error and exit status.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

struct ChildResult {
  bool timedOut = false;  // killed after the time-out
  bool exited = false;    // ended through exit; status holds its exit status
  int status = -1;        // exit status, or the signal number when !exited
  std::string out;
  std::string err;
};

// argv[0] is the program path. The child inherits the working directory.
// Throws std::runtime_error, with no descriptor left open, when the program
// cannot be started.
// A child still running after timeoutMs is killed (SIGKILL) and timedOut set.
ChildResult RunChild(const std::vector<std::string>& argv, const std::string& input = "",
                     int timeoutMs = 20000);

// A child started in the background, for tests that talk to it meanwhile.
class BackgroundChild {
 public:
  // Throws as RunChild does when the program cannot be started.
  explicit BackgroundChild(const std::vector<std::string>& argv);
  ~BackgroundChild();  // kills the child if it still runs
  BackgroundChild(const BackgroundChild&) = delete;
  BackgroundChild& operator=(const BackgroundChild&) = delete;

  // Waits at most timeoutMs for the child to end, collecting its output.
  ChildResult Wait(int timeoutMs = 20000);
  int Pid() const { return pid_; }

 private:
  int pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  bool done_ = false;
};

// Starts the program with the three descriptors as its standard input,
// output and error: its pid. Throws std::runtime_error when it cannot start.
int SpawnProgram(const std::vector<std::string>& argv, int inFd, int outFd, int errFd);

// Full path of a program built into the build tree's bin/ folder.
std::string BinPath(const std::string& program);

}  // namespace testsupport
