#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/util/DynamicBuffer.h"
#include "tests/libhub/frames/FramesTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

using hubtest::FramesTest;
using hubtest::FrameText;
using hubtest::FrameWithInts;
using hubtest::ObjectText;
using HubFramePrintTest = FramesTest;
using Maker = std::function<Hub_Object*()>;

Hub_Object* IntList(std::vector<int> values) {
  std::vector<Hub_Object*> elements;
  for (int v : values) elements.push_back(Hub_MakeIntObject(v));
  return Hub_MakeListObject(elements.data(), static_cast<int32_t>(elements.size()));
}

Hub_Object* Framed(Hub_Frame* frame) { return Hub_MakeFrameObject(frame); }

Hub_Frame* Reply() { return FrameWithInts("reply", {{":n", 3}}); }

// The text of one object in each of the three layouts.
struct ObjectCase {
  const char* what;
  Maker make;
  const char* pretty;
  const char* readable;
  const char* brief;
};

TEST_F(HubFramePrintTest, ObjectTextsPerLayout) {
  const std::string seventy(70, 'x');
  const std::string forty(40, 'y');
  const ObjectCase cases[] = {
      {"null", [] { return nullptr; }, "NULLObject", "NULLObject", "NULLObject"},
      {"string", [] { return Hub_MakeStringObject("say \"hi\" \\ now"); },
       "\"say \\\"hi\\\" \\\\ now\"", "\"say \\\"hi\\\" \\\\ now\"", "\"say \\\"hi\\\" \\\\ now\""},
      {"null string",
       [] {
         Hub_Object* o = Hub_WrapStringObject(const_cast<char*>("x"), 0);
         o->value = 0;
         return o;
       },
       "\"\"", "\"\"", "\"\""},
      {"70-byte string", [&] { return Hub_MakeStringObject(seventy.c_str()); }, nullptr, nullptr,
       nullptr},
      {"int", [] { return Hub_MakeIntObject(-12); }, "-12", "-12", "-12"},
      {"float", [] { return Hub_MakeFloatObject(3.0f); }, "3.000000e+00", "3.000000e+00",
       "3.000000e+00"},
      {"small float", [] { return Hub_MakeFloatObject(0.00001f); }, "1.000000e-05", "1.000000e-05",
       "1.000000e-05"},
      {"symbol", [] { return Hub_MakeSymbolObject("sym"); }, "sym", "sym", "sym"},
      {"keyword", [] { return Hub_MakeKeywordObject(":kw"); }, ":kw", ":kw", ":kw"},
      {"tag", [] { return Hub_MakeTagObject("tag"); }, "tag", "tag", "tag"},
      {"token", [] { return Hub_MakeTokenObject("a \"tok\""); }, "a \"tok\"", "a \"tok\"",
       "a \"tok\""},
      {"list",
       [] {
         return IntList({1, 2, 3});
       },
       "( 1\n  2\n  3 )", "( 1 2 3 )", "( 1\n  ... )"},
      {"one-element list", [] { return IntList({7}); }, "( 7 )", "( 7 )", "( 7 )"},
      {"empty list", [] { return IntList({}); }, "(  )", "(  )", "(  )"},
      {"nested list",
       [] {
         return Hub_MakeListObjectOfArgs(2, IntList({1, 2}), Hub_MakeIntObject(3));
       },
       "( ( 1\n    2 )\n  3 )", "( ( 1 2 ) 3 )", "( ( 1\n    ... )\n  ... )"},
      {"binary", [] { return Hub_MakeBinaryObject("abc", 3); }, "% 3 4 86)C\n", "% 3 4 86)C",
       "% 3 HUB_BINARY object"},
      {"empty binary", [] { return Hub_MakeBinaryObject(nullptr, 0); }, "% 0 0 \n", "% 0 0 ",
       "% 0 HUB_BINARY object"},
      {"int16 array", [] { return Hub_WrapInt16ArrayObject(calloc(3, 2), 3, 1); },
       "\"[array: type HUB_INT_16, 6 bytes]\"",
       "\"[non-readable frame element: array of type HUB_INT_16]\"",
       "\"[array: type HUB_INT_16, 6 bytes]\""},
      {"float64 array", [] { return Hub_WrapFloat64ArrayObject(calloc(2, 8), 2, 1); },
       "\"[array: type HUB_FLOAT_64, 16 bytes]\"",
       "\"[non-readable frame element: array of type HUB_FLOAT_64]\"",
       "\"[array: type HUB_FLOAT_64, 16 bytes]\""},
      {"proxy",
       [] {
         return Hub_MakeProxyObject(Hub_CreateBrokerProxy("host", 5, "c1", HUB_INT_16, nullptr));
       },
       "\"[broker proxy: call ID c1, host host, port 5, type HUB_INT_16]\"",
       "\"[non-readable frame element: broker proxy, call ID c1, host host, port 5, type "
       "HUB_INT_16]\"",
       "\"[broker proxy: call ID c1, host host, port 5, type HUB_INT_16]\""},
      {"proxy of any type",
       [] { return Hub_MakeProxyObject(Hub_CreateBrokerProxy("h", 1, "c", -1, nullptr)); },
       "\"[broker proxy: call ID c, host h, port 1, type any]\"",
       "\"[non-readable frame element: broker proxy, call ID c, host h, port 1, type any]\"",
       "\"[broker proxy: call ID c, host h, port 1, type any]\""},
      {"frame", [] { return Framed(Reply()); }, "{c reply\n   :n 3 }", "{c reply :n 3 }",
       "{c reply\n   :n 3 }"},
  };
  for (const ObjectCase& c : cases) {
    SCOPED_TRACE(c.what);
    Hub_Object* object = c.make();
    if (c.pretty) {
      EXPECT_EQ(ObjectText(object, HUB_PRETTY_LAYOUT), c.pretty);
      EXPECT_EQ(ObjectText(object, HUB_READABLE_LAYOUT), c.readable);
      EXPECT_EQ(ObjectText(object, HUB_BRIEF_LAYOUT), c.brief);
    }
    EXPECT_EQ(ObjectText(object, 3), "<failed>") << "other layouts print nothing";
    EXPECT_TRUE(TakeShown().empty());
    Hub_DestroyObject(object);
  }
}

