// call_launcher: one call through the three programs, in the current folder.
//
//   call_launcher [-contact_hub] [-INITASR] [-script FILE] [-timeout SECONDS]
//                 [-drop NAME] DOCUMENT
//
// Starts Quorvane -F DOCUMENT -PORT P1 and waits until it listens on P1, read
// from /proc (it serves the first peer that connects, so it is never
// probed); then Tressig -port P2 -PORT P1 and waits until it listens on P2;
// then terminal_caller -port P2 on this terminal (with -script FILE, the
// answers come from the file; -drop NAME goes to it too). With -contact_hub the caller listens on P2
// first and Tressig is started with -contact_hub 127.0.0.1:P2 instead.
// -INITASR goes to Tressig. P1 and P2 are free ports; when a program ends
// before it listens (its port was taken meanwhile), the call is started
// again on other ports, up to three times.
//
// The folder "Quorvane" is created for the server's logs; the consoles of
// Quorvane and Tressig go to "quorvane_console.txt" and
// "tressig_console.txt", the frames the caller received to
// "caller_frames.txt". Once all three have ended, one line tells how each
// did ("Quorvane: exit status 0", "Quorvane: killed by signal 9"). A program
// still running 15 s after the caller ended, or when -timeout (the whole
// call; default none) passes, is killed. Exit status: 0 when all three
// ended with status 0, 1 otherwise, 2 on a bad command line.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/ListeningPort.h"
#include "tests/support/NumberOption.h"

namespace {

using Clock = std::chrono::steady_clock;
using Words = std::vector<std::string>;

// How long a program may take to listen, and the others to end after the caller.
constexpr std::chrono::seconds kStartLimit(30);
constexpr std::chrono::seconds kEndLimit(15);
constexpr std::chrono::milliseconds kTick(10);
// How often a call is started on fresh ports.
constexpr int kStartAttempts = 3;

struct Options {
  bool contactHub = false;
  bool initAsr = false;
  std::string scriptFile;
  int timeoutSeconds = 0;
  std::string dropAt;
  std::string document;
};

struct Program {
  std::string name;
  int pid = -1;
  bool ended = false;
  int status = 0;  // as waitpid gives it
};

int Usage() {
  std::cerr << "Usage: call_launcher [-contact_hub] [-INITASR] [-script FILE] [-timeout SECONDS]"
               " [-drop NAME] DOCUMENT"
            << std::endl;
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "-contact_hub") {
      options->contactHub = true;
    } else if (word == "-INITASR") {
      options->initAsr = true;
    } else if (word == "-script" && i + 1 < argc) {
      options->scriptFile = argv[++i];
    } else if (word == "-drop" && i + 1 < argc) {
      options->dropAt = argv[++i];
    } else if (word == "-timeout" && i + 1 < argc) {
      if (!testsupport::ParseNumber(argv[++i], testsupport::kMaxTimeoutSeconds,
                                    &options->timeoutSeconds)) {
        return false;
      }
    } else if (i + 1 == argc && word[0] != '-') {
      options->document = word;
    } else {
      return false;
    }
  }
  return !options->document.empty();
}

// Starts the program; its output goes to the file, or to the launcher's own
// output when none is named (it then reads the launcher's input too).
void Start(Program* program, const Words& argv, const std::string& outputFile = "") {
  int in = 0, out = 1;
  if (!outputFile.empty()) {
    in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  }
  try {
    program->pid = testsupport::SpawnProgram(argv, in, out, outputFile.empty() ? 2 : out);
  } catch (const std::runtime_error& error) {
    std::cout << program->name << ": " << error.what() << std::endl;
    program->ended = true;
  }
  if (!outputFile.empty()) {
    close(in);
    close(out);
  }
}

// Notes the end of every started program that has ended.
void Reap(std::vector<Program*>& programs) {
  for (Program* program : programs) {
    if (program->pid < 0 || program->ended) continue;
    if (waitpid(program->pid, &program->status, WNOHANG) == program->pid) program->ended = true;
  }
}

bool AllEnded(const std::vector<Program*>& programs) {
  for (const Program* program : programs) {
    if (program->pid >= 0 && !program->ended) return false;
  }
  return true;
}

// Waits until the condition holds (true), the deadline passes or `watched`
// ends (false).
bool WaitUntil(std::vector<Program*>& programs, const Program& watched, Clock::time_point deadline,
               const std::function<bool()>& condition) {
  for (;;) {
    Reap(programs);
    if (condition()) return true;
    if (watched.ended || Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kTick);
  }
}

// Waits until the program listens on the port; says so, or why not.
bool AwaitListening(std::vector<Program*>& programs, const Program& program, int port) {
  bool listening = WaitUntil(programs, program, Clock::now() + kStartLimit,
                             [&] { return testsupport::ProcessListens(program.pid, port); });
  std::cout << program.name
            << (listening ? " listens on port " + std::to_string(port)
                          : " did not listen on port " + std::to_string(port))
            << std::endl;
  return listening;
}

