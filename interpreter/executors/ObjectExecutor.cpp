// The <object> executor, its <param> children and the data query. An object
// hands work to something outside the interpreter: the program its classid
// names, run through the shell with the exchange files, or (a classid with
// both "BUILDIN" and "dataq") a query sent to the peer. Each result becomes
// a property of the object's variable; nothing in a result runs as script:
// names must be plain names and values become literals.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <vector>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ExchangeFiles.h"
#include "interpreter/scripts/ScriptLiteral.h"
#include "platform/ProgramRunner.h"
#include "speech_resources/PromptPlayer.h"

namespace {

using exchangefiles::kRequestFile;

const char kParamError[] = "Error name atributte in param element";
// The longest variable name a result may make (object name, ".", result name).
constexpr std::size_t kMaxVariableName = 99;

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// A param's value for the request file: an expr with a single quote from
// that quote on, without its last character; digits as written; otherwise
// the value of the variable it names.
std::string ParamValue(const std::string& expr, EcmaScopes& scopes) {
  const std::size_t quote = expr.find('\'');
  if (quote != std::string::npos) return expr.substr(quote, expr.size() - 1 - quote);
  if (expr.empty()) return "";
  if (expr.find_first_not_of("0123456789") == std::string::npos) return expr;
  return scopes.GetValue(expr);
}

}  // namespace

void Interpreter::ExecuteObject(Element* object) {
  mainLog_->Message("Object element invoked");
  if (!EvaluateCond(object)) return;
  itemVariables_->CreateItemObject(object);
  exchangefiles::MakeFolder();
  std::ofstream(kRequestFile, std::ios::binary | std::ios::trunc).close();  // emptied
  for (Element* child : object->children) {
    if (stop_) return;
    const std::string& tag = child->tagName;
    if (tag == "prompt" || tag == "audio") {
      ExecuteChild(child, object);  // played as executable content plays it
    } else if (tag == "param") {
      ExecuteParam(child);
    } else if (tag == "link") {
      ExecuteLink(child);
    }
    if (StopOnHangUp(promptPlayer_->HangUp())) return;
  }
  object->prompted = 1;
  const std::string classid = object->GetAttribute("classid");
  if (!Contains(classid, "BUILDIN")) {
    RunObjectProgram(object, classid);
  } else if (Contains(classid, "dataq")) {
    DataQuery(object);
    TakeDataQueryReply(object);
  }
}

// The classid is the document author's command line: it runs through the
// shell, with the "data" value as one more word.
void Interpreter::RunObjectProgram(Element* object, const std::string& classid) {
  const std::string data = object->GetAttribute("data");
  const std::string command = data.empty() ? classid : classid + " " + data;
  std::cout << command << std::endl;
  mainLog_->Write(command);
  const std::vector<std::string> lines = exchangefiles::RunForReply([&] {
    const int status = platform::RunShellCommand(command);
    std::cout << "Object execution returns with " << status << std::endl;
    mainLog_->Message("Object execution returns with " + std::to_string(status));
  });
  for (const std::string& line : lines) TakeProgramReplyLine(object, line);
}

// "name\tvalue" sets the property name of the object's variable; a line
// that starts with the TAB sets the variable itself.
void Interpreter::TakeProgramReplyLine(Element* object, const std::string& line) {
  std::string name, value;
  if (!exchangefiles::SplitReplyLine(line, &name, &value)) return;
  const std::string variable = object->GetAttribute("name") + (name.empty() ? "" : "." + name);
  if (!IsResultName(name, variable, true)) return;
  std::cout << "VARNAME>>" << variable << "." << std::endl;
  const std::string written = exchangefiles::ObjectValue(value);
  std::cout << "VARVALEU>>" << written << "." << std::endl;
  AssignResult(object, variable, written);
  std::cout << "Variable " << variable << " sucessfully written" << std::endl;
}

