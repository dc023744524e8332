// Repositories, vlists, byte buffers and pointer buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libhub/util/DynamicBuffer.h"
#include "libhub/util/Print.h"
#include "libhub/util/Repository.h"
#include "libhub/util/Vlist.h"

namespace {

struct Record {
  int value;
  char text[20];
};

// ---- repositories ----

// A new repository, kept reachable for the life of the process as the
// library's own repositories are (they are never destroyed).
Hub_Repository* NewRepository(uint32_t recordSize, int32_t recordsPerBlock) {
  static auto* kept = new std::vector<Hub_Repository*>;
  kept->push_back(Hub_CreateRepository(recordSize, recordsPerBlock));
  return kept->back();
}

TEST(RepositoryTest, FirstTakesComeFromTheEndOfTheBlockWithRisingSlots) {
  if (Hub_RepositoriesUsePlainAllocation()) GTEST_SKIP() << "records are allocated one by one";
  Hub_Repository* repository = NewRepository(sizeof(Record), 1000);
  int32_t slot1 = 0, slot2 = 0;
  auto* first = static_cast<char*>(Hub_RepositoryTake(repository, &slot1));
  auto* second = static_cast<char*>(Hub_RepositoryTake(repository, &slot2));
  EXPECT_EQ(slot1, 1);
  EXPECT_EQ(slot2, 2);
  ASSERT_EQ(repository->blockCount, 1);
  auto* block = static_cast<char*>(repository->blocks[0]);
  // Records lie in the block at equal distances; the last one goes first.
  ptrdiff_t stride = first - second;
  EXPECT_GE(stride, static_cast<ptrdiff_t>(sizeof(Record)));
  EXPECT_EQ((first - block) / stride, 999);
  EXPECT_EQ(repository->inUse, 2);
  EXPECT_EQ(repository->takenInAll, 2);
}

TEST(RepositoryTest, GivenBackRecordReturnsWithItsContents) {
  Hub_Repository* repository = NewRepository(sizeof(Record), 10);
  auto* record = static_cast<Record*>(Hub_RepositoryTake(repository, nullptr));
  record->value = 42;
  strcpy(record->text, "kept");
  Hub_RepositoryGive(repository, record);
  EXPECT_EQ(repository->inUse, 0);
  int32_t slot = 0;
  auto* again = static_cast<Record*>(Hub_RepositoryTake(repository, &slot));
  EXPECT_EQ(slot, 2);
  if (!Hub_RepositoriesUsePlainAllocation()) {
    EXPECT_EQ(again, record);
    EXPECT_EQ(again->value, 42);
    EXPECT_STREQ(again->text, "kept");
  }
  Hub_RepositoryGive(repository, again);
}

TEST(RepositoryTest, BlocksAreAddedWhenOneIsUsedUp) {
  Hub_Repository* repository = NewRepository(sizeof(Record), 3);
  std::vector<void*> taken;
  for (int i = 0; i < 7; ++i) taken.push_back(Hub_RepositoryTake(repository, nullptr));
  if (!Hub_RepositoriesUsePlainAllocation()) {
    EXPECT_EQ(repository->blockCount, 3);
  }
  EXPECT_EQ(repository->nextSlot, 8);
  for (void* record : taken) Hub_RepositoryGive(repository, record);
  EXPECT_EQ(repository->inUse, 0);
}

void GiveBackTwice() {
  Hub_Repository* repository = NewRepository(sizeof(Record), 10);
  void* record = Hub_RepositoryTake(repository, nullptr);
  Hub_RepositoryGive(repository, record);
  Hub_RepositoryGive(repository, record);
}

TEST(RepositoryDeathTest, GivingBackTwiceIsCaught) {
  if (Hub_RepositoriesUsePlainAllocation()) {
    // Each record is its own allocation: the sanitizer sees the second give.
    EXPECT_DEATH(GiveBackTwice(), "heap-use-after-free");
  } else {
    EXPECT_EXIT(GiveBackTwice(), ::testing::ExitedWithCode(255), "given back twice");
  }
}

// ---- vlists ----

TEST(VlistTest, GrowsToTwentyThenSixty) {
  Hub_Vlist* vlist = Hub_MakeVlist();
  Hub_VlistReserve(vlist, 0);
  EXPECT_EQ(vlist->flags, 8u);
  const int32_t expected[] = {20, 20, 60};
  const int pushes[] = {1, 20, 21};
  int pushed = 0;
  for (int i = 0; i < 3; ++i) {
    while (pushed < pushes[i]) EXPECT_EQ(Hub_VlistPush(vlist, 100 + pushed++), 1);
    EXPECT_EQ(vlist->capacity, expected[i]) << "after " << pushed << " pushes";
  }
  int32_t count = 0;
  uintptr_t* entries = Hub_VlistEntries(vlist, &count);
  ASSERT_EQ(count, 21);
  for (int i = 0; i < 21; ++i) EXPECT_EQ(entries[i], static_cast<uintptr_t>(100 + i));
  for (int i = 21; i < 60; ++i) EXPECT_EQ(entries[i], 0u);
  Hub_FreeVlist(vlist);
}

TEST(VlistTest, PopTakesFromTheEndAndClearsTheSlot) {
  Hub_Vlist* vlist = Hub_MakeVlist();
  Hub_VlistPush(vlist, 7);
  Hub_VlistPush(vlist, 8);
  EXPECT_EQ(Hub_VlistPop(vlist), 8u);
  EXPECT_EQ(vlist->entries[1], 0u);
  EXPECT_EQ(Hub_VlistPop(vlist), 7u);
  EXPECT_EQ(Hub_VlistPop(vlist), 0u);
  EXPECT_EQ(Hub_VlistCount(vlist), 0);
  Hub_FreeVlist(vlist);
}

TEST(VlistTest, ReserveReplacesTheArray) {
  Hub_Vlist* vlist = Hub_MakeVlist();
  for (int i = 1; i <= 5; ++i) Hub_VlistPush(vlist, i);
  ASSERT_EQ(Hub_VlistReserve(vlist, 7), 1);
  EXPECT_EQ(vlist->capacity, 7);
  EXPECT_EQ(vlist->count, 0);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(vlist->entries[i], 0u);
  Hub_FreeVlist(vlist);
}

TEST(VlistTest, FreedVlistKeepsItsArrayForTheNextMake) {
  if (Hub_RepositoriesUsePlainAllocation()) GTEST_SKIP() << "records are allocated one by one";
  Hub_Vlist* vlist = Hub_MakeVlist();
  for (int i = 1; i <= 3; ++i) Hub_VlistPush(vlist, i);
  uintptr_t* array = vlist->entries;
  int32_t capacity = vlist->capacity;
  Hub_FreeVlist(vlist);
  EXPECT_EQ(vlist->flags, 0u);
  Hub_Vlist* again = Hub_MakeVlist();
  ASSERT_EQ(again, vlist);
  EXPECT_EQ(again->entries, array);
  EXPECT_EQ(again->capacity, capacity);
  EXPECT_EQ(again->count, 0);
  EXPECT_EQ(again->flags, 8u);
  EXPECT_EQ(again->entries[0], 0u);
  Hub_FreeVlist(again);
}

TEST(VlistTest, PairsSetGetRemoveAndCount) {
  Hub_Vlist* vlist = Hub_MakeVlist();
  EXPECT_EQ(Hub_VlistSet(vlist, 1, 10), 10u);
  EXPECT_EQ(Hub_VlistSet(vlist, 2, 0), 0u);
  EXPECT_EQ(Hub_VlistSet(vlist, 3, 30), 30u);
  EXPECT_EQ(Hub_VlistSet(vlist, 1, 11), 11u);  // replaces
  EXPECT_EQ(Hub_VlistCount(vlist), 3);
  EXPECT_EQ(Hub_VlistGet(vlist, 1), 11u);
  EXPECT_EQ(Hub_VlistGet(vlist, 9), 0u);
  EXPECT_EQ(Hub_VlistPairCount(vlist, 1), 3);
  EXPECT_EQ(Hub_VlistPairCount(vlist, 0), 2);

  EXPECT_EQ(Hub_VlistRemove(vlist, 1), 11u);
  EXPECT_EQ(Hub_VlistRemove(vlist, 1), 0u);
  EXPECT_EQ(Hub_VlistPairCount(vlist, 1), 2);
  EXPECT_EQ(Hub_VlistCount(vlist), 3);  // the slot stays, empty
  EXPECT_EQ(Hub_VlistGet(vlist, 3), 30u);

  int32_t count = -1;
  uintptr_t* keys = Hub_VlistKeys(vlist, &count);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(keys[0], 2u);
  EXPECT_EQ(keys[1], 3u);
  free(keys);
  Hub_VlistRemove(vlist, 2);
  Hub_VlistRemove(vlist, 3);
  EXPECT_EQ(Hub_VlistKeys(vlist, &count), nullptr);
  EXPECT_EQ(count, 0);
  Hub_FreeVlist(vlist);
}

// ---- byte buffers ----

TEST(ByteBufferTest, MakeFlagsFollowOwnsAndGrows) {
  struct Case {
    int owns, grows;
    bool withData;
    uint32_t flags;
  };
  const Case cases[] = {
      {1, 1, false, 7}, {1, 1, true, 3}, {1, 0, false, 1},
      {0, 1, false, 2}, {0, 0, false, 0}, {0, 0, true, 0},
  };
  for (const Case& c : cases) {
    char* data = c.withData ? static_cast<char*>(calloc(8, 1)) : nullptr;
    Hub_ByteBuffer* buffer = Hub_MakeByteBuffer(data, c.withData ? 2 : 0, 8, c.owns, c.grows,
                                                16, 0, 1);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->flags, c.flags) << c.owns << c.grows << c.withData;
    EXPECT_EQ(Hub_ByteBufferCanGrow(buffer), c.grows);
    EXPECT_EQ(Hub_ByteBufferSize(buffer), c.withData ? 2 : 0);
    Hub_DestroyByteBuffer(buffer);
    if (c.withData && !c.owns) free(data);
  }
}

