// Executable content: the children of blocks, filled elements, event
// handlers and <if> branches, run one by one by their tag name, and the
// executors of <if>, <var>, <script>, <exit>, <throw>, <reprompt>, <meta>
// and of "cond" attributes.
#include <iostream>

#include "interpreter/EcmaScopes.h"
#include "interpreter/Element.h"
#include "interpreter/Interpreter.h"
#include "interpreter/SessionLog.h"
#include "interpreter/TagLexer.h"
#include "speech_resources/PromptPlayer.h"

namespace {

bool IsBranchMark(const Element* element) {
  return element->tagName == "else" || element->tagName == "elseif";
}

// The index of the first "else" or "elseif" child at or after `first`, or
// the child count.
std::size_t BranchEnd(const std::vector<Element*>& children, std::size_t first) {
  std::size_t index = first;
  while (index < children.size() && !IsBranchMark(children[index])) ++index;
  return index;
}

}  // namespace

void Interpreter::ExecuteContent(Element* container) {
  RunChildren(container, 0, container->children.size(), false);
}

// Runs the container's children [first, last). A prompt among them counts
// against the container (its prompt counter is raised).
Interpreter::ContentFlow Interpreter::RunChildren(Element* container, std::size_t first,
                                                  std::size_t last, bool logElseBranch) {
  for (std::size_t index = first; index < last; ++index) {
    if (stop_) return ContentFlow::kEnded;
    if (logElseBranch) mainLog_->WriteText("\tI execute else/elseif element.");
    if (ExecuteChild(container->children[index], container) == ContentFlow::kEnded) {
      return ContentFlow::kEnded;
    }
  }
  return ContentFlow::kGoOn;
}

// Runs one child by its tag name; text is spoken like a prompt, children of
// other kinds are skipped.
Interpreter::ContentFlow Interpreter::ExecuteChild(Element* child, Element* container) {
  const std::string& tag = child->tagName;
  if (tag == "prompt" || tag == "PCDATA") {
    promptPlayer_->PlayPrompt(child, currentDocument_, container);
  } else if (tag == "audio") {
    promptPlayer_->PlayAudioElement(child);
  } else if (tag == "assign") {
    ExecuteAssign(child);
  } else if (tag == "clear") {
    ExecuteClear(child);
  } else if (tag == "exit") {
    ExecuteExit(child);
  } else if (tag == "goto") {
    ExecuteGoto(child);
    return ContentFlow::kEnded;
  } else if (tag == "if") {
    if (ExecuteIf(child) == ContentFlow::kEnded) return ContentFlow::kEnded;
  } else if (tag == "reprompt") {
    ExecuteReprompt();
  } else if (tag == "script") {
    ExecuteScript(child);
  } else if (tag == "subdialog") {
    ExecuteSubdialog(child);
  } else if (tag == "return") {
    ExecuteReturn(child);
  } else if (tag == "submit") {
    ExecuteSubmit(child);
  } else if (tag == "throw") {
    ExecuteThrow(child);
  } else if (tag == "var") {
    ExecuteVar(child, "anonymous");
  } else if (tag == "disconnect") {
    Stop(child);
    return ContentFlow::kEnded;
  }
  if (promptPlayer_->HangUp()) {
    stop_ = true;
    return ContentFlow::kEnded;
  }
  return ContentFlow::kGoOn;
}

Interpreter::ContentFlow Interpreter::ExecuteIf(Element* ifElement) {
  mainLog_->Message("if element");
  bool condition = EvaluateCond(ifElement);
  mainLog_->Message(ifElement->sourceText);
  const std::vector<Element*>& children = ifElement->children;
  if (condition) {
    mainLog_->WriteText("\tcondition true");
    return RunChildren(ifElement, 0, BranchEnd(children, 0), false);
  }
  mainLog_->WriteText("\tcondition false");
  std::size_t chosen = 0;
  while (chosen < children.size()) {
    Element* child = children[chosen];
    if (child->tagName == "else") break;
    if (child->tagName == "elseif" && EvaluateCond(child)) break;
    ++chosen;
  }
  bool found = chosen < children.size();
  mainLog_->WriteBool(found);
  if (!found) return ContentFlow::kGoOn;
  return RunChildren(ifElement, chosen + 1, BranchEnd(children, chosen + 1), true);
}

void Interpreter::ExecuteVar(Element* element, const std::string& scope) {
  std::string name = element->GetAttribute("name");
  std::string value = element->GetAttribute("expr");
  if (value.empty()) value = "'undefined'";
  scopes_->CreateVariableWithValue(name, value, scope);
  element->binding.emplace(name, element->scope, element);
}

// The reader has decoded the code outside CDATA sections already: a second
// decoding would change what CDATA holds as written. The code runs up to the
// last end tag, as a CDATA section may hold "</script>".
void Interpreter::ExecuteScript(Element* element) {
  const std::string body = taglexer::ElementBody(element->sourceText, "script");
  if (!body.empty()) scopes_->ExecuteBuilt(body);
}

void Interpreter::ExecuteExit(Element* /*element*/) {
  mainLog_->Message("EXIT !!");
  stop_ = true;
}

void Interpreter::ExecuteThrow(Element* element) {
  mainLog_->Error("Error! Unsupported VoiceXML element (throw).");
  std::cout << "\t\tError! Unsupported VoiceXML element (throw). EXIT" << std::endl;
  ExecuteExit(element);
}

void Interpreter::ExecuteReprompt() {
  mainLog_->Message("Reprompt enable");
  if (executingItem_ != nullptr) executingItem_->prompted = 0;
}

// Logs the second stored attribute's value, " = " and the first one's value
// (for name="n" content="c": "c = n"); a missing attribute reads as empty.
void Interpreter::ExecuteMeta(Element* element) {
  auto value = [element](std::size_t index) {
    return index < element->attributes.size() ? element->attributes[index].value : "";
  };
  mainLog_->Message("META DATA: ");
  mainLog_->Message("\t\t");
  mainLog_->Write(value(1));
  mainLog_->WriteText(" = ");
  mainLog_->Write(value(0));
}

bool Interpreter::EvaluateCond(Element* element) {
  std::string cond = element->GetAttribute("cond");
  if (cond.empty()) return true;
  std::string result;
  if (scopes_->ExecuteCommand(cond, &result, true) != 0) return false;
  return result != "false";
}
