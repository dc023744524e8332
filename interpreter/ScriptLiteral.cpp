#include "interpreter/ScriptLiteral.h"

#include <cctype>

namespace {

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

bool IsNamePart(char c) { return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

}  // namespace

std::string EscapeScriptString(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\\':
      case '\'':
      case '"':
        escaped += '\\';
        escaped += c;
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\n':
        escaped += "\\n";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string QuoteScriptString(const std::string& text) {
  return "'" + EscapeScriptString(text) + "'";
}

bool IsPlainName(const std::string& name) {
  bool atStart = true;
  for (char c : name) {
    if (atStart ? !IsNameStart(c) : !(IsNamePart(c) || c == '.')) return false;
    atStart = c == '.';
  }
  return name.empty() || !atStart;
}