TEST(ByteBufferTest, GrowsByStepsKeepingTheReserveFree) {
  Hub_ByteBuffer* buffer = Hub_MakeTextBuffer(nullptr, 0);
  ASSERT_NE(buffer, nullptr);
  ASSERT_EQ(Hub_ByteBufferAppendText(buffer, "abc"), 1);
  int32_t first = buffer->capacity;
  EXPECT_GE(first - 4, 1024);
  EXPECT_EQ(first % 10240, 0);
  std::string big(first, 'x');
  ASSERT_EQ(Hub_ByteBufferAppendText(buffer, big.c_str()), 1);
  EXPECT_EQ(Hub_ByteBufferSize(buffer), first + 3);
  EXPECT_GE(buffer->capacity - (first + 4), 1024);
  EXPECT_EQ(buffer->capacity % 10240, 0);
  EXPECT_EQ(std::string(Hub_ByteBufferData(buffer)), "abc" + big);
  Hub_DestroyByteBuffer(buffer);
}

TEST(ByteBufferTest, ReusedTextBufferStartsEmptyAndTerminated) {
  Hub_ByteBuffer* buffer = Hub_MakeTextBuffer(nullptr, 0);
  Hub_ByteBufferAppendText(buffer, "stale text from before");
  Hub_DestroyByteBuffer(buffer);
  Hub_ByteBuffer* again = Hub_MakeTextBuffer(nullptr, 0);
  EXPECT_EQ(Hub_ByteBufferSize(again), 0);
  Hub_ByteBufferAppendText(again, "new");
  Hub_ByteBufferAppendText(again, "er");
  EXPECT_EQ(Hub_ByteBufferSize(again), 5);
  EXPECT_STREQ(Hub_ByteBufferData(again), "newer");
  Hub_DestroyByteBuffer(again);
}

