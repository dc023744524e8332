// The document loop, the Form Interpretation Algorithm, the application root
// and the dialogue that plugs the interpreter into the session.
#include <gtest/gtest.h>

#include <filesystem>

#include "interpreter/executors/CurrentDocument.h"
#include "interpreter/server/DialogSession.h"
#include "interpreter/server/InterpreterDialogue.h"
#include "tests/interpreter/executors/InterpreterTestSupport.h"
#include "tests/support/ScriptedPeerLink.h"

namespace interpretertest {
namespace {

using Strings = std::vector<std::string>;

TEST_F(InterpreterTest, BlocksRunInOrderToTheEndOfTheAlgorithm) {
  WriteDocument("start.vxml",
                "<form id=\"main\">\n"
                "<block name=\"one\">\n"
                "<prompt>first</prompt>\n"
                "</block>\n"
                "<block>\n"
                "<prompt timeout=\"3s\" bargein=\"true\">second</prompt>\n"
                "</block>\n"
                "</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(peer_.Sent(), (Strings{"Synt\t:text first\t:bargein false\t:timeout 5",
                                   "Synt\t:text second\t:bargein false\t:timeout 3s"}));
  EXPECT_TRUE(InOrder(MainLog(),
                      {"Create INTERPRETER succesfull!",
                       "Load new document to the Inteprpreter: start.vxml", "Run Interpretation",
                       "Location: ", "Run FIA algoritm. Actual dialog: main",
                       "INICIALIZACNA FAZA FIA", "Select phase from FIA", "Collect phase from FIA",
                       "Visited block :one", "\t\t\tSYSTEM: first", "Select phase from FIA",
                       "Collect phase from FIA", "Visited block :noname_block",
                       "\t\t\tSYSTEM: second", "Select phase from FIA", "End of FIA"}));
  EXPECT_FALSE(interpreter_->NextDocumentPending());
}

