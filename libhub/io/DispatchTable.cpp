#include "libhub/io/DispatchTable.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "libhub/frames/Frame.h"
#include "libhub/frames/Object.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/Print.h"

const char* const Hub_DispatchExemptKeys[] = {":hub_opaque_data", ":server_tidx", ":session_id",
                                              nullptr};

namespace {

const int32_t kCapacityStep = 10;
const char kNoMemory[] = "Error alloc'ing memory for a dispatch table";

int32_t KeyCount(const Hub_KeyRequirement* keys) {
  int32_t count = 0;
  while (keys && keys[count].key) ++count;
  return count;
}

bool Listed(const Hub_KeyRequirement* keys, const char* key) {
  for (int32_t i = 0; keys && keys[i].key; ++i) {
    if (strcmp(keys[i].key, key) == 0) return true;
  }
  return false;
}

bool Exempt(const char* const* exemptKeys, const char* key) {
  for (int32_t i = 0; exemptKeys && exemptKeys[i]; ++i) {
    if (strcmp(exemptKeys[i], key) == 0) return true;
  }
  return false;
}

// ---- the default functions ----

int FindByExactName(Hub_DispatchLookup* lookup) {
  Hub_DispatchTable* table = lookup->table;
  for (int32_t i = 0; i < table->count; ++i) {
    if (strcmp(table->entries[i].name, lookup->operation) == 0) {
      lookup->entry = &table->entries[i];
      return 1;
    }
  }
  return 0;
}

Hub_DispatchSignature* CopyEverySignature(Hub_DispatchTable* table) {
  auto* signatures = static_cast<Hub_DispatchSignature*>(
      HubUtil_AllocateZeroed(table->count + 1, sizeof(Hub_DispatchSignature), kNoMemory));
  for (int32_t i = 0; i < table->count; ++i) {
    signatures[i] = Hub_CopySignature(table->entries[i].signature);
  }
  return signatures;
}

// ---- the signature list object ----

Hub_Object* ListOf(const std::vector<Hub_Object*>& elements) {
  return Hub_MakeListObject(elements.data(), static_cast<int32_t>(elements.size()));
}

// Always a list object, empty for a missing key list.
Hub_Object* KeyListObject(const Hub_KeyRequirement* keys) {
  std::vector<Hub_Object*> elements;
  for (int32_t i = 0; keys && keys[i].key; ++i) {
    elements.push_back(ListOf({Hub_MakeStringObject(keys[i].key), Hub_MakeIntObject(keys[i].type),
                               Hub_MakeIntObject(keys[i].optional)}));
  }
  return ListOf(elements);
}

Hub_Object* SignatureObject(const Hub_DispatchSignature& signature) {
  return ListOf({Hub_MakeStringObject(signature.name), KeyListObject(signature.inputKeys),
                 Hub_MakeIntObject(signature.allowOtherInput),
                 Hub_MakeIntObject(signature.replyKind), KeyListObject(signature.outputKeys),
                 Hub_MakeIntObject(signature.allowOtherOutput)});
}

Hub_Object* BuildSignatureList(Hub_DispatchTable* table) {
  Hub_DispatchSignature* signatures = Hub_ListDispatchSignatures(table);
  std::vector<Hub_Object*> elements;
  for (int32_t i = 0; signatures && signatures[i].name; ++i) {
    elements.push_back(SignatureObject(signatures[i]));
  }
  Hub_FreeSignatureArray(signatures);
  return ListOf(elements);
}

// ---- reading a signature list back ----

// The elements of a list object of exactly `count` elements (any count when
// negative), else null.
Hub_Object** ElementsOfList(const Hub_Object* object, int32_t count, int32_t* found) {
  if (!Hub_IsListObject(object)) return nullptr;
  Hub_Object** elements = Hub_ObjectListElements(object, found);
  if (count >= 0 && *found != count) return nullptr;
  return *found > 0 ? elements : nullptr;
}

// Reads a key list into *keys (null for an empty list): false on a wrong shape.
bool ReadKeyList(const Hub_Object* object, Hub_KeyRequirement** keys) {
  *keys = nullptr;
  if (!Hub_IsListObject(object)) return false;
  int32_t count = 0;
  Hub_Object** elements = ElementsOfList(object, -1, &count);
  if (count == 0) return true;
  auto* read = static_cast<Hub_KeyRequirement*>(
      HubUtil_AllocateZeroed(count + 1, sizeof(Hub_KeyRequirement), kNoMemory));
  *keys = read;
  for (int32_t i = 0; i < count; ++i) {
    int32_t fields = 0;
    Hub_Object** key = ElementsOfList(elements[i], 3, &fields);
    if (!key || !Hub_IsStringObject(key[0]) || !Hub_IsIntObject(key[1]) ||
        !Hub_IsIntObject(key[2])) {
      return false;
    }
    read[i] = {HubUtil_CopyText(Hub_ObjectText(key[0]), kNoMemory), Hub_ObjectInt(key[1]),
               Hub_ObjectInt(key[2])};
  }
  return true;
}

// Reads one six-element signature into *signature (which then owns what it
// holds, even on failure): false on a wrong shape.
bool ReadSignature(const Hub_Object* object, Hub_DispatchSignature* signature) {
  *signature = {};
  int32_t count = 0;
  Hub_Object** fields = ElementsOfList(object, 6, &count);
  if (!fields || !Hub_IsStringObject(fields[0]) || !Hub_IsIntObject(fields[2]) ||
      !Hub_IsIntObject(fields[3]) || !Hub_IsIntObject(fields[5])) {
    return false;
  }
  signature->name = HubUtil_CopyText(Hub_ObjectText(fields[0]), kNoMemory);
  signature->allowOtherInput = Hub_ObjectInt(fields[2]);
  signature->replyKind = Hub_ObjectInt(fields[3]);
  signature->allowOtherOutput = Hub_ObjectInt(fields[5]);
  return signature->name && ReadKeyList(fields[1], &signature->inputKeys) &&
         ReadKeyList(fields[4], &signature->outputKeys);
}

// ---- checks ----

// A value of the listed type; a listed frame kind (8 to 10) takes a frame of that kind.
bool HasListedType(int32_t listed, const Hub_Object* value) {
  if (listed == 0 || listed == Hub_ObjectTypeCode(value)) return true;
  bool frameKind = listed >= HUB_TOPIC_FRAME && listed <= HUB_PRED_FRAME;
  return frameKind && Hub_ObjectReportedType(value) == listed;
}

int CheckKeys(const char* operation, const char* role, const Hub_Frame* frame,
              const Hub_KeyRequirement* keys, int allowOther, const char* const* exemptKeys) {
  int warnings = 0;
  for (int32_t i = 0; keys && keys[i].key; ++i) {
    const Hub_KeyRequirement& wanted = keys[i];
    Hub_Object* value = Hub_GetFrameObject(frame, wanted.key);
    if (!value) {
      if (wanted.optional) continue;
      HubUtil_PrintWarning("For %s: obligatory %s key %s not found", operation, role, wanted.key);
      ++warnings;
    } else if (!HasListedType(wanted.type, value)) {
      HubUtil_PrintWarning("For %s: %s key %s should be a %s, but is a %s\n", operation, role,
                           wanted.key, Hub_TypeCodeName(wanted.type), Hub_ObjectTypeName(value));
      ++warnings;
    }
  }
  if (allowOther != HUB_OTHER_KEYS_NOT_PERMITTED || !frame) return warnings;
  int32_t count = 0;
  const char** present = Hub_FramePropertyKeys(frame, &count);
  for (int32_t i = 0; i < count; ++i) {
    if (Listed(keys, present[i]) || Exempt(exemptKeys, present[i])) continue;
    HubUtil_PrintWarning("For %s: %s key %s not permitted\n", operation, role, present[i]);
    ++warnings;
  }
  free(present);
  return warnings;
}

}  // namespace

