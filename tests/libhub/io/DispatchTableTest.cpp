// Dispatch tables: growth, look-up, calls, the signature list sent in the
// handshake and read back, and the input and reply checks with their warnings.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "libhub/io/DispatchTable.h"
#include "libhub/io/Xdr.h"
#include "tests/libhub/frames/FramesTestSupport.h"
#include "tests/libhub/util/HubTestSupport.h"

namespace {

using hubtest::FrameText;
using hubtest::ObjectText;

// A key list as the caller writes it: (key, type, optional), ended for it.
struct KeySpec {
  const char* key;
  int type;
  int optional;
};

class KeyList {
 public:
  KeyList(std::initializer_list<KeySpec> specs) {
    for (const KeySpec& key : specs)
      keys_.push_back({const_cast<char*>(key.key), key.type, key.optional});
    keys_.push_back({nullptr, 0, 0});
  }
  const Hub_KeyRequirement* get() const { return keys_.data(); }

 private:
  std::vector<Hub_KeyRequirement> keys_;
};

// What the operations below saw.
struct Call {
  int count = 0;
  Hub_Frame* frame = nullptr;
  Hub_CallEnvironment* env = nullptr;
};
Call g_call;

Hub_Frame* AnswerWithReply(Hub_Frame* frame, Hub_CallEnvironment* env) {
  g_call.count += 1;
  g_call.frame = frame;
  g_call.env = env;
  return Hub_MakeFrame("answer");
}

Hub_Frame* AnswerWithNothing(Hub_Frame*, Hub_CallEnvironment*) {
  g_call.count += 1;
  return nullptr;
}

// An environment the table never looks into.
Hub_CallEnvironment* FakeEnvironment() {
  static int token;
  return reinterpret_cast<Hub_CallEnvironment*>(&token);
}

void CaptureInfo(const char* format, va_list args, void*) {
  hubtest::Shown().push_back("I:" + hubtest::FormatText(format, args));
}

class DispatchTableTest : public hubtest::FramesTest {
 protected:
  void SetUp() override {
    FramesTest::SetUp();
    HubUtil_CurrentPrinters()->info = CaptureInfo;
    g_call = Call();
  }
  void TearDown() override {
    Hub_FreeDispatchTable(table_);
    FramesTest::TearDown();
  }

  // A toy server's table: one operation with key lists, one in the bridge's
  // style (no key lists, codes 2 and 6).
  void MakeToyTable() {
    KeyList input{{":utt", HUB_STRING, 0}, {":conf", HUB_INT, 1}};
    KeyList output{{":reply", 0, 0}};
    table_ = Hub_AppendDispatchEntry(nullptr, "Parse", AnswerWithReply, input.get(),
                                     HUB_OTHER_KEYS_NOT_PERMITTED, HUB_REPLY_FRAME, output.get(),
                                     HUB_OTHER_KEYS_ALLOWED);
    table_ =
        Hub_AppendDispatchEntry(table_, "Begin", AnswerWithNothing, nullptr, HUB_OTHER_KEYS_ALLOWED,
                                HUB_REPLY_EITHER, nullptr, HUB_OTHER_KEYS_ALLOWED);
  }

