// Dispatch tables and key signatures of the hub protocol library.
//
// A server offers named operations. Its dispatch table lists, for each one,
// the name, the function that serves it and its signature: which keys the
// incoming frame and the reply should carry, whether other keys are allowed,
// and whether the operation replies at all. The library finds operations by
// name when a message arrives, checks frames against the signatures when the
// server validates ("-validate"), and sends the signatures to the hub in the
// handshake as a list of typed objects.
//
// Ownership: a table owns its entries' names, their signatures (names and key
// lists) and its signature list object; the caller's key lists are copied.
// Tables, entries and key lists are plain allocations (not repository
// records); running out of memory is fatal. Tables are not locked: they are
// built before the server starts and only read afterwards.
#pragma once
#include <cstdint>

struct Hub_Frame;
struct Hub_Object;
struct Hub_CallEnvironment;
struct Hub_DispatchTable;

// Allow-other codes: only 3 refuses keys outside the list; the library's own
// operations use 2.
enum {
  HUB_OTHER_KEYS_ALLOWED = 2,
  HUB_OTHER_KEYS_NOT_PERMITTED = 3,
};

// Reply kinds.
enum {
  HUB_REPLY_FRAME = 4,   // a reply frame is required
  HUB_REPLY_NONE = 5,    // no reply frame
  HUB_REPLY_EITHER = 6,  // a frame or none
};

// One key of a signature. A list of them ends with a requirement whose key is null.
struct Hub_KeyRequirement {
  char* key;         // owned
  int32_t type;      // 0: any type; else a Hub_ObjectType code (8 to 10: a frame of that kind)
  int32_t optional;  // 0: obligatory
};

struct Hub_DispatchSignature {
  char* name;                      // owned; null ends an array of signatures
  Hub_KeyRequirement* inputKeys;   // owned, or null
  int32_t allowOtherInput;         // HUB_OTHER_KEYS_NOT_PERMITTED or another value
  int32_t replyKind;               // HUB_REPLY_FRAME, HUB_REPLY_NONE or HUB_REPLY_EITHER
  Hub_KeyRequirement* outputKeys;  // owned, or null
  int32_t allowOtherOutput;
};

// An operation: the incoming frame (the library's) and the call environment;
// gives the reply frame or null.
typedef Hub_Frame* (*Hub_DispatchFunction)(Hub_Frame* frame, Hub_CallEnvironment* env);

struct Hub_DispatchEntry {
  char* name;                     // owned; null ends the entry array
  Hub_DispatchFunction function;  // may be null: the operation gives no reply
  Hub_DispatchSignature signature;
  uintptr_t extra;  // 0 for appended entries
};

// One look-up: the table, the operation asked for, and the entry the table's
// find function found (null until then). The record goes on to the invoke
// function, so a table with functions of its own can pass what it found.
struct Hub_DispatchLookup {
  Hub_DispatchTable* table;
  const char* operation;  // the caller's text
  Hub_DispatchEntry* entry;
};

// The table's three replaceable functions; `lookup->table->data` is theirs.
// find: 1 when found (setting lookup->entry), else 0.
typedef int (*Hub_DispatchFindFunction)(Hub_DispatchLookup* lookup);
typedef Hub_Frame* (*Hub_DispatchInvokeFunction)(Hub_DispatchLookup* lookup, Hub_Frame* frame,
                                                 Hub_CallEnvironment* env);
// list: a new array of signatures ended by an empty one, freed with
// Hub_FreeSignatureArray.
typedef Hub_DispatchSignature* (*Hub_DispatchListFunction)(Hub_DispatchTable* table);

struct Hub_DispatchTable {
  Hub_DispatchEntry* entries;  // `count` entries, then an empty one
  int32_t count;
  int32_t capacity;                   // 10 at creation, grown by 10
  Hub_Object* signatureList;          // built on first demand; dropped when an entry is added
  Hub_DispatchFindFunction find;      // default: the entry named exactly as asked
  Hub_DispatchInvokeFunction invoke;  // default: Hub_DefaultInvoke
  Hub_DispatchListFunction list;      // default: a copy of every entry's signature
  void* data;                         // for the three functions; none by default
};

// Keys that the message machinery itself reads or adds: never "not permitted"
// when the dispatcher validates. Ends with null.
extern const char* const Hub_DispatchExemptKeys[];

