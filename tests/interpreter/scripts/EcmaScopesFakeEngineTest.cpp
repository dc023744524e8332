// The scope layer over a scripted engine: the result buffer size of every
// command, and failures with a chosen status.
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interpreter/document/Element.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FakeScriptEngine.h"
#include "tests/support/TempDir.h"

using testsupport::FakeScriptEngine;
using testsupport::FakeScriptRecord;
using testsupport::ReadFile;
using testsupport::ScriptCall;

namespace {

const char kLog[] = "Quorvane/ecmalog.txt";

class FakeEngineTest : public testsupport::TempDirTest {
 protected:
  FakeEngineTest() {
    mkdir("Quorvane", 0755);
    scopes_ = std::make_unique<EcmaScopes>(std::make_unique<FakeScriptEngine>(record_));
  }

  // The calls made since the last call of Calls().
  std::vector<ScriptCall> Calls() {
    std::vector<ScriptCall> calls(record_->calls.begin() + seen_, record_->calls.end());
    seen_ = record_->calls.size();
    return calls;
  }

  std::shared_ptr<FakeScriptRecord> record_ = std::make_shared<FakeScriptRecord>();
  std::unique_ptr<EcmaScopes> scopes_;
  std::size_t seen_ = 0;
};

// The tests of a name not found once the session object exists and the
// application object has been cleared (the first and third cases below).
std::vector<ScriptCall> PropertyTests(const std::string& name) {
  return {{"anonymous.hasOwnProperty(\"" + name + "\")", 50},
          {"dialog.hasOwnProperty(\"" + name + "\")", 50},
          {"document.hasOwnProperty(\"" + name + "\")", 50},
          {"session.hasOwnProperty(\"" + name + "\")", 50}};
}

std::vector<ScriptCall> Join(std::vector<ScriptCall> first, const std::vector<ScriptCall>& more) {
  first.insert(first.end(), more.begin(), more.end());
  return first;
}

TEST_F(FakeEngineTest, TheLayerStartsAndStopsItsEngine) {
  EXPECT_EQ(1, record_->starts);
  EXPECT_EQ(0, record_->stops);
  scopes_.reset();
  EXPECT_EQ(1, record_->starts);
  EXPECT_EQ(1, record_->stops);
}

TEST_F(FakeEngineTest, EveryOperationRunsItsCommandsWithItsBufferSize) {
  struct Case {
    const char* operation;
    std::function<void(EcmaScopes&)> run;
    std::vector<ScriptCall> calls;
  };
  Element* field =
      NewElement(Element("field", "dialog", "<field name=\"f\">", {Attribute("name", "f")}));
  const Case cases[] = {
      {"CreateSessionScopes", [](EcmaScopes& s) { s.CreateSessionScopes(); },
       {{"var session=new Object()", 10000}, {"var application=new Object()", 10000}}},
      {"CreateDocumentScopes", [](EcmaScopes& s) { s.CreateDocumentScopes(); },
       {{"var document=new Object()", 10000},
        {"var dialog=new Object()", 10000},
        {"var anonymous=new Object()", 10000},
        {"var SmResult=new Object()", 10000}}},
      {"ClearApplication", [](EcmaScopes& s) { s.ClearApplication(); },
       {{"application=undefined;", 10000}}},
      {"ClearDocument", [](EcmaScopes& s) { s.ClearDocument(); },
       {{"document=undefined;", 256},
        {"dialog=undefined;", 256},
        {"anonymous=undefined;", 256},
        {"SmResult=undefined;", 256}}},
      {"CreateScope", [](EcmaScopes& s) { s.CreateScope("SBx"); },
       {{"var SBx=new Object()", 10000}}},
      {"ExecuteCommand", [](EcmaScopes& s) { s.ExecuteCommand("1", nullptr, false, 77); },
       {{"1", 77}}},
      {"ExecuteCommand default", [](EcmaScopes& s) { s.ExecuteCommand("1", nullptr, false); },
       {{"1", 10000}}},
      {"HasOwnProperty", [](EcmaScopes& s) { s.HasOwnProperty("n", "dialog"); },
       {{"dialog.hasOwnProperty(\"n\")", 50}}},
      {"Assign", [](EcmaScopes& s) { s.Assign("anonymous", "SBanonymous"); },
       {{"anonymous = SBanonymous", 256}}},
      {"CreateObjectVariable",
       [](EcmaScopes& s) { s.CreateObjectVariable("dialog", "SBdialog"); },
       {{"var SBdialog= new Object()", 256},
        {"SBdialog=dialog", 256},
        {"var dialog=new Object()", 10000}}},
      {"CreateVariableWithValue",
       [](EcmaScopes& s) { s.CreateVariableWithValue("v", "1", "dialog"); },
       {{"dialog.v=1", 10000}}},
      {"SetVariable", [field](EcmaScopes& s) { ItemVariables(s).SetVariable(field, "2"); },
       {{"dialog.f=2", 10000}}},
      {"FillVariable", [](EcmaScopes& s) { s.FillVariable("q", "1", "anonymous"); },
       Join(PropertyTests("q"), {{"q=1", 10000}})},
      {"FillVariable qualified", [](EcmaScopes& s) { s.FillVariable("dialog.q", "1", ""); },
       {{"dialog.q=1", 10000}}},
      {"FillVariableQuoted", [](EcmaScopes& s) { s.FillVariableQuoted("dialog.q", "1"); },
       {{"dialog.q=1", 10000}}},
      {"FillVariableNoScope", [](EcmaScopes& s) { s.FillVariableNoScope("q", "1", ""); },
       Join(PropertyTests("q"), {{"q='1'", 10000}})},
      {"FillVariableNoScope scoped",
       [](EcmaScopes& s) { s.FillVariableNoScope("q", "1", "dialog"); },
       {{"dialog.q='1'", 10000}}},
      {"AssignString", [](EcmaScopes& s) { s.AssignString("anonymous", "o", "p", "t"); },
       {{"anonymous.o.p='t'", 1000}}},
      {"CreateItemObject", [field](EcmaScopes& s) { ItemVariables(s).CreateItemObject(field); },
       {{"dialog.f=new Object()", 10000}}},
      {"GetItemValue", [field](EcmaScopes& s) { ItemVariables(s).GetItemValue(field); },
       {{"dialog.f", 10000}}},
      {"GetValue", [](EcmaScopes& s) { s.GetValue("dialog.q"); }, {{"dialog.q", 10000}}},
      {"GetValue unresolved", [](EcmaScopes& s) { s.GetValue("q"); },
       Join(PropertyTests("q"), {{"typeof q", 50}, {"q", 10000}})},
      {"TypeOfAnyScope", [](EcmaScopes& s) { s.TypeOfAnyScope("dialog", "q"); },
       Join(PropertyTests("q"), {{"typeof q", 50}})},
  };
  for (const Case& c : cases) {
    Calls();
    c.run(*scopes_);
    EXPECT_EQ(c.calls, Calls()) << c.operation;
  }
}

TEST_F(FakeEngineTest, OnlyTheTextTrueMeansAPropertyIsOwned) {
  struct Case {
    const char* answer;
    bool owned;
  };
  const Case cases[] = {{"true", true}, {"false", false}, {"", false}, {"true ", false},
                        {"TRUE", false}, {"1", false}};
  for (const Case& c : cases) {
    record_->answers["dialog.hasOwnProperty(\"n\")"] = {0, c.answer};
    EXPECT_EQ(c.owned, scopes_->HasOwnProperty("n", "dialog")) << c.answer;
  }
}

TEST_F(FakeEngineTest, AFailedCommandIsReportedWithTheCommandRun) {
  record_->answers["anonymous.hasOwnProperty(\"x\")"] = {0, "true"};
  record_->answers["anonymous.x < 1 && 'a&b'"] = {3, "ignored"};
  record_->answers["1 < 2"] = {3, ""};
  struct Case {
    const char* command;
    bool expand;
    const char* console;
    const char* logTail;
  };
  const Case cases[] = {
      {"x &lt; 1 &amp;&amp; 'a&amp;b'", true,
       "ERROR Execute ECMAScript command >>x < 1 && 'a&b'\n",
       "\nMESSAGE 2 : anonymous.hasOwnProperty(\"x\")\nMESSAGE 3 : true"
       "\nMESSAGE 4 : anonymous.x < 1 && 'a&b'\nMESSAGE 5 : ignored"
       "\nERROR :ERROR Execute ECMAScript command!\nanonymous.x < 1 && 'a&b'"},
      {"1 &lt; 2", false, "ERROR Execute ECMAScript command >>1 < 2\n",
       "\nMESSAGE 6 : 1 < 2\nMESSAGE 7 : \nERROR :ERROR Execute ECMAScript command!\n1 < 2"},
  };
  for (const Case& c : cases) {
    const std::size_t mark = ReadFile(kLog).size();
    testsupport::CaptureStdout console;
    std::string result;
    EXPECT_EQ(3, scopes_->ExecuteCommand(c.command, &result, c.expand)) << c.command;
    EXPECT_EQ(c.console, console.Take());
    EXPECT_EQ(c.logTail, ReadFile(kLog).substr(mark)) << c.command;
  }
}

TEST_F(FakeEngineTest, AFailedUnqualifiedAssignmentNamesTheVariable) {
  record_->otherwise = {3, ""};
  const std::string fillError = "\nERROR :Error fill variable\nq\tundefined scope";
  struct Case {
    const char* operation;
    std::function<void(EcmaScopes&)> run;
    bool fillError;
  };
  const Case cases[] = {
      {"FillVariable", [](EcmaScopes& s) { s.FillVariable("q", "1", "anonymous"); }, true},
      {"FillVariableNoScope", [](EcmaScopes& s) { s.FillVariableNoScope("q", "1", ""); }, true},
      {"FillVariable qualified", [](EcmaScopes& s) { s.FillVariable("dialog.q", "1", ""); },
       false},
      {"FillVariableNoScope scoped",
       [](EcmaScopes& s) { s.FillVariableNoScope("q", "1", "dialog"); }, false},
  };
  for (const Case& c : cases) {
    testsupport::CaptureStdout console;
    c.run(*scopes_);
    console.Take();
    const std::string log = ReadFile(kLog);
    const bool endsWithFillError =
        log.size() >= fillError.size() &&
        log.compare(log.size() - fillError.size(), fillError.size(), fillError) == 0;
    EXPECT_EQ(c.fillError, endsWithFillError) << c.operation;
  }
}

}  // namespace