// What a document holds where nothing runs it is named in the main log; the
// dialogue goes on without it. So is a jump to a dialog or item that is not
// there.
TEST_F(InterpreterTest, ElementsThatAreNotRunAreLogged) {
  WriteDocument("root.vxml",
                "<script>function r() { return 1; }</script>\n"
                "<nomatch><prompt>Again.</prompt></nomatch>\n");
  WriteDocument("start.vxml",
                "<script>function twice(n) { return 2 * n; }</script>\n"
                "<property name=\"timeout\" value=\"3s\"/>\n"
                "<catch event=\"error.badfetch\"><exit/></catch>\n"
                "<form id=\"mail\">\n"
                "<grammar expr=\"'mail.grxml'\"/>\n"
                "<script>var seen = true;</script>\n"
                "<error><prompt>Oops.</prompt></error>\n"
                "<record name=\"msg\">\n"
                "<filled><prompt>Got it.</prompt></filled>\n"
                "<noinput>Say something.</noinput>\n"
                "</record>\n"
                "<field name=\"drink\" cond=\"false\"><option>tea</option><option>milk</option>"
                "<catch event=\"nomatch help\">x</catch></field>\n"
                "<field name=\"count\" type=\"digits\" cond=\"false\">"
                "<grammar srcexpr=\"'digits.grxml'\"/></field>\n"
                "<transfer name=\"call\" dest=\"tel:+15551234\"/>\n"
                "<subdialog name=\"sub\" src=\"#pick\" namelist=\"a b\">"
                "<param name=\"p\" expr=\"1\"/></subdialog>\n"
                "<block><goto nextitem=\"nothing\"/></block>\n"
                "<block><goto next=\"#nowhere\"/><prompt>Not heard.</prompt></block>\n"
                "<block><script src=\"lib.js\">var shown = 1;</script><foreach item=\"x\" array=\"a\"><prompt>"
                "<value expr=\"x\"/></prompt></foreach><data src=\"d.xml\"/><prompt>Bye.</prompt>"
                "<exit namelist=\"shown\"/></block>\n"
                "</form>\n"
                "<menu id=\"pick\"><choice dtmf=\"1\" next=\"#other\">other</choice></menu>\n"
                "<form id=\"other\"><block>Other.</block></form>\n",
                "version=\"1.0\" application=\"root.vxml\"");
  peer_.SetDefaultReply(":utt other\t:conf 0.9\t:noinput 0");  // the menu hears "other"
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(),
            (Strings{"Record:\t:name msg\t:maxtime \t:dtmfterm ", "NewGroup\t",
                     "AddGram\t:gramURI lang_resources/grammars/temp/GoTo#other.bnf\t:gramTYPE "
                     "bnf\t:loc_DICT lang_resources\\Dictionaries\\GoTo#other.dic",
                     "LoadGroup", "ask:", "Other.", "Bye."}));
  const std::string log = MainLog();
  EXPECT_TRUE(InOrder(
      log, {"ERROR :expr=\"'mail.grxml'\" in the grammar of the form mail is not run: a grammar "
            "is read only from its src or its own rules",
            "ERROR :srcexpr=\"'digits.grxml'\" in the grammar of the field count is not run: "
            "a grammar is read only from its src or its own rules",
            "ERROR :<script> at the top of root.vxml is not run",
            "ERROR :<nomatch> at the top of root.vxml is not run: no event is handled there",
            "ERROR :<script> at the top of start.vxml is not run",
            "ERROR :<property name=\"timeout\"> at the top of start.vxml is not run",
            "ERROR :<catch event=\"error.badfetch\"> at the top of start.vxml is not run: "
            "only noinput, nomatch and help are raised",
            "ERROR :<noinput> in the record msg is not run: no event is handled there",
            "ERROR :<option> in the field drink is not run: options are not understood, no "
            "answer fills the field",
            "ERROR :type=\"digits\" in the field count is not run: built-in field types are not "
            "understood",
            "ERROR :namelist=\"a b\" in the subdialog sub is not run: a subdialog passes no "
            "values in",
            "ERROR :<param name=\"p\"> in the subdialog sub is not run: a subdialog passes no "
            "values in",
            "ERROR :<script> in the form mail is not run",
            "ERROR :<error> in the form mail is not run: only noinput, nomatch and help are raised",
            "ERROR :<transfer> in the form mail is not run",
            "ERROR :<filled> in the record msg is not run",
            "ERROR :dtmf=\"1\" in the menu pick is not run: the menu is asked by voice, a key is "
            "heard only with dtmf=\"true\"",
            "ERROR :goto: no form item named nothing; the jump is not made",
            "ERROR :goto: no dialog with id nowhere in document start.vxml; the jump is not made",
            "ERROR :src=\"lib.js\" in the script is not run: only the script's body runs",
            "ERROR :<foreach> in the block noname_block2 is not run",
            "ERROR :<data> in the block noname_block2 is not run",
            "ERROR :namelist=\"shown\" in the exit is not run: an exit returns no values"}));
  EXPECT_EQ(1, CountOf(log, "<option>"));  // the first option names them all
  EXPECT_EQ(0, CountOf(log, "<script> in the block"));  // a block's script runs
  EXPECT_EQ(0, CountOf(log, "nomatch help"));
}

TEST_F(InterpreterTest, DestructionIsLogged) {
  WriteDocument("start.vxml", "<form id=\"f\">\n</form>\n");
  RunDialogue("start.vxml");
  interpreter_.reset();
  EXPECT_TRUE(InOrder(MainLog(), {"End of FIA", "Destroy XML PARSER", "Destroy INTERPRETER\n"}));
}

TEST_F(InterpreterTest, FormWhoseItemsAreFilledEndsAtOnce) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n"
                "<field name=\"city\" expr=\"'Praha'\">\n"
                "</field>\n"
                "</form>\n");
  RunDialogue("start.vxml");
  std::string log = MainLog();
  EXPECT_TRUE(InOrder(log, {"Select phase from FIA", "End of FIA"}));
  EXPECT_EQ(CountOf(log, "Collect phase from FIA"), 0);
  EXPECT_TRUE(peer_.Sent().empty());
}

