#include "speech_resources/BnfConverter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "platform/LocalPath.h"
#include "speech_resources/GrammarEntry.h"
#include "speech_resources/GrammarManager.h"

namespace bnf {

namespace {

// The repeats written as one bracketed copy.
struct Brackets {
  const char* repeat;
  const char* open;
  const char* close;
};
const std::array<Brackets, 3> kBrackets = {{{"0-1", "[", "]"}, {"0-", "{", "}"}, {"1-", "<", ">"}}};

// Reads the decimal digits at `position`, moving past them; the value stops
// growing at kMaxRepeatCopies. -1 when there is no digit.
int ReadCount(const std::string& text, std::size_t& position) {
  int count = -1;
  while (position < text.size() && std::isdigit(static_cast<unsigned char>(text[position]))) {
    count = std::min(std::max(count, 0) * 10 + (text[position] - '0'), kMaxRepeatCopies);
    ++position;
  }
  return count;
}

// The words as the notation may hold them: every character it reads as
// syntax, and every control character, made a blank.
std::string Words(std::string text) {
  for (char& c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::strchr("$;|()[]{}<>=", c) != nullptr) c = ' ';
  }
  return text;
}

bool IsOpening(char c) { return c == '(' || c == '[' || c == '{' || c == '<'; }
bool IsClosing(char c) { return c == ')' || c == ']' || c == '}' || c == '>'; }

// A character of a word or a rule name: neither a blank nor an operator.
bool IsWordCharacter(char c) { return c != ' ' && c != '|' && !IsOpening(c) && !IsClosing(c); }

// Positions of the "|" that separate the alternatives of the expansion's
// outermost group; none unless the whole expansion is one "(" ... ")" group.
std::vector<std::size_t> TopLevelBars(const std::string& expansion) {
  std::vector<std::size_t> bars;
  if (expansion.empty() || expansion.front() != '(') return bars;
  int depth = 0;
  for (std::size_t position = 0; position < expansion.size(); ++position) {
    const char c = expansion[position];
    if (IsOpening(c)) ++depth;
    if (IsClosing(c)) --depth;
    if (c == '|' && depth == 1) bars.push_back(position);
    if (depth <= 0 && position + 1 < expansion.size()) return {};
  }
  if (depth != 0 || expansion.back() != ')') return {};
  return bars;
}

std::vector<std::size_t> CutPoints(const std::string& expansion) {
  const std::vector<std::size_t> bars = TopLevelBars(expansion);
  std::vector<std::size_t> cuts;
  const std::size_t pieces = expansion.size() / kMaxRuleLength + 1;
  for (std::size_t j = 1; j < pieces && !bars.empty(); ++j) {
    const std::size_t mark = j * kMaxRuleLength;
    auto at = std::lower_bound(bars.begin(), bars.end(), mark);
    if (at == bars.end()) --at;  // the last "|" before the mark
    if (!cuts.empty() && *at <= cuts.back()) continue;
    cuts.push_back(*at);
  }
  return cuts;
}

std::string PartName(const std::string& id, std::size_t number) {
  return "$" + id + std::to_string(number);
}

}  // namespace

const Element* RootRule(const Element& grammar) {
  const std::string root = grammar.GetAttribute("root");
  const Element* rootRule = nullptr;
  const Element* firstRule = nullptr;
  for (const Element* child : grammar.children) {
    if (child->tagName != "rule") continue;
    if (firstRule == nullptr) firstRule = child;
    if (child->GetAttribute("id") == root) rootRule = child;
  }
  return rootRule != nullptr ? rootRule : firstRule;
}

std::string Converter::ConvertGrammar(const Element& grammar) {
  const std::string root = grammar.GetAttribute("root");
  std::string text;
  for (const Element* child : grammar.children) {
    if (child->tagName != "rule" || child->GetAttribute("id") == root) continue;
    const std::string rule = ConvertRule(*child);
    if (cut_) return text;
    Take(text, rule);
  }
  if (const Element* rootRule = RootRule(grammar)) {
    const std::string rule = ConvertRule(*rootRule);
    if (cut_) return text;
    Take(text, rule);
  }
  Add(text, "\n($" + root + ")\n");
  return text;
}

std::string Converter::ConvertRule(const Element& rule) {
  const std::string id = rule.GetAttribute("id");
  std::string expansion;
  const std::string text = Words(rule.GetText());
  if (!text.empty()) Add(expansion, text + " ");
  AddChildren(expansion, rule, false);
  if (expansion.size() > kMaxRuleLength) return SplitLongRule(id, std::move(expansion));
  std::string ruleText;
  Add(ruleText, "$" + id + " = ");
  Take(ruleText, expansion);
  Add(ruleText, ";\n");
  return ruleText;
}

void Converter::AddChildren(std::string& expansion, const Element& parent,
                            bool blankBeforeRuleref) {
  for (const Element* child : parent.children) {
    if (cut_) return;
    if (child->tagName == "PCDATA") {
      const std::string words = Words(child->GetText()) + " ";
      Separate(expansion, words);
      Add(expansion, words);
    } else if (child->tagName == "one-of") {
      Take(expansion, ConvertOneOf(*child));
    } else if (child->tagName == "item") {
      const std::string item = ConvertItem(*child);
      Separate(expansion, item);
      Take(expansion, item);
    } else if (child->tagName == "ruleref") {
      const std::string ruleref = ConvertRuleref(*child);
      const std::string written = blankBeforeRuleref ? " " + ruleref : ruleref + " ";
      Separate(expansion, written);
      Add(expansion, written);
    }
  }
}

