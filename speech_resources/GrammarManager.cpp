#include "speech_resources/GrammarManager.h"

#include <utility>

#include "interpreter/common/PeerLink.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/NotRunLog.h"
#include "interpreter/document/TagLexer.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"

namespace {

const char kBnfType[] = "application/grammar+bnf";
const char kJsgfType[] = "application/grammar+jsgf";
const char kSlfType[] = "application/htk+slf";
const char kListType[] = "application/grammar+list";

// The scope class of a grammar, decided by the tag name of its parent.
std::string ScopeClass(const Element& grammar, const Element& parent) {
  const std::string& tag = parent.tagName;
  if (tag == "menu") {
    const std::string scope = parent.parent ? parent.parent->GetAttribute("scope") : "";
    return scope.empty() ? "dialog" : scope;
  }
  if (tag == "field" || tag == "option" || tag == "record" || tag == "transfer") return "unknown";
  if (tag == "form") {
    std::string scope = grammar.GetAttribute("scope");
    if (scope.empty()) scope = parent.GetAttribute("scope");
    return scope.empty() ? "dialog" : scope;
  }
  if (tag == "link" && parent.parent != nullptr) {
    const std::string& around = parent.parent->tagName;
    if (around == "field" || around == "initial" || around == "object") return "unknown";
    if (around == "form") return "dialog";
    if (around == "vxml") return "document";
  }
  return "";
}

bool IsDocumentScope(const std::string& scopeClass) {
  return scopeClass == "document" || scopeClass == "document-ard";
}

}  // namespace

bool IsSrgsXmlType(const std::string& type) {
  return type == "application/grammar+xml" || type == "application/srgs+xml";
}

GrammarManager::GrammarManager(SessionLog* mainLog, EcmaScopes* scopes, PeerLink& peer)
    : grammarInput_(std::make_unique<std::ifstream>()),
      grammarParser_(std::make_unique<XmlParser>(grammarInput_.get(), mainLog)),
      scopes_(scopes),
      mainLog_(mainLog),
      peer_(peer) {}

GrammarManager::~GrammarManager() = default;

void GrammarManager::LoadGrammarList(const XmlParser& parser) {
  mainLog_->Message("Load Grammar list ... ");
  for (Element* grammar : parser.Grammars()) InitGrammar(grammar);
  mainLog_->Write("OK");
}

void GrammarManager::UnloadGrammarList() {
  mainLog_->Message("Unload Grammar list ... ");
  while (!entries_.empty()) entries_.pop_back();
  choiceGrammars_.clear();
  mainLog_->Write("OK");
}

std::vector<bool> GrammarManager::ActiveFlags() const {
  std::vector<bool> active;
  for (const std::unique_ptr<GrammarEntry>& entry : entries_) active.push_back(entry->active);
  return active;
}

void GrammarManager::RestoreEntries(const std::vector<bool>& active) {
  if (entries_.size() > active.size()) entries_.resize(active.size());
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    entries_[index]->active = active[index];
  }
}

void GrammarManager::InitGrammar(Element* grammar) {
  const std::string src = grammar != nullptr ? grammar->GetAttribute("src") : "";
  mainLog_->Message("Init grammar " + src);
  if (grammar == nullptr) return;
  const std::string type = grammar->GetAttribute("type");
  Element* parent = grammar->parent;
  if (parent == nullptr) {
    mainLog_->Error("GRAMman: a grammar without a parent element is not registered");
    return;
  }
  const std::string scopeClass = ScopeClass(*grammar, *parent);
  currentIdentity_ = parent->tagName == "field" ? parent->GetAttribute("name")
                                                : parent->tagName + std::to_string(entries_.size());
  parent->binding.emplace(currentIdentity_, parent->scope, parent);
  if (src.empty()) {
    if (LeftUnfetched(*grammar)) return;
    currentFormat_ = "internal";
    ServeInternalGrammar(grammar, scopeClass);
    return;
  }
  currentSource_ = src;
  if (IsSrgsXmlType(type)) {
    AddXmlGrammar(grammar, src, scopeClass);
  } else if (type == kBnfType || type == kJsgfType) {
    AddBnfGrammar(grammar, src, scopeClass);
  } else if (type == kSlfType) {
    AddSlfGrammar(grammar, src, scopeClass);
  } else if (type == kListType) {
    AddListGrammar(grammar, src, scopeClass);
  } else {
    mainLog_->Error("GRAMman: the grammar " + src + " has a type the recogniser does not know (\"" +
                    type + "\"); it is not used");
  }
}

