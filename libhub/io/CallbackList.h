// Callback lists, as servers, connections (HubServer.h) and in-brokers
// (Broker.h) keep them: a value queue (ValueQueue.h) of callback records taken
// from the C heap, which the list owns. A record goes to the end and leaves by
// its identity (the pointer that adding gave); a run calls the records in
// order. A record removed while a run of its list goes on (by a callback of
// that run, even itself) is freed, its node only marked: the run steps over it
// and does not call it. A record added during a run is called by that run.
#pragma once
#include <cstddef>
#include <initializer_list>

#include "libhub/util/ValueQueue.h"

// What the owner of the lists prints: the location of its warnings, the fatal
// text when memory runs out, and the warnings for adding to and removing from
// no list (an unknown event).
struct HubIO_CallbackTexts {
  const char* location;
  const char* noMemory;
  const char* cannotRecord;
  const char* cannotRemove;
};

// A new empty list, with a lock.
Hub_ValueQueue* HubIO_NewCallbackList();
// Destroys each list with its records and sets it to null.
void HubIO_DestroyCallbackLists(std::initializer_list<Hub_ValueQueue**> lists);

// Appends a heap copy of the `size` bytes of `record`: the copy. Without a
// list: the warning `cannotRecord` and null.
void* HubIO_AddCallbackRecord(Hub_ValueQueue* list, const void* record, size_t size,
                              const HubIO_CallbackTexts& texts);
// Takes the record out of the list and frees it; one not in the list is left
// alone. Without a list: the warning `cannotRemove`.
void HubIO_RemoveCallbackRecord(Hub_ValueQueue* list, void* record,
                                const HubIO_CallbackTexts& texts);

template <typename Record>
Record* HubIO_AddCallback(Hub_ValueQueue* list, const Record& record,
                          const HubIO_CallbackTexts& texts) {
  return static_cast<Record*>(HubIO_AddCallbackRecord(list, &record, sizeof record, texts));
}

// Calls `call(record)` on each record of the list in order (a null list has
// none). A callback that removes its own record must not touch it afterwards.
template <typename Record, typename Call>
void HubIO_RunCallbacks(Hub_ValueQueue* list, Call call) {
  Hub_ValueQueueVisit(
      list,
      [](void* value, void* data) {
        (*static_cast<Call*>(data))(*static_cast<Record*>(value));
        return 1;
      },
      &call);
}
