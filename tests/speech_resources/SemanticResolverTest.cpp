// The semantic resolver on the real script engine: SRGS grammars matched
// against utterances, SLF and BNF semantic strings, and list grammars looked
// up through a fake Morvish.
#include "speech_resources/SemanticResolver.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "speech_resources/GrammarManager.h"
#include "tests/speech_resources/GrammarTestTrees.h"
#include "tests/speech_resources/SpeechTestSupport.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FakePeerLink.h"
#include "tests/support/FakeProgram.h"
#include "tests/support/FakeScriptEngine.h"

namespace {

using grammartest::srgs::Item;
using grammartest::srgs::OneOf;
using grammartest::srgs::Ref;
using grammartest::srgs::Rule;
using testsupport::ReadFile;
using testsupport::WriteFile;

class SemanticResolverTest : public testsupport::TempDirTest {
 protected:
  // On the shared engine; or, counting, on a fake one that notes each command
  // and answers 255 bytes (a long value read back), logging to Quorvane/.
  explicit SemanticResolverTest(bool counting = false)
      : fakeScopes_(counting ? CountingScopes() : nullptr),
        manager_(log_.get(), counting ? fakeScopes_.get() : &speechtest::SharedScopes(), peer_) {}
  std::unique_ptr<EcmaScopes> CountingScopes() {
    mkdir("Quorvane", 0755);
    commands_->otherwise.text = std::string(255, 'x');
    return std::make_unique<EcmaScopes>(std::make_unique<testsupport::FakeScriptEngine>(commands_));
  }
  // Registers a grammar of the field g, announced; SmResult and dialog start empty.
  void Register(const std::string& src, const std::string& type) {
    manager_.Scopes()->CreateScope("SmResult");
    manager_.Scopes()->CreateScope("dialog");
    field_ = grammartest::Make("field", {Attribute("name", "g")});
    manager_.InitGrammar(grammartest::Add(
        field_, grammartest::Make("grammar", {Attribute("src", src), Attribute("type", type)})));
    manager_.Entries().at(0)->active = manager_.Entries().at(0)->sent = true;
  }
  // Registers the SRGS grammar file g.grxml of the rules.
  void RegisterSrgs(const std::string& rules) {
    WriteFile("g.grxml", "<?xml version=\"1.0\"?>\n<grammar root=\"main\">\n" + rules +
                             "</grammar>\n");
    Register("g.grxml", "application/grammar+xml");
  }
  // Interprets the utterance; expects no script error and gives SmResult.g as JSON.
  std::string Interpret(const std::string& utterance, const std::string& semantic = "") {
    testsupport::CaptureStdout console;
    resolver_.ReturnSemantic(utterance, semantic, field_, false);
    EXPECT_EQ(console.Take().find("ERROR"), std::string::npos);
    return Json("SmResult.g");
  }
  // The value as JSON; "" when it is undefined.
  static std::string Json(const std::string& expression) {
    std::string json;
    speechtest::SharedScopes().ExecuteCommand("JSON.stringify(" + expression + ")", &json, false);
    return json;
  }
  bool Matched() { return manager_.Entries().at(0)->matched; }

