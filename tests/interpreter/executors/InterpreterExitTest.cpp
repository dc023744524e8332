// Ways out of a dialogue that end the process, and an item that can never be
// filled. A death test re-runs in a fresh process with a working folder of
// its own, so what the parent checks comes through standard error.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "interpreter/executors/CurrentDocument.h"
#include "interpreter/server/DialogSession.h"
#include "interpreter/server/InterpreterDialogue.h"
#include "tests/interpreter/executors/InterpreterTestSupport.h"

namespace interpretertest {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

// A fake peer that also prints every message it is sent on standard error,
// where a death test can see it.
class EchoPeerLink : public testsupport::FakePeerLink {
 public:
  void Send(const std::string& text) override {
    std::cerr << "SENT:" << text << "\n";
    FakePeerLink::Send(text);
  }
  bool TrySend(const std::string& text) override {
    std::cerr << "SENT:" << text << "\n";
    return FakePeerLink::TrySend(text);
  }
};

// At the exit of a death test's process: prints every archived main log
// ("ARCHIVED <name>" and its content) on standard error and removes the
// process's working folder, which its fixture cannot remove any more.
void ReportArchiveAndClean() {
  namespace fs = std::filesystem;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("log_data", error)) {
    if (entry.path().extension() != ".log") continue;
    std::cerr << "ARCHIVED " << entry.path().filename().string() << "\n"
              << testsupport::ReadFile(entry.path().string()) << "\n";
  }
  fs::path folder = fs::current_path(error);
  fs::current_path(folder.parent_path(), error);
  fs::remove_all(folder, error);
}

// Runs a whole dialogue on the start document as the server does, with
// standard output joined to standard error. Ends the process with status 99
// when the dialogue returns.
void RunDialogueToTheEnd(const std::string& start) {
  dup2(2, 1);
  std::atexit(ReportArchiveAndClean);
  quorvane::SetCurrentDocument(start);
  EchoPeerLink peer;
  DialogSession session(peer, InterpreterDialogue::Factory(peer));
  session.SetMainLogPath("main.log");
  session.Begin();
  session.StartDialog();
  std::cerr << "The dialogue returned" << std::endl;
  std::exit(99);
}

class InterpreterExitDeathTest : public InterpreterTest {};

TEST_F(InterpreterExitDeathTest, UnsupportedVersionEndsTheDialogue) {
  WriteDocument("start.vxml", "<form id=\"f\">\n<block>\n<prompt>one</prompt>\n</block>\n</form>\n",
                "version=\"2.0\"");
  EXPECT_EXIT(RunDialogueToTheEnd("start.vxml"), ::testing::ExitedWithCode(0),
              AllOf(HasSubstr("ERROR: Unsupported version of VoiceXML dokument\n"),
                    HasSubstr("Stop dialog called\n"), HasSubstr("SENT:Koniec dialogu\n"),
                    Not(HasSubstr("SENT:Synt")), Not(HasSubstr("returned"))));
}

TEST_F(InterpreterExitDeathTest, RootWithoutVersionEndsTheDialogue) {
  WriteDocument("start.vxml", "<form id=\"f\">\n</form>\n", "application=\"\"");
  EXPECT_EXIT(RunDialogueToTheEnd("start.vxml"), ::testing::ExitedWithCode(0),
              AllOf(HasSubstr("ERROR: Unsupported version of VoiceXML dokument\n"),
                    HasSubstr("SENT:Koniec dialogu\n")));
}

TEST_F(InterpreterExitDeathTest, GotoWithoutTargetEndsTheDialogue) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n<prompt>one</prompt>\n<goto/>\n<prompt>never</prompt>\n"
                "</block>\n</form>\n");
  EXPECT_EXIT(RunDialogueToTheEnd("start.vxml"), ::testing::ExitedWithCode(0),
              AllOf(HasSubstr("SENT:Synt\t:text one\t:bargein false\t:timeout 5\n"),
                    HasSubstr("Error in goto element\n"), HasSubstr("Stop dialog called\n"),
                    HasSubstr("SENT:Koniec dialogu\n"), Not(HasSubstr("never"))));
}

// A script's quit ends the dialogue as a fatal error does, with status 0.
TEST_F(InterpreterExitDeathTest, ScriptQuitEndsTheDialogue) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n<script>quit(7)</script>\n</block>\n</form>\n");
  EXPECT_EXIT(RunDialogueToTheEnd("start.vxml"), ::testing::ExitedWithCode(0),
              ::testing::ContainsRegex("A script called quit\\(\\): the dialogue ends\nStop dialog "
                                       "called\nSENT:Koniec dialogu\n.*ARCHIVED main__"));
}

// The main log of a dialogue that ended through the fatal path is archived.
TEST_F(InterpreterExitDeathTest, FatalEndArchivesTheLogs) {
  WriteDocument("start.vxml", "<form id=\"f\">\n<block>\n<goto/>\n</block>\n</form>\n");
  EXPECT_EXIT(RunDialogueToTheEnd("start.vxml"), ::testing::ExitedWithCode(0),
              ::testing::ContainsRegex("ARCHIVED main__[0-9_]+\\.log\n"
                                       "START SESSION .*Run Interpretation.*GO TO .*"
                                       "ERROR :goto element hasnt next attribute!"));
}

// Dialogues that end with an error on the main log and the stop flag set,
// without the rest of the document and without a word to the peer.
struct EndingCase {
  const char* name;
  const char* form;  // the body of the form "f"
  const char* error;
};

void PrintTo(const EndingCase& ending, std::ostream* out) { *out << ending.name; }

class InterpreterEndingTest : public InterpreterTest,
                              public ::testing::WithParamInterface<EndingCase> {};

TEST_P(InterpreterEndingTest, EndsWithTheError) {
  WriteDocument("start.vxml", std::string("<form id=\"f\">\n") + GetParam().form +
                                  "<block>\n<prompt>never 2</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_TRUE(interpreter_->StopRequested());
  EXPECT_EQ(CountOf(MainLog(), std::string("ERROR :") + GetParam().error), 1) << MainLog();
}

INSTANTIATE_TEST_SUITE_P(
    Endings, InterpreterEndingTest,
    ::testing::Values(
        // An item whose variable cannot hold a value would be selected for ever.
        EndingCase{"ItemWhoseVariableCannotBeSet",
                   "<block name=\"a b\">\n<prompt>never</prompt>\n</block>\n",
                   "Form item variable cannot be set: a b"},
        // The engine has dropped every variable of the dialogue (16 MB here).
        EndingCase{"ScriptOverTheMemoryLimit",
                   "<block>\n<script>var big = new Array(2e6).fill(1)</script>\n"
                   "<prompt>never</prompt>\n</block>\n",
                   "A script was stopped for using too much memory and the engine started "
                   "afresh: the dialogue ends"},
        // 500 functions that keep 200 KB of source text each.
        EndingCase{"FunctionsOverTheMemoryLimit",
                   "<block>\n<script>var t = ''; "
                   "while (t.length &lt; 1e5) t += Math.random().toString(36).slice(2); "
                   "var fs = []; for (var i = 0; i &lt; 500; i++) "
                   "fs.push(new Function('return ' + i + ' /*' + t + '*/'))</script>\n"
                   "<prompt>never</prompt>\n</block>\n",
                   "A script was stopped for using too much memory and the engine started "
                   "afresh: the dialogue ends"}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return info.param.name; });

}  // namespace
}  // namespace interpretertest