TEST_F(HubFramePrintTest, BriefLayoutAbbreviatesLongStrings) {
  struct Case {
    size_t length;
    std::string brief;
  };
  const Case cases[] = {
      {70, "\"" + std::string(50, 'x') + " ...\""},
      {60, "\"" + std::string(50, 'x') + " ...\""},
      {59, "\"" + std::string(59, 'x') + "\""},
      {40, "\"" + std::string(40, 'x') + "\""},
  };
  for (const Case& c : cases) {
    Hub_Object* text = Hub_MakeStringObject(std::string(c.length, 'x').c_str());
    EXPECT_EQ(ObjectText(text, HUB_BRIEF_LAYOUT), c.brief) << c.length;
    EXPECT_EQ(ObjectText(text, HUB_READABLE_LAYOUT), "\"" + std::string(c.length, 'x') + "\"");
    Hub_DestroyObject(text);
  }
}

// The text of one frame in each of the three layouts.
struct FrameCase {
  const char* what;
  std::function<Hub_Frame*()> make;
  const char* pretty;
  const char* readable;
  const char* brief;
};

TEST_F(HubFramePrintTest, FrameTextsPerLayout) {
  const FrameCase cases[] = {
      {"clause", Reply, "{c reply\n   :n 3 }", "{c reply :n 3 }", "{c reply\n   :n 3 }"},
      {"topic without name", [] { return Hub_MakeFrameOfKind(nullptr, HUB_KIND_TOPIC); },
       "{q NO_NAME }", "{q NO_NAME }", "{q NO_NAME }"},
      {"predicate", [] { return Hub_MakeFrameOfKind("p", HUB_KIND_PREDICATE); }, "{p p }", "{p p }",
       "{p p }"},
      {"other kind",
       [] {
         Hub_Frame* f = Hub_MakeFrame("odd");
         Hub_SetFrameKind(f, 0);
         return f;
       },
       "{  odd }", "{  odd }", "{  odd }"},
      {"two properties",
       [] {
         return FrameWithInts("f", {{":a", 1}, {":bb", 2}});
       },
       "{c f\n   :a 1\n   :bb 2 }", "{c f :a 1 :bb 2 }", "{c f\n   :a 1\n   :bb 2 }"},
      {"nested frame",
       [] {
         Hub_Frame* f = Hub_MakeFrame("outer");
         Hub_SetFrameProperty(f, ":in", Framed(FrameWithInts("inner", {{":x", 1}})));
         Hub_SetFrameProperty(f, ":n", Hub_MakeIntObject(2));
         return f;
       },
       "{c outer\n   :in {c inner\n         :x 1 }\n   :n 2 }",
       "{c outer :in {c inner :x 1 } :n 2 }", "{c outer\n   :in {c inner ... }\n   :n 2 }"},
      {"list property",
       [] {
         Hub_Frame* f = Hub_MakeFrame("f");
         Hub_SetFrameProperty(f, ":l", IntList({1, 2}));
         return f;
       },
       "{c f\n   :l ( 1\n       2 ) }", "{c f :l ( 1 2 ) }", "{c f\n   :l ( 1\n       ... ) }"},
      {"predicates",
       [] {
         Hub_Frame* f = FrameWithInts("f", {{":a", 1}});
         Hub_AddPredicate(f, Hub_MakeFrameOfKind("p", HUB_KIND_PREDICATE));
         return f;
       },
       "{c f\n   :a 1\n   :pred {p p } }", "{c f :a 1 :pred {p p } }",
       "{c f\n   :a 1\n   :pred {p p ... } }"},
      {"string property",
       [] {
         Hub_Frame* f = Hub_MakeFrame("f");
         Hub_SetFrameProperty(f, ":s", Hub_MakeStringObject("a\"b"));
         return f;
       },
       "{c f\n   :s \"a\\\"b\" }", "{c f :s \"a\\\"b\" }", "{c f\n   :s \"a\\\"b\" }"},
  };
  for (const FrameCase& c : cases) {
    SCOPED_TRACE(c.what);
    Hub_Frame* frame = c.make();
    EXPECT_EQ(FrameText(frame, HUB_PRETTY_LAYOUT), c.pretty);
    EXPECT_EQ(FrameText(frame, HUB_READABLE_LAYOUT), c.readable);
    EXPECT_EQ(FrameText(frame, HUB_BRIEF_LAYOUT), c.brief);
    EXPECT_EQ(FrameText(frame, -1), "<failed>");
    EXPECT_TRUE(TakeShown().empty());
    Hub_DestroyFrame(frame);
  }
  EXPECT_EQ(FrameText(nullptr, HUB_READABLE_LAYOUT), "NULLFrame");
  EXPECT_EQ(FrameText(reinterpret_cast<Hub_Frame*>(~uintptr_t{0}), HUB_PRETTY_LAYOUT), "BadFrame");
}

