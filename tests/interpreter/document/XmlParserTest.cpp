#include "interpreter/document/XmlParser.h"

#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>

#include <gtest/gtest.h>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/VxmlDocument.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/TempDir.h"

using testsupport::ReadFile;

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";

// Wraps lines into a document whose root is <vxml version="2.0">.
std::string VxmlDocumentText(const std::string& body) {
  return kDeclaration + "<vxml version=\"2.0\">\n" + body + "\n</vxml>\n";
}

// One line per element: indentation, tag name, scope, attributes, and the
// content between bars when it is not empty. Checks the parent links.
std::string Dump(const Element& element, int depth = 0) {
  std::string out(2 * depth, ' ');
  out += element.tagName + " " + element.scope;
  for (const Attribute& attribute : element.attributes) {
    out += " " + attribute.name + "=" + attribute.value;
  }
  const std::string text = element.GetText();
  if (!text.empty()) out += " |" + text + "|";
  out += "\n";
  for (const Element* child : element.children) {
    EXPECT_EQ(&element, child->parent) << child->sourceText;
    out += Dump(*child, depth + 1);
  }
  return out;
}

std::string DumpChildren(const Element& element) {
  std::string out;
  for (const Element* child : element.children) out += Dump(*child);
  return out;
}

std::string TagList(const std::vector<Element*>& elements) {
  std::string out;
  for (const Element* element : elements) out += (out.empty() ? "" : " ") + element->tagName;
  return out;
}

class XmlParserTest : public testsupport::TempDirTest {
 protected:
  XmlParserTest() { alarm(30); }  // a hang kills the test program
  ~XmlParserTest() override { alarm(0); }

  void ParseNamed(const std::string& fileName, const std::string& type = "") {
    document_ = std::make_unique<VxmlDocument>(fileName, &log_);
    parser_ = std::make_unique<XmlParser>(&document_->input, &log_);
    parser_->SetDocumentType(type);
    parser_->ParseFile(*document_);
  }

  void Parse(const std::string& text, const std::string& type = "") {
    testsupport::WriteFile("doc.vxml", text);
    ParseNamed("doc.vxml", type);
  }

