#include "interpreter/scripts/EcmaScopes.h"

#include <iostream>
#include <iterator>
#include <vector>

#include "interpreter/common/Entities.h"
#include "interpreter/scripts/MavetteEngine.h"
#include "interpreter/scripts/ScriptLiteral.h"

const char EcmaScopes::kLogFile[] = "Quorvane\\ecmalog.txt";

namespace {

const std::string kRule(53, '_');
const char kCauseless[] =
    "Causeless invoking FindInScopes function - scope is in variable included.";
const char kHidden[] =
    "WARNING> Scope information maked by FindInScopes REJECTED because the scope is hidden yet!";

// The scope objects of a document searched for a bare name, innermost
// first; "application" and "session" follow while they exist.
const char* const kDocumentScopes[] = {"anonymous", "dialog", "document"};

bool Contains(const std::string& text, const char* word) {
  return text.find(word) != std::string::npos;
}

// True when the name holds one of the scope words that make FindInScopes give
// up ("session", "application", "document", "dialog").
bool HoldsScopeWord(const std::string& name) {
  return Contains(name, "session") || Contains(name, "application") ||
         Contains(name, "document") || Contains(name, "dialog");
}

// As HoldsScopeWord, "SmResult" included: such a name is used as it stands.
bool IsQualified(const std::string& name) {
  return HoldsScopeWord(name) || Contains(name, "SmResult");
}

// Whether the caller scope cannot see the scope found: anonymous is hidden
// from dialog and document, dialog from document.
bool IsHidden(const std::string& found, const std::string& caller) {
  return (found == "anonymous" && (caller == "dialog" || caller == "document")) ||
         (found == "dialog" && caller == "document");
}

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

bool IsNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(c) || c == '_' ||
         c == '$' || c >= 0x80;
}

// The end of the quoted section whose opening quote stands at `open`: just
// past the matching quote (a backslash hides the character after it), or the
// end of the text when the quote is never closed.
std::size_t QuotedEnd(const std::string& text, std::size_t open) {
  const char quote = text[open];
  for (std::size_t i = open + 1; i < text.size(); ++i) {
    if (text[i] == '\\') {
      ++i;
    } else if (text[i] == quote) {
      return i + 1;
    }
  }
  return text.size();
}

}  // namespace

EcmaScopes::EcmaScopes(SessionLog* mainLog)
    : EcmaScopes(std::make_unique<MavetteEngine>(), mainLog) {}

EcmaScopes::EcmaScopes(std::unique_ptr<ScriptEngine> engine, SessionLog* mainLog)
    : mainLog_(mainLog), engine_(std::move(engine)) {
  engine_->Start();
  log_ = std::make_unique<SessionLog>(kLogFile);
  log_->Message("Start of ECMAScript engine");
  log_->Message(kRule);
}

EcmaScopes::~EcmaScopes() {
  engine_->Stop();
  log_->Message(kRule);
  log_->Message("Destroy of ECMAScript engine");
}

void EcmaScopes::CreateSessionScopes() {
  CreateScope("session");
  sessionScope_ = true;
  CreateApplicationScope();
}

void EcmaScopes::CreateApplicationScope() {
  CreateScope("application");
  applicationScope_ = true;
}

void EcmaScopes::CreateDocumentScopes() {
  CreateScope("document");
  CreateScope("dialog");
  CreateScope("anonymous");
  CreateScope("SmResult");
}

void EcmaScopes::ClearApplication() {
  Run("application=undefined;", kValueSize);
  applicationScope_ = false;
}

void EcmaScopes::ClearDocument() {
  for (const char* name : {"document", "dialog", "anonymous", "SmResult"}) {
    Run(std::string(name) + "=undefined;", kShortSize);
  }
}

void EcmaScopes::CreateScope(const std::string& name) {
  Run("var " + name + "=new Object()", kValueSize);
}

int EcmaScopes::ExecuteCommand(const std::string& command, std::string* result, bool expand,
                               std::size_t resultSize) {
  const std::string decoded = entities::Decode(command);
  ScriptResult run = RunLogged(expand ? ExpandScopes(decoded) : decoded, decoded, resultSize);
  if (result) *result = run.text;
  return run.status;
}

int EcmaScopes::ExecuteBuilt(const std::string& command, std::size_t resultSize,
                             std::string* result) {
  ScriptResult run = Run(command, resultSize);
  if (result) *result = run.text;
  return run.status;
}

void EcmaScopes::MergeIntoScope(const std::string& scope, const std::string& expression) {
  Run("(function(from,to){if(typeof from!=='object'||from===null)return;"
      "for(var name in from){var value=from[name];"
      "if(value!==undefined&&value!==null&&value!=='')to[name]=value;}})(" +
          (expression.empty() ? "undefined" : expression) + "," + scope + ")",
      kValueSize);
}

ScriptResult EcmaScopes::Run(const std::string& command, std::size_t resultSize) {
  return RunLogged(command, command, resultSize);
}

ScriptResult EcmaScopes::RunLogged(const std::string& script, const std::string& shown,
                                   std::size_t resultSize) {
  log_->Message(script);
  ScriptResult run = engine_->Run(script, resultSize);
  log_->Message(run.text);
  if (run.cut) {
    (mainLog_ ? mainLog_ : log_.get())
        ->Error("Value cut to " + std::to_string(resultSize - 1) +
                " characters, the most its result buffer holds: " + script);
  }
  if (run.status != 0) {
    std::cout << "ERROR Execute ECMAScript command >>" << shown << std::endl;
    log_->Error("ERROR Execute ECMAScript command!", script);
  }
  return run;
}

std::string EcmaScopes::DocumentExpression(const std::string& expression) {
  return ExpandScopes(entities::Decode(expression));
}

