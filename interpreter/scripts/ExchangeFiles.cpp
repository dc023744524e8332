#include "interpreter/scripts/ExchangeFiles.h"

#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "interpreter/scripts/ScriptLiteral.h"
#include "platform/ProgramRunner.h"

namespace exchangefiles {
namespace {

bool IsObjectNumber(const std::string& text) {
  if (!IsIntegerText(text)) return false;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (std::strtol(text.c_str() + at, nullptr, 10) == 0) return false;
  }
  return true;
}

bool IsDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string ScriptValue(const std::string& text, bool (*isNumber)(const std::string&)) {
  if (text == "true" || text == "false") return text;
  if (isNumber(text)) return DecimalLiteral(text);
  return QuoteScriptString(text);
}

}  // namespace

void MakeFolder() {
  std::error_code ignored;
  std::filesystem::create_directories(kFolder, ignored);
}

std::string OnOneLine(std::string value) {
  for (char& c : value) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = ' ';
  }
  return value;
}

void ReportUnopened(const char* file) {
  std::cout << "Nepodarilo sa otvorit temp subor " << file << ". " << std::endl;
}

std::vector<std::string> RunForReply(const std::function<void()>& run) {
  std::error_code ignored;
  std::filesystem::remove(kReplyFile, ignored);
  run();
  std::vector<std::string> lines;
  if (!platform::ReadAnswerLines(kReplyFile, &lines)) ReportUnopened(kReplyFile);
  return lines;
}

bool SplitReplyLine(const std::string& line, std::string* name, std::string* value) {
  std::cout << line << std::endl;
  const std::size_t tab = line.find('\t');
  if (tab == std::string::npos) return false;
  std::cout << tab << std::endl;
  *name = line.substr(0, tab);
  *value = line.substr(tab + 1);
  return true;
}

std::string ObjectValue(const std::string& text) { return ScriptValue(text, IsObjectNumber); }

std::string LookupValue(const std::string& text) { return ScriptValue(text, IsDigits); }

}  // namespace exchangefiles