TEST_F(InterpreterTest, BlockWithFalseConditionIsPassedOverForGood) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n"
                "<block name=\"b\" cond=\"1 == 2\">\n"
                "<prompt>never</prompt>\n"
                "</block>\n"
                "</form>\n");
  RunDialogue("start.vxml");
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_EQ(CountOf(MainLog(), "Collect phase from FIA"), 1);
  EXPECT_EQ(CountOf(MainLog(), "Visited block"), 0);
  EXPECT_EQ(Value("dialog.b"), "true");
}

TEST_F(InterpreterTest, DocumentVariablesAreDeclaredBeforeTheFirstDialog) {
  WriteDocument("start.vxml",
                "<var name=\"greeting\" expr=\"'ahoj'\"/>\n"
                "<var name=\"plain\"/>\n"
                "<form id=\"f\">\n"
                "<block>\n"
                "<var name=\"inner\" expr=\"7\"/>\n"
                "<prompt><value expr=\"greeting\"/> <value expr=\"plain\"/></prompt>\n"
                "</block>\n"
                "</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"ahoj undefined"}));
  EXPECT_EQ(Value("typeof document.plain"), "string");
  EXPECT_EQ(Value("anonymous.inner"), "7");
  EXPECT_EQ(Value("typeof document.inner"), "undefined");
}

TEST_F(InterpreterTest, DocumentWithoutDialogsEndsWithAnError) {
  WriteDocument("start.vxml", "<var name=\"x\" expr=\"1\"/>\n");
  RunDialogue("start.vxml");
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_TRUE(InOrder(MainLog(), {"ERROR :No form or menu in document start.vxml"}));
  EXPECT_EQ(CountOf(MainLog(), "Run FIA"), 0);
  EXPECT_EQ(Value("document.x"), "1");
}

TEST_F(InterpreterTest, StartDialogThatNamesNoDialogRunsNothing) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n<goto next=\"second.vxml#missing\"/>\n</block>\n"
                "</form>\n");
  WriteDocument("second.vxml", "<form id=\"s\">\n<block>\n<prompt>s</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_TRUE(InOrder(MainLog(), {"ERROR :No dialog with id missing in document second.vxml"}));
}

TEST_F(InterpreterTest, DocumentJumpLoadsTheNextDocumentAndNamesItCurrent) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n<prompt>one</prompt>\n<goto next=\"second.vxml\"/>\n"
                "</block>\n</form>\n");
  WriteDocument("second.vxml",
                "<form id=\"s\">\n<block>\n<prompt>two</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"one", "two"}));
  EXPECT_EQ(quorvane::CurrentDocument(), "second.vxml");
  EXPECT_EQ(interpreter_->DocumentName(), "second.vxml");
  EXPECT_TRUE(InOrder(MainLog(), {"GO TO ", "another document: second.vxml",
                                  "Load new document to the Inteprpreter: second.vxml",
                                  "Run FIA algoritm. Actual dialog: s", "End of FIA",
                                  "Destroy dokument second.vxml"}));
}

// Form-level filled elements: which run after a collect turn, by mode and
// namelist, with the field a filled and the field b unfilled.
TEST_F(InterpreterTest, ProcessPhaseRunsTheFilledElementsWhoseItemsAreFilled) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n"
                "<field name=\"a\" expr=\"'x'\">\n</field>\n"
                "<field name=\"b\" expr=\"'y'\">\n</field>\n"
                "<filled mode=\"all\" namelist=\"a\">\n<prompt>all a</prompt>\n</filled>\n"
                "<filled mode=\"all\" namelist=\"a b\">\n<prompt>all a b</prompt>\n</filled>\n"
                "<filled mode=\"any\" namelist=\"a b\">\n<prompt>any a b</prompt>\n</filled>\n"
                "<filled mode=\"any\" namelist=\"b\">\n<prompt>any b</prompt>\n</filled>\n"
                "<filled>\n<prompt>all, none named</prompt>\n</filled>\n"
                "<filled namelist=\"ax\">\n<prompt>all, ax</prompt>\n</filled>\n"
                "<filled mode=\"some\">\n<prompt>other mode</prompt>\n</filled>\n"
                "</form>\n");
  RunDialogue("start.vxml");
  ASSERT_TRUE(peer_.Sent().empty());
  ASSERT_EQ(interpreter_->CurrentDialog(), &document_->dialogs[0]);
  Value("dialog.b='undefined'");
  EXPECT_EQ(interpreter_->ProcessPhase(interpreter_->CurrentDialog()), 0);
  // "ax" holds the name a as a substring, so that filled element watches a.
  EXPECT_EQ(HeardTexts(), (Strings{"all a", "any a b", "all, none named", "all, ax"}));
  EXPECT_EQ(CountOf(MainLog(), "Filled element is executed."), 4);
}

