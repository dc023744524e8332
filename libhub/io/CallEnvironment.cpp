#include "libhub/io/CallEnvironment.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "libhub/io/DispatchTable.h"
#include "libhub/io/HubServer.h"
#include "libhub/util/Allocation.h"
#include "libhub/util/NameSplit.h"
#include "libhub/util/Print.h"

namespace {

const char kLocation[] = "libhub/io/hub_server";
// The generic handler's messages carry the lines their location names.
const char kReceivedLocation[] = "ServerMain/generic-server:56";
const char kReturnedLocation[] = "ServerMain/generic-server:80";
const char kProvidedLocation[] = "ServerMain/generic-server:91";
const char kNoResultLocation[] = "ServerMain/generic-server:97";
const char kNoMemory[] = "Error alloc'ing memory for a call environment";
// Longest peer host that names a server without a name in the warning.
const size_t kPeerHostShown = 250;

Hub_Frame* NewHubData() { return Hub_MakeFrameOfKind("admin_info", HUB_KIND_CLAUSE); }

bool FlagSet(const Hub_Frame* frame, const char* key) {
  return Hub_GetFrameObject(frame, key) && Hub_GetFrameInt(frame, key) != 0;
}

// The hub's session fields taken from the keys of `frame` into `hubData`:
// ":reset_session" for a new session, ":lock_mask" and ":lock_value" for the
// session-lock keys (only when the mask is not 0).
void AddSessionFields(Hub_Frame* hubData, const Hub_Frame* frame) {
  if (FlagSet(frame, ":hub_new_session")) {
    Hub_SetFrameProperty(hubData, ":reset_session", Hub_MakeIntObject(1));
  }
  struct LockKey {
    const char* key;
    int32_t mask;
    int32_t value;
  };
  static const LockKey kLockKeys[] = {
      {":hub_serve_any_session", 1, 0},   {":hub_serve_this_session_only", 1, 1},
      {":hub_get_session_lock", 2, 2},    {":hub_release_session_lock", 2, 0},
      {":hub_permanent_lock", 0, 8},
  };
  int32_t mask = 0;
  int32_t value = 0;
  for (const LockKey& lock : kLockKeys) {
    if (!FlagSet(frame, lock.key)) continue;
    mask |= lock.mask;
    value |= lock.value;
  }
  if (mask > 0) {
    Hub_SetFrameProperty(hubData, ":lock_mask", Hub_MakeIntObject(mask));
    Hub_SetFrameProperty(hubData, ":lock_value", Hub_MakeIntObject(value));
  }
}

// The reply's hub data: a copy of the environment's (so the hub's
// bookkeeping returns unchanged) with the session fields of the reply case.
void AttachReplyHubData(Hub_CallEnvironment* env, Hub_Frame* reply) {
  Hub_Frame* hubData = env->hubData ? Hub_CopyFrame(env->hubData) : NewHubData();
  if (env->sessionId) {
    Hub_SetFrameProperty(hubData, ":session_id", Hub_MakeStringObject(env->sessionId));
  }
  if (env->sessionIdAdded) Hub_DeleteFrameProperty(reply, ":session_id");
  AddSessionFields(hubData, reply);
  Hub_SetFrameProperty(reply, ":hub_opaque_data", Hub_MakeFrameObject(hubData));
}

// The frame that goes back for an operation's result, or null.
Hub_Frame* PrepareReply(Hub_CallEnvironment* env, Hub_Frame* result, Hub_Frame* incoming) {
  if (!result) {
    if (!env->replyRequested || env->replyProvided) return nullptr;
    result = incoming;
  }
  const char* name = Hub_FrameName(result);
  if (env->operationName && (!name || strcmp(name, env->operationName) != 0)) {
    Hub_SetFrameName(result, env->operationName);
  }
  AttachReplyHubData(env, result);
  return result;
}

// Takes the hub's bookkeeping out of the incoming frame.
void TakeHubData(Hub_CallEnvironment* env, Hub_Frame* frame) {
  Hub_Object* opaque = Hub_RemoveFrameProperty(frame, ":hub_opaque_data");
  Hub_Frame* hubData = Hub_ObjectFrame(opaque);
  if (hubData) {
    Hub_DestroyFrame(env->hubData);
    env->hubData = Hub_CopyFrame(hubData);
  }
  Hub_DestroyObject(opaque);
  if (!env->hubData) return;
  const char* sessionId = Hub_GetFrameString(env->hubData, ":session_id");
  if (sessionId) {
    Hub_SetEnvSessionId(env, sessionId);
    if (!Hub_GetFrameObject(frame, ":session_id")) {
      Hub_SetFrameProperty(frame, ":session_id", Hub_MakeStringObject(sessionId));
      env->sessionIdAdded = 1;
    }
  }
  env->replyRequested = Hub_GetFrameInt(env->hubData, ":reply_requested");
}

// How the warning for an unknown operation names the server.
std::string ServerLabel(const HubIO_Connection* connection) {
  const char* name = HubIO_ServerName(HubIO_ConnectionServer(connection));
  if (name) return name;
  const char* peer = HubIO_ConnectionPeerHost(connection);
  if (peer) return "@ " + std::string(peer).substr(0, kPeerHostShown);
  return "<unknown>";
}

void UnknownOperation(Hub_CallEnvironment* env, const char* operation) {
  HubUtil_PrintWarningAt(kLocation, "Function %s does not exist!!!\n", operation);
  HubUtil_PrintWarningAt(kLocation, "You need to add it to the operations for server %s\n",
                         ServerLabel(env->connection).c_str());
  std::string description = std::string("Function ") + operation + " does not exist";
  Hub_EnvErrorReply(env, 1, description.c_str());
}

}  // namespace

