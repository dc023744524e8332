// Objects in whole dialogues through the scripted peer: a program written by
// the test, or a data query over the peer link, and the variables replies make.
#include <gtest/gtest.h>

#include "tests/interpreter/executors/InterpreterTestSupport.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FakeProgram.h"
#include "tests/support/ScriptedPeerLink.h"

namespace interpretertest {
namespace {

using Strings = std::vector<std::string>;

struct Reply {
  bool program;        // else a data query
  std::string text;    // the program's reply file (none when empty), or the peer's reply
  std::string object;  // the object's variable as JSON
  std::string list{};  // data query: the count and the list, joined by commas
  Strings console{};   // lines the console shows in this order
  std::string item = "'milk'";  // the expr of the variable the param sends
  std::string sent = "milk";    // that value as the request or the query holds it
};

// A quoted expr keeps its opening quote; digits stand as written.
const char kProgramParams[] = "<param name=\"n\" expr=\"0\"/>\n<param name=\"q\" expr=\"'it'\"/>\n";

class ObjectTest : public InterpreterTest, public ::testing::WithParamInterface<Reply> {};

// The object plays its prompt and writes its params; a program runs through
// the shell with "data" as one more word, and an earlier reply file never
// counts; a data query sends "dataquery" and the query. No name of a reply
// reaches the prototype every object shares.
TEST_P(ObjectTest, TurnsTheReplyIntoTypedVariablesAndRunsNothing) {
  const Reply& row = GetParam();
  testsupport::WriteFile("answer.txt", row.text);
  testsupport::WriteFile("Quorvane/VObjects/obj_temp_to_doc", "stale\t1\n");
  testsupport::WriteProgram("Quorvane/VObjects/answer.sh",
                            "printf '%s|' \"$@\" > seen.txt\ncat Quorvane/VObjects/obj_temp_to_obj "
                            ">> seen.txt\n[ -s answer.txt ] && cp answer.txt "
                            "Quorvane/VObjects/obj_temp_to_doc\nexit 3\n");
  WriteDocument("start.vxml", "<form id=\"f\">\n<var name=\"item\" expr=\"" + row.item +
                                  "\"/>\n<object name=\"q\" classid=\"" +
                                  std::string(row.program ? "Quorvane/VObjects/answer.sh 'a b'"
                                                          : "BUILDIN dataq") +
                                  "\" data=\"-f\">\n<prompt>Looking up.</prompt>\n"
                                  "<param name=\"item\" expr=\"item\"/>\n" +
                                  (row.program ? kProgramParams : "") + "</object>\n</form>\n");
  testsupport::ScriptedPeerLink peer(
      testsupport::PeerScript::Parse("reply dataquery => " + testsupport::Escape(row.text)));
  testsupport::CaptureStdout console;
  RunDialogue("start.vxml", &peer);
  EXPECT_TRUE(InOrder(console.Take(), row.console));
  EXPECT_EQ(Value("JSON.stringify(dialog.q)"), row.object);
  EXPECT_EQ(Value("typeof ({}).polluted + typeof ({}).toString"), "undefinedfunction");
  EXPECT_EQ(interpreter_->StopRequested(), row.text == "End");
  Strings sent = {"Synt\t:text Looking up.\t:bargein false\t:timeout 5"};
  if (row.program) {
    EXPECT_EQ(testsupport::ReadFile("seen.txt"), "a b|-f|item\t" + row.sent + "\nn\t0\nq\t'it\n");
    EXPECT_TRUE(InOrder(MainLog(), {"Object execution returns with 3"}));
  } else {
    sent.insert(sent.end(), {"dataquery", "{\nact query\ncontent -f\nitem " + row.sent + "\n}\n"});
    EXPECT_EQ(Value("[dialog.objvarcount].concat(dialog.objvarlist).join().replace(/,*$/, '')"),
              row.list);
  }
  EXPECT_EQ(peer.Sent(), sent);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ObjectTest,
    ::testing::Values(
        Reply{true, "a\t42\nb\t100\nc\ttrue\nd\tword\ne\t\nnotab\nx=1;y\t5\nz\t042\n",
              R"({"a":42,"b":"100","c":true,"d":"word","e":"","z":42})", "",
              {"VARVALEU>>42.", "VARVALEU>>'100'.", "VARVALEU>>''.", "VARVALEU>>42."}},
        // Only an integer as written is a number; a name part that reaches
        // the shared prototype, or names a member of it, is skipped; a value
        // keeps to its line, its control characters blanks.
        Reply{true,
              "constructor.prototype.polluted\t1\n__proto__.toString\tx\nd\t5-3\n"
              "e\t12-12\nf\t1 1\ng\t -7\nvalueOf\t1\nd.hasOwnProperty\t2\n",
              R"({"d":"5-3","e":"12-12","f":"1 1","g":-7})", "",
              {"The result constructor.prototype.polluted is skipped",
               "The result __proto__.toString is skipped", "VARVALEU>>'5-3'.",
               "The result valueOf is skipped", "The result d.hasOwnProperty is skipped"},
              "'mi\\nlk\\t\\r\\v\\f\\x1c\\x7f\\xe1'", "mi lk      \xe1"},
        Reply{true, "\tit's\n", R"("it's")"}, Reply{true, "", "{}"},
        Reply{false, "\t:a 21\t:b word)\n}\n", R"({"a":21,"b":"word"})", "2,a,b"},
        Reply{false, "\t:a 21\t:b word)\n}", R"({"a":21,"b":"wor"})", "2,a,b"},
        Reply{false, "\t:x=1;y 5\t: 7\t:n -5\t:t true\t:q it's \"x\"",
              R"({"n":-5,"t":true,"q":"it's \"x\""})", "3,n,t,q"},
        Reply{false, "\t:constructor.prototype.polluted 1\t:a 12-12\t:prototype 2",
              R"({"a":"12-12"})", "1,a", {}, "'x\\n}\\n{\\nact delete'", "x } { act delete"},
        Reply{false, "\t:v (\t:e )}", R"({"v":"","e":""})", "2,v,e"},
        // A name every object has would leave the object unfilled for ever.
        Reply{false, "\t:ok 7\t:toString 1", R"({"ok":7})", "1,ok",
              {"The result toString is skipped"}, "'a\\x1db\\x1e'", "a b "},
        Reply{false, "no field", "{}", "0"}, Reply{false, "End", "{}", "0"}));

}  // namespace
}  // namespace interpretertest