TEST(ByteBufferTest, AppendTextAfterRawBytesWritesAtTheSize) {
  Hub_ByteBuffer* buffer = Hub_MakeTextBuffer(nullptr, 0);
  Hub_ByteBufferAppendText(buffer, "abcdef");
  buffer->size = 2;  // as after a caller rewound it
  Hub_ByteBufferAppendText(buffer, "Z");
  EXPECT_STREQ(Hub_ByteBufferData(buffer), "abZ");
  EXPECT_EQ(Hub_ByteBufferSize(buffer), 3);
  Hub_DestroyByteBuffer(buffer);
}

TEST(ByteBufferTest, FormatMeasuresFirst) {
  Hub_ByteBuffer* buffer = Hub_MakeByteBuffer(nullptr, 0, 0, 1, 1, 8, 0, 1);
  std::string longText(5000, 'q');
  ASSERT_EQ(Hub_ByteBufferAppendFormat(buffer, -1, "<%s|%d>", longText.c_str(), 42), 1);
  EXPECT_EQ(std::string(Hub_ByteBufferData(buffer)), "<" + longText + "|42>");
  EXPECT_EQ(Hub_ByteBufferSize(buffer), 5005);
  ASSERT_EQ(Hub_ByteBufferAppendFormat(buffer, 3, "%d", 7), 1);
  EXPECT_EQ(Hub_ByteBufferSize(buffer), 5006);
  EXPECT_EQ(Hub_ByteBufferData(buffer)[5005], '7');
  EXPECT_EQ(Hub_ByteBufferData(buffer)[5006], '\0');
  Hub_DestroyByteBuffer(buffer);
}

