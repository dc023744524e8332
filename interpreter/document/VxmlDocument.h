// A loaded VoiceXML or SRGS document: its file, its table of document-level
// elements and its table of dialogs. XmlParser::ParseFile fills the tables;
// the elements themselves live in the process-wide arena (Element.h) and are
// not freed with the document. The one who creates a document deletes it.
//
// After a parse:
// - documentElements[0] is the root (the first element of the file: the vxml
//   element, or the grammar element of an SRGS document). An SRGS document
//   holds its root twice, at entries 0 and 1. Further entries are later
//   elements that carry the scope "document" when the tables are filled, which
//   in practice means further vxml start tags only.
// - dialogs holds one slot per form and menu element, in document order.
#pragma once
#include <fstream>
#include <string>
#include <vector>

#include "interpreter/document/DialogSlot.h"

class Element;
class SessionLog;

class VxmlDocument {
 public:
  static constexpr size_t kMaxDocumentElements = 100;
  static constexpr size_t kMaxDialogs = 100;

  // Requires a log (not owned; it must outlive the document). Writes the log
  // message "Create dokument successfull".
  VxmlDocument(std::string fileName, SessionLog* log);
  // Writes the log message "Destroy dokument " and the file name as raw text.
  ~VxmlDocument();
  VxmlDocument(const VxmlDocument&) = delete;
  VxmlDocument& operator=(const VxmlDocument&) = delete;

  // The root element; null before a parse, and after the parse of a file
  // that yielded no element at all.
  Element* Root() const { return documentElements.front(); }

  std::vector<Element*> documentElements{nullptr};  // entry 0 is the root
  std::vector<DialogSlot> dialogs;
  std::ifstream input;  // the document's file; the parser opens and closes it
  std::string fileName;
  SessionLog* log;
};
