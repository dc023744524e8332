#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "speech_resources/BnfConverter.h"
#include "speech_resources/GrammarManager.h"
#include "speech_resources/InternalGrammars.h"
#include "tests/speech_resources/GrammarTestTrees.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FakePeerLink.h"
#include "tests/support/FakeScriptEngine.h"
#include "tests/support/TempDir.h"

namespace {

using grammartest::Add;
using grammartest::Make;
using testsupport::FileExists;
using testsupport::ReadFile;
using testsupport::WriteFile;

const char kDictionaries[] = "lang_resources\\Dictionaries\\";
const char kTemp[] = "lang_resources/grammars/temp/";

const char kCitySrgs[] =
    "<?xml version=\"1.0\"?>\n"
    "<grammar xmlns=\"http://www.w3.org/2001/06/grammar\" version=\"1.0\" root=\"city\">\n"
    "<rule id=\"city\">\n"
    "<one-of>\n"
    "<item>Bratislava</item>\n"
    "<item>Kosice</item>\n"
    "</one-of>\n"
    "</rule>\n"
    "</grammar>\n";
const char kCityBnf[] = "$city = (Bratislava |Kosice );\n\n($city)\n";

// An inline SRGS grammar of the answers yes and no.
const char kInlineYesNo[] =
    "<grammar type=\"application/grammar+xml\" root=\"cmd\">\n"
    "<rule id=\"cmd\">\n"
    "<one-of>\n"
    "<item>yes</item>\n"
    "<item>no</item>\n"
    "</one-of>\n"
    "</rule>\n"
    "</grammar>\n";
const char kYesNoBnf[] = "$cmd = (yes |no );\n\n($cmd)\n";

std::string ListGrammar(const std::string& src) {
  return "<grammar src=\"" + src + "\" type=\"application/grammar+list\"/>\n";
}

class GrammarManagerTest : public testsupport::TempDirTest {
 protected:
  // The grammars of a VoiceXML document whose root holds `body`.
  XmlParser& Parse(const std::string& body, const std::string& rootAttributes = "") {
    const std::string file = "doc" + std::to_string(documents_.size()) + ".vxml";
    WriteFile(file, "<?xml version=\"1.0\"?>\n<vxml version=\"2.1\"" + rootAttributes + ">\n" +
                        body + "</vxml>\n");
    documents_.push_back(std::make_unique<VxmlDocument>(file, &parseLog_));
    parsers_.push_back(std::make_unique<XmlParser>(&documents_.back()->input, &parseLog_));
    parsers_.back()->ParseFile(*documents_.back());
    return *parsers_.back();
  }
  // Parses the body and registers its grammars.
  void Load(const std::string& body, const std::string& rootAttributes = "") {
    manager_.LoadGrammarList(Parse(body, rootAttributes));
  }
  Element* Root() { return documents_.back()->Root(); }

  // The n-th element (document order) of that tag under the last root.
  Element* Find(const std::string& tag, int n = 0) { return Find(Root(), tag, n); }
  static Element* Find(Element* from, const std::string& tag, int n) {
    return Search(from, tag, n);
  }
  static Element* Search(Element* from, const std::string& tag, int& n) {
    for (Element* child : from->children) {
      if (child->tagName == tag && n-- == 0) return child;
      if (Element* found = Search(child, tag, n)) return found;
    }
    return nullptr;
  }

  const std::vector<std::unique_ptr<GrammarEntry>>& Entries() { return manager_.Entries(); }
  GrammarEntry& Entry(std::size_t index) { return *manager_.Entries().at(index); }

  // The main log after its header.
  std::string MainLog() {
    const std::string all = ReadFile("main.log");
    return all.substr(all.find(std::string(50, '_') + "\n") + 51);
  }
  // The "AddGram" messages sent.
  std::vector<std::string> AddGrams() {
    std::vector<std::string> sent;
    for (const std::string& message : peer_.Sent()) {
      if (message.rfind("AddGram\t", 0) == 0) sent.push_back(message);
    }
    return sent;
  }

  std::shared_ptr<testsupport::FakeScriptRecord> script_ =
      std::make_shared<testsupport::FakeScriptRecord>();
  EcmaScopes scopes_{std::make_unique<testsupport::FakeScriptEngine>(script_)};
  testsupport::FakePeerLink peer_;
  SessionLog parseLog_{"parse.log"};
  SessionLog mainLog_{"main.log"};
  GrammarManager manager_{&mainLog_, &scopes_, peer_};
  std::vector<std::unique_ptr<VxmlDocument>> documents_;
  std::vector<std::unique_ptr<XmlParser>> parsers_;
};

// --- Registration ----------------------------------------------------------

struct ScopeCase {
  const char* what;
  std::string body;
  std::string rootAttributes;
  std::string scopeClass;
  std::string itemName;
  std::string holderTag;
};

class ScopeClassTest : public GrammarManagerTest,
                       public ::testing::WithParamInterface<ScopeCase> {};

TEST_P(ScopeClassTest, ParentDecidesScopeClassAndIdentity) {
  const ScopeCase& row = GetParam();
  Load(row.body, row.rootAttributes);
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entry(0).scopeClass, row.scopeClass);
  EXPECT_EQ(Entry(0).itemName, row.itemName);
  ASSERT_NE(Entry(0).holder, nullptr);
  EXPECT_EQ(Entry(0).holder->tagName, row.holderTag);
  // The identity is bound to the element that holds the grammar.
  ASSERT_TRUE(Entry(0).holder->binding.has_value());
  EXPECT_EQ(Entry(0).holder->binding->variableName, row.itemName);
  EXPECT_EQ(Entry(0).holder->binding->element, Entry(0).holder);
}

