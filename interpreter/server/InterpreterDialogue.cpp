#include "interpreter/server/InterpreterDialogue.h"

#include "interpreter/executors/CurrentDocument.h"

InterpreterDialogue::InterpreterDialogue(SessionLog& mainLog, SessionLog& dialogLog,
                                         PeerLink& peer)
    : document_(std::make_unique<VxmlDocument>(quorvane::CurrentDocument(), &mainLog)),
      interpreter_(std::make_unique<Interpreter>(document_.get(), &mainLog, &dialogLog,
                                                 "voice", peer)) {
  interpreter_->LoadDocument(document_.get());
}

void InterpreterDialogue::Run() { interpreter_->Run(); }

void InterpreterDialogue::Stop() { interpreter_->Stop(); }

DialogueFactory InterpreterDialogue::Factory(PeerLink& peer) {
  return [&peer](SessionLog& mainLog, SessionLog& dialogLog) -> std::unique_ptr<Dialogue> {
    return std::make_unique<InterpreterDialogue>(mainLog, dialogLog, peer);
  };
}