TEST_F(HubFramePrintTest, IllegalPropertyTypesAreSkippedOutsideTheBriefLayout) {
  Hub_Frame* frame = Hub_MakeFrame("f");
  int target = 0;
  Hub_SetFrameProperty(frame, ":p", Hub_MakePointerObject(&target));
  Hub_SetFrameProperty(frame, ":t", Hub_MakeTokenObject("tok"));
  Hub_SetFrameProperty(frame, ":k", Hub_MakeKeywordObject(":kw"));
  Hub_SetFrameProperty(frame, ":n", Hub_MakeIntObject(1));
  Hub_SetFrameProperty(frame, ":nil", nullptr);

  EXPECT_EQ(FrameText(frame, HUB_PRETTY_LAYOUT), "{c f\n   :n 1 }");
  EXPECT_EQ(TakeShown(),
            (std::vector<std::string>{
                "W:Cannot print Hub_Object of type HUB_PTR",
                "W:Found illegal object type HUB_PTR (NULLObject) for key :p while printing "
                "frame properties",
                "W:Found illegal object type HUB_TOKEN (tok) for key :t while printing frame "
                "properties",
                "W:Found illegal object type HUB_KEYWORD (:kw) for key :k while printing frame "
                "properties",
                "W:Skipping key :nil with NULL value while applying function to frame properties",
            }));
  EXPECT_EQ(FrameText(frame, HUB_READABLE_LAYOUT), "{c f :n 1 }");
  TakeShown();
  EXPECT_EQ(FrameText(frame, HUB_BRIEF_LAYOUT),
            "{c f\n   :p NULLObject\n   :t tok\n   :k :kw\n   :n 1 }");
  EXPECT_EQ(TakeShown(),
            (std::vector<std::string>{
                "W:Cannot print Hub_Object of type HUB_PTR",
                "W:Skipping key :nil with NULL value while applying function to frame properties",
            }));
  Hub_DestroyFrame(frame);
}

