// Server settings before start, and what can be read of a server.
#include "libhub/io/HubServer.h"

#include <cstdlib>

#include "libhub/io/DispatchTable.h"
#include "libhub/io/HubServerPrivate.h"
#include "libhub/util/Allocation.h"

using namespace hubserver;

namespace {

void ReplaceText(char** target, const char* text) {
  char* copy = HubUtil_CopyText(text, kNoMemory);
  free(*target);
  *target = copy;
}

}  // namespace

void HubIO_SetServerNameAndPort(HubIO_Server* server, const char* name, uint16_t port) {
  HubIO_SetServerName(server, name);
  HubIO_SetServerPort(server, port);
}

void HubIO_SetServerName(HubIO_Server* server, const char* name) {
  if (server && server->kind != HUBIO_SERVER_DESTROYED) ReplaceText(&server->name, name);
}

void HubIO_SetServerPort(HubIO_Server* server, uint16_t port) {
  if (server && server->kind != HUBIO_SERVER_DESTROYED) server->port = port;
}

void HubIO_SetServerRequirePort(HubIO_Server* server, int requirePort) {
  if (Settable(server)) server->requirePort = requirePort ? 1 : 0;
}

void HubIO_SetServerMaxConnections(HubIO_Server* server, int maxConnections) {
  if (Settable(server) && maxConnections >= 1 && maxConnections >= server->connectionCount) {
    server->maxConnections = maxConnections;
  }
}

void HubIO_SetServerFlags(HubIO_Server* server, int flags) {
  if (Settable(server)) server->flags = flags;
}

void HubIO_SetServerSessionId(HubIO_Server* server, const char* sessionId) {
  if (Settable(server)) ReplaceText(&server->sessionId, sessionId);
}

void HubIO_SetServerValidate(HubIO_Server* server, int validate) {
  if (Settable(server)) server->listener->validate = validate ? 1 : 0;
}

void HubIO_SetServerData(HubIO_Server* server, void* data, HubIO_DataFree freeData) {
  if (!server || server->kind == HUBIO_SERVER_PLACEHOLDER) return;
  if (server->clientData && server->clientDataFree && server->clientData != data) {
    server->clientDataFree(server->clientData);
  }
  server->clientData = data;
  server->clientDataFree = freeData;
}

void HubIO_SetServerDispatchTable(HubIO_Server* server, Hub_DispatchTable* table) {
  if (!Settable(server)) {
    // A placeholder only learns the name: the table it is given is not kept.
    if (server && server->kind == HUBIO_SERVER_PLACEHOLDER) Hub_FreeDispatchTable(table);
    return;
  }
  if (server->listener->dispatchTable != table) Hub_FreeDispatchTable(server->listener->dispatchTable);
  server->listener->dispatchTable = table;
}

const char* HubIO_ServerName(const HubIO_Server* server) { return server ? server->name : nullptr; }

uint16_t HubIO_ServerPort(const HubIO_Server* server) { return server ? server->port : 0; }

int HubIO_ServerListeningPort(const HubIO_Server* server) {
  return server && server->listenerSocket != HUBUTIL_INVALID_SOCKET ? server->listeningPort : -1;
}

int HubIO_ServerFlags(const HubIO_Server* server) { return server ? server->flags : 0; }

int HubIO_ServerMaxConnections(const HubIO_Server* server) {
  return server ? server->maxConnections : 0;
}

int HubIO_ServerConnectionCount(HubIO_Server* server) {
  if (!server) return 0;
  LockLayer();
  int count = server->connectionCount;
  Unlock();
  return count;
}

void* HubIO_ServerData(const HubIO_Server* server) { return server ? server->clientData : nullptr; }

int HubIO_ServerPolls(const HubIO_Server* server) {
  return server && server->pollInterval > 0 ? 1 : 0;
}

Hub_DispatchTable* HubIO_GetServerDispatchTable(const HubIO_Server* server) {
  return server && server->listener ? server->listener->dispatchTable : nullptr;
}