  speechtest::LogFile log_{"main.log"};
  std::shared_ptr<testsupport::FakeScriptRecord> commands_ =
      std::make_shared<testsupport::FakeScriptRecord>();
  std::unique_ptr<EcmaScopes> fakeScopes_;
  testsupport::FakePeerLink peer_;
  GrammarManager manager_;
  SemanticResolver resolver_{&manager_};
  Element* field_ = nullptr;
};

// One row of a table: what the grammar or the lookup is given, and the result.
struct Case {
  const char* what;
  std::string input;  // the children of <grammar root="main">, or Morvish's answer
  std::string utterance;
  std::string result;  // SmResult.g as JSON
  bool matched;
  std::string semantic = "";      // the recogniser's semantic string
  const char* type = nullptr;     // a grammar file of this type instead of the SRGS one
  std::string dialogValue = "";  // dialog.g as JSON afterwards ("": undefined)
};

const char kSlf[] = "application/htk+slf";
const char kBnf[] = "application/grammar+bnf";

class SrgsTest : public SemanticResolverTest, public ::testing::WithParamInterface<Case> {};

TEST_P(SrgsTest, BuildsTheResult) {
  if (GetParam().type == nullptr) {
    RegisterSrgs(GetParam().input);
  } else {
    Register("g.file", GetParam().type);
  }
  EXPECT_EQ(Interpret(GetParam().utterance, GetParam().semantic), GetParam().result);
  EXPECT_EQ(Matched(), GetParam().matched);
  EXPECT_EQ(Json("dialog.g"), GetParam().dialogValue);
}

std::string Main(const std::string& body, const std::string& more = "") {
  return Rule("main", body, more);
}
const std::string kYesNo = Main(OneOf(Item("yes", " tag=\"1\"") + Item("no", " tag=\"0\"")));
const std::string kCity = Rule("city", OneOf(Item("Paris", " tag=\"PAR\"") + Item("London")));
const std::string kDay = Rule("day", OneOf(Item("Monday") + Item("Friday")));

INSTANTIATE_TEST_SUITE_P(
    Table, SrgsTest,
    ::testing::Values(
        Case{"TagOfTheMatchedItem", kYesNo, "no", "\"0\"", true},
        Case{"WordsAfterTheMatchAreIgnored", kYesNo, "yes please", "\"1\"", true},
        Case{"WordsAreNeverSkipped", kYesNo, "please yes", "{}", false},
        Case{"TwoWordItem", Main(OneOf(Item("Paris") + Item("New York"))), "New York",
                 "\"New York\"", true},
        Case{"TwoBlanksOnlyAsTheWholeUtterance", Main(Item("New  York")), "New  York",
                 "\"New  York\"", true},
        Case{"RulerefOverTwoLinesFillsItsRule",
                 Main("\n<ruleref uri=\"#city\">\n</ruleref>\n") + kCity, "Paris",
                 R"({"city":"PAR"})", true},
        Case{"RootItemsAfterARulerefAppendToTheRuleEnteredLast",
                 Main(Ref("city") + Item("please")) + kCity, "Paris please",
                 R"({"city":"PARplease"})", true},
        Case{"RepeatedItemMatchesAsOftenAsItCan",
                 Main(Item("very", " repeat=\"1-\"") + Item("big")), "very very big", "\"big\"",
                 true},
        Case{"RootTagCombinesRuleResults",
                 Main(Ref("city") + Ref("day"), " tag=\"city + ' ' + day\"") + kCity + kDay,
                 "London Friday", "\"London Friday\"", true},
        Case{"ItemInheritsTheTagOfItsRule",
                 Main(Ref("city")) + Rule("city", Item("Rome"), " tag=\"CITY\""), "Rome",
                 R"({"city":"CITY"})", true},
        Case{"FailedItemGivesItsWordBack",
                 Main(Ref("day") + Ref("time")) + kDay +
                     Rule("time", OneOf(Item("six") + Item("five o'clock"))),
                 "Friday five o'clock", R"({"day":"Friday","time":"five o'clock"})", true},
        Case{"RepeatStopsWhenAMatchTakesNoWord",
                 Main(OneOf(Item("yes")) + OneOf("<item repeat=\"0-\" tag=\"x\"/>")), "yes",
                 "\"x\"", true},
        Case{"LeftRecursionIsNotEnteredAgain",
                 Main(Ref("list")) + Rule("list", Ref("list") + Item("a")), "a",
                 R"({"list":"a"})", true},
        Case{"OnlyRulesWithAnIdTakePart",
                 "<meta name=\"a\" content=\"b\"/>\ntext\n<rule>" + Item("no") + "</rule>\n" +
                     Main(Item("yes")),
                 "yes", "\"yes\"", true},
        // Words on lines of their own and beside a <tag> element are the item's words,
        // as in the BNF the recogniser listens with.
        Case{"ItemWordsOnTheirOwnLines", Main("<item>\nNew York\n</item>\n"), "New York",
                 "\"New York\"", true},
        Case{"ItemWordsBesideATagElement",
                 Main(OneOf("<item>Rome</item>\n<item>London<tag>LON</tag></item>\n")),
                 "London", "\"London\"", true},
        // Words beside a <ruleref> and a rule made of words are in the BNF too.
        Case{"WordsBesideRulerefsAreTakenInTurn",
                 Main(Item("from " + Ref("city")) + Item("on " + Ref("day"))) + kCity + kDay,
                 "from Paris on Friday", R"({"city":"PAR","day":"Friday"})", true},
        Case{"WordsNotSaidEndTheirItem", Main(Item("from " + Ref("city"))) + kCity, "Paris",
                 R"({"city":""})", false},
        Case{"RuleOfWordsAlone", Main(Ref("greet")) + Rule("greet", "good morning"),
                 "good morning", R"({"greet":"good morning"})", true},
        Case{"RulerefInAOneOfIsNotFollowed", Main(OneOf(Ref("city") + Item("yes"))) + kCity,
                 "Paris", R"({"city":""})", false},
        // Words said are data: entities in them are never decoded, only the
        // grammar's own tag texts are, once.
        Case{"EntitiesInMatchedWordsStayText",
                 Main(OneOf(Item("yes") + Item("x&#39;+quit(7)+&#39;"))), "x&#39;+quit(7)+&#39;",
                 "\"x&#39;+quit(7)+&#39;\"", true},
        Case{"QuotEntitiesInRuleWordsStayText",
                 Main(Ref("said")) + Rule("said", Item("say &quot;hi&quot;")),
                 "say &quot;hi&quot;", R"({"said":"say &quot;hi&quot;"})", true},
        Case{"TagEntitiesAreDecodedOnce", Main(Item("its", " tag=\"it&apos;s\"")), "its",
                 "\"it's\"", true},
        // The root is the rule the BNF file is written with: without a rule
        // of the root's name, the first rule.
        Case{"WithoutTheRootRuleTheFirstRuleIsMatched",
                 Rule("trip", Ref("city")) + kCity, "Paris", R"({"city":"PAR"})", true},
        Case{"RulesReferredToAgainStillMatch",
                 Main(Ref("a") + Ref("a")) + Rule("a", Ref("b") + Ref("b")) +
                     Rule("b", OneOf(Item("la"))),
                 "la la la la", R"({"a":"","b":"lalalala"})", true},
        // Rule ids that are not identifiers name quoted keys.
        Case{"RuleIdsThatAreNoIdentifiersAreQuotedKeys",
                 Main(Ref("city-name") + Ref("c=ity")) +
                     Rule("city-name", OneOf(Item("Paris", " tag=\"PAR\""))) +
                     Rule("c=ity", Item("now")),
                 "Paris now", R"({"city-name":"PAR","c=ity":"now"})", true},
        Case{"RootTagQualifiesAQuotedRule",
                 Main(Ref("city-name"), " tag=\"'to ' + city-name\"") +
                     Rule("city-name", OneOf(Item("Paris", " tag=\"PAR\""))),
                 "Paris", "\"to PAR\"", true},
        // Other formats take the recogniser's semantic string.
        Case{"SlfTakesTheUtteranceWithoutSemantic", "", "Rome please", "\"Rome please\"", true,
                 "", kSlf},
        Case{"SlfTakesTheSemanticStringAsText", "", "Rome", "\"it's &#39;Rome&#39;\"", true,
                 "it's &#39;Rome&#39;", kSlf},
        Case{"BnfSemanticStringIsAnExpression", "", "six", "6", true, "5+1", kBnf},
        Case{"BnfWithoutSemanticAssignsNothing", "", "six", "{}", false, "", kBnf},
        Case{"NoMatchGivesTheSemanticStringToTheItem", kYesNo, "maybe", "{}", false,
                 "it's &#39;x&#39;", nullptr, "\"it's &#39;x&#39;\""}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.what; });

// A Morvish that keeps its arguments and the request, and answers with the
// file "answer" when there is one; an earlier answer lies in the reply file.
class ListLookupTest : public SemanticResolverTest,
                       public ::testing::WithParamInterface<Case> {};

TEST_P(ListLookupTest, FillsTheResultFromMorvishsAnswer) {
  testsupport::WriteProgram("Quorvane/VObjects/Morvish",
                            "printf '%s|' \"$#\" \"$@\" > argv\n"
                            "cp Quorvane/VObjects/obj_temp_to_obj request\n"
                            "[ -f answer ] && cat answer > Quorvane/VObjects/obj_temp_to_doc\n");
  WriteFile("Quorvane/VObjects/obj_temp_to_doc", "\tstale\n");
  if (!GetParam().input.empty()) WriteFile("answer", GetParam().input);
  Register("cities.list", "application/grammar+list");
  EXPECT_EQ(Interpret(GetParam().utterance), GetParam().result);
  EXPECT_EQ(Matched(), GetParam().matched);
  EXPECT_EQ(ReadFile("argv"), "1|cities.list|");
  EXPECT_EQ(ReadFile("request"), "searching_item\t" + GetParam().utterance + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ListLookupTest,
    ::testing::Values(
        Case{"StringAndNumber", "color\tred\nsize\t42\n", "red shirt",
             R"({"color":"red","size":42})", true},
        Case{"ListofvarNoneLastIsNotFound", "city\tParis\nlistofvar\tnone\n", "Parma",
             R"({"city":"Paris","listofvar":"none"})", false},
        Case{"EmptyNameIsTheResultItself", "\tyes\r\n", "yeah", "\"yes\"", true},
        Case{"ValuesByTheirForm", "a\t10\nb\t1.5\nc\t-3\nd\t12a\ne\ttrue\nf\t007\n", "it's",
             R"({"a":10,"b":"1.5","c":"-3","d":"12a","e":true,"f":7})", true},
        // Quotes and entities stay text; a name that is not plain is skipped.
        Case{"NothingInAnAnswerRunsAsScript",
             "x\t');SmResult.g.y=1;('\nz\t&apos;+1+&apos;\nw=1;SmResult.g.v\t2\nno tab\n"
             "toString\t1\nx.valueOf\t2\n",
             "x",
             R"({"x":"');SmResult.g.y=1;('","z":"&apos;+1+&apos;"})", true},
        Case{"NoAnswerIsNotFound", "", "New York", "{}", false}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.what; });

// Matchings that stop at a bound: the root says its words, then it and each
// of the rules r1 ... rN refer twice to the next rule; rN+1 is the leaf.
struct Bound {
  const char* what;
  int rules;  // N
  std::string words;
  std::string leaf;
  std::string utterance;
  std::string stop;       // the main log's reason
  std::size_t commands;   // run, at most
  std::size_t logBytes;   // of script log, at most
  std::size_t mainLogBytes;  // of main log, at most
};

class BoundTest : public SemanticResolverTest, public ::testing::WithParamInterface<Bound> {
 protected:
  BoundTest() : SemanticResolverTest(true) {}
};

TEST_P(BoundTest, StopsTheMatching) {
  std::string rules = Main(GetParam().words + Ref("r1") + Ref("r1"));
  for (int level = 1; level <= GetParam().rules; ++level) {
    const std::string next = "r" + std::to_string(level + 1);
    rules += Rule("r" + std::to_string(level), Ref(next) + Ref(next));
  }
  RegisterSrgs(rules + Rule("r" + std::to_string(GetParam().rules + 1), GetParam().leaf));
  resolver_.ReturnSemantic(GetParam().utterance, "", field_, false);
  EXPECT_FALSE(Matched());
  EXPECT_NE(log_.Text().find("ERROR :SRGS: matching the grammar g.grxml " + GetParam().stop +
                             "; the utterance is taken as not matched"),
            std::string::npos)
      << log_.Text();
  EXPECT_LE(commands_->calls.size(), GetParam().commands);
  EXPECT_LE(ReadFile("Quorvane/ecmalog.txt").size(), GetParam().logBytes);
  EXPECT_LE(log_.Text().size(), GetParam().mainLogBytes);
}

// "a a ... a": the word "a" count times.
std::string As(int count) {
  std::string words = "a";
  for (int word = 1; word < count; ++word) words += " a";
  return words;
}
const std::string kHundredAs = As(100);
const std::string kLongestAs = As(249);  // 497 bytes, the longest reply holds 499
const std::string kSteps =
    "took more than " + std::to_string(SemanticResolver::kStepsPerMatching) + " steps";
const std::string kThousandTags = [] {
  std::string tags;
  for (int tag = 0; tag < 1000; ++tag) tags += "<tag/>";
  return tags;
}();

INSTANTIATE_TEST_SUITE_P(
    Table, BoundTest,
    ::testing::Values(
        // Entered anew for every reference, 26 rules would be walked 2^26 times.
        Bound{"StepBudget", 25, "", Item("red"), "red", kSteps, 30, 10000, 1000},
        // Each of the 2^15 visits of the leaf reads an item of 250 words and
        // the utterance's 249: 1,600 steps, 52 million in all.
        Bound{"LongItemUnderATree", 14, "", Item(kLongestAs + " b"), kLongestAs, kSteps, 20, 6000,
              1000},
        // Each of the 2^13 visits of the leaf looks at its 1,000 <tag> children:
        // 7,000 steps, 57 million in all.
        Bound{"TagsUnderATree", 12, "", kThousandTags + "b", kLongestAs, kSteps, 20, 6000, 1000},
        // The leaf refers to itself first: each of its 2^15 visits would write
        // a main-log line of 84 bytes, 16 steps for each of its 75 of text: at
        // most 13,333 lines are written.
        Bound{"LeftRecursionUnderATree", 14, "", Ref("r15"), kLongestAs, kSteps, 20, 6000, 1121000},
        // An item of no words is taken again at the end at every reference:
        // after the 23 commands that start the result, its assignments reach
        // 64 KiB after 22 of 2.9 KB, or 3,449 of 19 bytes ("SmResult.g.r20+='x'",
        // 300 bytes of script log each).
        Bound{"LongTagOneWord", 19, "a", Item("", " tag=\"" + std::string(2900, 'x') + "\""), "a",
              "took more than 65536 bytes of assignments", 45, 80000, 1000},
        Bound{"ShortTagHundredWords", 19, kHundredAs, Item("", " tag=\"x\""), kHundredAs,
              "took more than 65536 bytes of assignments", 3472, 1100000, 1000}),
    [](const ::testing::TestParamInfo<Bound>& info) { return info.param.what; });

TEST_F(SemanticResolverTest, MissingMorvishIsLoggedAndFindsNothing) {
  Register("cities.list", "application/grammar+list");
  EXPECT_EQ(Interpret("Rome"), "{}");
  EXPECT_EQ(ReadFile("Quorvane/VObjects/obj_temp_to_obj"), "searching_item\tRome\n");
  EXPECT_NE(log_.Text().find("ERROR :The lookup program Quorvane/VObjects/Morvish did not run to "
                             "its end for the list grammar cities.list"),
            std::string::npos);
}

}  // namespace
