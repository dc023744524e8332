// The interpreter's life cycle and its document loop.
#include "interpreter/executors/Interpreter.h"

#include "interpreter/common/FatalExit.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/ElementKinds.h"
#include "interpreter/document/NotRunLog.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"
#include "interpreter/executors/CurrentDocument.h"
#include "interpreter/executors/ItemVariables.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/MavetteEngine.h"
#include "interpreter/scripts/StopNotifier.h"
#include "speech_resources/GrammarManager.h"
#include "speech_resources/PromptPlayer.h"
#include "speech_resources/RecognitionResult.h"
#include "speech_resources/SemanticResolver.h"

namespace {
const char kUnsupportedVersion[] = "Unsupported version of VoiceXML dokument";

bool IsHandler(const std::string& tag) {
  return tag == "catch" || tag == "error" || tag == "noinput" || tag == "nomatch" || tag == "help";
}

// An input turn raises only no input, no match and help: a handler that names
// none of them never runs (a <catch> runs for each name its "event" holds).
bool NamesRaisedEvent(const Element& handler) {
  for (const char* raised : {"noinput", "nomatch", "help"}) {
    if (elementkinds::HandlesEvent(handler, raised)) return true;
  }
  return false;
}

// The handler as the main log names it: "<error>", "<catch event="x">".
std::string HandlerText(const Element& handler) {
  if (handler.tagName != "catch") return "<" + handler.tagName + ">";
  return "<catch event=\"" + handler.GetAttribute("event") + "\">";
}
}  // namespace

Interpreter::Interpreter(VxmlDocument* document, SessionLog* mainLog, SessionLog* dialogLog,
                         const std::string& mode, PeerLink& peer)
    : peer_(peer),
      mainLog_(mainLog),
      dialogLog_(dialogLog),
      currentDocument_(document),
      mode_(mode),
      documentName_(quorvane::CurrentDocument()) {
  parser_ = std::make_unique<XmlParser>(&document->input, mainLog_);
  scopes_ = std::make_unique<EcmaScopes>(
      std::make_unique<StopNotifier>(
          std::make_unique<MavetteEngine>(),
          [this](const ScriptResult& run) { CountStoppedScript(run); }),
      mainLog_);
  itemVariables_ = std::make_unique<ItemVariables>(*scopes_);
  promptPlayer_ = std::make_unique<PromptPlayer>(mainLog_, dialogLog_, scopes_.get(), peer_);
  grammarManager_ = std::make_unique<GrammarManager>(mainLog_, scopes_.get(), peer_);
  inputCollector_ = std::make_unique<RecognitionResult>(mainLog_, peer_);
  semanticResolver_ = std::make_unique<SemanticResolver>(grammarManager_.get());
  scopes_->CreateSessionScopes();
  mainLog_->Message("Create INTERPRETER succesfull!");
}

Interpreter::~Interpreter() {
  parser_.reset();
  promptPlayer_.reset();
  grammarManager_.reset();
  inputCollector_.reset();
  itemVariables_.reset();
  scopes_.reset();
  semanticResolver_.reset();
  applicationRootParser_.reset();
  applicationRoot_.reset();
  mainLog_->Message("Destroy INTERPRETER\n");
}

int Interpreter::LoadDocument(VxmlDocument* document) {
  mainLog_->Message("Load new document to the Inteprpreter: " + document->fileName);
  currentDocument_ = document;
  parser_ = std::make_unique<XmlParser>(&document->input, mainLog_);
  scopes_->ClearDocument();
  scopes_->CreateDocumentScopes();
  currentDialog_ = nullptr;
  selectedItem_ = nullptr;
  executingItem_ = nullptr;
  stop_ = false;
  return 0;
}

int Interpreter::Run() {
  mainLog_->Message("Run Interpretation");
  nextDocument_ = true;
  ParseAndRun(*currentDocument_, *parser_);
  if (stop_ && !nextDocument_) return 0;
  while (nextDocument_) {
    grammarManager_->UnloadGrammarList();
    quorvane::SetCurrentDocument(documentName_);
    auto document = std::make_unique<VxmlDocument>(documentName_, mainLog_);
    LoadDocument(document.get());
    ParseAndRun(*document, *parser_);
    bool finished = stop_ && !nextDocument_;
    // The pass owns its document: nothing may point into it after the pass.
    currentDocument_ = nullptr;
    currentDialog_ = nullptr;
    document.reset();
    if (finished) return 0;
  }
  return 0;
}

