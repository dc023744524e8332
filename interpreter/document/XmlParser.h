// document/: the document model, the tag lexer, the line reader and this parser.
//
// The line parser of VoiceXML documents and of SRGS grammar documents in XML
// form: the tree builder over the line reader (LineReader.h), which hands it
// one line per element, and the tag lexer (TagLexer.h), which names each
// element by the table of 52 known element names and keeps only attributes
// with one of 68 known names.
//
// Lines:
// - The first line must hold "<?xml" with version="1.0" (blanks around "="
//   and single quotes allowed; any other version is fatal); the declaration
//   is not an element, but markup after its "?>" on that line (usually the
//   root) is read. A first line without "<?xml" only gives the warning
//   "WARNING: Unknown XML syntax!" and is then read as any other.
// - Reading stops at the root's end tag "</vxml>" ("</grammar>" for a
//   grammar document; it is still an entry, also on the root's own line),
//   never at such text inside a script, a prompt or CDATA; a file without it
//   is fatal.
// - A line with a tag yields an element named by the tag lexer (with its
//   fix-ups, "<metadata" -> "meta"). A start tag's element has the attributes
//   of its tag, its source text is the whole line (the tag, or the tag with
//   its text and end tag, or a prompt or script with its body), and its scope
//   is "anonymous"; "document" for vxml; "dialog" for form and menu (the scope
//   pass below changes it). An end tag's entry is tag name "</" + name (no
//   ">"), source text the line, no attributes; scope "anonymous"
//   ("document" for form and menu).
// - A run of text (never only blanks) is text: tag name "PCDATA", source
//   text the run + "</PCDATA>".
// - A form item (block, field, record, initial, object, subdialog, transfer)
//   without a "name" gets name = "noname_" + tag name, then with 1, 2, ...
//   appended for later unnamed items of the same tag ("noname_block",
//   "noname_block1"), as long as its attribute table has room.
//
// Tree: an entry whose source text holds neither "</" + tag name nor "/>" is
// open and takes as children the later entries up to its matching end tag,
// the entry "</" + its tag name (entries of its own name that are open count
// as nesting). Each element ends with its direct children only; parent
// points to the enclosing element, the last open one before the entry whose
// end tag lies after it (so in ill-nested markup too each entry is the child
// of one element only). End tags and elements closed on their own line have
// no children.
//
// So the children of an element are start-tag and text entries, never end
// tags. A prompt or script, and an element closed on its own line, is one
// element without children: its inner markup stays in its source text. A
// multi-line element's text runs are "PCDATA" children (its own GetText is
// then ""). Elements live until the process ends.
//
// Scopes after a parse: the root keeps "document" ("grammar" for a grammar
// document); its direct children get "document" (forms and menus included);
// the direct children of forms and menus get "dialog"; deeper elements keep
// "anonymous".
//
// Fatal (message + line end on standard output, exit status 0): a file that
// cannot be opened, an XML version other than "1.0", a missing closing element,
// a start tag without its end tag.
#pragma once
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "interpreter/document/Element.h"
#include "interpreter/document/LineReader.h"

class SessionLog;
class VxmlDocument;

class XmlParser {
 public:
  static constexpr size_t kMaxElements = 9000;
  static constexpr size_t kMaxGrammars = 50;

  // Requires an input stream (not owned, it must outlive the parser; usually
  // the document's `input`) and a log (not owned).
  XmlParser(std::ifstream* input, SessionLog* log);
  // Writes the log message "Destroy XML PARSER".
  ~XmlParser();
  XmlParser(const XmlParser&) = delete;
  XmlParser& operator=(const XmlParser&) = delete;

  // Opens the input stream on the document's file name, reads it, builds the
  // tree, fills the document's tables, assigns the scopes and closes the
  // stream. Ends the process on the fatal conditions above. Call it once.
  void ParseFile(VxmlDocument& document);

  // "grammar" marks an SRGS document: its root gets the scope "grammar" and
  // its grammar list stays empty. Set before ParseFile.
  void SetDocumentType(const std::string& type) { documentType_ = type; }
  const std::string& DocumentType() const { return documentType_; }
  void SetDocumentUri(const std::string& uri) { documentUri_ = uri; }
  const std::string& DocumentUri() const { return documentUri_; }

  // Every entry in document order: start tags, end tags and text lines.
  const std::vector<Element*>& Elements() const { return elements_; }
  // Every "grammar" element of a VoiceXML document, in document order.
  const std::vector<Element*>& Grammars() const { return grammars_; }

 private:
  void ReadDocument(const std::string& fileName);
  bool CheckXmlVersion(const std::string& line);
  bool ReadElement(LineReader& reader);
  void TakeLine(const SourceLine& line);
  void ParseLine(const SourceLine& line);
  void ParseStartTag(const SourceLine& line, const std::string& name);
  void AddAttribute(const std::string& name, const std::string& value);
  void NameFormItem();
  void Rewind();
  void CollectGrammars();
  void BuildTree(VxmlDocument& document);
  void AssignScopes(VxmlDocument& document);

  // The index of each open element's end tag (kNoEnd for other entries);
  // an open element without one is fatal.
  std::vector<size_t> PairElements();
  [[noreturn]] void FailWithoutEndTag(const Element& element);
  // Children and parents from the pairing.
  void LinkElements(const std::vector<size_t>& ends);
  void FillDocumentTables(VxmlDocument& document);
  // Logs "XML PARSER: " + limit + first + "; the excess is dropped" the
  // first time the limit is passed in the document; `first` names what was
  // dropped first.
  void LogExcess(const std::string& limit, const std::string& first = "");

  Element working_;  // the element of the line being parsed
  std::vector<Element*> elements_;
  std::vector<Element*> grammars_;
  std::string documentUri_;
  std::string documentType_;
  std::ifstream* input_;
  SessionLog* log_;
  std::map<std::string, int> unnamedItems_;  // names given, per tag name
  std::set<std::string> excessLogged_;  // the limits passed so far
};