// A form entered by jump takes a semantic result as its whole dialog scope
// and runs the process phase first, without select and collect.
TEST_F(InterpreterTest, FormEnteredByJumpRunsTheProcessPhaseFirst) {
  WriteDocument("start.vxml",
                "<form id=\"first\">\n</form>\n"
                "<form id=\"order\">\n<field name=\"drink\">\n</field>\n"
                "<filled namelist=\"drink\">\n<prompt>one <value expr=\"drink\"/></prompt>\n"
                "</filled>\n</form>\n");
  RunDialogue("start.vxml");
  Value("SmResult.order = new Object(); SmResult.order.drink = 'tea'");
  interpreter_->RunFIA(&document_->dialogs[1], true, "SmResult.order");
  EXPECT_EQ(HeardTexts(), (Strings{"one tea"}));
  std::string log = MainLog();
  std::string jump = log.substr(log.find("Actual dialog: order"));
  EXPECT_TRUE(InOrder(jump, {"INICIALIZACNA FAZA FIA", "Process phase from FIA",
                             "Filled element is executed.", "Select phase from FIA",
                             "End of FIA"}));
  EXPECT_EQ(CountOf(jump, "Collect phase from FIA"), 0);
}

TEST_F(InterpreterTest, TransferIsSelectedOnce) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n"
                "<transfer dest=\"tel:123\"/>\n"
                "<block>\n<prompt>after</prompt>\n</block>\n"
                "</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"after"}));
  EXPECT_EQ(CountOf(MainLog(), "Collect phase from FIA"), 2);
  EXPECT_EQ(Value("dialog.noname_transfer"), "true");
}

// Fields without a name get one; a field whose condition is false is visited
// once and asks nothing.
TEST_F(InterpreterTest, ItemWithoutNameGetsOneAndIsSelectedOnce) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n"
                "<field cond=\"false\">\n<prompt>question</prompt>\n</field>\n"
                "<field cond=\"false\">\n</field>\n"
                "<block>\n<prompt>after</prompt>\n</block>\n"
                "</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(peer_.Sent(), (Strings{"Synt\t:text after\t:bargein false\t:timeout 5"}));
  std::string log = MainLog();
  EXPECT_EQ(CountOf(log, "Visited field"), 0);
  EXPECT_EQ(Value("dialog.noname_field"), "true");
  EXPECT_EQ(Value("dialog.noname_field1"), "true");
  EXPECT_TRUE(InOrder(log, {"End of FIA"}));
}

// A choice without a target is an error and leads nowhere; the menu ends.
TEST_F(InterpreterTest, ChoiceWithoutTargetFollowsNothing) {
  WriteDocument("start.vxml", "<menu id=\"m\" dtmf=\"true\">\n"
                              "<choice dtmf=\"3\">nowhere</choice>\n</menu>\n");
  peer_.SetDefaultReply(":DTMFchar 3");
  RunDialogue("start.vxml");
  EXPECT_EQ(CountOf(MainLog(), "ERROR :The choice element has no next, expr, nextitem or "
                               "expritem: nothing is followed"), 1);
  EXPECT_FALSE(interpreter_->StopRequested());
}