std::string EcmaScopes::ExpandScopes(const std::string& expression) {
  std::string expanded;
  std::size_t i = 0;
  while (i < expression.size()) {
    const unsigned char c = expression[i];
    if (c == '\'' || c == '"') {
      const std::size_t end = QuotedEnd(expression, i);
      expanded.append(expression, i, end - i);
      i = end;
    } else if (IsNameByte(c)) {
      std::size_t end = i;
      while (end < expression.size() && IsNameByte(expression[end])) ++end;
      const std::string name = expression.substr(i, end - i);
      const bool isProperty = i > 0 && expression[i - 1] == '.';
      const std::string scope =
          isProperty || IsDigit(c) ? std::string() : FindInScopes(name, "anonymous");
      expanded += scope.empty() ? name : scope + "." + name;
      i = end;
    } else {
      expanded += static_cast<char>(c);
      ++i;
    }
  }
  return expanded;
}

std::string EcmaScopes::FindInScopes(const std::string& name, const std::string& callerScope) {
  if (HoldsScopeWord(name)) {
    log_->Message(kCauseless);
    std::cout << kCauseless << ">" << name << std::endl;
    return "";
  }
  const std::size_t lastDot = name.rfind('.');
  const std::string owned = lastDot == std::string::npos ? name : name.substr(0, lastDot);
  std::vector<const char*> searched(std::begin(kDocumentScopes), std::end(kDocumentScopes));
  if (applicationScope_) searched.push_back("application");
  if (sessionScope_) searched.push_back("session");
  std::string scope;
  for (const char* candidate : searched) {
    if (HasOwnProperty(owned, candidate)) {
      scope = candidate;
      break;
    }
  }
  if (scope.empty()) {
    log_->Message("WARNING: Unknown scope of variable");
  } else if (scope != callerScope && IsHidden(scope, callerScope)) {
    log_->Message(kHidden);
    scope.clear();
  }
  return scope;
}

bool EcmaScopes::HasOwnProperty(const std::string& name, const std::string& scopeObject) {
  return Run(scopeObject + ".hasOwnProperty(\"" + EscapeScriptString(name) + "\")", kTestSize)
             .text == "true";
}

void EcmaScopes::Assign(const std::string& left, const std::string& right) {
  Run(left + " = " + right, kShortSize);
}

void EcmaScopes::CreateObjectVariable(const std::string& scope, const std::string& saveName) {
  Run("var " + saveName + "= new Object()", kShortSize);
  Run(saveName + "=" + scope, kShortSize);
  CreateScope(scope);
}

void EcmaScopes::CreateVariableWithValue(const std::string& name, const std::string& expression,
                                         const std::string& scope) {
  std::string value = expression.empty() ? "''" : DocumentExpression(expression);
  for (char& c : value) {
    if (c == '\n') c = ' ';
  }
  Run(scope + "." + name + "=" + value, kValueSize);
}

void EcmaScopes::FillVariable(const std::string& name, const std::string& valueExpression,
                              const std::string& scope) {
  if (IsQualified(name)) {
    Run(name + "=" + DocumentExpression(valueExpression), kValueSize);
    return;
  }
  const std::string found = FindInScopes(name, scope);
  const std::string value = DocumentExpression(valueExpression);
  if (found.empty()) {
    AssignUnqualified(name, name + "=" + value);
  } else {
    Run(found + "." + name + "=" + value, kValueSize);
  }
}

void EcmaScopes::FillVariableQuoted(const std::string& name, const std::string& value) {
  Run(name + "=" + (value.empty() ? "''" : value), kValueSize);
}

void EcmaScopes::FillVariableNoScope(const std::string& name, const std::string& value,
                                     const std::string& scope) {
  const std::string assignment = "=" + QuoteScriptString(value);
  if (IsQualified(name) || scope == "NOSCOPE") {
    Run(name + assignment, kValueSize);
  } else if (!scope.empty()) {
    Run(scope + "." + name + assignment, kValueSize);
  } else {
    const std::string found = FindInScopes(name, "");
    if (found.empty()) {
      AssignUnqualified(name, name + assignment);
    } else {
      Run(found + "." + name + assignment, kValueSize);
    }
  }
}

void EcmaScopes::AssignString(const std::string& scope, const std::string& variable,
                              const std::string& property, const std::string& text) {
  Run(scope + "." + variable + "." + property + "=" + QuoteScriptString(text), kStringSize);
}

std::string EcmaScopes::GetValue(const std::string& name) {
  if (IsQualified(name)) return Run(name, kValueSize).text;
  const std::string scope = FindInScopes(name, "anonymous");
  if (!scope.empty()) return Run(scope + "." + name, kValueSize).text;
  // A global that a script made is read as the expression it is; "typeof"
  // of its first part tells without an error whether there is one.
  const std::string global = name.substr(0, name.find('.'));
  if (IsPlainName(name) && Run("typeof " + global, kTestSize).text != "undefined") {
    return Run(name, kValueSize).text;
  }
  LogUndefinedScope(name);
  return "";
}

std::string EcmaScopes::TypeOfAnyScope(const std::string& /*scope*/, const std::string& name) {
  const std::string scope = FindInScopes(name, "unknown");
  return Run("typeof " + (scope.empty() ? name : scope + "." + name), kTestSize).text;
}

void EcmaScopes::LogMessage(const std::string& text) { log_->Message(text); }

void EcmaScopes::LogUndefinedScope(const std::string& name) {
  log_->Error("Error fill variable", name + "\tundefined scope");
}

void EcmaScopes::AssignUnqualified(const std::string& name, const std::string& command) {
  if (Run(command, kValueSize).status != 0) LogUndefinedScope(name);
}