const std::string kG = ListGrammar("g.list");
INSTANTIATE_TEST_SUITE_P(
    Table, ScopeClassTest,
    ::testing::Values(
        ScopeCase{"menu", "<menu id=\"m\">\n" + kG + "</menu>\n", "", "dialog", "menu0", "menu"},
        ScopeCase{"menu_root_scope", "<menu id=\"m\">\n" + kG + "</menu>\n",
                  " scope=\"document-ard\"", "document-ard", "menu0", "menu"},
        ScopeCase{"field", "<form>\n<field name=\"city\">\n" + kG + "</field>\n</form>\n", "",
                  "unknown", "city", "field"},
        ScopeCase{"form_grammar_scope",
                  "<form id=\"f\" scope=\"dialog\">\n<grammar src=\"g.list\" "
                  "type=\"application/grammar+list\" scope=\"document\"/>\n</form>\n",
                  "", "document", "form0", "form"},
        ScopeCase{"form_own_scope", "<form id=\"f\" scope=\"document\">\n" + kG + "</form>\n", "",
                  "document", "form0", "form"},
        ScopeCase{"form_no_scope", "<form id=\"f\">\n" + kG + "</form>\n", "", "dialog", "form0",
                  "form"},
        ScopeCase{"link_in_field",
                  "<form>\n<field name=\"f\">\n<link next=\"#x\">\n" + kG +
                      "</link>\n</field>\n"
                      "</form>\n",
                  "", "unknown", "link0", "link"},
        ScopeCase{"link_in_initial",
                  "<form>\n<initial name=\"i\">\n<link next=\"#x\">\n" + kG +
                      "</link>\n"
                      "</initial>\n</form>\n",
                  "", "unknown", "link0", "link"},
        ScopeCase{"link_in_object",
                  "<form>\n<object name=\"o\">\n<link next=\"#x\">\n" + kG +
                      "</link>\n"
                      "</object>\n</form>\n",
                  "", "unknown", "link0", "link"},
        ScopeCase{"link_in_form", "<form>\n<link next=\"#x\">\n" + kG + "</link>\n</form>\n", "",
                  "dialog", "link0", "link"},
        ScopeCase{"link_in_vxml", "<link next=\"#x\">\n" + kG + "</link>\n", "", "document",
                  "link0", "link"},
        ScopeCase{"link_in_menu",
                  "<menu id=\"m\">\n<link next=\"#x\">\n" + kG +
                      "</link>\n"
                      "</menu>\n",
                  "", "", "link0", "link"},
        ScopeCase{"option",
                  "<form>\n<field name=\"f\">\n<option value=\"a\">\n" + kG +
                      "</option>\n</field>\n</form>\n",
                  "", "unknown", "option0", "option"},
        ScopeCase{"record", "<form>\n<record name=\"r\">\n" + kG + "</record>\n</form>\n", "",
                  "unknown", "record0", "record"},
        ScopeCase{"transfer", "<form>\n<transfer name=\"t\">\n" + kG + "</transfer>\n</form>\n", "",
                  "unknown", "transfer0", "transfer"},
        ScopeCase{"vxml", kG, "", "", "vxml0", "vxml"},
        ScopeCase{"choice", "<menu id=\"m\">\n<choice next=\"#a\">\n" + kG + "</choice>\n</menu>\n",
                  "", "", "choice0", "choice"},
        ScopeCase{"initial", "<form>\n<initial name=\"i\">\n" + kG + "</initial>\n</form>\n", "",
                  "", "initial0", "initial"}),
    [](const ::testing::TestParamInfo<ScopeCase>& info) { return std::string(info.param.what); });

struct AdderCase {
  const char* what;
  std::string type;
  std::string src;
  std::string sourceFormat;  // "" = not registered
  std::string recogniserType;
  std::string recogniserUri;
  std::string dictionaryPath;
  bool hasTree;
};

class AdderTest : public GrammarManagerTest, public ::testing::WithParamInterface<AdderCase> {};