void Converter::Separate(std::string& expansion, const std::string& next) {
  if (!expansion.empty() && !next.empty() && IsWordCharacter(expansion.back()) &&
      IsWordCharacter(next.front())) {
    Add(expansion, " ");
  }
}

std::string Converter::ConvertOneOf(const Element& oneOf) {
  std::string expansion;
  Add(expansion, "(");
  bool first = true;
  for (const Element* child : oneOf.children) {
    if (cut_) break;
    if (child->tagName != "item") continue;
    if (!first) Add(expansion, "|");
    Take(expansion, ConvertItem(*child));
    first = false;
  }
  Add(expansion, ")");
  return expansion;
}

std::string Converter::ConvertItem(const Element& item) {
  const std::string text = Words(item.GetText());
  std::string expansion;
  if (item.children.empty() || !text.empty()) Add(expansion, text + " ");
  AddChildren(expansion, item, true);
  return ConvertRepeat(item.GetAttribute("repeat"), std::move(expansion));
}

std::string ConvertRuleref(const Element& ruleref) {
  std::string uri = ruleref.GetAttribute("uri");
  if (!uri.empty() && uri.front() == '#') uri.front() = '$';
  return uri;
}

std::string Converter::ConvertRepeat(const std::string& repeat, std::string expansion) {
  if (repeat.empty()) return expansion;
  Drop(expansion);  // from here on only its copies count
  std::string result;
  for (const Brackets& brackets : kBrackets) {
    if (repeat != brackets.repeat) continue;
    AddCopies(result, expansion, 1, brackets.open, brackets.close);
    return result;
  }
  std::size_t position = 0;
  const int least = ReadCount(repeat, position);
  if (least < 0) return result;  // no count: no copy
  AddCopies(result, expansion, least, " ", "");
  if (position >= repeat.size() || repeat[position] != '-') return result;
  ++position;
  if (position == repeat.size()) {
    AddCopies(result, expansion, 1, " {", "}");
    return result;
  }
  const int most = ReadCount(repeat, position);
  AddCopies(result, expansion, std::max(most - least, 0), " [", "]");
  return result;
}

void Converter::AddCopies(std::string& to, const std::string& text, int copies,
                          const char* prefix, const char* suffix) {
  for (int copy = 0; copy < copies && !cut_; ++copy) Add(to, prefix + text + suffix);
}

void Converter::Add(std::string& to, const std::string& text) {
  if (cut_ || used_ + text.size() > limit_) {
    cut_ = true;
    return;
  }
  used_ += text.size();
  to += text;
}

std::string Converter::SplitLongRule(const std::string& id, std::string expansion) {
  const std::vector<std::size_t> cuts = CutPoints(expansion);
  std::string text;
  Drop(expansion);  // the rule text counts instead
  if (cuts.empty()) {
    Add(text, "$" + id + " = " + expansion + ";\n");
    return text;
  }
  std::vector<std::string> pieces;
  std::size_t start = 1;  // after the opening parenthesis
  for (std::size_t cut : cuts) {
    pieces.push_back(expansion.substr(start, cut - start));
    start = cut + 1;
  }
  pieces.push_back(expansion.substr(start));
  const std::size_t last = pieces.size();
  Add(text, PartName(id, 1) + " = (" + pieces[0] + ");\n");
  for (std::size_t j = 2; j <= last; ++j) {
    Add(text, PartName(id, j) + " = " + PartName(id, j - 1) + "| (" + pieces[j - 1] +
                  (j < last ? ");\n" : ";\n"));
  }
  Add(text, "$" + id + " = " + PartName(id, last) + ";\n");
  return text;
}

std::string BnfFilePath(const std::string& name) {
  // A backslash ends a folder name too: the file always lands in the temp folder.
  const std::size_t slash = name.find_last_of("/\\");
  return kTempFolder + (slash == std::string::npos ? name : name.substr(slash + 1)) + ".bnf";
}

}  // namespace bnf

void GrammarManager::WriteBnf(GrammarEntry& entry) {
  const std::string path = bnf::BnfFilePath(entry.name);
  entry.recogniserUri = path;
  currentSource_ = path;
  const std::filesystem::path localPath = platform::LocalPath(path);
  std::error_code ignored;  // a folder that cannot be made shows when the file is opened
  std::filesystem::create_directories(localPath.parent_path(), ignored);
  std::ofstream file(localPath, std::ios::binary | std::ios::trunc);
  if (!file) {
    std::cout << "GRAMman: ERROR OPEN TEMP FILE >" << path << std::endl;
    return;
  }
  if (entry.grammarTree == nullptr) return;
  bnf::Converter converter;
  file << converter.ConvertGrammar(*entry.grammarTree);
  if (!converter.Cut()) return;
  mainLog_->Error("GRAMman: the BNF of the grammar " + entry.name + " would pass " +
                  std::to_string(bnf::kMaxBnfBytes) + " bytes; " + path +
                  " holds only the rules before the cut");
}