  // Parses in a child process whose standard output goes to "stdout.txt"; the
  // child must end with status 0. A missing text parses a missing file.
  void ParseExpectingExit(const std::optional<std::string>& text, const std::string& type) {
    EXPECT_EXIT(
        {
          alarm(10);
          dup2(open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
          if (text) Parse(*text, type);
          else ParseNamed("missing.vxml", type);
        },
        ::testing::ExitedWithCode(0), "");
  }

  // The log after its header.
  static std::string LogEntries() {
    const std::string text = ReadFile("log.txt");
    const size_t first = text.find("\nMESSAGE");
    return first == std::string::npos ? "" : text.substr(first);
  }

  const Element& Root() const { return *document_->Root(); }

  SessionLog log_{"log.txt"};
  std::unique_ptr<VxmlDocument> document_;
  std::unique_ptr<XmlParser> parser_;
};

const std::string kMinimal = kDeclaration +
                             "<vxml version=\"2.0\" xmlns=\"http://www.w3.org/2001/vxml\">\n"
                             "<var name=\"greeting\" expr=\"'hi'\"/>\n"
                             "<form id=\"main\">\n"
                             "<field name=\"answer\" type=\"boolean\">\n"
                             "<prompt>Do you agree?</prompt>\n"
                             "<filled>\n"
                             "<if cond=\"answer\">\n"
                             "<prompt>Yes.</prompt>\n"
                             "</if>\n"
                             "</filled>\n"
                             "</field>\n"
                             "<block>Done</block>\n"
                             "</form>\n"
                             "<menu id=\"m\">\n"
                             "<choice next=\"#main\">again</choice>\n"
                             "</menu>\n"
                             "</vxml>\n";

const std::string kMinimalTree =
    "vxml document version=2.0 xmlns=http://www.w3.org/2001/vxml\n"
    "  var document name=greeting expr='hi'\n"
    "  form document id=main\n"
    "    field dialog name=answer type=boolean\n"
    "      prompt anonymous |Do you agree?|\n"
    "      filled anonymous\n"
    "        if anonymous cond=answer\n"
    "          prompt anonymous |Yes.|\n"
    "    block dialog name=noname_block\n"
    "      PCDATA anonymous |Done|\n"
    "  menu document id=m\n"
    "    choice dialog next=#main |again|\n";

TEST_F(XmlParserTest, MinimalDocumentListTreeTablesAndLog) {
  Parse(kMinimal);
  EXPECT_EQ(
      "vxml var form field prompt filled if prompt </if </filled </field block PCDATA </block "
      "</form menu choice </menu </vxml",
      TagList(parser_->Elements()));
  for (const Element* element : parser_->Elements()) {
    if (element->tagName.find("</") == 0) {
      EXPECT_TRUE(element->attributes.empty()) << element->tagName;
      EXPECT_TRUE(element->children.empty()) << element->tagName;
      EXPECT_EQ(element->tagName + ">", element->sourceText);
    }
  }
  EXPECT_EQ("document", parser_->Elements()[14]->scope);  // </form
  EXPECT_EQ(kMinimalTree, Dump(Root()));
  EXPECT_EQ(nullptr, Root().parent);
  ASSERT_EQ(1u, document_->documentElements.size());
  ASSERT_EQ(2u, document_->dialogs.size());
  EXPECT_EQ("main", document_->dialogs[0].element->GetAttribute("id"));
  EXPECT_EQ("m", document_->dialogs[1].element->GetAttribute("id"));
  EXPECT_EQ("", document_->dialogs[0].lastInput);
  EXPECT_TRUE(parser_->Grammars().empty());
  EXPECT_FALSE(document_->input.is_open());
  EXPECT_EQ(
      "\nMESSAGE 0 : Create dokument successfull"
      "\nMESSAGE 1 : Parsing XML dokumentdoc.vxml"
      "\nMESSAGE 2 : Verzia XML syntaxe 1.0",
      LogEntries());
  parser_.reset();
  document_.reset();
  EXPECT_EQ("\nMESSAGE 3 : Destroy XML PARSER\nMESSAGE 4 : Destroy dokument doc.vxml",
            LogEntries().substr(LogEntries().find("\nMESSAGE 3")));
}

TEST_F(XmlParserTest, CrlfLineEndsGiveTheSameTree) {
  std::string crlf;
  for (char c : kMinimal) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Parse(crlf);
  EXPECT_EQ(kMinimalTree, Dump(Root()));
  std::vector<std::string> crlfSources;
  for (const Element* element : parser_->Elements()) crlfSources.push_back(element->sourceText);
  Parse(kMinimal);
  std::vector<std::string> lfSources;
  for (const Element* element : parser_->Elements()) lfSources.push_back(element->sourceText);
  EXPECT_EQ(lfSources, crlfSources);
}

TEST_F(XmlParserTest, NestedElementsOfOneNamePairThroughTheDepth) {
  Parse(VxmlDocumentText(
      "<form>\n<block>\n<if cond=\"a\">\n<if cond=\"b\">\n<prompt>ab</prompt>\n"
      "<elseif cond=\"c\"/>\n<prompt>ac</prompt>\n</if>\n<else/>\n<prompt>x</prompt>\n</if>\n"
      "</block>\n</form>"));
  EXPECT_EQ(
      "form document\n"
      "  block dialog name=noname_block\n"
      "    if anonymous cond=a\n"
      "      if anonymous cond=b\n"
      "        prompt anonymous |ab|\n"
      "        elseif anonymous cond=c\n"
      "        prompt anonymous |ac|\n"
      "      else anonymous\n"
      "      prompt anonymous |x|\n",
      DumpChildren(Root()));
}

TEST_F(XmlParserTest, SelfClosedElementInsideOneOfItsNameIsNotOpen) {
  Parse(kDeclaration +
            "<grammar root=\"r\">\n<rule id=\"r\">\n<item>\n<item/>\n<item repeat=\"0-1\"/>\n"
            "<one-of>\n<item>a</item>\n</one-of>\n</item>\n</rule>\n</grammar>\n",
        "grammar");
  EXPECT_EQ(
      "grammar grammar root=r\n"
      "  rule document id=r\n"
      "    item anonymous\n"
      "      item anonymous\n"
      "      item anonymous repeat=0-1\n"
      "      one-of anonymous\n"
      "        item anonymous |a|\n",
      Dump(Root()));
}

TEST_F(XmlParserTest, SrgsDocument) {
  Parse(kDeclaration +
            "<!DOCTYPE grammar PUBLIC \"-//W3C//DTD GRAMMAR 1.0//EN\" \"grammar.dtd\">\n"
            "<grammar version=\"1.0\" xml:lang=\"sk\" root=\"answer\" mode=\"voice\">\n"
            "<rule id=\"answer\" scope=\"public\">\n"
            "<one-of>\n"
            "<item>ano</item>\n"
            "<item>nie<tag>out=\"no\"</tag></item><!-- <item>x</item> -->\n"
            "<item>\nnew york\n</item>\n"
            "</one-of>\n"
            "<ruleref uri=\"#other\"/>\n"
            "</rule>\n"
            "<rule id=\"other\">\n"
            "<item repeat=\"0-1\">prosim</item>\n"
            "</rule>\n"
            "</grammar>\n",
        "grammar");
  EXPECT_EQ(
      "grammar grammar version=1.0 xml:lang=sk root=answer mode=voice\n"
      "  rule document id=answer scope=public\n"
      "    one-of anonymous\n"
      "      item anonymous |ano|\n"
      "      item anonymous\n"
      "        PCDATA anonymous |nie|\n"
      "        tag anonymous |out=\"no\"|\n"
      "      item anonymous\n"
      "        PCDATA anonymous |new york|\n"
      "    ruleref anonymous uri=#other\n"
      "  rule document id=other\n"
      "    item anonymous repeat=0-1 |prosim|\n",
      Dump(Root()));
  ASSERT_EQ(2u, document_->documentElements.size());
  EXPECT_EQ(&Root(), document_->documentElements[1]);
  EXPECT_TRUE(document_->dialogs.empty());
  EXPECT_TRUE(parser_->Grammars().empty());
  EXPECT_EQ("grammar", parser_->DocumentType());
}

TEST_F(XmlParserTest, GrammarListOfAVoiceXmlDocument) {
  Parse(VxmlDocumentText(
      "<grammar src=\"top.grxml\"/>\n<form>\n<field name=\"f\">\n"
      "<grammar type=\"application/srgs+xml\" src=\"f.grxml\"/>\n</field>\n</form>"));
  ASSERT_EQ(2u, parser_->Grammars().size());
  EXPECT_EQ("top.grxml", parser_->Grammars()[0]->GetAttribute("src"));
  EXPECT_EQ("document", parser_->Grammars()[0]->scope);
  EXPECT_EQ("f.grxml", parser_->Grammars()[1]->GetAttribute("src"));
  EXPECT_EQ("anonymous", parser_->Grammars()[1]->scope);
}

struct LineCase {
  const char* what;
  std::string body;  // lines between <vxml version="2.0"> and </vxml>
  std::string tree;  // Dump of the root's children
};

const LineCase kLineCases[] = {
    {"ruleref fix-up", "<ruleref uri=\"#a\"/>", "ruleref document uri=#a\n"},
    {"ruleref end tag on a later line is not the rule's",
     "<rule id=\"r\">\n<ruleref uri=\"#a\">\n</ruleref>\n</rule>",
     "rule document id=r\n  ruleref anonymous uri=#a\n"},
    {"elseif fix-up", "<elseif cond=\"x\"/>", "elseif document cond=x\n"},
    {"enumerate in a prompt", "<prompt>Say <enumerate/></prompt>",
     "prompt document |Say <enumerate/>|\n"},
    {"audio in a prompt", "<prompt><audio src=\"a.wav\"/></prompt>",
     "prompt document |<audio src=\"a.wav\"/>|\n"},
    {"metadata is meta", "<metadata>m</metadata>", "meta document\n"},
    {"several elements on one line",
     "<block><audio src=\"a.wav\"/><prompt>Hi</prompt></block><exit/>",
     "block document name=noname_block\n  audio anonymous src=a.wav\n  prompt anonymous |Hi|\n"
     "exit document\n"},
    {"two start tags on one line", "<field name=\"f\"><grammar src=\"g.grxml\"/></field>",
     "field document name=f\n  grammar anonymous src=g.grxml\n"},
    {"text of a block with inline markup", "<block>Hi <value expr=\"x\"/> all<break/>!</block>",
     "block document name=noname_block\n"
     "  PCDATA anonymous |Hi <value expr=\"x\"/> all<break/>!|\n"},
    {"text over lines is one run", "<block>\n  Hello\n  world\n</block>",
     "block document name=noname_block\n  PCDATA anonymous |Hello world|\n"},
    {"spoken text keeps values alone on a line, CDATA markers and arrows",
     "<block>\n Is\n <value expr=\"x\"/>\n<![CDATA[<1>]]> --> 2\n</block>"
     "<filled><value expr=\"y\"/></filled>",
     "block document name=noname_block\n  PCDATA anonymous |Is <value expr=\"x\"/> <![CDATA[<1>]]>"
     " --> 2|\nfilled document\n  PCDATA anonymous |<value expr=\"y\"/>|\n"},
    {"ruleref end tag closes no rule",
     "<rule id=\"r\">\n<ruleref uri=\"#a\">\n</ruleref>\nnow\n</rule>",
     "rule document id=r\n  ruleref anonymous uri=#a\n  PCDATA anonymous |now|\n"},
    {"unknown element is text", "<break time=\"1s\"/>", "PCDATA document |<break time=\"1s\"/>|\n"},
    {"text line", " Hello world ", "PCDATA document |Hello world|\n"},
    {"blank line", "   ", ""},
    {"empty line", "", ""},
    {"one-line comment", "<!-- note -->", ""},
    {"comment over lines", "<!--\nmiddle line\n-->", ""},
    {"elements inside comments",
     "<var name=\"a\"/><!-- <var name=\"x\"/>\n<form> --><var name=\"b\"/>",
     "var document name=a\nvar document name=b\n"},
    {"comment inside a prompt", "<prompt>Hi <!-- not\nspoken --> there</prompt>",
     "prompt document |Hi  there|\n"},
    {"CDATA in a prompt", "<prompt>Fish <![CDATA[& <chips>]]></prompt>",
     "prompt document |Fish <![CDATA[& <chips>]]>|\n"},
    {"markup in CDATA is text", "<grammar><![CDATA[<option value=\"x\"/>]]></grammar>",
     "grammar document |<option value=\"x\"/>|\n"},
    {"CDATA script with code on its lines",
     "<script>var a; <![CDATA[if (a < 1 && b) {}\n]]> a = 2;</script>",
     "script document |var a; if (a < 1 && b) {}\n a = 2;|\n"},
    {"script decoded outside CDATA only", "<script>a='&lt;';<![CDATA[b='&lt;</vxml>';]]></script>",
     "script document |a='<';b='&lt;</vxml>';|\n"},
    {"processing instruction", "<?xml-stylesheet href=\"s.xsl\"?>", ""},
    {"one-line DOCTYPE", "<!DOCTYPE vxml>\n<var name=\"a\"/>", "var document name=a\n"},
    {"DOCTYPE over two lines", "<!DOCTYPE vxml\n SYSTEM \"v.dtd\">\n<var name=\"a\"/>",
     "var document name=a\n"},
    {"unknown attribute dropped", "<var name=\"a\" foo=\"1\" expr=\"2\"/>",
     "var document name=a expr=2\n"},
    {"single-quoted values", "<var name='a' expr=\"'x'\" cond='a \"b\"'/>",
     "var document name=a expr='x' cond=a \"b\"\n"},
    {"value without closing quote dropped", "<var name=\"a expr=2/>", "var document\n"},
    {"quoted markup in a value", "<if cond=\"a > '<b>'\"><prompt>x</prompt></if>",
     "if document cond=a > '<b>'\n  prompt anonymous |x|\n"},
    {"two blanks before a name", "<var name=\"a\"  expr=\"2\"/>", "var document name=a expr=2\n"},
    {"blanks around the equals sign", "<var name = \"a\" expr =\"2\"/>",
     "var document name=a expr=2\n"},
    {"tab before a name", "<var\tname=\"a\"\texpr=\"2\"/>", "var document name=a expr=2\n"},
    {"names are case-sensitive", "<var Name=\"a\" name=\"b\"/>", "var document name=b\n"},
    {"both copies of a name kept", "<var name=\"a\" name=\"b\"/>", "var document name=a name=b\n"},
    {"value with blanks and quotes", "<var name=\"x\" expr=\"'a b' + c\"/>",
     "var document name=x expr='a b' + c\n"},
    {"start tag over two lines, one blank", "<var name=\"a\"\n expr=\"2\"/>",
     "var document name=a expr=2\n"},
    {"start tag over lines, empty line skipped", "<var name=\"a\"\n\n expr=\"2\"\n/>",
     "var document name=a expr=2\n"},
    {"start tag over two lines, no blank", "<var name=\"a\"\nexpr=\"2\"/>",
     "var document name=a\n"},
    {"start tag over two lines, indented", "<var name=\"a\"\n    expr=\"2\"/>",
     "var document name=a expr=2\n"},
    {"sixth attribute dropped",
     "<field name=\"a\" type=\"b\" cond=\"c\" modal=\"d\" slot=\"e\" expr=\"f\"/>",
     "field document name=a type=b cond=c modal=d slot=e\n"},
    {"block with itemname gets a name", "<form>\n<block itemname=\"i\"/>\n</form>",
     "form document\n  block dialog itemname=i name=noname_block\n"},
    {"unnamed form items get distinct names",
     "<form>\n<block/>\n<block cond=\"true\"/>\n<block name='n'/>\n<block/>\n<field/>\n"
     "<field name=\"\"/>\n<record/><transfer/>\n</form>",
     "form document\n"
     "  block dialog name=noname_block\n"
     "  block dialog cond=true name=noname_block1\n"
     "  block dialog name=n\n"
     "  block dialog name=noname_block2\n"
     "  field dialog name=noname_field\n"
     "  field dialog name=noname_field1\n"
     "  record dialog name=noname_record\n"
     "  transfer dialog name=noname_transfer\n"},
    {"prompt lines joined with one blank", "<prompt>Hello\n   world  \n\n</prompt>",
     "prompt document |Hello world|\n"},
    {"empty prompt has no body", "<prompt/>\n<var name=\"a\"/>\n<prompt>x</prompt>",
     "prompt document\nvar document name=a\nprompt document |x|\n"},
    {"script with only a source has no body",
     "<script src=\"lib.js\"/>\n<var name=\"a\"/>\n<script>\nb=1;\n</script>",
     "script document src=lib.js\nvar document name=a\nscript document |\nb=1;\n|\n"},
    {"empty element later on a prompt line", "<prompt>Say <enumerate/>\nnow</prompt>",
     "prompt document |Say <enumerate/> now|\n"},
    {"scopes by depth",
     "<form id=\"f\">\n<field name=\"x\">\n<filled>\n<assign name=\"y\" expr=\"1\"/>\n</filled>\n"
     "</field>\n</form>\n<link next=\"#f\">\n<grammar src=\"l.grxml\"/>\n</link>",
     "form document id=f\n"
     "  field dialog name=x\n"
     "    filled anonymous\n"
     "      assign anonymous name=y expr=1\n"
     "link document next=#f\n"
     "  grammar anonymous src=l.grxml\n"},
    {"lines after the closing line are ignored", "<var name=\"a\"/>\n</vxml>\n<form>",
     "var document name=a\n"},
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.what; }

class LineTest : public XmlParserTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineTest, Tree) {
  Parse(VxmlDocumentText(GetParam().body));
  EXPECT_EQ("vxml", Root().tagName);
  EXPECT_EQ(GetParam().tree, DumpChildren(Root())) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, LineTest, ::testing::ValuesIn(kLineCases));

