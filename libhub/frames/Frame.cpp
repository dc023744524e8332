#include "libhub/frames/Frame.h"

#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "libhub/frames/PrintUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Repository.h"
#include "libhub/util/Vlist.h"

struct Hub_PropertyIndex {
  std::unordered_map<Hub_Symbol, int32_t> slots;
};

namespace {

const char* const kLocation = "libhub/frames/nframe";
// A property list this long gets an index of its keys.
constexpr int32_t kIndexedFrom = 16;
constexpr uint32_t kRegistered = 1;
Hub_Repository* g_frames = nullptr;

Hub_VlistPair* PairAt(const Hub_Vlist* properties, int32_t i) {
  return reinterpret_cast<Hub_VlistPair*>(properties->entries[i]);
}

Hub_Symbol KeyOf(const Hub_VlistPair* pair) { return reinterpret_cast<Hub_Symbol>(pair->key); }
Hub_Object* ValueOf(const Hub_VlistPair* pair) {
  return reinterpret_cast<Hub_Object*>(pair->value);
}

int32_t SlotCount(const Hub_Frame* frame) {
  return frame && frame->properties ? frame->properties->count : 0;
}

// The slot of the key's pair, or -1.
int32_t FindSlot(const Hub_Frame* frame, Hub_Symbol key) {
  if (frame->propertyIndex) {
    auto found = frame->propertyIndex->slots.find(key);
    return found == frame->propertyIndex->slots.end() ? -1 : found->second;
  }
  for (int32_t i = 0; i < SlotCount(frame); ++i) {
    Hub_VlistPair* pair = PairAt(frame->properties, i);
    if (pair && KeyOf(pair) == key) return i;
  }
  return -1;
}

void IndexProperties(Hub_Frame* frame) {
  frame->propertyIndex = new Hub_PropertyIndex;
  for (int32_t i = 0; i < SlotCount(frame); ++i) {
    if (Hub_VlistPair* pair = PairAt(frame->properties, i)) {
      frame->propertyIndex->slots[KeyOf(pair)] = i;
    }
  }
}

// Appends a new pair: false when memory runs out.
bool AppendPair(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object) {
  auto* pair = static_cast<Hub_VlistPair*>(malloc(sizeof(Hub_VlistPair)));
  if (!pair) return false;
  *pair = {reinterpret_cast<uintptr_t>(key), reinterpret_cast<uintptr_t>(object)};
  if (!Hub_VlistPush(frame->properties, reinterpret_cast<uintptr_t>(pair))) {
    free(pair);
    return false;
  }
  if (frame->propertyIndex) {
    frame->propertyIndex->slots[key] = frame->properties->count - 1;
  } else if (frame->properties->count >= kIndexedFrom) {
    IndexProperties(frame);
  }
  return true;
}

// Stores the object under the key, destroying what the key held unless it is
// this very object. Null when the property list cannot be made or grown.
Hub_Object* StoreProperty(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object) {
  if (!frame->properties) frame->properties = Hub_MakeVlist();
  if (!frame->properties) return nullptr;
  int32_t slot = FindSlot(frame, key);
  if (slot < 0) return AppendPair(frame, key, object) ? object : nullptr;
  Hub_VlistPair* pair = PairAt(frame->properties, slot);
  auto* old = ValueOf(pair);
  if (old != object) {
    Hub_DestroyObject(old);
    pair->value = reinterpret_cast<uintptr_t>(object);
  }
  return object;
}

bool InRange(const Hub_Frame* frame, int32_t index) {
  return frame && index >= 0 && index < frame->predicateCount;
}

// Appends a predicate object, growing the array to 2 × capacity + 10 slots
// when it is full. False when memory runs out.
bool AppendPredicate(Hub_Frame* frame, Hub_Object* object) {
  if (frame->predicateCount == frame->predicateCapacity) {
    int32_t capacity = 2 * frame->predicateCapacity + 10;
    auto* grown = static_cast<Hub_Object**>(calloc(capacity, sizeof(Hub_Object*)));
    if (!grown) return false;
    if (frame->predicateCount > 0) {
      memcpy(grown, frame->predicates, frame->predicateCount * sizeof(Hub_Object*));
    }
    free(frame->predicates);
    frame->predicates = grown;
    frame->predicateCapacity = capacity;
  }
  frame->predicates[frame->predicateCount++] = object;
  return true;
}

Hub_Frame* PredicateFrameOf(const Hub_Object* object) {
  return Hub_IsFrameObject(object) ? reinterpret_cast<Hub_Frame*>(object->value) : nullptr;
}

int32_t FindPredicateIndex(const Hub_Frame* frame, Hub_Symbol name) {
  if (!frame || !name) return -1;
  for (int32_t i = 0; i < frame->predicateCount; ++i) {
    Hub_Frame* predicate = PredicateFrameOf(frame->predicates[i]);
    if (predicate && predicate->name == name) return i;
  }
  return -1;
}

void DestroyProperties(Hub_Frame* frame, int level) {
  if (!frame->properties) return;
  for (int32_t i = 0; i < frame->properties->count; ++i) {
    Hub_VlistPair* pair = PairAt(frame->properties, i);
    if (!pair) continue;
    Hub_DestroyObjectAtDepth(ValueOf(pair), level + 1);
    free(pair);
    frame->properties->entries[i] = 0;
  }
  Hub_FreeVlist(frame->properties);
  frame->properties = nullptr;
  delete frame->propertyIndex;
  frame->propertyIndex = nullptr;
}

// Every pair of `pattern` with an object finds an object under its key in
// `frame` that `same` accepts.
template <typename Same>
bool PropertiesFoundIn(const Hub_Frame* frame, const Hub_Frame* pattern, Same same) {
  for (int32_t i = 0; i < SlotCount(pattern); ++i) {
    Hub_VlistPair* pair = PairAt(pattern->properties, i);
    if (!pair || !ValueOf(pair)) continue;
    Hub_Object* found = Hub_FramePropertyBySymbol(frame, KeyOf(pair));
    if (!found || !same(found, ValueOf(pair))) return false;
  }
  return true;
}

// The keys of every pair, converted, in a new malloc'd array.
template <typename Key>
Key* KeysOf(const Hub_Frame* frame, int32_t* count, Key (*convert)(Hub_Symbol)) {
  int32_t found = 0;
  uintptr_t* keys = frame && frame->properties ? Hub_VlistKeys(frame->properties, &found) : nullptr;
  Key* result = nullptr;
  if (keys && found > 0) {
    result = static_cast<Key*>(calloc(found, sizeof(Key)));
    HubUtil_Assert(result != nullptr, "Error alloc'ing memory for frame keys");
    for (int32_t i = 0; i < found; ++i) result[i] = convert(reinterpret_cast<Hub_Symbol>(keys[i]));
  }
  free(keys);
  if (count) *count = result ? found : 0;
  return result;
}

Hub_Symbol SameSymbol(Hub_Symbol symbol) { return symbol; }

}  // namespace

