#include "interpreter/scripts/ScriptLiteral.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace {

bool IsNameStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

bool IsNamePart(char c) { return IsNameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

// "prototype" and the members of the prototype that every object shares.
bool IsSharedMember(const std::string& part) {
  static const std::set<std::string> kShared = {
      "prototype",        "__proto__",        "constructor",          "toString",
      "toLocaleString",   "valueOf",          "hasOwnProperty",       "isPrototypeOf",
      "__defineGetter__", "__defineSetter__", "propertyIsEnumerable", "__lookupGetter__",
      "__lookupSetter__"};
  return kShared.count(part) != 0;
}

// An ASCII identifier that names nothing every object has.
bool IsIdentifier(const std::string& part) {
  if (part.empty() || !IsNameStart(part[0])) return false;
  for (char c : part) {
    if (!IsNamePart(c)) return false;
  }
  return !IsSharedMember(part);
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

bool IsIntegerText(const std::string& text) {
  std::size_t at = text.find_first_not_of(' ');
  if (at != std::string::npos && (text[at] == '+' || text[at] == '-')) ++at;
  return at < text.size() && text.find_first_not_of("0123456789", at) == std::string::npos;
}

std::string DecimalLiteral(const std::string& integer) {
  const std::size_t digits = integer.find_first_of("0123456789");
  if (digits == std::string::npos) return integer;
  const std::size_t first = integer.find_first_not_of('0', digits);
  const std::size_t kept = first == std::string::npos ? integer.size() - 1 : first;
  return integer.substr(0, digits) + integer.substr(kept);
}
