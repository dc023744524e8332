#include "libhub/util/Vlist.h"

#include <cstdlib>
#include <cstring>

#include "libhub/util/Print.h"
#include "libhub/util/Repository.h"

namespace {

Hub_Repository* g_vlistRepository = nullptr;
// The vlist repository's own free list, which cannot come from itself.
Hub_Vlist g_vlistFreeList = {nullptr, 0, 0, 8};

// Moves the vlist to a new zeroed array of `capacity` slots, keeping the first
// `keep` entries. False when memory runs out (nothing changes).
bool Reallocate(Hub_Vlist* vlist, int32_t capacity, int32_t keep) {
  auto* entries = static_cast<uintptr_t*>(calloc(capacity > 0 ? capacity : 1, sizeof(uintptr_t)));
  if (!entries) return false;
  if (keep > 0) memcpy(entries, vlist->entries, keep * sizeof(uintptr_t));
  free(vlist->entries);
  vlist->entries = entries;
  vlist->capacity = capacity;
  return true;
}

Hub_VlistPair* PairAt(const Hub_Vlist* vlist, int32_t i) {
  return reinterpret_cast<Hub_VlistPair*>(vlist->entries[i]);
}

// Slot of the key's pair, or -1.
int32_t FindPair(const Hub_Vlist* vlist, uintptr_t key) {
  for (int32_t i = 0; i < vlist->count; ++i) {
    Hub_VlistPair* pair = PairAt(vlist, i);
    if (pair && pair->key == key) return i;
  }
  return -1;
}

}  // namespace

void Hub_InitVlistRepository() {
  g_vlistRepository = Hub_CreateRepositoryWithFreeList(sizeof(Hub_Vlist), 1000, &g_vlistFreeList);
}

Hub_Vlist* Hub_MakeVlist() {
  if (!g_vlistRepository) {
    HubUtil_PrintFatal("Vlist memory not initialized; call Hub_InitializeStatics()");
  }
  auto* vlist = static_cast<Hub_Vlist*>(Hub_RepositoryTake(g_vlistRepository, nullptr));
  if (!vlist) return nullptr;
  vlist->count = 0;
  vlist->flags = 8;
  return vlist;
}

void Hub_FreeVlist(Hub_Vlist* vlist) {
  if (!vlist) return;
  if (vlist->capacity > 0) memset(vlist->entries, 0, vlist->capacity * sizeof(uintptr_t));
  vlist->count = 0;
  vlist->flags = 0;
  if (Hub_RepositoriesUsePlainAllocation()) {
    free(vlist->entries);
    vlist->entries = nullptr;
    vlist->capacity = 0;
  }
  Hub_RepositoryGive(g_vlistRepository, vlist);
}

int Hub_VlistReserve(Hub_Vlist* vlist, int32_t capacity) {
  if (!Reallocate(vlist, capacity, 0)) return 0;
  vlist->count = 0;
  return 1;
}

uintptr_t* Hub_VlistEntries(Hub_Vlist* vlist, int32_t* count) {
  if (count) *count = vlist->count;
  return vlist->entries;
}

int Hub_VlistGrowAndPush(Hub_Vlist* vlist, uintptr_t word) {
  if (!Reallocate(vlist, 2 * vlist->capacity + 20, vlist->count)) return 0;
  vlist->entries[vlist->count++] = word;
  return 1;
}

int32_t Hub_VlistCount(const Hub_Vlist* vlist) { return vlist->count; }

uintptr_t Hub_VlistGet(const Hub_Vlist* vlist, uintptr_t key) {
  int32_t slot = FindPair(vlist, key);
  return slot < 0 ? 0 : PairAt(vlist, slot)->value;
}

uintptr_t Hub_VlistSet(Hub_Vlist* vlist, uintptr_t key, uintptr_t value) {
  int32_t slot = FindPair(vlist, key);
  if (slot >= 0) {
    PairAt(vlist, slot)->value = value;
    return value;
  }
  auto* pair = static_cast<Hub_VlistPair*>(malloc(sizeof(Hub_VlistPair)));
  if (!pair) return 0;
  *pair = {key, value};
  if (!Hub_VlistPush(vlist, reinterpret_cast<uintptr_t>(pair))) {
    free(pair);
    return 0;
  }
  return value;
}

uintptr_t Hub_VlistRemove(Hub_Vlist* vlist, uintptr_t key) {
  int32_t slot = FindPair(vlist, key);
  if (slot < 0) return 0;
  Hub_VlistPair* pair = PairAt(vlist, slot);
  uintptr_t value = pair->value;
  free(pair);
  vlist->entries[slot] = 0;
  return value;
}

int32_t Hub_VlistPairCount(const Hub_Vlist* vlist, int all) {
  int32_t pairs = 0;
  for (int32_t i = 0; i < vlist->count; ++i) {
    Hub_VlistPair* pair = PairAt(vlist, i);
    if (pair && (all || pair->value != 0)) ++pairs;
  }
  return pairs;
}

uintptr_t* Hub_VlistKeys(const Hub_Vlist* vlist, int32_t* count) {
  int32_t pairs = Hub_VlistPairCount(vlist, 1);
  *count = 0;
  if (pairs == 0) return nullptr;
  auto* keys = static_cast<uintptr_t*>(malloc(pairs * sizeof(uintptr_t)));
  if (!keys) return nullptr;
  for (int32_t i = 0; i < vlist->count; ++i) {
    if (Hub_VlistPair* pair = PairAt(vlist, i)) keys[(*count)++] = pair->key;
  }
  return keys;
}
