// SRGS grammar trees turned into the BNF notation the recogniser reads (the
// notation of HTK's HParse): one line per rule, "$" + id + " = " + expansion
// + ";", "|" between alternatives, [ ] optional, { } zero or more, < > one or
// more, and the parenthesised main expression "($" + root + ")" at the end.
//
// Only <grammar>, <rule>, <one-of>, <item> (with "repeat"), <ruleref> and the
// words of rules and items are converted; everything else (<tag>, <meta>,
// <example>, text outside rules ...) is dropped. The tree is read through
// Element::GetAttribute and Element::GetText and never changed.
//
// Words may hold a caller's text (a menu choice made of a <value>): in the
// words written, every character the notation reads as syntax ("$", ";", "|",
// "=", the brackets and control characters) becomes a blank, so a word can
// never add a rule, an alternative or a group. Rule names and references are
// written as the grammar gives them.
//
// The BNF text of one grammar is bounded: the converter counts every byte
// it keeps, and a text that would pass its limit is not built. The
// conversion stops there and the grammar's text holds the rules completed
// before (Cut() tells).
#pragma once
#include <algorithm>
#include <cstddef>
#include <string>

class Element;

namespace bnf {

// Folder of every generated grammar file and of the generated grammar names.
inline constexpr char kTempFolder[] = "lang_resources/grammars/temp/";
// An expansion longer than this is split over several chained rules.
inline constexpr std::size_t kMaxRuleLength = 1000;
// The largest count a "repeat" value may give.
inline constexpr int kMaxRepeatCopies = 100;
// The longest BNF text of one grammar.
inline constexpr std::size_t kMaxBnfBytes = 1 << 20;

// The rule a grammar is entered by: the last <rule> child whose "id" equals
// the grammar's "root" attribute, else its first <rule> child (a grammar
// without "root" included); null when it has no <rule> child. The BNF writer
// and the SRGS matcher both take it.
const Element* RootRule(const Element& grammar);

// Converts grammar trees within a limit of bytes: every text a Convert
// operation returns stays counted against the limit of its converter (as part
// of a larger text once the converter has taken it in).
class Converter {
 public:
  explicit Converter(std::size_t limit = kMaxBnfBytes) : limit_(limit) {}

  // The whole file text of a grammar whose root element is `grammar`: every
  // <rule> child whose "id" differs from the "root" attribute, in order; then
  // the root rule (RootRule; a first <rule> taken for want of one with the
  // root's id is written twice; nothing when there is no <rule>);
  // then "\n($" + root + ")\n". Once cut: the rules completed before.
  std::string ConvertGrammar(const Element& grammar);

  // "$" + id + " = " + expansion + ";\n", or the lines of SplitLongRule when
  // the expansion is longer than kMaxRuleLength. The expansion is the rule's
  // own text and a blank when that text is not empty, then, in order, each
  // text line and its blank, each <one-of> and <item> child, and each
  // <ruleref> child followed by one blank. A blank always parts a rule name
  // from a word or a name right after it.
  std::string ConvertRule(const Element& rule);

  // "(" + the expansions of the <item> children joined by "|" + ")".
  std::string ConvertOneOf(const Element& oneOf);

  // The item's expansion Y under its "repeat" (ConvertRepeat). Without children
  // Y is the item's text and one blank. With children Y is its own text and a
  // blank when that text is not empty, then, in order, each text line and its
  // blank, each <one-of> and <item> child, and each <ruleref> child after one
  // blank; a blank parts a rule name from a word or a name right after it.
  std::string ConvertItem(const Element& item);

  // "0-1" -> "[Y]", "0-" -> "{Y}", "1-" -> "<Y>", "" -> Y. Otherwise a count m
  // read from the leading digits ("" when there are none) gives m copies " Y";
  // "m-n" adds n-m optional copies " [Y]", "m-" adds " {Y}". Counts above
  // kMaxRepeatCopies count as kMaxRepeatCopies. Y is a text this converter
  // returned.
  std::string ConvertRepeat(const std::string& repeat, std::string expansion);

  // The rule text of an expansion longer than kMaxRuleLength (a text this
  // converter returned). The expansion is cut only at a "|" of its outermost
  // parenthesised group: for each multiple of kMaxRuleLength, at the first
  // such "|" at or after it, else at the last one before it, else not at all
  // (a cut at or before the previous one is left out). Without a cut the rule
  // stays on one line. With pieces p1..pK:
  //   "$id1 = (p1);\n", "$idj = $id(j-1)| (pj);\n" for 1 < j < K,
  //   "$idK = $id(K-1)| (pK;\n" (pK keeps the closing parenthesis),
  //   "$id = $idK;\n".
  // Joining p1..pK with "|" gives back the expansion less its first character.
  std::string SplitLongRule(const std::string& id, std::string expansion);

  // True once a text did not fit the limit.
  bool Cut() const { return cut_; }

 private:
  // Appends the text when it fits the limit, else marks the cut.
  void Add(std::string& to, const std::string& text);
  // Appends a text this converter returned (already counted).
  static void Take(std::string& to, const std::string& built) { to += built; }
  // Stops counting a text this converter returned.
  void Drop(const std::string& built) { used_ -= std::min(used_, built.size()); }
  // The words and child expansions of a rule or an item.
  void AddChildren(std::string& expansion, const Element& parent, bool blankBeforeRuleref);
  // Adds a blank when the expansion ends and the next text starts with a
  // word or a rule name, which would otherwise run into one.
  void Separate(std::string& expansion, const std::string& next);
  // `copies` times the text, each time after the prefix and before the suffix.
  void AddCopies(std::string& to, const std::string& text, int copies, const char* prefix,
                 const char* suffix);

  std::size_t limit_;
  std::size_t used_ = 0;
  bool cut_ = false;
};

// The "uri" attribute, "#" at its start replaced by "$" ("#city" -> "$city").
std::string ConvertRuleref(const Element& ruleref);

// kTempFolder + the part of `name` after its last "/" or "\\" (all of it when there
// is none) + ".bnf"; the name's own extension stays.
std::string BnfFilePath(const std::string& name);

}  // namespace bnf
