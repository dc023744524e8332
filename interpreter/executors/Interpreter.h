// executors/: the interpreter, its element executors, item variables, the form client.
//
// The one object that runs a dialogue over VoiceXML documents. It owns the
// parser of the current document, the scope layer (and with it the script
// engine), the prompt player, the grammar manager, the input collector and
// the semantic resolver, walks from document to document, handles each
// document's root element and document-level elements, and runs each dialog
// (form or menu) with the Form Interpretation Algorithm. Every element
// executor is an operation of this class and shares its state.
//
// Calling order: constructor, LoadDocument on the start document, Run,
// destructor. Single-threaded; every request to the peer blocks until the
// reply arrives.
//
// The stop flag ends the algorithm, the executors and the document loop at
// their next test of it. It is set by <exit>, <throw>, <disconnect>, a jump to
// another dialog or document, a hang-up seen by any request, a form loop that
// no longer asks the peer anything, scripts that the engine stopped (too many
// for their time, or one for its memory), and Stop. A jump to another dialog
// leaves that dialog pending: once the running one has ended, RunDocument runs
// it. A jump to another document also sets the next-document flag: Run then
// loads that document and goes on.
//
// One input turn (a field, a menu, an initial or a record): "NewGroup\t",
// one "AddGram\t" per active grammar, "LoadGroup", the item's prompt, then
// "ask:" ("GetDTMFch:" in a DTMF menu, "Record:" for a record). The semantic
// resolver turns an accepted answer into SmResult values, and post-semantic
// processing gives them their meaning: a field's value, a menu choice, a
// form's values or jump, a link. No input, no match and help are events,
// counted per item; the fifth counted event of an item speaks an apology
// and ends the call.
//
// A subdialog runs another document (or another dialog of the same one)
// nested in the running interpreter and script engine: the caller's
// anonymous, dialog and document scopes are parked in "SBanonymous",
// "SBdialog" and "SBdocument" while it runs, and a <return> writes the
// subdialog's values into the caller's item variable there. A jump between
// the subdialog's own dialogs stays inside it; exit, disconnect, throw, a
// hang-up, too many events and a document jump end the caller too.
//
// Reaching outside: <submit> sends variables to an HTTP server (WebForm)
// and keeps the reply body in "Quorvane/temp/dynamic_cont.xml"; an <object>
// runs the program its classid names (through /bin/sh -c) or, for a
// "BUILDIN" "dataq" classid, sends a data query to the peer, and turns each
// result into a property of its variable.
#pragma once
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "interpreter/document/DialogSlot.h"
#include "interpreter/executors/RequestCounter.h"

class Element;
class EcmaScopes;
class ItemVariables;
class GrammarManager;
class PeerLink;
class PromptPlayer;
class RecognitionResult;
class SemanticResolver;
class SessionLog;
struct ScriptResult;
class VxmlDocument;
class XmlParser;

class Interpreter {
 public:
  // Whether executable content goes on with the next child or has ended
  // (a <goto> or <disconnect> ends the content that holds it, and the content
  // around an <if> that holds it).
  enum class ContentFlow { kGoOn, kEnded };

  // Nested item jumps (a goto to an item runs that item's turn inside the
  // goto) deeper than this end the dialogue with an error.
  static constexpr int kMaxJumpDepth = 200;
  // Passes of the select phase in a row, across dialogs, without a request to
  // the peer, after which the dialogue ends with an error: such a form loop
  // would spin for ever.
  static constexpr int kMaxSilentPasses = 10000;
  // Scripts stopped for running too long, without a request to the peer
  // since the first of them, at which the dialogue ends the same way: each
  // such pass would take the engine's whole time limit. One script stopped
  // for its memory ends it too: the engine has started afresh without the
  // dialogue's variables.
  static constexpr int kMaxTimedOutScripts = 10;
  // Subdialogs nested deeper than this end the dialogue with an error.
  static constexpr int kMaxSubdialogDepth = 50;
  // The longest <submit> reply body kept.
  static constexpr std::size_t kSubmitReplySize = 10000;
  static const char kSubmitReplyFile[];  // "Quorvane/temp/dynamic_cont.xml"

