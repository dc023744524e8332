#include "interpreter/document/TagLexer.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace taglexer {

namespace {

// Searched in this order; the first match wins, so the second "meta" is never
// chosen and "<metadata" is taken as "meta".
const std::array<const char*, 52> kElementNames = {
    "assign",   "audio",     "block",    "catch",    "choice",    "clear",   "disconnect",
    "else",     "elseif",    "enumerate", "exit",    "field",     "filled",  "form",
    "goto",     "grammar",   "if",       "initial",  "link",      "dtmf",    "menu",
    "meta",     "object",    "option",   "param",    "prompt",    "property", "record",
    "return",   "reprompt",  "subdialog", "submit",  "throw",     "transfer", "value",
    "var",      "vxml",      "error",    "help",     "noinput",   "nomatch", "meta",
    "metadata", "lexicon",   "tag",      "rule",     "ruleref",   "token",   "one-of",
    "item",     "example",   "script"};

const std::array<const char*, 68> kAttributeNames = {
    "itemname",     "aai",          "aaiexpr",     "accept",      "application",
    "archive",      "audiobase",    "bargein",     "bargeintype", "base",
    "beep",         "bridge",       "charset",     "classid",     "codebase",
    "codetype",     "cond",         "connecttime", "content",     "count",
    "data",         "dest",         "destexpr",    "dtmf",        "dtmfterm",
    "tr",           "event",        "eventexpr",   "expr",        "expritem",
    "fetchaudio",   "fetchhint",    "fetchtimeout", "finalsilence", "http_equiv",
    "id",           "label",        "maxtime",     "method",      "modal",
    "mode",         "name",         "namelist",    "next",        "nextitem",
    "root",         "scope",        "slot",        "src",         "srcexpr",
    "timeout",      "type",         "value",       "valuetype",   "version",
    "weight",       "dict",         "uri",         "special",     "xml:lang",
    "repeat",       "repeat-prob",  "tag",         "xml:base",    "xmlns",
    "xmlns:xsi",    "xsi:schemaLocation", "mode"};

// A table entry with the marks that a tag's head holds for it.
struct ElementPattern {
  std::string name;
  std::string start;  // "<" + name
  std::string end;    // "</" + name
};

// The patterns of kElementNames, in table order, built once.
const std::vector<ElementPattern>& ElementPatterns() {
  static const std::vector<ElementPattern> patterns = [] {
    std::vector<ElementPattern> built;
    for (const char* name : kElementNames) {
      built.push_back({name, std::string("<") + name, std::string("</") + name});
    }
    return built;
  }();
  return patterns;
}

// A table entry that becomes another name when the tag's head also holds
// the marker after its "<" (start tags) or "</" (end tags).
struct FixUp {
  const char* entry;
  const char* marker;
  const char* name;
};
const std::array<FixUp, 5> kFixUps = {{{"rule", "ruleref", "ruleref"},
                                       {"else", "elseif", "elseif"},
                                       {"if", "elseif", "elseif"},
                                       {"enumerate", "prompt", "prompt"},
                                       {"audio", "prompt", "prompt"}}};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool StartsWith(const std::string& text, std::size_t at, const char* prefix) {
  return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool OpensMarkup(const std::string& text, std::size_t at) {
  if (at + 1 >= text.size()) return false;
  const unsigned char next = static_cast<unsigned char>(text[at + 1]);
  return std::isalpha(next) || next == '_' || next == ':' || next == '/' || next == '!' ||
         next == '?';
}

// A piece that ends with `close`, searched from `searchFrom`.
Piece Closed(const std::string& text, PieceKind kind, std::size_t begin, std::size_t searchFrom,
             const char* close) {
  const std::size_t at = text.find(close, searchFrom);
  if (at == std::string::npos) return {kind, begin, text.size(), false};
  return {kind, begin, at + std::char_traits<char>::length(close), true};
}

// "<!DOCTYPE ...>": its internal subset "[...]" may hold ">".
Piece Declaration(const std::string& text, std::size_t begin) {
  const std::size_t mark = text.find_first_of("[>", begin);
  if (mark == std::string::npos || text[mark] == '>') {
    return Closed(text, PieceKind::kDeclaration, begin, begin, ">");
  }
  const std::size_t subsetEnd = text.find(']', mark);
  if (subsetEnd == std::string::npos) return {PieceKind::kDeclaration, begin, text.size(), false};
  return Closed(text, PieceKind::kDeclaration, begin, subsetEnd, ">");
}

// The ">" that ends the tag starting at `begin`: a value quoted after "="
// may hold ">", but a quote not closed in the text is no quote.
std::size_t TagEnd(const std::string& text, std::size_t begin) {
  for (std::size_t at = begin + 1; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '>') return at;
    if (c != '"' && c != '\'') continue;
    const std::size_t before = text.find_last_not_of(" \t", at - 1);
    if (text[before] != '=') continue;
    const std::size_t close = text.find(c, at + 1);
    if (close == std::string::npos) return text.find('>', at);
    at = close;
  }
  return std::string::npos;
}

Piece Tag(const std::string& text, std::size_t begin) {
  const bool endTag = text[begin + 1] == '/';
  const std::size_t close = TagEnd(text, begin);
  if (close == std::string::npos) {
    return {endTag ? PieceKind::kEndTag : PieceKind::kStartTag, begin, text.size(), false};
  }
  PieceKind kind = PieceKind::kStartTag;
  if (endTag) kind = PieceKind::kEndTag;
  else if (text[close - 1] == '/') kind = PieceKind::kEmptyTag;
  return {kind, begin, close + 1, true};
}

bool IsKnownAttribute(const std::string& name) {
  return std::find(kAttributeNames.begin(), kAttributeNames.end(), name) !=
         kAttributeNames.end();
}

}  // namespace

