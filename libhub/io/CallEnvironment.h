// Call environments and incoming dispatch.
//
// When the hub calls an operation, the message frame arrives on a connection
// (HubServer.h); the generic message handler wraps the connection in a call
// environment and dispatches the frame: the hub's bookkeeping
// (":hub_opaque_data") is taken out, the operation is found in the
// connection's dispatch table and run, and its result becomes the reply,
// renamed to the incoming name and carrying the hub data back. The operation
// receives the environment and uses it to send frames of its own to the hub
// and wait for their replies (Hub_EnvSendAndAwaitReply).
//
// An environment counts references; each one also counts on its connection,
// so the connection stays allocated while an environment refers to it. An
// environment is used by the thread that dispatches its message.
#pragma once
#include <cstdint>

#include "libhub/frames/Frame.h"

struct HubIO_Connection;

struct Hub_CallEnvironment {
  HubIO_Connection* connection;
  Hub_Frame* hubData;     // owned, or null: the incoming ":hub_opaque_data" frame
  char* sessionId;        // owned, or null
  char* operationName;    // owned: the incoming frame's name as it arrived
  int32_t replyProvided;  // a reply or error reply went out; later ones are refused
  int32_t replyRequested;
  int32_t postponed;
  int32_t references;
  int32_t sessionIdAdded;  // the dispatcher copied ":session_id" into the incoming frame
};

// A new environment on the connection, every field empty, 0 references.
Hub_CallEnvironment* Hub_CreateCallEnvironment(HubIO_Connection* connection);
// Raises the environment's count and its connection's.
void Hub_AddCallEnvironmentReference(Hub_CallEnvironment* env);
// Lowers both counts; at 0 (or for an environment never counted) frees the
// hub data, the texts and the record. The connection is released last, so it
// may be freed by this call.
void Hub_ReleaseCallEnvironment(Hub_CallEnvironment* env);
// A new environment on the same connection with copies of session id, hub
// data, operation name and the flags; counted once when `counted` is set.
Hub_CallEnvironment* Hub_CopyCallEnvironment(const Hub_CallEnvironment* env, int counted);
// Replaces the session id with a copy of the text; null clears it.
void Hub_SetEnvSessionId(Hub_CallEnvironment* env, const char* sessionId);
HubIO_Connection* Hub_EnvConnection(const Hub_CallEnvironment* env);

// Dispatches an incoming message frame (which stays the caller's): the frame
// to send back as reply (the operation's result, or the incoming frame itself
// when a reply is requested and the operation gave none), or null. An unknown
// operation warns, sends an error reply (":errno" 1) and gives null.
Hub_Frame* Hub_DispatchIncomingMessage(Hub_Frame* frame, Hub_CallEnvironment* env);

// Sends `frame` to the hub as a new message with the environment's session
// fields and waits for its reply. The reply belongs to the caller (destroy
// it); `frame` stays the caller's. *messageType (when asked for) gets 2 for a
// reply, 6 for an error frame (the hub's, or a local "system_error" with
// ":errno" 2 send failed, 3 read failed, 5 null frame); null after a destroy
// request or an unexpected message.
Hub_Frame* Hub_EnvSendAndAwaitReply(Hub_CallEnvironment* env, Hub_Frame* frame,
                                    int32_t* messageType);
// Sends a "system_error" reply with the number and description (message type
// 6): 0 written, -1 failed or a reply was already provided.
int Hub_EnvErrorReply(Hub_CallEnvironment* env, int32_t errorNumber, const char* description);

// The message handler of servers made for programs: wraps the connection in a
// call environment, dispatches the frame, and writes the result back as a
// reply (message type 2). 1 sent, 0 nothing sent, -1 failed write (the
// connection is then shut down).
int Hub_GenericMessageHandler(HubIO_Connection* connection, Hub_Frame* frame);
