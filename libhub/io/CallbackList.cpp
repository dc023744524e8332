#include "libhub/io/CallbackList.h"

#include <cstdlib>
#include <cstring>

#include "libhub/util/Allocation.h"
#include "libhub/util/Print.h"

namespace {

int IsRecord(void* value, void* record) { return value == record; }

}  // namespace

Hub_ValueQueue* HubIO_NewCallbackList() { return Hub_ValueQueueCreate(0, 1, free); }

void HubIO_DestroyCallbackLists(std::initializer_list<Hub_ValueQueue**> lists) {
  for (Hub_ValueQueue** list : lists) {
    Hub_ValueQueueDestroy(*list);
    *list = nullptr;
  }
}

void* HubIO_AddCallbackRecord(Hub_ValueQueue* list, const void* record, size_t size,
                              const HubIO_CallbackTexts& texts) {
  if (!list) {
    HubUtil_PrintWarningAt(texts.location, "%s", texts.cannotRecord);
    return nullptr;
  }
  void* copy = HubUtil_AllocateZeroed(1, size, texts.noMemory);
  memcpy(copy, record, size);
  Hub_ValueQueueAppend(list, copy);
  return copy;
}

void HubIO_RemoveCallbackRecord(Hub_ValueQueue* list, void* record,
                                const HubIO_CallbackTexts& texts) {
  if (!list) {
    HubUtil_PrintWarningAt(texts.location, "%s", texts.cannotRemove);
    return;
  }
  // Taken, not unlinked: a run under way may be standing on its node.
  if (Hub_ValueQueueTakeMatching(list, IsRecord, record)) free(record);
}