TEST_P(AdderTest, TypeChoosesTheAdder) {
  const AdderCase& row = GetParam();
  std::filesystem::create_directory("grammars");
  WriteFile("grammars/city.grxml", kCitySrgs);
  Load("<form>\n<field name=\"city\">\n<grammar src=\"" + row.src + "\" type=\"" + row.type +
       "\"/>\n</field>\n</form>\n");
  if (row.sourceFormat.empty()) {
    EXPECT_TRUE(Entries().empty());
    EXPECT_NE(MainLog().find("ERROR :GRAMman: the grammar cities.txt has a type the recogniser "
                             "does not know (\"" + row.type + "\"); it is not used"),
              std::string::npos);
    return;
  }
  ASSERT_EQ(Entries().size(), 1u);
  const GrammarEntry& entry = Entry(0);
  EXPECT_EQ(entry.sourceFormat, row.sourceFormat);
  EXPECT_EQ(manager_.CurrentFormat(), row.sourceFormat);
  EXPECT_EQ(entry.recogniserType, row.recogniserType);
  EXPECT_EQ(entry.recogniserUri, row.recogniserUri);
  EXPECT_EQ(manager_.CurrentSource(), row.recogniserUri);
  EXPECT_EQ(entry.name, row.src);
  EXPECT_EQ(entry.dictionaryPath, row.dictionaryPath);
  EXPECT_EQ(entry.owner, Find("grammar"));
  EXPECT_EQ(entry.holder, Find("field"));
  EXPECT_EQ(entry.grammarTree != nullptr, row.hasTree);
  EXPECT_FALSE(entry.active || entry.matched || entry.sent);
  EXPECT_NE(MainLog().find(" : Pridanie gramatiky do resoure grupy: " + row.src),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AdderTest,
    ::testing::Values(AdderCase{"xml", "application/grammar+xml", "grammars/city.grxml", "xml",
                                "bnf", std::string(kTemp) + "city.grxml.bnf",
                                std::string(kDictionaries) + "city.dic", true},
                      AdderCase{"srgs", "application/srgs+xml", "grammars/city.grxml", "xml",
                                "bnf", std::string(kTemp) + "city.grxml.bnf",
                                std::string(kDictionaries) + "city.dic", true},
                      AdderCase{"bnf", "application/grammar+bnf", "g/yes.bnf", "bnf", "bnf",
                                "g/yes.bnf", std::string(kDictionaries) + "yes.dic", false},
                      AdderCase{"jsgf", "application/grammar+jsgf", "yes.jsgf", "bnf", "bnf",
                                "yes.jsgf", kDictionaries, false},
                      AdderCase{"slf", "application/htk+slf", "net.slf", "slf", "slf", "net.slf",
                                kDictionaries, false},
                      AdderCase{"list", "application/grammar+list", "cities.list", "list", "list",
                                "cities.list", kDictionaries, false},
                      AdderCase{"unknown_type", "text/plain", "cities.txt", "", "", "", "", false},
                      AdderCase{"no_type", "", "cities.txt", "", "", "", "", false}),
    [](const ::testing::TestParamInfo<AdderCase>& info) { return std::string(info.param.what); });

TEST_F(GrammarManagerTest, SrgsFileBecomesBnfFile) {
  std::filesystem::create_directory("grammars");
  WriteFile("grammars/city.grxml", kCitySrgs);
  Load(
      "<form>\n<field name=\"city\">\n<grammar src=\"grammars/city.grxml\" "
      "type=\"application/grammar+xml\"/>\n</field>\n</form>\n");
  EXPECT_EQ(ReadFile(std::string(kTemp) + "city.grxml.bnf"), kCityBnf);
  EXPECT_EQ(Entry(0).grammarTree->tagName, "grammar");
  EXPECT_EQ(Entry(0).grammarTree->GetAttribute("root"), "city");
}

TEST_F(GrammarManagerTest, MissingSrgsFileEndsTheProcess) {
  EXPECT_EXIT(
      {
        std::cout.rdbuf(std::cerr.rdbuf());  // the fatal message goes to standard output
        Load(
            "<form>\n<field name=\"city\">\n<grammar src=\"missing.grxml\" "
            "type=\"application/grammar+xml\"/>\n</field>\n</form>\n");
      },
      ::testing::ExitedWithCode(0), "Cannot open file>missing.grxml");
}

TEST_F(GrammarManagerTest, LoadAndUnloadWriteTheirLogLines) {
  Load("<form>\n<field name=\"city\">\n" + ListGrammar("a.list") + "</field>\n</form>\n");
  manager_.UnloadGrammarList();
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(MainLog(),
            "\nMESSAGE 0 : Load Grammar list ... "
            "\nMESSAGE 1 : Init grammar a.list"
            "\nMESSAGE 2 : Pridanie gramatiky do resoure grupy: a.list"
            "OK"
            "\nMESSAGE 3 : Unload Grammar list ... "
            "OK");
}

TEST_F(GrammarManagerTest, SixtyGrammarsKeepFiftyAndLogTheRest) {
  Element* form = Make("form", {Attribute("id", "f")});
  for (int i = 0; i < 60; ++i) {
    Element* field = Add(form, Make("field", {Attribute("name", "f" + std::to_string(i))}));
    manager_.InitGrammar(
        Add(field, Make("grammar", {Attribute("src", std::to_string(i) + ".list"),
                                    Attribute("type", "application/grammar+list")})));
  }
  ASSERT_EQ(Entries().size(), GrammarManager::kMaxEntries);
  EXPECT_EQ(Entry(49).name, "49.list");
  const std::string log = MainLog();
  EXPECT_NE(log.find("\nERROR :GRAMman: the grammar table holds 50 grammars already; "
                     "not registered: 59.list\n"),
            std::string::npos);
  std::size_t errors = 0;
  for (std::size_t at = log.find("ERROR :"); at != std::string::npos;
       at = log.find("ERROR :", at + 1)) {
    ++errors;
  }
  EXPECT_EQ(errors, 10u);
  // Grammars already registered are still refreshed in place.
  manager_.InitGrammar(Find(form, "grammar", 3));
  EXPECT_EQ(Entries().size(), GrammarManager::kMaxEntries);
}

TEST_F(GrammarManagerTest, RegisteringTheSameGrammarAgainReusesItsEntry) {
  XmlParser& parser = Parse("<form>\n<field name=\"city\">\n" + ListGrammar("a.list") +
                            ListGrammar("b.list") + "</field>\n</form>\n");
  manager_.LoadGrammarList(parser);
  Entry(1).active = true;
  manager_.LoadGrammarList(parser);
  ASSERT_EQ(Entries().size(), 2u);
  EXPECT_EQ(Entry(0).name, "a.list");
  EXPECT_EQ(Entry(1).name, "b.list");
  EXPECT_FALSE(Entry(1).active);  // a fresh entry in the old place
}

TEST_F(GrammarManagerTest, GrammarWithoutParentIsSkipped) {
  manager_.InitGrammar(
      Make("grammar", {Attribute("src", "a.list"), Attribute("type", "application/grammar+list")}));
  manager_.InitGrammar(nullptr);
  EXPECT_TRUE(Entries().empty());
  EXPECT_NE(MainLog().find("ERROR :GRAMman: a grammar without a parent element is not registered"),
            std::string::npos);
}

// --- Internal grammars -------------------------------------------------------

struct NameCase {
  const char* what;
  std::string body;  // holds one inline yes/no grammar, marked by @
  std::string name;
  std::string dictionaryPath;
  std::string itemName;
  std::string console;
};

class InternalNameTest : public GrammarManagerTest,
                         public ::testing::WithParamInterface<NameCase> {};

TEST_P(InternalNameTest, ParentGivesTheGeneratedName) {
  const NameCase& row = GetParam();
  std::string body = row.body;
  body.replace(body.find('@'), 1, kInlineYesNo);
  testsupport::CaptureStdout console;
  Load(body);
  EXPECT_EQ(console.Take(), row.console + "URI:" + row.name + "\n");
  ASSERT_EQ(Entries().size(), 1u);
  const GrammarEntry& entry = Entry(0);
  EXPECT_EQ(entry.name, row.name);
  EXPECT_EQ(entry.dictionaryPath, row.dictionaryPath);
  EXPECT_EQ(entry.itemName, row.itemName);
  EXPECT_EQ(entry.sourceFormat, "xml");
  EXPECT_EQ(entry.recogniserType, "bnf");
  EXPECT_EQ(entry.recogniserUri, bnf::BnfFilePath(row.name));
  EXPECT_EQ(entry.grammarTree, Find("grammar"));
  EXPECT_EQ(entry.owner, Find("grammar")->parent);
  EXPECT_EQ(entry.holder, entry.owner);
  EXPECT_EQ(ReadFile(bnf::BnfFilePath(row.name)), kYesNoBnf);
  EXPECT_NE(MainLog().find("MESSAGE 2 : Serve internal grammar"), std::string::npos);
}

const std::string kT = kTemp;
const std::string kD = kDictionaries;
INSTANTIATE_TEST_SUITE_P(
    Table, InternalNameTest,
    ::testing::Values(
        NameCase{"link_fragment", "<link next=\"#form2\">\n@</link>\n", kT + "GoTo#form2",
                 kD + "GoTo#form2.dic", "link0", ""},
        NameCase{"link_path", "<link next=\"app/main.vxml\">\n@</link>\n", kT + "GoTomain.vxml",
                 kD + "GoTomain.dic", "link0", ""},
        NameCase{"link_event", "<link event=\"help\">\n@</link>\n", kT + "GoTohelp",
                 kD + "GoTohelp.dic", "link0", ""},
        NameCase{"link_expr", "<link expr=\"target\">\n@</link>\n", kT + "GoTotarget",
                 kD + "GoTotarget.dic", "link0", " do....aj s expr\n"},
        NameCase{"choice", "<menu id=\"m\">\n<choice next=\"#news\">\n@</choice>\n</menu>\n",
                 kT + "GoTo#news", kD + "GoTo#news.dic", "choice0", ""},
        NameCase{"form", "<form id=\"order\">\n@</form>\n", kT + "FormLink_order",
                 kD + "FormLink_order.dic", "form0", ""},
        NameCase{"field", "<form>\n<field name=\"city\">\n@</field>\n</form>\n",
                 kT + "FieldLink_city", kD + "FieldLink_city.dic", "city", ""},
        NameCase{"record", "<form>\n<record name=\"msg\">\n@</record>\n</form>\n",
                 kT + "FieldLink_msg", kD + "FieldLink_msg.dic", "record0", ""},
        NameCase{"transfer", "<form>\n<transfer name=\"call\">\n@</transfer>\n</form>\n",
                 kT + "FieldLink_call", kD + "FieldLink_call.dic", "transfer0", ""},
        NameCase{"option",
                 "<form>\n<field name=\"f\">\n<option value=\"tea\">\n@</option>\n</field>\n"
                 "</form>\n",
                 kT + "Option_tea", kD + "Option_tea.dic", "option0", ""}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.what); });

