// Shared by the fuzz targets of the line parser: an input is parsed as the
// server parses a fetched document, from a file, as a VoiceXML or as an SRGS
// document. A fatal document ends its parse, not the process: the fatal
// helper's stop hook throws back here. In fuzz builds the element arena is
// emptied before each parse, so memory stays flat over millions of inputs.
#pragma once
#include <memory>
#include <string>

#include "interpreter/Element.h"
#include "interpreter/FatalExit.h"
#include "interpreter/SessionLog.h"
#include "interpreter/VxmlDocument.h"
#include "interpreter/XmlParser.h"
#include "tests/fuzz/ScratchFile.h"

namespace fuzzsupport {

// A parse's records; its elements live until the next parse (fuzz builds).
struct ParsedDocument {
  std::unique_ptr<VxmlDocument> document;
  std::unique_ptr<XmlParser> parser;
};

// Parses the bytes as an SRGS document when `type` is "grammar", else as a
// VoiceXML document. False when the document is fatal.
inline bool ParseDocument(const std::string& bytes, const std::string& type,
                          ParsedDocument& parsed) {
  struct FatalDocument {};
  static SessionLog log("/dev/null");
  static ScratchFile file("document");
  parsed = {};
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  ClearElementArena();
#endif
  parsed.document = std::make_unique<VxmlDocument>(file.Write(bytes), &log);
  parsed.parser = std::make_unique<XmlParser>(&parsed.document->input, &log);
  parsed.parser->SetDocumentType(type);
  quorvane::SetStopHook([] { throw FatalDocument{}; });
  try {
    parsed.parser->ParseFile(*parsed.document);
    return true;
  } catch (const FatalDocument&) {
    return false;
  }
}

}  // namespace fuzzsupport
