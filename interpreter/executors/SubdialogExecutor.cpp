// The <subdialog> and <return> executors. A subdialog runs nested in the
// running interpreter: the caller's state is saved, its scopes parked, the
// subdialog's document parsed by a parser of its own and run, and then
// everything is put back before the subdialog's <filled> elements run.
#include <cstdlib>
#include <iostream>
#include <memory>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ScriptLiteral.h"
#include "speech_resources/GrammarManager.h"

namespace {

// The scopes parked as "SB" + name while a subdialog runs.
const char* const kParkedScopes[] = {"anonymous", "dialog", "document"};

}  // namespace

void Interpreter::ExecuteSubdialog(Element* subdialog) {
  if (!EvaluateCond(subdialog)) return;
  if (subdialogDepth_ == kMaxSubdialogDepth) {
    mainLog_->Error("Subdialogs nest deeper than " + std::to_string(kMaxSubdialogDepth) +
                    ": the dialogue ends");
    stop_ = true;
    return;
  }
  const CallerState caller = SaveCaller();
  subdialogItemName_ = subdialog->scope + "." + subdialog->GetAttribute("name");
  itemVariables_->CreateItemObject(subdialog);
  ++subdialogDepth_;
  ParkScopes();
  RunSubdialogDocument(subdialog->GetAttribute("src"));
  RestoreCaller(caller);
  RestoreScopes();
  --subdialogDepth_;
  for (Element* child : subdialog->children) {
    if (stop_) return;
    if (child->tagName == "filled") ExecuteFilled(child);
  }
}

Interpreter::CallerState Interpreter::SaveCaller() {
  return CallerState{currentDocument_, applicationRoot_, applicationRootParser_,
                     currentDialog_, selectedItem_, executingItem_, startDialog_, base_,
                     subdialogItemName_, grammarManager_->ActiveFlags()};
}

// A document jump out of the subdialog keeps the start dialog it names. A
// subdialog that loaded another application root gives the caller back its
// own, with its "application" object (parked by ParkScopes).
void Interpreter::RestoreCaller(const CallerState& caller) {
  currentDocument_ = caller.document;
  currentDialog_ = caller.dialog;
  selectedItem_ = caller.selectedItem;
  executingItem_ = caller.executingItem;
  if (!nextDocument_) startDialog_ = caller.startDialog;
  base_ = caller.base;
  subdialogItemName_ = caller.subdialogItemName;
  grammarManager_->RestoreEntries(caller.activeGrammars);
  if (applicationRoot_ == caller.applicationRoot) return;
  applicationRoot_ = caller.applicationRoot;
  applicationRootParser_ = caller.applicationRootParser;
  if (applicationRoot_) {
    scopes_->Assign("application", "SBapplication" + std::to_string(subdialogDepth_));
  } else {
    scopes_->ClearApplication();
  }
}

// Each scope X: "SB" + X takes the caller's object and X a fresh one. In a
// nested subdialog "SB" + X held the outer caller's object: it is kept in
// "SB" + X + the depth meanwhile. The application object is kept in
// "SBapplication" + the depth.
void Interpreter::ParkScopes() {
  const std::string depth = std::to_string(subdialogDepth_);
  for (const char* scope : kParkedScopes) {
    const std::string parked = std::string("SB") + scope;
    if (subdialogDepth_ > 1) scopes_->Assign(parked + depth, parked);
    scopes_->CreateObjectVariable(scope, parked);
  }
  scopes_->Assign("SBapplication" + depth, "application");
}

void Interpreter::RestoreScopes() {
  const std::string depth = std::to_string(subdialogDepth_);
  for (const char* scope : kParkedScopes) {
    const std::string parked = std::string("SB") + scope;
    scopes_->Assign(scope, parked);
    if (subdialogDepth_ > 1) scopes_->Assign(parked, parked + depth);
  }
}

// The run owns its document and parser; the grammars it registers are
// removed by RestoreCaller.
void Interpreter::RunSubdialogDocument(const std::string& src) {
  const std::size_t hash = src.find('#');
  const std::string file = src.substr(0, hash);
  startDialog_ = hash == std::string::npos ? "" : src.substr(hash + 1);
  auto document =
      std::make_unique<VxmlDocument>(file.empty() ? currentDocument_->fileName : file, mainLog_);
  XmlParser parser(&document->input, mainLog_);
  currentDocument_ = document.get();
  ParseAndRun(*document, parser);
}

void Interpreter::ExecuteReturn(Element* returnElement) {
  if (subdialogDepth_ == 0) {
    mainLog_->Error("return element outside any subdialog: nothing is returned");
    return;
  }
  const std::string namelist = returnElement->GetAttribute("namelist");
  scopes_->ExecuteBuilt("var str='" + EscapeScriptString(namelist) + "'");
  scopes_->ExecuteBuilt("var strarray = str.split(\" \");");
  std::string result;
  scopes_->ExecuteBuilt("strarray.length;", EcmaScopes::kShortSize, &result);
  const int count = std::atoi(result.c_str());
  std::cout << count << std::endl;
  for (int index = 0; index < count; ++index) {
    std::string name;
    scopes_->ExecuteBuilt("strarray[" + std::to_string(index) + "]", EcmaScopes::kShortSize,
                          &name);
    std::cout << name << std::endl;
    if (name.empty()) continue;
    scopes_->ExecuteBuilt("SB" + subdialogItemName_ + "." + name + "= dialog." + name,
                          EcmaScopes::kShortSize, &result);
    std::cout << result << std::endl;
  }
}
