// The <object> executor, its <param> children and the data query. An object
// hands work to something outside the interpreter: the program its classid
// names, run through the shell with the exchange files, or (a classid with
// both "BUILDIN" and "dataq") a query sent to the peer. Each result becomes
// a property of the object's variable; nothing in a result runs as script:
// names must be plain names and values become literals.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "interpreter/EcmaScopes.h"
#include "interpreter/Element.h"
#include "interpreter/ExchangeFiles.h"
#include "interpreter/Interpreter.h"
#include "interpreter/ScriptLiteral.h"
#include "interpreter/SessionLog.h"
#include "platform/ProgramRunner.h"
#include "speech_resources/PromptPlayer.h"

namespace {

using exchangefiles::kReplyFile;
using exchangefiles::kRequestFile;

const char kParamError[] = "Error name atributte in param element";
// The longest variable name a result may make (object name, ".", result name).
constexpr std::size_t kMaxVariableName = 99;

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An integer as written: blanks, then a sign, then digits, and nothing else.
bool IsIntegerText(const std::string& text) {
  std::size_t at = text.find_first_not_of(' ');
  if (at != std::string::npos && (text[at] == '+' || text[at] == '-')) ++at;
  return at < text.size() && text.find_first_not_of("0123456789", at) == std::string::npos;
}

// A number text: an integer as written whose decimal integer read from every
// position on (up to the first non-digit) is not zero. So 42 and -5 are
// numbers; 0, 100, 12a and 5-3 are not.
bool IsNumberText(const std::string& text) {
  if (!IsIntegerText(text)) return false;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (std::strtol(text.c_str() + at, nullptr, 10) == 0) return false;
  }
  return true;
}

// The number text without the zeros that start a run of digits (they
// would make an octal number).
std::string WithoutLeadingZeros(const std::string& text) {
  std::string written;
  bool runStart = true;
  for (char c : text) {
    if (!(runStart && c == '0')) written += c;
    runStart = !IsDigit(c) || (runStart && c == '0');
  }
  return written;
}

// The script value of a result: true and false as booleans, a number text
// as a number, anything else (the empty text too) as an escaped string.
std::string ResultValue(const std::string& text) {
  if (text == "true" || text == "false") return text;
  if (IsNumberText(text)) return WithoutLeadingZeros(text);
  return QuoteScriptString(text);
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
  scopes_->CreateItemObject(object);
  std::error_code ignored;
  std::filesystem::create_directories(exchangefiles::kFolder, ignored);
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
  std::error_code ignored;
  std::filesystem::remove(kReplyFile, ignored);  // no earlier reply may count
  const int status = platform::RunShellCommand(command);
  std::cout << "Object execution returns with " << status << std::endl;
  mainLog_->Message("Object execution returns with " + std::to_string(status));
  std::vector<std::string> lines;
  if (!platform::ReadAnswerLines(kReplyFile, &lines)) {
    exchangefiles::ReportUnopened(kReplyFile);
    return;
  }
  for (const std::string& line : lines) TakeProgramReplyLine(object, line);
}

// "name\tvalue" sets the property name of the object's variable; a line
// that starts with the TAB sets the variable itself.
void Interpreter::TakeProgramReplyLine(Element* object, const std::string& line) {
  std::cout << line << std::endl;
  const std::size_t tab = line.find('\t');
  if (tab == std::string::npos) return;
  std::cout << tab << std::endl;
  const std::string name = line.substr(0, tab);
  const std::string variable = object->GetAttribute("name") + (name.empty() ? "" : "." + name);
  if (!IsResultName(name, variable, true)) return;
  const std::string value = line.substr(tab + 1);
  std::cout << "VARNAME>>" << variable << "." << std::endl;
  std::cout << "VARVALEU>>" << ResultValue(value) << "." << std::endl;
  AssignResult(object, variable, value);
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
    AssignResult(object, variable, value);
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
                               const std::string& text) {
  scopes_->ExecuteBuilt(object->scope + "." + variable + "=" + ResultValue(text));
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
