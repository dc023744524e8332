// The element codec: golden bytes derived by hand from the wire layout, both
// ways; refusals; truncated and hostile input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "libhub/frames/BrokerProxy.h"
#include "libhub/io/Xdr.h"
#include "tests/libhub/io/IoTestSupport.h"

namespace hubtest {
namespace {

using XdrTest = FramesTest;

std::string Encoded(int32_t type, uintptr_t value, int32_t size) {
  int32_t length = -1;
  char* bytes = HubIO_EncodeElement(type, value, size, &length);
  if (!bytes) {
    EXPECT_EQ(length, 0);
    return "<failed>";
  }
  std::string text = Hex(bytes, length);
  free(bytes);
  return text;
}

std::string EncodedFrame(const Hub_Frame* frame) {
  return Encoded(HUB_FRAME, reinterpret_cast<uintptr_t>(frame), 1);
}

uintptr_t Word(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// A raw element value and what frees it after the test.
struct Raw {
  int32_t type;
  uintptr_t value;
  int32_t size;
  std::function<void()> release = [] {};
};

TEST_F(XdrTest, HandshakeFrameHasTheGoldenBytesBothWays) {
  Hub_Frame* frame = FrameWithInts("handshake", {{":conn_type", 1}});
  int32_t length = 0;
  char* bytes = HubIO_EncodeFrame(frame, &length);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(length, 56);
  EXPECT_EQ(Hex(bytes, length), kHandshakeHex);
  free(bytes);

  std::string wire = Unhex(kHandshakeHex);
  int32_t type = 0, size = 0;
  uintptr_t value = 0;
  ASSERT_EQ(
      HubIO_DecodeElement(wire.data(), static_cast<int32_t>(wire.size()), &type, &value, &size), 1);
  EXPECT_EQ(type, HUB_FRAME);
  EXPECT_EQ(size, 1);
  auto* decoded = reinterpret_cast<Hub_Frame*>(value);
  EXPECT_STREQ(Hub_FrameName(decoded), "handshake");
  EXPECT_EQ(Hub_FrameKind(decoded), HUB_KIND_CLAUSE);
  EXPECT_EQ(Hub_GetFrameInt(decoded, ":conn_type"), 1);
  EXPECT_EQ(Hub_FramePropertyCount(decoded), 1);
  EXPECT_TRUE(Hub_FramesAreEqual(decoded, frame));
  Hub_DestroyFrame(decoded);
  Hub_DestroyFrame(frame);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(XdrTest, EveryTypeHasItsWireBytesAndDecodesToTheSameBytes) {
  static float oneAndAHalf = 1.5f, minusTwo = -2.0f;
  static int16_t shorts[] = {1, -1, 258};
  static int32_t ints[] = {7, -7};
  static float floats[] = {0.5f};
  static double doubles[] = {1.0, -2.5};
  static const char threeBytes[] = {1, 2, 3};
  struct Case {
    const char* what;
    std::function<Raw()> make;
    const char* hex;
  } const cases[] = {
      {"empty string",
       [] {
         return Raw{HUB_STRING, Word(""), 0};
       },
       "00000002 00000000"},
      {"string of 1",
       [] {
         return Raw{HUB_STRING, Word("a"), 1};
       },
       "00000002 00000001 61000000"},
      {"string of 3",
       [] {
         return Raw{HUB_STRING, Word("abc"), 3};
       },
       "00000002 00000003 61626300"},
      {"string of 4",
       [] {
         return Raw{HUB_STRING, Word("abcd"), 4};
       },
       "00000002 00000004 61626364"},
      {"string of 5",
       [] {
         return Raw{HUB_STRING, Word("abcde"), 5};
       },
       "00000002 00000005 61626364 65000000"},
      {"token",
       [] {
         return Raw{HUB_TOKEN, Word("ab"), 2};
       },
       "00000013 00000002 61620000"},
      {"negative int",
       [] {
         return Raw{HUB_INT, static_cast<uintptr_t>(-2), 1};
       },
       "00000003 fffffffe"},
      {"int byte order",
       [] {
         return Raw{HUB_INT, 0x01020304, 1};
       },
       "00000003 01020304"},
      {"float",
       [] {
         return Raw{HUB_FLOAT, Word(&oneAndAHalf), 1};
       },
       "00000004 3fc00000"},
      {"negative float",
       [] {
         return Raw{HUB_FLOAT, Word(&minusTwo), 1};
       },
       "00000004 c0000000"},
      {"symbol",
       [] {
         return Raw{HUB_SYMBOL, Word(Hub_Intern("x")), 1};
       },
       "00000005 00000001 78000000"},
      {"keyword",
       [] {
         return Raw{HUB_KEYWORD, Word(Hub_Intern(":k")), 1};
       },
       "00000011 00000002 3a6b0000"},
      {"tag",
       [] {
         return Raw{HUB_TAG, Word(Hub_Intern("tag")), 1};
       },
       "00000012 00000003 74616700"},
      {"binary",
       [] {
         return Raw{HUB_BINARY, Word(threeBytes), 3};
       },
       "0000000b 00000003 01020300"},
      {"empty binary",
       [] {
         return Raw{HUB_BINARY, 0, 0};
       },
       "0000000b 00000000"},
      {"16-bit array",
       [] {
         return Raw{HUB_INT_16, Word(shorts), 3};
       },
       "0000000c 00000003 00000001 ffffffff 00000102"},
      {"32-bit array",
       [] {
         return Raw{HUB_INT_32, Word(ints), 2};
       },
       "0000000d 00000002 00000007 fffffff9"},
      {"empty 32-bit array",
       [] {
         return Raw{HUB_INT_32, 0, 0};
       },
       "0000000d 00000000"},
      {"float array",
       [] {
         return Raw{HUB_FLOAT_32, Word(floats), 1};
       },
       "0000000f 00000001 3f000000"},
      {"double array",
       [] {
         return Raw{HUB_FLOAT_64, Word(doubles), 2};
       },
       "00000010 00000002 3ff00000 00000000 c0040000 00000000"},
      {"broker proxy",
       [] {
         Hub_BrokerProxy* proxy = Hub_CreateBrokerProxy("h", 80, "c1", HUB_INT_16, nullptr);
         return Raw{HUB_PROXY, Word(proxy), 1, [proxy] { Hub_DestroyBrokerProxy(proxy); }};
       },
       "00000014 00000002 63310000 00000001 68000000 00000050 0000000c"},
      {"list",
       [] {
         auto* members = new Hub_Object* [2] { Hub_MakeIntObject(1), Hub_MakeStringObject("s") };
         return Raw{HUB_LIST, Word(members), 2, [members] {
                      Hub_DestroyObject(members[0]);
                      Hub_DestroyObject(members[1]);
                      delete[] members;
                    }};
       },
       "00000006 00000002 00000003 00000001 00000002 00000001 73000000"},
      {"empty list",
       [] {
         return Raw{HUB_LIST, 0, 0};
       },
       "00000006 00000000"},
      {"list holding a frame",
       [] {
         auto* members = new Hub_Object* [1] {
           Hub_MakeFrameObject(Hub_MakeFrameOfKind("p", HUB_KIND_PREDICATE))
         };
         return Raw{HUB_LIST, Word(members), 1, [members] {
                      Hub_DestroyObject(members[0]);
                      delete[] members;
                    }};
       },
       "00000006 00000001 00000001 00000003 00000001 70000000 00000000 00000000"},
      {"empty topic frame without a name",
       [] {
         Hub_Frame* frame = Hub_MakeFrameOfKind(nullptr, HUB_KIND_TOPIC);
         return Raw{HUB_FRAME, Word(frame), 1, [frame] { Hub_DestroyFrame(frame); }};
       },
       "00000001 00000001 00000000 00000000 00000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Raw raw = c.make();
    EXPECT_EQ(Encoded(raw.type, raw.value, raw.size), c.hex);
    raw.release();

    std::string wire = Unhex(c.hex);
    int32_t type = 0, size = 0;
    uintptr_t value = 0;
    ASSERT_EQ(
        HubIO_DecodeElement(wire.data(), static_cast<int32_t>(wire.size()), &type, &value, &size),
        1);
    EXPECT_EQ(type, raw.type);
    EXPECT_EQ(size, raw.size);
    EXPECT_EQ(Encoded(type, value, size), c.hex);
    // The decoded value is taken over by an object, which frees it.
    Hub_DestroyObject(HubIO_MakeElementObject(type, value, size));
  }
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(XdrTest, FrameLayout) {
  struct Case {
    const char* what;
    std::function<Hub_Frame*()> make;
    const char* hex;
  } const cases[] = {
      {"a property without a value is neither written nor counted",
       [] {
         Hub_Frame* frame = Hub_MakeFrame("f");
         Hub_SetFrameProperty(frame, ":a", nullptr);
         Hub_SetFrameProperty(frame, ":b", Hub_MakeIntObject(5));
         return frame;
       },
       "00000001 00000002 00000001 66000000 00000001 00000002 3a620000 00000003 00000005 "
       "00000000"},
      {"a nested frame goes by its type code, not its kind",
       [] {
         Hub_Frame* frame = Hub_MakeFrame("o");
         Hub_SetFrameProperty(frame, ":t",
                              Hub_MakeFrameObject(Hub_MakeFrameOfKind("t", HUB_KIND_TOPIC)));
         return frame;
       },
       "00000001 00000002 00000001 6f000000 00000001 00000002 3a740000 00000001 00000001 "
       "00000001 74000000 00000000 00000000 00000000"},
      {"a predicate follows the properties",
       [] {
         Hub_Frame* frame = Hub_MakeFrame("q");
         Hub_Frame* predicate = Hub_MakeFrameOfKind("p", HUB_KIND_PREDICATE);
         Hub_SetFrameProperty(predicate, ":x", Hub_MakeIntObject(1));
         Hub_AddPredicate(frame, predicate);
         return frame;
       },
       "00000001 00000002 00000001 71000000 00000000 00000001 00000001 00000003 00000001 "
       "70000000 00000001 00000002 3a780000 00000003 00000001 00000000"},
      {"a frame without a name is written with an empty name",
       [] { return Hub_MakeFrameOfKind(nullptr, HUB_KIND_CLAUSE); },
       "00000001 00000002 00000000 00000000 00000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Hub_Frame* frame = c.make();
    EXPECT_EQ(EncodedFrame(frame), c.hex);
    std::string wire = Unhex(c.hex);
    int32_t type = 0, size = 0;
    uintptr_t value = 0;
    ASSERT_EQ(
        HubIO_DecodeElement(wire.data(), static_cast<int32_t>(wire.size()), &type, &value, &size),
        1);
    auto* decoded = reinterpret_cast<Hub_Frame*>(value);
    EXPECT_EQ(Hub_FrameKind(decoded), Hub_FrameKind(frame));
    EXPECT_EQ(EncodedFrame(decoded), c.hex);
    Hub_DestroyFrame(decoded);
    Hub_DestroyFrame(frame);
  }
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(XdrTest, EncodingRefusals) {
  static int64_t longs[] = {1};
  struct Case {
    const char* what;
    std::function<Raw()> make;
    std::vector<std::string> warnings;
  } const cases[] = {
      {"free",
       [] {
         return Raw{HUB_FREE, 0, 1};
       },
       {"W:Can't encode XDR element of type HUB_FREE"}},
      {"64-bit array",
       [] {
         return Raw{HUB_INT_64, Word(longs), 1};
       },
       {"W:Can't XDR encode type HUB_INT_64"}},
      {"code 21",
       [] {
         return Raw{21, 0, 1};
       },
       {"W:Can't return string for unknown object type 21", "W:Can't XDR encode type UNKNOWN"}},
      {"negative code",
       [] {
         return Raw{-3, 0, 1};
       },
       {"W:Can't return string for unknown object type -3", "W:Can't XDR encode type UNKNOWN"}},
      {"pointer",
       [] {
         return Raw{HUB_PTR, Word(longs), 1};
       },
       {}},
      {"frame-kind code",
       [] {
         return Raw{HUB_CLAUSE_FRAME, 0, 1};
       },
       {}},
      {"null string",
       [] {
         return Raw{HUB_STRING, 0, 1};
       },
       {}},
      {"null frame",
       [] {
         return Raw{HUB_FRAME, 0, 1};
       },
       {}},
      {"null symbol",
       [] {
         return Raw{HUB_KEYWORD, 0, 1};
       },
       {}},
      {"null float",
       [] {
         return Raw{HUB_FLOAT, 0, 1};
       },
       {}},
      {"null proxy",
       [] {
         return Raw{HUB_PROXY, 0, 1};
       },
       {}},
      {"null list with members",
       [] {
         return Raw{HUB_LIST, 0, 2};
       },
       {}},
      {"null binary with bytes",
       [] {
         return Raw{HUB_BINARY, 0, 3};
       },
       {}},
      {"null array with a count",
       [] {
         return Raw{HUB_FLOAT_64, 0, 1};
       },
       {}},
      {"proxy without a host",
       [] {
         Hub_BrokerProxy* proxy = Hub_CreateBrokerProxy(nullptr, 1, "c", -1, nullptr);
         return Raw{HUB_PROXY, Word(proxy), 1, [proxy] { Hub_DestroyBrokerProxy(proxy); }};
       },
       {}},
      {"list holding a pointer",
       [] {
         auto* members = new Hub_Object* [2] { Hub_MakeIntObject(1), Hub_MakePointerObject(longs) };
         return Raw{HUB_LIST, Word(members), 2, [members] {
                      Hub_DestroyObject(members[0]);
                      Hub_DestroyObject(members[1]);
                      delete[] members;
                    }};
       },
       {}},
      {"frame holding a 64-bit array",
       [] {
         Hub_Frame* frame = Hub_MakeFrame("f");
         Hub_SetFrameProperty(frame, ":a", Hub_MakeIntObject(1));
         Hub_SetFrameProperty(frame, ":l", Hub_WrapInt64ArrayObject(longs, 1, 0));
         return Raw{HUB_FRAME, Word(frame), 1, [frame] { Hub_DestroyFrame(frame); }};
       },
       {"W:Can't XDR encode type HUB_INT_64"}},
      {"predicate that is a pointer",
       [] {
         Hub_Frame* frame = Hub_MakeFrame("f");
         Hub_AppendPredicateObject(frame, Hub_MakePointerObject(longs));
         return Raw{HUB_FRAME, Word(frame), 1, [frame] { Hub_DestroyFrame(frame); }};
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Raw raw = c.make();
    EXPECT_EQ(Encoded(raw.type, raw.value, raw.size), "<failed>");
    raw.release();
    EXPECT_EQ(TakeShown(), c.warnings);
  }
}

// A frame of kind clause named by `name` with no properties or predicates.
std::string NamedFrameWire(size_t nameLength) {
  std::string wire = Unhex("00000001 00000002");
  uint32_t n = static_cast<uint32_t>(nameLength);
  wire += Unhex(Hex(std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                                static_cast<char>(n >> 8), static_cast<char>(n)}));
  wire += std::string(nameLength, 'n') + std::string((4 - nameLength % 4) % 4, '\0');
  return wire + Unhex("00000000 00000000");
}

int Decodes(const std::string& wire) {
  int32_t type = -1, size = -1;
  uintptr_t value = 1;
  int ok =
      HubIO_DecodeElement(wire.data(), static_cast<int32_t>(wire.size()), &type, &value, &size);
  if (ok) {
    HubIO_FreeElement(type, value, size);
  } else {
    EXPECT_EQ(type, 0);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(size, 0);
  }
  return ok;
}

TEST_F(XdrTest, DecodingRefusesBadInputAndFreesWhatItMade) {
  struct Case {
    const char* what;
    const char* hex;
    const char* firstWarning;  // null: none
  } const cases[] = {
      {"free", "00000000 00000000", "W:Can't XDR decode type HUB_FREE"},
      {"pointer", "00000007 00000000", "W:Can't XDR decode type HUB_PTR"},
      {"frame-kind code", "00000009 00000002", "W:Can't XDR decode type HUB_CLAUSE_FRAME"},
      {"64-bit array", "0000000e 00000000", "W:Can't XDR decode type HUB_INT_64"},
      {"code 21", "00000015 00000000", "W:Can't return string for unknown object type 21"},
      {"negative code", "ffffffff", "W:Can't return string for unknown object type -1"},
      {"frame kind 4", "00000001 00000004 00000000 00000000 00000000",
       "W:Found invalid frame type 4 while trying to make frame\n"},
      {"frame kind 0", "00000001 00000000 00000000 00000000 00000000",
       "W:Found invalid frame type 0 while trying to make frame\n"},
      {"a clause as predicate",
       "00000001 00000002 00000001 71000000 00000000 00000001 00000001 00000002 00000001 "
       "70000000 00000000 00000000",
       "W:Not add non-predicate frame to frame predicate list"},
      {"an int as predicate",
       "00000001 00000002 00000001 71000000 00000000 00000001 00000003 00000005", nullptr},
      {"an empty key", "00000001 00000002 00000000 00000001 00000000 00000003 00000001 00000000",
       "W:Can't set frame property with an empty key"},
      {"a property value that fails after good ones",
       "00000001 00000002 00000000 00000002 00000002 3a610000 00000002 00000001 73000000 "
       "00000002 3a620000 00000007 00000000 00000000",
       "W:Can't XDR decode type HUB_PTR"},
      {"a list member that fails after a good one",
       "00000006 00000002 00000002 00000001 73000000 00000007", "W:Can't XDR decode type HUB_PTR"},
      {"string longer than what is left", "00000002 00000005 61626364", nullptr},
      {"string length near the limit", "00000002 7fffffff 61626364", nullptr},
      {"string length above 2^31", "00000002 fffffffe 61626364", nullptr},
      {"string without its padding", "00000002 00000001 61", nullptr},
      {"binary count huge", "0000000b ffffffff 00000000", nullptr},
      {"16-bit array one short", "0000000c 00000002 00000001", nullptr},
      {"double array one short", "00000010 00000001 3ff00000", nullptr},
      {"32-bit array count huge", "0000000d 3fffffff 00000001", nullptr},
      {"list count huge", "00000006 7fffffff 00000003 00000001", nullptr},
      {"list count negative", "00000006 ffffffff", nullptr},
      {"property count huge", "00000001 00000002 00000000 7fffffff 00000000", nullptr},
      {"property count negative", "00000001 00000002 00000000 ffffffff 00000000", nullptr},
      {"predicate count negative", "00000001 00000002 00000000 00000000 ffffffff", nullptr},
      {"proxy without host", "00000014 00000002 63310000", nullptr},
      {"proxy without type", "00000014 00000000 00000000 00000050", nullptr},
      {"float cut short", "00000004 3fc0", nullptr},
      {"no bytes", "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Decodes(Unhex(c.hex)), 0);
    std::vector<std::string> shown = TakeShown();
    if (c.firstWarning) {
      ASSERT_FALSE(shown.empty());
      EXPECT_EQ(shown[0], c.firstWarning);
    } else {
      EXPECT_TRUE(shown.empty()) << shown[0];
    }
  }
}

TEST_F(XdrTest, NamesHoldUpTo1024Characters) {
  struct Case {
    const char* what;
    std::function<std::string(size_t)> wire;
  } const cases[] = {
      {"frame name", NamedFrameWire},
      {"property key",
       [](size_t n) {
         std::string key = NamedFrameWire(n).substr(8);  // the name's length and bytes
         key.resize(key.size() - 8);
         return Unhex("00000001 00000002 00000000 00000001") + key +
                Unhex("00000003 00000001 00000000");
       }},
      {"symbol",
       [](size_t n) {
         std::string name = NamedFrameWire(n).substr(8);
         name.resize(name.size() - 8);
         return Unhex("00000005") + name;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Decodes(c.wire(1)), 1);
    EXPECT_EQ(Decodes(c.wire(1024)), 1);
    EXPECT_EQ(Decodes(c.wire(1025)), 0);
  }
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(XdrTest, NestingDeeperThan100LevelsIsRefused) {
  auto nestedLists = [](int levels) {
    std::string wire;
    for (int i = 1; i < levels; ++i) wire += Unhex("00000006 00000001");
    return wire + Unhex("00000006 00000000");
  };
  EXPECT_EQ(Decodes(nestedLists(100)), 1);
  EXPECT_EQ(Decodes(nestedLists(101)), 0);
  EXPECT_EQ(Decodes(nestedLists(5000)), 0);
  EXPECT_TRUE(TakeShown().empty());
}

// A frame holding a value of every encodable type.
Hub_Frame* RichFrame() {
  static int16_t shorts[] = {1, 2};
  static int32_t ints[] = {3};
  static float floats[] = {4.5f};
  static double doubles[] = {6.25};
  Hub_Frame* frame = Hub_MakeFrame("rich");
  Hub_SetFrameProperty(frame, ":s", Hub_MakeStringObject("text"));
  Hub_SetFrameProperty(frame, ":k", Hub_MakeTokenObject("tok"));
  Hub_SetFrameProperty(frame, ":i", Hub_MakeIntObject(-9));
  Hub_SetFrameProperty(frame, ":f", Hub_MakeFloatObject(0.25f));
  Hub_SetFrameProperty(frame, ":y", Hub_MakeSymbolObject("sym"));
  Hub_SetFrameProperty(frame, ":w", Hub_MakeKeywordObject(":kw"));
  Hub_SetFrameProperty(frame, ":t", Hub_MakeTagObject("tg"));
  Hub_SetFrameProperty(frame, ":b", Hub_MakeBinaryObject("\x01\x02\x03\x04\x05", 5));
  Hub_SetFrameProperty(frame, ":a16", Hub_WrapInt16ArrayObject(shorts, 2, 0));
  Hub_SetFrameProperty(frame, ":a32", Hub_WrapInt32ArrayObject(ints, 1, 0));
  Hub_SetFrameProperty(frame, ":f32", Hub_WrapFloat32ArrayObject(floats, 1, 0));
  Hub_SetFrameProperty(frame, ":f64", Hub_WrapFloat64ArrayObject(doubles, 1, 0));
  Hub_SetFrameProperty(frame, ":p",
                       Hub_MakeProxyObject(Hub_CreateBrokerProxy("host", 7, "call", 12, nullptr)));
  Hub_SetFrameProperty(frame, ":l",
                       Hub_MakeListObjectOfArgs(2, Hub_MakeIntObject(1),
                                                Hub_MakeFrameObject(Hub_MakeFrame("inner"))));
  Hub_AddPredicate(frame, Hub_MakeFrameOfKind("pred", HUB_KIND_PREDICATE));
  return frame;
}

TEST_F(XdrTest, EveryTruncationFailsCleanly) {
  Hub_Frame* frame = RichFrame();
  int32_t length = 0;
  char* bytes = HubIO_EncodeFrame(frame, &length);
  ASSERT_NE(bytes, nullptr);
  std::string wire(bytes, length);
  free(bytes);
  EXPECT_EQ(length % 4, 0);
  for (int32_t cut = 0; cut < length; ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(Decodes(wire.substr(0, cut)), 0);
  }
  int32_t type = 0, size = 0;
  uintptr_t value = 0;
  ASSERT_EQ(HubIO_DecodeElement(wire.data(), length, &type, &value, &size), 1);
  auto* decoded = reinterpret_cast<Hub_Frame*>(value);
  EXPECT_TRUE(Hub_FramesAreEqual(decoded, frame));
  EXPECT_TRUE(Hub_FramesAreEqual(frame, decoded));
  EXPECT_EQ(EncodedFrame(decoded), Hex(wire));
  Hub_DestroyFrame(decoded);
  Hub_DestroyFrame(frame);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(XdrTest, DecodeObjectReadsOneElementFromAStream) {
  std::string wire = Unhex(kHandshakeHex) + Unhex("00000003 0000002a");
  XDR stream;
  xdrmem_create(&stream, wire.data(), static_cast<u_int>(wire.size()), XDR_DECODE);
  Hub_Object* frame = HubIO_DecodeObject(&stream);
  Hub_Object* number = HubIO_DecodeObject(&stream);
  Hub_Object* none = HubIO_DecodeObject(&stream);
  xdr_destroy(&stream);
  ASSERT_TRUE(Hub_IsFrameObject(frame));
  EXPECT_TRUE(Hub_FrameNameIs(Hub_ObjectFrame(frame), "handshake"));
  EXPECT_EQ(Hub_ObjectInt(number), 42);
  EXPECT_EQ(none, nullptr);
  Hub_DestroyObject(frame);
  Hub_DestroyObject(number);
}

}  // namespace
}  // namespace hubtest
