// Executable content: the children of blocks, filled elements, event
// handlers and <if> branches, run one by one by their tag name, and the
// executors of <if>, <var>, <script>, <exit>, <throw>, <reprompt>, <meta>
// and of "cond" attributes.
#include <iostream>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/TagLexer.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/scripts/EcmaScopes.h"
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

// Elements that executable content may hold but nothing runs. Their names
// are not in the element table, so their tags come in runs of text.
bool IsNotRunInContent(const std::string& name) {
  return name == "foreach" || name == "data" || name == "cancel";
}

// The run of text without the elements that are not run (their tags and all
// they hold), and their names. `open` names one whose end tag is still to
// come: on entry the run starts inside it, on return it goes on after it.
std::string CutNotRun(const std::string& run, std::string& open,
                      std::vector<std::string>& notRun) {
  std::string kept;
  for (std::size_t at = 0; at < run.size();) {
    const taglexer::Piece piece = taglexer::NextPiece(run, at);
    const std::string text = run.substr(piece.begin, piece.end - piece.begin);
    at = piece.end;
    const bool tag = taglexer::IsTag(piece) && piece.complete;
    const std::string name = tag ? taglexer::TagName(text) : "";
    if (!open.empty()) {
      if (piece.kind == taglexer::PieceKind::kEndTag && name == open) open.clear();
    } else if (tag && piece.kind != taglexer::PieceKind::kEndTag && IsNotRunInContent(name)) {
      notRun.push_back(name);
      if (piece.kind == taglexer::PieceKind::kStartTag) open = name;
    } else {
      kept += text;
    }
  }
  return kept;
}

// Where the content stands, for the main log: "in the block b1", "in the
// filled of the field color"; an <if> stands for the element that holds it.
std::string ContentPlace(const Element* container) {
  while (container->tagName == "if" && container->parent != nullptr) container = container->parent;
  auto nameOf = [](const Element* element) {
    const std::string name = element->GetAttribute("name");
    return name.empty() ? element->GetAttribute("id") : name;
  };
  std::string place = "in the " + container->tagName;
  if (!nameOf(container).empty()) return place + " " + nameOf(container);
  const Element* owner = container->parent;
  if (owner != nullptr && !nameOf(owner).empty()) {
    place += " of the " + owner->tagName + " " + nameOf(owner);
  }
  return place;
}

}  // namespace

void Interpreter::ExecuteContent(Element* container) {
  RunChildren(container, 0, container->children.size(), false);
}

// Runs the container's children [first, last). A prompt among them counts
// against the container (its prompt counter is raised). An element that is
// not run is logged; what it holds is not run either.
Interpreter::ContentFlow Interpreter::RunChildren(Element* container, std::size_t first,
                                                  std::size_t last, bool logElseBranch) {
  std::string open;  // an element not run whose end tag is still to come
  for (std::size_t index = first; index < last; ++index) {
    if (stop_) return ContentFlow::kEnded;
    Element* child = container->children[index];
    if (!open.empty() && child->tagName != "PCDATA") continue;
    Element cut;
    if (child->tagName == "PCDATA") child = WithoutNotRun(child, container, open, cut);
    if (logElseBranch) mainLog_->WriteText("\tI execute else/elseif element.");
    if (ExecuteChild(child, container) == ContentFlow::kEnded) return ContentFlow::kEnded;
  }
  return ContentFlow::kGoOn;
}

// The run itself when it holds no element that is not run and does not
// start inside one; otherwise `cut`, filled with the run's text that is left.
Element* Interpreter::WithoutNotRun(Element* run, Element* container, std::string& open,
                                    Element& cut) {
  const bool inside = !open.empty();
  std::vector<std::string> notRun;
  const std::string kept = CutNotRun(run->GetText(), open, notRun);
  for (const std::string& name : notRun) LogNotRun("<" + name + ">", ContentPlace(container));
  if (!inside && notRun.empty()) return run;
  cut = Element("PCDATA", run->scope, kept + "</PCDATA>", {});
  return &cut;
}

// Runs one child by its tag name; text is spoken like a prompt, children of
// other kinds are logged as not run.
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
  } else {
    LogNotRun("<" + tag + ">", ContentPlace(container));
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
  const std::vector<Element*>& children = ifElement->children;
  if (condition) {
    mainLog_->Message(ifElement->sourceText + "\tcondition true");
    return RunChildren(ifElement, 0, BranchEnd(children, 0), false);
  }
  std::size_t chosen = 0;
  while (chosen < children.size()) {
    Element* child = children[chosen];
    if (child->tagName == "else") break;
    if (child->tagName == "elseif" && EvaluateCond(child)) break;
    ++chosen;
  }
  bool found = chosen < children.size();
  mainLog_->Message(ifElement->sourceText + "\tcondition false" + (found ? "true" : "false"));
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
// last end tag, as a CDATA section may hold "</script>". A script file is
// never fetched: its "src" or "srcexpr" is named as not run.
void Interpreter::ExecuteScript(Element* element) {
  LogNotRunAttributes(element, {"src", "srcexpr"}, "in the script", "only the script's body runs");
  const std::string body = taglexer::ElementBody(element->sourceText, "script");
  if (!body.empty()) scopes_->ExecuteBuilt(body);
}

void Interpreter::ExecuteExit(Element* element) {
  mainLog_->Message("EXIT !!");
  LogNotRunAttributes(element, {"namelist", "expr"}, "in the exit", "an exit returns no values");
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
  mainLog_->Message("\t\t" + value(1) + " = " + value(0));
}

bool Interpreter::EvaluateCond(Element* element) {
  std::string cond = element->GetAttribute("cond");
  if (cond.empty()) return true;
  std::string result;
  if (scopes_->ExecuteCommand(cond, &result, true) != 0) return false;
  return result != "false";
}