void Interpreter::ParseAndRun(VxmlDocument& document, XmlParser& parser) {
  parser.ParseFile(document);
  grammarManager_->LoadGrammarList(parser);
  ProcessVxmlRoot(document.Root());
  RunDocument();
}

int Interpreter::RunDocument() {
  nextDocument_ = false;
  Element* root = currentDocument_->Root();
  if (root != nullptr) {
    for (Element* child : root->children) {
      if (child->tagName == "var") {
        ExecuteVar(child, "document");
      } else if (child->tagName == "meta") {
        ExecuteMeta(child);
      } else if (child->tagName == "link") {
        ExecuteLink(child);
      }
    }
    LogNotRunIn(root, "at the top of " + currentDocument_->fileName, true);
  }
  if (currentDocument_->dialogs.empty()) {
    mainLog_->Error("No form or menu in document " + currentDocument_->fileName);
    return 0;
  }
  DialogSlot* slot = StartSlot();
  if (slot == nullptr) {
    mainLog_->Error("No dialog with id " + startDialog_ + " in document " +
                    currentDocument_->fileName);
    return 0;
  }
  RunDialogs(slot);
  return 0;
}

void Interpreter::LogNotRun(const std::string& element, const std::string& place,
                            const std::string& why) {
  notrun::Log(*mainLog_, element, place, why);
}

void Interpreter::LogNotRunAttributes(const Element* element,
                                      std::initializer_list<const char*> attributes,
                                      const std::string& place, const std::string& why) {
  notrun::LogAttributes(*mainLog_, *element, attributes, place, why);
}

void Interpreter::LogNotRunIn(const Element* container, const std::string& place,
                              bool handlersRun) {
  bool optionNamed = false;
  for (const Element* child : container->children) {
    const std::string& tag = child->tagName;
    if (tag == "script" || tag == "transfer") {
      LogNotRun("<" + tag + ">", place);
    } else if (tag == "property") {
      LogNotRun("<property name=\"" + child->GetAttribute("name") + "\">", place);
    } else if (IsHandler(tag) && !handlersRun) {
      LogNotRun(HandlerText(*child), place, "no event is handled there");
    } else if (IsHandler(tag) && !NamesRaisedEvent(*child)) {
      LogNotRun(HandlerText(*child), place, "only noinput, nomatch and help are raised");
    } else if (tag == "option" && !optionNamed) {
      LogNotRun("<option>", place, "options are not understood, no answer fills the field");
      optionNamed = true;
    } else if (tag == "choice" && container->tagName == "menu" &&
               container->GetAttribute("dtmf") != "true") {
      LogNotRunAttributes(child, {"dtmf"}, place,
                          "the menu is asked by voice, a key is heard only with dtmf=\"true\"");
    }
  }
}

void Interpreter::RunDialogs(DialogSlot* first) {
  dialogJump_.reset();
  RunFIA(first, false, "");
  while (dialogJump_) {
    DialogJump jump = std::move(*dialogJump_);
    dialogJump_.reset();
    stop_ = false;
    RunFIA(jump.slot, jump.enteredByJump, jump.expression);
  }
}

// The first dialog, or the first whose "id" is the start dialog; null when
// none has that id.
DialogSlot* Interpreter::StartSlot() {
  if (startDialog_.empty()) return &currentDocument_->dialogs.front();
  return SlotWithId(startDialog_);
}

void Interpreter::ProcessVxmlRoot(Element* root) {
  Element none;
  if (root == nullptr) root = &none;
  if (root->GetAttribute("version") != "1.0") {
    mainLog_->Error(kUnsupportedVersion);
    quorvane::FatalExit(std::string("ERROR: ") + kUnsupportedVersion, 0);
  }
  base_ = root->GetAttribute("base");
  mainLog_->Message("Location: " + root->GetAttribute("lang"));
  UpdateApplicationRoot(root->GetAttribute("application"));
}
