// Shared set-up of the interpreter tests: documents written into a fresh
// working folder, an interpreter on the real script engine and a fake peer,
// and readers for what the dialogue sent and logged.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/executors/Interpreter.h"
#include "tests/support/FakePeerLink.h"
#include "tests/support/TempDir.h"

namespace interpretertest {

// Writes a VoiceXML file: the XML declaration, <vxml rootAttributes>, the
// body lines and </vxml>.
void WriteDocument(const std::string& name, const std::string& body,
                   const std::string& rootAttributes = "version=\"1.0\"");

// The sent messages in short form: the text of a "Synt\t" prompt, "audio:" +
// the URI of an "inform:" request, anything else unchanged.
std::vector<std::string> Heard(const std::vector<std::string>& sent);

// Heard without the grammar set-up of each turn ("NewGroup\t", "AddGram\t",
// "LoadGroup").
std::vector<std::string> Spoken(const std::vector<std::string>& sent);

// True when the parts occur in the text in this order, each after the end
// of the one before; otherwise adds a failure naming the first part missing.
::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& parts);

// Occurrences of the part in the text.
int CountOf(const std::string& text, const std::string& part);

class InterpreterTest : public testsupport::TempDirTest {
 protected:
  InterpreterTest();
  ~InterpreterTest() override;

  // Creates the interpreter on the start document and loads the document,
  // as the dialogue does at "Begin"; the peer is peer_ unless one is given.
  void Start(const std::string& startDocument, PeerLink* peer = nullptr);
  // Start, then Interpreter::Run.
  void RunDialogue(const std::string& startDocument, PeerLink* peer = nullptr);
  // The printed value of a script expression (no scope expansion).
  std::string Value(const std::string& expression);
  std::string MainLog() const;
  std::vector<std::string> HeardTexts() const { return Heard(peer_.Sent()); }

  testsupport::FakePeerLink peer_;
  std::unique_ptr<SessionLog> mainLog_;
  std::unique_ptr<SessionLog> dialogLog_;
  std::unique_ptr<VxmlDocument> document_;
  std::unique_ptr<Interpreter> interpreter_;
};

}  // namespace interpretertest
