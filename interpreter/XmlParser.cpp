#include "interpreter/XmlParser.h"

#include <algorithm>
#include <array>
#include <iostream>

#include "interpreter/FatalExit.h"
#include "interpreter/SessionLog.h"
#include "interpreter/VxmlDocument.h"
#include "platform/LocalPath.h"

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
constexpr size_t kBlockEntry = 2;

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

// A table entry that becomes another name when the line also holds a marker.
struct FixUp {
  const char* entry;
  const char* marker;
  const char* name;
};
const std::array<FixUp, 5> kFixUps = {{{"rule", "<ruleref", "ruleref"},
                                       {"else", "<elseif", "elseif"},
                                       {"if", "<elseif", "elseif"},
                                       {"enumerate", "<prompt", "prompt"},
                                       {"audio", "<prompt", "prompt"}}};

const char kUnknownSyntax[] = "WARNING: Unknown XML syntax!";
const char kBadVersion[] = "Nepodporovana verzia XML syntaxe!";
const char kNoClosingElement[] = "DOKUMENT ERROR:dokument neobsahuje ukoncovaci prvok";
const char kNoEndTag[] = "Chyba ukoncovaci element k elementu";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

bool IsEndTag(const Element& element) { return Contains(element.tagName, "</"); }

// An element that is not closed on its own line waits for its end tag.
bool IsOpen(const Element& element) {
  return !Contains(element.sourceText, "</" + element.tagName) &&
         !Contains(element.sourceText, "/>");
}

bool IsDialogName(const std::string& name) { return name == "form" || name == "menu"; }

// Whether the start tag "<" + name in the line is closed by "/>" (an empty
// prompt, a script with only a "src"): it has no body on the following lines.
bool IsEmptyElementTag(const std::string& line, const std::string& name) {
  const size_t open = line.find("<" + name);
  const size_t close = open == std::string::npos ? open : line.find('>', open);
  return close != std::string::npos && line[close - 1] == '/';
}

// A prompt or script whose start line holds neither its end tag nor "/>"
// collects its body from the following lines.
bool HasBodyBelow(const std::string& line, const std::string& name) {
  return !Contains(line, "</" + name + ">") && !IsEmptyElementTag(line, name);
}

bool IsTextLine(const std::string& line) {
  return line.find_first_not_of(' ') != std::string::npos && !Contains(line, "<!--") &&
         !Contains(line, "<?xml") && !Contains(line, "-->");
}

std::string TakenName(const std::string& entry, const std::string& line) {
  for (const FixUp& fixUp : kFixUps) {
    if (entry == fixUp.entry && Contains(line, fixUp.marker)) return fixUp.name;
  }
  return entry;
}

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsKnownAttribute(const std::string& name) {
  return std::find(kAttributeNames.begin(), kAttributeNames.end(), name) !=
         kAttributeNames.end();
}

}  // namespace

XmlParser::XmlParser(std::ifstream* input, SessionLog* log) : input_(input), log_(log) {}

XmlParser::~XmlParser() { log_->Message("Destroy XML PARSER"); }

void XmlParser::ParseFile(VxmlDocument& document) {
  if (input_->is_open()) input_->close();
  input_->open(platform::LocalPath(document.fileName), std::ios::binary);
  if (!input_->is_open()) quorvane::FatalExit("Cannot open file>" + document.fileName, 0);
  log_->Message("Parsing XML dokument");
  log_->Write(document.fileName);
  ReadDocument();
  if (documentType_ == "grammar") {
    if (!elements_.empty()) elements_.front()->scope = "grammar";
  } else {
    grammars_.clear();
    CollectGrammars();
  }
  BuildTree(document);
  AssignScopes(document);
  input_->close();
}

void XmlParser::ReadDocument() {
  std::string first;
  ReadLine(first);
  if (!CheckXmlVersion(first)) {
    log_->Error(kBadVersion);
    quorvane::FatalExit(std::string("FATAL ERROR: ") + kBadVersion, 0);
  }
  if (!Contains(first, "<?xml")) {
    TakeLine(first);
  } else if (const size_t end = first.find("?>", first.find("<?xml"));
             end != std::string::npos) {
    TakeLine(first.substr(end + 2));  // the root often shares the declaration's line
  }
  while (ReadElement()) {
  }
  Rewind();
}

bool XmlParser::CheckXmlVersion(const std::string& line) {
  if (!Contains(line, "<?xml")) {
    std::cout << kUnknownSyntax << std::endl;
    log_->Message(kUnknownSyntax);
    return true;
  }
  const size_t position = line.find("version=");
  if (position == std::string::npos) return false;
  const std::string version = line.substr(std::min(position + 9, line.size()), 3);
  log_->Message("Verzia XML syntaxe ");
  log_->Write(version);
  return version == "1.0";
}

