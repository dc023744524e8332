// Events of an input turn (no input, no match, help): counting, the apology
// that ends the call after too many, the choice of a handler by count and
// condition, and the choice of an item's prompt by the same rule.
#include <cstdlib>
#include <initializer_list>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/ElementKinds.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "speech_resources/PromptPlayer.h"
#include "speech_resources/SpeechTexts.h"

namespace {

using elementkinds::HandlesEvent;

// Counted events of one item beyond which the call ends.
constexpr int kMaxEvents = 4;

// The handler element name of an event: "NOMATCH" is handled by <nomatch>.
std::string HandlerName(const std::string& event) {
  if (event == "NOMATCH") return "nomatch";
  if (event == "NOINPUT") return "noinput";
  if (event == "HELP") return "help";
  return event;
}

// The "count" attribute as a decimal integer; 1 when it is empty.
int CountOf(const Element& element) {
  const std::string count = element.GetAttribute("count");
  return count.empty() ? 1 : std::atoi(count.c_str());
}

}  // namespace

// The first child that qualifies with a count equal to the counter, else the
// last one that qualifies with a count of 0 or more; -1 when none does.
template <typename Qualifies>
int Interpreter::SelectByCount(Element* container, int counter, Qualifies qualifies) {
  int selected = -1;
  for (std::size_t index = 0; index < container->children.size(); ++index) {
    Element& child = *container->children[index];
    const int count = CountOf(child);
    if (count < 0 || !qualifies(child)) continue;
    selected = static_cast<int>(index);
    if (count == counter) break;
  }
  return selected;
}

void Interpreter::HandleEvent(const std::string& eventName, Element* item) {
  if (eventName != "HELP") ++item->eventCounter;
  if (item->eventCounter > kMaxEvents) {
    mainLog_->Error("To many events");
    promptPlayer_->Speak(speechtexts::kApology);
    stop_ = true;
    return;
  }
  mainLog_->Message("EVENT CATCHED");
  const std::string event = HandlerName(eventName);
  Element* dialog = currentDialog_ != nullptr ? currentDialog_->element : nullptr;
  for (Element* container : {item, dialog, currentDocument_->Root()}) {
    if (container == nullptr) continue;
    const int index = SelectEventHandler(container, event, item);
    if (index < 0) continue;
    Element* handler = container->children[index];
    ExecuteContent(handler);
    if (stop_) return;
    if (container == item && handler->tagName == event) {
      mainLog_->Message("Clearing variable by event handler mechanizm!");
    }
    RunItemAgain(item);
    return;
  }
  if (item->tagName != "menu") ExecuteReprompt();
  RunItemAgain(item);
}

// A menu is entered anew through its own slot; any other item is selected
// again because its variable is 'undefined'.
void Interpreter::RunItemAgain(Element* item) {
  if (item->tagName != "menu") {
    itemVariables_->SetVariable(item, "'undefined'");
    return;
  }
  mainLog_->Message("GO TO dialog " + item->VariableName());
  DialogSlot* slot = SlotOf(item);
  if (slot != nullptr) JumpToDialog(slot, false, "");
}

int Interpreter::SelectEventHandler(Element* container, const std::string& tag, Element* item) {
  return SelectByCount(container, item->eventCounter, [&](const Element& child) {
    if (!HandlesEvent(child, tag)) return false;
    const std::string cond = child.GetAttribute("cond");
    std::string result;
    scopes_->ExecuteCommand(cond.empty() ? "true" : cond, &result, true);
    return result == "true";
  });
}

int Interpreter::SelectPrompts(Element* item) {
  mainLog_->Message("Prompt selection algorithm");
  // A prompt's condition is read as that of an <if>: one that fails is false.
  const int index = SelectByCount(item, item->promptCounter, [&](Element& child) {
    return child.tagName == "prompt" && EvaluateCond(&child);
  });
  return index < 0 ? 0 : index;
}