TEST_F(XmlParserTest, StartTagOverLinesKeepsTheJoinedSourceText) {
  Parse(VxmlDocumentText("<field name=\"color\"\n type=\"boolean\"\n>\n</field>"));
  EXPECT_EQ("<field name=\"color\" type=\"boolean\">", parser_->Elements()[1]->sourceText);
  EXPECT_EQ("field document name=color type=boolean\n", DumpChildren(Root()));
}

TEST_F(XmlParserTest, MultiLinePromptAndScriptBodies) {
  Parse(VxmlDocumentText(
      "<form>\n<block>\n<prompt bargein=\"false\">\n  Hello\n\n  world\n</prompt>\n"
      "<script>\n  var a = 1;\n\n  var b = 2;\n</script>\n</block>\n</form>"));
  EXPECT_EQ("vxml form block prompt script </block </form </vxml", TagList(parser_->Elements()));
  const Element& prompt = *parser_->Elements()[3];
  EXPECT_EQ("<prompt bargein=\"false\">Hello world</prompt>", prompt.sourceText);
  EXPECT_EQ("false", prompt.GetAttribute("bargein"));
  const Element& script = *parser_->Elements()[4];
  EXPECT_EQ("<script>\n  var a = 1;\n\n  var b = 2;\n</script>", script.sourceText);
  EXPECT_EQ(2u, Root().children[0]->children[0]->children.size());
}

