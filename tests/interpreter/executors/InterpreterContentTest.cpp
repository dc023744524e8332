// Executable content: the dispatcher, <if>/<elseif>/<else>, <var>,
// <script>, <exit>, <throw>, <reprompt>, <meta>, and the block, assign,
// clear, goto and disconnect executors.
#include <gtest/gtest.h>

#include "interpreter/document/Element.h"
#include "tests/interpreter/executors/InterpreterTestSupport.h"

namespace interpretertest {
namespace {

using Strings = std::vector<std::string>;

// One form "f" whose one block holds the content lines.
void WriteBlockDocument(const std::string& content, const std::string& moreForms = "") {
  WriteDocument("start.vxml", "<form id=\"f\">\n<block name=\"b\">\n" + content +
                                  "</block>\n</form>\n" + moreForms);
}

// ---------------------------------------------------------------------------
// <if>, <elseif>, <else>: only the result text "false" is false.

struct IfCase {
  const char* a;  // the expression of the <if> condition's variable
  const char* b;  // the expression of the <elseif> condition's variable
  const char* heard;
};

class IfTruthTest : public InterpreterTest, public ::testing::WithParamInterface<IfCase> {};

TEST_P(IfTruthTest, RunsExactlyOneBranch) {
  const IfCase& c = GetParam();
  WriteDocument("start.vxml", std::string("<var name=\"a\" expr=\"") + c.a + "\"/>\n" +
                                  "<var name=\"b\" expr=\"" + c.b + "\"/>\n" +
                                  "<form id=\"f\">\n<block>\n"
                                  "<if cond=\"a\">\n<prompt>A</prompt>\n"
                                  "<elseif cond=\"b\"/>\n<prompt>B</prompt>\n"
                                  "<else/>\n<prompt>C</prompt>\n</if>\n"
                                  "<prompt>after</prompt>\n"
                                  "</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{c.heard, "after"}));
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, IfTruthTest,
    ::testing::Values(IfCase{"true", "true", "A"}, IfCase{"true", "false", "A"},
                      IfCase{"false", "true", "B"}, IfCase{"false", "false", "C"},
                      IfCase{"0", "false", "A"},          // a number is true
                      IfCase{"undefined", "false", "A"},  // an empty result is true
                      IfCase{"'false'", "false", "C"},    // the printed text decides
                      IfCase{"false", "'no'", "B"}));

TEST_F(InterpreterTest, FalseIfWithoutBranchLogsAndRunsNothing) {
  WriteBlockDocument("<if cond=\"1 == 2\">\n<prompt>A</prompt>\n</if>\n<prompt>after</prompt>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"after"}));
  EXPECT_TRUE(InOrder(MainLog(), {"if element", "<if cond=\"1 == 2\">", "\tcondition false",
                                  "false", "\t\t\tSYSTEM: after"}));
}

TEST_F(InterpreterTest, IfWithoutConditionIsTrue) {
  WriteBlockDocument("<if>\n<prompt>A</prompt>\n<else/>\n<prompt>C</prompt>\n</if>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"A"}));
  EXPECT_TRUE(InOrder(MainLog(), {"if element", "\tcondition true"}));
}

TEST_F(InterpreterTest, ElseBranchLogsEachChild) {
  WriteBlockDocument(
      "<if cond=\"false\">\n<prompt>A</prompt>\n<else/>\n<prompt>C</prompt>\n"
      "<var name=\"v\" expr=\"3\"/>\n</if>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"C"}));
  EXPECT_TRUE(InOrder(MainLog(), {"\tcondition false", "true", "\tI execute else/elseif element.",
                                  "SYSTEM: C", "\tI execute else/elseif element."}));
  EXPECT_EQ(Value("anonymous.v"), "3");
}

TEST_F(InterpreterTest, NestedIfRunsInItsBranch) {
  WriteBlockDocument(
      "<if cond=\"true\">\n<if cond=\"false\">\n<prompt>inner A</prompt>\n<else/>\n"
      "<prompt>inner C</prompt>\n</if>\n<prompt>outer A</prompt>\n</if>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"inner C", "outer A"}));
}

// Audio and disconnect run inside an <if> branch as anywhere else, and a
// disconnect there ends the content around the <if> too.
TEST_F(InterpreterTest, AudioAndDisconnectWorkInsideIf) {
  WriteBlockDocument(
      "<if cond=\"true\">\n<audio src=\"beep.wav\"/>\n<disconnect/>\n<prompt>never</prompt>\n"
      "</if>\n<prompt>never after</prompt>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"audio:beep.wav"}));
  EXPECT_TRUE(interpreter_->StopRequested());
}

TEST_F(InterpreterTest, GotoInsideIfEndsTheContentAroundIt) {
  WriteBlockDocument(
      "<if cond=\"true\">\n<if cond=\"true\">\n<goto next=\"#g\"/>\n<prompt>never</prompt>\n"
      "</if>\n<prompt>never 2</prompt>\n</if>\n<prompt>never 3</prompt>\n",
      "<form id=\"g\">\n<block>\n<prompt>in g</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"in g"}));
}

// ---------------------------------------------------------------------------
// <var>, <assign>, <script>, <exit>, <throw>, <reprompt>, <meta>.

TEST_F(InterpreterTest, VarAndAssignFillTheirScopes) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<var name=\"n\" expr=\"1\"/>\n<block>\n"
                "<assign name=\"n\" expr=\"n + 1\"/>\n"
                "<prompt>n is <value expr=\"n\"/></prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"n is 2"}));
  EXPECT_TRUE(InOrder(MainLog(), {"Assign element.Fill variable n with value n + 1"}));
}

TEST_F(InterpreterTest, ScriptBodyRunsAsOneCommand) {
  WriteBlockDocument(
      "<script>\n"
      "function twice(x) {\n"
      "  return x * 2;\n"
      "}\n"
      "document.r = twice(21);\n"
      "</script>\n"
      "<script>document.s = 'one line';</script>\n"
      "<prompt><value expr=\"r\"/> <value expr=\"s\"/></prompt>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"42 one line"}));
}

TEST_F(InterpreterTest, ExitEndsTheDialogue) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block>\n<prompt>one</prompt>\n<if cond=\"true\">\n<exit/>\n"
                "<prompt>never</prompt>\n</if>\n<prompt>never 2</prompt>\n</block>\n"
                "<block>\n<prompt>never 3</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"one"}));
  EXPECT_TRUE(interpreter_->StopRequested());
  std::string log = MainLog();
  EXPECT_TRUE(InOrder(log, {"EXIT !!"}));
  EXPECT_EQ(CountOf(log, "End of FIA"), 0);
}

TEST_F(InterpreterTest, ThrowIsUnsupportedAndEndsTheDialogue) {
  WriteBlockDocument("<prompt>one</prompt>\n<throw event=\"x\"/>\n<prompt>never</prompt>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"one"}));
  EXPECT_TRUE(InOrder(MainLog(), {"ERROR :Error! Unsupported VoiceXML element (throw).", "EXIT !!"}));
}

TEST_F(InterpreterTest, RepromptWithoutItemDoesNothing) {
  WriteBlockDocument("<reprompt/>\n<prompt>after</prompt>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"after"}));
  EXPECT_TRUE(InOrder(MainLog(), {"Reprompt enable"}));
}

struct MetaCase {
  const char* element;
  const char* logged;  // after the messages "META DATA: " and "\t\t"
};

class MetaTest : public InterpreterTest, public ::testing::WithParamInterface<MetaCase> {};

TEST_P(MetaTest, LogsSecondAttributeThenFirst) {
  WriteDocument("start.vxml", std::string(GetParam().element) + "\n<form id=\"f\">\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_TRUE(InOrder(MainLog(), {"META DATA: ", std::string("\t\t") + GetParam().logged +
                                                     "\nMESSAGE"}));
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, MetaTest,
    ::testing::Values(MetaCase{"<meta name=\"author\" content=\"Jan\"/>", "Jan = author"},
                      MetaCase{"<meta content=\"Jan\" name=\"author\"/>", "author = Jan"},
                      MetaCase{"<meta name=\"author\"/>", " = author"},
                      MetaCase{"<meta/>", " = "}));

// ---------------------------------------------------------------------------
// <clear>: the blocks "one" and "check" count their visits; "check" clears
// the namelist at its first visit.

struct ClearCase {
  const char* namelist;
  std::vector<std::string> heard;
};

class ClearTest : public InterpreterTest, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(ClearTest, ClearedItemsAreVisitedAgain) {
  WriteDocument("start.vxml",
                std::string("<form id=\"f\">\n<var name=\"n\" expr=\"0\"/>\n"
                            "<var name=\"c\" expr=\"0\"/>\n"
                            "<block name=\"one\">\n<assign name=\"n\" expr=\"n + 1\"/>\n"
                            "<prompt>visit <value expr=\"n\"/></prompt>\n</block>\n"
                            "<block name=\"check\">\n<prompt>check</prompt>\n"
                            "<assign name=\"c\" expr=\"c + 1\"/>\n"
                            "<if cond=\"c == 1\">\n<clear namelist=\"") +
                    GetParam().namelist + "\"/>\n</if>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), GetParam().heard);
  EXPECT_TRUE(InOrder(MainLog(), {std::string("Clearing variable ") + GetParam().namelist}));
}

INSTANTIATE_TEST_SUITE_P(
    Namelists, ClearTest,
    ::testing::Values(ClearCase{"one", {"visit 1", "check", "visit 2"}},
                      ClearCase{"one check", {"visit 1", "check", "visit 2", "check"}},
                      ClearCase{"check", {"visit 1", "check", "check"}},
                      ClearCase{"", {"visit 1", "check", "visit 2", "check"}}));

TEST_F(InterpreterTest, ClearResetsTheItemsCounters) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<field name=\"city\" expr=\"'x'\">\n</field>\n"
                "<block name=\"b\">\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  Element* field = document_->dialogs[0].element->children[0];
  ASSERT_EQ(field->tagName, "field");
  field->prompted = 1;
  field->eventCounter = 3;
  field->promptCounter = 4;
  Element clear("clear", "anonymous", "<clear namelist=\"city\"/>", {{"namelist", "city"}});
  interpreter_->ExecuteClear(&clear);
  EXPECT_EQ(field->prompted, 0);
  EXPECT_EQ(field->eventCounter, 0);
  EXPECT_EQ(field->promptCounter, 4);
  EXPECT_EQ(Value("dialog.city"), "undefined");
}

// ---------------------------------------------------------------------------
// <goto>: every kind of target. The start document has the forms f (the
// goto between two prompts), g and h, then a block "b2" and a block "b3".

struct GotoCase {
  const char* name;
  const char* gotoElement;
  std::vector<std::string> heard;
};

class GotoTest : public InterpreterTest, public ::testing::WithParamInterface<GotoCase> {};

TEST_P(GotoTest, FollowsTheTarget) {
  WriteDocument("start.vxml",
                std::string("<var name=\"target\" expr=\"'#h'\"/>\n"
                            "<form id=\"f\">\n<block name=\"b1\">\n<prompt>f</prompt>\n") +
                    GetParam().gotoElement +
                    "\n<prompt>never</prompt>\n</block>\n"
                    "<block name=\"b2\">\n<prompt>b2</prompt>\n</block>\n"
                    "<block name=\"b3\">\n<prompt>b3</prompt>\n</block>\n</form>\n"
                    "<form id=\"g\">\n<block>\n<prompt>g</prompt>\n</block>\n</form>\n"
                    "<form id=\"h\">\n<block>\n<prompt>h</prompt>\n</block>\n</form>\n");
  WriteDocument("second.vxml",
                "<form id=\"s1\">\n<block>\n<prompt>s1</prompt>\n</block>\n</form>\n"
                "<form id=\"s2\">\n<block>\n<prompt>s2</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), GetParam().heard);
  EXPECT_TRUE(InOrder(MainLog(), {"GO TO "}));
}

INSTANTIATE_TEST_SUITE_P(
    Targets, GotoTest,
    ::testing::Values(
        GotoCase{"Dialog", "<goto next=\"#h\"/>", {"f", "h"}},
        GotoCase{"Document", "<goto next=\"second.vxml\"/>", {"f", "s1"}},
        GotoCase{"DocumentDialog", "<goto next=\"second.vxml#s2\"/>", {"f", "s2"}},
        GotoCase{"Item", "<goto nextitem=\"b3\"/>", {"f", "b3", "b2"}},
        GotoCase{"NextBeforeNextitem", "<goto next=\"#g\" nextitem=\"b3\"/>", {"f", "g"}},
        GotoCase{"ExprDocument", "<goto expr=\"'second.vxml'\"/>", {"f", "s1"}},
        GotoCase{"ExprVariable", "<goto expr=\"target\"/>", {"f", "h"}},
        GotoCase{"ExprItem", "<goto expritem=\"'b' + 3\"/>", {"f", "b3", "b2"}},
        GotoCase{"MissingDialog", "<goto next=\"#nowhere\"/>", {"f", "b2", "b3"}},
        GotoCase{"MissingItem", "<goto nextitem=\"nowhere\"/>", {"f", "b2", "b3"}}),
    [](const ::testing::TestParamInfo<GotoCase>& info) { return info.param.name; });

TEST_F(InterpreterTest, DialogJumpEndsTheDialogAndRunsTheTarget) {
  WriteBlockDocument("<goto next=\"#g\"/>\n",
                     "<form id=\"g\">\n<block>\n<prompt>g</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"g"}));
  EXPECT_EQ(interpreter_->CurrentDialog(), &document_->dialogs[1]);
  EXPECT_TRUE(InOrder(MainLog(), {"GO TO ", "dialog g", "Run FIA algoritm. Actual dialog: g",
                                  "End of FIA"}));
  EXPECT_EQ(CountOf(MainLog(), "End of FIA"), 1);
}

TEST_F(InterpreterTest, ItemJumpResetsTheItemAndRunsItsTurn) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<block name=\"b1\">\n<prompt>b1</prompt>\n</block>\n"
                "<block name=\"b2\">\n<if cond=\"true\">\n<goto nextitem=\"b1\"/>\n</if>\n"
                "</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"b1", "b1"}));
  EXPECT_TRUE(InOrder(MainLog(), {"GO TO ", "form item b1", "Collect phase from FIA",
                                  "Visited block :b1", "End of FIA"}));
}

// An "expritem" that gives an empty text names no item: the <filled> child,
// which has no "name", is not taken for the target.
TEST_F(InterpreterTest, ItemJumpToAnEmptyNameDoesNothing) {
  WriteDocument("start.vxml",
                "<form id=\"f\">\n<filled>\n<prompt>filled</prompt>\n</filled>\n"
                "<block name=\"b1\">\n<goto expritem=\"''\"/>\n<prompt>never</prompt>\n</block>\n"
                "<block name=\"b2\">\n<prompt>b2</prompt>\n</block>\n</form>\n");
  RunDialogue("start.vxml");
  EXPECT_EQ(HeardTexts(), (Strings{"b2"}));
  std::string log = MainLog();
  EXPECT_EQ(CountOf(log, "form item "), 0);
  EXPECT_EQ(CountOf(log, "ERROR :goto element has an empty target: ''"), 1);
  EXPECT_EQ(CountOf(log, "Collect phase from FIA"), 2);
}

}  // namespace
}  // namespace interpretertest