// ---- tables ----

// An empty table: capacity 10, the default functions.
Hub_DispatchTable* Hub_CreateDispatchTable();
// Frees every entry's name and signature, the signature list object, the
// entry array and the table. Null is ignored.
void Hub_FreeDispatchTable(Hub_DispatchTable* table);

// Appends an operation and gives the table (a new one when `table` is null).
// The name and both key lists are copied; the signature carries the same
// name. When count + 2 would exceed the capacity, the capacity grows by 10.
// A null name is refused with a warning and the table comes back unchanged.
Hub_DispatchTable* Hub_AppendDispatchEntry(Hub_DispatchTable* table, const char* name,
                                           Hub_DispatchFunction function,
                                           const Hub_KeyRequirement* inputKeys, int allowOtherInput,
                                           int replyKind, const Hub_KeyRequirement* outputKeys,
                                           int allowOtherOutput);

// ---- look-up and calls ----

// Fills `lookup` and asks the table's find function: 1 when the operation was
// found (lookup->entry set), else 0. A null table or name finds nothing.
int Hub_FindOperation(Hub_DispatchTable* table, const char* operation, Hub_DispatchLookup* lookup);
// Calls the found operation through its table's invoke function; null when
// nothing was found.
Hub_Frame* Hub_InvokeOperation(Hub_DispatchLookup* lookup, Hub_Frame* frame,
                               Hub_CallEnvironment* env);
// The default invoke: with a function, prints "Invoking dispatch function: %s\n"
// (information, verbosity 3) and gives the function's result; without one,
// null. This is the only place the line is printed for a call.
Hub_Frame* Hub_DefaultInvoke(Hub_DispatchLookup* lookup, Hub_Frame* frame,
                             Hub_CallEnvironment* env);
// The extra word of the operation of that name (through the find function);
// 0 when there is none.
uintptr_t Hub_DispatchEntryData(Hub_DispatchTable* table, const char* operation);

// ---- signatures ----

// The table's signatures through its list function (null for a null table).
Hub_DispatchSignature* Hub_ListDispatchSignatures(Hub_DispatchTable* table);
// Frees every signature of the array (names, key lists), then the array.
void Hub_FreeSignatureArray(Hub_DispatchSignature* signatures);
// A copy of one signature with its own name and key lists, freed with
// Hub_FreeSignatureContents (which empties the record).
Hub_DispatchSignature Hub_CopySignature(const Hub_DispatchSignature& signature);
void Hub_FreeSignatureContents(Hub_DispatchSignature* signature);

// The signature list object, built on first demand and owned by the table:
// a list with one six-element list per signature (name, input key list,
// allow-other-input, reply kind, output key list, allow-other-output), each
// key list a list of (key, type code, optional flag) lists. A missing key list
// is an empty list. Null for a null table.
Hub_Object* Hub_DispatchTableSignatureList(Hub_DispatchTable* table);
// What the handshake frame stores under ":signatures": a new copy of the list
// above that the caller owns; an empty list for a null table. Never holds a
// null member.
Hub_Object* Hub_CopySignatureList(Hub_DispatchTable* table);
// Reads a signature list object back: a new array ended by an empty
// signature, freed with Hub_FreeSignatureArray. An empty key list reads as
// none. A list of the wrong shape (or null) reads as no signatures.
Hub_DispatchSignature* Hub_SignaturesFromList(const Hub_Object* list);

// ---- key lists ----

// A copy of the list (every key name copied); null for null.
Hub_KeyRequirement* Hub_CopyKeyRequirements(const Hub_KeyRequirement* keys);
// Frees every key name and the list. Null is ignored.
void Hub_FreeKeyRequirements(Hub_KeyRequirement* keys);

// ---- checks ----
// Warnings only: nothing is refused or changed. `exemptKeys` (ending with
// null, may be null) are never "not permitted". Each gives the number of
// warnings printed.

// The frame against the input keys ("input").
int Hub_CheckOperationInput(const char* operation, const Hub_Frame* frame,
                            const Hub_DispatchSignature* signature, const char* const* exemptKeys);
// The reply (frame or null) against the reply kind and the output keys ("reply").
int Hub_CheckOperationReply(const char* operation, const Hub_Frame* reply,
                            const Hub_DispatchSignature* signature, const char* const* exemptKeys);
