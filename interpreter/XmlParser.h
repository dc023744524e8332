// The line parser of VoiceXML documents and of SRGS grammar documents in XML
// form. It is not a general XML parser: every line is one element, recognised
// by "<" followed by one of 52 known element names (the first match in table
// order wins), and only attributes with one of 68 known names are kept.
//
// Lines:
// - The first line must hold "<?xml" with version="1.0" (any other version is
//   fatal); the declaration is not an element, but markup after its "?>" on
//   that line (usually the root) is read as an ordinary line. A first line
//   without "<?xml" only gives the warning "WARNING: Unknown XML syntax!" and
//   is then read as an ordinary line.
// - Reading stops at the line that holds "</vxml>" ("</grammar>" for a grammar
//   document; that line is still an entry); a file without it is fatal.
// - Every line loses one trailing "\r". Lines have no length limit.
// - A start-tag line yields an element named after the table entry, with the
//   fix-ups: "<ruleref" -> "ruleref", "<elseif" -> "elseif", a line with
//   "<enumerate" or "<audio" and "<prompt" -> "prompt", "<metadata" -> "meta".
//   A start tag without ">" is joined with the following non-empty lines, no
//   separator, up to the first line holding ">". Its source text is the whole
//   (joined) line. Scope "anonymous"; "document" for vxml; "dialog" for form
//   and menu (the scope pass below changes it).
// - A prompt line without "</prompt>": the source text is instead the
//   following non-empty lines joined without separator, up to and including
//   the line holding "</prompt>" (the start line is not kept).
// - A script line without "</script>": the source text is the following
//   non-empty lines each followed by "\n", then "\n" and the line holding
//   "</script>".
// - A prompt or script start tag closed by "/>" has no body: its source text
//   is its line, and the following lines stay elements of their own.
// - Attributes: within the start tag (first "<" to the next ">"), each blank
//   or tab followed by name="value" (the name is the text up to "=" without
//   blanks and tabs; the value is double-quoted, blanks after "=" allowed)
//   whose name is in the table. A block
//   without an attribute whose name contains "name" gets name = "noname_block",
//   then "noname_block1", "noname_block2", ... for later unnamed blocks.
// - A line holding "</" + name (and no start tag found first) is an end-tag
//   entry: tag name "</" + name, source text the line, no attributes; scope
//   "anonymous" ("document" for form and menu).
// - Any other line that is not empty, not only blanks and holds neither
//   "<!--", "-->" nor "<?xml" is text: tag name "PCDATA", source text the line
//   + "</PCDATA>". So the middle lines of a multi-line comment are text.
// - A line holding "<!DOCTYPE" is skipped up to the line holding ">" (the same
//   line when the declaration ends there); the line after that is read instead.
//
// Tree: an entry whose source text holds neither "</" + tag name nor "/>" is
// open and takes as children the later entries up to its matching end tag
// (entries of its own name that are open count as nesting). Each element ends
// with its direct children only; parent points to the enclosing element. End
// tags and elements closed on their own line have no children.
//
// So the children of an element are start-tag and text entries, never end
// tags. A prompt or script collected over several lines, and an element closed
// on its own line, is one element without children: its inner markup stays in
// its source text. A multi-line element's text lines are "PCDATA" children
// (its own GetText is then ""). Elements live until the process ends.
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
#include <string>
#include <vector>

#include "interpreter/Element.h"

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
  void ReadDocument();
  bool CheckXmlVersion(const std::string& line);
  bool ReadElement();
  void TakeLine(std::string line);
  bool ParseLine(std::string line);
  void ParseStartTag(std::string line, size_t entry);
  void ParseAttributes(const std::string& line);
  void NameBlock(size_t entry);
  void Rewind();
  void CollectGrammars();
  void BuildTree(VxmlDocument& document);
  void AssignScopes(VxmlDocument& document);

  bool ReadLine(std::string& line);
  bool AtEnd();
  std::string SkipDoctype(std::string line);
  void JoinContinuation(std::string& line);
  std::string ReadPromptBody();
  std::string ReadScriptBody();
  void AddAttribute(const std::string& name, const std::string& value);
  void PairElements();
  void CollectUntilEndTag(size_t index);
  void ReduceToDirectChildren();
  void FillDocumentTables(VxmlDocument& document);
  void LogExcess(const std::string& what);

  Element working_;  // the element of the line being parsed
  std::vector<Element*> elements_;
  std::vector<Element*> grammars_;
  std::string documentUri_;
  std::string documentType_;
  std::ifstream* input_;
  std::string currentLine_;  // the last line read
  SessionLog* log_;
  int unnamedBlocks_ = 0;
};