void Hub_InitFrameRepository() { g_frames = Hub_CreateRepository(sizeof(Hub_Frame), 1000); }

// ---- making, copying, destroying ----

Hub_Frame* Hub_AllocateFrame() {
  if (!g_frames) HubUtil_PrintFatal("Frame memory not initialized; call Hub_InitializeStatics()");
  int32_t slot = -1;
  auto* frame = static_cast<Hub_Frame*>(Hub_RepositoryTake(g_frames, &slot));
  if (!frame) {
    HubUtil_PrintWarningAt(kLocation, "Hub_Frame allocation error");
    return nullptr;
  }
  // The predicate array and its capacity stay from the record's last use.
  frame->kind = 0;
  frame->name = nullptr;
  frame->properties = nullptr;
  frame->propertyIndex = nullptr;
  frame->predicateCount = 0;
  frame->flags = kRegistered;
  frame->slot = slot;
  return frame;
}

Hub_Frame* Hub_MakeFrameOfKind(const char* name, int kind) {
  if (kind != HUB_KIND_TOPIC && kind != HUB_KIND_CLAUSE && kind != HUB_KIND_PREDICATE) {
    HubUtil_PrintWarningAt(kLocation, "Found invalid frame type %d while trying to make frame\n",
                           kind);
    return nullptr;
  }
  Hub_Frame* frame = Hub_AllocateFrame();
  if (!frame) return nullptr;
  frame->kind = kind;
  frame->name = Hub_Intern(name);
  return frame;
}