Hub_CallEnvironment* Hub_CreateCallEnvironment(HubIO_Connection* connection) {
  auto* env = static_cast<Hub_CallEnvironment*>(calloc(1, sizeof(Hub_CallEnvironment)));
  HubUtil_Assert(env != nullptr, kNoMemory);
  env->connection = connection;
  return env;
}

void Hub_AddCallEnvironmentReference(Hub_CallEnvironment* env) {
  if (!env) return;
  ++env->references;
  HubIO_AddConnectionReference(env->connection);
}

void Hub_ReleaseCallEnvironment(Hub_CallEnvironment* env) {
  if (!env) return;
  HubIO_Connection* connection = env->connection;
  bool counted = env->references > 0;
  if (counted) --env->references;
  if (env->references == 0) {
    Hub_DestroyFrame(env->hubData);
    free(env->sessionId);
    free(env->operationName);
    free(env);
  }
  // Last, since it may free the connection.
  if (counted) HubIO_ReleaseConnectionReference(connection);
}

Hub_CallEnvironment* Hub_CopyCallEnvironment(const Hub_CallEnvironment* env, int counted) {
  if (!env) return nullptr;
  Hub_CallEnvironment* copy = Hub_CreateCallEnvironment(env->connection);
  copy->hubData = Hub_CopyFrame(env->hubData);
  copy->sessionId = HubUtil_CopyText(env->sessionId, kNoMemory);
  copy->operationName = HubUtil_CopyText(env->operationName, kNoMemory);
  copy->replyProvided = env->replyProvided;
  copy->replyRequested = env->replyRequested;
  copy->postponed = env->postponed;
  copy->sessionIdAdded = env->sessionIdAdded;
  if (counted) Hub_AddCallEnvironmentReference(copy);
  return copy;
}

void Hub_SetEnvSessionId(Hub_CallEnvironment* env, const char* sessionId) {
  if (!env) return;
  char* copy = HubUtil_CopyText(sessionId, kNoMemory);
  free(env->sessionId);
  env->sessionId = copy;
}

HubIO_Connection* Hub_EnvConnection(const Hub_CallEnvironment* env) {
  return env ? env->connection : nullptr;
}