// A dialog that jumps to itself for ever, asking the peer nothing, ends at
// the pass limit of the select phase.
TEST_F(InterpreterTest, EndlessSilentDialogJumpsEndTheDialogue) {
  WriteDocument("start.vxml",
                "<form id=\"loop\">\n<block>\n<goto next=\"#loop\"/>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_TRUE(interpreter_->StopRequested());
  EXPECT_EQ(CountOf(MainLog(), "ERROR :The form loop made no request in 10000 passes of the "
                               "select phase: the dialogue ends"), 1);
  EXPECT_EQ(CountOf(MainLog(), "Run FIA algoritm."), Interpreter::kMaxSilentPasses + 1);
}

TEST_F(InterpreterTest, EndlessItemJumpsEndTheDialogue) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block name=\"b\">\n<goto nextitem=\"b\"/>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(CountOf(MainLog(), "ERROR :Too many nested jumps: the dialogue ends"), 1);
}

// ---------------------------------------------------------------------------
// Application root documents.

class ApplicationRootTest : public InterpreterTest {
 protected:
  ApplicationRootTest() {
    WriteDocument("app.vxml",
                  "<meta name=\"author\" content=\"team\"/>\n"
                  "<grammar src=\"shop.gram\" type=\"application/grammar+list\"/>\n"
                  "<var name=\"greeting\" expr=\"'hello'\"/>\n"
                  "<form id=\"never\">\n<block>\n<prompt>never</prompt>\n</block>\n</form>\n");
    WriteDocument("app2.vxml", "<var name=\"other\" expr=\"2\"/>\n");
  }
};

TEST_F(ApplicationRootTest, VariablesLiveAcrossDocumentsOfTheSameApplication) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n"
                "<prompt>Hi <value expr=\"application.greeting\"/></prompt>\n"
                "<assign name=\"application.count\" expr=\"5\"/>\n"
                "<goto next=\"second.vxml\"/>\n</block>\n</form>\n",
                "version=\"1.0\" application=\"app.vxml\"");
  WriteDocument("second.vxml",
                "<form id=\"s\">\n<block>\n"
                "<prompt>count <value expr=\"application.count\"/></prompt>\n"
                "<goto next=\"third.vxml\"/>\n</block>\n</form>\n",
                "version=\"1.0\" application=\"app.vxml\"");
  WriteDocument("third.vxml",
                "<form id=\"t\">\n<block>\n"
                "<script>document.kind = typeof application;</script>\n"
                "<prompt>kind <value expr=\"kind\"/></prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"Hi hello", "count 5", "kind undefined"}));
  std::string log = MainLog();
  // Loaded once; its grammar list is registered again for the second document.
  EXPECT_EQ(CountOf(log, "LOADED NEW ARD FILE>app.vxml"), 1);
  EXPECT_EQ(CountOf(log, "Pridanie gramatiky do resoure grupy: shop.gram"), 2);
  EXPECT_TRUE(InOrder(log, {"LOADED NEW ARD FILE>app.vxml", "META DATA: ", "\t\tteam = author"}));
  EXPECT_EQ(interpreter_->ApplicationRoot(), nullptr);
}

TEST_F(ApplicationRootTest, AnotherApplicationReplacesTheRoot) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n<goto next=\"second.vxml\"/>\n</block>\n</form>\n",
                "version=\"1.0\" application=\"app.vxml\"");
  WriteDocument("second.vxml",
                "<form id=\"s\">\n<block>\n"
                "<prompt><value expr=\"application.other\"/></prompt>\n</block>\n</form>\n",
                "version=\"1.0\" application=\"app2.vxml\"");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"2"}));
  EXPECT_TRUE(InOrder(MainLog(), {"LOADED NEW ARD FILE>app.vxml", "Destroy dokument app.vxml",
                                  "LOADED NEW ARD FILE>app2.vxml"}));
  ASSERT_NE(interpreter_->ApplicationRoot(), nullptr);
  EXPECT_EQ(interpreter_->ApplicationRoot()->fileName, "app2.vxml");
  EXPECT_EQ(Value("typeof application.greeting"), "undefined");
}

// ---------------------------------------------------------------------------
// Hang-up: "End" as the reply to any request ends the dialogue at once.

class HangUpTest : public InterpreterTest, public ::testing::WithParamInterface<int> {};

