#include "tests/support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <initializer_list>
#include <stdexcept>

extern char** environ;

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

void MakePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

void CloseFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Closes every descriptor of the list that is open.
void CloseAll(std::initializer_list<int*> fds) {
  for (int* fd : fds) CloseFd(*fd);
}

// Writes the input and reads both pipes until the child has closed its ends
// or the deadline passes. Returns false on time-out.
bool PumpUntilClosed(int& inFd, const std::string& input, int& outFd, int& errFd,
                     ChildResult& result, Clock::time_point deadline) {
  std::size_t written = 0;
  if (input.empty()) CloseFd(inFd);
  while (outFd >= 0 || errFd >= 0) {
    pollfd fds[3];
    int count = 0;
    if (outFd >= 0) fds[count++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[count++] = {errFd, POLLIN, 0};
    if (inFd >= 0) fds[count++] = {inFd, POLLOUT, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    int ready = poll(fds, count, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    for (int i = 0; i < count; ++i) {
      if (!fds[i].revents) continue;
      if (fds[i].fd == inFd) {
        // The descriptor does not block: a child that writes before it reads
        // keeps being read meanwhile.
        ssize_t n = write(inFd, input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        bool retry = n < 0 && (errno == EAGAIN || errno == EINTR);
        if ((n < 0 && !retry) || written == input.size()) CloseFd(inFd);
        continue;
      }
      char buffer[4096];
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      bool isOut = fds[i].fd == outFd;
      if (n > 0) {
        (isOut ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        CloseFd(isOut ? outFd : errFd);
      }
    }
  }
  return true;
}

// Pumps, then closes every descriptor that is still open.
bool Pump(int inFd, const std::string& input, int& outFd, int& errFd, ChildResult& result,
          Clock::time_point deadline) {
  bool finished = PumpUntilClosed(inFd, input, outFd, errFd, result, deadline);
  CloseFd(inFd);
  CloseFd(outFd);
  CloseFd(errFd);
  return finished;
}

// Waits for the child until the deadline; kills it when the time is up.
void Reap(int pid, ChildResult& result, Clock::time_point deadline) {
  int status = 0;
  while (true) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (Clock::now() >= deadline) {
      result.timedOut = true;
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    usleep(2000);
  }
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
}

ChildResult Collect(int pid, int inFd, const std::string& input, int& outFd, int& errFd,
                    int timeoutMs) {
  ChildResult result;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  if (!Pump(inFd, input, outFd, errFd, result, deadline)) {
    kill(pid, SIGKILL);
    result.timedOut = true;
  }
  Reap(pid, result, deadline);
  return result;
}

}  // namespace

ChildResult RunChild(const std::vector<std::string>& argv, const std::string& input,
                     int timeoutMs) {
  signal(SIGPIPE, SIG_IGN);
  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  int pid = -1;
  try {
    MakePipe(in);
    MakePipe(out);
    MakePipe(err);
    if (fcntl(in[1], F_SETFL, O_NONBLOCK) != 0) throw std::runtime_error("fcntl failed");
    pid = SpawnProgram(argv, in[0], out[1], err[1]);
  } catch (...) {
    CloseAll({&in[0], &in[1], &out[0], &out[1], &err[0], &err[1]});
    throw;
  }
  CloseAll({&in[0], &out[1], &err[1]});
  return Collect(pid, in[1], input, out[0], err[0], timeoutMs);
}

BackgroundChild::BackgroundChild(const std::vector<std::string>& argv) {
  int out[2] = {-1, -1}, err[2] = {-1, -1};
  int devnull = -1;
  try {
    MakePipe(out);
    MakePipe(err);
    devnull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = SpawnProgram(argv, devnull, out[1], err[1]);
  } catch (...) {
    CloseAll({&out[0], &out[1], &err[0], &err[1], &devnull});
    throw;
  }
  CloseAll({&devnull, &out[1], &err[1]});
  outFd_ = out[0];
  errFd_ = err[0];
}

BackgroundChild::~BackgroundChild() {
  if (done_) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  CloseFd(outFd_);
  CloseFd(errFd_);
}

ChildResult BackgroundChild::Wait(int timeoutMs) {
  done_ = true;
  return Collect(pid_, -1, "", outFd_, errFd_, timeoutMs);
}

int SpawnProgram(const std::vector<std::string>& argv, int inFd, int outFd, int errFd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, inFd, 0);
  posix_spawn_file_actions_adddup2(&actions, outFd, 1);
  posix_spawn_file_actions_adddup2(&actions, errFd, 2);
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

std::string BinPath(const std::string& program) {
  return std::string(QUORVANE_BIN_DIR) + "/" + program;
}

}  // namespace testsupport