  // Requires the start document and the two logs (none owned; all must
  // outlive the interpreter) and the peer link, which the prompt player and
  // the input collector use. Starts the script engine, creates the session
  // and application scope objects and logs "Create INTERPRETER succesfull!".
  Interpreter(VxmlDocument* document, SessionLog* mainLog, SessionLog* dialogLog,
              const std::string& mode, PeerLink& peer);
  // Deletes the members (the script engine stops) and logs "Destroy INTERPRETER\n".
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // Document loop (Interpreter.cpp).
  // Makes the document current with a fresh parser and fresh document scopes;
  // clears the dialog, the items and the stop flag. Returns 0.
  int LoadDocument(VxmlDocument* document);
  // The whole dialogue: runs the current document, then every document that
  // a jump names, until no jump is pending. Returns 0.
  int Run();
  // Runs the document-level var, meta and link elements of the parsed current
  // document, then the start dialog (or the first one), then every dialog
  // that a jump names. A document without any dialog logs an error and runs
  // nothing. Returns 0. Where a document holds an element that nothing runs
  // (a <script> or a <property> at its top or in a form, a <transfer>, an
  // <option>, a field's built-in type, a handler of an event that is never
  // raised, a <filled> in a record), the main log gets the error "<script> at
  // the top of <file> is not run" ("in the form <id>", "in the field <name>",
  // "<filled> in the record <name>"), with the reason after a colon where one
  // helps. Each dialog names its own when it is entered.
  int RunDocument();
  // Reads the root's version (not "1.0": the dialogue and the process end,
  // status 0), base, lang and application (the application root document).
  void ProcessVxmlRoot(Element* root);
  // Loads the application root document and declares its top-level variables
  // in the scope "application" (ApplicationRoot.cpp).
  void LoadApplicationRoot(VxmlDocument* document);

  // Form Interpretation Algorithm (FormInterpretation.cpp).
  // Runs one dialog. Entered by jump: the defined, non-empty properties of
  // the object `expression` gives are merged into the dialog scope and the
  // first pass runs the process phase only.
  void RunFIA(DialogSlot* slot, bool enteredByJump, const std::string& expression);
  // The one way to move to another dialog of the current document: ends the
  // running dialog (stop flag) and leaves `slot` pending, to be run by
  // RunDocument with RunFIA's arguments. Dialogs never nest, so a dialogue
  // may move between them without limit.
  void JumpToDialog(DialogSlot* slot, bool enteredByJump, const std::string& expression);
  void InitPhase(DialogSlot* slot);
  // True when no form item is left; otherwise the selected item is set.
  bool SelectPhase(DialogSlot* slot);
  // Runs the selected item: 1 when the process phase is to run, else 0 or -1.
  int CollectPhase(DialogSlot* slot);
  // Runs the form-level filled elements whose items are filled. Returns 0.
  int ProcessPhase(DialogSlot* slot);
  void ExecuteFilled(Element* filled);

  // Executable content (ExecutableContent.cpp).
  // Runs the container's children in order by tag name.
  void ExecuteContent(Element* container);
  // Runs the first branch whose condition holds (only the text "false" is
  // false); kEnded when a <goto> or <disconnect> in it ended the content.
  ContentFlow ExecuteIf(Element* ifElement);
  // Declares the element's "name" in `scope` with its "expr" (the string
  // 'undefined' when empty) and binds the element to the variable.
  void ExecuteVar(Element* element, const std::string& scope);
  // Runs the whole body as one script command; a "src" or "srcexpr" is
  // named as not run ("in the script").
  void ExecuteScript(Element* element);
  // Ends the dialogue; a "namelist" or "expr" is logged as not run.
  void ExecuteExit(Element* element);
  void ExecuteThrow(Element* element);
  // The executing form item (if any) plays its prompt again on its next turn.
  void ExecuteReprompt();
  void ExecuteMeta(Element* element);
  // False when the "cond" attribute evaluates to the text "false" or its
  // script fails.
  bool EvaluateCond(Element* element);

