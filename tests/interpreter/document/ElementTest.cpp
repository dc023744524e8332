#include "interpreter/document/Element.h"

#include <gtest/gtest.h>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/VxmlDocument.h"
#include "tests/support/TempDir.h"

namespace {

struct TextCase {
  const char* what;
  const char* tagName;
  const char* sourceText;
  const char* text;
};

const TextCase kTextCases[] = {
    {"empty-element tag", "field", "<field name=\"x\"/>", ""},
    {"one-line prompt", "prompt", "<prompt> Hello world </prompt>", "Hello world"},
    {"only the first leading blank run goes", "PCDATA", " a b</PCDATA>", "a b"},
    {"collected prompt body", "prompt", "  Hello  world</prompt>", "Hello  world"},
    {"neither mark: whole text", "prompt", "plain text  ", "plain text"},
    {"marks out of order", "prompt", "</prompt><prompt>", ""},
    {"tabs and line ends stay", "prompt", "\tTabbed\n</prompt>", "\tTabbed\n"},
    {"blanks only", "prompt", "   ", ""},
    {"attributes before the content", "choice", "<choice next=\"#a\">red</choice>", "red"},
    {"script body keeps its lines", "script", "\n  var a;\n</script>", "\n  var a;\n"},
    {"end mark of another element", "item", "<item>a</itemx>", ""},
    {"text after the end mark is dropped", "tag", "<tag>x</tag> y", "x"},
};

void PrintTo(const TextCase& c, std::ostream* out) { *out << c.what; }

class GetTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(GetTextTest, Content) {
  const TextCase& c = GetParam();
  Element element(c.tagName, "anonymous", c.sourceText, {});
  EXPECT_EQ(c.text, element.GetText()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Table, GetTextTest, ::testing::ValuesIn(kTextCases));

TEST(ElementTest, GetAttributeTakesTheFirstExactMatch) {
  Element element("var", "anonymous", "",
                  {Attribute("name", "first"), Attribute("expr", ""), Attribute("name", "second")});
  const std::pair<const char*, const char*> cases[] = {
      {"name", "first"}, {"expr", ""}, {"Name", ""}, {"nam", ""}, {"missing", ""}};
  for (const auto& [name, value] : cases) EXPECT_EQ(value, element.GetAttribute(name)) << name;
  EXPECT_EQ("", Element().GetAttribute("name"));
}

TEST(ElementTest, ArenaAddressesStayValid) {
  Element* first = NewElement(Element("first", "anonymous", "<first>", {}));
  for (int i = 0; i < 10000; ++i) NewElement(Element());
  EXPECT_EQ("first", first->tagName);
  EXPECT_EQ("<first>", first->sourceText);
}

class VxmlDocumentTest : public testsupport::TempDirTest {};

TEST_F(VxmlDocumentTest, LogsCreationAndDestruction) {
  {
    SessionLog log("log.txt");
    {
      VxmlDocument document("dir\\doc.vxml", &log);
      EXPECT_EQ(nullptr, document.Root());
      EXPECT_EQ(1u, document.documentElements.size());
      EXPECT_TRUE(document.dialogs.empty());
    }
  }
  const std::string text = testsupport::ReadFile("log.txt");
  const std::string entries = text.substr(text.find("\nMESSAGE"));
  EXPECT_EQ(0u, entries.find("\nMESSAGE 0 : Create dokument successfull"
                             "\nMESSAGE 1 : Destroy dokument dir\\doc.vxml_____"))
      << entries;
}

}  // namespace
