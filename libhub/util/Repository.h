// Memory repositories: pools of fixed-size records, allocated a block at a time
// and recycled through a free list.
//
// A record is handed out as it was given back: nothing is cleared on reuse, so
// the maker of each record type sets every field it relies on. Blocks are never
// freed. Every operation holds the repository's own lock, a short spin lock:
// it is held only for a few instructions and nothing inside waits.
//
// Built with HUB_PLAIN_ALLOCATION (the sanitizer build), every record is its
// own allocation, freed when given back, so that the sanitizers see any use of
// a record after it was given back; slot numbers and counts stay the same.
#pragma once
#include <atomic>
#include <cstdint>

struct Hub_Vlist;

struct Hub_Repository {
  std::atomic<bool> lock;   // held while true
  int32_t nextSlot;         // handed to the next record taken; starts at 1
  int32_t inUse;            // records currently taken
  int32_t takenInAll;       // take requests ever made
  Hub_Vlist* freeList;      // records available for reuse; made on the first take
  void** blocks;            // every block, in order of allocation
  int32_t blockCount;
  int32_t recordsPerBlock;
  uint32_t recordSize;
};

// A new, empty repository (no blocks yet).
Hub_Repository* Hub_CreateRepository(uint32_t recordSize, int32_t recordsPerBlock);
// The same with a free list given by the caller (the vlist repository's own,
// which cannot come from itself).
Hub_Repository* Hub_CreateRepositoryWithFreeList(uint32_t recordSize, int32_t recordsPerBlock,
                                                 Hub_Vlist* freeList);

// A record, or null when none could be had. *slot (when asked for) receives the
// record's slot number, or -1 without a record. The first take from a new
// repository gives the last record of the first block.
void* Hub_RepositoryTake(Hub_Repository* repository, int32_t* slot);
// Gives a taken record back. Giving one back twice is fatal.
void Hub_RepositoryGive(Hub_Repository* repository, void* record);

// True when repositories allocate each record on its own (HUB_PLAIN_ALLOCATION):
// records given back are freed, so vlists and buffers do not keep storage in them.
bool Hub_RepositoriesUsePlainAllocation();
