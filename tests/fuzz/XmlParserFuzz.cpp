// The line parser over any document, read as a VoiceXML and as an SRGS
// document; a fatal document ends only its parse. What a parse builds keeps
// the parser's limits and is a tree in document order: an element's children
// are later start-tag or text entries, in order, whose parent it is; end tags
// have no children, parent or attributes; a text entry's source ends with
// "</PCDATA>"; every scope is one of the four; the tables point into the
// entries.
//
// Input: the document.
#include <cstdint>
#include <set>
#include <string>
#include <unordered_map>

#include "tests/fuzz/DocumentFuzzSetup.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

bool IsEndTag(const Element& element) { return element.tagName.rfind("</", 0) == 0; }

void CheckElement(const Element& element, size_t index,
                  const std::unordered_map<const Element*, size_t>& indexes) {
  static const std::set<std::string> kScopes = {"anonymous", "document", "dialog", "grammar"};
  FUZZ_CHECK(kScopes.count(element.scope) == 1);
  FUZZ_CHECK(element.attributes.size() <= Element::kMaxAttributes);
  FUZZ_CHECK(element.children.size() <= Element::kMaxChildren);
  if (IsEndTag(element)) {
    FUZZ_CHECK(element.children.empty() && !element.parent && element.attributes.empty());
  }
  if (element.tagName == "PCDATA") FUZZ_CHECK(EndsWith(element.sourceText, "</PCDATA>"));
  if (element.parent) FUZZ_CHECK(indexes.at(element.parent) < index);
  size_t previous = index;
  for (const Element* child : element.children) {
    FUZZ_CHECK(indexes.count(child) == 1 && indexes.at(child) > previous);
    FUZZ_CHECK(child->parent == &element && !IsEndTag(*child));
    previous = indexes.at(child);
  }
}

void CheckParse(const XmlParser& parser, const VxmlDocument& document) {
  const std::vector<Element*>& elements = parser.Elements();
  FUZZ_CHECK(elements.size() <= XmlParser::kMaxElements);
  std::unordered_map<const Element*, size_t> indexes;
  for (size_t index = 0; index < elements.size(); ++index) indexes[elements[index]] = index;
  FUZZ_CHECK(indexes.size() == elements.size());
  for (size_t index = 0; index < elements.size(); ++index) {
    CheckElement(*elements[index], index, indexes);
  }
  FUZZ_CHECK(document.Root() == (elements.empty() ? nullptr : elements.front()));
  if (document.Root()) FUZZ_CHECK(!document.Root()->parent);
  if (document.Root() && parser.DocumentType() == "grammar") {
    FUZZ_CHECK(document.Root()->scope == "grammar" && parser.Grammars().empty());
  }
  FUZZ_CHECK(parser.Grammars().size() <= XmlParser::kMaxGrammars);
  for (const Element* grammar : parser.Grammars()) FUZZ_CHECK(grammar->tagName == "grammar");
  FUZZ_CHECK(document.documentElements.size() <= VxmlDocument::kMaxDocumentElements);
  FUZZ_CHECK(document.dialogs.size() <= VxmlDocument::kMaxDialogs);
  for (const DialogSlot& dialog : document.dialogs) {
    FUZZ_CHECK(dialog.element->tagName == "form" || dialog.element->tagName == "menu");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const char* type : {"", "grammar"}) {
    const fuzzsupport::ParsedDocument parsed(bytes, type);
    if (parsed.Parsed()) CheckParse(parsed.Parser(), parsed.Document());
  }
  return 0;
}