// ---- tables ----

Hub_DispatchTable* Hub_CreateDispatchTable() {
  auto* table = static_cast<Hub_DispatchTable*>(
      HubUtil_AllocateZeroed(1, sizeof(Hub_DispatchTable), kNoMemory));
  table->capacity = kCapacityStep;
  table->entries = static_cast<Hub_DispatchEntry*>(
      HubUtil_AllocateZeroed(table->capacity, sizeof(Hub_DispatchEntry), kNoMemory));
  table->find = FindByExactName;
  table->invoke = Hub_DefaultInvoke;
  table->list = CopyEverySignature;
  return table;
}

void Hub_FreeDispatchTable(Hub_DispatchTable* table) {
  if (!table) return;
  for (int32_t i = 0; i < table->count; ++i) {
    free(table->entries[i].name);
    Hub_FreeSignatureContents(&table->entries[i].signature);
  }
  Hub_DestroyObject(table->signatureList);
  free(table->entries);
  free(table);
}

Hub_DispatchTable* Hub_AppendDispatchEntry(Hub_DispatchTable* table, const char* name,
                                           Hub_DispatchFunction function,
                                           const Hub_KeyRequirement* inputKeys, int allowOtherInput,
                                           int replyKind, const Hub_KeyRequirement* outputKeys,
                                           int allowOtherOutput) {
  if (!name) {
    HubUtil_PrintWarning("Can't add a dispatch entry without a name\n");
    return table;
  }
  if (!table) table = Hub_CreateDispatchTable();
  if (table->count + 2 > table->capacity) {
    int32_t capacity = table->capacity + kCapacityStep;
    auto* grown = static_cast<Hub_DispatchEntry*>(
        realloc(table->entries, capacity * sizeof(Hub_DispatchEntry)));
    HubUtil_Assert(grown != nullptr, kNoMemory);
    table->entries = grown;
    table->capacity = capacity;
  }
  Hub_DispatchEntry& entry = table->entries[table->count];
  entry.name = HubUtil_CopyText(name, kNoMemory);
  entry.function = function;
  entry.signature = {HubUtil_CopyText(name, kNoMemory),
                     Hub_CopyKeyRequirements(inputKeys),
                     allowOtherInput,
                     replyKind,
                     Hub_CopyKeyRequirements(outputKeys),
                     allowOtherOutput};
  entry.extra = 0;
  table->entries[table->count + 1] = {};
  table->count += 1;
  // A list built before would leave the new operation out of the next handshake.
  Hub_DestroyObject(table->signatureList);
  table->signatureList = nullptr;
  return table;
}

