// The input item executors: one input turn each for a field, a menu, an
// initial and a record, and the steps they share (the grammar announcement,
// the prompt, the hang-up tests, the user log and the events).
#include <cstdio>
#include <iostream>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ScriptLiteral.h"
#include "speech_resources/GrammarManager.h"
#include "speech_resources/PromptPlayer.h"
#include "speech_resources/RecognitionResult.h"
#include "speech_resources/SemanticResolver.h"

namespace {

const char kDtmfUnsupported[] = "DTMF tones are unsupported yet.";

// The confidence as "%lf" writes it: six decimals.
std::string FormatConfidence(double confidence) {
  char text[64];
  std::snprintf(text, sizeof text, "%lf", confidence);
  return text;
}

}  // namespace

int Interpreter::ExecuteField(Element* field) {
  if (!EvaluateCond(field)) return 0;
  itemVariables_->CreateItemObject(field);
  scopes_->ExecuteBuilt("dialog." + field->GetAttribute("name") + "$ = new Object()");
  if (!BeginTurn(field, "Visited field :")) return 0;
  for (Element* child : field->children) {
    if (child->tagName == "grammar") {
      grammarManager_->ActivateForElement(child);
    } else if (child->tagName == "option") {
      grammarManager_->BuildChoiceGrammar(field);
      grammarManager_->ActivateForElement(child);
      break;
    } else if (child->tagName == "link") {
      ExecuteLink(child);
    }
  }
  if (!AnnounceGrammars(field) || !PlayItemPrompt(field)) return 0;
  const int asked = AskForAnswer(field, {false, true, true});
  if (asked != 1) return asked;
  const int status = AcceptFieldInput(field);
  if (status != 1) return status;
  for (Element* child : field->children) {
    if (child->tagName != "filled") continue;
    ExecuteFilled(child);
    if (stop_) return 0;
  }
  return 1;
}

// The accepted answer: the shadow variable, the semantic result and its
// meaning. 1 when the field is filled.
int Interpreter::AcceptFieldInput(Element* field) {
  const RecognitionResult& input = *inputCollector_;
  const std::string shadow = "dialog." + field->GetAttribute("name") + "$";
  scopes_->ExecuteBuilt(shadow + ".utterance = \"" + EscapeScriptString(input.utterance) + "\"");
  scopes_->ExecuteBuilt(shadow + ".confidence = " + FormatConfidence(input.confidence));
  scopes_->ExecuteBuilt(shadow + ".inputmode =\"voice\"");
  if (!InterpretAnswer(input.utterance, field)) {
    RaiseEvent("NOMATCH", field, true);
    return -1;
  }
  if (stop_) return 0;
  LogItemValue(field);
  return 1;
}

void Interpreter::ExecuteMenu(Element* menu) {
  RunMenuTurn(menu);
  grammarManager_->DeactivateChoiceGrammars();
}

void Interpreter::RunMenuTurn(Element* menu) {
  itemVariables_->CreateItemObject(menu);
  menu->prompted = 0;
  executingItem_ = menu;
  const bool dtmf = menu->GetAttribute("dtmf") == "true";
  if (dtmf) {
    std::cout << kDtmfUnsupported << std::endl;
    mainLog_->Error(kDtmfUnsupported);
  }
  grammarManager_->NewGroup();
  if (StopOnHangUp(grammarManager_->HangUp())) return;
  grammarManager_->BuildChoiceGrammar(menu);
  for (Element* child : menu->children) {
    if (child->tagName != "choice") continue;
    grammarManager_->ActivateForElement(child);
    break;
  }
  if (!AnnounceGrammars(menu) || !PlayItemPrompt(menu)) return;
  if (AskForAnswer(menu, {dtmf, false, false}) != 1) return;
  if (!InterpretAnswer(LastInput(), menu)) return RaiseEvent("NOMATCH", menu, false);
  if (stop_) return;
  LogItemValue(menu);
}

// No input, a rejected answer and help are one event each, raised before
// the answer is interpreted; an answer that no grammar matched is a no-match.
int Interpreter::ExecuteInitial(Element* initial) {
  if (!EvaluateCond(initial)) return 0;
  if (!BeginTurn(initial, "Visited inital element")) return 0;
  for (Element* child : initial->children) {
    if (child->tagName == "link") ExecuteLink(child);
  }
  if (!AnnounceGrammars(initial) || !PlayItemPrompt(initial)) return 0;
  const int asked = AskForAnswer(initial, {false, true, false});
  if (asked != 1) return asked;
  if (!InterpretAnswer(LastInput(), initial)) {
    RaiseEvent("NOMATCH", initial, true);
    return -1;
  }
  itemVariables_->SetVariable(initial, "true");
  return 1;
}

