// The list lookup of the semantic resolver: the outside program Morvish
// answers a list grammar's utterance through two exchange files.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "interpreter/EcmaScopes.h"
#include "interpreter/ExchangeFiles.h"
#include "interpreter/ScriptLiteral.h"
#include "interpreter/SessionLog.h"
#include "platform/ProgramRunner.h"
#include "speech_resources/GrammarEntry.h"
#include "speech_resources/GrammarManager.h"
#include "speech_resources/SemanticResolver.h"

namespace {

using exchangefiles::kReplyFile;
using exchangefiles::kRequestFile;

const char kLookupProgram[] = "Quorvane/VObjects/Morvish";

// The script value of a reply value: "true", "false" and decimal digits as
// they are (leading zeros dropped, which would make an octal number), any
// other text as an escaped string.
std::string ScriptValue(const std::string& text) {
  if (text == "true" || text == "false") return text;
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
    return QuoteScriptString(text);
  }
  const std::size_t digit = text.find_first_not_of('0');
  return digit == std::string::npos ? "0" : text.substr(digit);
}

}  // namespace

bool SemanticResolver::LookUpList(const GrammarEntry& entry) {
  std::error_code ignored;
  std::filesystem::create_directories(exchangefiles::kFolder, ignored);
  std::filesystem::remove(kReplyFile, ignored);  // no earlier answer may count
  WriteRequest();
  if (platform::RunProgram({kLookupProgram, entry.name}) < 0) {
    grammars_->MainLog()->Error(std::string("The lookup program ") + kLookupProgram +
                                " did not run to its end for the list grammar " + entry.name);
  }
  std::vector<std::string> lines;
  if (!platform::ReadAnswerLines(kReplyFile, &lines)) exchangefiles::ReportUnopened(kReplyFile);
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
  std::cout << line << std::endl;
  const std::size_t tab = line.find('\t');
  if (tab == std::string::npos) return false;
  std::cout << tab << std::endl;
  const std::string name = line.substr(0, tab);
  if (!IsPlainName(name)) {
    std::cout << "The answer line is skipped: " << name << " is not a plain name" << std::endl;
    return false;
  }
  const std::string variable = "SmResult." + entry.itemName + (name.empty() ? "" : "." + name);
  const std::string value = ScriptValue(line.substr(tab + 1));
  grammars_->Scopes()->ExecuteBuilt(variable + "=" + value);
  std::cout << "Variable " << variable << " sucessfully written" << std::endl;
  *notFound = variable.find("listofvar") != std::string::npos && value == "'none'";
  return true;
}
