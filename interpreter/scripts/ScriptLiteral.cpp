#include "interpreter/scripts/ScriptLiteral.h"

#include <algorithm>
#include <cctype>

namespace {

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

bool IsNamePart(char c) { return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

// An ASCII identifier other than the three through which a name would reach
// the prototype that every object shares.
bool IsIdentifier(const std::string& part) {
  if (part.empty() || !IsNameStart(part[0])) return false;
  for (char c : part) {
    if (!IsNamePart(c)) return false;
  }
  return part != "__proto__" && part != "constructor" && part != "prototype";
}

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
  if (name.empty()) return true;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = std::min(name.find('.', start), name.size());
    if (!IsIdentifier(name.substr(start, dot - start))) return false;
    if (dot == name.size()) return true;
    start = dot + 1;
  }
}