int Interpreter::ExecuteRecord(Element* record) {
  if (!EvaluateCond(record)) return 0;
  const std::string name = record->GetAttribute("name");
  itemVariables_->CreateItemObject(record);
  scopes_->AssignString("dialog", name, "type", "recording");
  // One backslash in the value: the path as the bridge writes the file.
  scopes_->AssignString("dialog", name, "src", "Recordings\\" + name + ".wav");
  executingItem_ = record;
  mainLog_->Message("Visited record element :" + record->VariableName());
  if (!PlayItemPrompt(record)) return 0;
  std::cout << "Recording > " << std::flush;
  inputCollector_->Record(name, record->GetAttribute("maxtime"), record->GetAttribute("dtmfterm"));
  std::cout << "\nAfter recording" << std::endl;
  LastInput() = inputCollector_->utterance;
  if (StopOnHangUp(inputCollector_->HangUp())) return 0;
  LogUserInput();
  for (const Element* child : record->children) {
    if (child->tagName == "filled") LogNotRun("<filled>", "in the record " + name);
  }
  return 1;
}

// Asks for the item's answer, by voice or by key, and raises the events that
// are not an answer: 0 after a hang-up (stop flag set) or no input, -1 after a
// rejected answer or help, 1 when the answer is to be interpreted.
int Interpreter::AskForAnswer(Element* item, AnswerStyle style) {
  std::cout << "USER: " << std::flush;
  if (style.byKey) {
    inputCollector_->GetDtmfChar();
    LastInput() = inputCollector_->dtmfInput;
  } else {
    inputCollector_->Ask(mode_);
    LastInput() = inputCollector_->utterance;
  }
  if (StopOnHangUp(inputCollector_->HangUp())) return 0;
  LogUserInput();
  if (inputCollector_->noInput) {
    RaiseEvent("NOINPUT", item, style.showNoInput);
    return 0;
  }
  if (inputCollector_->noMatch) {
    RaiseEvent("NOMATCH", item, style.showNoMatch);
    return -1;
  }
  if (inputCollector_->interpretation == "help") {
    RaiseEvent("HELP", item, true);
    return -1;
  }
  return 1;
}

// Opens the item's grammar group with "NewGroup" and makes the item the
// executing one, logged with `visited` and its variable; false (stop flag
// set) when the caller hung up.
bool Interpreter::BeginTurn(Element* item, const char* visited) {
  grammarManager_->NewGroup();
  if (StopOnHangUp(grammarManager_->HangUp())) return false;
  executingItem_ = item;
  mainLog_->Message(visited + item->VariableName());
  return true;
}

// Announces the active grammars and closes the group with "LoadGroup";
// false (stop flag set) when the caller hung up.
bool Interpreter::AnnounceGrammars(Element* item) {
  grammarManager_->ActivateGrammars(item);
  if (StopOnHangUp(grammarManager_->HangUp())) return false;
  inputCollector_->LoadGroup();
  return !StopOnHangUp(inputCollector_->HangUp());
}

// Plays the prompt that SelectPrompts chooses, if the item has a child
// there, and marks the item as prompted; false (stop flag set) when the
// caller hung up.
bool Interpreter::PlayItemPrompt(Element* item) {
  const int index = SelectPrompts(item);
  if (static_cast<std::size_t>(index) < item->children.size()) {
    promptPlayer_->PlayPrompt(item->children[index], currentDocument_, item);
  }
  if (StopOnHangUp(promptPlayer_->HangUp())) return false;
  item->prompted = 1;
  return true;
}

// The semantic result of the answer and its meaning; false when no grammar
// matched it.
bool Interpreter::InterpretAnswer(const std::string& answer, Element* item) {
  semanticResolver_->ReturnSemantic(answer, inputCollector_->interpretation, item,
                                    inputCollector_->keyed);
  grammarManager_->DeactivateScopeUnknown();
  return PostSemanticProcessing() != "NOMATCH";
}

// A hang-up sets the stop flag; returns the flag given.
bool Interpreter::StopOnHangUp(bool hungUp) {
  if (hungUp) stop_ = true;
  return hungUp;
}

void Interpreter::LogUserInput() {
  promptPlayer_->OnUserInput();
  mainLog_->Message("\t\t\tUSER: " + LastInput());
  dialogLog_->Message("USER: " + LastInput());
}

void Interpreter::RaiseEvent(const std::string& eventName, Element* item, bool console) {
  if (console) std::cout << " " << eventName << std::endl;
  mainLog_->Message("EVENT : " + eventName);
  HandleEvent(eventName, item);
}

void Interpreter::LogItemValue(Element* item) {
  const std::string value = itemVariables_->GetItemValue(item);
  mainLog_->Message("Semantic interpretation: " + value);
  dialogLog_->Write("(" + value + ")");
}

// The utterance or key last heard in the current dialog.
std::string& Interpreter::LastInput() { return currentDialog_->lastInput; }
