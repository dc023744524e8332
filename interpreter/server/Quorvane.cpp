// The dialog manager server. Reads its command line, waits for its one peer
// (the hub bridge) and serves one dialogue: "Begin" runs it and ends the
// process, "End" before "Begin" is only warned about.
//
//   Quorvane -F document [-PORT port] [-DiaLOG path] [-MainLOG path]
#include <iostream>
#include <string>

#include "interpreter/common/FatalExit.h"
#include "interpreter/executors/CurrentDocument.h"
#include "interpreter/scripts/MavetteEngine.h"
#include "interpreter/server/DialogSession.h"
#include "interpreter/server/InterpreterDialogue.h"
#include "interpreter/server/PeerSocket.h"
#include "platform/TcpSocket.h"

namespace {

struct Options {
  std::string document;
  int port = 12500;
  std::string dialogLogPath = DialogSession::kDefaultDialogLog;
  std::string mainLogPath = DialogSession::kDefaultMainLog;
};

// The command line must begin with "-F" and the start document; the other
// options follow in any order, each with its value. Words that are no option
// are skipped. False on a missing word or value, or a bad port.
bool ParseCommandLine(int argc, char** argv, Options* options) {
  if (argc < 3 || std::string(argv[1]) != "-F") return false;
  options->document = argv[2];
  for (int i = 3; i < argc; ++i) {
    std::string option = argv[i];
    if (option != "-PORT" && option != "-F" && option != "-DiaLOG" && option != "-MainLOG") {
      continue;
    }
    if (i + 1 >= argc) return false;
    std::string value = argv[++i];
    if (option == "-PORT") {
      options->port = platform::ParsePort(value);
      if (options->port == 0) return false;
    } else if (option == "-DiaLOG") {
      options->dialogLogPath = value;
    } else if (option == "-MainLOG") {
      options->mainLogPath = value;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  PrintBanner();
  Options options;
  if (!ParseCommandLine(argc, argv, &options)) {
    std::cerr << "Usage: Quorvane -F document [-PORT port] [-DiaLOG path] [-MainLOG path]"
              << std::endl;
    return 0;
  }
  std::cout << options.document << std::endl;

  PeerSocket peer;
  // The script engine starts while the peer is awaited: the dialogue's scope
  // layer finds it running, so the first request soon follows "Begin".
  peer.ListenAndAccept(options.port, [] { MavetteEngine().Start(); });
  DialogSession session(peer, InterpreterDialogue::Factory(peer));
  session.SetDialogLogPath(options.dialogLogPath);
  session.SetMainLogPath(options.mainLogPath);

  while (true) {
    quorvane::SetCurrentDocument(options.document);
    std::string message = peer.Receive();
    if (peer.Closed()) quorvane::FatalExit("The peer closed the connection", 0);
    if (message == "Begin") {
      session.Begin();
      session.StartDialog();
      session.StopDialog();
    } else if (message == "End") {
      session.StopDialog();
    }
  }
}