TEST_F(GrammarManagerTest, InlineGrammarOfOtherTypeIsServedAsBnfWithoutFile) {
  testsupport::CaptureStdout console;
  Load(
      "<link next=\"#a\">\n<grammar type=\"application/grammar+bnf\">\n$x = a;\n</grammar>\n"
      "</link>\n<link next=\"#b\">\n<grammar>\nyes\n</grammar>\n</link>\n"
      "<form id=\"f\">\n<grammar type=\"text/x-other\">\nyes\n</grammar>\n</form>\n");
  console.Take();
  ASSERT_EQ(Entries().size(), 3u);
  for (const auto& entry : Entries()) {
    EXPECT_EQ(entry->sourceFormat, "bnf") << entry->name;
    EXPECT_EQ(entry->recogniserType, "bnf");
    EXPECT_EQ(entry->recogniserUri, "");
  }
  EXPECT_FALSE(std::filesystem::exists(kTemp));
}

TEST_F(GrammarManagerTest, InlineRulesUntypedOrTypedSrgsAreConverted) {
  testsupport::CaptureStdout console;
  std::string untyped = kInlineYesNo;
  untyped.erase(untyped.find(" type="), std::string(" type=\"application/grammar+xml\"").size());
  std::string standard = kInlineYesNo;
  standard.replace(standard.find("grammar+xml"), 11, "srgs+xml");
  Load("<link next=\"#a\">\n" + untyped + "</link>\n<link next=\"#b\">\n" + standard +
       "</link>\n");
  console.Take();
  ASSERT_EQ(Entries().size(), 2u);
  for (const auto& entry : Entries()) {
    EXPECT_EQ(entry->sourceFormat, "xml") << entry->name;
    EXPECT_EQ(ReadFile(entry->name + ".bnf"), kYesNoBnf) << entry->name;
  }
}

