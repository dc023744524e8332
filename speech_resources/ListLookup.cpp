// The list lookup of the semantic resolver: the outside program Morvish
// answers a list grammar's utterance through two exchange files.
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "interpreter/common/SessionLog.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "interpreter/scripts/ExchangeFiles.h"
#include "interpreter/scripts/ScriptLiteral.h"
#include "platform/ProgramRunner.h"
#include "speech_resources/GrammarEntry.h"
#include "speech_resources/GrammarManager.h"
#include "speech_resources/SemanticResolver.h"

namespace {

using exchangefiles::kRequestFile;

const char kLookupProgram[] = "Quorvane/VObjects/Morvish";

}  // namespace

bool SemanticResolver::LookUpList(const GrammarEntry& entry) {
  exchangefiles::MakeFolder();
  WriteRequest();
  const std::vector<std::string> lines = exchangefiles::RunForReply([&] {
    if (platform::RunProgram({kLookupProgram, entry.name}) < 0) {
      grammars_->MainLog()->Error(std::string("The lookup program ") + kLookupProgram +
                                  " did not run to its end for the list grammar " + entry.name);
    }
  });
  bool found = false;
  for (const std::string& line : lines) {
    bool notFound = false;
    if (TakeReplyLine(entry, line, &notFound)) found = !notFound;
  }
  return found;
}

void SemanticResolver::WriteRequest() {
  std::ofstream request(kRequestFile, std::ios::binary | std::ios::trunc);
  request << "searching_item\t" << exchangefiles::OnOneLine(utterance_) << "\n";
  request.close();
  if (!request) {
    grammars_->MainLog()->Error(std::string("The request file ") + kRequestFile +
                                " cannot be written");
  }
}

bool SemanticResolver::TakeReplyLine(const GrammarEntry& entry, const std::string& line,
                                     bool* notFound) {
  std::string name, text;
  if (!exchangefiles::SplitReplyLine(line, &name, &text)) return false;
  if (!IsPlainName(name)) {
    std::cout << "The answer line is skipped: " << name << " is not a plain name" << std::endl;
    return false;
  }
  const std::string variable = "SmResult." + entry.itemName + (name.empty() ? "" : "." + name);
  const std::string value = exchangefiles::LookupValue(text);
  grammars_->Scopes()->ExecuteBuilt(variable + "=" + value);
  std::cout << "Variable " << variable << " sucessfully written" << std::endl;
  *notFound = variable.find("listofvar") != std::string::npos && value == "'none'";
  return true;
}