// The fields of the reply become properties of the object's variable, their
// names the list "dialog.objvarlist" and their count "dialog.objvarcount".
void Interpreter::TakeDataQueryReply(Element* object) {
  std::string text = object->sourceText;
  scopes_->ExecuteBuilt("dialog.objvarlist = new Array(100);");
  int count = 0;
  std::string name;
  std::string value;
  while (ScanObjectReply(text, name, value)) {
    const std::string variable = object->GetAttribute("name") + "." + name;
    if (!IsResultName(name, variable, false)) continue;
    AssignResult(object, variable, exchangefiles::ObjectValue(value));
    scopes_->ExecuteBuilt("dialog.objvarlist[" + std::to_string(count) + "] = \"" + name + "\";");
    ++count;
  }
  scopes_->ExecuteBuilt("dialog.objvarcount=" + std::to_string(count) + ";");
}

// A result name must be a plain name (empty only where the object's own
// variable may be set) and make a variable name of at most 99 characters;
// another is skipped with a console line.
bool Interpreter::IsResultName(const std::string& name, const std::string& variable,
                               bool ownAllowed) {
  if (IsPlainName(name) && (ownAllowed || !name.empty()) &&
      variable.size() <= kMaxVariableName) {
    return true;
  }
  std::cout << "The result " << name << " is skipped: it is not a plain name, or "
            << variable << " is longer than " << kMaxVariableName << " characters" << std::endl;
  return false;
}

void Interpreter::AssignResult(Element* object, const std::string& variable,
                               const std::string& scriptValue) {
  scopes_->ExecuteBuilt(object->scope + "." + variable + "=" + scriptValue);
}

void Interpreter::ExecuteParam(Element* param) {
  mainLog_->Message("param element");
  std::ofstream request(kRequestFile, std::ios::binary | std::ios::app);
  if (!request.is_open()) {
    exchangefiles::ReportUnopened(kRequestFile);
    return;
  }
  const std::string name = param->GetAttribute("name");
  const std::string expr = param->GetAttribute("expr");
  if (name.empty()) std::cout << kParamError << std::endl;
  if (expr.empty()) std::cout << kParamError << std::endl;
  request << name << '\t' << exchangefiles::OnOneLine(ParamValue(expr, *scopes_)) << '\n';
}

void Interpreter::DataQuery(Element* object) {
  peer_.Send("dataquery");
  std::string query = "{\nact query\ncontent " + object->GetAttribute("data") + "\n";
  for (Element* child : object->children) {
    if (child->tagName != "param") continue;
    const std::string name = child->GetAttribute("name");
    const std::string expr = child->GetAttribute("expr");
    const std::string value = expr.empty() ? child->GetAttribute("value") : scopes_->GetValue(expr);
    if (name.empty()) std::cout << kParamError << std::endl;
    if (value.empty()) std::cout << kParamError << std::endl;
    query += name + " " + exchangefiles::OnOneLine(value) + "\n";
  }
  peer_.Send(query + "}\n");
  object->sourceText = peer_.Receive();
  if (PeerAnsweredEnd(object->sourceText)) stop_ = true;
}

// A value holding ")}" or "(" loses its last 2 characters, else one holding
// ")\n}" its last 4 (never below the empty text).
bool Interpreter::ScanObjectReply(std::string& text, std::string& name, std::string& value) {
  name.clear();
  value.clear();
  const std::size_t mark = text.find("\t:");
  if (mark == std::string::npos) return false;
  text.erase(0, mark + 2);
  const std::string field = text.substr(0, text.find("\t:"));
  std::size_t split = field.find(' ');
  if (split == std::string::npos) split = field.find(')');
  if (split == std::string::npos) return true;
  name = field.substr(0, split);
  value = field.substr(split + 1);
  std::size_t cut = 0;
  if (Contains(value, ")}") || Contains(value, "(")) {
    cut = 2;
  } else if (Contains(value, ")\n}")) {
    cut = 4;
  }
  value.resize(value.size() - std::min(cut, value.size()));
  return true;
}