TEST_F(XmlParserTest, IllNestedElementsLoseNoEntryAndOverrunNothing) {
  Parse(VxmlDocumentText("<form>\n<block>\nx\n</form>\ny\n</block>"));
  EXPECT_EQ("form", TagList(Root().children));
  const Element& form = *Root().children[0];
  EXPECT_EQ("block", TagList(form.children));
  EXPECT_EQ("PCDATA PCDATA", TagList(form.children[0]->children));
}

// Each level's <block> starts inside its <field> and ends after it: were an
// entry given to every element around it, the walk would double per level.
TEST_F(XmlParserTest, CrossingEndTagsGiveEachEntryOnePlaceInTheTree) {
  const size_t kLevels = 40;
  std::string body;
  for (size_t i = 0; i < kLevels; ++i) body += "<if>\n<field>\n<block>\n</field>\n";
  for (size_t i = 0; i < kLevels; ++i) body += "</block>\n</if>\n";
  Parse(VxmlDocumentText("<form>\n<block>\n" + body + "</block>\n</form>"));
  size_t visits = 0;
  std::function<void(const Element&)> walk = [&](const Element& element) {
    ++visits;
    for (const Element* child : element.children) {
      EXPECT_EQ(&element, child->parent);
      walk(*child);
    }
  };
  walk(Root());
  EXPECT_EQ(3 + 3 * kLevels, visits);  // vxml, form, block, then each level's if, field, block
}

