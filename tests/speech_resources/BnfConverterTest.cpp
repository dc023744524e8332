#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "speech_resources/BnfConverter.h"
#include "speech_resources/InternalGrammars.h"
#include "tests/speech_resources/GrammarTestTrees.h"

namespace {

using grammartest::Add;
using grammartest::Grammar;
using grammartest::Item;
using grammartest::Make;
using grammartest::OneOf;
using grammartest::Rule;

// A converter with the whole limit to itself.
bnf::Converter Bnf() { return bnf::Converter(); }

TEST(BnfConverterTest, YesNoGrammarGivesRuleEmptyLineAndMainExpression) {
  Element* grammar = Grammar("cmd", {Rule("cmd", {OneOf({"yes", "no"})})});
  EXPECT_EQ(Bnf().ConvertGrammar(*grammar), "$cmd = (yes |no );\n\n($cmd)\n");
}

TEST(BnfConverterTest, RulerefAndItemEachKeepTheirBlank) {
  Element* ruleref = Make("ruleref", {Attribute("uri", "#b")});
  EXPECT_EQ(Bnf().ConvertRule(*Rule("a", {ruleref, Item("please")})), "$a = $b please ;\n");
  // Inside an item the blank comes first; a URI without "#" stays as written.
  Element* item = Make("item");
  Add(item, Make("ruleref", {Attribute("uri", "#city")}));
  Add(item, Make("ruleref", {Attribute("uri", "other.grxml#x")}));
  EXPECT_EQ(Bnf().ConvertItem(*item), " $city other.grxml#x");
  // A rule name never runs into a name after it.
  EXPECT_EQ(Bnf().ConvertRule(*Rule("r", {item, ruleref})), "$r =  $city other.grxml#x $b ;\n");
}

TEST(BnfConverterTest, OtherRulesComeFirstAndTheRootRuleLast) {
  Element* grammar =
      Grammar("main", {Rule("a", {Item("x")}), Rule("main", {Item("y")}), Rule("b", {Item("z")})});
  EXPECT_EQ(Bnf().ConvertGrammar(*grammar), "$a = x ;\n$b = z ;\n$main = y ;\n\n($main)\n");
}

TEST(BnfConverterTest, MissingRootRuleWritesTheFirstRuleAgain) {
  Element* grammar = Grammar("nowhere", {Rule("a", {Item("x")}), Rule("b", {Item("z")})});
  EXPECT_EQ(Bnf().ConvertGrammar(*grammar), "$a = x ;\n$b = z ;\n$a = x ;\n\n($nowhere)\n");
}

TEST(BnfConverterTest, OnlyRuleChildrenBecomeRules) {
  Element* grammar = Grammar("cmd", {});
  Add(grammar, Make("PCDATA", {}, "a comment line"));
  Add(grammar, Make("meta", {Attribute("name", "author")}));
  Add(grammar, Make("tag", {}, "out.x=1"));
  Add(grammar, Rule("cmd", {Item("go")}));
  EXPECT_EQ(Bnf().ConvertGrammar(*grammar), "$cmd = go ;\n\n($cmd)\n");
  // A grammar without any rule writes only its main expression.
  EXPECT_EQ(Bnf().ConvertGrammar(*Grammar("cmd", {Make("meta")})), "\n($cmd)\n");
}

TEST(BnfConverterTest, OneOfJoinsOnlyItsItems) {
  Element* oneOf = OneOf({"yes", "no"});
  Add(oneOf, Make("PCDATA", {}, "trailing text"));
  EXPECT_EQ(Bnf().ConvertOneOf(*oneOf), "(yes |no )");
  Element* leading = Make("one-of");
  Add(leading, Make("tag", {}, "x"));
  Add(leading, Item("a"));
  EXPECT_EQ(Bnf().ConvertOneOf(*leading), "(a )");
}

TEST(BnfConverterTest, ItemWithChildrenKeepsItsOwnTextAndDropsTags) {
  Element* item = NewElement(Element("item", "anonymous", "sports</item>", {}));
  Add(item, Make("tag", {}, "sport"));
  EXPECT_EQ(Bnf().ConvertItem(*item), "sports ");
  Element* nested = Make("item", {Attribute("repeat", "0-1")});
  Add(nested, OneOf({"a", "b"}));
  Add(nested, Item("c"));
  EXPECT_EQ(Bnf().ConvertItem(*nested), "[(a |b )c ]");
}

// Words may hold a caller's text (a choice made of a <value>): what the
// notation reads as syntax becomes a blank, so no word adds a rule, an
// alternative or a line.
TEST(BnfConverterTest, WordsNeverWriteSyntax) {
  Element* choices = NewChoiceGrammar();
  SetChoiceItems(*choices, {{"x);\n$evil = (y", ""}, {"a|b [c] {d} <e>\tf", ""}});
  EXPECT_EQ(Bnf().ConvertGrammar(*choices),
            "$main = (x    evil    y |a b  c   d   e  f );\n\n($main)\n");
  Element* rule = Rule("r", {Make("PCDATA", {}, "go;$x=y\x7f"), Item("\x01stop")});
  EXPECT_EQ(Bnf().ConvertRule(*rule), "$r = go  x y   stop ;\n");
}

struct RepeatCase {
  const char* repeat;
  std::string expected;  // for the item "red"
};

std::string Copies(const std::string& text, int count) {
  std::string result;
  for (int i = 0; i < count; ++i) result += text;
  return result;
}

class RepeatTest : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatTest, ItemRepeatKeepsItsWords) {
  EXPECT_EQ(Bnf().ConvertItem(*Item("red", GetParam().repeat)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RepeatTest,
    ::testing::Values(
        RepeatCase{"", "red "}, RepeatCase{"0-1", "[red ]"}, RepeatCase{"0-", "{red }"},
        RepeatCase{"1-", "<red >"}, RepeatCase{"3", " red  red  red "}, RepeatCase{"1-1", " red "},
        RepeatCase{"2-4", " red  red  [red ] [red ]"}, RepeatCase{"2-", " red  red  {red }"},
        RepeatCase{"0-3", " [red ] [red ] [red ]"}, RepeatCase{"0", ""},
        RepeatCase{"4-2", " red  red  red  red "}, RepeatCase{"x", ""}, RepeatCase{"-3", ""},
        RepeatCase{"1000", Copies(" red ", bnf::kMaxRepeatCopies)},
        RepeatCase{"99999999999999999999", Copies(" red ", bnf::kMaxRepeatCopies)},
        RepeatCase{"0-5000", Copies(" [red ]", bnf::kMaxRepeatCopies)}));

// A rule "city" of one one-of whose items are "item000001" ... (10 letters
// each, so a "|" every 12 characters) and a last item of `lastLength`
// letters. Returns the rule and the item expansions.
Element* LongRule(int items, std::size_t lastLength, std::vector<std::string>& expansions) {
  Element* oneOf = Make("one-of");
  for (int i = 1; i <= items; ++i) {
    std::string text = std::to_string(i);
    text = "item" + std::string(6 - text.size(), '0') + text;
    Add(oneOf, Item(text));
    expansions.push_back(text + " ");
  }
  const std::string last(lastLength, 'z');
  Add(oneOf, Item(last));
  expansions.push_back(last + " ");
  return Rule("city", {oneOf});
}

std::string Join(const std::vector<std::string>& parts, std::size_t first, std::size_t end) {
  std::string joined;
  for (std::size_t i = first; i < end; ++i) joined += (i > first ? "|" : "") + parts[i];
  return joined;
}

TEST(LongRuleTest, ExpansionOf2500CharactersGivesFourLines) {
  std::vector<std::string> items;
  Element* rule = LongRule(207, 13, items);  // 1 + 207 * 12 + 14 + 1 = 2500 characters
  ASSERT_EQ(Bnf().ConvertOneOf(*rule->children[0]).size(), 2500u);
  // The first "|" at or after 1000 is at 1008 (after 84 items), after 2000 at 2004.
  EXPECT_EQ(Bnf().ConvertRule(*rule), "$city1 = (" + Join(items, 0, 84) + ");\n" +
                                         "$city2 = $city1| (" + Join(items, 84, 167) + ");\n" +
                                         "$city3 = $city2| (" + Join(items, 167, items.size()) +
                                         ");\n" + "$city = $city3;\n");
}

TEST(LongRuleTest, ThousandCharactersStayOnOneLine) {
  std::vector<std::string> items;
  Element* rule = LongRule(82, 13, items);  // 1 + 82 * 12 + 14 + 1 = 1000
  EXPECT_EQ(Bnf().ConvertRule(*rule), "$city = (" + Join(items, 0, items.size()) + ");\n");
}

TEST(LongRuleTest, WithoutBarAfterTheMarkTheLastOneBeforeIsCut) {
  std::vector<std::string> items;
  Element* rule = LongRule(82, 14, items);  // 1001 characters, last "|" at 984
  EXPECT_EQ(Bnf().ConvertRule(*rule), "$city1 = (" + Join(items, 0, 82) + ");\n" +
                                         "$city2 = $city1| (" + items.back() + ");\n" +
                                         "$city = $city2;\n");
}

// Every line of a split rule must hold balanced parentheses, and the pieces
// joined by "|" must give back the expansion.
void ExpectSoundSplit(const std::string& text, const std::string& expansion) {
  std::vector<std::string> bodies;  // each line's text after "(" less its ";"
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    int depth = 0;
    for (char c : line) depth += (c == '(') - (c == ')');
    EXPECT_EQ(depth, 0) << line;
    const std::size_t open = line.find(" (");
    if (open != std::string::npos) bodies.push_back(line.substr(open + 2, line.size() - open - 3));
  }
  ASSERT_GE(bodies.size(), 2u) << text;
  std::string joined = "(";
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    const bool last = i + 1 == bodies.size();  // keeps the expansion's own ")"
    joined += (i ? "|" : "") + (last ? bodies[i] : bodies[i].substr(0, bodies[i].size() - 1));
  }
  EXPECT_EQ(joined, expansion);
}