TEST(ByteBufferTest, CallersBytesWithoutGrowthRefuseOnceFull) {
  char storage[8] = "abcd";
  Hub_ByteBuffer* buffer = Hub_MakeByteBuffer(storage, 4, 8, 0, 0, 10240, 0, 1);
  EXPECT_EQ(Hub_ByteBufferAppend(buffer, "efgh", 4), 1);
  EXPECT_EQ(Hub_ByteBufferAppend(buffer, "i", 1), 0);
  EXPECT_EQ(Hub_ByteBufferAppendText(buffer, ""), 0);  // no room for the NUL
  EXPECT_EQ(Hub_ByteBufferAppendFormat(buffer, -1, "x"), 0);
  EXPECT_EQ(Hub_ByteBufferSize(buffer), 8);
  EXPECT_EQ(Hub_ByteBufferData(buffer), storage);
  EXPECT_EQ(buffer->capacity, 8);
  EXPECT_EQ(std::string(storage, 8), "abcdefgh");
  Hub_DestroyByteBuffer(buffer);

  Hub_ByteBuffer* text = Hub_MakeTextBuffer(storage, 8);
  EXPECT_EQ(text->flags, 0u);
  EXPECT_EQ(Hub_ByteBufferAppendText(text, "x"), 0);
  Hub_DestroyByteBuffer(text);
}

TEST(ByteBufferTest, CallersBytesAreCopiedWhenTheBufferGrows) {
  char storage[4] = {'a', 'b', 'c', 'd'};
  Hub_ByteBuffer* buffer = Hub_MakeByteBuffer(storage, 4, 4, 0, 1, 16, 0, 1);
  ASSERT_EQ(Hub_ByteBufferAppend(buffer, "ef", 2), 1);
  EXPECT_NE(Hub_ByteBufferData(buffer), storage);
  EXPECT_EQ(std::string(Hub_ByteBufferData(buffer), 6), "abcdef");
  EXPECT_EQ(buffer->capacity, 20);
  EXPECT_EQ(buffer->flags, HUB_BUFFER_OWNS | HUB_BUFFER_GROWS);
  EXPECT_EQ(std::string(storage, 4), "abcd");
  Hub_DestroyByteBuffer(buffer);  // frees the copy, not the caller's bytes
}

TEST(ByteBufferTest, ZeroStepCannotGrow) {
  Hub_ByteBuffer* buffer = Hub_MakeByteBuffer(nullptr, 0, 0, 0, 1, 0, 0, 1);
  EXPECT_EQ(Hub_ByteBufferAppend(buffer, "a", 1), 0);
  EXPECT_EQ(Hub_ByteBufferData(buffer), nullptr);
  EXPECT_EQ(buffer->capacity, 0);
  Hub_DestroyByteBuffer(buffer);
}

TEST(ByteBufferTest, ElementsCountInTheirSize) {
  Hub_ByteBuffer* buffer = Hub_MakeByteBuffer(nullptr, 0, 0, 1, 1, 64, 0, 4);
  const int32_t numbers[] = {1, -2, 3};
  ASSERT_EQ(Hub_ByteBufferAppend(buffer, numbers, 3), 1);
  EXPECT_EQ(Hub_ByteBufferSize(buffer), 12);
  EXPECT_EQ(Hub_ByteBufferElementCount(buffer), 3);
  EXPECT_EQ(memcmp(Hub_ByteBufferData(buffer), numbers, 12), 0);
  Hub_DestroyByteBuffer(buffer);
}

