#include "speech_resources/InternalGrammars.h"

#include <algorithm>
#include <iostream>
#include <utility>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "speech_resources/BnfConverter.h"
#include "speech_resources/GrammarManager.h"

namespace {

const char kExternalGrammarInChoice[] =
    "In choice element is not possible to use external grammars.";

// The link or choice target: "next" after its last "/", else "event", else "expr".
GeneratedGrammarName GoToName(const Element& parent) {
  GeneratedGrammarName generated;
  const std::string next = parent.GetAttribute("next");
  std::string target;
  if (!next.empty()) {
    const std::size_t slash = next.rfind('/');
    target = slash == std::string::npos ? next : next.substr(slash + 1);
  } else {
    target = parent.GetAttribute("event");
    if (target.empty()) {
      target = parent.GetAttribute("expr");
      generated.fromExpr = true;
    }
  }
  generated.name = bnf::kTempFolder + std::string("GoTo") + target;
  return generated;
}

Element* NewGrammarElement(const std::string& tagName, const std::string& sourceText,
                           std::vector<Attribute> attributes = {}) {
  return NewElement(Element(tagName, "anonymous", sourceText, std::move(attributes)));
}

}  // namespace

GeneratedGrammarName InternalGrammarName(const Element& parent) {
  const std::string& tag = parent.tagName;
  if (tag == "link" || tag == "choice") return GoToName(parent);
  const std::string folder = bnf::kTempFolder;
  if (tag == "form") return {folder + "FormLink_" + parent.GetAttribute("id")};
  if (tag == "field" || tag == "record" || tag == "transfer") {
    return {folder + "FieldLink_" + parent.GetAttribute("name")};
  }
  if (tag == "option") return {folder + "Option_" + parent.GetAttribute("value")};
  return {};
}

std::string ChoiceGrammarText(const Element& choice, EcmaScopes& scopes) {
  if (choice.children.empty()) return choice.GetText();
  std::string text;
  for (const Element* child : choice.children) {
    if (child->tagName == "PCDATA") {
      text = child->GetText();
    } else if (child->tagName == "value") {
      text = scopes.GetValue(child->GetAttribute("expr"));
    } else if (child->tagName == "grammar") {
      if (child->GetAttribute("src").empty()) {
        text = child->GetText();
      } else {
        std::cout << kExternalGrammarInChoice << std::endl;
      }
    }
  }
  return text;
}

Element* NewChoiceGrammar() {
  Element* grammar =
      NewGrammarElement("grammar", "<grammar root=\"main\" type=\"application/grammar+xml\">",
                        {Attribute("root", "main"), Attribute("type", "application/grammar+xml")});
  grammar->scope = "grammar";
  return grammar;
}

void SetChoiceItems(Element& grammar, const std::vector<ChoiceItem>& items) {
  Element* rule = NewGrammarElement("rule", "<rule id=\"main\">", {Attribute("id", "main")});
  Element* oneOf = NewGrammarElement("one-of", "<one-of>");
  rule->AppendChild(oneOf);
  for (const ChoiceItem& choice : items) {
    Element* item = NewGrammarElement("item", choice.text + "</item>");
    if (!choice.value.empty()) {
      item->AppendChild(NewGrammarElement("tag", "<tag>" + choice.value + "</tag>"));
    }
    oneOf->AppendChild(item);
  }
  grammar.children.clear();
  grammar.AppendChild(rule);
}

void GrammarManager::ServeInternalGrammar(Element* grammar, const std::string& scopeClass) {
  mainLog_->Message("Serve internal grammar");
  Element* parent = grammar != nullptr ? grammar->parent : nullptr;
  if (parent == nullptr) {
    mainLog_->Error("GRAMman: an inline grammar without a parent element is not registered");
    return;
  }
  const GeneratedGrammarName generated = InternalGrammarName(*parent);
  if (generated.fromExpr) std::cout << " do....aj s expr" << std::endl;
  GrammarEntry* entry = NewEntry(grammar, generated.name);
  if (entry == nullptr) return;
  entry->owner = parent;
  entry->holder = parent;
  entry->grammarTree = grammar;
  entry->itemName = currentIdentity_;
  entry->sourceFormat = "xml";
  entry->recogniserType = "bnf";
  entry->name = generated.name;
  entry->scopeClass = scopeClass;
  // SRGS rules written inline: so typed, or untyped markup holding a <rule>.
  const std::string type = grammar->GetAttribute("type");
  const bool holdsRules = std::any_of(grammar->children.begin(), grammar->children.end(),
                                      [](const Element* child) { return child->tagName == "rule"; });
  if (IsSrgsXmlType(type) || (type.empty() && holdsRules)) {
    WriteBnf(*entry);
  } else {
    entry->sourceFormat = "bnf";  // not SRGS: nothing to convert or to match against
  }
  std::cout << "URI:" << entry->name << std::endl;
  entry->dictionaryPath = DictionaryPath(entry->name);
}

void GrammarManager::BuildChoiceGrammar(Element* menuOrField) {
  if (menuOrField == nullptr) return;
  std::vector<ChoiceItem> items;
  Element* first = nullptr;
  for (Element* child : menuOrField->children) {
    if (child->tagName != "option" && child->tagName != "choice") continue;
    if (first == nullptr) first = child;
    items.push_back({ChoiceGrammarText(*child, *scopes_), child->GetAttribute("value")});
  }
  if (first == nullptr) {
    mainLog_->Error("GRAMman: the " + menuOrField->tagName +
                    " has no choice or option elements; no choice grammar is made");
    return;
  }
  Element*& grammar = choiceGrammars_[menuOrField];
  if (grammar == nullptr) grammar = NewChoiceGrammar();
  SetChoiceItems(*grammar, items);
  grammar->parent = first;  // not one of its children: the choice stays as written
  InitGrammar(grammar);
}

void GrammarManager::DeactivateChoiceGrammars() {
  for (const auto& built : choiceGrammars_) {
    const std::size_t index = FindEntry(built.second);
    if (index == entries_.size()) continue;
    entries_[index]->active = false;
    entries_[index]->sent = false;
  }
}

std::string GrammarManager::DictionaryPath(const std::string& name) {
  if (name.empty()) return "";
  const std::size_t slash = name.rfind('/');
  const std::size_t dot = name.find('.');
  if (slash == std::string::npos) return kDictionaryFolder;
  if (dot == std::string::npos) return kDictionaryFolder + name.substr(slash + 1) + ".dic";
  if (slash < dot) return kDictionaryFolder + name.substr(slash + 1, dot - slash - 1) + ".dic";
  return kDictionaryFolder;
}