TEST(LongRuleTest, NestedOneOfIsNeverCut) {
  // "(a |(w001 |w002 |...) |tail1 |tail2 ...)": the nested one-of spans the
  // 1000 mark, so the first cut is the top-level "|" right after it.
  Element* outer = Make("one-of");
  Add(outer, Item("a"));
  std::vector<std::string> words;
  for (int i = 0; i < 150; ++i) words.push_back("w" + std::to_string(1000 + i));
  Element* nestedItem = Add(outer, Make("item"));
  Add(nestedItem, OneOf(words));
  for (int i = 0; i < 120; ++i) Add(outer, Item("tail" + std::to_string(100 + i)));
  Element* rule = Rule("city", {outer});
  const std::string expansion = Bnf().ConvertOneOf(*outer);
  ASSERT_GT(expansion.size(), 2000u);
  const std::string text = Bnf().ConvertRule(*rule);
  const std::size_t nestedEnd = expansion.find(')');
  const std::string firstLine = text.substr(0, text.find('\n'));
  EXPECT_EQ(firstLine, "$city1 = (" + expansion.substr(1, nestedEnd) + ");");
  ExpectSoundSplit(text, expansion);
}

TEST(LongRuleTest, WithoutTopLevelBarTheRuleStaysWhole) {
  std::vector<std::string> words;
  for (int i = 0; i < 300; ++i) words.push_back("w" + std::to_string(1000 + i));
  Element* item = Make("item");
  Add(item, OneOf(words));
  Element* outer = Make("one-of");
  Add(outer, item);
  const std::string expansion = Bnf().ConvertOneOf(*outer);
  ASSERT_GT(expansion.size(), 1000u);
  EXPECT_EQ(Bnf().ConvertRule(*Rule("city", {outer})), "$city = " + expansion + ";\n");
  // Two top-level groups side by side are not one one-of either.
  Element* twoGroups = Rule("city", {OneOf(words), OneOf({"x", "y"})});
  const std::string text = Bnf().ConvertRule(*twoGroups);
  EXPECT_EQ(text.find("$city1"), std::string::npos);
}