Hub_Frame* Hub_DispatchIncomingMessage(Hub_Frame* frame, Hub_CallEnvironment* env) {
  if (!frame || !env) return nullptr;
  TakeHubData(env, frame);
  free(env->operationName);
  env->operationName = HubUtil_CopyText(Hub_FrameName(frame), kNoMemory);
  char* operation = Hub_SplitOperationName(env->operationName, nullptr);
  const char* shown = operation ? operation : "";
  HubIO_Connection* connection = env->connection;
  Hub_DispatchLookup lookup;
  Hub_Frame* reply = nullptr;
  if (connection && Hub_FindOperation(connection->dispatchTable, operation, &lookup)) {
    // The operation may destroy its own server and the table with it: the
    // reply is checked against a copy of the signature taken before.
    bool validate = connection->validate != 0;
    Hub_DispatchSignature signature{};
    if (validate) {
      signature = Hub_CopySignature(lookup.entry->signature);
      Hub_CheckOperationInput(shown, frame, &signature, Hub_DispatchExemptKeys);
    }
    Hub_Frame* result = Hub_InvokeOperation(&lookup, frame, env);
    if (validate) {
      Hub_CheckOperationReply(shown, result, &signature, Hub_DispatchExemptKeys);
      Hub_FreeSignatureContents(&signature);
    }
    reply = PrepareReply(env, result, frame);
  } else {
    UnknownOperation(env, shown);
  }
  free(operation);
  return reply;
}

Hub_Frame* Hub_EnvSendAndAwaitReply(Hub_CallEnvironment* env, Hub_Frame* frame,
                                    int32_t* messageType) {
  HubIO_Connection* connection = Hub_EnvConnection(env);
  if (!frame || !connection) {
    return HubIO_SendAndAwaitReply(connection, frame, messageType, ":reply_requested");
  }
  Hub_Frame* hubData = NewHubData();
  const char* sessionId = Hub_GetFrameString(frame, ":session_id");
  if (!sessionId) sessionId = env->sessionId;
  if (sessionId) Hub_SetFrameProperty(hubData, ":session_id", Hub_MakeStringObject(sessionId));
  AddSessionFields(hubData, frame);
  Hub_SetFrameProperty(frame, ":hub_opaque_data", Hub_MakeFrameObject(hubData));
  return connection->sendAndAwait(connection, frame, messageType);
}

int Hub_EnvErrorReply(Hub_CallEnvironment* env, int32_t errorNumber, const char* description) {
  if (!env || env->replyProvided) return -1;
  HubIO_Connection* connection = env->connection;
  Hub_Frame* error = HubIO_MakeErrorFrame(errorNumber, description);
  AttachReplyHubData(env, error);
  int written = connection ? connection->write(connection, error, HUB_ERROR_MSG_TYPE, 1) : -1;
  env->replyProvided = 1;
  Hub_DestroyFrame(error);
  return written < 0 ? -1 : 0;
}

int Hub_GenericMessageHandler(HubIO_Connection* connection, Hub_Frame* frame) {
  Hub_CallEnvironment* env = Hub_CreateCallEnvironment(connection);
  Hub_AddCallEnvironmentReference(env);
  HubIO_TraceConnectionMessage(kReceivedLocation, "Received new message from %s\n", connection,
                               frame);
  Hub_Frame* reply = Hub_DispatchIncomingMessage(frame, env);
  int result = 0;
  if (!reply) {
    HubIO_TraceConnectionMessage(kNoResultLocation, "No result frame for %s\n", connection, nullptr);
  } else if (env->replyProvided) {
    HubIO_TraceConnectionMessage(kProvidedLocation, "Reply already provided to %s\n", connection,
                                 nullptr);
  } else {
    HubIO_TraceConnectionMessage(kReturnedLocation, "Returning result frame to %s\n", connection,
                                 reply);
    if (connection->write(connection, reply, HUB_REPLY_MSG_TYPE, 0) < 0) {
      HubIO_ShutdownConnection(connection);
      result = -1;
    } else {
      result = 1;
    }
  }
  connection->releaseFrames(connection, reply, frame);
  Hub_ReleaseCallEnvironment(env);
  return result;
}