  // Block, assign, clear, goto and disconnect (BlockExecutors.cpp).
  void ExecuteBlock(Element* block);
  void ExecuteAssign(Element* assign);
  // Clears each name of the namelist; an empty namelist clears every form
  // item of the current dialog.
  void ExecuteClear(Element* clear);
  // Follows "next" ("src" of a subdialog), "nextitem", "expr" or "expritem":
  // "#id" jumps to that dialog, "doc" or "doc#id" sets the next-document and
  // stop flags, an item runs that item's turn. An "expr" or "expritem" that
  // gives the empty text logs an error and jumps nowhere. With none of them
  // the dialogue and the process end (status 0).
  void ExecuteGoto(Element* element);
  // Sets the stop flag. The element is not read.
  void Stop(Element* element = nullptr);

  // Input items (InputItemExecutors.cpp). Each runs one turn of the item and
  // returns 1 when it was filled and the form-level filled elements are to
  // run, 0 when there is nothing to process (condition false, hang-up, no
  // input), -1 when a no-match or help event was handled. A hang-up at any
  // request sets the stop flag.
  int ExecuteField(Element* field);
  // A menu's choices are heard only during its turn; a DTMF menu
  // (dtmf="true") asks for one key and follows the choice with that dtmf.
  void ExecuteMenu(Element* menu);
  // The answer may fill several fields of the form through a form-level
  // grammar; then the initial's variable becomes true.
  int ExecuteInitial(Element* initial);
  // Records into "Recordings\<name>.wav" (the variable's "src"); returns 1
  // unless the caller hung up.
  int ExecuteRecord(Element* record);

  // What an accepted answer means (PostSemanticProcessing.cpp): the first
  // matched grammar entry acts by the element that holds the grammar (a
  // choice acts as its menu): a field takes its value, a menu follows the
  // choice whose text is the value, a form merges the values into its dialog
  // scope (another form is jumped to, entered by jump), a link is followed.
  // With no match, a DTMF menu follows the choice whose dtmf is the key.
  // Returns "NOMATCH" when nothing matched, else "". The matched flags are
  // clear afterwards.
  std::string PostSemanticProcessing();

  // Events and prompt selection (EventHandling.cpp).
  // Counts the event on the item (not "HELP"); past four counted events logs
  // "To many events", speaks the apology and stops. Otherwise runs the
  // handler chosen on the item, else on the dialog, else on the document
  // root, and makes the item run again: a menu is entered anew, any other
  // item's variable becomes 'undefined'. Without a handler the item's prompt
  // plays again.
  void HandleEvent(const std::string& eventName, Element* item);
  // The index of the container's handler for the event `tag` ("nomatch",
  // "noinput", "help"): a child named so, or a <catch> whose "event" holds
  // the name, whose "cond" gives "true" and whose "count" (1 when empty)
  // equals the item's event counter; else the last such child with a count
  // of 0 or more; -1 when no child qualifies.
  int SelectEventHandler(Element* container, const std::string& tag, Element* item);
  // The index of the item's prompt to play: the first <prompt> whose "cond"
  // does not give "false" and whose "count" (1 when empty) equals the item's
  // prompt counter; else the last such prompt with a count of 0 or more;
  // else 0.
  int SelectPrompts(Element* item);

  // Sends the namelist's values (empty names skipped) by HTTP GET to "next",
  // else to the URL "expr" gives; only method="get" is sent. The reply body
  // replaces the reply file; a failure is printed and the dialogue goes on
  // (SubmitExecutor.cpp).
  void ExecuteSubmit(Element* submit);
  // Runs the dialog "src" names ("doc", "doc#id" or "#id": the part before
  // "#" is the document, empty for the current one; the id the dialog to
  // start with) nested, then the subdialog's <filled> children. The caller's
  // document, dialog, items, start dialog, base, application root and
  // grammar entries are put back afterwards (SubdialogExecutor.cpp).
  void ExecuteSubdialog(Element* subdialog);
  // Copies the subdialog's dialog variables of the namelist into its
  // caller's item variable; outside any subdialog logs an error.
  void ExecuteReturn(Element* returnElement);
  // Activates the link's grammars (LinkExecutor.cpp); post-semantic
  // processing follows the link when one of them matched.
  void ExecuteLink(Element* link);