TEST_P(HangUpTest, EndAtAnyRequestStopsTheDialogue) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n"
                "<block>\n<prompt>one</prompt>\n<audio src=\"two.wav\"/>\n"
                "<if cond=\"true\">\n<prompt>three</prompt>\n</if>\n</block>\n"
                "<block>\n<prompt>four</prompt>\n<goto next=\"second.vxml\"/>\n</block>\n"
                "</form>\n");
  WriteDocument("second.vxml",
                "<form id=\"s\">\n<block>\n<prompt>five</prompt>\n</block>\n"
                "<block>\n<prompt>six</prompt>\n</block>\n</form>\n");
  const Strings all = {"one", "audio:two.wav", "three", "four", "five", "six"};
  int request = GetParam();
  for (int i = 1; i < request; ++i) peer_.QueueReply("OK");
  peer_.QueueReply("End");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), Strings(all.begin(), all.begin() + request));
  EXPECT_TRUE(interpreter_->StopRequested());
  EXPECT_FALSE(interpreter_->NextDocumentPending());
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, HangUpTest, ::testing::Range(1, 7));

// ---------------------------------------------------------------------------
// The dialogue as the session creates and runs it.

TEST_F(InterpreterTest, SessionRunsTheInterpreterDialogue) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n<prompt>Dobry den</prompt>\n</block>\n</form>\n");
  quorvane::SetCurrentDocument("start.vxml");
  {
    DialogSession session(peer_, InterpreterDialogue::Factory(peer_));
    session.SetMainLogPath("base.log");
    session.SetDialogLogPath("dialogue.txt");
    session.Begin();
    EXPECT_EQ(session.StartDialog(), 0);
    std::string log = testsupport::ReadFile("base.log");
    EXPECT_TRUE(InOrder(log, {"Create INTERPRETER succesfull!",
                              "Load new document to the Inteprpreter: start.vxml",
                              "Name of browse file: start.vxml", "Run Interpretation",
                              "End of FIA", "End of DIALOG"}));
    EXPECT_TRUE(InOrder(testsupport::ReadFile("dialogue.txt"), {"SYSTEM: Dobry den"}));
    session.EndDialogue();
  }
  EXPECT_EQ(peer_.Sent(), (Strings{"Synt\t:text Dobry den\t:bargein false\t:timeout 5",
                                   "Koniec dialogu"}));
}

// The sample application of examples/, played from its peer script as the
// server plays it: "Begin", the dialogue with its menu and field turns,
// "Koniec dialogu".
TEST_F(InterpreterTest, SampleApplicationPlaysToTheEnd) {
  const std::filesystem::path examples = std::filesystem::path(QUORVANE_SOURCE_DIR) / "examples";
  for (const char* file : {"welcome.vxml", "offers.vxml", "shop-root.vxml", "shop.peer"}) {
    std::filesystem::copy_file(examples / file, file);
  }
  testsupport::ScriptedPeerLink peer(
      testsupport::PeerScript::Parse(testsupport::ReadFile("shop.peer")));
  ASSERT_EQ(peer.Receive(), "Begin");
  quorvane::SetCurrentDocument("welcome.vxml");
  DialogSession session(peer, InterpreterDialogue::Factory(peer));
  session.Begin();
  session.StartDialog();
  session.EndDialogue();
  EXPECT_EQ(Spoken(peer.Sent()), (Strings{"Dobry den, vitajte v obchode Quorvane.", "Ste tu prvy raz.",
                            "Pre otvaracie hodiny stlacte 1, pre dnesnu ponuku 2.", "GetDTMFch:",
                            "Stlacte prosim 1 alebo 2.",
                            "Pre otvaracie hodiny stlacte 1, pre dnesnu ponuku 2.", "GetDTMFch:",
                            "Ktory den vas zaujima?", "ask:", "Nerozumel som, povedzte den v tyzdni.",
                            "Ktory den vas zaujima?", "ask:", "V sobotu mame otvorene od 8 do 12.",
                            "Dnes mame 3 zlavy.", "audio:jingle.wav",
                            "Po zazneni tonu nam mozete nechat odkaz.", "Dakujeme za odkaz.",
                            "Otvaracie hodiny uz poznate. Dovidenia.", "Koniec dialogu"}));
}

}  // namespace
}  // namespace interpretertest
