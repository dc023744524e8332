// The application root document: the document that a root's "application"
// attribute names, whose top-level variables live in the scope "application"
// for as long as the documents that follow name the same application (or,
// inside a subdialog, name none).
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"
#include "interpreter/executors/Interpreter.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "speech_resources/GrammarManager.h"

// A subdialog's document without "application" keeps its caller's.
void Interpreter::UpdateApplicationRoot(const std::string& application) {
  if (application.empty()) {
    if (subdialogDepth_ > 0) return;
    applicationRoot_.reset();
    scopes_->ClearApplication();
  } else if (!applicationRoot_) {
    OpenApplicationRoot(application);
  } else if (applicationRoot_->fileName != application) {
    applicationRoot_.reset();
    scopes_->ClearApplication();
    OpenApplicationRoot(application);
  } else {
    grammarManager_->LoadGrammarList(*applicationRootParser_);
  }
}

void Interpreter::OpenApplicationRoot(const std::string& application) {
  applicationRoot_ = std::make_shared<VxmlDocument>(application, mainLog_);
  // A subdialog shares its caller's session, whatever application it names.
  if (subdialogDepth_ > 0) {
    scopes_->CreateApplicationScope();
  } else {
    scopes_->CreateSessionScopes();
  }
  LoadApplicationRoot(applicationRoot_.get());
  grammarManager_->LoadGrammarList(*applicationRootParser_);
}

void Interpreter::LoadApplicationRoot(VxmlDocument* document) {
  mainLog_->Message("LOADED NEW ARD FILE>" + document->fileName);
  applicationRootParser_ = std::make_shared<XmlParser>(&document->input, mainLog_);
  applicationRootParser_->ParseFile(*document);
  Element* root = document->Root();
  if (root == nullptr) return;
  for (Element* child : root->children) {
    if (child->tagName == "var") {
      ExecuteVar(child, "application");
    } else if (child->tagName == "meta") {
      ExecuteMeta(child);
    }
  }
  // Events are handled by the current document, its dialogs and their items.
  LogNotRunIn(root, "at the top of " + document->fileName, false);
}