Hub_Frame* Hub_MakeFrame(const char* name) { return Hub_MakeFrameOfKind(name, HUB_KIND_CLAUSE); }

Hub_Frame* Hub_CopyFrame(const Hub_Frame* frame) {
  if (!frame) return nullptr;
  Hub_Frame* copy = Hub_AllocateFrame();
  if (!copy) return nullptr;
  copy->kind = frame->kind;
  copy->name = frame->name;
  for (int32_t i = 0; i < SlotCount(frame); ++i) {
    Hub_VlistPair* pair = PairAt(frame->properties, i);
    if (pair) Hub_SetFramePropertyBySymbol(copy, KeyOf(pair), Hub_DeepCopyObject(ValueOf(pair)));
  }
  int32_t count = frame->predicateCount;
  if (count > 0) {
    // The record may bring an array from its last use: it is replaced, not leaked.
    free(copy->predicates);
    copy->predicates = static_cast<Hub_Object**>(calloc(count, sizeof(Hub_Object*)));
    HubUtil_Assert(copy->predicates != nullptr, "Error alloc'ing memory for frame predicates");
    copy->predicateCapacity = count;
    for (int32_t i = 0; i < count; ++i) {
      copy->predicates[i] = Hub_DeepCopyObject(frame->predicates[i]);
    }
    copy->predicateCount = count;
  }
  return copy;
}

void Hub_DestroyFrame(Hub_Frame* frame) { Hub_DestroyFrameAtDepth(frame, 1); }

void Hub_DestroyFrameAtDepth(Hub_Frame* frame, int level) {
  if (!frame) return;
  if (!(frame->flags & kRegistered)) {
    HubUtil_PrintAtLevel(-1, "Attempting to free unregistered nframe\n");
    return;
  }
  // Unregistered before its contents go, so that a frame reached again through
  // its own contents is not destroyed a second time.
  frame->flags = 0;
  DestroyProperties(frame, level);
  for (int32_t i = 0; i < frame->predicateCount; ++i) {
    Hub_DestroyObjectAtDepth(frame->predicates[i], level + 1);
    frame->predicates[i] = nullptr;
  }
  frame->predicateCount = 0;
  frame->kind = 0;
  frame->name = nullptr;
  if (Hub_RepositoriesUsePlainAllocation()) {
    free(frame->predicates);
    frame->predicates = nullptr;
    frame->predicateCapacity = 0;
  }
  Hub_RepositoryGive(g_frames, frame);
}

// ---- identity ----

const char* Hub_FrameName(const Hub_Frame* frame) {
  return frame ? Hub_SymbolName(frame->name) : nullptr;
}
Hub_Symbol Hub_FrameNameSymbol(const Hub_Frame* frame) { return frame ? frame->name : nullptr; }
void Hub_SetFrameName(Hub_Frame* frame, const char* name) {
  if (frame) frame->name = Hub_Intern(name);
}
int Hub_FrameKind(const Hub_Frame* frame) { return frame ? frame->kind : 0; }
void Hub_SetFrameKind(Hub_Frame* frame, int kind) {
  if (frame) frame->kind = kind;
}
bool Hub_FrameIsTopic(const Hub_Frame* frame) { return Hub_FrameKind(frame) == HUB_KIND_TOPIC; }
bool Hub_FrameIsClause(const Hub_Frame* frame) { return Hub_FrameKind(frame) == HUB_KIND_CLAUSE; }
bool Hub_FrameIsPredicate(const Hub_Frame* frame) {
  return Hub_FrameKind(frame) == HUB_KIND_PREDICATE;
}
bool Hub_FrameNameIs(const Hub_Frame* frame, const char* name) {
  Hub_Symbol symbol = frame ? Hub_Intern(name) : nullptr;
  return symbol && frame->name == symbol;
}
bool Hub_FramesHaveSameName(const Hub_Frame* a, const Hub_Frame* b) {
  return a && b && a->name == b->name;
}