void KillRunning(std::vector<Program*>& programs) {
  for (Program* program : programs) {
    if (program->pid < 0 || program->ended) continue;
    kill(program->pid, SIGKILL);
    waitpid(program->pid, &program->status, 0);
    program->ended = true;
  }
}

// Waits for the end of the call: all ended, the caller ended kEndLimit ago,
// or the time-out passed; kills what still runs.
void AwaitEnd(std::vector<Program*>& programs, const Program& caller, int timeoutSeconds) {
  auto limit = timeoutSeconds > 0 ? Clock::now() + std::chrono::seconds(timeoutSeconds)
                                  : Clock::time_point::max();
  WaitUntil(programs, caller, limit, [&] { return AllEnded(programs); });
  WaitUntil(programs, Program(), std::min(limit, Clock::now() + kEndLimit),
            [&] { return AllEnded(programs); });
  KillRunning(programs);
}

std::string HowItEnded(const Program& program) {
  if (program.pid < 0) return "not started";
  if (WIFEXITED(program.status)) {
    return "exit status " + std::to_string(WEXITSTATUS(program.status));
  }
  return "killed by signal " + std::to_string(WTERMSIG(program.status));
}

Words CallerArgv(const Options& options, int hubPort) {
  Words argv = {testsupport::BinPath("terminal_caller"), options.contactHub ? "-listen" : "-port",
                std::to_string(hubPort)};
  if (!options.scriptFile.empty()) argv.insert(argv.end(), {"-script", options.scriptFile});
  if (!options.dropAt.empty()) argv.insert(argv.end(), {"-drop", options.dropAt});
  return argv;
}

Words TressigArgv(const Options& options, int dmPort, int hubPort) {
  Words argv = {testsupport::BinPath("Tressig"), "-PORT", std::to_string(dmPort)};
  if (options.contactHub) {
    argv.insert(argv.end(), {"-contact_hub", "127.0.0.1:" + std::to_string(hubPort)});
  } else {
    argv.insert(argv.end(), {"-port", std::to_string(hubPort)});
  }
  if (options.initAsr) argv.push_back("-INITASR");
  return argv;
}

// Starts the three in order, each once the one before listens: true when
// all three started.
bool StartCall(const Options& options, std::vector<Program*>& programs) {
  Program& quorvane = *programs[0];
  Program& tressig = *programs[1];
  Program& caller = *programs[2];
  const int dmPort = testsupport::FreePort();  // each port is reserved: never one twice
  const int hubPort = testsupport::FreePort();
  Start(&quorvane,
        {testsupport::BinPath("Quorvane"), "-F", options.document, "-PORT", std::to_string(dmPort)},
        "quorvane_console.txt");
  if (!AwaitListening(programs, quorvane, dmPort)) return false;
  if (options.contactHub) {
    Start(&caller, CallerArgv(options, hubPort));
    if (!AwaitListening(programs, caller, hubPort)) return false;
    Start(&tressig, TressigArgv(options, dmPort, hubPort), "tressig_console.txt");
    return tressig.pid >= 0;
  }
  Start(&tressig, TressigArgv(options, dmPort, hubPort), "tressig_console.txt");
  if (!AwaitListening(programs, tressig, hubPort)) return false;
  Start(&caller, CallerArgv(options, hubPort));
  return caller.pid >= 0;
}

// StartCall, tried again on fresh ports while a program ends before it
// listens: another process may take a free port before it is bound.
bool StartCallOnFreePorts(const Options& options, std::vector<Program*>& programs) {
  for (int attempt = 1;; ++attempt) {
    for (Program* program : programs) *program = Program{program->name};
    if (StartCall(options, programs)) return true;
    bool endedEarly = std::any_of(programs.begin(), programs.end(), [](const Program* program) {
      return program->pid >= 0 && program->ended;
    });
    KillRunning(programs);
    if (!endedEarly || attempt == kStartAttempts) return false;
    std::cout << "Starting again on other ports" << std::endl;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return Usage();
  signal(SIGPIPE, SIG_IGN);
  mkdir("Quorvane", 0755);
  Program quorvane{"Quorvane"}, tressig{"Tressig"}, caller{"terminal_caller"};
  std::vector<Program*> programs = {&quorvane, &tressig, &caller};
  StartCallOnFreePorts(options, programs);
  AwaitEnd(programs, caller, options.timeoutSeconds);

  bool allZero = true;
  for (const Program* program : programs) {
    std::cout << program->name << ": " << HowItEnded(*program) << std::endl;
    allZero = allZero && program->pid >= 0 && WIFEXITED(program->status) &&
              WEXITSTATUS(program->status) == 0;
  }
  return allZero ? 0 : 1;
}
