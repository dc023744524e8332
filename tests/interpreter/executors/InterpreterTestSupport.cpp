#include "tests/interpreter/executors/InterpreterTestSupport.h"

#include <filesystem>

#include "interpreter/executors/CurrentDocument.h"
#include "interpreter/scripts/EcmaScopes.h"

namespace interpretertest {

void WriteDocument(const std::string& name, const std::string& body,
                   const std::string& rootAttributes) {
  testsupport::WriteFile(name, "<?xml version=\"1.0\"?>\n<vxml " + rootAttributes + ">\n" + body +
                                   "</vxml>\n");
}

std::vector<std::string> Heard(const std::vector<std::string>& sent) {
  const std::string synt = "Synt\t:text ";
  const std::string inform = "inform:\t:src ";
  std::vector<std::string> heard;
  for (const std::string& message : sent) {
    if (message.rfind(synt, 0) == 0) {
      heard.push_back(message.substr(synt.size(), message.find("\t:bargein") - synt.size()));
    } else if (message.rfind(inform, 0) == 0) {
      heard.push_back("audio:" + message.substr(inform.size()));
    } else {
      heard.push_back(message);
    }
  }
  return heard;
}

std::vector<std::string> Spoken(const std::vector<std::string>& sent) {
  std::vector<std::string> spoken;
  for (const std::string& text : Heard(sent)) {
    if (text.find('\t') == std::string::npos && text != "LoadGroup") spoken.push_back(text);
  }
  return spoken;
}

::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& parts) {
  std::size_t position = 0;
  for (const std::string& part : parts) {
    std::size_t found = text.find(part, position);
    if (found == std::string::npos) {
      return ::testing::AssertionFailure() << "\"" << part << "\" missing (in order) in:\n" << text;
    }
    position = found + part.size();
  }
  return ::testing::AssertionSuccess();
}

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

InterpreterTest::InterpreterTest() { std::filesystem::create_directory("Quorvane"); }

InterpreterTest::~InterpreterTest() {
  interpreter_.reset();
  document_.reset();
}

void InterpreterTest::Start(const std::string& startDocument, PeerLink* peer) {
  quorvane::SetCurrentDocument(startDocument);
  mainLog_ = std::make_unique<SessionLog>("main.log");
  dialogLog_ = std::make_unique<SessionLog>("dialog.log");
  document_ = std::make_unique<VxmlDocument>(startDocument, mainLog_.get());
  interpreter_ = std::make_unique<Interpreter>(document_.get(), mainLog_.get(), dialogLog_.get(),
                                               "voice", peer ? *peer : peer_);
  interpreter_->LoadDocument(document_.get());
}

void InterpreterTest::RunDialogue(const std::string& startDocument, PeerLink* peer) {
  Start(startDocument, peer);
  EXPECT_EQ(interpreter_->Run(), 0);
}

std::string InterpreterTest::Value(const std::string& expression) {
  std::string result;
  interpreter_->Scopes().ExecuteCommand(expression, &result, false);
  return result;
}

std::string InterpreterTest::MainLog() const { return testsupport::ReadFile("main.log"); }

}  // namespace interpretertest