// ---- look-up and calls ----

int Hub_FindOperation(Hub_DispatchTable* table, const char* operation, Hub_DispatchLookup* lookup) {
  *lookup = {table, operation, nullptr};
  if (!table || !operation) return 0;
  return table->find(lookup) ? 1 : 0;
}

Hub_Frame* Hub_InvokeOperation(Hub_DispatchLookup* lookup, Hub_Frame* frame,
                               Hub_CallEnvironment* env) {
  if (!lookup->table || !lookup->entry) return nullptr;
  return lookup->table->invoke(lookup, frame, env);
}

Hub_Frame* Hub_DefaultInvoke(Hub_DispatchLookup* lookup, Hub_Frame* frame,
                             Hub_CallEnvironment* env) {
  Hub_DispatchEntry* entry = lookup->entry;
  if (!entry || !entry->function) return nullptr;
  HubUtil_PrintInfo("Invoking dispatch function: %s\n", entry->name);
  HubUtil_PrintFlush();  // the operation may wait outside the library
  return entry->function(frame, env);
}

uintptr_t Hub_DispatchEntryData(Hub_DispatchTable* table, const char* operation) {
  Hub_DispatchLookup lookup;
  return Hub_FindOperation(table, operation, &lookup) ? lookup.entry->extra : 0;
}

// ---- signatures ----

Hub_DispatchSignature* Hub_ListDispatchSignatures(Hub_DispatchTable* table) {
  return table ? table->list(table) : nullptr;
}

void Hub_FreeSignatureArray(Hub_DispatchSignature* signatures) {
  for (int32_t i = 0; signatures && signatures[i].name; ++i) {
    Hub_FreeSignatureContents(&signatures[i]);
  }
  free(signatures);
}