  // Objects and data queries (ObjectExecutor.cpp).
  // Plays the object's prompts and writes its params, then runs its program
  // or its data query and makes each result a property of its variable.
  void ExecuteObject(Element* object);
  // Appends name + "\t" + value to the object request file.
  void ExecuteParam(Element* param);
  // Sends "dataquery" and the query text, and keeps the peer's reply as the
  // object's source text; the reply "End" sets the stop flag.
  void DataQuery(Element* object);
  // Takes the next "\t:" field out of the reply text into name and value
  // (the text then starts after that "\t:"). False when no field is left;
  // a field without a blank or ")" gives an empty name.
  bool ScanObjectReply(std::string& text, std::string& name, std::string& value);

  // State, for the dialogue and for tests.
  bool StopRequested() const { return stop_; }
  bool NextDocumentPending() const { return nextDocument_; }
  const std::string& DocumentName() const { return documentName_; }
  const std::string& StartDialog() const { return startDialog_; }
  const std::string& Base() const { return base_; }
  VxmlDocument* CurrentDocument() const { return currentDocument_; }
  VxmlDocument* ApplicationRoot() const { return applicationRoot_.get(); }
  DialogSlot* CurrentDialog() const { return currentDialog_; }
  Element* SelectedItem() const { return selectedItem_; }
  Element* ExecutingItem() const { return executingItem_; }
  EcmaScopes& Scopes() { return *scopes_; }

 private:
  // A dialog jump waiting for the running dialog to end.
  struct DialogJump {
    DialogSlot* slot;
    bool enteredByJump;
    std::string expression;
  };
  // What a subdialog's caller gets back when the subdialog ends.
  struct CallerState {
    VxmlDocument* document;
    std::shared_ptr<VxmlDocument> applicationRoot;
    std::shared_ptr<XmlParser> applicationRootParser;
    DialogSlot* dialog;
    Element* selectedItem;
    Element* executingItem;
    std::string startDialog;
    std::string base;
    std::string subdialogItemName;
    std::vector<bool> activeGrammars;
  };

  // Document loop helpers (Interpreter.cpp).
  // Parses the document with the parser, registers its grammars, then runs
  // its root and its dialogs.
  void ParseAndRun(VxmlDocument& document, XmlParser& parser);
  DialogSlot* StartSlot();
  void RunDialogs(DialogSlot* first);
  // Application root helpers (ApplicationRoot.cpp).
  void UpdateApplicationRoot(const std::string& application);
  void OpenApplicationRoot(const std::string& application);
  // Content helpers (ExecutableContent.cpp).
  ContentFlow RunChildren(Element* container, std::size_t first, std::size_t last,
                          bool logElseBranch);
  ContentFlow ExecuteChild(Element* child, Element* container);
  Element* WithoutNotRun(Element* run, Element* container, std::string& open, Element& cut);
  // Form helpers (FormInterpretation.cpp).
  bool IsUnfilled(const Element* item);
  bool FilledMatches(Element* filled, DialogSlot* slot);
  bool CountSilentPass();
  void CountStoppedScript(const ScriptResult& run);
  bool ScriptsEndTheDialogue() const;
  // Goto helpers (BlockExecutors.cpp).
  bool EvaluateTarget(const std::string& expression, std::string* target);
  void FollowReference(const std::string& reference);
  void JumpToDialogNamed(const std::string& id);
  void JumpToDocument(const std::string& document, const std::string& startDialog);
  void JumpToItem(const std::string& name);
  void LogGoTo(const std::string& target);
  bool EnterJump();
  void ResetItem(Element* item);
  // Main log error: element + " " + place + " is not run", then ": " + why
  // when given (Interpreter.cpp).
  void LogNotRun(const std::string& element, const std::string& place,
                 const std::string& why = "");
  // LogNotRun for each of the attributes the element gives a value, named
  // as written: name="value" (Interpreter.cpp).
  void LogNotRunAttributes(const Element* element, std::initializer_list<const char*> attributes,
                           const std::string& place, const std::string& why);
  // Names what the container's children hold that nothing runs: <script>,
  // <property>, <transfer>, the first <option>, the "dtmf" of a <choice> in
  // a menu without dtmf="true", and handlers (all of them unless
  // handlersRun; else <error> and a <catch> that names no raised event)
  // (Interpreter.cpp).
  void LogNotRunIn(const Element* container, const std::string& place, bool handlersRun);
  // LogNotRunIn for a form item, the "type" of a field, and the namelist,
  // srcexpr and <param> children of a subdialog (FormInterpretation.cpp).
  void LogNotRunInItem(const Element* item);

