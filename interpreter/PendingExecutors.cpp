// Executors that this build does not provide yet.
// Each writes "WARNING: <name> is not available yet" to the main log and
// gives its neutral result, so that a document using them still runs: an
// input item counts as visited and nothing is filled.
#include "interpreter/Interpreter.h"
#include "interpreter/SessionLog.h"

void Interpreter::NotAvailableYet(const char* name) {
  mainLog_->Message(std::string("WARNING: ") + name + " is not available yet");
}

int Interpreter::ExecuteField(Element*) {
  NotAvailableYet("ExecuteField");
  return 0;
}

void Interpreter::ExecuteMenu(Element*) { NotAvailableYet("ExecuteMenu"); }

int Interpreter::ExecuteInitial(Element*) {
  NotAvailableYet("ExecuteInitial");
  return 0;
}

int Interpreter::ExecuteRecord(Element*) {
  NotAvailableYet("ExecuteRecord");
  return 0;
}

std::string Interpreter::PostSemanticProcessing() {
  NotAvailableYet("PostSemanticProcessing");
  return "";
}

void Interpreter::HandleEvent(const std::string&, Element*) { NotAvailableYet("HandleEvent"); }

int Interpreter::SelectEventHandler(Element*, const std::string&, Element*) {
  NotAvailableYet("SelectEventHandler");
  return 0;
}

int Interpreter::SelectPrompts(Element*) {
  NotAvailableYet("SelectPrompts");
  return 0;
}

void Interpreter::ExecuteSubmit(Element*) { NotAvailableYet("ExecuteSubmit"); }

void Interpreter::ExecuteSubdialog(Element*) { NotAvailableYet("ExecuteSubdialog"); }

void Interpreter::ExecuteReturn(Element*) { NotAvailableYet("ExecuteReturn"); }

void Interpreter::ExecuteLink(Element*) { NotAvailableYet("ExecuteLink"); }

void Interpreter::ExecuteObject(Element*) { NotAvailableYet("ExecuteObject"); }

void Interpreter::ExecuteParam(Element*) { NotAvailableYet("ExecuteParam"); }

void Interpreter::DataQuery(Element*) { NotAvailableYet("DataQuery"); }

void Interpreter::ScanObjectReply(std::string&, std::string& name, std::string&) {
  NotAvailableYet("ScanObjectReply");
  name.clear();
}