TEST_F(XmlParserTest, DeeplyNestedElementsEachHoldTheNextOne) {
  const int kDepth = 4400;
  std::string body = "<form>\n<block>\n";
  for (int i = 0; i < kDepth; ++i) body += "<if cond=\"" + std::to_string(i) + "\">\n";
  body += "<prompt>deep</prompt>\n";
  for (int i = 0; i < kDepth; ++i) body += "</if>\n";
  Parse(VxmlDocumentText(body + "</block>\n</form>"));
  const Element* element = Root().children[0]->children[0];
  for (int i = 0; i < kDepth; ++i) {
    ASSERT_EQ(1u, element->children.size()) << i;
    ASSERT_EQ(element, element->children[0]->parent) << i;
    element = element->children[0];
    ASSERT_EQ(std::to_string(i), element->GetAttribute("cond"));
  }
  EXPECT_EQ("prompt", TagList(element->children));
}

TEST_F(XmlParserTest, LongLinesAreReadWhole) {
  const std::string words(100000, 'w');
  const std::string value(5000, 'v');
  Parse(VxmlDocumentText("<var name=\"" + value + "\" expr=\"1\"/>\n<prompt> " + words +
                         " </prompt>\n<var name=\"after\"/>"));
  EXPECT_EQ("var prompt var", TagList(Root().children));
  EXPECT_EQ(value, Root().children[0]->GetAttribute("name"));
  EXPECT_EQ("1", Root().children[0]->GetAttribute("expr"));
  EXPECT_EQ(words, Root().children[1]->GetText());
  EXPECT_EQ("after", Root().children[2]->GetAttribute("name"));
}

