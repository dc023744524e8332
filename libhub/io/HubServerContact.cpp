// Hub contact: the hub list, outgoing connections, and the handshake a server
// sends to the hubs it contacts, tried again at every hub poll.
#include "libhub/io/HubServer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "libhub/io/HubServerPrivate.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/NameSplit.h"
#include "libhub/util/Print.h"
#include "libhub/util/Sock.h"
#include "libhub/util/TimedTasks.h"

using namespace hubserver;

namespace {

bool ContactHandshake(HubIO_Server* server, HubIO_Connection* connection) {
  Hub_Frame* handshake = HubIO_ServerHandshakeFrame(server);
  int32_t type = 0;
  Hub_Frame* reply = SendAndAwait(connection, handshake, &type, nullptr, HubIO_SetupReadLimit());
  Hub_DestroyFrame(handshake);
  bool done = reply && type == HUB_REPLY_MSG_TYPE;
  if (!reply) {
    HubUtil_PrintWarningAt(kLocation,
                           "Failed to complete initial handshake while establishing connection");
  } else if (!done) {
    int32_t number = Hub_GetFrameInt(reply, ":errno");
    const char* description = Hub_GetFrameString(reply, ":err_description");
    if (number == 2) {
      HubUtil_PrintWarningAt(kLocation, "Couldn't send handshake frame while establishing connection");
    } else if (number == 3) {
      HubUtil_PrintWarningAt(kLocation,
                             "Couldn't read handshake response while establishing connection");
    } else if (number == 5) {
      HubUtil_PrintWarningAt(kLocation,
                             "No handshake response frame provided while establishing connection");
    } else if (description) {
      HubUtil_PrintWarningAt(kLocation, "%s", description);
    } else {
      HubUtil_PrintWarningAt(kLocation,
                             "Encountered unknown handshake error %d while establishing connection\n",
                             number);
    }
  }
  Hub_DestroyFrame(reply);
  if (done) connection->handshakeState = HUBIO_HANDSHAKE_DONE;
  return done;
}

// Under the connection-layer lock: tries every hub not connected.
void ContactHubs(HubIO_Server* server) {
  for (int32_t i = 0; server->hubs && server->hubs[i].host; ++i) {
    HubIO_HubLocation* hub = &server->hubs[i];
    if (hub->state == HUBIO_HUB_CONNECTED) continue;
    HubIO_Connection* connection = HubIO_CreateClientConnection(
        hub->host, hub->port, server->listener->messageHandler, 0);
    if (connection && ContactHandshake(server, connection)) {
      connection->hubLocation = i;
      HubIO_AddConnectionToServer(server, connection);
      hub->state = HUBIO_HUB_CONNECTED;
      HubUtil_PrintAtLevel(1, "Connected to hub at host %s and port %d\n", hub->host, hub->port);
      continue;
    }
    HubIO_CloseConnection(connection);
    HubUtil_PrintWarningAt(kLocation, "Couldn't contact hub at host %s and port %d", hub->host,
                           hub->port);
    hub->state = HUBIO_HUB_FAILED;
  }
}

void HubPollTask(Hub_TimedTask* task) {
  auto* server = static_cast<HubIO_Server*>(Hub_TaskData(task));
  LockLayer();
  ContactHubs(server);
  Unlock();
  Hub_RearmTaskSimple(task, server, HUBIO_HUB_POLL_FACTOR * server->pollInterval,
                      Hub_TaskRunAtOnce(task), nullptr);
}

}  // namespace

namespace hubserver {

void FreeHubLocations(HubIO_HubLocation* hubs) {
  for (int32_t i = 0; hubs && hubs[i].host; ++i) free(hubs[i].host);
  free(hubs);
}

void StartHubPoll(void* owner, void*, void*) {
  auto* server = static_cast<HubIO_Server*>(owner);
  if (Hub_HandledTask(&server->hubTask)) return;
  Hub_CreateHandledSocketTask(&server->hubTask, HubPollTask, server, 0, 0, nullptr, nullptr,
                              nullptr);
}

void StopHubPoll(void* owner, void*, void*) {
  Hub_RemoveHandledTask(&static_cast<HubIO_Server*>(owner)->hubTask);
}

}  // namespace hubserver

void HubIO_SetServerHubList(HubIO_Server* server, const char* hubList) {
  if (!Settable(server)) return;
  FreeHubLocations(server->hubs);
  server->hubs = nullptr;
  std::vector<HubIO_HubLocation> hubs;
  const char* cursor = hubList ? hubList : "";
  while (*cursor) {
    size_t length = strcspn(cursor, " \t");
    if (length > 0) {
      char* piece = strndup(cursor, length);
      HubUtil_Assert(piece != nullptr, kNoMemory);
      int port = -1;
      char* host = Hub_SplitHostPort(piece, &port);
      if (port < 0) {
        HubUtil_PrintWarningAt(kLocation, "Incomplete Hub location %s. Skipping\n", piece);
        free(host);
      } else {
        hubs.push_back({host, static_cast<uint16_t>(port), HUBIO_HUB_NEVER_TRIED});
      }
      free(piece);
    }
    cursor += length;
    cursor += strspn(cursor, " \t");
  }
  if (hubs.empty()) return;
  server->hubs = static_cast<HubIO_HubLocation*>(
      HubUtil_AllocateZeroed(hubs.size() + 1, sizeof(HubIO_HubLocation), kNoMemory));
  std::copy(hubs.begin(), hubs.end(), server->hubs);
}

HubIO_Connection* HubIO_CreateClientConnection(const char* host, uint16_t port,
                                               HubIO_MessageHandler handler, int quiet) {
  if (!host) {
    HubUtil_PrintWarningAt(kLocation, "Can't set up client connection because hostname is NULL");
    return nullptr;
  }
  if (port == 0) {
    if (!quiet) {
      HubUtil_PrintWarningAt(kLocation, "Cannot contact host '%s' on invalid port %d", host, port);
    }
    return nullptr;
  }
  HubUtil_Socket socket = HubUtil_ClientSocket(host, port);
  if (socket == HUBUTIL_INVALID_SOCKET) {
    if (!quiet) {
      HubUtil_PrintWarningAt(kLocation, "Failed to connect to '%s' on port %d", host, port);
    }
    return nullptr;
  }
  HubUtil_SetNonBlocking(socket);
  HubIO_Connection* connection = NewConnection(socket, host);
  connection->port = port;
  connection->messageHandler = handler;
  return connection;
}
