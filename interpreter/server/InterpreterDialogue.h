// The dialogue that the session creates at "Begin": the start document
// (named by the process-wide current document name) and the interpreter
// that plays it in mode "voice", with the document already loaded.
// Destroying it deletes the interpreter, then the document.
#pragma once
#include <memory>

#include "interpreter/common/PeerLink.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/server/DialogSession.h"

class InterpreterDialogue : public Dialogue {
 public:
  // The logs and the peer link must outlive the dialogue.
  InterpreterDialogue(SessionLog& mainLog, SessionLog& dialogLog, PeerLink& peer);

  // Interpreter::Run: the whole dialogue.
  void Run() override;
  // Sets the interpreter's stop flag.
  void Stop() override;

  // The factory for DialogSession: each call creates an InterpreterDialogue
  // on the given logs and this peer link (which must outlive the session).
  static DialogueFactory Factory(PeerLink& peer);

 private:
  std::unique_ptr<VxmlDocument> document_;
  std::unique_ptr<Interpreter> interpreter_;
};