TEST_F(XmlParserTest, FirstLineWithoutDeclarationWarnsAndIsParsed) {
  testsupport::CaptureStdout capture;
  Parse("<vxml version=\"2.0\">\n<var name=\"a\"/>\n</vxml>\n");
  EXPECT_EQ("WARNING: Unknown XML syntax!\n", capture.Take());
  EXPECT_EQ("vxml document version=2.0\n  var document name=a\n", Dump(Root()));
  EXPECT_EQ(
      "\nMESSAGE 0 : Create dokument successfull"
      "\nMESSAGE 1 : Parsing XML dokumentdoc.vxml"
      "\nMESSAGE 2 : WARNING: Unknown XML syntax!",
      LogEntries());
}

TEST_F(XmlParserTest, VersionInSingleQuotesOrWithBlanksIsAccepted) {
  for (const char* declaration : {"<?xml version='1.0'?>", "<?xml version = \"1.0\" ?>",
                                  "<?xml encoding=\"x\" version\t= '1.0'?>"}) {
    Parse(declaration + std::string("\n<vxml version=\"2.0\">\n</vxml>"));
    EXPECT_EQ("vxml document version=2.0\n", Dump(Root())) << declaration;
  }
}

TEST_F(XmlParserTest, MarkupAfterTheDeclarationOnItsLineIsRead) {
  const std::pair<std::string, std::string> cases[] = {
      {"<?xml version=\"1.0\"?><vxml version=\"2.0\">\n<var name=\"a\"/>\n</vxml>\n",
       "vxml document version=2.0\n  var document name=a\n"},
      {"<?xml version=\"1.0\"?>  <!-- c -->\n<vxml version=\"2.0\">\n</vxml>\n",
       "vxml document version=2.0\n"},
      {"<?xml version=\"1.0\"?><vxml version=\"2.0\"></vxml>\n", "vxml document version=2.0\n"},
  };
  for (const auto& [text, tree] : cases) {
    Parse(text);
    EXPECT_EQ(tree, Dump(Root())) << text;
  }
}

