#include "libhub/util/Repository.h"

#include <sched.h>

#include <cstdlib>
#include <new>

#include "libhub/util/Print.h"
#include "libhub/util/Vlist.h"

namespace {

// Every record is preceded by a header that tells whether it is taken, so that
// a record given back twice is caught.
struct alignas(16) RecordHeader {
  uint32_t taken;
};
constexpr uint32_t kTaken = 0x54414b4e;
constexpr size_t kAlign = 16;

#ifdef HUB_PLAIN_ALLOCATION
constexpr bool kPlain = true;
#else
constexpr bool kPlain = false;
#endif

size_t Stride(const Hub_Repository* repository) {
  size_t record = (repository->recordSize + kAlign - 1) / kAlign * kAlign;
  return sizeof(RecordHeader) + record;
}

void Lock(Hub_Repository* repository) {
  while (repository->lock.exchange(true, std::memory_order_acquire)) sched_yield();
}
void Unlock(Hub_Repository* repository) { repository->lock.store(false, std::memory_order_release); }

RecordHeader* HeaderOf(void* record) { return static_cast<RecordHeader*>(record) - 1; }
void* RecordOf(RecordHeader* header) { return header + 1; }

// Adds one zeroed block; its records go onto the free list in address order,
// so the block's last record is handed out first. False when memory runs out.
bool AddBlock(Hub_Repository* repository) {
  size_t stride = Stride(repository);
  char* block = static_cast<char*>(calloc(repository->recordsPerBlock, stride));
  void** blocks = static_cast<void**>(
      realloc(repository->blocks, sizeof(void*) * (repository->blockCount + 1)));
  if (!block || !blocks) {
    free(block);
    if (blocks) repository->blocks = blocks;
    return false;
  }
  repository->blocks = blocks;
  repository->blocks[repository->blockCount++] = block;
  for (int32_t i = 0; i < repository->recordsPerBlock; ++i) {
    auto* header = reinterpret_cast<RecordHeader*>(block + i * stride);
    Hub_VlistPush(repository->freeList, reinterpret_cast<uintptr_t>(header));
  }
  return true;
}

RecordHeader* TakeFromBlocks(Hub_Repository* repository) {
  if (!repository->freeList) {
    repository->freeList = Hub_MakeVlist();
    Hub_VlistReserve(repository->freeList, repository->recordsPerBlock);
  }
  auto* header = reinterpret_cast<RecordHeader*>(Hub_VlistPop(repository->freeList));
  if (!header && AddBlock(repository)) {
    header = reinterpret_cast<RecordHeader*>(Hub_VlistPop(repository->freeList));
  }
  return header;
}

}  // namespace

bool Hub_RepositoriesUsePlainAllocation() { return kPlain; }

Hub_Repository* Hub_CreateRepositoryWithFreeList(uint32_t recordSize, int32_t recordsPerBlock,
                                                 Hub_Vlist* freeList) {
  void* memory = calloc(1, sizeof(Hub_Repository));
  HubUtil_Assert(memory != nullptr, "Error alloc'ing memory for a memory repository");
  auto* repository = new (memory) Hub_Repository;
  repository->lock = false;
  repository->nextSlot = 1;
  repository->freeList = freeList;
  repository->recordsPerBlock = recordsPerBlock;
  repository->recordSize = recordSize;
  return repository;
}

Hub_Repository* Hub_CreateRepository(uint32_t recordSize, int32_t recordsPerBlock) {
  return Hub_CreateRepositoryWithFreeList(recordSize, recordsPerBlock, nullptr);
}

void* Hub_RepositoryTake(Hub_Repository* repository, int32_t* slot) {
  Lock(repository);
  ++repository->takenInAll;
  RecordHeader* header = kPlain
      ? static_cast<RecordHeader*>(calloc(1, Stride(repository)))
      : TakeFromBlocks(repository);
  int32_t taken = -1;
  if (header) {
    header->taken = kTaken;
    ++repository->inUse;
    taken = repository->nextSlot++;
  }
  Unlock(repository);
  if (slot) *slot = taken;
  return header ? RecordOf(header) : nullptr;
}

void Hub_RepositoryGive(Hub_Repository* repository, void* record) {
  if (!record) return;
  RecordHeader* header = HeaderOf(record);
  Lock(repository);
  if (header->taken != kTaken) {
    Unlock(repository);
    HubUtil_PrintFatal("Hub_RepositoryGive: record %p given back twice", record);
  }
  header->taken = 0;
  --repository->inUse;
  if (kPlain) {
    free(header);
  } else {
    Hub_VlistPush(repository->freeList, reinterpret_cast<uintptr_t>(header));
  }
  Unlock(repository);
}
