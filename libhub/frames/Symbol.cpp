#include "libhub/frames/Symbol.h"

#include <cstdlib>
#include <cstring>

#include "libhub/util/Mutex.h"
#include "libhub/util/Print.h"
#include "libhub/util/Repository.h"
#include "libhub/util/Sock.h"
#include "libhub/util/Thread.h"
#include "libhub/util/Vlist.h"

namespace {

constexpr int32_t kBucketCount = 50000;
constexpr uint32_t kMultiplier = kBucketCount / 100 - 1;
constexpr uint32_t kModulus = kBucketCount - 1;
// Each thread remembers the symbols it interned last, in slots chosen by a
// few bytes of the text: a name met again (the keys of every message) is
// found without hashing it or taking the table's lock. Symbols live as long as
// the process.
constexpr uint32_t kRecentSlots = 256;
thread_local Hub_SymbolEntry* t_recent[kRecentSlots];

uint32_t RecentSlot(const char* text, size_t length) {
  if (length == 0) return 0;
  auto byte = [text](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(text[i])); };
  return (static_cast<uint32_t>(length) * 31 + byte(0) * 7 + byte(length / 2) * 3 +
          byte(length - 1)) %
         kRecentSlots;
}

// The symbol table: chained buckets, and every entry newest first.
struct SymbolTable {
  Hub_SymbolEntry** buckets;  // kBucketCount of them
  Hub_SymbolEntry* allEntries;
};

Hub_Repository* g_symbols = nullptr;
HubUtil_LocalMutex* g_internLock = nullptr;
HubUtil_LocalMutex* g_hostLock = nullptr;
SymbolTable* g_table = nullptr;

// h = h × multiplier + c over the text's bytes taken as signed, modulo the
// modulus (so the last bucket stays empty). The text ends at `*length` bytes
// or at a NUL byte before, which then becomes its length.
uint32_t BucketOf(const char* text, size_t* length) {
  uint32_t h = 0;
  size_t i = 0;
  for (; i < *length && text[i]; ++i) {
    h = h * kMultiplier +
        static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(text[i])));
  }
  *length = i;
  return h % kModulus;
}

bool Names(const Hub_SymbolEntry* entry, const char* text, size_t length) {
  return entry->length == length && memcmp(entry->name, text, length) == 0;
}

SymbolTable* MakeTable() {
  auto* table = static_cast<SymbolTable*>(calloc(1, sizeof(SymbolTable)));
  auto* buckets = static_cast<Hub_SymbolEntry**>(calloc(kBucketCount, sizeof(Hub_SymbolEntry*)));
  HubUtil_Assert(table && buckets, "Error alloc'ing memory for the symbol table");
  table->buckets = buckets;
  return table;
}

Hub_SymbolEntry* Find(const SymbolTable* table, uint32_t bucket, const char* text,
                      size_t length) {
  for (Hub_SymbolEntry* e = table->buckets[bucket]; e; e = e->nextInBucket) {
    if (Names(e, text, length)) return e;
  }
  return nullptr;
}

// A new entry for the text at the head of its bucket and of the table; null
// when memory runs out.
Hub_SymbolEntry* AddEntry(SymbolTable* table, uint32_t bucket, const char* text, size_t length) {
  int32_t slot = -1;
  auto* entry = static_cast<Hub_SymbolEntry*>(Hub_RepositoryTake(g_symbols, &slot));
  if (!entry) return nullptr;
  char* name = strndup(text, length);
  if (!name) {
    Hub_RepositoryGive(g_symbols, entry);
    return nullptr;
  }
  entry->marks[0] = 2;
  entry->marks[1] = 0;
  entry->name = name;
  entry->length = static_cast<uint32_t>(length);
  entry->value = nullptr;
  entry->slot = slot;
  entry->vlist = Hub_MakeVlist();
  entry->nextInBucket = table->buckets[bucket];
  table->buckets[bucket] = entry;
  entry->nextInTable = table->allEntries;
  table->allEntries = entry;
  return entry;
}

}  // namespace

void Hub_InitSymbolRepository() {
  g_symbols = Hub_CreateRepository(sizeof(Hub_SymbolEntry), 1000);
  g_internLock = HubUtil_CreateLocalMutex();
  g_hostLock = HubUtil_CreateLocalMutex();
}

Hub_Symbol Hub_Intern(const char* text) {
  return text ? Hub_InternBytes(text, strlen(text)) : nullptr;
}

Hub_Symbol Hub_InternBytes(const char* bytes, size_t length) {
  if (!bytes) return nullptr;
  // A text with a NUL byte inside never equals a remembered name.
  Hub_SymbolEntry*& recent = t_recent[RecentSlot(bytes, length)];
  if (recent && Names(recent, bytes, length)) return recent;
  uint32_t bucket = BucketOf(bytes, &length);
  if (length == 0) return nullptr;
  if (!g_symbols) HubUtil_PrintFatal("Symbol memory not initialized; call Hub_InitializeStatics()");
  // One lock around look-up and insertion: two threads interning one text
  // must get the same symbol, or keyed look-ups would miss.
  HubUtil_LockMutex(g_internLock);
  if (!g_table) g_table = MakeTable();
  Hub_SymbolEntry* entry = Find(g_table, bucket, bytes, length);
  if (!entry) entry = AddEntry(g_table, bucket, bytes, length);
  HubUtil_UnlockMutex(g_internLock);
  if (entry) recent = entry;
  return entry;
}

const char* Hub_SymbolName(Hub_Symbol symbol) { return symbol ? symbol->name : nullptr; }

uint32_t Hub_SymbolLength(Hub_Symbol symbol) { return symbol ? symbol->length : 0; }

bool Hub_TextEqual(const char* a, const char* b) { return a && b && strcmp(a, b) == 0; }

char* Hub_Tokenize(char* text, const char* delimiters, char** state) {
  // strtok keeps one position for the whole process; each thread keeps its own
  // here, so that threads tokenizing at once do not disturb each other.
  thread_local char* position = nullptr;
  if (state) *state = nullptr;
  return strtok_r(text, delimiters, &position);
}

const char* Hub_LocalHostAddress() {
  static char address[HUBUTIL_IPV4_TEXT_SIZE];
  static bool found = false;
  if (!g_hostLock) HubUtil_PrintFatal("Symbol memory not initialized; call Hub_InitializeStatics()");
  HubUtil_ThreadPushCleanup(HubUtil_UnlockCleanup, g_hostLock);
  HubUtil_LockMutex(g_hostLock);
  if (!found) {
    // Room for the longest host name the system allows and its terminator.
    char host[256] = {0};
    uint32_t ip = 0;
    if (HubUtil_LocalHostName(host, sizeof host) && HubUtil_ResolveHost(host, &ip)) {
      HubUtil_FormatIPv4(ip, address);
      found = true;
    }
  }
  HubUtil_ThreadPopCleanup(1);
  return found ? address : nullptr;
}