bool GrammarManager::LeftUnfetched(const Element& grammar) {
  const Element& parent = *grammar.parent;
  if (grammar.GetAttribute("srcexpr").empty() && grammar.GetAttribute("expr").empty()) {
    return false;
  }
  std::string owner = parent.GetAttribute("name");
  if (owner.empty()) owner = parent.GetAttribute("id");
  const std::string place =
      "in the grammar of the " + parent.tagName + (owner.empty() ? "" : " " + owner);
  notrun::LogAttributes(*mainLog_, grammar, {"srcexpr", "expr"}, place,
                        "a grammar is read only from its src or its own rules");
  return grammar.children.empty() && taglexer::TrimBlanks(grammar.GetText()).empty();
}

void GrammarManager::AddListGrammar(Element* grammar, const std::string& src,
                                    const std::string& scopeClass) {
  AddFileGrammar(grammar, src, scopeClass, "list");
}

void GrammarManager::AddSlfGrammar(Element* grammar, const std::string& src,
                                   const std::string& scopeClass) {
  AddFileGrammar(grammar, src, scopeClass, "slf");
}

void GrammarManager::AddBnfGrammar(Element* grammar, const std::string& src,
                                   const std::string& scopeClass) {
  AddFileGrammar(grammar, src, scopeClass, "bnf");
}

void GrammarManager::AddFileGrammar(Element* grammar, const std::string& src,
                                    const std::string& scopeClass, const std::string& format) {
  GrammarEntry* entry = NewEntry(grammar, src);
  if (entry == nullptr) return;
  currentFormat_ = format;
  entry->sourceFormat = format;
  entry->recogniserType = format;
  entry->recogniserUri = currentSource_;
  CompleteFileEntry(*entry, grammar, src, scopeClass);
}

void GrammarManager::AddXmlGrammar(Element* grammar, const std::string& src,
                                   const std::string& scopeClass) {
  GrammarEntry* entry = NewEntry(grammar, src);
  if (entry == nullptr) return;
  currentFormat_ = "xml";
  // The document record goes once the entry is complete; its elements stay.
  const std::unique_ptr<VxmlDocument> document = ParseSrgsFile(src);
  entry->grammarTree = document->Root();
  entry->sourceFormat = "xml";
  entry->recogniserType = "bnf";
  CompleteFileEntry(*entry, grammar, src, scopeClass);
  WriteBnf(*entry);
}

std::unique_ptr<VxmlDocument> GrammarManager::ParseSrgsFile(const std::string& src) {
  auto input = std::make_unique<std::ifstream>();
  grammarParser_ = std::make_unique<XmlParser>(input.get(), mainLog_);
  grammarInput_ = std::move(input);
  grammarParser_->SetDocumentUri(src);
  grammarParser_->SetDocumentType("grammar");
  auto document = std::make_unique<VxmlDocument>(src, mainLog_);
  grammarParser_->ParseFile(*document);
  return document;
}

void GrammarManager::CompleteFileEntry(GrammarEntry& entry, Element* grammar,
                                       const std::string& src, const std::string& scopeClass) {
  entry.owner = grammar;
  entry.holder = grammar->parent;
  entry.name = src;
  entry.itemName = currentIdentity_;
  entry.scopeClass = scopeClass;
  entry.dictionaryPath = DictionaryPath(src);
  mainLog_->Message("Pridanie gramatiky do resoure grupy: " + src);
}

GrammarEntry* GrammarManager::NewEntry(const Element* grammar, const std::string& name) {
  const std::size_t index = FindEntry(grammar);
  if (index == entries_.size()) {
    if (entries_.size() == kMaxEntries) {
      mainLog_->Error("GRAMman: the grammar table holds " + std::to_string(kMaxEntries) +
                      " grammars already; not registered: " + name);
      return nullptr;
    }
    entries_.push_back(nullptr);
  }
  entries_[index] = std::make_unique<GrammarEntry>();
  return entries_[index].get();
}