TEST_F(GrammarManagerTest, InlineGrammarUnderVxmlHasNoNameAndIsNeverAnnounced) {
  testsupport::CaptureStdout console;
  Load(kInlineYesNo);
  EXPECT_EQ(console.Take(), "URI:\n");
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entry(0).name, "");
  EXPECT_EQ(Entry(0).dictionaryPath, "");
  EXPECT_EQ(Entry(0).scopeClass, "");
  manager_.ActivateForElement(Find("grammar"));
  manager_.ActivateGrammars(Root());
  EXPECT_TRUE(AddGrams().empty());
}

TEST_F(GrammarManagerTest, UnwritableTempFolderIsReportedAndEntryKept) {
  std::filesystem::create_directories("lang_resources/grammars");
  WriteFile("lang_resources/grammars/temp", "a file, not a folder");
  testsupport::CaptureStdout console;
  Load("<link next=\"#form2\">\n" + std::string(kInlineYesNo) + "</link>\n");
  EXPECT_EQ(console.Take(),
            "GRAMman: ERROR OPEN TEMP FILE >" + kT + "GoTo#form2.bnf\nURI:" + kT + "GoTo#form2\n");
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entry(0).recogniserUri, kT + "GoTo#form2.bnf");
}

struct DictionaryCase {
  std::string name;
  std::string path;
};

class DictionaryPathTest : public ::testing::TestWithParam<DictionaryCase> {};

TEST_P(DictionaryPathTest, BaseNameBetweenLastSlashAndFirstDot) {
  EXPECT_EQ(GrammarManager::DictionaryPath(GetParam().name), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Table, DictionaryPathTest,
                         ::testing::Values(DictionaryCase{"", ""},
                                           DictionaryCase{"grammars/city.grxml", kD + "city.dic"},
                                           DictionaryCase{"city.grxml", kD},
                                           DictionaryCase{"../g/city.grxml", kD},
                                           DictionaryCase{"a/b/names", kD + "names.dic"},
                                           DictionaryCase{"a/city.big.grxml", kD + "city.dic"},
                                           DictionaryCase{"names", kD}));

// --- Choice grammars --------------------------------------------------------

TEST_F(GrammarManagerTest, MenuChoicesGiveOneChoiceGrammar) {
  testsupport::CaptureStdout console;
  Load(
      "<menu id=\"m\">\n<choice next=\"#sports\">sports</choice>\n"
      "<choice next=\"#weather\">\nweather\n</choice>\n</menu>\n");
  manager_.BuildChoiceGrammar(Find("menu"));
  console.Take();
  ASSERT_EQ(Entries().size(), 1u);
  const GrammarEntry& entry = Entry(0);
  EXPECT_EQ(entry.name, kT + "GoTo#sports");
  EXPECT_EQ(entry.owner, Find("choice"));
  EXPECT_EQ(entry.holder, Find("choice"));
  EXPECT_EQ(entry.scopeClass, "");
  EXPECT_EQ(entry.itemName, "choice0");
  EXPECT_EQ(entry.dictionaryPath, kD + "GoTo#sports.dic");
  EXPECT_EQ(ReadFile(kT + "GoTo#sports.bnf"), "$main = (sports |weather );\n\n($main)\n");
  // The tree has the shape of a parsed SRGS grammar; the choice keeps its children.
  const Element* grammar = entry.grammarTree;
  EXPECT_EQ(grammar->GetAttribute("root"), "main");
  EXPECT_EQ(grammar->GetAttribute("type"), "application/grammar+xml");
  EXPECT_EQ(grammar->parent, Find("choice"));
  EXPECT_TRUE(Find("choice")->children.empty());
  const Element* oneOf = grammar->children.at(0)->children.at(0);
  EXPECT_EQ(oneOf->tagName, "one-of");
  EXPECT_EQ(oneOf->children.at(1)->GetText(), "weather");
}

TEST_F(GrammarManagerTest, OptionsWithValuesKeepTheirWordsAndTheValueInTheTag) {
  testsupport::CaptureStdout console;
  Load(
      "<form>\n<field name=\"drink\">\n<option value=\"t\">tea</option>\n"
      "<option value=\"c\">coffee</option>\n</field>\n</form>\n");
  manager_.BuildChoiceGrammar(Find("field"));
  console.Take();
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entry(0).name, kT + "Option_t");
  EXPECT_EQ(Entry(0).scopeClass, "unknown");
  EXPECT_EQ(Entry(0).itemName, "option0");
  EXPECT_EQ(ReadFile(kT + "Option_t.bnf"), "$main = (tea |coffee );\n\n($main)\n");
  const Element* item = Entry(0).grammarTree->children[0]->children[0]->children[0];
  ASSERT_EQ(item->children.size(), 1u);
  EXPECT_EQ(item->children[0]->tagName, "tag");
  EXPECT_EQ(item->children[0]->GetText(), "t");
}

