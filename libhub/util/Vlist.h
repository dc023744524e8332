// Vlists: growable arrays of words, taken from the vlist repository. Used as
// stacks, and as key/value lists whose entries point to Hub_VlistPair records.
//
// Slots past the count are always zero. A vlist grows to 2 × capacity + 20
// slots when a push finds it full. A vlist given back keeps its array for the
// next Hub_MakeVlist from the same record. Vlists are not locked: one user at
// a time.
#pragma once
#include <cstdint>

struct Hub_Vlist {
  uintptr_t* entries;  // the elements
  int32_t count;       // slots in use, from the start
  int32_t capacity;    // slots allocated
  uint32_t flags;      // 8 while made
};

// An entry of a key/value vlist; each pair is its own malloc'd allocation,
// which whoever empties the vlist frees with free(). A removed pair leaves a
// zero slot behind, which every pair operation skips; the count stays.
struct Hub_VlistPair {
  uintptr_t key;
  uintptr_t value;
};

// Creates the vlist repository (once, from Hub_InitializeStatics).
void Hub_InitVlistRepository();

// A vlist with count 0 and flags 8 (fatal before Hub_InitializeStatics), or
// null when no record could be had.
Hub_Vlist* Hub_MakeVlist();
// Zeroes every slot, sets count and flags to 0 and gives the record back.
void Hub_FreeVlist(Hub_Vlist* vlist);
// Replaces the array by a new zeroed one of that capacity (the old one is
// freed); count 0. 1, or 0 when memory runs out (nothing changes).
int Hub_VlistReserve(Hub_Vlist* vlist, int32_t capacity);

// The array and (when asked for) its count.
uintptr_t* Hub_VlistEntries(Hub_Vlist* vlist, int32_t* count);
// Appends a word to a full vlist, growing it: 1, or 0 when memory runs out.
int Hub_VlistGrowAndPush(Hub_Vlist* vlist, uintptr_t word);

// Appends a word: 1, or 0 when memory runs out (nothing changes).
inline int Hub_VlistPush(Hub_Vlist* vlist, uintptr_t word) {
  if (vlist->count >= vlist->capacity) return Hub_VlistGrowAndPush(vlist, word);
  vlist->entries[vlist->count++] = word;
  return 1;
}
// Removes and returns the last word; 0 when empty.
inline uintptr_t Hub_VlistPop(Hub_Vlist* vlist) {
  if (vlist->count == 0) return 0;
  uintptr_t word = vlist->entries[--vlist->count];
  vlist->entries[vlist->count] = 0;
  return word;
}
int32_t Hub_VlistCount(const Hub_Vlist* vlist);

// Key/value operations; keys compare as words.
// The value of the first pair with the key, or 0.
uintptr_t Hub_VlistGet(const Hub_Vlist* vlist, uintptr_t key);
// Replaces the value of the key's pair, or appends a new pair; returns value
// (0 when a new pair could not be allocated).
uintptr_t Hub_VlistSet(Hub_Vlist* vlist, uintptr_t key, uintptr_t value);
// Frees the key's pair, zeroes its slot and returns its value (0 when absent).
uintptr_t Hub_VlistRemove(Hub_Vlist* vlist, uintptr_t key);
// With `all`, the number of pairs; without it, the pairs whose value is not 0.
int32_t Hub_VlistPairCount(const Hub_Vlist* vlist, int all);
// A new malloc'd array of the keys in slot order (caller frees), or null with
// *count 0 when there are none.
uintptr_t* Hub_VlistKeys(const Hub_Vlist* vlist, int32_t* count);