// A negative count never makes a size below 0 (which let later appends write
// before the data and comparisons read past it): makers count it as 0 and
// appends refuse it.
TEST(ByteBufferTest, NegativeCountsNeverShrinkOrOverrun) {
  char storage[4] = {'a', 'b', 'c', 'd'};
  Hub_ByteBuffer* over = Hub_MakeByteBuffer(storage, -2, -4, 0, 1, 16, 0, 2);
  EXPECT_EQ(Hub_ByteBufferSize(over), 0);
  EXPECT_EQ(over->capacity, 0);
  ASSERT_EQ(Hub_ByteBufferAppend(over, "xy", 1), 1);
  EXPECT_EQ(std::string(Hub_ByteBufferData(over), 2), "xy");
  EXPECT_EQ(std::string(storage, 4), "abcd");
  Hub_DestroyByteBuffer(over);

  Hub_ByteBuffer* text = Hub_MakeTextBuffer(nullptr, 0);
  Hub_ByteBufferAppendText(text, "abc");
  EXPECT_EQ(Hub_ByteBufferAppend(text, "x", -5), 0);
  EXPECT_EQ(Hub_ByteBufferSize(text), 3);
  EXPECT_STREQ(Hub_ByteBufferData(text), "abc");
  Hub_DestroyByteBuffer(text);

  void* elements[2] = {nullptr, nullptr};
  Hub_PointerBuffer* pointers = Hub_MakePointerBuffer(elements, 7, -1, -1, 0, 1, nullptr, 4, 0);
  EXPECT_EQ(Hub_PointerBufferCount(pointers), 0);
  EXPECT_EQ(Hub_PointerBufferAppend(pointers, elements, -3), 0);
  EXPECT_EQ(Hub_PointerBufferCount(pointers), 0);
  Hub_DestroyPointerBuffer(pointers);
}

// ---- pointer buffers ----

std::vector<std::string> g_freed;

void RecordFree(void* element) {
  g_freed.push_back(static_cast<char*>(element));
  free(element);
}

void* CopyText(void* element) { return strdup(static_cast<char*>(element)); }

class PointerBufferTest : public ::testing::Test {
 protected:
  void SetUp() override { g_freed.clear(); }

  Hub_PointerBuffer* MakeOwned(std::initializer_list<const char*> texts) {
    Hub_PointerBuffer* buffer = Hub_MakePointerBuffer(nullptr, 7, 0, 0, 1, 1, RecordFree, 4, 0);
    for (const char* text : texts) Hub_PointerBufferAppendOne(buffer, strdup(text));
    return buffer;
  }
};

TEST_F(PointerBufferTest, FreeFunctionRunsOnRemoveSetAndDestroy) {
  Hub_PointerBuffer* buffer = MakeOwned({"a", "b", "c", "d"});
  EXPECT_EQ(buffer->flags, 7u);
  void* b = Hub_PointerBufferElement(buffer, 1);
  EXPECT_EQ(Hub_PointerBufferRemove(buffer, b), 1);
  EXPECT_EQ(Hub_PointerBufferCount(buffer), 3);
  EXPECT_STREQ(static_cast<char*>(Hub_PointerBufferElement(buffer, 1)), "c");
  EXPECT_EQ(Hub_PointerBufferElements(buffer)[3], nullptr);
  EXPECT_EQ(Hub_PointerBufferRemove(buffer, reinterpret_cast<void*>(1)), 0);

  EXPECT_EQ(Hub_PointerBufferSet(buffer, 0, strdup("A")), 1);
  char* never = strdup("never");
  EXPECT_EQ(Hub_PointerBufferSet(buffer, 3, never), 0);
  free(never);
  void* same = Hub_PointerBufferElement(buffer, 2);
  EXPECT_EQ(Hub_PointerBufferSet(buffer, 2, same), 1);  // not freed: still stored
  EXPECT_EQ(Hub_PointerBufferElement(buffer, 3), nullptr);
  EXPECT_EQ(Hub_PointerBufferElement(buffer, -1), nullptr);

  Hub_DestroyPointerBuffer(buffer);
  EXPECT_EQ(g_freed, (std::vector<std::string>{"b", "a", "A", "c", "d"}));
}

