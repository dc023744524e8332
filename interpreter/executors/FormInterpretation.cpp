// The Form Interpretation Algorithm: the loop that runs one dialog, in four
// phases. Initialisation declares the dialog's variables and resets the
// items' counters; select picks the first unfilled form item; collect marks
// it as visited and runs it; process runs the form-level <filled> elements.
#include <iostream>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/ElementKinds.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ScriptEngine.h"
#include "speech_resources/GrammarManager.h"

namespace {

using elementkinds::IsDeclared;
using elementkinds::IsFormItem;
using elementkinds::IsInputItem;

// Why the script that ends the dialogue ends it, as the main log says.
std::string StoppedScriptsReason(const ScriptResult& run) {
  if (run.memoryReset) {
    return "A script was stopped for using too much memory and the engine started afresh";
  }
  return std::to_string(Interpreter::kMaxTimedOutScripts) +
         " scripts were stopped for running too long with no request to the peer";
}

}  // namespace

void Interpreter::RunFIA(DialogSlot* slot, bool enteredByJump, const std::string& expression) {
  mainLog_->Message("Run FIA algoritm. Actual dialog: " + slot->element->GetAttribute("id"));
  int status = 0;
  currentDialog_ = slot;
  InitPhase(slot);
  if (enteredByJump) {
    scopes_->MergeIntoScope("dialog", expression);
    std::cout << " [" << scopes_->GetValue(expression) << "]" << std::endl;
    status = 1;
  }
  if (stop_) return;
  if (slot->element->tagName == "menu") {
    ExecuteMenu(slot->element);
    return;
  }
  bool firstPassByJump = enteredByJump;
  while (true) {
    if (stop_) return;
    if (!firstPassByJump) {
      if (!CountSilentPass()) return;
      if (SelectPhase(slot)) {
        mainLog_->Message("End of FIA");
        return;
      }
      if (stop_) return;
      status = CollectPhase(slot);
    }
    if (stop_) return;
    if (status == 1) ProcessPhase(slot);
    firstPassByJump = false;
  }
}

// Counts a pass of the select phase; once kMaxSilentPasses have gone by
// without a request to the peer, logs an error, sets the stop flag and
// returns false. So it does, without a log, while stopped scripts end the
// dialogue (the dialogue may have jumped to another document meanwhile).
bool Interpreter::CountSilentPass() {
  if (ScriptsEndTheDialogue()) {
    stop_ = true;
    return false;
  }
  if (peer_.Sent() != requestsSeen_) {
    requestsSeen_ = peer_.Sent();
    silentPasses_ = 0;
  }
  if (silentPasses_ == kMaxSilentPasses) {
    mainLog_->Error("The form loop made no request in " + std::to_string(kMaxSilentPasses) +
                    " passes of the select phase: the dialogue ends");
    stop_ = true;
    return false;
  }
  ++silentPasses_;
  return true;
}

// Counts a script that the engine stopped. Once stopped scripts end the
// dialogue, sets the stop flag, and logs an error at the script that made
// them end it.
void Interpreter::CountStoppedScript(const ScriptResult& run) {
  if (peer_.Sent() != requestsAtTimeOut_) {
    requestsAtTimeOut_ = peer_.Sent();
    timedOutScripts_ = 0;
  }
  const bool ended = ScriptsEndTheDialogue();
  if (run.timedOut) ++timedOutScripts_;
  engineStartedAfresh_ = engineStartedAfresh_ || run.memoryReset;
  if (!ScriptsEndTheDialogue()) return;
  if (!ended) mainLog_->Error(StoppedScriptsReason(run) + ": the dialogue ends");
  stop_ = true;
}

// From the kMaxTimedOutScripts-th script stopped for its time with no request
// to the peer since the first, as long as no request follows; from the first
// stopped for its memory, for good.
bool Interpreter::ScriptsEndTheDialogue() const {
  return engineStartedAfresh_ ||
         (timedOutScripts_ >= kMaxTimedOutScripts && peer_.Sent() == requestsAtTimeOut_);
}