TEST(BnfFilePathTest, NameAfterLastSlashKeepsItsExtension) {
  EXPECT_EQ(bnf::BnfFilePath("grammars/city.grxml"), "lang_resources/grammars/temp/city.grxml.bnf");
  EXPECT_EQ(bnf::BnfFilePath("city.grxml"), "lang_resources/grammars/temp/city.grxml.bnf");
  EXPECT_EQ(bnf::BnfFilePath("lang_resources/grammars/temp/GoTo#form2"),
            "lang_resources/grammars/temp/GoTo#form2.bnf");
  // A backslash ends a folder name too: no name leads out of the temp folder.
  EXPECT_EQ(bnf::BnfFilePath("..\\..\\evil"), "lang_resources/grammars/temp/evil.bnf");
}

// The limit holds for the whole grammar: three nested repeats of a 95-letter
// word (gigabytes in full) stop at it, and so do rules that fit one by one.
TEST(BnfLimitTest, GrammarIsCutAtItsLimitAfterTheRulesThatFit) {
  Element* inner = Item(std::string(95, 'w'), "100-200");
  for (int level = 0; level < 2; ++level) {
    Element* outer = Make("item", {Attribute("repeat", "100-200")});
    Add(outer, inner);
    inner = outer;
  }
  bnf::Converter converter;
  Element* deep = Grammar("main", {Rule("ok", {Item("x")}), Rule("main", {inner})});
  EXPECT_EQ(converter.ConvertGrammar(*deep), "$ok = x ;\n");
  EXPECT_TRUE(converter.Cut());
  bnf::Converter small(60);  // each rule line takes 28 bytes
  Element* grammar = Grammar("c", {Rule("a", {Item(std::string(20, 'a'))}),
                                   Rule("b", {Item(std::string(20, 'b'))}),
                                   Rule("c", {Item("c")})});
  EXPECT_EQ(small.ConvertGrammar(*grammar), "$a = " + std::string(20, 'a') + " ;\n$b = " +
                                                std::string(20, 'b') + " ;\n");
  EXPECT_TRUE(small.Cut());
}

}  // namespace