TEST_F(PointerBufferTest, SetPastTheCountLeavesTheElementToTheCaller) {
  Hub_PointerBuffer* buffer = MakeOwned({"a"});
  char* element = strdup("mine");
  EXPECT_EQ(Hub_PointerBufferSet(buffer, 1, element), 0);
  free(element);
  Hub_DestroyPointerBuffer(buffer);
  EXPECT_EQ(g_freed, (std::vector<std::string>{"a"}));
}

TEST_F(PointerBufferTest, GrowsInSteps) {
  Hub_PointerBuffer* buffer = Hub_MakePointerBuffer(nullptr, 7, 0, 0, 0, 1, nullptr, 4, 1);
  int values[10];
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Hub_PointerBufferAppendOne(buffer, &values[i]), 1);
  EXPECT_EQ(Hub_PointerBufferCount(buffer), 10);
  EXPECT_EQ(buffer->capacity, 12);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Hub_PointerBufferElement(buffer, i), &values[i]);
  Hub_DestroyPointerBuffer(buffer);
}

TEST_F(PointerBufferTest, CopyWithCopyFunctionOwnsCopies) {
  Hub_PointerBuffer* source = MakeOwned({"x", "y"});
  Hub_PointerBuffer* copy = Hub_CopyPointerBuffer(source, CopyText, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->elementType, 7u);
  EXPECT_EQ(copy->freeElement, RecordFree);
  EXPECT_NE(Hub_PointerBufferElement(copy, 0), Hub_PointerBufferElement(source, 0));
  EXPECT_STREQ(static_cast<char*>(Hub_PointerBufferElement(copy, 1)), "y");
  Hub_DestroyPointerBuffer(copy);
  Hub_DestroyPointerBuffer(source);
  EXPECT_EQ(g_freed.size(), 4u);
}

TEST_F(PointerBufferTest, CopyWithoutCopyFunctionSharesWithoutFreeing) {
  Hub_PointerBuffer* source = MakeOwned({"x", "y"});
  Hub_PointerBuffer* copy = Hub_CopyPointerBuffer(source, nullptr, RecordFree);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->freeElement, nullptr);
  EXPECT_EQ(Hub_PointerBufferElement(copy, 0), Hub_PointerBufferElement(source, 0));
  EXPECT_NE(Hub_PointerBufferElements(copy), Hub_PointerBufferElements(source));
  Hub_DestroyPointerBuffer(copy);
  EXPECT_TRUE(g_freed.empty());
  Hub_DestroyPointerBuffer(source);
  EXPECT_EQ(g_freed.size(), 2u);
}

TEST_F(PointerBufferTest, CopyOfSharedArrayShares) {
  void* elements[2] = {reinterpret_cast<void*>(1), reinterpret_cast<void*>(2)};
  Hub_PointerBuffer* source = Hub_MakePointerBuffer(elements, 3, 2, 2, 0, 0, nullptr, 4, 0);
  Hub_PointerBuffer* copy = Hub_CopyPointerBuffer(source, CopyText, RecordFree);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Hub_PointerBufferElements(copy), elements);
  EXPECT_EQ(copy->freeElement, nullptr);
  EXPECT_EQ(copy->flags, 0u);
  Hub_DestroyPointerBuffer(copy);
  Hub_DestroyPointerBuffer(source);
}

TEST_F(PointerBufferTest, CopyFunctionWithoutAnyFreeFunctionIsRefused) {
  Hub_PointerBuffer* source = Hub_MakePointerBuffer(nullptr, 7, 0, 0, 1, 1, nullptr, 4, 0);
  Hub_PointerBufferAppendOne(source, reinterpret_cast<void*>(&g_freed));
  HubUtil_SetVerbosity(3);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Hub_CopyPointerBuffer(source, CopyText, nullptr), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "  (WARNING: Can't pass a copy function to copy a pointer buffer with a free "
            "function)\n");
  Hub_DestroyPointerBuffer(source);
}

TEST_F(PointerBufferTest, CopyOfEmptyBufferHasNoArray) {
  Hub_PointerBuffer* source = MakeOwned({});
  Hub_PointerBuffer* copy = Hub_CopyPointerBuffer(source, CopyText, nullptr);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Hub_PointerBufferCount(copy), 0);
  Hub_DestroyPointerBuffer(copy);
  Hub_DestroyPointerBuffer(source);
}

}  // namespace
