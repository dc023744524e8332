// What an accepted answer means in the dialog: the first grammar that
// matched acts by the element that holds it.
#include <iostream>
#include <memory>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "speech_resources/GrammarEntry.h"
#include "speech_resources/GrammarManager.h"
#include "speech_resources/InternalGrammars.h"

std::string Interpreter::PostSemanticProcessing() {
  mainLog_->Message("PostSemanticProcessing started");
  for (const std::unique_ptr<GrammarEntry>& entry : grammarManager_->Entries()) {
    if (!entry->matched) continue;
    // Copied before anything runs: a turn that a jump runs may rebuild the entry.
    const std::string itemName = entry->itemName;
    Element* holder = entry->holder;
    grammarManager_->ClearMatched();
    ApplyMatch(itemName, holder);
    return "";
  }
  if (FollowDtmfChoice()) return "";
  std::cout << "Unmatched utterance" << std::endl;
  return "NOMATCH";
}

// The result "SmResult." + item name, by the element that holds the grammar;
// a <choice> acts as its menu.
void Interpreter::ApplyMatch(const std::string& itemName, Element* holder) {
  if (holder != nullptr && holder->tagName == "choice") holder = holder->parent;
  const std::string tag = holder != nullptr ? holder->tagName : "";
  std::cout << "MATCHED TO " << itemName << "(" << tag << ")" << std::endl;
  const std::string result = "SmResult." + itemName;
  if (tag == "field") {
    scopes_->FillVariableQuoted("dialog." + itemName, result);
    std::cout << " [" << scopes_->GetValue("dialog." + itemName) << "]" << std::endl;
  } else if (tag == "menu") {
    FollowMenuChoice(holder, result);
  } else if (tag == "form") {
    FillForm(holder, result);
  } else if (tag == "link") {
    FollowTarget(holder);
  } else if (tag == "option") {
    std::cout << "Warning!!! Generating semantic result from option list is not fully supported "
                 "yet."
              << std::endl;
  } else if (tag == "record") {
    std::cout << "Warning!!! Generating semantic result from record element is not fully "
                 "supported yet."
              << std::endl;
  } else if (tag == "transfer") {
    std::cout << "Warning!!! Generating semantic result from trasnfer element is not fully "
                 "supported yet."
              << std::endl;
  }
}

// Follows the first choice of the menu whose text is the result's value.
void Interpreter::FollowMenuChoice(Element* menu, const std::string& result) {
  const std::string value = scopes_->GetValue(result);
  std::cout << " [" << value << "]" << std::endl;
  for (Element* choice : menu->children) {
    if (choice->tagName != "choice" || ChoiceGrammarText(*choice, *scopes_) != value) continue;
    FollowTarget(choice);
    return;
  }
}

// The running form takes the result's values into its dialog scope; another
// form of the document is jumped to and takes them on entry.
void Interpreter::FillForm(Element* form, const std::string& result) {
  DialogSlot* slot = SlotOf(form);
  if (slot == nullptr) return;
  if (slot == currentDialog_) {
    scopes_->MergeIntoScope("dialog", result);
    std::cout << " [" << scopes_->GetValue("dialog") << "]" << std::endl;
    return;
  }
  JumpToDialog(slot, true, result);
}

// In a DTMF menu, follows the first choice whose "dtmf" is the key heard.
// False when there is none (or no key).
bool Interpreter::FollowDtmfChoice() {
  if (currentDialog_ == nullptr || LastInput().empty()) return false;
  Element* dialog = currentDialog_->element;
  if (dialog->tagName != "menu" || dialog->GetAttribute("dtmf") != "true") return false;
  for (Element* choice : dialog->children) {
    if (choice->tagName != "choice" || choice->GetAttribute("dtmf") != LastInput()) continue;
    FollowTarget(choice);
    return true;
  }
  return false;
}

// A choice or link is followed as a goto; one without a target is an error
// and leads nowhere.
void Interpreter::FollowTarget(Element* choiceOrLink) {
  for (const char* target : {"next", "expr", "nextitem", "expritem"}) {
    if (choiceOrLink->GetAttribute(target).empty()) continue;
    ExecuteGoto(choiceOrLink);
    return;
  }
  mainLog_->Error("The " + choiceOrLink->tagName +
                  " element has no next, expr, nextitem or expritem: nothing is followed");
}
