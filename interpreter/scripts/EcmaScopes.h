// scripts/: this scope layer, script literals, the engine binding, exchange files.
//
// The server's one road to the script engine. The VoiceXML scopes are plain
// script objects in global variables ("session", "application", "document",
// "dialog", "anonymous", and "SmResult" for semantic results); a variable x
// of scope s is s.x. The layer builds every script text itself, finds the
// scope of a bare name, rewrites expressions so that their names carry their
// scopes, and writes every command and its result to the script log
// "Quorvane\\ecmalog.txt".
//
// Every command runs with a result buffer of a fixed size per operation
// (kValueSize unless stated): a value read back holds at most that size less
// one byte, and an undefined value reads as "". A longer value is cut, and
// the cut is logged as an error on the main log (on the script log when the
// layer has no main log), naming the command and the limit. A command that
// fails is reported on standard output and in the script log, and the caller
// goes on; each command's status is its own.
//
// Texts that become string literals (FillVariableNoScope, AssignString, the
// name of a property test) are escaped with EscapeScriptString; expressions
// are inserted as they are. Entities (entities::Decode: the five named
// ones and the numeric references, as Windows-1250 bytes) are decoded in the
// document's own expressions only (ExecuteCommand, the value of FillVariable
// and CreateVariableWithValue), never in the commands the layer builds from
// values.
#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "interpreter/common/SessionLog.h"
#include "interpreter/scripts/ScriptEngine.h"

class EcmaScopes {
 public:
  static const char kLogFile[];                    // "Quorvane\\ecmalog.txt"
  static constexpr std::size_t kValueSize = 10000;  // values read, most commands
  static constexpr std::size_t kShortSize = 256;    // clearing, objects, Assign
  static constexpr std::size_t kTestSize = 50;      // property and type tests
  static constexpr std::size_t kStringSize = 1000;  // AssignString

  // Starts the engine (the library Mavette, or the one given) and creates the
  // script log afresh, with the messages "Start of ECMAScript engine" and a
  // line of 53 underscores. The log's folder must exist, or nothing is logged.
  // The main log (not owned; it must outlive the layer) receives the cuts.
  explicit EcmaScopes(SessionLog* mainLog = nullptr);
  explicit EcmaScopes(std::unique_ptr<ScriptEngine> engine, SessionLog* mainLog = nullptr);
  // Stops the engine, logs a line of 53 underscores and "Destroy of
  // ECMAScript engine", and closes the log with its footer.
  ~EcmaScopes();
  EcmaScopes(const EcmaScopes&) = delete;
  EcmaScopes& operator=(const EcmaScopes&) = delete;

  // Scope objects: CreateScope runs "var " + name + "=new Object()", which
  // makes the object or replaces it with a new empty one.
  void CreateSessionScopes();   // "session", then "application"
  void CreateApplicationScope();  // "application" alone
  void CreateDocumentScopes();  // "document", "dialog", "anonymous", "SmResult"
  void ClearApplication();      // "application=undefined;"
  void ClearDocument();         // the four document objects =undefined (kShortSize)
  void CreateScope(const std::string& name);

  // Runs one command of the document (a condition, an expression, a script)
  // and returns the engine's status for it (0: no error reported). Its
  // entities are decoded first; with expand on the command is then rewritten
  // by ExpandScopes. The command and the result text are
  // logged as two messages. The result text (at most resultSize - 1 bytes)
  // goes to *result unless result is null. On a nonzero status prints
  // "ERROR Execute ECMAScript command >>" + the decoded command and logs the
  // error "ERROR Execute ECMAScript command!" followed by the command run.
  int ExecuteCommand(const std::string& command, std::string* result, bool expand,
                     std::size_t resultSize = kValueSize);

  // Runs a command that the server built as it stands: no entity decoding,
  // no scope expansion (every value in it is a script expression or went
  // through EscapeScriptString), or a script the document wrote literally (a
  // CDATA section). Every command built from a value (an utterance, a reply,
  // a lookup's answer, a name list) comes here, never to ExecuteCommand: an
  // entity in an escaped value would be decoded into a live quote there.
  // Logged as every command is; returns the engine's status, and the result
  // text (at most resultSize - 1 bytes) in *result unless result is null.
  int ExecuteBuilt(const std::string& command, std::size_t resultSize = kValueSize,
                   std::string* result = nullptr);