// A NUL byte would cut every message that carries the text.
TEST_F(XmlParserTest, NulByteIsReadAsABlankAndLogged) {
  Parse(VxmlDocumentText("<var name=\"a\"/>\n<prompt>Hi" + std::string(1, '\0') +
                         "there</prompt>"));
  EXPECT_EQ("Hi there", Root().children[1]->GetText());
  EXPECT_NE(std::string::npos, LogEntries().find("\nERROR :XML PARSER: NUL byte read as a blank "
                                                 "in line 4 of doc.vxml\n"));
}

// Limits: the excess is dropped and logged, never written past an end.
TEST_F(XmlParserTest, AttributeLimitIsLogged) {
  Parse(VxmlDocumentText(
      "<field name=\"a\" type=\"b\" cond=\"c\" modal=\"d\" slot=\"e\" expr=\"f\"/>"));
  EXPECT_NE(std::string::npos,
            LogEntries().find("\nERROR :XML PARSER: more than 5 attributes in field: expr; "
                              "the excess is dropped\n"));
}

TEST_F(XmlParserTest, GrammarLimitIsLogged) {
  std::string body;
  for (int i = 0; i < 51; ++i) body += "<grammar src=\"g" + std::to_string(i) + "\"/>\n";
  Parse(VxmlDocumentText(body));
  ASSERT_EQ(50u, parser_->Grammars().size());
  EXPECT_EQ("g49", parser_->Grammars()[49]->GetAttribute("src"));
  EXPECT_NE(std::string::npos, LogEntries().find("more than 50 grammars in the document"));
}

TEST_F(XmlParserTest, DialogLimitIsLogged) {
  std::string body;
  for (int i = 0; i < 102; ++i) body += "<form id=\"f" + std::to_string(i) + "\">\n</form>\n";
  Parse(VxmlDocumentText(body));
  ASSERT_EQ(100u, document_->dialogs.size());
  EXPECT_EQ("f99", document_->dialogs[99].element->GetAttribute("id"));
  EXPECT_EQ(102u, Root().children.size());
  const std::string log = LogEntries();
  EXPECT_NE(std::string::npos, log.find("more than 100 dialogs"));
  EXPECT_EQ(log.find("more than 100 dialogs"), log.rfind("more than 100 dialogs"));  // once
}

TEST_F(XmlParserTest, ChildLimitIsLogged) {
  std::string body;
  for (int i = 0; i < 8001; ++i) body += "<var name=\"v" + std::to_string(i) + "\"/>\n";
  Parse(VxmlDocumentText(body));
  ASSERT_EQ(8000u, Root().children.size());
  EXPECT_EQ("v7999", Root().children.back()->GetAttribute("name"));
  EXPECT_NE(std::string::npos, LogEntries().find("more than 8000 children of vxml"));
}

struct FatalCase {
  const char* what;
  std::optional<std::string> text;  // none: the file does not exist
  const char* type;
  std::string printed;
  std::string logged;
};