TEST_F(GrammarManagerTest, ChoiceGrammarTextTakesTheLastTextValueOrInlineGrammar) {
  script_->answers["anonymous.hasOwnProperty(\"city\")"] = ScriptResult{0, "true"};
  script_->answers["anonymous.city"] = ScriptResult{0, "Paris"};
  Load(
      "<menu id=\"m\">\n"
      "<choice next=\"#a\">\nfirst\n<value expr=\"city\"/>\n</choice>\n"
      "<choice next=\"#b\">\nkept\n<grammar src=\"x.grxml\"/>\n</choice>\n"
      "<choice next=\"#c\">\n<value expr=\"city\"/>\nlast\n</choice>\n"
      "</menu>\n");
  testsupport::CaptureStdout console;
  manager_.BuildChoiceGrammar(Find("menu"));
  EXPECT_EQ(console.Take(),
            "In choice element is not possible to use external grammars.\nURI:" + kT + "GoTo#a\n");
  EXPECT_EQ(ReadFile(kT + "GoTo#a.bnf"), "$main = (Paris |kept |last );\n\n($main)\n");
}

TEST_F(GrammarManagerTest, MenuEnteredFortyTimesKeepsOneEntry) {
  testsupport::CaptureStdout console;
  Load("<menu id=\"m\">\n<choice next=\"#a\">news</choice>\n</menu>\n");
  for (int run = 0; run < 40; ++run) {
    manager_.BuildChoiceGrammar(Find("menu"));
    manager_.ActivateForElement(Find("choice"));
  }
  manager_.ActivateGrammars(Find("menu"));
  console.Take();
  EXPECT_EQ(Entries().size(), 1u);
  EXPECT_EQ(AddGrams().size(), 1u);
  EXPECT_EQ(ReadFile(kT + "GoTo#a.bnf"), "$main = (news );\n\n($main)\n");
}

TEST_F(GrammarManagerTest, MenuWithoutChoicesRegistersNothing) {
  Load("<menu id=\"m\">\n<prompt>Say something</prompt>\n</menu>\n");
  manager_.BuildChoiceGrammar(Find("menu"));
  manager_.BuildChoiceGrammar(nullptr);
  EXPECT_TRUE(Entries().empty());
  EXPECT_NE(MainLog().find("ERROR :GRAMman: the menu has no choice or option elements; "
                           "no choice grammar is made\n"),
            std::string::npos);
}

// --- Activation and announcement -------------------------------------------

// An SRGS file as others write it (words on lines of their own, several
// elements on a line, a comment), for a field without a name.
TEST_F(GrammarManagerTest, SrgsWordsForAnUnnamedField) {
  WriteFile("city.grxml",
            "<?xml version='1.0'?>\n<grammar root='city'>\n<rule id='city'>\n<one-of>\n"
            "<item>\n  new york\n</item>\n<item>san<!-- <item>x</item> -->\n  diego<tag>out='sd'"
            "</tag></item>\n</one-of>\nplease <ruleref uri='#p'/>\n"
            "<item>from <ruleref uri='#p'/> on\n<ruleref uri='#p'/>\nnow</item>\n</rule>\n"
            "<rule id='p'>now</rule>\n</grammar>\n");
  Load("<form><field><grammar src='city.grxml' type='application/grammar+xml'/></field></form>\n");
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entry(0).itemName, "noname_field");
  EXPECT_EQ(ReadFile(kT + "city.grxml.bnf"),
            "$p = now ;\n$city = (new york |san diego )please $p from  $p on  $p now ;\n\n"
            "($city)\n");
}

