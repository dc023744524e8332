// scripted_peer: plays the bridge's side of the peer link against a running
// Quorvane, showing every message ("<< " received, ">> " sent, with escapes).
//
//   scripted_peer -port PORT [-script FILE] [-interactive] [-timeout SECONDS]
//
// Without -script the script is "send Begin". With -interactive each request
// that no reply line takes is shown and the line typed is sent as the reply
// (escapes allowed; an empty line sends the default reply; end of input
// sends "End"). -timeout bounds each wait for the server (default 60, 0: no
// limit, at most 86400). Exit status: 0 when the server ended the dialogue ("Koniec
// dialogu") or the script hung up, 1 on time-out, closed link or no
// connection, 2 on a bad command line or script.
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "tests/support/NumberOption.h"
#include "tests/support/ScriptedPeer.h"

using testsupport::ScriptedPeer;

namespace {

struct Options {
  int port = 0;
  std::string scriptFile;
  bool interactive = false;
  int timeoutSeconds = 60;
};

int Usage() {
  std::cerr << "Usage: scripted_peer -port PORT [-script FILE] [-interactive] [-timeout SECONDS]"
            << std::endl;
  return 2;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "-interactive") {
      options->interactive = true;
      continue;
    }
    if (i + 1 >= argc) return false;
    std::string value = argv[++i];
    if (option == "-port") {
      if (!testsupport::ParseNumber(value, 65535, &options->port)) return false;
    } else if (option == "-script") {
      options->scriptFile = value;
    } else if (option == "-timeout") {
      if (!testsupport::ParseNumber(value, testsupport::kMaxTimeoutSeconds,
                                    &options->timeoutSeconds)) {
        return false;
      }
    } else {
      return false;
    }
  }
  return options->port > 0;
}

std::string ReadScript(const std::string& path) {
  if (path.empty()) return "send Begin\n";
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::invalid_argument("cannot read " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The person's reply to a request: a typed line, "End" at end of input.
std::optional<std::string> AskPerson(const std::string&) {
  std::cout << "reply> " << std::flush;
  std::string line;
  if (!std::getline(std::cin, line)) return std::string("End");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return std::nullopt;
  try {
    return testsupport::Unescape(line);
  } catch (const std::invalid_argument& error) {
    std::cout << error.what() << "; sending the default reply" << std::endl;
    return std::nullopt;
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return Usage();
  testsupport::PeerScript script;
  try {
    script = testsupport::PeerScript::Parse(ReadScript(options.scriptFile));
  } catch (const std::invalid_argument& error) {
    std::cerr << "scripted_peer: " << error.what() << std::endl;
    return 2;
  }
  ScriptedPeer peer(script);
  peer.SetObserver([](bool outgoing, const std::string& message) {
    std::cout << (outgoing ? ">> " : "<< ") << testsupport::Escape(message) << std::endl;
  });
  if (options.interactive) peer.SetFallback(AskPerson);
  int timeoutMs = options.timeoutSeconds == 0 ? -1 : options.timeoutSeconds * 1000;
  if (!peer.Connect(options.port, timeoutMs < 0 ? 60000 : timeoutMs)) {
    std::cerr << "scripted_peer: cannot connect to port " << options.port << std::endl;
    return 1;
  }
  switch (peer.Run(timeoutMs)) {
    case ScriptedPeer::Outcome::kDialogueEnded:
    case ScriptedPeer::Outcome::kHungUp: return 0;
    case ScriptedPeer::Outcome::kServerClosed:
      std::cerr << "scripted_peer: the server closed the link" << std::endl;
      return 1;
    case ScriptedPeer::Outcome::kTimedOut:
      std::cerr << "scripted_peer: no message from the server in time" << std::endl;
      return 1;
    case ScriptedPeer::Outcome::kFailed:
      std::cerr << "scripted_peer: the link failed" << std::endl;
      return 1;
  }
  return 1;
}
