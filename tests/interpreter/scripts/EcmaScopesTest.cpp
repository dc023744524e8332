// The scope layer against the real engine library.
#include "interpreter/document/Element.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/TempDir.h"

using testsupport::ReadFile;

namespace {

const char kLog[] = "Quorvane/ecmalog.txt";
const char kCauseless[] =
    "Causeless invoking FindInScopes function - scope is in variable included.";
const char kRejected[] =
    "WARNING> Scope information maked by FindInScopes REJECTED because the scope is hidden yet!";
const char kUnknown[] = "WARNING: Unknown scope of variable";

// The message texts of a log excerpt ("\nMESSAGE <n> : <text>" each). Raw
// writes and errors stay part of the message before them.
std::vector<std::string> MessagesOf(const std::string& excerpt) {
  static const std::string kMark = "\nMESSAGE ";
  std::vector<std::string> messages;
  std::size_t at = excerpt.find(kMark);
  while (at != std::string::npos) {
    const std::size_t next = excerpt.find(kMark, at + 1);
    const std::size_t text = excerpt.find(" : ", at) + 3;
    messages.push_back(excerpt.substr(text, next == std::string::npos ? next : next - text));
    at = next;
  }
  return messages;
}

// Every test starts with a running layer and fresh session and document
// objects, in its own working directory with the folder "Quorvane".
class ScopesTest : public testsupport::TempDirTest {
 protected:
  ScopesTest() {
    mkdir("Quorvane", 0755);
    scopes_ = std::make_unique<EcmaScopes>();
    scopes_->CreateSessionScopes();
    scopes_->CreateDocumentScopes();
  }

  // Runs a command that must succeed and returns its value.
  std::string Eval(const std::string& script) {
    std::string result;
    EXPECT_EQ(0, scopes_->ExecuteCommand(script, &result, false)) << script;
    return result;
  }

  // The declarations the resolution tests share.
  void Declare() {
    Eval("anonymous.x=1; dialog.y=2; document.z=3; anonymous.w=4; document.w=5;"
         " anonymous.o={p:1}; anonymous.a={b:{c:1}}; dialog.name='n'; application.ap=6;"
         " session.se=7; session.w=8");
  }

  void Mark() { mark_ = ReadFile(kLog).size(); }
  std::string LogSinceMark() { return ReadFile(kLog).substr(mark_); }
  std::vector<std::string> MessagesSinceMark() { return MessagesOf(LogSinceMark()); }
  // The last command run since the mark (each command is followed by its result).
  std::string LastCommand() {
    std::vector<std::string> messages = MessagesSinceMark();
    return messages.size() < 2 ? "" : messages[messages.size() - 2];
  }

