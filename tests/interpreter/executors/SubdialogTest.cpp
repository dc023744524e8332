// Subdialogs in whole dialogues: what they return and what their caller gets
// back, two levels deep; and which endings inside a subdialog end the caller.
#include <gtest/gtest.h>

#include "tests/interpreter/executors/InterpreterTestSupport.h"

namespace interpretertest {
namespace {

using Strings = std::vector<std::string>;

const std::string kBnf = "\" type=\"application/grammar+bnf\"/>\n";

// The caller (application app.vxml) runs sub.vxml at its form "ask", which jumps
// to "second"; that runs deep.vxml (application app2.vxml) and returns its own
// value and deep's. The caller speaks them and its own variables, and its field
// hears only its own grammars.
TEST_F(InterpreterTest, SubdialogReturnsIntoTheCallersItemTwoLevelsDeep) {
  WriteDocument("app.vxml", "<var name=\"shared\" expr=\"'app'\"/>\n");
  WriteDocument("app2.vxml", "<var name=\"shared\" expr=\"'two'\"/>\n");
  WriteDocument("start.vxml",
                "<var name=\"d\" expr=\"'doc'\"/>\n<form id=\"main\">\n"
                "<grammar src=\"main.bnf" + kBnf + "<var name=\"x\" expr=\"'caller'\"/>\n"
                "<block>\n<var name=\"an\" expr=\"'anon'\"/>\n<script>session.mine='sess';</script>\n"
                "</block>\n"
                "<subdialog name=\"s1\" src=\"sub.vxml#ask\">\n<filled>\n<prompt><value "
                "expr=\"[s1.a, s1.b, x, d, an, shared, session.mine].join(' ')\"/></prompt>\n</filled>\n"
                "</subdialog>\n<field name=\"ok\">\n<grammar src=\"ok.bnf" + kBnf +
                "<prompt>Right?</prompt>\n</field>\n</form>\n",
                "version=\"1.0\" application=\"app.vxml\"");
  WriteDocument("sub.vxml",
                "<var name=\"d\" expr=\"'subdoc'\"/>\n<link next=\"#first\">\n<grammar "
                "src=\"link.bnf" + kBnf + "</link>\n<form id=\"first\">\n<block>\n"
                "<prompt>wrong</prompt>\n</block>\n</form>\n<form id=\"ask\">\n"
                "<var name=\"x\" expr=\"'sub'\"/>\n<block>\n<var name=\"an\" expr=\"'subanon'\"/>\n"
                "<prompt><value expr=\"shared\"/></prompt>\n<goto next=\"#second\"/>\n</block>\n"
                "</form>\n<form id=\"second\">\n<var name=\"a\" expr=\"'alpha'\"/>\n"
                "<var name=\"b\"/>\n<subdialog name=\"s2\" src=\"deep.vxml\">\n<filled>\n"
                "<assign name=\"b\" expr=\"s2.c\"/>\n<return namelist=\"a  b\"/>\n"
                "<prompt>returned</prompt>\n</filled>\n</subdialog>\n</form>\n");
  WriteDocument("deep.vxml",
                "<form id=\"d1\">\n<var name=\"c\" expr=\"shared + '-deep-' + session.mine\"/>\n<block>\n"
                "<return namelist=\"c\"/>\n</block>\n</form>\n",
                "version=\"1.0\" application=\"app2.vxml\"");
  peer_.SetDefaultReply(":utt yes\t:conf 0.9\t:noinput 0\t:semantic 'yes'");
  RunDialogue("start.vxml");
  const std::string dictionary = "\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\";
  EXPECT_EQ(HeardTexts(), (Strings{"app", "returned", "alpha two-deep-sess caller doc anon app sess",
                                   "NewGroup\t", "AddGram\t:gramURI main.bnf" + dictionary,
                                   "AddGram\t:gramURI ok.bnf" + dictionary, "LoadGroup", "Right?",
                                   "ask:"}));
}

// The subdialog "#inner" of the same document ends so; the caller's <return>
// is outside any subdialog and logs an error.
TEST_F(InterpreterTest, OnlyTheSubdialogsOwnDialogJumpsLeaveTheCallerRunning) {
  WriteDocument("other.vxml", "<form id=\"o1\">\n<block>\nother one\n</block>\n</form>\n"
                              "<form id=\"o2\">\n<block>\nother two\n</block>\n</form>\n");
  const std::pair<std::string, Strings> table[] = {
      {"<goto next=\"#inner2\"/>", {"inner", "inner two", "back", "caller goes on"}},
      {"<exit/>", {"inner"}}, {"", {"inner"}},  // "": the caller hangs up at the first prompt
      {"<goto next=\"other.vxml#o2\"/>", {"inner", "other two"}},
      {"<subdialog name=\"again\" src=\"#inner\"/>",
       Strings(Interpreter::kMaxSubdialogDepth, "inner")}};
  for (const auto& [ending, heard] : table) {
    WriteDocument("start.vxml",
                  "<form id=\"main\">\n<subdialog name=\"s\" src=\"#inner\">\n<filled>\nback\n"
                  "</filled>\n</subdialog>\n<block>\ncaller goes on\n<return namelist=\"q\"/>\n"
                  "</block>\n</form>\n<form id=\"inner\">\n<block>\ninner\n" + ending +
                  "\n</block>\n</form>\n<form id=\"inner2\">\n<block>\ninner two\n</block>\n"
                  "</form>\n");
    interpreter_.reset();  // the last run's interpreter and document go before their log
    document_.reset();
    peer_ = testsupport::FakePeerLink();
    if (ending.empty()) peer_.QueueReply("End");
    RunDialogue("start.vxml");
    EXPECT_EQ(HeardTexts(), heard) << ending;
    EXPECT_EQ(CountOf(MainLog(), "ERROR :return element outside any subdialog"),
              heard.back() == "caller goes on") << ending;
  }
}

}  // namespace
}  // namespace interpretertest
