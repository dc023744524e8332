// Frames: the messages of the hub protocol. A frame has a kind (topic, clause,
// predicate), a name symbol, properties (interned keys to objects) and an
// ordered list of predicates (objects, normally frames of kind predicate).
//
// A frame owns the objects stored in it: replacing a property destroys the old
// object (unless it is the very object stored again), deleting destroys,
// removing hands the object to the caller. A frame with many properties keeps
// an index of its keys, so that setting and finding a property does not walk
// the list. Frame records come from the frame
// repository (fatal before Hub_InitializeStatics); a record keeps its
// predicate array for the next frame made from it. Frames are not locked.
#pragma once
#include <cstdint>

#include "libhub/frames/Object.h"

struct Hub_Vlist;
struct Hub_PropertyIndex;

enum Hub_FrameKind {
  HUB_KIND_TOPIC = 1,
  HUB_KIND_CLAUSE = 2,
  HUB_KIND_PREDICATE = 3,
};

struct Hub_Frame {
  int32_t kind;           // Hub_FrameKind; 0 in a record just taken or returned
  Hub_Symbol name;        // null when made without a name
  Hub_Vlist* properties;  // Hub_VlistPair{key symbol, Hub_Object*}; made on first use
  Hub_PropertyIndex* propertyIndex;  // key to slot; made once the list is long
  int32_t predicateCount;
  int32_t predicateCapacity;
  Hub_Object** predicates;  // frame objects owning predicate frames, in order
  uint32_t flags;           // bit 0 while the record is in use
  int32_t slot;             // the repository's number for the record
};

// Creates the frame repository (once, from Hub_InitializeStatics).
void Hub_InitFrameRepository();

// ---- making, copying, destroying ----

// A frame of kind 1 to 3 with the name interned (null or empty: no name);
// another kind warns "Found invalid frame type %d while trying to make frame\n"
// and gives null.
Hub_Frame* Hub_MakeFrameOfKind(const char* name, int kind);
Hub_Frame* Hub_MakeFrame(const char* name);  // a clause
// A record from the repository: kind 0, no name, no properties or predicates.
Hub_Frame* Hub_AllocateFrame();
// Same kind and name, deep copies of every property and predicate; null for null.
Hub_Frame* Hub_CopyFrame(const Hub_Frame* frame);
// Destroys the frame and every object in it. A record not in use is left alone
// after "Attempting to free unregistered nframe\n".
void Hub_DestroyFrame(Hub_Frame* frame);
void Hub_DestroyFrameAtDepth(Hub_Frame* frame, int level);

// ---- identity ----

const char* Hub_FrameName(const Hub_Frame* frame);  // null when none
Hub_Symbol Hub_FrameNameSymbol(const Hub_Frame* frame);
void Hub_SetFrameName(Hub_Frame* frame, const char* name);
int Hub_FrameKind(const Hub_Frame* frame);  // 0 for null
void Hub_SetFrameKind(Hub_Frame* frame, int kind);
bool Hub_FrameIsTopic(const Hub_Frame* frame);
bool Hub_FrameIsClause(const Hub_Frame* frame);
bool Hub_FrameIsPredicate(const Hub_Frame* frame);
bool Hub_FrameNameIs(const Hub_Frame* frame, const char* name);
bool Hub_FramesHaveSameName(const Hub_Frame* a, const Hub_Frame* b);

// ---- properties ----

// Stores the object under the key (raising its use count), destroying an object
// the key held before unless it is this one. Returns the object; null for a
// null frame, or for a null or empty key (after a warning; the object stays
// the caller's).
Hub_Object* Hub_SetFrameProperty(Hub_Frame* frame, const char* key, Hub_Object* object);
// Hub_SetFrameProperty with an interned key (a null key gets the warning).
Hub_Object* Hub_StoreFrameProperty(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object);
// The same for a key the caller knows the frame does not hold: it is appended
// without looking for it. Null for a null frame or key, or when memory runs out.
Hub_Object* Hub_AppendFrameProperty(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object);
// The same without the warning and without touching the use count.
Hub_Object* Hub_SetFramePropertyBySymbol(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object);
Hub_Object* Hub_GetFrameObject(const Hub_Frame* frame, const char* key);
Hub_Object* Hub_FramePropertyBySymbol(const Hub_Frame* frame, Hub_Symbol key);
uintptr_t Hub_GetFrameValue(const Hub_Frame* frame, const char* key);  // unchecked
// Takes the property out; its object goes to the caller. Null when absent.
Hub_Object* Hub_RemoveFrameProperty(Hub_Frame* frame, const char* key);
// Takes the property out and destroys its object; true when there was one.
bool Hub_DeleteFrameProperty(Hub_Frame* frame, const char* key);
int32_t Hub_FramePropertyCount(const Hub_Frame* frame);  // pairs present
int32_t Hub_FrameValueCount(const Hub_Frame* frame);     // pairs with an object
// A new malloc'd array of the key texts (the caller frees the array only), or
// null with *count 0.
const char** Hub_FramePropertyKeys(const Hub_Frame* frame, int32_t* count);
Hub_Symbol* Hub_FramePropertyKeySymbols(const Hub_Frame* frame, int32_t* count);
// Calls fn(key, object, argument) for each property in list order until one
// returns 0 (then 0, else 1). A property without an object is skipped with the
// warning "Skipping key %s with NULL value while applying function to frame
// properties".
typedef int (*Hub_PropertyFunction)(const char* key, Hub_Object* object, void* argument);
int Hub_ApplyToFrameProperties(const Hub_Frame* frame, Hub_PropertyFunction fn, void* argument);
// Deletes each listed key (null-terminated array, may be null) from the
// target, then stores a deep copy of each property of the source (may be null).
void Hub_UpdateFrame(Hub_Frame* target, const Hub_Frame* source, const char* const* keys);

