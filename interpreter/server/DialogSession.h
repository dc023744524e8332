// server/: the main of Quorvane, this dialog session and its dialogue, the peer socket.
//
// One dialogue of the server and everything it owns: the main log and the
// dialog log, and the dialogue itself (start document and interpreter). A
// process serves at most one dialogue: "Begin" creates it, StartDialog runs it
// and StopDialog tells the peer "Koniec dialogu", archives the logs into
// "log_data" and ends the process.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "interpreter/common/PeerLink.h"
#include "interpreter/common/SessionLog.h"

// The running part of a dialogue: the start document and the interpreter
// that plays it. Destroying it deletes the interpreter, then the document.
class Dialogue {
 public:
  virtual ~Dialogue() = default;
  // Runs the dialogue to its end (the end of the document, an exit, too many
  // events, or a hang-up seen during a request).
  virtual void Run() = 0;
  // Sets the stop flag: a run under way returns at its next test of it.
  virtual void Stop() = 0;
};

// Creates the dialogue at "Begin": the start document named by the current
// document name, the interpreter on the two logs, the document loaded and the
// stop flag clear. The logs outlive the dialogue it returns.
using DialogueFactory =
    std::function<std::unique_ptr<Dialogue>(SessionLog& mainLog, SessionLog& dialogLog)>;

class DialogSession {
 public:
  static const char kDefaultDialogLog[];  // "Quorvane\\DiaLOG.txt"
  static const char kDefaultMainLog[];    // "Quorvane\\BaseLOG.txt"

  // The session talks to the peer through the link, which must outlive it.
  DialogSession(PeerLink& peer, DialogueFactory makeDialogue);
  DialogSession(const DialogSession&) = delete;
  DialogSession& operator=(const DialogSession&) = delete;

  void SetDialogLogPath(const std::string& path) { dialogLogPath_ = path; }
  void SetMainLogPath(const std::string& path) { mainLogPath_ = path; }

  // Creates both logs, "temp.raw" and the dialogue, and notes the start
  // document on the main log. From here on a fatal error of the process ends
  // the dialogue as EndDialogue does.
  void Begin();
  // Runs the dialogue created by Begin. Returns 0.
  int StartDialog();
  // When no dialogue runs, prints a warning and returns. Otherwise ends the
  // dialogue (EndDialogue) and the process, with status 0.
  void StopDialog();
  // Ends a begun dialogue without ending the process: stops it, tells the
  // peer "Koniec dialogu" (a failed send is reported and logged), deletes the
  // dialogue and then the logs (which write their footers), and archives the
  // logs. Nothing writes to the log paths afterwards.
  void EndDialogue();
  // Copies the dialog log, "temp.raw" and the main log into "log_data"
  // (created when missing) under names stamped with the time of day, then
  // deletes each original whose copy succeeded. An existing archive name is
  // never overwritten: the stamp then gets a suffix "_1", "_2", ...
  void ArchiveLogs();

 private:
  PeerLink& peer_;
  DialogueFactory makeDialogue_;
  std::unique_ptr<SessionLog> mainLog_;
  std::unique_ptr<SessionLog> dialogLog_;
  std::unique_ptr<Dialogue> dialogue_;
  bool stopped_ = true;
  std::string dialogLogPath_ = kDefaultDialogLog;
  std::string mainLogPath_ = kDefaultMainLog;
};
