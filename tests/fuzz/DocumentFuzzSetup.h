// Shared by the fuzz targets of the line parser: an input is parsed as the
// server parses a fetched document, from a file, as a VoiceXML or as an SRGS
// document. A fatal document ends its parse, not the process: the fatal
// helper's stop hook throws back here. In fuzz builds the element arena is
// emptied when a parse's records go, so memory stays flat over millions of
// inputs and libFuzzer sees no block outlive its input.
#pragma once
#include <memory>
#include <string>

#include "interpreter/common/FatalExit.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"
#include "tests/fuzz/ScratchFile.h"

namespace fuzzsupport {

// One parse and its records; its elements live as long as it does. One at a
// time.
class ParsedDocument {
 public:
  // Parses the bytes as an SRGS document when `type` is "grammar", else as a
  // VoiceXML document.
  ParsedDocument(const std::string& bytes, const std::string& type) {
    static SessionLog log("/dev/null");
    static ScratchFile file("document");
    document_ = std::make_unique<VxmlDocument>(file.Write(bytes), &log);
    parser_ = std::make_unique<XmlParser>(&document_->input, &log);
    parser_->SetDocumentType(type);
    quorvane::SetStopHook([] { throw FatalDocument{}; });
    try {
      parser_->ParseFile(*document_);
      parsed_ = true;
    } catch (const FatalDocument&) {
    }
  }
  ~ParsedDocument() {
    parser_.reset();
    document_.reset();
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    ClearElementArena();
#endif
  }
  ParsedDocument(const ParsedDocument&) = delete;
  ParsedDocument& operator=(const ParsedDocument&) = delete;

  // False when the document was fatal.
  bool Parsed() const { return parsed_; }
  const XmlParser& Parser() const { return *parser_; }
  const VxmlDocument& Document() const { return *document_; }

 private:
  struct FatalDocument {};

  std::unique_ptr<VxmlDocument> document_;
  std::unique_ptr<XmlParser> parser_;
  bool parsed_ = false;
};

}  // namespace fuzzsupport
