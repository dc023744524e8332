#include "interpreter/document/XmlParser.h"

#include <iostream>
#include <map>

#include "interpreter/common/FatalExit.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/ElementKinds.h"
#include "interpreter/document/TagLexer.h"
#include "interpreter/document/VxmlDocument.h"
#include "platform/LocalPath.h"

namespace {

const char kUnknownSyntax[] = "WARNING: Unknown XML syntax!";
const char kBadVersion[] = "Nepodporovana verzia XML syntaxe!";
const char kNoClosingElement[] = "DOKUMENT ERROR:dokument neobsahuje ukoncovaci prvok";
const char kNoEndTag[] = "Chyba ukoncovaci element k elementu";

// The end index of an entry that is not open.
constexpr size_t kNoEnd = static_cast<size_t>(-1);

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

// The root's end tag, or the root with its text and end tag on one line;
// never text that looks like it (in CDATA, say).
bool EndsRoot(const SourceLine& line, const std::string& rootName) {
  if (line.tag.empty() || taglexer::TagName(line.tag) != rootName) return false;
  return line.tag.rfind("</", 0) == 0 || line.text.size() > line.tag.size();
}

// The three characters of the version in the declaration: after "version",
// blanks, "=", blanks and the opening quote; "" when the declaration names
// no version.
std::string DeclaredVersion(const std::string& line) {
  for (std::size_t at = line.find("version"); at != std::string::npos;
       at = line.find("version", at + 1)) {
    const std::size_t equals = line.find_first_not_of(" \t", at + 7);
    if (equals == std::string::npos || line[equals] != '=') continue;
    const std::size_t quote = line.find_first_not_of(" \t", equals + 1);
    if (quote != std::string::npos) return line.substr(quote + 1, 3);
  }
  return "";
}

}  // namespace

XmlParser::XmlParser(std::ifstream* input, SessionLog* log) : input_(input), log_(log) {}

XmlParser::~XmlParser() { log_->Message("Destroy XML PARSER"); }