Hub_Object* Hub_DispatchTableSignatureList(Hub_DispatchTable* table) {
  if (!table) return nullptr;
  if (!table->signatureList) table->signatureList = BuildSignatureList(table);
  return table->signatureList;
}

Hub_Object* Hub_CopySignatureList(Hub_DispatchTable* table) {
  Hub_Object* list = Hub_DispatchTableSignatureList(table);
  return list ? Hub_DeepCopyObject(list) : Hub_MakeListObject(nullptr, 0);
}

Hub_DispatchSignature* Hub_SignaturesFromList(const Hub_Object* list) {
  int32_t count = 0;
  Hub_Object** elements = ElementsOfList(list, -1, &count);
  auto* signatures = static_cast<Hub_DispatchSignature*>(
      HubUtil_AllocateZeroed(count + 1, sizeof(Hub_DispatchSignature), kNoMemory));
  for (int32_t i = 0; i < count; ++i) {
    if (ReadSignature(elements[i], &signatures[i])) continue;
    // The one read in part goes too, so the whole list reads as none.
    Hub_FreeSignatureContents(&signatures[i]);
    signatures[i] = {};
    Hub_FreeSignatureArray(signatures);
    return static_cast<Hub_DispatchSignature*>(
        HubUtil_AllocateZeroed(1, sizeof(Hub_DispatchSignature), kNoMemory));
  }
  return signatures;
}

Hub_DispatchSignature Hub_CopySignature(const Hub_DispatchSignature& signature) {
  Hub_DispatchSignature copy = signature;
  copy.name = HubUtil_CopyText(signature.name, kNoMemory);
  copy.inputKeys = Hub_CopyKeyRequirements(signature.inputKeys);
  copy.outputKeys = Hub_CopyKeyRequirements(signature.outputKeys);
  return copy;
}

void Hub_FreeSignatureContents(Hub_DispatchSignature* signature) {
  free(signature->name);
  Hub_FreeKeyRequirements(signature->inputKeys);
  Hub_FreeKeyRequirements(signature->outputKeys);
  *signature = {};
}

// ---- key lists ----

Hub_KeyRequirement* Hub_CopyKeyRequirements(const Hub_KeyRequirement* keys) {
  if (!keys) return nullptr;
  int32_t count = KeyCount(keys);
  auto* copy = static_cast<Hub_KeyRequirement*>(
      HubUtil_AllocateZeroed(count + 1, sizeof(Hub_KeyRequirement), kNoMemory));
  for (int32_t i = 0; i < count; ++i) {
    copy[i] = {HubUtil_CopyText(keys[i].key, kNoMemory), keys[i].type, keys[i].optional};
  }
  return copy;
}

void Hub_FreeKeyRequirements(Hub_KeyRequirement* keys) {
  for (int32_t i = 0; keys && keys[i].key; ++i) free(keys[i].key);
  free(keys);
}

// ---- checks ----

int Hub_CheckOperationInput(const char* operation, const Hub_Frame* frame,
                            const Hub_DispatchSignature* signature, const char* const* exemptKeys) {
  return CheckKeys(operation, "input", frame, signature->inputKeys, signature->allowOtherInput,
                   exemptKeys);
}

int Hub_CheckOperationReply(const char* operation, const Hub_Frame* reply,
                            const Hub_DispatchSignature* signature, const char* const* exemptKeys) {
  switch (signature->replyKind) {
    case HUB_REPLY_FRAME:
      if (!reply) {
        HubUtil_PrintWarning("For  %s: expected frame reply but found NULL\n", operation);
        return 1;
      }
      break;
    case HUB_REPLY_NONE:
      if (!reply) return 0;
      HubUtil_PrintWarning("For %s: expected NULL reply but found frame\n", operation);
      return 1;
    case HUB_REPLY_EITHER:
      break;
    default:
      return 0;
  }
  return CheckKeys(operation, "reply", reply, signature->outputKeys, signature->allowOtherOutput,
                   exemptKeys);
}