TEST_F(HubFramePrintTest, AFrameHoldingItselfPrintsToADepthLimit) {
  Hub_Frame* frame = Hub_MakeFrame("self");
  Hub_SetFrameProperty(frame, ":self", Hub_WrapFrameObject(frame, 0));
  for (int layout : {HUB_PRETTY_LAYOUT, HUB_READABLE_LAYOUT, HUB_BRIEF_LAYOUT}) {
    std::string text = FrameText(frame, layout);
    EXPECT_EQ(text.rfind("{c self", 0), 0u);
    EXPECT_NE(text.find("{c self ... }"), std::string::npos) << layout;
    EXPECT_LT(text.size(), 200000u);
  }
  Hub_Object* list = Hub_WrapListObject(nullptr, 0, nullptr, 1);
  Hub_ListObjectAppend(list, list);
  EXPECT_NE(ObjectText(list, HUB_READABLE_LAYOUT).find("( ... )"), std::string::npos);
  Hub_DestroyObject(list);  // without a free function the list leaves its element alone
  Hub_DestroyFrame(frame);
}

TEST_F(HubFramePrintTest, LoggingByVerbosity) {
  Hub_Frame* frame = Reply();
  struct Case {
    int verbosity;
    std::function<void()> log;
    std::vector<std::string> shown;
  };
  const std::string pretty = "L:{c reply\n   :n 3 }\n";
  Hub_Frame* withList = Hub_MakeFrame("l");
  Hub_SetFrameProperty(withList, ":l", IntList({1, 2}));
  const Case cases[] = {
      {3, [&] { Hub_LogFrame(3, frame); }, {pretty}},
      {2, [&] { Hub_LogFrame(3, frame); }, {}},
      {3, [&] { Hub_LogFrameBrief(withList, 3); }, {"L:{c l\n   :l ( 1\n       ... ) }\n"}},
      {4, [&] { Hub_LogFrameBrief(withList, 3); }, {"L:{c l\n   :l ( 1\n       2 ) }\n"}},
      {4, [&] { Hub_LogFrameBrief(frame, 6); }, {pretty}},
      {2, [&] { Hub_LogFrameBrief(frame, 3); }, {}},
      {0, [&] { Hub_WriteFramePretty(frame, stdout); }, {pretty}},
      {0, [&] { Hub_WriteFramePretty(frame, stderr); }, {pretty}},
  };
  for (const Case& c : cases) {
    HubUtil_SetVerbosity(c.verbosity);
    c.log();
    EXPECT_EQ(TakeShown(), c.shown) << "verbosity " << c.verbosity;
  }
  Hub_DestroyFrame(withList);
  Hub_DestroyFrame(frame);
}

