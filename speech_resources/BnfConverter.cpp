#include "speech_resources/BnfConverter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "interpreter/Element.h"
#include "platform/LocalPath.h"
#include "speech_resources/GrammarEntry.h"
#include "speech_resources/GrammarManager.h"

namespace bnf {

namespace {

// Copies of the text, as many as fit kMaxExpansionBytes: nested repeats
// multiply, and an unbounded expansion could exhaust memory.
std::string Repeated(const std::string& text, int copies) {
  std::string result;
  for (int copy = 0; copy < copies && result.size() + text.size() <= kMaxExpansionBytes; ++copy) {
    result += text;
  }
  return result;
}

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

bool IsOpening(char c) { return c == '(' || c == '[' || c == '{' || c == '<'; }
bool IsClosing(char c) { return c == ')' || c == ']' || c == '}' || c == '>'; }

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

std::string ConvertGrammar(const Element& grammar) {
  const std::string root = grammar.GetAttribute("root");
  std::string text;
  const Element* rootRule = nullptr;
  const Element* firstRule = nullptr;
  for (const Element* child : grammar.children) {
    if (child->tagName != "rule") continue;
    if (firstRule == nullptr) firstRule = child;
    if (child->GetAttribute("id") != root) {
      text += ConvertRule(*child);
    } else {
      rootRule = child;
    }
  }
  if (rootRule == nullptr) rootRule = firstRule;
  if (rootRule != nullptr) text += ConvertRule(*rootRule);
  return text + "\n($" + root + ")\n";
}

std::string ConvertRule(const Element& rule) {
  const std::string id = rule.GetAttribute("id");
  std::string expansion;
  for (const Element* child : rule.children) {
    if (child->tagName == "one-of") {
      expansion += ConvertOneOf(*child);
    } else if (child->tagName == "item") {
      expansion += ConvertItem(*child);
    } else if (child->tagName == "ruleref") {
      expansion += ConvertRuleref(*child) + " ";
    }
  }
  if (expansion.size() > kMaxRuleLength) return SplitLongRule(id, expansion);
  return "$" + id + " = " + expansion + ";\n";
}

std::string ConvertOneOf(const Element& oneOf) {
  std::string expansion = "(";
  bool first = true;
  for (const Element* child : oneOf.children) {
    if (child->tagName != "item") continue;
    if (!first) expansion += "|";
    expansion += ConvertItem(*child);
    first = false;
  }
  return expansion + ")";
}

std::string ConvertItem(const Element& item) {
  const std::string text = item.GetText();
  std::string expansion;
  if (item.children.empty()) {
    expansion = text + " ";
  } else {
    if (!text.empty()) expansion = text + " ";
    for (const Element* child : item.children) {
      if (child->tagName == "one-of") {
        expansion += ConvertOneOf(*child);
      } else if (child->tagName == "item") {
        expansion += ConvertItem(*child);
      } else if (child->tagName == "ruleref") {
        expansion += " " + ConvertRuleref(*child);
      }
    }
  }
  return ConvertRepeat(item.GetAttribute("repeat"), expansion);
}

std::string ConvertRuleref(const Element& ruleref) {
  std::string uri = ruleref.GetAttribute("uri");
  if (!uri.empty() && uri.front() == '#') uri.front() = '$';
  return uri;
}

std::string ConvertRepeat(const std::string& repeat, const std::string& expansion) {
  if (repeat == "0-1") return "[" + expansion + "]";
  if (repeat == "0-") return "{" + expansion + "}";
  if (repeat == "1-") return "<" + expansion + ">";
  if (repeat.empty()) return expansion;
  std::size_t position = 0;
  const int least = ReadCount(repeat, position);
  if (least < 0) return "";  // no count: no copy
  std::string result = Repeated(" " + expansion, least);
  if (position >= repeat.size() || repeat[position] != '-') return result;
  ++position;
  if (position == repeat.size()) return result + " {" + expansion + "}";
  const int most = ReadCount(repeat, position);
  return result + Repeated(" [" + expansion + "]", std::max(most - least, 0));
}

std::string SplitLongRule(const std::string& id, const std::string& expansion) {
  const std::vector<std::size_t> cuts = CutPoints(expansion);
  if (cuts.empty()) return "$" + id + " = " + expansion + ";\n";
  std::vector<std::string> pieces;
  std::size_t start = 1;  // after the opening parenthesis
  for (std::size_t cut : cuts) {
    pieces.push_back(expansion.substr(start, cut - start));
    start = cut + 1;
  }
  pieces.push_back(expansion.substr(start));
  const std::size_t last = pieces.size();
  std::string text = PartName(id, 1) + " = (" + pieces[0] + ");\n";
  for (std::size_t j = 2; j <= last; ++j) {
    text += PartName(id, j) + " = " + PartName(id, j - 1) + "| (" + pieces[j - 1] +
            (j < last ? ");\n" : ";\n");
  }
  return text + "$" + id + " = " + PartName(id, last) + ";\n";
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
  if (entry.grammarTree != nullptr) file << bnf::ConvertGrammar(*entry.grammarTree);
}
