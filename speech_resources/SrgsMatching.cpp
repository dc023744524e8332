// The SRGS matcher of the semantic resolver: an utterance matched word by
// word against a grammar tree, and the rule results it leaves in SmResult.
#include <algorithm>
#include <string>

#include "interpreter/common/Entities.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ScriptLiteral.h"
#include "speech_resources/BnfConverter.h"
#include "speech_resources/GrammarEntry.h"
#include "speech_resources/GrammarManager.h"
#include "speech_resources/SemanticResolver.h"

namespace {

// A <rule> that can be matched, initialised and referred to: one with an id.
bool IsNamedRule(const Element& element) {
  return element.tagName == "rule" && !element.GetAttribute("id").empty();
}

// An id that can follow a "." in a script command as it stands.
bool IsIdentifier(const std::string& id) {
  return !id.empty() && id.find('.') == std::string::npos && IsPlainName(id);
}

bool IsRepeated(const Element& item) {
  const std::string repeat = item.GetAttribute("repeat");
  return repeat == "1-" || repeat == "0-";
}

// The item's "tag", else that of its nearest ancestor below the grammar,
// with its entities decoded (it is the grammar's own text).
std::string SemanticText(const Element& item, const Element* grammar) {
  std::string text = item.GetAttribute("tag");
  for (const Element* above = item.parent;
       text.empty() && above != nullptr && above != grammar && above->tagName != "grammar";
       above = above->parent) {
    text = above->GetAttribute("tag");
  }
  return entities::Decode(text);
}

// An element matched by its words: one without children, or whose children
// are only text lines and <tag> elements (which are not interpreted).
bool IsLeaf(const Element& element) {
  return std::all_of(element.children.begin(), element.children.end(), [](const Element* child) {
    return child->tagName == "PCDATA" || child->tagName == "tag";
  });
}

// The words of a leaf: its own text, then its text lines, one blank between,
// as the BNF file the recogniser listens with holds them.
std::string LeafWords(const Element& leaf) {
  std::string words = leaf.GetText();
  for (const Element* child : leaf.children) {
    if (child->tagName != "PCDATA") continue;
    const std::string line = child->GetText();
    if (line.empty()) continue;
    words += (words.empty() ? "" : " ") + line;
  }
  return words;
}

}  // namespace

int SemanticResolver::BuildSmResult(const Element* grammar) {
  if (grammar == nullptr) {
    grammars_->MainLog()->Error("SRGS: the grammar " + currentEntry_->name +
                                " has no grammar tree to match");
    return 0;
  }
  wordStart_ = 0;
  wordEnd_ = 0;
  grammar_ = grammar;
  rulesById_.clear();
  for (const Element* rule : grammar->children) {
    if (IsNamedRule(*rule)) rulesById_[rule->GetAttribute("id")].push_back(rule);
  }
  activeRules_.clear();
  stepsLeft_ = kStepsPerMatching;
  assignedBytesLeft_ = kAssignedBytesPerMatching;
  stopReason_.clear();
  resultPath_ = "SmResult." + currentEntry_->itemName;
  const Element* root = bnf::RootRule(*grammar);
  StartResult(*grammar, root);
  if (root == nullptr) return 0;
  rootMode_ = true;
  const int status = MatchRuleBody(*root);
  if (!stopReason_.empty()) {
    matched_ = false;
    grammars_->MainLog()->Error("SRGS: matching the grammar " + currentEntry_->name + " " +
                                stopReason_ + "; the utterance is taken as not matched");
    return 0;
  }
  const std::string tag = root->GetAttribute("tag");
  if (!tag.empty()) {
    grammars_->Scopes()->ExecuteCommand(resultPath_ + "=" + QualifyRuleNames(tag, *grammar),
                                        nullptr, false, EcmaScopes::kShortSize);
  }
  return status;
}

void SemanticResolver::StartResult(const Element& grammar, const Element* root) {
  EcmaScopes& scopes = *grammars_->Scopes();
  scopes.ExecuteBuilt(resultPath_ + " = new Object()");
  const std::string rootId = root != nullptr ? root->GetAttribute("id") : "";
  for (const Element* rule : grammar.children) {
    if (IsNamedRule(*rule) && rule->GetAttribute("id") != rootId) {
      scopes.ExecuteBuilt(RuleProperty(rule->GetAttribute("id")) + " ='';");
    }
  }
}

std::string SemanticResolver::RuleProperty(const std::string& id) const {
  if (IsIdentifier(id)) return resultPath_ + "." + id;
  return resultPath_ + "[\"" + EscapeScriptString(id) + "\"]";
}

bool SemanticResolver::Spend(std::size_t amount, std::size_t* left, std::size_t bound,
                             const char* unit) {
  if (!stopReason_.empty()) return false;
  if (amount > *left) {
    stopReason_ = "took more than " + std::to_string(bound) + " " + unit;
    return false;
  }
  *left -= amount;
  return true;
}

bool SemanticResolver::Charge(std::size_t steps) {
  return Spend(steps, &stepsLeft_, kStepsPerMatching, "steps");
}

bool SemanticResolver::Visit(const Element& element) {
  std::size_t steps = kStepsPerVisit + element.sourceText.size();
  for (const Element* child : element.children) steps += 1 + child->sourceText.size();
  return Charge(steps);
}

int SemanticResolver::NotEntered(const std::string& line) {
  if (Charge(line.size() * kStepsPerLoggedByte)) grammars_->MainLog()->Error(line);
  return 0;
}