const FatalCase kFatalCases[] = {
    {"missing file", std::nullopt, "", "Cannot open file>missing.vxml\n",
     "\nERROR :Cannot open file>missing.vxml\n"},
    {"XML version 1.1", "<?xml version=\"1.1\"?>\n<vxml version=\"2.0\">\n</vxml>\n", "",
     "FATAL ERROR: Nepodporovana verzia XML syntaxe!\n",
     "\nMESSAGE 2 : Verzia XML syntaxe 1.1\nERROR :Nepodporovana verzia XML syntaxe!\n"},
    {"no XML version", "<?xml encoding=\"UTF-8\"?>\n<vxml version=\"2.0\">\n</vxml>\n", "",
     "FATAL ERROR: Nepodporovana verzia XML syntaxe!\n",
     "\nERROR :Nepodporovana verzia XML syntaxe!\n"},
    {"no closing vxml", kDeclaration + "<vxml version=\"2.0\">\n<form>\n</form>\n", "",
     "\n\tDOKUMENT ERROR:dokument neobsahuje </vxml> tag!\n",
     "\nERROR :DOKUMENT ERROR:dokument neobsahuje ukoncovaci prvok\n"},
    {"no closing grammar", kDeclaration + "<grammar>\n<rule id=\"a\"/>\n</vxml>\n", "grammar",
     "\n\tDOKUMENT ERROR:dokument neobsahuje </grammar> tag!\n",
     "\nERROR :DOKUMENT ERROR:dokument neobsahuje ukoncovaci prvok\n"},
    {"empty file", "", "", "WARNING: Unknown XML syntax!\n\n\tDOKUMENT ERROR:dokument neobsahuje "
     "</vxml> tag!\n", "\nERROR :DOKUMENT ERROR:dokument neobsahuje ukoncovaci prvok\n"},
    {"unterminated prompt", kDeclaration + "<vxml>\n<prompt>\nHello\n", "",
     "\n\tDOKUMENT ERROR:dokument neobsahuje </vxml> tag!\n", "ukoncovaci prvok"},
    {"unterminated script", kDeclaration + "<vxml>\n<script>\nvar a;\n", "",
     "\n\tDOKUMENT ERROR:dokument neobsahuje </vxml> tag!\n", "ukoncovaci prvok"},
    {"unterminated start tag", kDeclaration + "<vxml>\n<var name=\"a\"\n", "",
     "\n\tDOKUMENT ERROR:dokument neobsahuje </vxml> tag!\n", "ukoncovaci prvok"},
    {"unterminated DOCTYPE", kDeclaration + "<!DOCTYPE vxml\n", "",
     "\n\tDOKUMENT ERROR:dokument neobsahuje </vxml> tag!\n", "ukoncovaci prvok"},
    {"form without end tag", VxmlDocumentText("<form>\n<block>a</block>"), "",
     "ERROR: Chyba ukoncovaci element k elementu form\n",
     "\nERROR :Chyba ukoncovaci element k elementu\nform"},
    {"inner if without end tag", VxmlDocumentText("<form>\n<if cond=\"a\">\n<if cond=\"b\">\n</if>"
                                                  "\n</form>"),
     "", "ERROR: Chyba ukoncovaci element k elementu if\n",
     "\nERROR :Chyba ukoncovaci element k elementu\nif"},
};

void PrintTo(const FatalCase& c, std::ostream* out) { *out << c.what; }

class FatalTest : public XmlParserTest, public ::testing::WithParamInterface<FatalCase> {};

TEST_P(FatalTest, ExitsWithStatusZeroAndTheMessage) {
  const FatalCase& c = GetParam();
  ParseExpectingExit(c.text, c.type);
  EXPECT_EQ(c.printed, ReadFile("stdout.txt")) << c.what;
  EXPECT_NE(std::string::npos, LogEntries().find(c.logged)) << c.what << LogEntries();
}

INSTANTIATE_TEST_SUITE_P(Table, FatalTest, ::testing::ValuesIn(kFatalCases));

TEST_F(XmlParserTest, ElementsBeyondTheListLimitAreDroppedAndLogged) {
  std::string body;
  for (int i = 0; i < 9000; ++i) body += "<var name=\"v\"/>\n";
  ParseExpectingExit(VxmlDocumentText(body), "");
  EXPECT_EQ("ERROR: Chyba ukoncovaci element k elementu vxml\n", ReadFile("stdout.txt"));
  EXPECT_NE(std::string::npos,
            LogEntries().find("\nERROR :XML PARSER: more than 9000 elements in the document: "
                              "var; the excess is dropped\n"));
  EXPECT_EQ(std::string::npos, LogEntries().find("</vxml; the excess"));  // once a document
}

}  // namespace