// ---- properties ----

Hub_Object* Hub_SetFrameProperty(Hub_Frame* frame, const char* key, Hub_Object* object) {
  return frame ? Hub_StoreFrameProperty(frame, Hub_Intern(key), object) : nullptr;
}

Hub_Object* Hub_StoreFrameProperty(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object) {
  if (!frame) return nullptr;
  if (!key) {
    HubUtil_PrintWarningAt(kLocation, "Can't set frame property with an empty key");
    return nullptr;
  }
  if (object) ++object->useCount;
  return StoreProperty(frame, key, object);
}

Hub_Object* Hub_AppendFrameProperty(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object) {
  if (!frame || !key) return nullptr;
  if (!frame->properties) frame->properties = Hub_MakeVlist();
  if (!frame->properties || !AppendPair(frame, key, object)) return nullptr;
  if (object) ++object->useCount;
  return object;
}

Hub_Object* Hub_SetFramePropertyBySymbol(Hub_Frame* frame, Hub_Symbol key, Hub_Object* object) {
  if (!frame || !key) return nullptr;
  return StoreProperty(frame, key, object);
}

Hub_Object* Hub_GetFrameObject(const Hub_Frame* frame, const char* key) {
  if (!frame || !frame->properties) return nullptr;
  return Hub_FramePropertyBySymbol(frame, Hub_Intern(key));
}

Hub_Object* Hub_FramePropertyBySymbol(const Hub_Frame* frame, Hub_Symbol key) {
  if (!frame || !frame->properties || !key) return nullptr;
  int32_t slot = FindSlot(frame, key);
  return slot < 0 ? nullptr : ValueOf(PairAt(frame->properties, slot));
}

uintptr_t Hub_GetFrameValue(const Hub_Frame* frame, const char* key) {
  return Hub_ObjectRawValue(Hub_GetFrameObject(frame, key));
}

Hub_Object* Hub_RemoveFrameProperty(Hub_Frame* frame, const char* key) {
  if (!frame || !frame->properties) return nullptr;
  Hub_Symbol symbol = Hub_Intern(key);
  int32_t slot = symbol ? FindSlot(frame, symbol) : -1;
  if (slot < 0) return nullptr;
  Hub_VlistPair* pair = PairAt(frame->properties, slot);
  Hub_Object* object = ValueOf(pair);
  free(pair);
  frame->properties->entries[slot] = 0;
  if (frame->propertyIndex) frame->propertyIndex->slots.erase(symbol);
  return object;
}

bool Hub_DeleteFrameProperty(Hub_Frame* frame, const char* key) {
  Hub_Object* object = Hub_RemoveFrameProperty(frame, key);
  Hub_DestroyObject(object);
  return object != nullptr;
}

int32_t Hub_FramePropertyCount(const Hub_Frame* frame) {
  return frame && frame->properties ? Hub_VlistPairCount(frame->properties, 1) : 0;
}

int32_t Hub_FrameValueCount(const Hub_Frame* frame) {
  return frame && frame->properties ? Hub_VlistPairCount(frame->properties, 0) : 0;
}

const char** Hub_FramePropertyKeys(const Hub_Frame* frame, int32_t* count) {
  return KeysOf<const char*>(frame, count, Hub_SymbolName);
}

Hub_Symbol* Hub_FramePropertyKeySymbols(const Hub_Frame* frame, int32_t* count) {
  return KeysOf<Hub_Symbol>(frame, count, SameSymbol);
}

int Hub_ApplyToFrameProperties(const Hub_Frame* frame, Hub_PropertyFunction fn, void* argument) {
  // The count and the array are read afresh each round: the function may add
  // or remove properties.
  for (int32_t i = 0; i < SlotCount(frame); ++i) {
    Hub_VlistPair* pair = PairAt(frame->properties, i);
    if (!pair) continue;
    const char* key = Hub_SymbolName(KeyOf(pair));
    if (!ValueOf(pair)) {
      HubUtil_PrintWarningAt(kLocation,
                             "Skipping key %s with NULL value while applying function to frame "
                             "properties",
                             key);
      continue;
    }
    if (!fn(key, ValueOf(pair), argument)) return 0;
  }
  return 1;
}