  // Copies into the scope object every property of the object that the
  // expression gives whose value is neither undefined, null nor ''; the
  // scope's other properties stay. A value that is not an object, or an
  // empty expression, copies nothing. One command.
  void MergeIntoScope(const std::string& scope, const std::string& expression);

  // The expression with "scope." put before every name that FindInScopes
  // (caller "anonymous") resolves. A name is a run of letters, digits, "_",
  // "$" and bytes above 0x7F that does not start with a digit; a name right
  // after "." (a property) and text between single or double quotes (with
  // backslash escapes; an unterminated quote runs to the end) are copied
  // unchanged, as is a run that starts with a digit (a number).
  std::string ExpandScopes(const std::string& expression);

  // The scope object ("anonymous", "dialog", "document", then "application"
  // and "session" while they exist, tested in this order) that owns the name
  // (for a.b.c: the property "a.b"), or "" when none does, when the name
  // holds a scope word ("session", "application", "document", "dialog") or
  // when the scope is hidden from the caller scope (anonymous from dialog or
  // document, dialog from document). Each case that gives "" is logged.
  std::string FindInScopes(const std::string& name, const std::string& callerScope);

  // True when scopeObject + ".hasOwnProperty(\"name\")" gives "true".
  bool HasOwnProperty(const std::string& name, const std::string& scopeObject);

  // left + " = " + right (kShortSize).
  void Assign(const std::string& left, const std::string& right);
  // Parks the scope object X under the global saveName and gives X a new
  // empty object: "var N= new Object()", "N=X", then CreateScope(X).
  void CreateObjectVariable(const std::string& scope, const std::string& saveName);
  // scope + "." + name + "=" + the expression, decoded and expanded as
  // ExecuteCommand does; an empty expression becomes '' and every line feed a
  // blank.
  void CreateVariableWithValue(const std::string& name, const std::string& expression,
                               const std::string& scope);
  // name = the decoded, expanded value expression, the name qualified with
  // the scope FindInScopes finds from `scope` unless it holds a scope word
  // ("SmResult" counts here); unresolved, the name is assigned unqualified,
  // and a failure logs "Error fill variable".
  void FillVariable(const std::string& name, const std::string& valueExpression,
                    const std::string& scope);
  // name + "=" + value (an expression; an empty one becomes '').
  void FillVariableQuoted(const std::string& name, const std::string& value);
  // name = the value as a string literal. The name is qualified with `scope`
  // unless it holds a scope word or scope is "NOSCOPE"; an empty scope is
  // looked up with FindInScopes as in FillVariable.
  void FillVariableNoScope(const std::string& name, const std::string& value,
                           const std::string& scope);
  // scope.variable.property = text as a string literal (kStringSize).
  void AssignString(const std::string& scope, const std::string& variable,
                    const std::string& property, const std::string& text);
  // Writes the text to the script log as one message.
  void LogMessage(const std::string& text);
  // The printed value of the name, qualified as in FillVariable with caller
  // "anonymous". A plain name that no scope holds is read as it stands when
  // "typeof" of its first part is not "undefined" (a global a script made);
  // otherwise it logs "Error fill variable" and gives "".
  std::string GetValue(const std::string& name);
  // "typeof" of the name, qualified when FindInScopes finds a scope
  // (kTestSize). The scope argument is not used.
  std::string TypeOfAnyScope(const std::string& scope, const std::string& name);

 private:
  // Runs a generated command as it stands and returns status and text.
  ScriptResult Run(const std::string& command, std::size_t resultSize);
  // Runs the script and logs it, its result, a cut and a failure (the
  // console line shows `shown`).
  ScriptResult RunLogged(const std::string& script, const std::string& shown,
                         std::size_t resultSize);
  // The expression of the document as it is to run: decoded and expanded.
  std::string DocumentExpression(const std::string& expression);
  // Logs "Error fill variable" and the name with "\tundefined scope".
  void LogUndefinedScope(const std::string& name);
  // Runs the assignment of a name whose scope was not found; a failure is
  // logged with LogUndefinedScope.
  void AssignUnqualified(const std::string& name, const std::string& command);

  std::unique_ptr<SessionLog> log_;
  SessionLog* mainLog_;
  bool sessionScope_ = false;      // "session" exists
  bool applicationScope_ = false;  // "application" exists (created and not cleared)
  std::unique_ptr<ScriptEngine> engine_;
};
