// Whole dialogues as VoiceXML authors write them: scripts that fail or never
// end, bare names of every scope, deep nesting, empty and over-long goto
// targets, dialogs that jump to each other for ever.
#include <gtest/gtest.h>

#include "ecmascript_engine/Mavette.h"
#include "tests/interpreter/executors/InterpreterTestSupport.h"
#include "tests/support/CaptureStdout.h"

namespace interpretertest {
namespace {

using Strings = std::vector<std::string>;

const char kScriptError[] = "ERROR Execute ECMAScript command >>";

// A short time limit: a script that never ends is interrupted at once.
class AuthorDocumentTest : public InterpreterTest {
 protected:
  AuthorDocumentTest() { EEsetTimeLimit(300); }
  ~AuthorDocumentTest() override { EEsetTimeLimit(10000); }
};

TEST_F(AuthorDocumentTest, ScriptsAndScopesBehaveAsTheAuthorMeant) {
  WriteDocument("app.vxml",
                "<var name=\"greeting\" expr=\"'Ahoj'\"/>\n<var name=\"visits\" expr=\"0\"/>\n");
  WriteDocument("start.vxml",
                "<var name=\"a\" expr=\"2\"/>\n"
                "<var name=\"b\" expr=\"a + 1\"/>\n"
                "<form id=\"main\">\n<block>\n"
                "<script>this is not script</script>\n"
                "<assign name=\"visits\" expr=\"visits + b\"/>\n"
                "<if cond=\"(\">\n<prompt>a failed condition is false</prompt>\n</if>\n"
                "<script>while (true) {}</script>\n"
                "<script>var total = 40 + 2;</script>\n"
                "<prompt><value expr=\"greeting\"/> <value expr=\"visits\"/> "
                "<value expr=\"total\"/></prompt>\n"
                "<goto expr=\"''\"/>\n</block>\n"
                "<block>\n<goto expr=\"'#' + 'x'.repeat(300)\"/>\n</block>\n"
                "<block>\n<prompt>end</prompt>\n</block>\n</form>\n",
                "version=\"1.0\" application=\"app.vxml\"");
  testsupport::CaptureStdout console;
  RunDialogue("start.vxml");
  std::string out = console.Take();
  EXPECT_EQ(HeardTexts(), (Strings{"Ahoj 3 42", "end"}));  // a script's global too
  EXPECT_EQ(CountOf(out, kScriptError), 3);  // the failing commands alone, each in its turn
  EXPECT_TRUE(InOrder(out, {">>this is not script", ">>(", ">>while (true) {}", "SYSTEM: Ahoj"}));
  EXPECT_TRUE(InOrder(MainLog(),
                      {"ERROR :goto element has an empty target: ''\n",
                       "ERROR :Value cut to 255 characters, the most its result buffer holds: "
                       "'#' + 'x'.repeat(300)\n",
                       "SYSTEM: end", "End of FIA"}));
}

// Scripts deep inside the document's nesting run like any other.
TEST_F(AuthorDocumentTest, DeeplyNestedContentRunsItsScripts) {
  std::string opening;
  std::string closing;
  for (int i = 0; i < 2000; ++i) {
    opening += "<if cond=\"true\">\n";
    closing += "</if>\n";
  }
  WriteDocument("start.vxml", "<form id=\"f\">\n<block>\n" + opening +
                                  "<script>document.deep = 'yes';</script>\n"
                                  "<prompt><value expr=\"deep\"/></prompt>\n" +
                                  closing + "</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"yes"}));
}

// A main menu that sends the caller to a task and back, five hundred times.
TEST_F(AuthorDocumentTest, DialogsJumpToEachOtherWithoutLimit) {
  WriteDocument("start.vxml",
                "<var name=\"rounds\" expr=\"0\"/>\n"
                "<form id=\"menu\">\n<block>\n<assign name=\"rounds\" expr=\"rounds + 1\"/>\n"
                "<if cond=\"rounds &gt; 500\">\n<prompt>done</prompt>\n<exit/>\n</if>\n"
                "<goto next=\"#task\"/>\n</block>\n</form>\n"
                "<form id=\"task\">\n<block>\n<prompt>task <value expr=\"rounds\"/></prompt>\n"
                "<goto next=\"#menu\"/>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  Strings heard = HeardTexts();
  ASSERT_EQ(heard.size(), 501u);
  EXPECT_EQ(heard[499], "task 500");
  EXPECT_EQ(heard[500], "done");
  EXPECT_EQ(CountOf(MainLog(), "Run FIA algoritm."), 1001);
}

}  // namespace
}  // namespace interpretertest
