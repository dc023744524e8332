#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/util/DynamicBuffer.h"
#include "tests/libhub/frames/FramesTestSupport.h"

namespace {

using hubtest::FramesTest;
using HubObjectTest = FramesTest;
using Maker = std::function<Hub_Object*()>;

Hub_Object* IntList(std::vector<int> values) {
  std::vector<Hub_Object*> elements;
  for (int v : values) elements.push_back(Hub_MakeIntObject(v));
  return Hub_MakeListObject(elements.data(), static_cast<int32_t>(elements.size()));
}

Hub_Object* FrameObject(const char* name, int kind) {
  return Hub_MakeFrameObject(Hub_MakeFrameOfKind(name, kind));
}

TEST_F(HubObjectTest, TypeNames) {
  const char* names[] = {"HUB_FREE",        "HUB_FRAME",        "HUB_STRING",     "HUB_INT",
                         "HUB_FLOAT",       "HUB_SYMBOL",       "HUB_LIST",       "HUB_PTR",
                         "HUB_TOPIC_FRAME", "HUB_CLAUSE_FRAME", "HUB_PRED_FRAME", "HUB_BINARY",
                         "HUB_INT_16",      "HUB_INT_32",       "HUB_INT_64",     "HUB_FLOAT_32",
                         "HUB_FLOAT_64",    "HUB_KEYWORD",      "HUB_TAG",        "HUB_TOKEN"};
  for (int code = 0; code < 20; ++code) {
    EXPECT_STREQ(Hub_TypeCodeName(code), names[code]);
    EXPECT_EQ(TakeOneShown(), "");
  }
  for (int code : {20, -1, 21, 32767}) {
    EXPECT_STREQ(Hub_TypeCodeName(code), "UNKNOWN");
    EXPECT_EQ(TakeOneShown(),
              "W:Can't return string for unknown object type " + std::to_string(code));
  }
}

// The value-as matrix: what one type-tested read gives and warns.
TEST_F(HubObjectTest, ValueAsMatrix) {
  struct Case {
    const char* what;
    Maker make;
    int wanted;
    const char* key;
    bool located;
    bool gives;  // a non-null result
    const char* warning;
  };
  const Case cases[] = {
      {"null object", [] { return nullptr; }, HUB_INT, ":n", true, false, ""},
      {"string as string", [] { return Hub_MakeStringObject("hi"); }, HUB_STRING, ":utt", true,
       true, ""},
      {"int as string with key", [] { return Hub_MakeIntObject(5); }, HUB_STRING, ":utt", true,
       false, "W:Object (key :utt) type HUB_INT does not match specified type HUB_STRING"},
      {"int as string without key", [] { return Hub_MakeIntObject(5); }, HUB_STRING, nullptr, true,
       false, "W:Object type HUB_INT does not match specified type HUB_STRING"},
      {"int as string, no location", [] { return Hub_MakeIntObject(5); }, HUB_STRING, ":utt", false,
       false, ""},
      {"clause as clause", [] { return FrameObject("c", HUB_KIND_CLAUSE); }, HUB_CLAUSE_FRAME,
       nullptr, true, true, ""},
      {"topic as clause", [] { return FrameObject("t", HUB_KIND_TOPIC); }, HUB_CLAUSE_FRAME,
       nullptr, true, false,
       "W:Object type HUB_FRAME does not match specified type HUB_CLAUSE_FRAME"},
      {"topic as topic", [] { return FrameObject("t", HUB_KIND_TOPIC); }, HUB_TOPIC_FRAME, nullptr,
       true, true, ""},
      {"predicate as predicate", [] { return FrameObject("p", HUB_KIND_PREDICATE); },
       HUB_PRED_FRAME, ":p", true, true, ""},
      {"predicate as frame", [] { return FrameObject("p", HUB_KIND_PREDICATE); }, HUB_FRAME,
       nullptr, true, true, ""},
      {"string as clause", [] { return Hub_MakeStringObject("s"); }, HUB_CLAUSE_FRAME, ":f", true,
       false, "W:Object (key :f) type HUB_STRING does not match specified type HUB_CLAUSE_FRAME"},
      {"proxy as string",
       [] { return Hub_MakeProxyObject(Hub_CreateBrokerProxy("h", 1, "c", -1, nullptr)); },
       HUB_STRING, nullptr, true, false,
       "W:Object type UNKNOWN does not match specified type HUB_STRING"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Hub_Object* object = c.make();
    TakeShown();
    void* value =
        Hub_ObjectValueAs(object, c.wanted, c.located ? "libhub/frames/tobj" : nullptr, c.key);
    EXPECT_EQ(value != nullptr, c.gives);
    std::vector<std::string> shown = TakeShown();
    if (std::string(c.warning).empty()) {
      EXPECT_TRUE(shown.empty());
    } else {
      ASSERT_FALSE(shown.empty());
      EXPECT_EQ(shown.back(), c.warning);
    }
    Hub_DestroyObject(object);
  }
}

TEST_F(HubObjectTest, ValueAsGivesListsAndArraysThemselves) {
  Hub_Object* list = IntList({1});
  Hub_Object* binary = Hub_MakeBinaryObject("ab", 2);
  Hub_Object* text = Hub_MakeStringObject("x");
  EXPECT_EQ(Hub_ObjectValueAs(list, HUB_LIST, nullptr, nullptr), list);
  EXPECT_EQ(Hub_ObjectValueAs(binary, HUB_BINARY, nullptr, nullptr), binary);
  EXPECT_EQ(Hub_ObjectValueAs(text, HUB_STRING, nullptr, nullptr),
            reinterpret_cast<void*>(text->value));
  Hub_DestroyObject(list);
  Hub_DestroyObject(binary);
  Hub_DestroyObject(text);
}

TEST_F(HubObjectTest, LocatedWarningsShowTheirPlaceFromVerbosityFour) {
  Hub_Object* text = Hub_MakeStringObject("x");
  HubUtil_SetVerbosity(4);
  EXPECT_EQ(Hub_ObjectInt(text), 0);
  EXPECT_EQ(TakeOneShown(),
            "W:libhub/frames/tobj: Object type HUB_STRING does not match specified type HUB_INT");
  HubUtil_SetVerbosity(1);
  EXPECT_EQ(Hub_ObjectFloat(text), 0.0f);
  EXPECT_EQ(TakeOneShown(), "") << "warnings hidden below verbosity 2";
  Hub_DestroyObject(text);
}

TEST_F(HubObjectTest, TypedGettersOfNullAndWrongTypes) {
  EXPECT_EQ(Hub_ObjectInt(nullptr), 0);
  EXPECT_EQ(Hub_ObjectFloat(nullptr), 0.0f);
  EXPECT_EQ(Hub_ObjectFrame(nullptr), nullptr);
  EXPECT_EQ(Hub_ObjectText(nullptr), nullptr);
  EXPECT_EQ(Hub_ObjectSymbolName(nullptr), nullptr);
  EXPECT_EQ(Hub_ObjectTypeCode(nullptr), 0);
  EXPECT_EQ(Hub_ObjectReportedType(nullptr), 0);
  EXPECT_TRUE(TakeShown().empty()) << "null objects read silently";

  Hub_Object* number = Hub_MakeIntObject(-42);
  EXPECT_EQ(Hub_ObjectInt(number), -42);
  EXPECT_EQ(Hub_ObjectText(number), nullptr);
  EXPECT_EQ(TakeOneShown(),
            "W:Can't get value of object -42 (type HUB_INT) because it is not a string or token");
  EXPECT_EQ(Hub_ObjectSymbolName(number), nullptr);
  EXPECT_EQ(
      TakeOneShown(),
      "W:Can't get value of object (type HUB_INT) because it is not a symbol, keyword, or tag");
  Hub_DestroyObject(number);

  Hub_Object* keyword = Hub_MakeKeywordObject(":utt");
  EXPECT_STREQ(Hub_ObjectSymbolName(keyword), ":utt");
  Hub_Object* token = Hub_MakeTokenObject("tok");
  EXPECT_STREQ(Hub_ObjectText(token), "tok");
  Hub_Object* real = Hub_MakeFloatObject(2.5f);
  EXPECT_EQ(Hub_ObjectFloat(real), 2.5f);
  EXPECT_TRUE(TakeShown().empty());
  Hub_DestroyObject(keyword);
  Hub_DestroyObject(token);
  Hub_DestroyObject(real);
}

TEST_F(HubObjectTest, ReportedTypesAndPredicates) {
  struct Case {
    Maker make;
    int code;
    int reported;
  };
  const Case cases[] = {
      {[] { return FrameObject("t", HUB_KIND_TOPIC); }, HUB_FRAME, HUB_TOPIC_FRAME},
      {[] { return FrameObject("c", HUB_KIND_CLAUSE); }, HUB_FRAME, HUB_CLAUSE_FRAME},
      {[] { return FrameObject("p", HUB_KIND_PREDICATE); }, HUB_FRAME, HUB_PRED_FRAME},
      {[] { return Hub_MakeFrameObject(Hub_AllocateFrame()); }, HUB_FRAME, 0},
      {[] { return Hub_MakeStringObject("s"); }, HUB_STRING, HUB_STRING},
      {[] { return Hub_MakeTagObject("t"); }, HUB_TAG, HUB_TAG},
      {[] { return Hub_WrapInt64ArrayObject(nullptr, 0, 1); }, HUB_INT_64, HUB_INT_64},
  };
  for (const Case& c : cases) {
    Hub_Object* object = c.make();
    EXPECT_EQ(Hub_ObjectTypeCode(object), c.code);
    EXPECT_EQ(Hub_ObjectReportedType(object), c.reported);
    Hub_DestroyObject(object);
  }
  Hub_Object* topic = FrameObject("t", HUB_KIND_TOPIC);
  EXPECT_TRUE(Hub_IsFrameObject(topic));
  EXPECT_TRUE(Hub_IsTopicFrameObject(topic));
  EXPECT_FALSE(Hub_IsClauseFrameObject(topic));
  EXPECT_FALSE(Hub_IsStringObject(topic));
  EXPECT_FALSE(Hub_IsFrameObject(nullptr));
  EXPECT_FALSE(Hub_IsProxyObject(nullptr));
  Hub_DestroyObject(topic);
}

TEST_F(HubObjectTest, MakersRefuseNullAndWrongCodes) {
  EXPECT_EQ(Hub_MakeStringObject(nullptr), nullptr);
  EXPECT_EQ(Hub_WrapTokenObject(nullptr, 1), nullptr);
  EXPECT_EQ(Hub_MakeFrameObject(nullptr), nullptr);
  EXPECT_EQ(Hub_MakeProxyObject(nullptr), nullptr);
  EXPECT_TRUE(TakeShown().empty());

  EXPECT_EQ(Hub_MakeSymbolicObject(Hub_Intern("s"), HUB_STRING), nullptr);
  EXPECT_EQ(TakeOneShown(), "W:Can't make a symbolic object of type HUB_STRING");
  Hub_ByteBuffer* buffer = Hub_MakeByteBuffer(nullptr, 0, 0, 1, 1, 1024, 128, 1);
  EXPECT_EQ(Hub_WrapBufferObject(buffer, HUB_STRING, 1), nullptr);
  EXPECT_EQ(TakeOneShown(), "W:Can't wrap a buffer in an object of type HUB_STRING");
  Hub_Object* wrapped = Hub_WrapBufferObject(buffer, HUB_INT_32, 1);
  ASSERT_NE(wrapped, nullptr) << "the refused buffer is still the caller's";
  EXPECT_EQ(Hub_ObjectTypeCode(wrapped), HUB_INT_32);
  EXPECT_EQ(wrapped->composite, 1);
  Hub_DestroyObject(wrapped);

  Hub_Object* symbol = Hub_MakeSymbolicObject(Hub_Intern("s"), HUB_KEYWORD);
  EXPECT_TRUE(Hub_IsKeywordObject(symbol));
  EXPECT_EQ(symbol->managesMemory, 0u);
  Hub_DestroyObject(symbol);
}

// Wrapped storage stays the caller's; the sanitizer build checks that nothing
// of it is freed or reallocated, and that managed storage is freed.
TEST_F(HubObjectTest, WrapMakersLeaveUnmanagedStorageAlone) {
  char text[] = "caller's text";
  Hub_DestroyObject(Hub_WrapStringObject(text, 0));
  EXPECT_STREQ(text, "caller's text");

  float real = 1.5f;
  Hub_DestroyObject(Hub_WrapFloatObject(&real, 0));
  Hub_ReleaseObjectShallow(Hub_WrapFloatObject(&real, 0));
  EXPECT_EQ(real, 1.5f);

  int16_t samples[3] = {1, 2, 3};
  Hub_Object* array = Hub_WrapInt16ArrayObject(samples, 3, 0);
  EXPECT_TRUE(Hub_ArrayObjectIsExpandable(array));
  std::vector<int16_t> more(600, 7);
  ASSERT_EQ(Hub_AppendToArrayObject(array, more.data(), 600), 1);
  int32_t count = 0;
  auto* contents = static_cast<int16_t*>(Hub_GetInt16Array(array, &count));
  EXPECT_EQ(count, 603);
  EXPECT_NE(contents, samples) << "growing copies into storage of its own";
  EXPECT_EQ(contents[2], 3);
  EXPECT_EQ(contents[602], 7);
  Hub_DestroyObject(array);
  EXPECT_EQ(samples[0], 1);

  Hub_Object* elements[2] = {Hub_MakeIntObject(1), Hub_MakeIntObject(2)};
  Hub_Object* list = Hub_WrapListObject(elements, 2, Hub_FreeListElement, 0);
  EXPECT_TRUE(Hub_ListObjectIsExpandable(list));
  ASSERT_EQ(Hub_ListObjectAppend(list, Hub_MakeIntObject(3)), 1);
  EXPECT_EQ(Hub_ListObjectLength(list), 3);
  EXPECT_EQ(Hub_ObjectInt(Hub_ListObjectElement(list, 2)), 3);
  Hub_DestroyObject(list);  // destroys the three elements, not the caller's array

  char* owned = strdup("owned");
  Hub_DestroyObject(Hub_WrapStringObject(owned, 1));
  auto* ownedSamples = static_cast<int32_t*>(malloc(2 * sizeof(int32_t)));
  Hub_DestroyObject(Hub_WrapInt32ArrayObject(ownedSamples, 2, 1));
  auto* ownedFloat = static_cast<float*>(malloc(sizeof(float)));
  Hub_ReleaseObjectShallow(Hub_WrapFloatObject(ownedFloat, 1));
}

TEST_F(HubObjectTest, ListOperations) {
  Hub_Object* list = IntList({10, 20, 30});
  EXPECT_FALSE(Hub_ListObjectIsExpandable(list));
  Hub_Object* extra = Hub_MakeIntObject(40);
  EXPECT_EQ(Hub_ListObjectAppend(list, extra), 0) << "a made list does not grow";
  EXPECT_EQ(Hub_ListObjectLength(list), 3);

  Hub_Object* first = Hub_ListObjectElement(list, 0);
  EXPECT_EQ(Hub_ListObjectSetElement(list, 0, first), 1);
  EXPECT_EQ(Hub_ObjectInt(first), 10) << "storing the same element again keeps it";
  EXPECT_EQ(Hub_ListObjectSetElement(list, 1, extra), 1);  // destroys 20
  EXPECT_EQ(Hub_ObjectInt(Hub_ListObjectElement(list, 1)), 40);
  Hub_Object* stray = Hub_MakeIntObject(5);
  EXPECT_EQ(Hub_ListObjectSetElement(list, 3, stray), 0);
  EXPECT_EQ(Hub_ListObjectSetElement(list, -1, stray), 0);
  EXPECT_EQ(Hub_ListObjectElement(list, 3), nullptr);
  EXPECT_EQ(Hub_ListObjectElementAs(list, 2, HUB_INT), reinterpret_cast<void*>(30));

  int32_t count = -1;
  Hub_Object** elements = Hub_ObjectListElements(list, &count);
  ASSERT_EQ(count, 3);
  EXPECT_EQ(elements[0], first);
  EXPECT_EQ(Hub_ObjectListElements(stray, &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(TakeOneShown(), "W:Object type HUB_INT does not match specified type HUB_LIST");
  EXPECT_EQ(Hub_ListObjectLength(stray), 0);
  EXPECT_TRUE(TakeShown().empty());

  Hub_Object* empty = Hub_MakeListObjectOfArgs(0);
  EXPECT_EQ(Hub_ListObjectLength(empty), 0);
  Hub_Object* args = Hub_MakeListObjectOfArgs(2, Hub_MakeStringObject("a"), stray);
  EXPECT_EQ(Hub_ListObjectLength(args), 2);
  EXPECT_STREQ(Hub_ObjectText(Hub_ListObjectElement(args, 0)), "a");
  Hub_DestroyObject(args);  // destroys stray too
  Hub_DestroyObject(empty);
  Hub_DestroyObject(list);
}

TEST_F(HubObjectTest, ArrayOperations) {
  int64_t values[2] = {1, -2};
  Hub_Object* array = Hub_WrapInt64ArrayObject(values, 2, 0);
  EXPECT_EQ(Hub_ArraySizeOfType(array, HUB_INT_64), 2);
  EXPECT_EQ(Hub_ArraySizeOfType(array, HUB_INT_32), 0);
  EXPECT_EQ(Hub_ObjectLength(array), 16);
  int32_t count = -1;
  EXPECT_EQ(Hub_GetInt32Array(array, &count), nullptr);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(TakeOneShown(), "W:Object type HUB_INT_64 does not match specified type HUB_INT_32");

  Hub_Object* binary = Hub_MakeBinaryObject("abc", 3);
  EXPECT_FALSE(Hub_ArrayObjectIsExpandable(binary));
  EXPECT_EQ(Hub_AppendToArrayObject(binary, "d", 1), 0);
  int32_t size = 0;
  EXPECT_EQ(memcmp(Hub_GetBinary(binary, &size), "abc", 3), 0);
  EXPECT_EQ(size, 3);
  Hub_Object* text = Hub_MakeStringObject("four");
  EXPECT_EQ(Hub_ObjectLength(text), 4);
  EXPECT_EQ(Hub_AppendToArrayObject(text, "x", 1), 0);
  Hub_DestroyObject(text);
  Hub_DestroyObject(binary);
  Hub_DestroyObject(array);

  // A negative element count wraps as an empty array: nothing is read past the
  // caller's storage when it is compared or copied.
  Hub_Object* negative = Hub_WrapBinaryObject(values, -2, 0);
  Hub_Object* empty = Hub_MakeBinaryObject(nullptr, 0);
  EXPECT_EQ(Hub_ObjectLength(negative), 0);
  EXPECT_TRUE(Hub_ObjectsAreEqual(negative, empty));
  Hub_Object* copy = Hub_DeepCopyObject(negative);
  EXPECT_EQ(Hub_ObjectLength(copy), 0);
  Hub_DestroyObject(copy);
  Hub_DestroyObject(empty);
  Hub_DestroyObject(negative);
}

TEST_F(HubObjectTest, DestroyingTwiceLeavesTheRecordAlone) {
  if (Hub_RepositoriesUsePlainAllocation()) GTEST_SKIP() << "records are freed when given back";
  Hub_Object* object = Hub_MakeStringObject("once");
  Hub_DestroyObject(object);
  EXPECT_EQ(object->type, HUB_FREE);
  Hub_DestroyObject(object);
  Hub_ReleaseObjectShallow(object);
  EXPECT_EQ(object->type, HUB_FREE);
  Hub_Object* next = Hub_MakeIntObject(1);
  EXPECT_EQ(next, object) << "the record was given back exactly once";
  Hub_Object* after = Hub_MakeIntObject(2);
  EXPECT_NE(after, object);
  Hub_DestroyObject(next);
  Hub_DestroyObject(after);
}

TEST_F(HubObjectTest, DeepCopiesAreEqualAndIndependent) {
  const std::pair<const char*, Maker> makers[] = {
      {"string", [] { return Hub_MakeStringObject("text"); }},
      {"token", [] { return Hub_MakeTokenObject("tok"); }},
      {"int", [] { return Hub_MakeIntObject(-7); }},
      {"float", [] { return Hub_MakeFloatObject(0.25f); }},
      {"symbol", [] { return Hub_MakeSymbolObject("sym"); }},
      {"keyword", [] { return Hub_MakeKeywordObject(":kw"); }},
      {"tag", [] { return Hub_MakeTagObject("tag"); }},
      {"list", [] { return Hub_MakeListObjectOfArgs(2, Hub_MakeStringObject("a"), IntList({1})); }},
      {"binary", [] { return Hub_MakeBinaryObject("abc", 3); }},
      {"empty binary", [] { return Hub_MakeBinaryObject(nullptr, 0); }},
      {"int16",
       [] {
         auto* v = static_cast<int16_t*>(malloc(4));
         v[0] = 1;
         v[1] = 2;
         return Hub_WrapInt16ArrayObject(v, 2, 1);
       }},
      {"float64", [] { return Hub_WrapFloat64ArrayObject(nullptr, 0, 1); }},
      {"frame",
       [] {
         return Hub_MakeFrameObject(hubtest::FrameWithInts("f", {{":x", 1}}));
       }},
      {"proxy",
       [] {
         return Hub_MakeProxyObject(
             Hub_CreateBrokerProxy("host", 12, "call", HUB_STRING, Hub_MakeStringObject("in")));
       }},
  };
  for (const auto& [what, make] : makers) {
    SCOPED_TRACE(what);
    Hub_Object* original = make();
    Hub_Object* copy = Hub_DeepCopyObject(original);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, original);
    EXPECT_EQ(copy->type, original->type);
    EXPECT_EQ(copy->managesMemory, original->type == HUB_INT || Hub_IsSymbolObject(original) ||
                                           Hub_IsKeywordObject(original) ||
                                           Hub_IsTagObject(original)
                                       ? 0u
                                       : 1u);
    EXPECT_TRUE(Hub_ObjectsAreEqual(copy, original));
    if (original->type != HUB_INT && !Hub_IsSymbolObject(original) &&
        !Hub_IsKeywordObject(original) && !Hub_IsTagObject(original) && original->value &&
        Hub_ObjectLength(original) > 0) {
      EXPECT_NE(copy->value, original->value);
    }
    Hub_DestroyObject(original);
    Hub_Object* again = Hub_DeepCopyObject(copy);
    EXPECT_TRUE(Hub_ObjectsAreEqual(again, copy));
    Hub_DestroyObject(again);
    Hub_DestroyObject(copy);
  }
  EXPECT_TRUE(TakeShown().empty());
  int target = 0;
  Hub_Object* pointer = Hub_MakePointerObject(&target);
  Hub_Object* pointerCopy = Hub_DeepCopyObject(pointer);
  EXPECT_EQ(Hub_ObjectPointer(pointerCopy), &target);
  EXPECT_FALSE(Hub_ObjectsAreEqual(pointer, pointerCopy)) << "pointers equal only themselves";
  EXPECT_TRUE(Hub_ObjectsAreEqual(pointer, pointer));
  Hub_DestroyObject(pointer);
  Hub_DestroyObject(pointerCopy);
  EXPECT_EQ(Hub_DeepCopyObject(nullptr), nullptr);
}

TEST_F(HubObjectTest, DeepCopyOfAListSharesNothing) {
  Hub_Object* strings[2] = {Hub_MakeStringObject("one"), Hub_MakeStringObject("two")};
  for (int manages : {0, 1}) {
    SCOPED_TRACE(manages);
    Hub_Object** storage = strings;
    if (manages) {
      storage = static_cast<Hub_Object**>(malloc(sizeof strings));
      storage[0] = Hub_MakeStringObject("one");
      storage[1] = Hub_MakeStringObject("two");
    }
    // Without a free function of its own the wrapped list leaves its elements alone.
    Hub_Object* list =
        Hub_WrapListObject(storage, 2, manages ? Hub_FreeListElement : nullptr, manages);
    Hub_Object* copy = Hub_DeepCopyObject(list);
    ASSERT_EQ(Hub_ListObjectLength(copy), 2);
    for (int i = 0; i < 2; ++i) {
      EXPECT_NE(Hub_ListObjectElement(copy, i), storage[i]);
      EXPECT_NE(Hub_ObjectText(Hub_ListObjectElement(copy, i)), Hub_ObjectText(storage[i]));
    }
    Hub_DestroyObject(list);
    EXPECT_STREQ(Hub_ObjectText(Hub_ListObjectElement(copy, 0)), "one");
    EXPECT_STREQ(Hub_ObjectText(Hub_ListObjectElement(copy, 1)), "two");
    EXPECT_TRUE(Hub_ListObjectAppend(copy, Hub_MakeIntObject(3)));
    Hub_DestroyObject(copy);
  }
  Hub_DestroyObject(strings[0]);
  Hub_DestroyObject(strings[1]);
}

TEST_F(HubObjectTest, ComparisonTable) {
  auto proxy = [](int port, Hub_Object* inside) {
    return [port, inside] {
      return Hub_MakeProxyObject(
          Hub_CreateBrokerProxy("h", port, "c", HUB_INT_16, Hub_DeepCopyObject(inside)));
    };
  };
  static Hub_Object* const kInside = nullptr;
  struct Case {
    const char* what;
    Maker a;
    Maker b;
    bool equal;
    bool equalIgnoringCase;
    bool matches;  // a matches the pattern b
  };
  const Case cases[] = {
      {"same strings", [] { return Hub_MakeStringObject("abc"); },
       [] { return Hub_MakeStringObject("abc"); }, true, true, true},
      {"strings in other case", [] { return Hub_MakeStringObject("abc"); },
       [] { return Hub_MakeStringObject("ABC"); }, false, true, true},
      {"token and string", [] { return Hub_MakeTokenObject("abc"); },
       [] { return Hub_MakeStringObject("abc"); }, false, false, false},
      {"ints", [] { return Hub_MakeIntObject(3); }, [] { return Hub_MakeIntObject(3); }, true, true,
       true},
      {"int and float", [] { return Hub_MakeIntObject(3); }, [] { return Hub_MakeFloatObject(3); },
       false, false, false},
      {"floats", [] { return Hub_MakeFloatObject(1.5f); }, [] { return Hub_MakeFloatObject(1.5f); },
       true, true, true},
      {"symbols", [] { return Hub_MakeSymbolObject("a"); },
       [] { return Hub_MakeSymbolObject("a"); }, true, true, true},
      {"symbols in other case", [] { return Hub_MakeSymbolObject("a"); },
       [] { return Hub_MakeSymbolObject("A"); }, false, false, false},
      {"keyword and symbol", [] { return Hub_MakeKeywordObject("a"); },
       [] { return Hub_MakeSymbolObject("a"); }, false, false, false},
      {"lists in other order",
       [] {
         return IntList({1, 2, 2});
       },
       [] {
         return IntList({2, 1, 2});
       },
       true, true, true},
      {"longer candidate",
       [] {
         return IntList({1, 2});
       },
       [] { return IntList({2}); }, false, false, true},
      {"longer pattern", [] { return IntList({2}); },
       [] {
         return IntList({1, 2});
       },
       false, false, false},
      {"elements pair once",
       [] {
         return IntList({1, 2});
       },
       [] {
         return IntList({1, 1});
       },
       false, false, false},
      {"empty lists", [] { return IntList({}); }, [] { return IntList({}); }, true, true, true},
      {"binary", [] { return Hub_MakeBinaryObject("abc", 3); },
       [] { return Hub_MakeBinaryObject("abc", 3); }, true, true, true},
      {"other binary", [] { return Hub_MakeBinaryObject("abc", 3); },
       [] { return Hub_MakeBinaryObject("abd", 3); }, false, false, false},
      {"shorter binary", [] { return Hub_MakeBinaryObject("abc", 3); },
       [] { return Hub_MakeBinaryObject("ab", 2); }, false, false, false},
      {"proxies", proxy(5, kInside), proxy(5, kInside), true, true, true},
      {"proxies on other ports", proxy(5, kInside), proxy(6, kInside), false, false, false},
      {"null and int", [] { return nullptr; }, [] { return Hub_MakeIntObject(0); }, false, false,
       false},
      {"frames",
       [] {
         return Hub_MakeFrameObject(hubtest::FrameWithInts("a", {{":x", 1}}));
       },
       [] {
         return Hub_MakeFrameObject(hubtest::FrameWithInts("a", {{":x", 1}}));
       },
       true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Hub_Object* a = c.a();
    Hub_Object* b = c.b();
    EXPECT_EQ(Hub_ObjectsAreEqual(a, b), c.equal);
    EXPECT_EQ(Hub_ObjectsAreEqualIgnoringCase(a, b), c.equalIgnoringCase);
    EXPECT_EQ(Hub_ObjectMatchesPattern(a, b), c.matches);
    Hub_DestroyObject(a);
    Hub_DestroyObject(b);
  }
  EXPECT_TRUE(Hub_ObjectsAreEqual(nullptr, nullptr));
}

TEST_F(HubObjectTest, ProxyComparisonIsNullSafe) {
  Hub_Object* bare = Hub_MakeProxyObject(Hub_CreateBrokerProxy(nullptr, 1, nullptr, -1, nullptr));
  Hub_Object* named = Hub_MakeProxyObject(Hub_CreateBrokerProxy("h", 1, "c", -1, nullptr));
  Hub_Object* carrying =
      Hub_MakeProxyObject(Hub_CreateBrokerProxy("h", 1, "c", -1, Hub_MakeIntObject(1)));
  Hub_Object* bareCopy = Hub_DeepCopyObject(bare);
  EXPECT_TRUE(Hub_ObjectsAreEqual(bare, bareCopy));
  EXPECT_FALSE(Hub_ObjectsAreEqual(bare, named));
  EXPECT_FALSE(Hub_ObjectsAreEqual(named, carrying));
  Hub_Object* empty = Hub_WrapProxyObject(Hub_CreateBrokerProxy("h", 1, "c", -1, nullptr), 1);
  Hub_DestroyBrokerProxy(Hub_ObjectProxy(empty));
  empty->value = 0;  // an object whose proxy is gone
  EXPECT_FALSE(Hub_ObjectsAreEqual(empty, named));
  EXPECT_FALSE(Hub_ObjectsAreEqual(named, empty));
  EXPECT_EQ(Hub_ObjectDataType(carrying), -1);
  EXPECT_EQ(Hub_ObjectInt(Hub_ObjectProxiedValue(carrying)), 1);
  EXPECT_EQ(Hub_ObjectProxiedValue(named), named);
  EXPECT_EQ(Hub_ObjectDataType(bareCopy), -1);
  EXPECT_EQ(Hub_ObjectInBroker(named), nullptr);
  for (Hub_Object* o : {bare, named, carrying, bareCopy, empty}) Hub_DestroyObject(o);
}

TEST(HubObjectUninitialisedTest, MakingObjectsAndFramesBeforeStaticsIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Hub_MakeIntObject(1), testing::ExitedWithCode(255),
              "Hub_Object memory not initialized; call Hub_InitializeStatics\\(\\)");
  EXPECT_EXIT(Hub_AllocateFrame(), testing::ExitedWithCode(255),
              "Frame memory not initialized; call Hub_InitializeStatics\\(\\)");
}

}  // namespace