void Hub_UpdateFrame(Hub_Frame* target, const Hub_Frame* source, const char* const* keys) {
  if (!target) return;
  for (; keys && *keys; ++keys) Hub_DeleteFrameProperty(target, *keys);
  for (int32_t i = 0; i < SlotCount(source); ++i) {
    Hub_VlistPair* pair = PairAt(source->properties, i);
    if (pair && ValueOf(pair)) {
      Hub_SetFrameProperty(target, Hub_SymbolName(KeyOf(pair)), Hub_DeepCopyObject(ValueOf(pair)));
    }
  }
}

// ---- typed property getters ----

Hub_Frame* Hub_GetFrameFrame(const Hub_Frame* frame, const char* key) {
  return static_cast<Hub_Frame*>(
      Hub_ObjectValueAs(Hub_GetFrameObject(frame, key), HUB_FRAME, kLocation, key));
}

Hub_Frame* Hub_GetFrameTopic(const Hub_Frame* frame, const char* key) {
  return static_cast<Hub_Frame*>(
      Hub_ObjectValueAs(Hub_GetFrameObject(frame, key), HUB_TOPIC_FRAME, kLocation, key));
}

const char* Hub_GetFrameString(const Hub_Frame* frame, const char* key) {
  return static_cast<const char*>(
      Hub_ObjectValueAs(Hub_GetFrameObject(frame, key), HUB_STRING, kLocation, key));
}

int32_t Hub_GetFrameInt(const Hub_Frame* frame, const char* key) {
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(
      Hub_ObjectValueAs(Hub_GetFrameObject(frame, key), HUB_INT, kLocation, key)));
}

float Hub_GetFrameFloat(const Hub_Frame* frame, const char* key) {
  return Hub_ObjectFloat(Hub_GetFrameObject(frame, key));
}

Hub_Object** Hub_GetFrameList(const Hub_Frame* frame, const char* key, int32_t* count) {
  return Hub_ObjectListElements(Hub_GetFrameObject(frame, key), count);
}

void* Hub_GetFrameBinary(const Hub_Frame* frame, const char* key, int32_t* size) {
  return Hub_GetBinary(Hub_GetFrameObject(frame, key), size);
}
void* Hub_GetFrameInt16Array(const Hub_Frame* frame, const char* key, int32_t* count) {
  return Hub_GetInt16Array(Hub_GetFrameObject(frame, key), count);
}
void* Hub_GetFrameInt32Array(const Hub_Frame* frame, const char* key, int32_t* count) {
  return Hub_GetInt32Array(Hub_GetFrameObject(frame, key), count);
}
void* Hub_GetFrameInt64Array(const Hub_Frame* frame, const char* key, int32_t* count) {
  return Hub_GetInt64Array(Hub_GetFrameObject(frame, key), count);
}
void* Hub_GetFrameFloat32Array(const Hub_Frame* frame, const char* key, int32_t* count) {
  return Hub_GetFloat32Array(Hub_GetFrameObject(frame, key), count);
}
void* Hub_GetFrameFloat64Array(const Hub_Frame* frame, const char* key, int32_t* count) {
  return Hub_GetFloat64Array(Hub_GetFrameObject(frame, key), count);
}

Hub_BrokerProxy* Hub_GetFrameProxy(const Hub_Frame* frame, const char* key) {
  return Hub_ObjectProxy(Hub_GetFrameObject(frame, key));
}

// ---- predicates ----

Hub_Frame* Hub_AddPredicate(Hub_Frame* frame, Hub_Frame* predicate) {
  if (!frame || !predicate) return nullptr;
  if (predicate->kind != HUB_KIND_PREDICATE) {
    HubUtil_PrintWarningAt(kLocation, "Not add non-predicate frame to frame predicate list");
    Hub_LogFrame(2, predicate);
    return nullptr;
  }
  Hub_Object* object = Hub_MakeFrameObject(predicate);
  if (!object) return nullptr;
  if (!AppendPredicate(frame, object)) {
    Hub_ReleaseObjectShallow(object);
    return nullptr;
  }
  return predicate;
}