  std::unique_ptr<EcmaScopes> scopes_;
  std::size_t mark_ = 0;
};

TEST_F(ScopesTest, EveryCommandLogsItselfAndItsResult) {
  struct Case {
    const char* command;
    bool expand;
    const char* result;
    const char* logged;
  };
  const Case cases[] = {
      {"1+1", false, "2", "1+1"},
      {"var k = 5", false, "", "var k = 5"},
      {"1 == 1", false, "true", "1 == 1"},
      {"0.85", false, "0.85", "0.85"},
      {"new Object()", false, "[object Object]", "new Object()"},
      {"x + 1", true, "2", "anonymous.x + 1"},
      {"x &lt; 2 &amp;&amp; y &gt; 1", true, "true", "anonymous.x < 2 && dialog.y > 1"},
      {"'&lt;&lt;&gt;&gt;&amp;&amp;'", false, "<<>>&&", "'<<>>&&'"},
      {"'&amp;lt;'", false, "&lt;", "'&lt;'"},
      {"x == &quot;1&quot; &amp;&amp; &apos;&#120;&#x79;&apos;", true, "xy",
       "anonymous.x == \"1\" && 'xy'"},
      {"'&#233;&#x10D;&nbsp;&#12354;&'", false, "\xE9\xE8&nbsp;&#12354;&",  // "éč" and what stays
       "'\xE9\xE8&nbsp;&#12354;&'"},
  };
  Declare();
  for (const Case& c : cases) {
    Mark();
    testsupport::CaptureStdout console;
    std::string result = "stale";
    EXPECT_EQ(0, scopes_->ExecuteCommand(c.command, &result, c.expand)) << c.command;
    EXPECT_EQ("", console.Take()) << c.command;
    EXPECT_EQ(c.result, result) << c.command;
    std::vector<std::string> messages = MessagesSinceMark();
    ASSERT_GE(messages.size(), 2u) << c.command;
    EXPECT_EQ(c.logged, messages[messages.size() - 2]) << c.command;
    EXPECT_EQ(c.result, messages.back()) << c.command;
  }
}

TEST_F(ScopesTest, CommandMessagesAreNumberedInTheLog) {
  Mark();
  Eval("1+1");
  Eval("var k = 1");
  EXPECT_EQ("\nMESSAGE 14 : 1+1\nMESSAGE 15 : 2\nMESSAGE 16 : var k = 1\nMESSAGE 17 : ",
            LogSinceMark());
}

TEST_F(ScopesTest, FindInScopesFollowsScopeOrderAndHidesInnerScopes) {
  struct Case {
    const char* name;
    const char* caller;
    const char* scope;
    const char* lastMessage;
  };
  const Case cases[] = {
      {"x", "anonymous", "anonymous", "true"},
      {"x", "dialog", "", kRejected},
      {"x", "document", "", kRejected},
      {"x", "unknown", "anonymous", "true"},
      {"x", "", "anonymous", "true"},
      {"y", "anonymous", "dialog", "true"},
      {"y", "dialog", "dialog", "true"},
      {"y", "document", "", kRejected},
      {"z", "anonymous", "document", "true"},
      {"z", "document", "document", "true"},
      {"w", "anonymous", "anonymous", "true"},  // the inner scope wins
      {"w", "document", "", kRejected},         // ... and is then hidden
      {"ap", "anonymous", "application", "true"},
      {"ap", "document", "application", "true"},  // outer scopes are never hidden
      {"se", "dialog", "session", "true"},
      {"q", "anonymous", "", kUnknown},
      {"o.p", "anonymous", "anonymous", "true"},
      {"o.missing", "anonymous", "anonymous", "true"},  // only the prefix counts
      {"a.b.c", "anonymous", "", kUnknown},             // "a.b" is one property name
      {"it\"s", "anonymous", "", kUnknown},             // a quote cannot break the test
  };
  Declare();
  for (const Case& c : cases) {
    Mark();
    EXPECT_EQ(c.scope, scopes_->FindInScopes(c.name, c.caller)) << c.name << " from " << c.caller;
    ASSERT_FALSE(MessagesSinceMark().empty());
    EXPECT_EQ(c.lastMessage, MessagesSinceMark().back()) << c.name << " from " << c.caller;
  }
}

TEST_F(ScopesTest, FindInScopesTestsEachScopeObjectInTurn) {
  Declare();
  Mark();
  EXPECT_EQ("", scopes_->FindInScopes("q", "anonymous"));
  EXPECT_EQ((std::vector<std::string>{"anonymous.hasOwnProperty(\"q\")", "false",
                                      "dialog.hasOwnProperty(\"q\")", "false",
                                      "document.hasOwnProperty(\"q\")", "false",
                                      "application.hasOwnProperty(\"q\")", "false",
                                      "session.hasOwnProperty(\"q\")", "false", kUnknown}),
            MessagesSinceMark());
  scopes_->ClearApplication();  // without the object its test is left out
  Mark();
  scopes_->FindInScopes("q", "anonymous");
  EXPECT_EQ(std::string::npos, LogSinceMark().find("application"));
}

TEST_F(ScopesTest, NamesHoldingAScopeWordAreNeverResolved) {
  Eval("anonymous.mydialog=1; anonymous.sessionid=2; anonymous.xapplication=3; "
       "anonymous.documents=4");
  for (const char* name : {"mydialog", "sessionid", "xapplication", "documents", "dialog.y"}) {
    Mark();
    testsupport::CaptureStdout console;
    EXPECT_EQ("", scopes_->FindInScopes(name, "anonymous")) << name;
    EXPECT_EQ(std::string(kCauseless) + ">" + name + "\n", console.Take());
    EXPECT_EQ(std::vector<std::string>{kCauseless}, MessagesSinceMark()) << name;
  }
}

TEST_F(ScopesTest, ExpandScopesQualifiesNamesOnly) {
  struct Case {
    const char* expression;
    const char* expanded;
  };
  const Case cases[] = {
      {"", ""},
      {"x + y + z", "anonymous.x + dialog.y + document.z"},
      {"x1 + y", "x1 + dialog.y"},  // x1 is a name of its own, not x
      {"_x + $y + x_ + y$", "_x + $y + x_ + y$"},
      {"dialog.y", "dialog.y"},  // the name after the dot is a property
      {"o.name + name", "anonymous.o.name + dialog.name"},
      {"a.b.c", "anonymous.a.b.c"},
      {"SmResult.city", "SmResult.city"},
      {"x == 'x y'", "anonymous.x == 'x y'"},
      {"x == \"x y\"", "anonymous.x == \"x y\""},
      {"x == 'it\\'s x' + y", "anonymous.x == 'it\\'s x' + dialog.y"},
      {"x == \"say \\\"x\\\"\" + y", "anonymous.x == \"say \\\"x\\\"\" + dialog.y"},
      {"'x' + \"y\" + x", "'x' + \"y\" + anonymous.x"},
      {"x + 'y z", "anonymous.x + 'y z"},  // an unterminated quote runs to the end
      {"x + \"y z", "anonymous.x + \"y z"},
      {"1e5 + x", "1e5 + anonymous.x"},  // numbers are no names
      {"0x1F+y", "0x1F+dialog.y"},
      {"typeof x == 'undefined'", "typeof anonymous.x == 'undefined'"},
      {"x<y&&!z", "anonymous.x<dialog.y&&!document.z"},
      {"f(x,y)", "f(anonymous.x,dialog.y)"},
      {"x", "anonymous.x"},
  };
  Declare();
  for (const Case& c : cases) {
    EXPECT_EQ(c.expanded, scopes_->ExpandScopes(c.expression)) << c.expression;
  }
}

TEST_F(ScopesTest, ExpandScopesLooksUpNeitherPropertiesNorQuotedText) {
  Declare();
  Mark();
  EXPECT_EQ("dialog.y + 'x' + \"x\"", scopes_->ExpandScopes("dialog.y + 'x' + \"x\""));
  EXPECT_EQ((std::vector<std::string>{kCauseless}), MessagesSinceMark());
}

TEST_F(ScopesTest, FillVariableQualifiesTheNameItFinds) {
  struct Case {
    const char* name;
    const char* value;
    const char* scope;
    const char* command;
    const char* check;  // a script and the value it must give
    const char* checked;
  };
  const Case cases[] = {
      {"x", "5", "anonymous", "anonymous.x=5", "anonymous.x", "5"},
      {"y", "x + 1", "dialog", "dialog.y=anonymous.x + 1", "dialog.y", "2"},
      {"dialog.y", "z", "anonymous", "dialog.y=document.z", "dialog.y", "3"},
      {"SmResult.city", "'Brno'", "", "SmResult.city='Brno'", "SmResult.city", "Brno"},
      {"x", "7", "document", "x=7", "x + '/' + anonymous.x", "7/1"},  // hidden: a global
      {"mydialog", "3", "anonymous", "mydialog=3", "mydialog", "3"},
      {"fresh", "y", "anonymous", "fresh=dialog.y", "fresh", "2"},
  };
  for (const Case& c : cases) {
    Eval("anonymous.x=1; dialog.y=2; document.z=3");
    Mark();
    scopes_->FillVariable(c.name, c.value, c.scope);
    EXPECT_EQ(c.command, LastCommand()) << c.name;
    EXPECT_EQ(std::string::npos, LogSinceMark().find("ERROR")) << c.name;
    EXPECT_EQ(c.checked, Eval(c.check)) << c.name;
  }
}

TEST_F(ScopesTest, FillVariableNoScopeAlwaysAssignsAString) {
  struct Case {
    const char* name;
    const char* value;
    const char* scope;
    const char* command;
    const char* check;
  };
  const Case cases[] = {
      {"x", "5", "anonymous", "anonymous.x='5'", "anonymous.x"},
      {"x", "", "anonymous", "anonymous.x=''", "anonymous.x"},
      {"y", "v", "", "dialog.y='v'", "dialog.y"},
      {"x", "v", "", "anonymous.x='v'", "anonymous.x"},
      {"q", "v", "", "q='v'", "q"},
      {"g", "v", "NOSCOPE", "g='v'", "g"},
      {"dialog.y", "v", "document", "dialog.y='v'", "dialog.y"},
      {"SmResult.u", "v", "anonymous", "SmResult.u='v'", "SmResult.u"},
      {"t", "v", "document", "document.t='v'", "document.t"},
  };
  for (const Case& c : cases) {
    Eval("anonymous.x=1; dialog.y=2");
    Mark();
    scopes_->FillVariableNoScope(c.name, c.value, c.scope);
    EXPECT_EQ(c.command, LastCommand()) << c.name;
    EXPECT_EQ(c.value, Eval(c.check)) << c.name;
    EXPECT_EQ("string", Eval(std::string("typeof ") + c.check)) << c.name;
  }
}

TEST_F(ScopesTest, FillVariableQuotedAssignsAnExpression) {
  scopes_->FillVariableQuoted("anonymous.x", "5");
  EXPECT_EQ("anonymous.x=5", MessagesOf(ReadFile(kLog)).end()[-2]);
  EXPECT_EQ("number", Eval("typeof anonymous.x"));
  scopes_->FillVariableQuoted("anonymous.x", "");
  EXPECT_EQ("anonymous.x=''", MessagesOf(ReadFile(kLog)).end()[-2]);
  EXPECT_EQ("string", Eval("typeof anonymous.x"));
  EXPECT_EQ("", Eval("anonymous.x"));
}

TEST_F(ScopesTest, QuotesInStringValuesAreKeptAndNeverRun) {
  const std::string values[] = {
      "O'Brien",
      "say \"hi\"",
      "C:\\temp\\new",
      "line one\r\nline two",
      "'+quit(7)+'",
      "\"; quit(7); \"",
      "\\'; quit(7); //",
      "\x9E" "ena \xE8" "aj",  // "žena čaj"
      "a &gt; b &amp;&lt;",  // entities stay as they are in a value
  };
  Eval("anonymous.o={}");
  for (const std::string& value : values) {
    testsupport::CaptureStdout console;
    scopes_->FillVariableNoScope("v", value, "anonymous");
    scopes_->AssignString("anonymous", "o", "p", value);
    scopes_->FillVariableNoScope("q", value, "");
    EXPECT_EQ("", console.Take());
    EXPECT_EQ(value, scopes_->GetValue("v"));
    EXPECT_EQ(value, Eval("anonymous.o.p"));
    EXPECT_EQ(value, Eval("q"));
  }
  scopes_->AssignString("anonymous", "o", "p", "it's");
  EXPECT_EQ("anonymous.o.p='it\\'s'", MessagesOf(ReadFile(kLog)).end()[-2]);
}

TEST_F(ScopesTest, LongValuesAreCutAtTheBufferSizeLessOne) {
  Eval("anonymous.s='ab'.repeat(10000)");  // 20000 characters
  std::string pairs;
  for (int i = 0; i < 5000; ++i) pairs += "ab";
  const std::string value = scopes_->GetValue("s");
  EXPECT_EQ(pairs.substr(0, 9999), value);
  // The log holds the cut value and the cut (no main log here: the script log).
  EXPECT_EQ(value + "\nERROR :Value cut to 9999 characters, the most its result buffer holds: "
                    "anonymous.s\n",
            MessagesSinceMark().back());

  std::string result;
  EXPECT_EQ(0, scopes_->ExecuteCommand("anonymous.s", &result, false, 50));
  EXPECT_EQ("ababababababababababababababababababababababababa", result);
  EXPECT_EQ(0, scopes_->ExecuteCommand("anonymous.s", &result, false, 1));
  EXPECT_EQ("", result);
  EXPECT_EQ(0, scopes_->ExecuteCommand("anonymous.s", &result, false, 0));
  EXPECT_EQ("", result);

  Eval("anonymous.t='x'.repeat(9999)");
  Mark();
  EXPECT_EQ(std::string(9999, 'x'), scopes_->GetValue("t"));
  EXPECT_EQ(std::string::npos, LogSinceMark().find("cut"));  // a value that fits
}

TEST_F(ScopesTest, LongCommandsRunWhole) {
  const std::string text(12000, 'b');
  scopes_->FillVariableNoScope("s", text, "anonymous");
  EXPECT_EQ("12000", Eval("anonymous.s.length"));
  Eval("anonymous.o={}");
  scopes_->AssignString("anonymous", "o", "p", text);
  EXPECT_EQ("12000", Eval("anonymous.o.p.length"));
  std::string sum = "0";
  for (int i = 0; i < 1500; ++i) sum += "+x";  // 18001 characters once expanded
  Eval("anonymous.x=1");
  std::string result;
  EXPECT_EQ(0, scopes_->ExecuteCommand(sum, &result, true));
  EXPECT_EQ("1500", result);
}

TEST_F(ScopesTest, UndefinedReadsEmptyAndTheStringUndefinedReadsUndefined) {
  Eval("anonymous.u=undefined");
  scopes_->FillVariableNoScope("v", "undefined", "anonymous");
  EXPECT_EQ("", scopes_->GetValue("u"));
  EXPECT_EQ("undefined", scopes_->GetValue("v"));
  EXPECT_EQ("undefined", scopes_->TypeOfAnyScope("", "u"));
  EXPECT_EQ("string", scopes_->TypeOfAnyScope("", "v"));
  Mark();
  scopes_->GetValue("u");
  EXPECT_EQ("", MessagesSinceMark().back());  // an undefined value logs an empty result
}

// A name no scope holds is a global a script made, or nothing: then only
// the "typeof" of its first part runs, never the name itself.
TEST_F(ScopesTest, GetValueOfAnUnresolvedNameReadsAGlobalOrGivesUp) {
  Mark();
  EXPECT_EQ("", scopes_->GetValue("q.r"));
  const std::string log = LogSinceMark();
  EXPECT_EQ(std::string("\nMESSAGE 24 : ") + kUnknown +
                "\nMESSAGE 25 : typeof q\nMESSAGE 26 : undefined"
                "\nERROR :Error fill variable\nq.r\tundefined scope",
            log.substr(log.find("\nMESSAGE 24 : ")));
  Eval("var total=42; var cart={n:5}");
  EXPECT_EQ("42", scopes_->GetValue("total"));
  EXPECT_EQ("5", scopes_->GetValue("cart.n"));
}

TEST_F(ScopesTest, GetValueReadsTheQualifiedName) {
  Declare();
  EXPECT_EQ("1", scopes_->GetValue("x"));
  EXPECT_EQ("2", scopes_->GetValue("y"));
  EXPECT_EQ("2", scopes_->GetValue("dialog.y"));
  EXPECT_EQ("1", scopes_->GetValue("o.p"));
  Eval("SmResult.city='Brno'");
  EXPECT_EQ("Brno", scopes_->GetValue("SmResult.city"));
  EXPECT_EQ("[object Object]", scopes_->GetValue("o"));
}

TEST_F(ScopesTest, TypeOfAnyScopeNeverRejects) {
  Declare();
  struct Case {
    const char* name;
    const char* type;
    const char* command;
  };
  const Case cases[] = {
      {"x", "number", "typeof anonymous.x"},
      {"name", "string", "typeof dialog.name"},
      {"o", "object", "typeof anonymous.o"},
      {"q", "undefined", "typeof q"},
      {"dialog", "object", "typeof dialog"},
  };
  for (const Case& c : cases) {
    Mark();
    EXPECT_EQ(c.type, scopes_->TypeOfAnyScope("document", c.name)) << c.name;
    EXPECT_EQ(c.command, LastCommand()) << c.name;
  }
}

TEST_F(ScopesTest, ItemObjectsAndTheirBindings) {
  Element* field = NewElement(Element("field", "dialog", "<field name=\"city\">",
                                      {Attribute("name", "city")}));
  ItemVariables items(*scopes_);
  Mark();
  items.CreateItemObject(field);
  EXPECT_EQ((std::vector<std::string>{"dialog.city=new Object()", "[object Object]"}), MessagesSinceMark());
  ASSERT_TRUE(field->binding.has_value());
  EXPECT_EQ("city", field->binding->variableName);
  EXPECT_EQ("dialog", field->binding->scopeName);
  EXPECT_EQ(field, field->binding->element);
  EXPECT_EQ("object", scopes_->TypeOfAnyScope("", "city"));

  items.SetVariable(field, "'Praha'");
  EXPECT_EQ("dialog.city='Praha'", MessagesOf(ReadFile(kLog)).end()[-2]);
  EXPECT_EQ("Praha", items.GetItemValue(field));
  EXPECT_EQ("dialog.city", MessagesOf(ReadFile(kLog)).end()[-2]);

  field->binding.emplace("old", "anonymous", field);
  items.CreateItemObject(field);  // replaces the earlier binding
  EXPECT_EQ("city", field->binding->variableName);
  EXPECT_EQ("dialog", field->binding->scopeName);
  EXPECT_EQ("[object Object]", items.GetItemValue(field));
}

TEST_F(ScopesTest, UnnamedMenusCountForTheWholeRun) {
  auto menu = [](const char* id) {
    std::vector<Attribute> attributes;
    if (id) attributes.emplace_back("id", id);
    return NewElement(Element("menu", "document", "<menu>", attributes));
  };
  struct Step {
    const char* id;
    bool newDocument;
    const char* variable;
  };
  const Step steps[] = {
      {nullptr, false, "menu0"}, {"main", false, "main"}, {"", true, "menu1"},
      {nullptr, true, "menu2"},
  };
  ItemVariables items(*scopes_);
  for (const Step& step : steps) {
    if (step.newDocument) {
      scopes_->ClearDocument();
      scopes_->CreateDocumentScopes();
    }
    Element* element = menu(step.id);
    Mark();
    items.CreateItemObject(element);
    EXPECT_EQ(std::string("document.") + step.variable + "=new Object()", LastCommand());
    ASSERT_TRUE(element->binding.has_value());
    EXPECT_EQ(step.variable, element->binding->variableName);
    EXPECT_EQ("document", element->binding->scopeName);
  }
}

TEST_F(ScopesTest, AnElementWithoutBindingUsesItsNameAttribute) {
  Element* transfer = NewElement(Element("transfer", "dialog", "<transfer name=\"call\">",
                                         {Attribute("name", "call")}));
  const std::string warning =
      "WARNING: element <transfer> has no variable binding, its name attribute is used: call";
  ItemVariables items(*scopes_);
  Mark();
  items.SetVariable(transfer, "3");
  EXPECT_EQ((std::vector<std::string>{warning, "dialog.call=3", "3"}), MessagesSinceMark());
  Mark();
  EXPECT_EQ("3", items.GetItemValue(transfer));
  EXPECT_EQ((std::vector<std::string>{warning, "dialog.call", "3"}), MessagesSinceMark());
  EXPECT_FALSE(transfer->binding.has_value());
}

TEST_F(ScopesTest, ScopeObjectsAreSavedAndRestored) {
  Eval("anonymous.x=1");
  Mark();
  scopes_->CreateObjectVariable("anonymous", "SBanonymous");
  EXPECT_EQ((std::vector<std::string>{"var SBanonymous= new Object()", "",
                                      "SBanonymous=anonymous", "[object Object]",
                                      "var anonymous=new Object()", ""}),
            MessagesSinceMark());
  EXPECT_EQ("undefined", Eval("typeof anonymous.x"));
  EXPECT_EQ("1", Eval("SBanonymous.x"));
  Mark();
  scopes_->Assign("anonymous", "SBanonymous");
  EXPECT_EQ("anonymous = SBanonymous", LastCommand());
  EXPECT_EQ("1", scopes_->GetValue("x"));
}

TEST_F(ScopesTest, CreateVariableWithValue) {
  struct Case {
    const char* expression;
    const char* command;
    const char* value;
  };
  const Case cases[] = {
      {"", "dialog.v=''", ""},
      {"1 +\n2", "dialog.v=1 + 2", "3"},
      {"'a'", "dialog.v='a'", "a"},
      {"z &gt; 1", "dialog.v=document.z > 1", "true"},  // decoded and expanded
  };
  Eval("document.z=3");
  for (const Case& c : cases) {
    Mark();
    scopes_->CreateVariableWithValue("v", c.expression, "dialog");
    EXPECT_EQ(c.command, LastCommand());
    EXPECT_EQ(c.value, Eval("dialog.v"));
  }
}

TEST_F(ScopesTest, ClearingAndCreatingScopeObjects) {
  Eval("anonymous.x=1; dialog.y=2; session.s=3; application.a=4");
  Mark();
  scopes_->ClearDocument();
  EXPECT_EQ((std::vector<std::string>{"document=undefined;", "", "dialog=undefined;", "",
                                      "anonymous=undefined;", "", "SmResult=undefined;", ""}),
            MessagesSinceMark());
  EXPECT_EQ("undefinedundefinedundefinedundefined",
            Eval("typeof document + typeof dialog + typeof anonymous + typeof SmResult"));
  Mark();
  scopes_->CreateDocumentScopes();
  EXPECT_EQ((std::vector<std::string>{"var document=new Object()", "", "var dialog=new Object()",
                                      "", "var anonymous=new Object()", "",
                                      "var SmResult=new Object()", ""}),
            MessagesSinceMark());
  EXPECT_EQ("undefined", Eval("typeof anonymous.x"));
  EXPECT_EQ("3", Eval("session.s"));
  Mark();
  scopes_->ClearApplication();
  EXPECT_EQ((std::vector<std::string>{"application=undefined;", ""}), MessagesSinceMark());
  EXPECT_EQ("undefined", Eval("typeof application"));
  scopes_->CreateSessionScopes();
  EXPECT_EQ("undefined", Eval("typeof session.s"));  // created again: a new empty object
}

class ScopesLifeTest : public testsupport::TempDirTest {
 protected:
  ScopesLifeTest() {
    setenv("TZ", "UTC", 1);
    tzset();
    platform::SetFixedClock(1700000000);  // 2023-11-14 22:13:20 UTC
    mkdir("Quorvane", 0755);
  }
  ~ScopesLifeTest() override { platform::ClearFixedClock(); }
};

TEST_F(ScopesLifeTest, TheScriptLogOfAWholeRun) {
  testsupport::WriteFile(kLog, "old run");
  {
    EcmaScopes scopes;
    scopes.CreateScope("x");
  }
  const std::string rule53(53, '_');
  EXPECT_EQ("START SESSION 22:13:20\t\t\tDATE 11/14/23\n" + std::string(50, '_') + "\n" +
                "\nMESSAGE 0 : Start of ECMAScript engine\nMESSAGE 1 : " + rule53 +
                "\nMESSAGE 2 : var x=new Object()\nMESSAGE 3 : \nMESSAGE 4 : " + rule53 +
                "\nMESSAGE 5 : Destroy of ECMAScript engine" + std::string(50, '_') +
                "\nEND OF SESSION 22:13:20",
            ReadFile(kLog));
}

TEST_F(ScopesLifeTest, ASecondLayerStartsAFreshEngine) {
  {
    EcmaScopes scopes;
    scopes.CreateDocumentScopes();
    scopes.FillVariableNoScope("x", "kept?", "anonymous");
  }
  EcmaScopes scopes;
  std::string result;
  EXPECT_EQ(0, scopes.ExecuteCommand("typeof anonymous", &result, false));
  EXPECT_EQ("undefined", result);
}

// Each command's status is its own: the command after a failure is neither
// failed nor reported.
TEST_F(ScopesTest, AFailedCommandLeavesTheNextOneAlone) {
  testsupport::CaptureStdout console;
  testing::internal::CaptureStderr();  // the engine's own report
  EXPECT_EQ(3, scopes_->ExecuteCommand("x &lt;= ;", nullptr, true));
  EXPECT_EQ("2", Eval("1+1"));
  testing::internal::GetCapturedStderr();
  EXPECT_EQ("ERROR Execute ECMAScript command >>x <= ;\n", console.Take());
}

}  // namespace