// Three nested repeats of 96 bytes would make gigabytes of BNF.
TEST_F(GrammarManagerTest, OverLongBnfIsCutAndLogged) {
  std::string item = "<item repeat='100-200'>" + std::string(95, 'w') + "</item>";
  for (int level = 0; level < 2; ++level) item = "<item repeat='100-200'>" + item + "</item>";
  Load("<form id='f'><grammar type='application/grammar+xml' root='r'><rule id='r'>" + item +
       "</rule></grammar></form>\n");
  ASSERT_EQ(Entries().size(), 1u);
  const std::string path = Entry(0).recogniserUri;
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_NE(MainLog().find("ERROR :GRAMman: the BNF of the grammar " + Entry(0).name +
                           " would pass 1048576 bytes; " + path +
                           " holds only the rules before the cut\n"),
            std::string::npos);
}

TEST_F(GrammarManagerTest, CityExampleEndToEnd) {
  WriteFile("city.grxml", kCitySrgs);
  Load(
      "<form id=\"f\">\n<field name=\"city\">\n<prompt>Which city?</prompt>\n"
      "<grammar src=\"city.grxml\" type=\"application/grammar+xml\"/>\n</field>\n</form>\n");
  ASSERT_EQ(Entries().size(), 1u);
  EXPECT_EQ(Entry(0).itemName, "city");
  EXPECT_EQ(Entry(0).scopeClass, "unknown");
  EXPECT_EQ(manager_.NewGroup(), 0);
  manager_.ActivateForElement(Find("grammar"));
  manager_.ActivateGrammars(Find("field"));
  EXPECT_EQ(peer_.Sent(), (std::vector<std::string>{
                              "NewGroup\t",
                              "AddGram\t:gramURI lang_resources/grammars/temp/city.grxml.bnf"
                              "\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\"}));
  EXPECT_EQ(peer_.ReceiveCount(), 2);
  EXPECT_TRUE(Entry(0).sent);
  EXPECT_FALSE(manager_.HangUp());
  EXPECT_EQ(ReadFile(kT + "city.grxml.bnf"), kCityBnf);
  const std::string log = MainLog();
  EXPECT_NE(log.find(" : Requist for making new Resource group to ASR sended."), std::string::npos);
  EXPECT_NE(log.find(" : city.grxml\tACTIV: true\tSCOPE: unknown\tFIELDNAME: city\tadded"),
            std::string::npos);
  // After the turn the field's grammar goes quiet.
  manager_.DeactivateScopeUnknown();
  EXPECT_FALSE(Entry(0).active || Entry(0).sent);
  manager_.ActivateGrammars(Find("field"));
  EXPECT_EQ(AddGrams().size(), 1u);
}

TEST_F(GrammarManagerTest, ActivationRules) {
  testsupport::CaptureStdout console;
  Load("<link next=\"#top\">\n" + ListGrammar("doc.list") +
       "</link>\n"
       "<form id=\"f\">\n" +
       ListGrammar("form.list") + "<field name=\"city\">\n" + std::string(kInlineYesNo) +
       "</field>\n</form>\n"
       "<menu id=\"m\">\n<choice next=\"#a\">news</choice>\n</menu>\n"
       "<menu id=\"n\">\n<choice next=\"#a\">news</choice>\n</menu>\n");
  manager_.BuildChoiceGrammar(Find("menu", 1));
  console.Take();
  ASSERT_EQ(Entries().size(), 4u);  // doc.list, form.list, FieldLink_city, choice grammar
  auto active = [&] {
    std::string flags;
    for (const auto& entry : Entries()) flags += entry->active ? '1' : '0';
    return flags;
  };
  // Rule 3: a document grammar becomes active whatever is activated. The
  // field owns the inline grammar, but its identity (form1) is not "city".
  manager_.ActivateForElement(Find("field"));
  EXPECT_EQ(active(), "1000");
  // Rule 2: the grammar element itself, its item name bound to its parent.
  manager_.ActivateForElement(Find("grammar", 1));
  EXPECT_EQ(active(), "1100");
  // An inline field grammar is owned by the field, and its <grammar> element activates it.
  manager_.ActivateForElement(Find("grammar", 2));
  EXPECT_EQ(active(), "1110");
  // Rule 1: the owning choice itself; the other menu's choice written alike hears nothing.
  manager_.ActivateForElement(Find("choice", 0));
  EXPECT_EQ(active(), "1110");
  manager_.ActivateForElement(Find("choice", 1));
  EXPECT_EQ(active(), "1111");
}

TEST_F(GrammarManagerTest, ElementWithoutBoundParentActivatesOnlyDocumentGrammars) {
  Load("<link next=\"#top\">\n" + ListGrammar("doc.list") +
       "</link>\n"
       "<form id=\"f\">\n" +
       ListGrammar("form.list") + "</form>\n");
  Find("form")->binding.reset();
  manager_.ActivateForElement(Find("grammar", 1));
  manager_.ActivateForElement(nullptr);
  EXPECT_TRUE(Entry(0).active);
  EXPECT_FALSE(Entry(1).active);
  EXPECT_NE(MainLog().find("ERROR :GRAMman: no variable is bound to the parent of the grammar "
                           "element; only document grammars are activated\n"),
            std::string::npos);
}

TEST_F(GrammarManagerTest, DeactivationsClearOnlyTheirScopeClass) {
  Element* form = Make("form");
  for (const char* scope : {"document", "document-ard", "dialog", "unknown", "none"}) {
    manager_.InitGrammar(Add(form, Make("grammar", {Attribute("src", std::string(scope) + ".list"),
                                                    Attribute("type", "application/grammar+list"),
                                                    Attribute("scope", scope)})));
  }
  Entry(4).scopeClass = "";  // a form grammar never gets it; a grammar under <vxml> does
  for (const auto& entry : Entries()) entry->active = entry->sent = true;
  auto flags = [&] {
    std::string text;
    for (const auto& entry : Entries())
      text += std::string(entry->active ? "A" : "-") + (entry->sent ? "S" : "-");
    return text;
  };
  manager_.DeactivateScopeDialog();
  EXPECT_EQ(flags(), "ASAS--ASAS");
  manager_.DeactivateScopeUnknown();
  EXPECT_EQ(flags(), "ASAS----AS");
}

TEST_F(GrammarManagerTest, ModalFieldAnnouncesOnlyItsOwnAndItsLinksGrammars) {
  Load("<link next=\"#top\">\n" + ListGrammar("doc.list") +
       "</link>\n"
       "<form id=\"f\">\n<field name=\"city\" modal=\"true\">\n" +
       ListGrammar("city.list") + "<link next=\"#help\">\n" + ListGrammar("help.list") +
       "</link>\n</field>\n"
       "<field name=\"other\">\n" +
       ListGrammar("other.list") + "</field>\n</form>\n");
  for (const auto& entry : Entries()) entry->active = true;
  manager_.ActivateGrammars(Find("field", 0));
  EXPECT_EQ(AddGrams(), (std::vector<std::string>{
                            "AddGram\t:gramURI city.list\t:gramTYPE list\t:loc_DICT " + kD,
                            "AddGram\t:gramURI help.list\t:gramTYPE list\t:loc_DICT " + kD}));
  EXPECT_FALSE(Entry(0).sent);
  EXPECT_TRUE(Entry(1).sent && Entry(2).sent);
  // Without "modal" every active grammar is announced; sent flags start afresh.
  Entry(1).active = false;
  manager_.ActivateGrammars(Find("field", 1));
  EXPECT_EQ(AddGrams().size(), 5u);
  EXPECT_FALSE(Entry(1).sent);
  EXPECT_TRUE(Entry(0).sent && Entry(2).sent && Entry(3).sent);
}

TEST_F(GrammarManagerTest, HangUpInTheMiddleStillSendsTheRest) {
  Load("<form id=\"f\">\n<field name=\"city\">\n" + ListGrammar("a.list") + ListGrammar("b.list") +
       ListGrammar("c.list") + "</field>\n</form>\n");
  for (const auto& entry : Entries()) entry->active = true;
  peer_.QueueReply("OK");
  peer_.QueueReply("End");
  manager_.ActivateGrammars(Find("field"));
  EXPECT_EQ(AddGrams().size(), 3u);
  EXPECT_EQ(peer_.ReceiveCount(), 3);
  EXPECT_TRUE(manager_.HangUp());
  EXPECT_TRUE(Entry(2).sent);
  // Nothing clears the flag.
  manager_.ActivateGrammars(Find("field"));
  EXPECT_TRUE(manager_.HangUp());
}

TEST_F(GrammarManagerTest, NewGroupAnsweredWithEndIsAHangUp) {
  peer_.QueueReply("End");
  EXPECT_EQ(manager_.NewGroup(), 0);
  EXPECT_EQ(peer_.Sent(), std::vector<std::string>{"NewGroup\t"});
  EXPECT_TRUE(manager_.HangUp());
}

TEST_F(GrammarManagerTest, LongAddGramIsCutTo255Characters) {
  const std::string src = std::string(300, 'x') + ".list";
  Load("<form>\n<field name=\"f\">\n" + ListGrammar(src) + "</field>\n</form>\n");
  Entry(0).active = true;
  manager_.ActivateGrammars(Find("field"));
  ASSERT_EQ(AddGrams().size(), 1u);
  EXPECT_EQ(AddGrams()[0], ("AddGram\t:gramURI " + src).substr(0, 255));
  EXPECT_NE(MainLog().find("ERROR :GRAMman: the AddGram command is cut to 255 characters"),
            std::string::npos);
}

TEST_F(GrammarManagerTest, ModalFilterLogsOwnerWithoutGrandparent) {
  Element* link = Make("link", {Attribute("next", "#a")});
  manager_.InitGrammar(Add(link, Make("grammar", {Attribute("src", "a.list"),
                                                  Attribute("type", "application/grammar+list")})));
  Entry(0).active = true;
  Element* field = Make("field", {Attribute("name", "link0"), Attribute("modal", "true")});
  manager_.ActivateGrammars(field);
  EXPECT_EQ(AddGrams().size(), 1u);  // the item name stands in
  EXPECT_NE(MainLog().find("ERROR :GRAMman: the grammar a.list has no grandparent element"),
            std::string::npos);
}

}  // namespace
