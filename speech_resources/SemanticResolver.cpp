#include "speech_resources/SemanticResolver.h"

#include <iostream>
#include <memory>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ScriptLiteral.h"
#include "speech_resources/GrammarEntry.h"
#include "speech_resources/GrammarManager.h"

SemanticResolver::SemanticResolver(GrammarManager* grammars) : grammars_(grammars) {}

void SemanticResolver::ReturnSemantic(const std::string& utterance, const std::string& semantic,
                                      Element* item, bool keyed) {
  grammars_->MainLog()->Message("Invoking function ReturnSemantic");
  std::cout << "Available semantic " << semantic << std::endl;
  const std::string variable =
      item->tagName == "menu" ? item->VariableName() : item->GetAttribute("name");
  for (const std::unique_ptr<GrammarEntry>& entry : grammars_->Entries()) {
    if (!entry->active || !entry->sent) continue;
    grammars_->SetCurrentFormat(entry->sourceFormat);
    ReturnSemFromGr(utterance, semantic, *entry, keyed);
  }
  bool matched = false;
  for (const std::unique_ptr<GrammarEntry>& entry : grammars_->Entries()) {
    matched = matched || entry->matched;
  }
  std::cout << "ResultMatched is " << (matched ? 1 : 0) << std::endl;
  if (matched || semantic.empty()) return;
  EcmaScopes& scopes = *grammars_->Scopes();
  scopes.ExecuteBuilt("dialog." + variable + " = \"" + EscapeScriptString(semantic) + "\"");
  std::cout << " [" << scopes.GetValue("dialog." + variable) << "]" << std::endl;
}

void SemanticResolver::ReturnSemFromGr(const std::string& utterance, const std::string& semantic,
                                       GrammarEntry& entry, bool keyed) {
  SessionLog& log = *grammars_->MainLog();
  EcmaScopes& scopes = *grammars_->Scopes();
  log.Message("ReturnSemFromGr");
  log.Write(entry.name);
  currentEntry_ = &entry;
  utterance_ = utterance;
  matched_ = false;
  complete_ = false;
  const std::string& format = grammars_->CurrentFormat();
  if (format == "xml") {
    log.Message("XML format");
    BuildSmResult(entry.grammarTree);
    if (matched_) entry.matched = true;
    return;
  }
  const char* heading = format == "slf"    ? "SLF format"
                        : format == "list" ? "LIST format"
                        : format == "bnf"  ? "BNF format"
                                           : nullptr;
  if (heading == nullptr) return;
  log.Message(heading);
  const std::string result = "SmResult." + entry.itemName;
  scopes.ExecuteBuilt(result + " = new Object()");
  if (format == "slf") {
    scopes.FillVariableNoScope(result, semantic.empty() ? utterance : semantic, "NOSCOPE");
    entry.matched = true;
  } else if (semantic.empty()) {
    if (format == "list") entry.matched = LookUpList(entry);
  } else {
    // A BNF semantic string is an expression; a key is data, an integer at most.
    if (format == "bnf" && !keyed) {
      scopes.FillVariableQuoted(result, semantic);
    } else if (format == "bnf" && IsIntegerText(semantic)) {
      scopes.FillVariableQuoted(result, DecimalLiteral(semantic));
    } else {
      scopes.FillVariableNoScope(result, semantic, "NOSCOPE");
    }
    entry.matched = true;
  }
}