bool XmlParser::ReadElement() {
  const std::string endMark = documentType_ == "grammar" ? "</grammar>" : "</vxml>";
  if (Contains(currentLine_, endMark)) return false;
  if (AtEnd()) {
    log_->Error(kNoClosingElement);
    quorvane::FatalExit("\n\tDOKUMENT ERROR:dokument neobsahuje " + endMark + " tag!", 0);
  }
  std::string line;
  ReadLine(line);
  TakeLine(line);
  return true;
}

// Parses one line read from the document and keeps the element it yields.
void XmlParser::TakeLine(std::string line) {
  if (Contains(line, "<!DOCTYPE")) line = SkipDoctype(line);
  if (!ParseLine(line)) return;
  if (elements_.size() == kMaxElements) {
    LogExcess("more than " + std::to_string(kMaxElements) + " elements in the document: " +
              working_.tagName);
    return;
  }
  elements_.push_back(NewElement(working_));
}

// `line` opens a DOCTYPE declaration: reads up to the line that ends it (this
// one when it holds ">") and returns the line after it, or the last line read
// when the file ends first.
std::string XmlParser::SkipDoctype(std::string line) {
  while (!Contains(line, ">") && ReadLine(line)) {
  }
  ReadLine(line);
  return line;
}

bool XmlParser::ParseLine(std::string line) {
  working_ = Element();
  working_.scope = "anonymous";
  for (size_t entry = 0; entry < kElementNames.size(); ++entry) {
    const std::string name = kElementNames[entry];
    if (Contains(line, "<" + name)) {
      ParseStartTag(std::move(line), entry);
      return true;
    }
    if (Contains(line, "</" + name)) {
      working_.tagName = "</" + name;
      working_.sourceText = line;
      if (IsDialogName(name)) working_.scope = "document";
      return true;
    }
  }
  if (!IsTextLine(line)) return false;
  working_.tagName = "PCDATA";
  working_.sourceText = line + "</PCDATA>";
  return true;
}

void XmlParser::ParseStartTag(std::string line, size_t entry) {
  const std::string name = TakenName(kElementNames[entry], line);
  if (!Contains(line, ">")) JoinContinuation(line);
  working_.sourceText = line;
  working_.tagName = name;
  ParseAttributes(line);
  NameBlock(entry);
  if (name == "vxml") working_.scope = "document";
  if (IsDialogName(name)) working_.scope = "dialog";
  if (name == "prompt" && HasBodyBelow(line, name)) working_.sourceText = ReadPromptBody();
  if (name == "script" && HasBodyBelow(line, name)) working_.sourceText = ReadScriptBody();
}

// Appends the following non-empty lines up to the one that holds ">".
void XmlParser::JoinContinuation(std::string& line) {
  std::string next;
  while (ReadLine(next)) {
    line += next;
    if (Contains(next, ">")) return;
  }
}

std::string XmlParser::ReadPromptBody() {
  std::string body;
  std::string line;
  while (ReadLine(line)) {
    body += line;
    if (Contains(line, "</prompt>")) break;
  }
  return body;
}

std::string XmlParser::ReadScriptBody() {
  std::string body;
  std::string line;
  while (ReadLine(line)) {
    if (Contains(line, "</script>")) {
      body += "\n" + line;
      break;
    }
    if (!line.empty()) body += line + "\n";
  }
  return body;
}

void XmlParser::ParseAttributes(const std::string& line) {
  const size_t open = line.find('<');  // a start-tag line holds one
  const size_t close = line.find('>', open);
  const std::string tag =
      line.substr(open, close == std::string::npos ? std::string::npos : close - open + 1);
  size_t position = 0;
  for (;;) {
    const size_t blank = tag.find_first_of(" \t", position);
    if (blank == std::string::npos) return;
    const size_t equals = tag.find('=', blank);
    if (equals == std::string::npos) return;
    // The value starts past the opening quote; blanks between "=" and a
    // double quote are skipped, like those around the name.
    const size_t afterBlanks = tag.find_first_not_of(" \t", equals + 1);
    const bool spacedQuote = afterBlanks != equals + 1 && afterBlanks != std::string::npos &&
                             tag[afterBlanks] == '"';
    const size_t valueStart = spacedQuote ? afterBlanks + 1 : equals + 2;
    const size_t quote = tag.find('"', valueStart);
    if (quote == std::string::npos) {  // no double-quoted value: nothing kept
      position = equals;
      continue;
    }
    // Blanks and tabs around the name are dropped, so an attribute on an
    // indented continuation line or after two blanks is still kept.
    const std::string name = TrimBlanks(tag.substr(blank + 1, equals - blank - 1));
    if (IsKnownAttribute(name)) AddAttribute(name, tag.substr(valueStart, quote - valueStart));
    position = quote;
  }
}

void XmlParser::AddAttribute(const std::string& name, const std::string& value) {
  if (working_.attributes.size() == Element::kMaxAttributes) {
    LogExcess("more than " + std::to_string(Element::kMaxAttributes) + " attributes in " +
              working_.tagName + ": " + name);
    return;
  }
  working_.attributes.emplace_back(name, value);
}

