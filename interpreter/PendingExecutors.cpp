// Executors that this build does not provide yet.
// Each writes "WARNING: <name> is not available yet" to the main log and
// gives its neutral result, so that a document using them still runs: an
// object item counts as visited and nothing is filled.
#include "interpreter/Interpreter.h"
#include "interpreter/SessionLog.h"

void Interpreter::NotAvailableYet(const char* name) {
  mainLog_->Message(std::string("WARNING: ") + name + " is not available yet");
}

void Interpreter::ExecuteObject(Element*) { NotAvailableYet("ExecuteObject"); }

void Interpreter::ExecuteParam(Element*) { NotAvailableYet("ExecuteParam"); }

void Interpreter::DataQuery(Element*) { NotAvailableYet("DataQuery"); }

void Interpreter::ScanObjectReply(std::string&, std::string& name, std::string&) {
  NotAvailableYet("ScanObjectReply");
  name.clear();
}