void XmlParser::ParseFile(VxmlDocument& document) {
  if (input_->is_open()) input_->close();
  input_->open(platform::LocalPath(document.fileName), std::ios::binary);
  if (!input_->is_open()) {
    const std::string cannotOpen = "Cannot open file>" + document.fileName;
    log_->Error(cannotOpen);
    quorvane::FatalExit(cannotOpen, 0);
  }
  log_->Message("Parsing XML dokument" + document.fileName);
  ReadDocument(document.fileName);
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

void XmlParser::ReadDocument(const std::string& fileName) {
  LineReader reader(*input_, log_, fileName);
  std::string first;
  reader.ReadRawLine(first);
  if (!CheckXmlVersion(first)) {
    log_->Error(kBadVersion);
    quorvane::FatalExit(std::string("FATAL ERROR: ") + kBadVersion, 0);
  }
  if (!Contains(first, "<?xml")) {
    reader.Unread(first);
  } else if (const size_t end = first.find("?>", first.find("<?xml"));
             end != std::string::npos) {
    reader.Unread(first.substr(end + 2));  // the root often shares the declaration's line
  }
  while (ReadElement(reader)) {
  }
  Rewind();
}

bool XmlParser::CheckXmlVersion(const std::string& line) {
  if (!Contains(line, "<?xml")) {
    std::cout << kUnknownSyntax << std::endl;
    log_->Message(kUnknownSyntax);
    return true;
  }
  if (!Contains(line, "version")) return false;
  const std::string version = DeclaredVersion(line);
  log_->Message("Verzia XML syntaxe " + version);
  return version == "1.0";
}

// Takes the next line; false once it was the closing line.
bool XmlParser::ReadElement(LineReader& reader) {
  const std::string rootName = documentType_ == "grammar" ? "grammar" : "vxml";
  SourceLine line;
  if (!reader.Next(line)) {
    log_->Error(kNoClosingElement);
    quorvane::FatalExit("\n\tDOKUMENT ERROR:dokument neobsahuje </" + rootName + "> tag!", 0);
  }
  TakeLine(line);
  return !EndsRoot(line, rootName);
}

// Parses one line and keeps the element it yields.
void XmlParser::TakeLine(const SourceLine& line) {
  ParseLine(line);
  if (elements_.size() == kMaxElements) {
    LogExcess("more than " + std::to_string(kMaxElements) + " elements in the document",
              ": " + working_.tagName);
    return;
  }
  elements_.push_back(NewElement(working_));
}

void XmlParser::ParseLine(const SourceLine& line) {
  working_ = Element();
  working_.scope = "anonymous";
  const std::string name = line.tag.empty() ? "" : taglexer::ElementName(line.tag);
  if (name.rfind("</", 0) == 0) {
    working_.tagName = name;
    working_.sourceText = line.text;
    if (IsDialogName(name.substr(2))) working_.scope = "document";
  } else if (!name.empty()) {
    ParseStartTag(line, name);
  } else {
    working_.tagName = "PCDATA";
    working_.sourceText = line.text + "</PCDATA>";
  }
}

void XmlParser::ParseStartTag(const SourceLine& line, const std::string& name) {
  working_.sourceText = line.text;
  working_.tagName = name;
  for (const Attribute& attribute : taglexer::TagAttributes(line.tag)) {
    AddAttribute(attribute.name, attribute.value);
  }
  NameFormItem();
  if (name == "vxml") working_.scope = "document";
  if (IsDialogName(name)) working_.scope = "dialog";
}

void XmlParser::AddAttribute(const std::string& name, const std::string& value) {
  if (working_.attributes.size() == Element::kMaxAttributes) {
    LogExcess("more than " + std::to_string(Element::kMaxAttributes) + " attributes",
              " in " + working_.tagName + ": " + name);
    return;
  }
  working_.attributes.emplace_back(name, value);
}

// A form item without a name gets a generated one, so that its variable and
// the grammars registered for it when the document loads have a name.
void XmlParser::NameFormItem() {
  if (!elementkinds::IsFormItem(working_.tagName) || !working_.GetAttribute("name").empty()) return;
  int& given = unnamedItems_[working_.tagName];
  std::string name = "noname_" + working_.tagName;
  if (given > 0) name += std::to_string(given);
  ++given;
  for (Attribute& attribute : working_.attributes) {
    if (attribute.name == "name") {  // present but empty
      attribute.value = name;
      return;
    }
  }
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
  LinkElements(PairElements());
  FillDocumentTables(document);
}

// An open element is paired with the first later end tag of its name ("</"
// + the name: "</ruleref" never ends a rule) that no open element of the
// same name between them takes: the pairing of walking on from the element
// with a depth count that entries of its own name raise and such end tags
// lower. One pass, with a stack of the unended open elements of each name.
std::vector<size_t> XmlParser::PairElements() {
  std::vector<size_t> ends(elements_.size(), kNoEnd);
  std::vector<bool> open(elements_.size());
  std::map<std::string, std::vector<size_t>> waiting;  // by tag name, latest last
  for (size_t index = 0; index < elements_.size(); ++index) {
    const Element& entry = *elements_[index];
    if (IsEndTag(entry)) {
      std::vector<size_t>& unended = waiting[entry.tagName.substr(2)];
      if (unended.empty()) continue;
      ends[unended.back()] = index;
      unended.pop_back();
    } else if (IsOpen(entry)) {
      open[index] = true;
      waiting[entry.tagName].push_back(index);
    }
  }
  for (size_t index = 0; index < elements_.size(); ++index) {
    if (open[index] && ends[index] == kNoEnd) FailWithoutEndTag(*elements_[index]);
  }
  return ends;
}

void XmlParser::FailWithoutEndTag(const Element& element) {
  log_->Error(kNoEndTag, element.tagName);
  quorvane::FatalExit(std::string("ERROR: ") + kNoEndTag + " " + element.tagName, 0);
}

// The parent of a start-tag or text entry is the last open element before it
// whose end tag lies after it; end tags have none. The children of an element
// are the entries whose parent it is, in order, so each entry has one place in
// the tree even in ill-nested markup (a child whose end tag lies past its
// parent's takes the entries up to it).
void XmlParser::LinkElements(const std::vector<size_t>& ends) {
  std::vector<size_t> enclosing;  // open elements, latest last; those ended are dropped lazily
  for (size_t index = 0; index < elements_.size(); ++index) {
    Element* element = elements_[index];
    while (!enclosing.empty() && ends[enclosing.back()] <= index) enclosing.pop_back();
    if (!IsEndTag(*element) && !enclosing.empty()) {
      elements_[enclosing.back()]->AppendChild(element);
    }
    if (ends[index] != kNoEnd) enclosing.push_back(index);
  }
  for (Element* element : elements_) {
    if (element->children.size() > Element::kMaxChildren) {
      LogExcess("more than " + std::to_string(Element::kMaxChildren) + " children",
                " of " + element->tagName);
      element->children.resize(Element::kMaxChildren);
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
                    " document-level elements",
                ": " + element->tagName);
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

void XmlParser::LogExcess(const std::string& limit, const std::string& first) {
  if (!excessLogged_.insert(limit).second) return;
  log_->Error("XML PARSER: " + limit + first + "; the excess is dropped");
}