int SemanticResolver::MatchRuleBody(const Element& rule) {
  if (!Visit(rule) || !Charge(activeRules_.size())) return 0;
  const std::string id = rule.GetAttribute("id");
  const std::pair<const Element*, std::size_t> here(&rule, wordEnd_);
  if (std::find(activeRules_.begin(), activeRules_.end(), here) != activeRules_.end()) {
    return NotEntered("SRGS: the rule " + id +
                      " is being matched at this word already; not entered again");
  }
  if (activeRules_.size() == kMaxRuleDepth) {
    return NotEntered("SRGS: rules nest deeper than " + std::to_string(kMaxRuleDepth) +
                      "; the rule " + id + " is not entered");
  }
  activeRules_.push_back(here);
  ruleName_ = id;
  const bool ofWords = IsLeaf(rule) && !LeafWords(rule).empty();
  const int status = ofWords ? MatchLeaf(rule) : MatchChildren(rule, true);
  activeRules_.pop_back();
  return status;
}

int SemanticResolver::MatchChildren(const Element& parent, bool stopWhenComplete) {
  int status = 0;
  for (const Element* child : parent.children) {
    if (!stopReason_.empty()) return 0;
    const std::string& tag = child->tagName;
    if (tag == "ruleref") {
      rootMode_ = false;
      status = MatchRuleref(*child);
    } else if (tag == "one-of") {
      status = MatchOneOf(*child);
    } else if (tag == "item") {
      status = MatchRepeated(*child);
      if (stopWhenComplete && complete_ && matched_) break;
    } else if (tag == "PCDATA" && !TakeWords(child->GetText())) {
      return 0;  // words of the sequence not said: the rest cannot follow them
    }
  }
  return status;
}

int SemanticResolver::MatchRepeated(const Element& item) {
  if (!IsRepeated(item)) return MatchElement(item);
  for (;;) {
    const std::size_t before = wordEnd_;
    if (MatchElement(item) != 1 || wordEnd_ == before) return 0;
  }
}

int SemanticResolver::MatchRuleref(const Element& ruleref) {
  const std::string uri = ruleref.GetAttribute("uri");
  const std::string id = uri.empty() ? "" : uri.substr(1);
  int status = 0;
  const auto rules = rulesById_.find(id);
  if (rules == rulesById_.end()) return 0;
  for (const Element* rule : rules->second) status = MatchRuleBody(*rule);
  return status;
}

int SemanticResolver::MatchOneOf(const Element& oneOf) {
  int status = 0;
  for (const Element* child : oneOf.children) {
    status = MatchRepeated(*child);
    if (status == 1) return 1;
  }
  return status;
}

int SemanticResolver::MatchElement(const Element& element) {
  if (!Visit(element)) return 0;
  const int status = IsLeaf(element) ? MatchLeaf(element) : MatchChildren(element, false);
  complete_ = wordEnd_ >= utterance_.size();
  return status;
}

int SemanticResolver::MatchLeaf(const Element& item) {
  const std::string words = LeafWords(item);
  const bool taken = TakeWords(words);
  // Taken, or the whole utterance when nothing else matched.
  if (!stopReason_.empty() || (!taken && (words != utterance_ || matched_))) return 0;
  Accept(item, words);
  return 1;
}

bool SemanticResolver::TakeWords(const std::string& words) {
  const std::size_t start = wordStart_;
  const std::size_t end = wordEnd_;
  std::string candidate = NextWord();
  bool found = candidate == words;
  while (!found && candidate.size() < words.size()) {
    const std::string word = NextWord();
    if (word.empty()) break;
    candidate += ' ' + word;
    found = candidate == words;
  }
  if (!Charge(wordEnd_ - end) || !found) {
    wordStart_ = start;
    wordEnd_ = end;
    return false;
  }
  return true;
}

void SemanticResolver::Accept(const Element& leaf, const std::string& words) {
  const std::string semanticText = SemanticText(leaf, grammar_);
  const std::string property = rootMode_ ? resultPath_ : RuleProperty(ruleName_);
  const std::string assignment = property + (rootMode_ ? "=" : "+=") +
                                 QuoteScriptString(semanticText.empty() ? words : semanticText);
  if (!Spend(assignment.size(), &assignedBytesLeft_, kAssignedBytesPerMatching,
             "bytes of assignments")) {
    return;
  }
  grammars_->Scopes()->ExecuteBuilt(assignment, EcmaScopes::kShortSize);
  matched_ = true;
}

std::string SemanticResolver::NextWord() {
  wordStart_ = wordEnd_;
  const std::size_t blank = utterance_.find(' ', wordStart_);
  if (blank != std::string::npos) {
    wordEnd_ = blank + 1;
    return utterance_.substr(wordStart_, blank - wordStart_);
  }
  if (wordStart_ >= utterance_.size()) return "";  // word end stays at the start
  wordEnd_ = utterance_.size();
  return utterance_.substr(wordStart_);
}

std::string SemanticResolver::QualifyRuleNames(const std::string& expression,
                                               const Element& grammar) const {
  std::string result = expression;
  std::size_t from = 0;
  for (const Element* rule : grammar.children) {
    if (!IsNamedRule(*rule)) continue;
    const std::string id = rule->GetAttribute("id");
    const std::size_t at = result.find(id, from);
    if (at == std::string::npos) continue;
    result.replace(at, id.size(), RuleProperty(id));
    from = at + resultPath_.size() + 1;
  }
  return result;
}
