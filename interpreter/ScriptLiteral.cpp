#include "interpreter/ScriptLiteral.h"

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
