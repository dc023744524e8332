// Symbols and text utilities of the hub protocol library.
//
// Frame names and property keys are interned: every distinct text becomes one
// symbol for the life of the process, so names and keys compare as pointers.
// The symbol table is a chained hash table of 50000 buckets, set up on the
// first intern; its entries come from the symbol repository and are never
// freed. Interning is guarded by the table's lock, so threads may intern at
// once.
#pragma once
#include <cstddef>
#include <cstdint>

struct Hub_Object;
struct Hub_Vlist;

// One entry of the symbol table. A symbol is a pointer to its entry.
struct Hub_SymbolEntry {
  uint8_t marks[2];   // 2 and 0 when made
  char* name;         // a copy of the text, owned by the entry
  uint32_t length;    // of the name, in bytes
  Hub_Object* value;  // null for symbols
  int32_t slot;       // the repository's number for the record
  Hub_SymbolEntry* nextInBucket;
  Hub_SymbolEntry* nextInTable;  // every entry, newest first
  Hub_Vlist* vlist;              // made with the symbol
};
typedef Hub_SymbolEntry* Hub_Symbol;

// Creates the symbol repository and the locks of this module (once, from
// Hub_InitializeStatics).
void Hub_InitSymbolRepository();

// The symbol of the text; null for a null or empty text. Fatal before
// Hub_InitializeStatics ("Symbol memory not initialized; ...").
Hub_Symbol Hub_Intern(const char* text);
// The same for the text of `length` bytes (not terminated; it ends at a NUL
// byte within them).
Hub_Symbol Hub_InternBytes(const char* bytes, size_t length);
// The symbol's text (owned by the symbol), or null for null.
const char* Hub_SymbolName(Hub_Symbol symbol);
// The length of the symbol's text; 0 for null.
uint32_t Hub_SymbolLength(Hub_Symbol symbol);

// True when both texts are non-null and byte-wise equal.
bool Hub_TextEqual(const char* a, const char* b);

// strtok's behaviour with each thread's own position: the next token of
// `text`, or with null text the next token of the text this thread gave last.
// Sets *state to null. Modifies the text.
char* Hub_Tokenize(char* text, const char* delimiters, char** state);

// The local host's IPv4 address in dotted form, found once and kept in static
// storage; null when it cannot be found. Fatal before Hub_InitializeStatics.
const char* Hub_LocalHostAddress();