void Interpreter::InitPhase(DialogSlot* slot) {
  mainLog_->Message("INICIALIZACNA FAZA FIA");
  grammarManager_->DeactivateScopeDialog();
  currentDialog_ = slot;
  for (Element* child : slot->element->children) {
    child->promptCounter = 1;
    const std::string& tag = child->tagName;
    if (IsDeclared(tag)) ExecuteVar(child, "dialog");
    if (IsInputItem(tag)) {
      child->prompted = 0;
      child->promptCounter = 1;
      child->eventCounter = 0;
    }
    if (tag == "grammar") grammarManager_->ActivateForElement(child);
    if (grammarManager_->HangUp()) {
      stop_ = true;
      return;
    }
    if (tag == "link") ExecuteLink(child);
    if (IsFormItem(tag) && tag != "block") LogNotRunInItem(child);  // a block's content runs
  }
  LogNotRunIn(slot->element, "in the " + slot->element->tagName + " " +
                                 slot->element->GetAttribute("id"), true);
}

// Only fields and initials raise events (a menu is its own dialog); a
// subdialog's values in are not read.
void Interpreter::LogNotRunInItem(const Element* item) {
  const std::string place = "in the " + item->tagName + " " + item->GetAttribute("name");
  LogNotRunIn(item, place, item->tagName == "field" || item->tagName == "initial");
  if (item->tagName == "field") {
    LogNotRunAttributes(item, {"type"}, place, "built-in field types are not understood");
  }
  if (item->tagName != "subdialog") return;
  const char kNoValuesIn[] = "a subdialog passes no values in";
  LogNotRunAttributes(item, {"namelist", "srcexpr"}, place, kNoValuesIn);
  for (const Element* child : item->children) {
    if (child->tagName != "param") continue;
    LogNotRun("<param name=\"" + child->GetAttribute("name") + "\">", place, kNoValuesIn);
  }
}

bool Interpreter::SelectPhase(DialogSlot* slot) {
  mainLog_->Message("Select phase from FIA");
  for (Element* child : slot->element->children) {
    if (IsFormItem(child->tagName) && IsUnfilled(child)) {
      selectedItem_ = child;
      return false;
    }
  }
  return true;
}

// Unfilled: the variable's printed value is "undefined" or empty. An item
// without a variable can never be filled, so it counts as filled and is not
// selected.
bool Interpreter::IsUnfilled(const Element* item) {
  if (!item->binding) return false;
  std::string value = itemVariables_->GetItemValue(item);
  return value == "undefined" || value.empty();
}

int Interpreter::CollectPhase(DialogSlot* /*slot*/) {
  mainLog_->Message("Collect phase from FIA");
  Element* item = selectedItem_;
  itemVariables_->SetVariable(item, "true");
  if (IsUnfilled(item)) {
    // A variable that cannot take a value would select the item for ever.
    mainLog_->Error("Form item variable cannot be set: " + item->VariableName());
    stop_ = true;
    return 0;
  }
  const std::string& tag = item->tagName;
  if (tag == "block") {
    ExecuteBlock(item);
    return 0;
  }
  if (tag == "field") return ExecuteField(item);
  if (tag == "initial") return ExecuteInitial(item);
  if (tag == "object") {
    ExecuteObject(item);
    return 0;
  }
  if (tag == "subdialog") {
    ExecuteSubdialog(item);
    return 0;
  }
  if (tag == "record") return ExecuteRecord(item);
  return 0;
}

int Interpreter::ProcessPhase(DialogSlot* slot) {
  mainLog_->Message("Process phase from FIA");
  for (Element* child : slot->element->children) {
    if (child->tagName != "filled" || !FilledMatches(child, slot)) continue;
    ExecuteFilled(child);
    if (stop_) return 0;
  }
  return 0;
}

// Mode "all" (or none): every field and initial named in the namelist is
// filled (all of them when the namelist names none). Mode "any": one of the
// named ones is filled. Names match as substrings of the namelist.
bool Interpreter::FilledMatches(Element* filled, DialogSlot* slot) {
  std::string namelist = filled->GetAttribute("namelist");
  std::string mode = filled->GetAttribute("mode");
  if (mode.empty()) mode = "all";
  if (mode != "all" && mode != "any") return false;
  for (Element* item : slot->element->children) {
    if (item->tagName != "field" && item->tagName != "initial") continue;
    if (namelist.find(item->VariableName()) == std::string::npos) continue;
    bool unfilled = IsUnfilled(item);
    if (mode == "all" && unfilled) return false;
    if (mode == "any" && !unfilled) return true;
  }
  return mode == "all";
}

void Interpreter::ExecuteFilled(Element* filled) {
  mainLog_->Message("Filled element is executed.");
  ExecuteContent(filled);
}