// ---- typed property getters: a missing key gives the empty result silently,
// a value of another type after the warning ----

Hub_Frame* Hub_GetFrameFrame(const Hub_Frame* frame, const char* key);
Hub_Frame* Hub_GetFrameTopic(const Hub_Frame* frame, const char* key);
const char* Hub_GetFrameString(const Hub_Frame* frame, const char* key);
int32_t Hub_GetFrameInt(const Hub_Frame* frame, const char* key);
float Hub_GetFrameFloat(const Hub_Frame* frame, const char* key);
Hub_Object** Hub_GetFrameList(const Hub_Frame* frame, const char* key, int32_t* count);
void* Hub_GetFrameBinary(const Hub_Frame* frame, const char* key, int32_t* size);
void* Hub_GetFrameInt16Array(const Hub_Frame* frame, const char* key, int32_t* count);
void* Hub_GetFrameInt32Array(const Hub_Frame* frame, const char* key, int32_t* count);
void* Hub_GetFrameInt64Array(const Hub_Frame* frame, const char* key, int32_t* count);
void* Hub_GetFrameFloat32Array(const Hub_Frame* frame, const char* key, int32_t* count);
void* Hub_GetFrameFloat64Array(const Hub_Frame* frame, const char* key, int32_t* count);
Hub_BrokerProxy* Hub_GetFrameProxy(const Hub_Frame* frame, const char* key);

// ---- predicates ----

// Appends a frame of kind predicate (wrapped in a frame object that owns it)
// and returns it. Another kind is refused: warning "Not add non-predicate
// frame to frame predicate list", the frame logged at level 2, null, the frame
// stays the caller's.
Hub_Frame* Hub_AddPredicate(Hub_Frame* frame, Hub_Frame* predicate);
// Appends any object (the frame takes it over); returns it.
Hub_Object* Hub_AppendPredicateObject(Hub_Frame* frame, Hub_Object* object);
int32_t Hub_PredicateCount(const Hub_Frame* frame);
Hub_Object* Hub_PredicateObject(const Hub_Frame* frame, int32_t index);
Hub_Frame* Hub_PredicateFrame(const Hub_Frame* frame, int32_t index);
// Takes the predicate out (later ones move down) and hands its object over.
Hub_Object* Hub_RemovePredicate(Hub_Frame* frame, int32_t index);
void Hub_DeletePredicate(Hub_Frame* frame, int32_t index);
Hub_Frame* Hub_FindPredicate(const Hub_Frame* frame, const char* name);
Hub_Object* Hub_RemovePredicateByName(Hub_Frame* frame, const char* name);
void Hub_DeletePredicatesByName(Hub_Frame* frame, Hub_Symbol name);
void Hub_ClearPredicates(Hub_Frame* frame);
// Calls fn(object, argument) for each predicate in order until one returns 0.
typedef int (*Hub_PredicateFunction)(Hub_Object* predicate, void* argument);
void Hub_ApplyToPredicates(const Hub_Frame* frame, Hub_PredicateFunction fn, void* argument);

// ---- comparison ----

// One-sided: same name; every property of b equal in a; every predicate of a
// equal to one of b. Kinds are not compared.
bool Hub_FramesAreEqual(const Hub_Frame* a, const Hub_Frame* b);
// Names equal unless either is "*"; a pattern of kind 1 to 3 needs the same
// kind; every property of the pattern matched in the candidate. Predicates are
// not compared.
bool Hub_FrameMatchesPattern(const Hub_Frame* candidate, const Hub_Frame* pattern);