void XmlParser::NameBlock(size_t entry) {
  if (entry != kBlockEntry) return;
  for (const Attribute& attribute : working_.attributes) {
    if (Contains(attribute.name, "name")) return;
  }
  std::string name = "noname_block";
  if (unnamedBlocks_ > 0) name += std::to_string(unnamedBlocks_);
  ++unnamedBlocks_;
  AddAttribute("name", name);
}

void XmlParser::Rewind() {
  input_->clear();
  input_->seekg(0);
}

void XmlParser::CollectGrammars() {
  for (Element* element : elements_) {
    if (element->tagName != "grammar") continue;
    if (grammars_.size() == kMaxGrammars) {
      LogExcess("more than " + std::to_string(kMaxGrammars) + " grammars in the document");
      return;
    }
    grammars_.push_back(element);
  }
}

void XmlParser::BuildTree(VxmlDocument& document) {
  PairElements();
  ReduceToDirectChildren();
  FillDocumentTables(document);
}

void XmlParser::PairElements() {
  for (size_t index = 0; index < elements_.size(); ++index) {
    const Element& element = *elements_[index];
    if (!IsEndTag(element) && IsOpen(element)) CollectUntilEndTag(index);
  }
}

// Gives the open element at `index` every later entry up to its matching end
// tag as a child, descendants included.
void XmlParser::CollectUntilEndTag(size_t index) {
  Element* element = elements_[index];
  const std::string endMark = "</" + element->tagName;
  int depth = 0;
  for (size_t later = index + 1; later < elements_.size(); ++later) {
    Element* entry = elements_[later];
    if (!IsEndTag(*entry)) {
      element->AppendChild(entry);
      if (entry->tagName == element->tagName && IsOpen(*entry)) ++depth;
    } else if (Contains(entry->tagName, endMark)) {
      if (depth == 0) return;
      --depth;
    }
  }
  log_->Error(kNoEndTag);
  log_->Write(element->tagName);
  quorvane::FatalExit(std::string("ERROR: ") + kNoEndTag + " " + element->tagName, 0);
}

// Parents come before their children in the list, so when an element is
// reduced, each child's children still count all of that child's descendants,
// which follow the child directly.
void XmlParser::ReduceToDirectChildren() {
  for (Element* element : elements_) {
    std::vector<Element*>& children = element->children;
    for (size_t index = 0; index < children.size(); ++index) {
      const auto next = children.begin() + index + 1;
      const size_t descendants =
          std::min(children[index]->children.size(), children.size() - index - 1);
      children.erase(next, next + descendants);
    }
    if (children.size() > Element::kMaxChildren) {
      LogExcess("more than " + std::to_string(Element::kMaxChildren) + " children of " +
                element->tagName);
      children.resize(Element::kMaxChildren);
    }
  }
}

void XmlParser::FillDocumentTables(VxmlDocument& document) {
  if (elements_.empty()) {
    log_->Error("XML PARSER: no element in the document " + document.fileName);
    return;
  }
  auto addDocumentElement = [&](Element* element) {
    if (document.documentElements.size() == VxmlDocument::kMaxDocumentElements) {
      LogExcess("more than " + std::to_string(VxmlDocument::kMaxDocumentElements) +
                " document-level elements: " + element->tagName);
    } else {
      document.documentElements.push_back(element);
    }
  };
  Element* root = elements_.front();
  if (root->scope == "grammar") addDocumentElement(root);
  document.documentElements.front() = root;
  for (size_t index = 1; index < elements_.size(); ++index) {
    Element* element = elements_[index];
    if (element->scope == "document" && !IsEndTag(*element)) {
      addDocumentElement(element);
      index += element->children.size();
    }
    if (!IsDialogName(element->tagName)) continue;
    if (document.dialogs.size() == VxmlDocument::kMaxDialogs) {
      LogExcess("more than " + std::to_string(VxmlDocument::kMaxDialogs) + " dialogs");
    } else {
      document.dialogs.push_back(DialogSlot{element, ""});
    }
  }
}

void XmlParser::AssignScopes(VxmlDocument& document) {
  Element* root = document.Root();
  if (!root) return;
  for (Element* child : root->children) child->scope = "document";
  for (const DialogSlot& dialog : document.dialogs) {
    for (Element* child : dialog.element->children) child->scope = "dialog";
  }
}

bool XmlParser::ReadLine(std::string& line) {
  std::string next;
  if (!std::getline(*input_, next)) return false;
  if (!next.empty() && next.back() == '\r') next.pop_back();
  line = next;
  currentLine_ = line;
  return true;
}

bool XmlParser::AtEnd() { return input_->peek() == std::ifstream::traits_type::eof(); }

void XmlParser::LogExcess(const std::string& what) {
  log_->Error("XML PARSER: " + what + "; the excess is dropped");
}
