// The executors of elements that take no input: <block>, <assign>, <clear>,
// <goto> and <disconnect>. The goto executor is the one way to change the
// dialog, the document or the form item.
#include <string>
#include <vector>

#include "interpreter/common/FatalExit.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/ElementKinds.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/executors/NameList.h"
#include "interpreter/scripts/EcmaScopes.h"

namespace {

using elementkinds::IsFormItem;

}  // namespace

void Interpreter::ExecuteBlock(Element* block) {
  if (!EvaluateCond(block)) return;
  mainLog_->Message("Visited block :" + block->VariableName());
  ExecuteContent(block);
}

void Interpreter::ExecuteAssign(Element* assign) {
  std::string name = assign->GetAttribute("name");
  std::string expr = assign->GetAttribute("expr");
  mainLog_->Message("Assign element.Fill variable " + name + " with value " + expr);
  scopes_->FillVariable(name, expr, assign->scope);
}

void Interpreter::ExecuteClear(Element* clear) {
  std::string namelist = clear->GetAttribute("namelist");
  mainLog_->Message("Clearing variable " + namelist);
  std::vector<std::string> names = SplitNameList(namelist);
  if (names.empty() && currentDialog_ != nullptr) {
    for (Element* item : currentDialog_->element->children) {
      if (!IsFormItem(item->tagName) || !item->binding) continue;
      itemVariables_->SetVariable(item, "'undefined'");
      ResetItem(item);
    }
  }
  for (const std::string& name : names) {
    scopes_->FillVariable(name, "'undefined'", clear->scope);
    if (currentDialog_ == nullptr) continue;
    for (Element* item : currentDialog_->element->children) {
      if (IsFormItem(item->tagName) && item->binding && item->binding->variableName == name) {
        ResetItem(item);
      }
    }
  }
}

// A cleared item plays its prompt again and counts its events afresh.
void Interpreter::ResetItem(Element* item) {
  item->prompted = 0;
  item->eventCounter = 0;
}

void Interpreter::ExecuteGoto(Element* element) {
  std::string next = element->GetAttribute(element->tagName == "subdialog" ? "src" : "next");
  std::string nextItem = element->GetAttribute("nextitem");
  std::string expr = element->GetAttribute("expr");
  std::string exprItem = element->GetAttribute("expritem");
  std::string value;
  if (!next.empty()) {
    FollowReference(next);
  } else if (!nextItem.empty()) {
    JumpToItem(nextItem);
  } else if (!expr.empty()) {
    if (EvaluateTarget(expr, &value)) FollowReference(value);
  } else if (!exprItem.empty()) {
    if (EvaluateTarget(exprItem, &value)) JumpToItem(value);
  } else {
    LogGoTo("");
    mainLog_->Error("goto element hasnt next attribute!");
    quorvane::FatalExit("Error in goto element", 0);
  }
}

// The printed value of a goto's expression, at most 255 characters (the
// scope layer logs a cut). False, with an error in the main log, when it is
// empty: such a goto jumps nowhere.
bool Interpreter::EvaluateTarget(const std::string& expression, std::string* target) {
  scopes_->ExecuteCommand(expression, target, true, EcmaScopes::kShortSize);
  if (!target->empty()) return true;
  LogGoTo("");
  mainLog_->Error("goto element has an empty target: " + expression);
  return false;
}

// "#id": the dialog id; "doc" or "doc#id": another document and its start
// dialog.
void Interpreter::FollowReference(const std::string& reference) {
  if (!reference.empty() && reference[0] == '#') {
    JumpToDialogNamed(reference.substr(1));
    return;
  }
  std::size_t hash = reference.find('#');
  if (hash == std::string::npos) {
    JumpToDocument(reference, "");
  } else {
    JumpToDocument(reference.substr(0, hash), reference.substr(hash + 1));
  }
}

// The first dialog whose "id" is the target; none: nothing happens but an
// error in the main log.
void Interpreter::JumpToDialogNamed(const std::string& id) {
  DialogSlot* slot = SlotWithId(id);
  if (slot == nullptr) {
    LogGoTo("");
    mainLog_->Error("goto: no dialog with id " + id + " in document " +
                    currentDocument_->fileName + "; the jump is not made");
    return;
  }
  const std::vector<Attribute>& attributes = slot->element->attributes;
  LogGoTo("dialog " + (attributes.empty() ? std::string() : attributes[0].value));
  JumpToDialog(slot, false, "");
}

DialogSlot* Interpreter::SlotWithId(const std::string& id) {
  for (DialogSlot& slot : currentDocument_->dialogs) {
    if (slot.element->GetAttribute("id") == id) return &slot;
  }
  return nullptr;
}

DialogSlot* Interpreter::SlotOf(const Element* dialog) {
  for (DialogSlot& slot : currentDocument_->dialogs) {
    if (slot.element == dialog) return &slot;
  }
  const std::string id = dialog->GetAttribute("id");
  return id.empty() ? nullptr : SlotWithId(id);
}

void Interpreter::JumpToDialog(DialogSlot* slot, bool enteredByJump,
                               const std::string& expression) {
  dialogJump_ = DialogJump{slot, enteredByJump, expression};
  stop_ = true;
}

void Interpreter::JumpToDocument(const std::string& document, const std::string& startDialog) {
  LogGoTo("another document: " + document);
  documentName_ = document;
  startDialog_ = startDialog;
  nextDocument_ = true;
  stop_ = true;
}

// Runs the named item's turn at once; the content that held the goto and
// then the algorithm go on afterwards. No such item: an error in the main log.
void Interpreter::JumpToItem(const std::string& name) {
  if (currentDialog_ == nullptr) {
    LogGoTo("");
    return;
  }
  for (Element* item : currentDialog_->element->children) {
    if (item->GetAttribute("name") != name) continue;
    selectedItem_ = item;
    item->prompted = 0;
    itemVariables_->SetVariable(item, "'undefined'");
    LogGoTo("form item " + (item->binding ? item->binding->variableName : name));
    if (!EnterJump()) return;
    CollectPhase(currentDialog_);
    --jumpDepth_;
    return;
  }
  LogGoTo("");
  mainLog_->Error("goto: no form item named " + name + "; the jump is not made");
}

// The main log's message of a goto, with its target ("" when it has none).
void Interpreter::LogGoTo(const std::string& target) { mainLog_->Message("GO TO " + target); }

// Counts one more nested jump; past the limit logs an error, sets the stop
// flag and returns false.
bool Interpreter::EnterJump() {
  if (jumpDepth_ >= kMaxJumpDepth) {
    mainLog_->Error("Too many nested jumps: the dialogue ends");
    stop_ = true;
    return false;
  }
  ++jumpDepth_;
  return true;
}

void Interpreter::Stop(Element* /*element*/) { stop_ = true; }