  Hub_DispatchTable* table_ = nullptr;
};

// ---- growth ----

struct GrowthCase {
  int appends;
  int capacity;
};

class DispatchTableGrowthTest : public DispatchTableTest,
                                public ::testing::WithParamInterface<GrowthCase> {};

TEST_P(DispatchTableGrowthTest, GrowsByTenWhenCountPlusTwoExceedsCapacity) {
  const GrowthCase& c = GetParam();
  std::vector<std::string> names;
  for (int i = 0; i < c.appends; ++i) {
    names.push_back("op" + std::to_string(i));
    table_ =
        Hub_AppendDispatchEntry(table_, names.back().c_str(), nullptr, nullptr, 2, 6, nullptr, 2);
  }
  ASSERT_NE(table_, nullptr);
  EXPECT_EQ(table_->count, c.appends);
  EXPECT_EQ(table_->capacity, c.capacity);
  for (int i = 0; i < c.appends; ++i) {
    EXPECT_STREQ(table_->entries[i].name, names[i].c_str());
    EXPECT_STREQ(table_->entries[i].signature.name, names[i].c_str());
    EXPECT_NE(table_->entries[i].signature.name, table_->entries[i].name);
    EXPECT_EQ(table_->entries[i].extra, 0u);
  }
  EXPECT_EQ(table_->entries[c.appends].name, nullptr);  // the end marker
  EXPECT_TRUE(hubtest::Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Capacities, DispatchTableGrowthTest,
                         ::testing::Values(GrowthCase{1, 10}, GrowthCase{8, 10}, GrowthCase{9, 10},
                                           GrowthCase{10, 20}, GrowthCase{18, 20},
                                           GrowthCase{19, 20}, GrowthCase{20, 30}));

TEST_F(DispatchTableTest, AppendCopiesNameAndKeyLists) {
  char name[] = "Parse";
  char key[] = ":utt";
  Hub_KeyRequirement input[] = {{key, HUB_STRING, 1}, {nullptr, 0, 0}};
  table_ = Hub_AppendDispatchEntry(nullptr, name, AnswerWithReply, input, 3, 4, nullptr, 3);
  name[0] = 'X';
  key[1] = 'X';
  const Hub_DispatchEntry& entry = table_->entries[0];
  EXPECT_STREQ(entry.name, "Parse");
  EXPECT_EQ(entry.function, AnswerWithReply);
  const Hub_DispatchSignature& signature = entry.signature;
  EXPECT_STREQ(signature.name, "Parse");
  ASSERT_NE(signature.inputKeys, nullptr);
  EXPECT_NE(signature.inputKeys, input);
  EXPECT_STREQ(signature.inputKeys[0].key, ":utt");
  EXPECT_EQ(signature.inputKeys[0].type, HUB_STRING);
  EXPECT_EQ(signature.inputKeys[0].optional, 1);
  EXPECT_EQ(signature.inputKeys[1].key, nullptr);
  EXPECT_EQ(signature.outputKeys, nullptr);
  EXPECT_EQ(signature.allowOtherInput, 3);
  EXPECT_EQ(signature.replyKind, 4);
  EXPECT_EQ(signature.allowOtherOutput, 3);
}

TEST_F(DispatchTableTest, AppendWithoutNameIsRefused) {
  EXPECT_EQ(Hub_AppendDispatchEntry(nullptr, nullptr, AnswerWithReply, nullptr, 2, 6, nullptr, 2),
            nullptr);
  MakeToyTable();
  EXPECT_EQ(Hub_AppendDispatchEntry(table_, nullptr, AnswerWithReply, nullptr, 2, 6, nullptr, 2),
            table_);
  EXPECT_EQ(table_->count, 2);
  EXPECT_EQ(TakeShown(),
            (std::vector<std::string>{"W:Can't add a dispatch entry without a name\n",
                                      "W:Can't add a dispatch entry without a name\n"}));
}

// ---- look-up ----

struct LookupCase {
  const char* operation;
  bool found;
};

class DispatchLookupTest : public DispatchTableTest,
                           public ::testing::WithParamInterface<LookupCase> {};

TEST_P(DispatchLookupTest, FindsOnlyTheExactName) {
  MakeToyTable();
  table_->entries[1].extra = 77;  // "Begin"
  const LookupCase& c = GetParam();
  Hub_DispatchLookup lookup;
  EXPECT_EQ(Hub_FindOperation(table_, c.operation, &lookup), c.found ? 1 : 0);
  EXPECT_EQ(lookup.table, table_);
  EXPECT_EQ(lookup.operation, c.operation);
  if (c.found) {
    ASSERT_NE(lookup.entry, nullptr);
    EXPECT_STREQ(lookup.entry->name, c.operation);
  } else {
    EXPECT_EQ(lookup.entry, nullptr);
    EXPECT_EQ(Hub_InvokeOperation(&lookup, nullptr, FakeEnvironment()), nullptr);
  }
  uintptr_t expected = c.found && std::string(c.operation) == "Begin" ? 77 : 0;
  EXPECT_EQ(Hub_DispatchEntryData(table_, c.operation), expected);
  EXPECT_EQ(g_call.count, 0);
  EXPECT_TRUE(hubtest::Shown().empty());
}

INSTANTIATE_TEST_SUITE_P(Names, DispatchLookupTest,
                         ::testing::Values(LookupCase{"Parse", true}, LookupCase{"Begin", true},
                                           LookupCase{"parse", false}, LookupCase{"Parse ", false},
                                           LookupCase{"Pars", false}, LookupCase{"DM.Parse", false},
                                           LookupCase{"", false}, LookupCase{nullptr, false}));

TEST_F(DispatchTableTest, NullTableFindsNothing) {
  Hub_DispatchLookup lookup;
  EXPECT_EQ(Hub_FindOperation(nullptr, "Parse", &lookup), 0);
  EXPECT_EQ(lookup.entry, nullptr);
  EXPECT_EQ(Hub_InvokeOperation(&lookup, nullptr, nullptr), nullptr);
  EXPECT_EQ(Hub_DispatchEntryData(nullptr, "Parse"), 0u);
  EXPECT_EQ(Hub_ListDispatchSignatures(nullptr), nullptr);
  EXPECT_EQ(Hub_DispatchTableSignatureList(nullptr), nullptr);
}

int FindAlwaysSecond(Hub_DispatchLookup* lookup) {
  lookup->entry = &lookup->table->entries[1];
  return 1;
}

TEST_F(DispatchTableTest, LookUpGoesThroughTheTablesFindFunction) {
  MakeToyTable();
  table_->entries[1].extra = 5;
  table_->find = FindAlwaysSecond;
  Hub_DispatchLookup lookup;
  EXPECT_EQ(Hub_FindOperation(table_, "anything", &lookup), 1);
  EXPECT_STREQ(lookup.entry->name, "Begin");
  EXPECT_EQ(Hub_DispatchEntryData(table_, "anything"), 5u);
}

// ---- calls ----

TEST_F(DispatchTableTest, InvokeCallsTheOperationAndPrintsOnce) {
  MakeToyTable();
  Hub_Frame* incoming = Hub_MakeFrame("Parse");
  Hub_DispatchLookup lookup;
  ASSERT_EQ(Hub_FindOperation(table_, "Parse", &lookup), 1);
  Hub_Frame* reply = Hub_InvokeOperation(&lookup, incoming, FakeEnvironment());
  ASSERT_NE(reply, nullptr);
  EXPECT_TRUE(Hub_FrameNameIs(reply, "answer"));
  EXPECT_EQ(g_call.count, 1);
  EXPECT_EQ(g_call.frame, incoming);
  EXPECT_EQ(g_call.env, FakeEnvironment());
  EXPECT_EQ(TakeShown(), std::vector<std::string>{"I:Invoking dispatch function: Parse\n"});
  Hub_DestroyFrame(reply);
  Hub_DestroyFrame(incoming);
}

TEST_F(DispatchTableTest, InvokeLineIsInformationOnly) {
  MakeToyTable();
  HubUtil_SetVerbosity(2);
  Hub_DispatchLookup lookup;
  ASSERT_EQ(Hub_FindOperation(table_, "Begin", &lookup), 1);
  EXPECT_EQ(Hub_InvokeOperation(&lookup, nullptr, FakeEnvironment()), nullptr);
  EXPECT_EQ(g_call.count, 1);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(DispatchTableTest, EntryWithoutFunctionGivesNoReplyAndNoLine) {
  table_ = Hub_AppendDispatchEntry(nullptr, "Silent", nullptr, nullptr, 2, 6, nullptr, 2);
  Hub_DispatchLookup lookup;
  ASSERT_EQ(Hub_FindOperation(table_, "Silent", &lookup), 1);
  EXPECT_EQ(Hub_InvokeOperation(&lookup, nullptr, FakeEnvironment()), nullptr);
  EXPECT_TRUE(TakeShown().empty());
}

// ---- the signature list of the handshake ----

const char kToySignatures[] =
    "( ( \"Parse\" ( ( \":utt\" 2 0 ) ( \":conf\" 3 1 ) ) 3 4 ( ( \":reply\" 0 0 ) ) 2 ) "
    "( \"Begin\" (  ) 2 6 (  ) 2 ) )";

TEST_F(DispatchTableTest, SignatureListHoldsSixFieldsPerOperation) {
  MakeToyTable();
  Hub_Object* list = Hub_DispatchTableSignatureList(table_);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(ObjectText(list, HUB_READABLE_LAYOUT), kToySignatures);
  ASSERT_EQ(Hub_ListObjectLength(list), 2);
  const int types[] = {HUB_STRING, HUB_LIST, HUB_INT, HUB_INT, HUB_LIST, HUB_INT};
  for (int s = 0; s < 2; ++s) {
    Hub_Object* signature = Hub_ListObjectElement(list, s);
    ASSERT_EQ(Hub_ListObjectLength(signature), 6);
    for (int f = 0; f < 6; ++f) {
      EXPECT_EQ(Hub_ObjectTypeCode(Hub_ListObjectElement(signature, f)), types[f]) << s << f;
    }
  }
  // Missing key lists are empty lists, never null members.
  Hub_Object* begin = Hub_ListObjectElement(list, 1);
  EXPECT_EQ(Hub_ListObjectLength(Hub_ListObjectElement(begin, 1)), 0);
  EXPECT_EQ(Hub_ListObjectLength(Hub_ListObjectElement(begin, 4)), 0);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(DispatchTableTest, SignatureListIsKeptAndRebuiltAfterAnAppend) {
  MakeToyTable();
  Hub_Object* first = Hub_DispatchTableSignatureList(table_);
  EXPECT_EQ(Hub_DispatchTableSignatureList(table_), first);
  table_ = Hub_AppendDispatchEntry(table_, "End", nullptr, nullptr, 2, 5, nullptr, 2);
  Hub_Object* second = Hub_DispatchTableSignatureList(table_);
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(Hub_ListObjectLength(second), 3);
  EXPECT_EQ(ObjectText(Hub_ListObjectElement(second, 2), HUB_READABLE_LAYOUT),
            "( \"End\" (  ) 2 5 (  ) 2 )");
}

TEST_F(DispatchTableTest, HandshakeFrameCarriesACopyOfTheList) {
  MakeToyTable();
  Hub_Frame* handshake = Hub_MakeFrameOfKind("DM", HUB_KIND_CLAUSE);
  Hub_SetFrameProperty(handshake, ":signatures", Hub_CopySignatureList(table_));
  Hub_SetFrameProperty(handshake, ":protocol_version", Hub_MakeIntObject(1));
  EXPECT_EQ(FrameText(handshake, HUB_READABLE_LAYOUT),
            std::string("{c DM :signatures ") + kToySignatures + " :protocol_version 1 }");
  EXPECT_NE(Hub_GetFrameObject(handshake, ":signatures"), Hub_DispatchTableSignatureList(table_));
  // The frame destroys its copy; the table's list stays whole.
  Hub_DestroyFrame(handshake);
  EXPECT_EQ(ObjectText(Hub_DispatchTableSignatureList(table_), HUB_READABLE_LAYOUT),
            kToySignatures);
  EXPECT_TRUE(TakeShown().empty());
}

// On the wire a missing key list is a list of no members.
TEST_F(DispatchTableTest, BridgeStyleSignatureEncodesWithEmptyKeyLists) {
  table_ = Hub_AppendDispatchEntry(nullptr, "Begin", AnswerWithNothing, nullptr, 2, 6, nullptr, 2);
  Hub_Object* list = Hub_DispatchTableSignatureList(table_);
  int32_t count = 0;
  Hub_Object** members = Hub_ObjectListElements(list, &count);
  int32_t length = 0;
  char* bytes = HubIO_EncodeElement(HUB_LIST, reinterpret_cast<uintptr_t>(members), count, &length);
  ASSERT_NE(bytes, nullptr);
  const unsigned char expected[] = {
      0, 0, 0, 6, 0, 0, 0, 1,                                    // list of one signature
      0, 0, 0, 6, 0, 0, 0, 6,                                    // six fields
      0, 0, 0, 2, 0, 0, 0, 5, 'B', 'e', 'g', 'i', 'n', 0, 0, 0,  // name
      0, 0, 0, 6, 0, 0, 0, 0,                                    // no input keys
      0, 0, 0, 3, 0, 0, 0, 2,                                    // allow other input
      0, 0, 0, 3, 0, 0, 0, 6,                                    // reply kind
      0, 0, 0, 6, 0, 0, 0, 0,                                    // no output keys
      0, 0, 0, 3, 0, 0, 0, 2,                                    // allow other output
  };
  EXPECT_EQ(std::string(bytes, length),
            std::string(reinterpret_cast<const char*>(expected), sizeof expected));
  free(bytes);
}

TEST_F(DispatchTableTest, HandshakeFrameEncodesAndItsSignaturesReadBack) {
  MakeToyTable();
  Hub_Frame* handshake = Hub_MakeFrameOfKind("DM", HUB_KIND_CLAUSE);
  Hub_SetFrameProperty(handshake, ":signatures", Hub_CopySignatureList(table_));
  int32_t length = 0;
  char* bytes = HubIO_EncodeFrame(handshake, &length);
  ASSERT_NE(bytes, nullptr);
  int32_t type = 0;
  int32_t size = 0;
  uintptr_t value = 0;
  ASSERT_EQ(HubIO_DecodeElement(bytes, length, &type, &value, &size), 1);
  ASSERT_EQ(type, HUB_FRAME);
  auto* decoded = reinterpret_cast<Hub_Frame*>(value);
  EXPECT_EQ(FrameText(decoded, HUB_READABLE_LAYOUT), FrameText(handshake, HUB_READABLE_LAYOUT));
  Hub_DispatchSignature* read = Hub_SignaturesFromList(Hub_GetFrameObject(decoded, ":signatures"));
  EXPECT_STREQ(read[0].name, "Parse");
  EXPECT_STREQ(read[0].outputKeys[0].key, ":reply");
  EXPECT_STREQ(read[1].name, "Begin");
  EXPECT_EQ(read[1].inputKeys, nullptr);
  EXPECT_EQ(read[2].name, nullptr);
  Hub_FreeSignatureArray(read);
  Hub_DestroyFrame(decoded);
  Hub_DestroyFrame(handshake);
  free(bytes);
  EXPECT_TRUE(TakeShown().empty());
}

TEST_F(DispatchTableTest, CopyOfNoTableOrEmptyTableIsAnEmptyList) {
  Hub_Object* none = Hub_CopySignatureList(nullptr);
  ASSERT_TRUE(Hub_IsListObject(none));
  EXPECT_EQ(Hub_ListObjectLength(none), 0);
  Hub_DestroyObject(none);
  table_ = Hub_CreateDispatchTable();
  Hub_Object* empty = Hub_CopySignatureList(table_);
  ASSERT_TRUE(Hub_IsListObject(empty));
  EXPECT_EQ(Hub_ListObjectLength(empty), 0);
  Hub_DestroyObject(empty);
}

// The list read back gives the table's signatures again.
TEST_F(DispatchTableTest, SignatureListReadsBack) {
  MakeToyTable();
  Hub_DispatchSignature* read = Hub_SignaturesFromList(Hub_DispatchTableSignatureList(table_));
  ASSERT_NE(read, nullptr);
  for (int s = 0; s < 2; ++s) {
    const Hub_DispatchSignature& want = table_->entries[s].signature;
    const Hub_DispatchSignature& got = read[s];
    ASSERT_STREQ(got.name, want.name);
    EXPECT_EQ(got.allowOtherInput, want.allowOtherInput);
    EXPECT_EQ(got.replyKind, want.replyKind);
    EXPECT_EQ(got.allowOtherOutput, want.allowOtherOutput);
    const Hub_KeyRequirement* lists[2][2] = {{got.inputKeys, want.inputKeys},
                                             {got.outputKeys, want.outputKeys}};
    for (auto& pair : lists) {
      ASSERT_EQ(pair[0] == nullptr, pair[1] == nullptr);
      for (int k = 0; pair[1] && pair[1][k].key; ++k) {
        EXPECT_STREQ(pair[0][k].key, pair[1][k].key);
        EXPECT_EQ(pair[0][k].type, pair[1][k].type);
        EXPECT_EQ(pair[0][k].optional, pair[1][k].optional);
        EXPECT_EQ(pair[0][k + 1].key == nullptr, pair[1][k + 1].key == nullptr);
      }
    }
  }
  EXPECT_EQ(read[2].name, nullptr);
  Hub_FreeSignatureArray(read);
}

// Lists of the wrong shape read as no signatures.
struct ShapeCase {
  const char* what;
  Hub_Object* (*make)();
};

Hub_Object* Sig(Hub_Object* name, Hub_Object* in, Hub_Object* out) {
  return Hub_MakeListObjectOfArgs(6, name, in, Hub_MakeIntObject(2), Hub_MakeIntObject(6), out,
                                  Hub_MakeIntObject(2));
}
Hub_Object* Empty() { return Hub_MakeListObject(nullptr, 0); }
Hub_Object* Key(Hub_Object* type) {
  return Hub_MakeListObjectOfArgs(
      1, Hub_MakeListObjectOfArgs(3, Hub_MakeStringObject(":k"), type, Hub_MakeIntObject(0)));
}
Hub_Object* Good() {
  return Sig(Hub_MakeStringObject("Begin"), Key(Hub_MakeIntObject(3)), Empty());
}

const ShapeCase kShapes[] = {
    {"null", [] { return static_cast<Hub_Object*>(nullptr); }},
    {"not a list", [] { return Hub_MakeIntObject(3); }},
    {"signature not a list", [] { return Hub_MakeListObjectOfArgs(1, Hub_MakeStringObject("x")); }},
    {"five fields",
     [] {
       return Hub_MakeListObjectOfArgs(
           1, Hub_MakeListObjectOfArgs(5, Hub_MakeStringObject("a"), Empty(), Hub_MakeIntObject(2),
                                       Hub_MakeIntObject(6), Empty()));
     }},
    {"name not a string",
     [] { return Hub_MakeListObjectOfArgs(1, Sig(Hub_MakeIntObject(1), Empty(), Empty())); }},
    {"key list not a list",
     [] {
       return Hub_MakeListObjectOfArgs(
           1, Sig(Hub_MakeStringObject("a"), Hub_MakeIntObject(0), Empty()));
     }},
    {"key type a string",
     [] {
       return Hub_MakeListObjectOfArgs(
           1, Sig(Hub_MakeStringObject("a"), Empty(), Key(Hub_MakeStringObject("3"))));
     }},
    {"good then bad",
     [] {
       return Hub_MakeListObjectOfArgs(
           2, Good(), Sig(Hub_MakeStringObject("b"), Empty(), Hub_MakeIntObject(0)));
     }},
};

TEST_F(DispatchTableTest, WrongShapesReadAsNoSignatures) {
  for (const ShapeCase& c : kShapes) {
    Hub_Object* list = c.make();
    Hub_DispatchSignature* read = Hub_SignaturesFromList(list);
    ASSERT_NE(read, nullptr) << c.what;
    EXPECT_EQ(read[0].name, nullptr) << c.what;
    Hub_FreeSignatureArray(read);
    Hub_DestroyObject(list);
  }
  // The good signature alone reads.
  Hub_Object* list = Hub_MakeListObjectOfArgs(1, Good());
  Hub_DispatchSignature* read = Hub_SignaturesFromList(list);
  EXPECT_STREQ(read[0].name, "Begin");
  EXPECT_STREQ(read[0].inputKeys[0].key, ":k");
  EXPECT_EQ(read[0].outputKeys, nullptr);
  EXPECT_EQ(read[1].name, nullptr);
  Hub_FreeSignatureArray(read);
  Hub_DestroyObject(list);
  EXPECT_TRUE(TakeShown().empty());
}

// ---- checks ----

// A frame "f" with these properties: ints unless the key names another type.
Hub_Frame* CheckedFrame(const std::vector<const char*>& keys) {
  Hub_Frame* frame = Hub_MakeFrame("f");
  for (const char* key : keys) {
    std::string k = key;
    Hub_Object* value = k == ":text"     ? Hub_MakeStringObject("x")
                        : k == ":clause" ? Hub_MakeFrameObject(Hub_MakeFrame("c"))
                        : k == ":topic"
                            ? Hub_MakeFrameObject(Hub_MakeFrameOfKind("t", HUB_KIND_TOPIC))
                            : Hub_MakeIntObject(1);
    Hub_SetFrameProperty(frame, key, value);
  }
  return frame;
}

struct InputCase {
  const char* what;
  KeyList keys;
  int allowOther;
  std::vector<const char*> present;  // "null" for no frame
  std::vector<std::string> warnings;
};

const InputCase kInputCases[] = {
    {"all there", {{":a", HUB_INT, 0}, {":text", HUB_STRING, 0}}, 3, {":a", ":text"}, {}},
    {"obligatory missing",
     {{":a", HUB_INT, 0}, {":b", 0, 0}},
     2,
     {":a"},
     {"W:For op: obligatory input key :b not found"}},
    {"optional missing", {{":a", HUB_INT, 1}}, 3, {}, {}},
    {"wrong type",
     {{":text", HUB_INT, 1}},
     2,
     {":text"},
     {"W:For op: input key :text should be a HUB_INT, but is a HUB_STRING\n"}},
    {"any type", {{":text", 0, 0}, {":clause", 0, 0}}, 2, {":text", ":clause"}, {}},
    {"frame of the listed kind", {{":clause", HUB_CLAUSE_FRAME, 0}}, 2, {":clause"}, {}},
    {"frame of another kind",
     {{":topic", HUB_CLAUSE_FRAME, 0}},
     2,
     {":topic"},
     {"W:For op: input key :topic should be a HUB_CLAUSE_FRAME, but is a HUB_FRAME\n"}},
    {"any frame", {{":topic", HUB_FRAME, 0}}, 2, {":topic"}, {}},
    {"others allowed with code 2", {{":a", 0, 0}}, 2, {":a", ":x", ":y"}, {}},
    {"others not permitted with code 3",
     {{":a", 0, 0}},
     3,
     {":x", ":a", ":session_id", ":y", ":hub_opaque_data", ":server_tidx"},
     {"W:For op: input key :x not permitted\n", "W:For op: input key :y not permitted\n"}},
    {"no key list with code 3", {}, 3, {":x"}, {"W:For op: input key :x not permitted\n"}},
    {"missing and mistyped in list order",
     {{":b", 0, 0}, {":text", HUB_FLOAT, 0}},
     3,
     {":text", ":z"},
     {"W:For op: obligatory input key :b not found",
      "W:For op: input key :text should be a HUB_FLOAT, but is a HUB_STRING\n",
      "W:For op: input key :z not permitted\n"}},
    {"no frame",
     {{":a", 0, 0}, {":b", 0, 1}},
     3,
     {"null"},
     {"W:For op: obligatory input key :a not found"}},
};

TEST_F(DispatchTableTest, InputChecks) {
  for (const InputCase& c : kInputCases) {
    bool noFrame = c.present.size() == 1 && std::string(c.present[0]) == "null";
    Hub_Frame* frame = noFrame ? nullptr : CheckedFrame(c.present);
    // An empty key list stands for none.
    auto* keys = c.keys.get()[0].key ? const_cast<Hub_KeyRequirement*>(c.keys.get()) : nullptr;
    Hub_DispatchSignature signature = {const_cast<char*>("op"), keys,    c.allowOther,
                                       HUB_REPLY_EITHER,        nullptr, 2};
    int count = Hub_CheckOperationInput("op", frame, &signature, Hub_DispatchExemptKeys);
    EXPECT_EQ(TakeShown(), c.warnings) << c.what;
    EXPECT_EQ(count, static_cast<int>(c.warnings.size())) << c.what;
    Hub_DestroyFrame(frame);
  }
}

TEST_F(DispatchTableTest, ExemptKeysApplyOnlyWhenGiven) {
  Hub_Frame* frame = CheckedFrame({":session_id"});
  Hub_DispatchSignature signature = {const_cast<char*>("op"), nullptr, 3, 6, nullptr, 3};
  EXPECT_EQ(Hub_CheckOperationInput("op", frame, &signature, nullptr), 1);
  EXPECT_EQ(TakeShown(),
            std::vector<std::string>{"W:For op: input key :session_id not permitted\n"});
  EXPECT_EQ(Hub_CheckOperationInput("op", frame, &signature, Hub_DispatchExemptKeys), 0);
  EXPECT_TRUE(TakeShown().empty());
  Hub_DestroyFrame(frame);
}

struct ReplyCase {
  const char* what;
  int replyKind;
  bool obligatoryKey;  // output keys: ":r" obligatory, else none
  int allowOther;
  std::vector<const char*> present;  // empty: no reply frame
  std::vector<std::string> warnings;
};

const ReplyCase kReplyCases[] = {
    {"frame required, none", 4, true, 2, {}, {"W:For  op: expected frame reply but found NULL\n"}},
    {"frame required, given", 4, true, 3, {":r", ":session_id"}, {}},
    {"frame required, key missing",
     4,
     true,
     2,
     {":x"},
     {"W:For op: obligatory reply key :r not found"}},
    {"no frame wanted, none", 5, true, 3, {}, {}},
    {"no frame wanted, given",
     5,
     true,
     3,
     {":x"},
     {"W:For op: expected NULL reply but found frame\n"}},
    {"either, none, no keys", 6, false, 3, {}, {}},
    {"either, none, obligatory key",
     6,
     true,
     3,
     {},
     {"W:For op: obligatory reply key :r not found"}},
    {"either, extra key not permitted",
     6,
     true,
     3,
     {":r", ":x"},
     {"W:For op: reply key :x not permitted\n"}},
    {"bridge style", 6, false, 2, {":x", ":y"}, {}},
    {"unknown kind", 0, true, 3, {":x"}, {}},
};

TEST_F(DispatchTableTest, ReplyChecks) {
  KeyList output{{":r", 0, 0}};
  for (const ReplyCase& c : kReplyCases) {
    Hub_Frame* reply = nullptr;
    if (!c.present.empty()) {
      reply = Hub_MakeFrame("op");
      for (const char* key : c.present) Hub_SetFrameProperty(reply, key, Hub_MakeIntObject(1));
    }
    Hub_DispatchSignature signature = {
        const_cast<char*>("op"),
        nullptr,
        2,
        c.replyKind,
        c.obligatoryKey ? const_cast<Hub_KeyRequirement*>(output.get()) : nullptr,
        c.allowOther};
    int count = Hub_CheckOperationReply("op", reply, &signature, Hub_DispatchExemptKeys);
    EXPECT_EQ(TakeShown(), c.warnings) << c.what;
    EXPECT_EQ(count, static_cast<int>(c.warnings.size())) << c.what;
    Hub_DestroyFrame(reply);
  }
}

}  // namespace