std::size_t GrammarManager::FindEntry(const Element* grammar) const {
  for (std::size_t index = 0; index < entries_.size(); ++index) {
    const GrammarEntry& entry = *entries_[index];
    if (entry.owner == grammar || entry.grammarTree == grammar) return index;
  }
  return entries_.size();
}

void GrammarManager::ActivateForElement(const Element* element) {
  if (element == nullptr) return;
  const bool isChoice = element->tagName == "choice";
  const std::string* identity = nullptr;
  if (!isChoice) {
    const Element* parent = element->parent;
    if (parent != nullptr && parent->binding) {
      identity = &parent->binding->variableName;
    } else {
      mainLog_->Error("GRAMman: no variable is bound to the parent of the " + element->tagName +
                      " element; only document grammars are activated");
    }
  }
  for (const std::unique_ptr<GrammarEntry>& entry : entries_) {
    // An inline grammar is owned by its parent; its own <grammar> element
    // activates it too when its scope class will deactivate it again. A
    // choice is the choice itself: two menus may hold choices written alike,
    // and only the running menu's choices may be heard.
    const bool sameOwner =
        (isChoice ? entry->owner == element : entry->owner->sourceText == element->sourceText) ||
        (entry->grammarTree == element && !entry->scopeClass.empty());
    if ((isChoice && sameOwner) || (sameOwner && identity && entry->itemName == *identity) ||
        IsDocumentScope(entry->scopeClass)) {
      entry->active = true;
    }
  }
}

void GrammarManager::DeactivateScopeDialog() { Deactivate("dialog"); }

void GrammarManager::DeactivateScopeUnknown() { Deactivate("unknown"); }

void GrammarManager::ClearMatched() {
  for (const std::unique_ptr<GrammarEntry>& entry : entries_) entry->matched = false;
}

void GrammarManager::Deactivate(const std::string& scopeClass) {
  for (const std::unique_ptr<GrammarEntry>& entry : entries_) {
    if (entry->scopeClass != scopeClass) continue;
    entry->active = false;
    entry->sent = false;
  }
}

int GrammarManager::NewGroup() {
  mainLog_->Message("Requist for making new Resource group to ASR sended.");
  peer_.Send("NewGroup\t");
  ReadReply();
  return 0;
}

void GrammarManager::ActivateGrammars(const Element* item) {
  for (const std::unique_ptr<GrammarEntry>& entry : entries_) entry->sent = false;
  const bool modal = item != nullptr && item->GetAttribute("modal") == "true";
  const std::string name = item != nullptr ? item->GetAttribute("name") : "";
  for (const std::unique_ptr<GrammarEntry>& entry : entries_) {
    const bool announced = entry->active && (!modal || FieldName(*entry) == name);
    mainLog_->Message(entry->name + "\tACTIV: " + (entry->active ? "true" : "false") +
                      "\tSCOPE: " + entry->scopeClass + "\tFIELDNAME: " + entry->itemName +
                      (announced ? "\tadded" : ""));
    if (announced) Announce(*entry);
  }
}

std::string GrammarManager::FieldName(const GrammarEntry& entry) const {
  const Element* owner = entry.owner;
  if (owner->tagName == "field") return entry.itemName;
  const Element* parent = owner->parent;
  if ((parent != nullptr && parent->tagName == "link") || owner->tagName == "option") {
    const Element* grandparent = parent != nullptr ? parent->parent : nullptr;
    if (grandparent == nullptr) {
      mainLog_->Error("GRAMman: the grammar " + entry.name +
                      " has no grandparent element; its item name is used");
    } else if (grandparent->tagName == "field") {
      return grandparent->GetAttribute("name");
    }
  }
  return entry.itemName;
}

void GrammarManager::Announce(GrammarEntry& entry) {
  entry.sent = true;
  std::string command = "AddGram\t:gramURI " + entry.recogniserUri + "\t:gramTYPE " +
                        entry.recogniserType + "\t:loc_DICT " + entry.dictionaryPath;
  if (command.size() > kMaxCommand) {
    mainLog_->Error("GRAMman: the AddGram command is cut to " + std::to_string(kMaxCommand) +
                    " characters: " + command);
    command.resize(kMaxCommand);
  }
  peer_.Send(command);
  ReadReply();
}

void GrammarManager::ReadReply() {
  if (PeerAnsweredEnd(peer_.Receive())) hangUp_ = true;
}
