// The SRGS-to-BNF converter over every <grammar> element of any document,
// read as an SRGS and as a VoiceXML document (inline grammars). A grammar's
// text stays within the converter's limit; uncut, it ends with its main
// expression; cut, it holds whole rules only. A converter with a smaller
// limit cuts the same text earlier: what it gives is a beginning of it.
// The words of an item hold nothing the notation reads as syntax.
//
// Input: the document.
#include <cstdint>
#include <string>

#include "speech_resources/BnfConverter.h"
#include "tests/fuzz/DocumentFuzzSetup.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

void CheckConversion(const Element& grammar) {
  bnf::Converter converter;
  const std::string text = converter.ConvertGrammar(grammar);
  FUZZ_CHECK(text.size() <= bnf::kMaxBnfBytes);
  if (converter.Cut()) {
    FUZZ_CHECK(text.empty() || text.back() == '\n');
  } else {
    FUZZ_CHECK(EndsWith(text, "\n($" + grammar.GetAttribute("root") + ")\n"));
  }
  bnf::Converter smaller(text.size() / 2);
  const std::string cut = smaller.ConvertGrammar(grammar);
  FUZZ_CHECK(smaller.Cut() && cut.size() <= text.size() / 2);
  FUZZ_CHECK(text.compare(0, cut.size(), cut) == 0);
}

// An item of words alone, without "repeat", is its words and a blank.
void CheckWords(const Element& item) {
  if (!item.children.empty() || !item.GetAttribute("repeat").empty()) return;
  const std::string words = bnf::Converter().ConvertItem(item);
  for (const char c : words) {
    FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
    FUZZ_CHECK(std::string("$;|()[]{}<>=").find(c) == std::string::npos);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  for (const char* type : {"grammar", ""}) {
    const fuzzsupport::ParsedDocument parsed(bytes, type);
    if (!parsed.Parsed()) continue;
    for (const Element* element : parsed.Parser().Elements()) {
      if (element->tagName == "grammar") CheckConversion(*element);
      if (element->tagName == "item") CheckWords(*element);
    }
  }
  return 0;
}