Piece NextPiece(const std::string& text, std::size_t from, std::size_t resume) {
  if (text[from] != '<' || !OpensMarkup(text, from)) {
    std::size_t end = from;
    do {
      end = text.find('<', end + 1);
    } while (end != std::string::npos && !OpensMarkup(text, end));
    return {PieceKind::kText, from, end == std::string::npos ? text.size() : end, true};
  }
  if (StartsWith(text, from, "<!--")) {
    return Closed(text, PieceKind::kComment, from, std::max(from + 4, resume), "-->");
  }
  if (StartsWith(text, from, "<![CDATA[")) {
    return Closed(text, PieceKind::kCData, from, std::max(from + 9, resume), "]]>");
  }
  if (StartsWith(text, from, "<!")) return Declaration(text, from);
  if (StartsWith(text, from, "<?")) {
    return Closed(text, PieceKind::kInstruction, from, from + 2, "?>");
  }
  return Tag(text, from);
}

std::string PieceText(const std::string& text, const Piece& piece) {
  if (piece.kind != PieceKind::kCData) return text.substr(piece.begin, piece.end - piece.begin);
  const std::size_t content = piece.begin + 9;
  const std::size_t end = piece.complete ? piece.end - 3 : piece.end;
  return content < end ? text.substr(content, end - content) : "";
}

bool IsTag(const Piece& piece) {
  return piece.kind == PieceKind::kStartTag || piece.kind == PieceKind::kEmptyTag ||
         piece.kind == PieceKind::kEndTag;
}

std::string TagName(const std::string& tag) {
  const std::size_t start = tag.compare(0, 2, "</") == 0 ? 2 : 1;
  return tag.substr(start, tag.find_first_of(" \t/>", start) - start);
}

std::string ElementName(const std::string& tag) {
  const char* opener = tag.compare(0, 2, "</") == 0 ? "</" : "<";
  const std::string head = opener + TagName(tag);
  for (const ElementPattern& pattern : ElementPatterns()) {
    const bool start = Contains(head, pattern.start);
    if (!start && !Contains(head, pattern.end)) continue;
    for (const FixUp& fixUp : kFixUps) {
      if (pattern.name == fixUp.entry && Contains(head, opener + std::string(fixUp.marker))) {
        return start ? fixUp.name : "</" + std::string(fixUp.name);
      }
    }
    return start ? pattern.name : pattern.end;
  }
  return "";
}

std::vector<Attribute> TagAttributes(const std::string& tag) {
  std::vector<Attribute> attributes;
  std::size_t position = 0;
  for (;;) {
    const std::size_t blank = tag.find_first_of(" \t", position);
    if (blank == std::string::npos) return attributes;
    const std::size_t equals = tag.find('=', blank);
    if (equals == std::string::npos) return attributes;
    const std::size_t open = tag.find_first_not_of(" \t", equals + 1);
    const char quote = open == std::string::npos ? '\0' : tag[open];
    const std::size_t close =
        quote == '"' || quote == '\'' ? tag.find(quote, open + 1) : std::string::npos;
    if (close == std::string::npos) {  // no quoted value: nothing kept
      position = equals;
      continue;
    }
    const std::string name = TrimBlanks(tag.substr(blank + 1, equals - blank - 1));
    if (IsKnownAttribute(name)) {
      attributes.emplace_back(name, tag.substr(open + 1, close - open - 1));
    }
    position = close;
  }
}

std::string ElementBody(const std::string& sourceText, const std::string& name) {
  if (sourceText.empty()) return "";
  const Piece start = NextPiece(sourceText, 0);
  const std::size_t end = sourceText.rfind("</" + name);
  if (start.kind != PieceKind::kStartTag || !start.complete || end == std::string::npos ||
      end < start.end) {
    return "";
  }
  return TrimBlanks(sourceText.substr(start.end, end - start.end));
}

std::string TrimBlanks(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace taglexer