  // Input turn helpers (InputItemExecutors.cpp).
  void RunMenuTurn(Element* menu);
  int AcceptFieldInput(Element* field);
  bool BeginTurn(Element* item, const char* visited);
  bool AnnounceGrammars(Element* item);
  bool PlayItemPrompt(Element* item);
  bool InterpretAnswer(const std::string& answer, Element* item);
  // How an item takes its answer, and which of its events the console shows.
  struct AnswerStyle {
    bool byKey;
    bool showNoInput;
    bool showNoMatch;
  };
  int AskForAnswer(Element* item, AnswerStyle style);
  bool StopOnHangUp(bool hungUp);
  void LogUserInput();
  void RaiseEvent(const std::string& eventName, Element* item, bool console);
  void LogItemValue(Element* item);
  std::string& LastInput();
  // Post-semantic helpers (PostSemanticProcessing.cpp).
  void ApplyMatch(const std::string& itemName, Element* holder);
  void FollowMenuChoice(Element* menu, const std::string& result);
  void FillForm(Element* form, const std::string& result);
  bool FollowDtmfChoice();
  void FollowTarget(Element* choiceOrLink);
  // The slot of the current document that holds the dialog element, else the
  // first whose "id" is the element's non-empty "id"; null when none
  // (BlockExecutors.cpp, with the jumps).
  DialogSlot* SlotOf(const Element* dialog);
  // The first slot of the current document whose dialog's "id" is `id`;
  // null when none (BlockExecutors.cpp).
  DialogSlot* SlotWithId(const std::string& id);
  // Event helpers (EventHandling.cpp).
  template <typename Qualifies>
  int SelectByCount(Element* container, int counter, Qualifies qualifies);
  void RunItemAgain(Element* item);

  // Subdialog helpers (SubdialogExecutor.cpp).
  CallerState SaveCaller();
  void RestoreCaller(const CallerState& caller);
  void ParkScopes();
  void RestoreScopes();
  void RunSubdialogDocument(const std::string& src);
  // Object helpers (ObjectExecutor.cpp).
  void RunObjectProgram(Element* object, const std::string& classid);
  void TakeProgramReplyLine(Element* object, const std::string& line);
  void TakeDataQueryReply(Element* object);
  bool IsResultName(const std::string& name, const std::string& variable, bool ownAllowed);
  // The object's variable (or its property) = the result's script value.
  void AssignResult(Element* object, const std::string& variable, const std::string& scriptValue);

  RequestCounter peer_;
  SessionLog* mainLog_;
  SessionLog* dialogLog_;
  std::unique_ptr<XmlParser> parser_;
  // Shared with the subdialogs' callers, which put them back afterwards.
  std::shared_ptr<XmlParser> applicationRootParser_;
  std::unique_ptr<EcmaScopes> scopes_;
  std::unique_ptr<ItemVariables> itemVariables_;
  std::unique_ptr<PromptPlayer> promptPlayer_;
  std::unique_ptr<GrammarManager> grammarManager_;
  std::unique_ptr<RecognitionResult> inputCollector_;
  std::unique_ptr<SemanticResolver> semanticResolver_;
  VxmlDocument* currentDocument_;
  std::shared_ptr<VxmlDocument> applicationRoot_;
  DialogSlot* currentDialog_ = nullptr;
  Element* selectedItem_ = nullptr;
  Element* executingItem_ = nullptr;
  std::string mode_;
  std::string base_;
  std::string documentName_;
  std::string startDialog_;
  std::string subdialogItemName_;  // scope + "." + name of the running subdialog's item
  int subdialogDepth_ = 0;         // subdialogs running
  bool nextDocument_ = false;
  bool stop_ = false;
  std::optional<DialogJump> dialogJump_;
  int jumpDepth_ = 0;           // nested item jumps under way
  int silentPasses_ = 0;        // select passes since the last request to the peer
  long long requestsSeen_ = 0;  // the peer's request count at the last pass
  int timedOutScripts_ = 0;          // stopped scripts since the last request to the peer
  long long requestsAtTimeOut_ = 0;  // the peer's request count at the last stopped script
  bool engineStartedAfresh_ = false;  // a script was stopped for its memory
};