Hub_Object* Hub_AppendPredicateObject(Hub_Frame* frame, Hub_Object* object) {
  if (!frame || !object || !AppendPredicate(frame, object)) return nullptr;
  return object;
}

int32_t Hub_PredicateCount(const Hub_Frame* frame) { return frame ? frame->predicateCount : 0; }

Hub_Object* Hub_PredicateObject(const Hub_Frame* frame, int32_t index) {
  return InRange(frame, index) ? frame->predicates[index] : nullptr;
}

Hub_Frame* Hub_PredicateFrame(const Hub_Frame* frame, int32_t index) {
  return static_cast<Hub_Frame*>(
      Hub_ObjectValueAs(Hub_PredicateObject(frame, index), HUB_PRED_FRAME, kLocation, nullptr));
}

Hub_Object* Hub_RemovePredicate(Hub_Frame* frame, int32_t index) {
  if (!InRange(frame, index)) return nullptr;
  Hub_Object* object = frame->predicates[index];
  int32_t later = frame->predicateCount - index - 1;
  if (later > 0) {
    memmove(&frame->predicates[index], &frame->predicates[index + 1], later * sizeof(Hub_Object*));
  }
  frame->predicates[--frame->predicateCount] = nullptr;
  return object;
}

void Hub_DeletePredicate(Hub_Frame* frame, int32_t index) {
  Hub_DestroyObject(Hub_RemovePredicate(frame, index));
}

Hub_Frame* Hub_FindPredicate(const Hub_Frame* frame, const char* name) {
  int32_t index = FindPredicateIndex(frame, Hub_Intern(name));
  return index < 0 ? nullptr : PredicateFrameOf(frame->predicates[index]);
}

Hub_Object* Hub_RemovePredicateByName(Hub_Frame* frame, const char* name) {
  return Hub_RemovePredicate(frame, FindPredicateIndex(frame, Hub_Intern(name)));
}

void Hub_DeletePredicatesByName(Hub_Frame* frame, Hub_Symbol name) {
  for (int32_t i = FindPredicateIndex(frame, name); i >= 0; i = FindPredicateIndex(frame, name)) {
    Hub_DeletePredicate(frame, i);
  }
}

void Hub_ClearPredicates(Hub_Frame* frame) {
  if (!frame) return;
  while (frame->predicateCount > 0) Hub_DeletePredicate(frame, frame->predicateCount - 1);
}

void Hub_ApplyToPredicates(const Hub_Frame* frame, Hub_PredicateFunction fn, void* argument) {
  for (int32_t i = 0; frame && i < frame->predicateCount; ++i) {
    if (!fn(frame->predicates[i], argument)) return;
  }
}

// ---- comparison ----

bool Hub_FramesAreEqual(const Hub_Frame* a, const Hub_Frame* b) {
  if (a == b) return true;
  if (!a || !b || a->name != b->name) return false;
  if (!PropertiesFoundIn(a, b, Hub_ObjectsAreEqual)) return false;
  for (int32_t i = 0; i < a->predicateCount; ++i) {
    bool found = false;
    for (int32_t j = 0; j < b->predicateCount && !found; ++j) {
      found = Hub_ObjectsAreEqual(a->predicates[i], b->predicates[j]);
    }
    if (!found) return false;
  }
  return true;
}

bool Hub_FrameMatchesPattern(const Hub_Frame* candidate, const Hub_Frame* pattern) {
  if (candidate == pattern) return true;
  if (!candidate || !pattern) return false;
  static const Hub_Symbol wildcard = Hub_Intern("*");
  if (candidate->name != pattern->name && candidate->name != wildcard &&
      pattern->name != wildcard) {
    return false;
  }
  bool kindMatters = pattern->kind == HUB_KIND_TOPIC || pattern->kind == HUB_KIND_CLAUSE ||
                     pattern->kind == HUB_KIND_PREDICATE;
  if (kindMatters && candidate->kind != pattern->kind) return false;
  return PropertiesFoundIn(candidate, pattern, Hub_ObjectMatchesPattern);
}
