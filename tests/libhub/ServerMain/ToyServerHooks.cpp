#include "tests/libhub/ServerMain/ToyServerHooks.h"

#include <cstdio>

#include "libhub/io/DispatchTable.h"

namespace hubtest {
namespace {

int g_declarations = 0;
int g_placeholderDeclarations = 0;
int g_serverData = 0;

Hub_Frame* Ping(Hub_Frame*, Hub_CallEnvironment*) { return nullptr; }

}  // namespace

void DeclareToy(HubIO_Server* server) {
  ++g_declarations;
  HubIO_SetServerNameAndPort(server, "toy", 12001);
  if (HubIO_ServerIsPlaceholder(server)) {
    ++g_placeholderDeclarations;
    return;
  }
  Hub_DispatchTable* table = Hub_AppendDispatchEntry(
      HubIO_GetServerDispatchTable(server), "ping", Ping, nullptr, HUB_OTHER_KEYS_ALLOWED,
      HUB_REPLY_EITHER, nullptr, HUB_OTHER_KEYS_ALLOWED);
  HubIO_SetServerDispatchTable(server, table);
}

void* InitializeToy(HubIO_Server*, int argc, char** argv) {
  printf("toy start-up: ");
  for (int i = 0; i < argc; ++i) printf("%s%s", i ? "|" : "", argv[i]);
  printf("\n");
  fflush(stdout);
  return ToyServerData();
}

int ToyDeclarations() { return g_declarations; }
int ToyPlaceholderDeclarations() { return g_placeholderDeclarations; }
void ResetToyCounts() { g_declarations = g_placeholderDeclarations = 0; }
void* ToyServerData() { return &g_serverData; }

}  // namespace hubtest
