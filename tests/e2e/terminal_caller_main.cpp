// terminal_caller: the hub and its speech services for one call through
// Tressig (TerminalCaller.h), answered at the terminal or from a script of
// answers (CallerAnswers.h).
//
//   terminal_caller (-port PORT | -listen PORT) [-script FILE]
//                   [-frames FILE] [-timeout SECONDS] [-drop NAME]
//
// -port reaches Tressig listening on 127.0.0.1:PORT (tried again until the
// time-out); -listen waits there for Tressig started with "-contact_hub".
// Every frame received goes to -frames (default "caller_frames.txt").
// -timeout bounds each wait for the bridge (default 60, at most 86400); the
// answers are awaited without limit. With -drop the hub drops its connection
// instead of answering the first frame of that name. Exit status: 0 when the
// call ended (StopCall, a hang-up the bridge followed, or a drop), 1 when the
// bridge could not be reached, went away or fell silent, 2 on a bad command
// line or an unreadable file.
#include <fstream>
#include <iostream>
#include <string>

#include "libhub/util/Print.h"
#include "tests/e2e/TerminalCaller.h"
#include "tests/support/NumberOption.h"
#include "tests/support/PollUntil.h"

namespace {

struct Options {
  int port = 0;
  bool listen = false;
  std::string scriptFile;
  std::string frameFile = "caller_frames.txt";
  int timeoutSeconds = 60;
  std::string dropAt;
};

int Usage() {
  std::cerr << "Usage: terminal_caller (-port PORT | -listen PORT) [-script FILE] [-frames FILE]"
               " [-timeout SECONDS] [-drop NAME]"
            << std::endl;
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string option = argv[i];
    std::string value = argv[i + 1];
    if (option == "-port" || option == "-listen") {
      options->listen = option == "-listen";
      if (!testsupport::ParseNumber(value, 65535, &options->port)) return false;
    } else if (option == "-script") {
      options->scriptFile = value;
    } else if (option == "-frames") {
      options->frameFile = value;
    } else if (option == "-drop") {
      options->dropAt = value;
    } else if (option == "-timeout") {
      if (!testsupport::ParseNumber(value, testsupport::kMaxTimeoutSeconds,
                                    &options->timeoutSeconds) ||
          options->timeoutSeconds == 0) {
        return false;
      }
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && options->port > 0;
}

// Reaches the bridge as its hub: true once the handshake is done.
bool Reach(testsupport::FakeHub& hub, const Options& options, int waitMs) {
  if (options.listen) return hub.Listen(options.port) == options.port && hub.AcceptServer(waitMs);
  return testsupport::PollUntil(waitMs, [&] { return hub.ConnectToServer(options.port, waitMs); });
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return Usage();
  std::ifstream script;
  if (!options.scriptFile.empty()) {
    script.open(options.scriptFile, std::ios::binary);
    if (!script) {
      std::cerr << "terminal_caller: cannot read " << options.scriptFile << std::endl;
      return 2;
    }
  }
  std::ofstream frames(options.frameFile, std::ios::binary | std::ios::trunc);
  if (!frames) {
    std::cerr << "terminal_caller: cannot write " << options.frameFile << std::endl;
    return 2;
  }
  int waitMs = options.timeoutSeconds * 1000;
  testsupport::FakeHub hub;
  HubUtil_SetVerbosity(1);  // the hub library's warnings would break into the conversation
  if (!options.dropAt.empty()) hub.SetReply(options.dropAt, testsupport::AutoReply::Drop());
  if (!Reach(hub, options, waitMs)) {
    std::cerr << "terminal_caller: the bridge was not reached on port " << options.port
              << std::endl;
    return 1;
  }
  e2e::CallerAnswers answers(script.is_open() ? static_cast<std::istream&>(script) : std::cin,
                             script.is_open());
  return e2e::TerminalCaller(hub, answers, std::cout, frames, waitMs).Run();
}