// 20 levels of frames under 1024-character keys: every log of it is cut to
// the limit and the depth, and ends with "...".
TEST_F(HubFramePrintTest, LoggedFramesAreBoundedInLengthAndDepth) {
  const std::string longKey = ":" + std::string(1023, 'k');
  Hub_Frame* deep = Hub_MakeFrame("f0");
  Hub_Frame* inner = deep;
  for (int level = 1; level < 20; ++level) {
    Hub_Frame* next = Hub_MakeFrame(("f" + std::to_string(level)).c_str());
    Hub_SetFrameProperty(inner, level < 10 ? ":in" : longKey.c_str(), Hub_MakeFrameObject(next));
    inner = next;
  }
  Hub_Frame* holder = Hub_MakeFrame("holder");
  Hub_Frame* refused = Hub_CopyFrame(deep);
  HubUtil_SetVerbosity(4);
  Hub_LogFrameBrief(deep, 3);
  Hub_LogFrame(2, deep);
  EXPECT_EQ(Hub_AddPredicate(holder, refused), nullptr);  // logs the refused frame
  std::vector<std::string> shown = TakeShown();
  ASSERT_EQ(shown.size(), 4u);
  for (size_t i : {0u, 1u, 3u}) {
    EXPECT_NE(shown[i].find("{c f8 ... }"), std::string::npos) << i;  // below 8 levels
    EXPECT_EQ(shown[i].find("f9"), std::string::npos) << i;
  }
  Hub_SetFrameProperty(inner, longKey.c_str(), Hub_MakeStringObject(std::string(20000, 'v').c_str()));
  Hub_Frame* wide = Hub_MakeFrame("wide");
  for (int i = 0; i < 20; ++i) {
    Hub_SetFrameProperty(wide, (longKey + std::to_string(i)).c_str(), Hub_MakeIntObject(i));
  }
  Hub_LogFrame(2, wide);
  Hub_Object* object = Hub_MakeFrameObject(wide);
  Hub_ByteBuffer* scratch = nullptr;
  std::string display = Hub_ObjectDisplayText(object, &scratch);
  shown = TakeShown();
  ASSERT_EQ(shown.size(), 1u);
  for (const std::string& text : {shown[0], display + "\n"}) {
    EXPECT_EQ(text.size(), (text == display + "\n" ? 0u : 2u) + HUB_LOGGED_TEXT_LIMIT + 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "...\n");
  }
  Hub_DestroyByteBuffer(scratch);
  Hub_DestroyObject(object);
  Hub_DestroyFrame(refused);
  Hub_DestroyFrame(holder);
  Hub_DestroyFrame(deep);
}

TEST_F(HubFramePrintTest, WritingToAFile) {
  testsupport::TempDir dir;
  Hub_Frame* frame = Reply();
  FILE* file = fopen("frame.txt", "w");
  ASSERT_NE(file, nullptr);
  HubUtil_SetVerbosity(0);
  Hub_WriteFramePretty(frame, file);
  fclose(file);
  EXPECT_EQ(testsupport::ReadFile("frame.txt"), "{c reply\n   :n 3 }\n");
  EXPECT_TRUE(TakeShown().empty());
  Hub_DestroyFrame(frame);
}

TEST_F(HubFramePrintTest, DisplayText) {
  Hub_Object* symbol = Hub_MakeSymbolObject("sym");
  EXPECT_STREQ(Hub_ObjectDisplayText(symbol, nullptr), "sym");
  Hub_Object* number = Hub_MakeIntObject(42);
  EXPECT_STREQ(Hub_ObjectDisplayText(number, nullptr), "");
  Hub_ByteBuffer* scratch = nullptr;
  EXPECT_STREQ(Hub_ObjectDisplayText(number, &scratch), "42");
  ASSERT_NE(scratch, nullptr) << "a scratch buffer is made and handed back";
  Hub_Object* list = IntList({1, 2});
  EXPECT_STREQ(Hub_ObjectDisplayText(list, &scratch), "( 1 2 )") << "the scratch is emptied first";
  EXPECT_STREQ(Hub_ObjectDisplayText(nullptr, &scratch), "NULLObject");
  Hub_DestroyByteBuffer(scratch);
  for (Hub_Object* o : {symbol, number, list}) Hub_DestroyObject(o);
}

TEST_F(HubFramePrintTest, PrintingAppendsToAGivenBuffer) {
  Hub_ByteBuffer* output = Hub_MakeTextBuffer(nullptr, 0);
  Hub_ByteBufferAppendText(output, "frame: ");
  Hub_PrintContext* context = Hub_CreatePrintContext(HUB_READABLE_LAYOUT, output);
  Hub_Frame* frame = Reply();
  EXPECT_EQ(Hub_PrintFrame(frame, context), 1);
  EXPECT_STREQ(Hub_PrintContextText(context), "frame: {c reply :n 3 }");
  Hub_DestroyPrintContext(context);
  EXPECT_STREQ(Hub_ByteBufferData(output), "frame: {c reply :n 3 }") << "the caller's buffer stays";
  Hub_DestroyByteBuffer(output);
  Hub_DestroyFrame(frame);
}

}  // namespace
