// The connection layer of the hub protocol library: the server record a
// program declares, its TCP listener, the connections the hub opens to it and
// those it opens to hubs itself, the handshake that starts each connection,
// the per-connection poll driven by the timed-task loop, sending a message and
// waiting for its reply, and the orderly closing of connections and servers.
//
// Use: HubIO_CreateServer (or HubIO_CreatePlaceholderServer), the setters and
// HubIO_SetServerDispatchTable, then HubIO_StartServer; with a positive poll
// interval the timed-task loop (TimedTasks.h) then serves the connections.
// The message handler of servers made for programs is Hub_GenericMessageHandler
// (CallEnvironment.h), which runs the operations of the dispatch table.
//
// Locks: one process-wide connection-layer lock (connection lists, accepting
// and the listener handshake, hub contact, destruction), one for the
// transaction index, one for the server properties; a connection's reference
// count has the connection's own mutex. They are made on first use (and by
// HubIO_InitServerStatics, which Hub_InitializeStatics calls).
//
// Servers and connections are driven by the thread that runs the timed-task
// loop: destroy them there (from an operation or a task). In the loop, the
// listener and each connection wait for their sockets: a poll runs when the
// peer sent something (or a peer is connecting), when output that did not fit
// the socket can go on, or when a new message is already in the connection's
// queue (read there by another reader); nothing runs while they are idle. In thread mode each
// poll task has a thread of its own and polls without blocking; a server is
// destroyed only once those threads have ended (Hub_StopTimedTaskLoop, then
// Hub_WaitForTaskThreads).
//
// Every failure is a warning through the printing layer and a result of -1 or
// null; no failure of one connection ends the process. Records come from the
// C heap; running out of memory is fatal.
#pragma once
#include <cstdint>

#include "libhub/frames/Frame.h"
#include "libhub/io/SockQueue.h"
#include "libhub/util/Sock.h"

struct HubIO_Server;
struct HubIO_Connection;
struct Hub_DispatchTable;
struct Hub_ValueQueue;
struct Hub_TimedTask;
struct HubUtil_LocalMutex;

// Server kinds.
enum {
  HUBIO_SERVER_LIVE = 1,
  HUBIO_SERVER_DESTROYED = 2,    // destroyed, the record still referenced
  HUBIO_SERVER_PLACEHOLDER = 3,  // carries only a declared name and port
};

// Server flags.
enum {
  HUBIO_LISTEN_FOR_HUBS = 1,  // accept hub connections on the listener
  HUBIO_CONTACT_HUBS = 4,     // contact the hubs of the hub list
};

// Listener status.
enum {
  HUBIO_LISTENER_OPEN = 0,
  HUBIO_LISTENER_CLOSED = 1,  // for good: no valid port
  HUBIO_LISTENER_FAILED = 3,  // opened again at the next poll
};

// States of a hub location.
enum {
  HUBIO_HUB_NEVER_TRIED = 0,
  HUBIO_HUB_FAILED = 1,
  HUBIO_HUB_CONNECTED = 2,
  HUBIO_HUB_LOST = 3,
};

// Callback event codes. Server: 0 to 4; connection: 5 to 11.
enum {
  HUBIO_LISTENER_OPENED_EVENT = 0,
  HUBIO_LISTENER_CLOSING_EVENT = 1,
  HUBIO_HUB_CONTACT_EVENT = 2,
  HUBIO_SERVER_DESTROYED_EVENT = 3,
  HUBIO_CONNECTION_SETUP_EVENT = 4,     // a connection was added to the server
  HUBIO_OUT_BROKER_SETUP_EVENT = 5,
  HUBIO_IN_BROKER_SETUP_EVENT = 6,      // argument: a HubIO_PollRequest
  HUBIO_OUT_BROKER_EVENT = 7,
  HUBIO_IN_BROKER_EVENT = 8,
  HUBIO_DISPATCH_EVENT = 9,
  HUBIO_SOCKET_CLOSING_EVENT = 10,      // the connection's socket is about to close
  HUBIO_CONNECTION_DESTROYED_EVENT = 11,
};

// Connection states and handshake states.
enum { HUBIO_CONNECTION_LIVE = 1, HUBIO_CONNECTION_DESTROYED = 2 };
enum { HUBIO_HANDSHAKE_NEW = 0, HUBIO_HANDSHAKE_DONE = 1, HUBIO_FIRST_MESSAGE_HANDLED = 3 };
// Connection errors.
enum { HUBIO_NO_ERROR = 0, HUBIO_INVALID_PORT_ERROR = 1, HUBIO_SOCKET_ERROR = 2 };

// Defaults.
constexpr int32_t HUBIO_DEFAULT_POLL_INTERVAL = 5;   // ms, for a poll interval of 0
constexpr int32_t HUBIO_HUB_POLL_FACTOR = 10;        // the hub contact every 10 intervals
constexpr int32_t HUBIO_LISTEN_BACKLOG = 5;
constexpr int32_t HUBIO_LAST_FALLBACK_PORT = 32767;  // the listener tries no port above it
constexpr int32_t HUBIO_SETUP_READ_LIMIT_MS = 10000;

// A callback: called with its owner (server or connection), its data, and the
// argument of the event (null for most events).
typedef void (*HubIO_CallbackFunction)(void* owner, void* data, void* argument);
struct HubIO_Callback {
  HubIO_CallbackFunction function;
  void* data;
  int32_t event;
  void* owner;
};

typedef void (*HubIO_DataFree)(void* data);
// Called with the connection and each new message frame, which the handler
// takes over (it ends with the connection's frame-release hook): 1 a reply was
// sent, 0 nothing sent, -1 failure (the connection is then destroyed).
typedef int (*HubIO_MessageHandler)(HubIO_Connection* connection, Hub_Frame* frame);

// The connection's replaceable steps.
// read: one new message frame without waiting: 1 with the frame (the caller
// owns it), 0 none, -1 error.
typedef int (*HubIO_ReadHook)(HubIO_Connection* connection, Hub_Frame** frame);
// After a dispatch: releases the reply and the message frame (by default it
// destroys the reply unless it is the message frame itself, then the message).
typedef void (*HubIO_FrameReleaseHook)(HubIO_Connection* connection, Hub_Frame* reply,
                                       Hub_Frame* message);
typedef int (*HubIO_WriteHook)(HubIO_Connection* connection, const Hub_Frame* frame,
                               int32_t messageType, int wait);
typedef Hub_Frame* (*HubIO_SendAndAwaitHook)(HubIO_Connection* connection, Hub_Frame* frame,
                                             int32_t* messageType);
// dispatch: reads one new message and hands it on: 1 dispatched, 0 nothing
// there, -1 failure.
typedef int (*HubIO_DispatchHook)(HubIO_Connection* connection);

// What an in-broker asks of its connection's event-6 callbacks: a poll task
// running `function` with `data` every `interval` ms, woken by `socket` when
// it is readable. The callback stores the task it made in `task`.
typedef void (*HubIO_PollTaskFunction)(Hub_TimedTask* task);
struct HubIO_PollRequest {
  HubIO_PollTaskFunction function;
  void* data;
  int32_t interval;
  HubUtil_Socket* socket;
  Hub_TimedTask* task;  // out; null when none was made
};

struct HubIO_HubLocation {
  char* host;  // owned; null ends an array of locations
  uint16_t port;
  int32_t state;  // HUBIO_HUB_NEVER_TRIED ... HUBIO_HUB_LOST
};

struct HubIO_Connection {
  int32_t state;  // HUBIO_CONNECTION_LIVE or HUBIO_CONNECTION_DESTROYED
  HubIO_SockObjectQueue* queue;
  HubUtil_Socket socket;  // -1 until connected
  int32_t pollInterval;
  uint16_t port;           // the peer's port of outgoing connections; 65535 until set
  int32_t handshakeState;  // HUBIO_HANDSHAKE_NEW ... HUBIO_FIRST_MESSAGE_HANDLED
  int32_t done;            // close once the output is written
  int32_t error;           // HUBIO_NO_ERROR ... HUBIO_SOCKET_ERROR
  int32_t blocking;        // the socket reads of a poll wait for data
  void* clientData;
  HubIO_DataFree clientDataFree;
  HubIO_Server* server;  // null until added
  HubIO_MessageHandler messageHandler;
  char* peerHost;  // owned: dotted address (accepted) or host name (outgoing)
  // Callback lists (value queues of HubIO_Callback).
  Hub_ValueQueue* closingCallbacks;    // event 10
  Hub_ValueQueue* destroyCallbacks;    // event 11
  Hub_ValueQueue* inBrokerCallbacks;   // events 6 and 8
  Hub_ValueQueue* outBrokerCallbacks;  // events 5 and 7
  Hub_ValueQueue* dispatchCallbacks;   // event 9
  Hub_DispatchTable* dispatchTable;    // the server's; not owned by connections
  int32_t validate;
  HubIO_ReadHook read;
  HubIO_FrameReleaseHook releaseFrames;
  HubIO_WriteHook write;
  HubIO_SendAndAwaitHook sendAndAwait;
  HubIO_DispatchHook dispatch;
  Hub_ValueQueue* continuations;  // postponed replies; made with the first message
  HubUtil_LocalMutex* lock;       // guards the reference count
  int32_t references;
  HubIO_Callback* pollCallback;  // the event-10 callback that stops the poll task
  Hub_TimedTask* pollTask;       // handle of the poll task (the handshake's, then the messages')
  int32_t pollWaitsToWrite;      // the poll task waits for room to write its queued output
  int32_t hubLocation;           // index in the server's hub list (outgoing), else -1
  // The transaction indices of the replies being awaited (-1: any reply),
  // under `lock`; replies for others are dropped.
  int32_t* awaitedIndices;
  int32_t awaitedCount;
  int64_t setupDeadlineMs;  // a new connection's first frame is awaited until then
};

struct HubIO_Server {
  int32_t kind;  // HUBIO_SERVER_LIVE ... HUBIO_SERVER_PLACEHOLDER
  int32_t maxConnections;
  int32_t connectionCount;
  int32_t blockingAccept;
  int32_t pollInterval;  // 5 for 0; -1 for a negative value (no polls)
  char* name;            // owned
  Hub_ValueQueue* connections;
  Hub_ValueQueue* pending;  // accepted connections whose first frame has not come yet
  int32_t freeOnDestroy;
  int32_t listenerStatus;  // HUBIO_LISTENER_OPEN ... HUBIO_LISTENER_FAILED
  void* clientData;
  HubIO_DataFree clientDataFree;
  Hub_ValueQueue* setupCallbacks;    // event 4
  Hub_ValueQueue* destroyCallbacks;  // event 3
  int32_t flags;                     // HUBIO_LISTEN_FOR_HUBS | HUBIO_CONTACT_HUBS
  char* sessionId;                   // owned, or null
  HubIO_Connection* listener;  // dispatch table (owned), handler, validate flag, event-11 list
  uint16_t port;               // asked for
  int32_t requirePort;
  HubUtil_Socket listenerSocket;  // -1 while closed
  uint16_t listeningPort;         // the port actually opened
  Hub_ValueQueue* listenerOpenedCallbacks;  // event 0
  Hub_ValueQueue* listenerClosingCallbacks; // event 1
  Hub_ValueQueue* hubContactCallbacks;      // event 2
  HubIO_HubLocation* hubs;                  // owned, or null
  HubIO_Callback* listenerPoll;  // the callbacks that stop the two poll tasks
  HubIO_Callback* hubPoll;
  Hub_TimedTask* listenerTask;  // task handles (TimedTasks.h)
  Hub_TimedTask* hubTask;
  Hub_Frame* properties;          // "server_properties"
  Hub_Object* extraServiceTypes;  // an empty list
};

// ---- statics ----

// Makes the three locks once; later calls do nothing.
void HubIO_InitServerStatics();
// The time limit of reads that wait for a peer during set-up (the handshake on
// a new connection, the hub's reply to a contact). HUBIO_SETUP_READ_LIMIT_MS
// by default; tests shorten it.
void HubIO_SetSetupReadLimit(int milliseconds);
int HubIO_SetupReadLimit();
// The most output bytes a connection made from now on holds for a peer that
// does not read them; passing it drops the connection.
// HUBIO_MAX_HUB_PENDING_OUTPUT by default; tests lower it.
void HubIO_SetPendingOutputLimit(int32_t bytes);

// ---- servers ----

// A new server (kind 1): listener record, properties frame, callback lists,
// empty connection list; not started. Installs the SIGINT and SIGTERM
// handlers. `maxConnections` below 1 keeps 1 until set.
HubIO_Server* HubIO_CreateServer(uint16_t port, int requirePort, HubIO_MessageHandler handler,
                                 void* clientData, int pollInterval, int maxConnections);
// A server record of kind 3 that only carries a name and port (for the
// declaration hook run to learn the server's name). Destroy it with
// HubIO_DestroyServer.
HubIO_Server* HubIO_CreatePlaceholderServer();
int HubIO_ServerIsPlaceholder(const HubIO_Server* server);

// Starts listening and/or hub contact by the flags: the server, or null when
// it could neither listen nor contact a hub (the server is then destroyed and
// freed).
HubIO_Server* HubIO_StartServer(HubIO_Server* server);
// Under the connection-layer lock: destroys every connection (those still in
// their handshake too), closes the
// listener, destroys the properties, the client data and the dispatch table,
// and runs the destroy callbacks (for a polling server: stop its poll tasks
// and the timed-task loop). A server that failed to start is freed; otherwise
// the record stays, kind 2 (free it with HubIO_FreeServer). A placeholder is
// freed. Null and destroyed servers are ignored. While task threads run, the
// server is left alone after the warning "Can't destroy server %s while its
// tasks run in threads of their own; stop them and wait for them first".
void HubIO_DestroyServer(HubIO_Server* server);
// Frees the record, destroying the server first when it is live. Null is ignored.
void HubIO_FreeServer(HubIO_Server* server);

// Settings before start. A placeholder ignores all but name and port.
void HubIO_SetServerNameAndPort(HubIO_Server* server, const char* name, uint16_t port);
void HubIO_SetServerName(HubIO_Server* server, const char* name);  // copied
void HubIO_SetServerPort(HubIO_Server* server, uint16_t port);
void HubIO_SetServerRequirePort(HubIO_Server* server, int requirePort);
// Taken only when 1 or more and not below the current connection count.
void HubIO_SetServerMaxConnections(HubIO_Server* server, int maxConnections);
void HubIO_SetServerFlags(HubIO_Server* server, int flags);
// The hub list: "host:port" pieces separated by blanks or tabs. A piece
// without a port warns "Incomplete Hub location %s. Skipping\n". Null or no
// valid piece: no hub locations.
void HubIO_SetServerHubList(HubIO_Server* server, const char* hubList);
void HubIO_SetServerSessionId(HubIO_Server* server, const char* sessionId);  // copied; null clears
void HubIO_SetServerValidate(HubIO_Server* server, int validate);
// Replaces the client data, freeing the old data by its free function.
void HubIO_SetServerData(HubIO_Server* server, void* data, HubIO_DataFree freeData);
// The server takes the table (it is freed with the server).
void HubIO_SetServerDispatchTable(HubIO_Server* server, Hub_DispatchTable* table);

const char* HubIO_ServerName(const HubIO_Server* server);
uint16_t HubIO_ServerPort(const HubIO_Server* server);
int HubIO_ServerListeningPort(const HubIO_Server* server);  // -1 while not listening
int HubIO_ServerFlags(const HubIO_Server* server);
int HubIO_ServerMaxConnections(const HubIO_Server* server);
int HubIO_ServerConnectionCount(HubIO_Server* server);
void* HubIO_ServerData(const HubIO_Server* server);
// 1 when the poll interval is positive (the loop then serves the server).
int HubIO_ServerPolls(const HubIO_Server* server);
// The listener record's table; null for a placeholder.
Hub_DispatchTable* HubIO_GetServerDispatchTable(const HubIO_Server* server);

// The server's handshake frame (the caller destroys it): named after the
// server, kind clause, with ":session_id" (when set), ":signatures",
// ":properties", ":extra_service_types" and ":protocol_version" 1.
Hub_Frame* HubIO_ServerHandshakeFrame(HubIO_Server* server);

// Opens (or opens again) the listener on the server's port, falling back to
// the next free ports unless the port is required: 0, or -1 after a warning.
// `location` names the caller in traces (null: "reset_listener").
int HubIO_OpenListener(HubIO_Server* server, const char* location);

// Callbacks. Adding an unknown event code warns and gives null. A callback
// removed while callbacks of its list run (by one of them, even itself) is not
// called by that run; one added is.
HubIO_Callback* HubIO_AddServerCallback(HubIO_Server* server, int event,
                                        HubIO_CallbackFunction function, void* data);
void HubIO_RemoveServerCallback(HubIO_Server* server, HubIO_Callback* callback);
HubIO_Callback* HubIO_AddConnectionCallback(HubIO_Connection* connection, int event,
                                            HubIO_CallbackFunction function, void* data);
void HubIO_RemoveConnectionCallback(HubIO_Connection* connection, HubIO_Callback* callback);
// Runs the connection's callbacks of that event, in order, with the argument.
void HubIO_RunConnectionCallbacks(HubIO_Connection* connection, int event, void* argument);

// ---- connections ----

// Prints a connection message with the peer host: at verbosity 2 the plain
// text, from verbosity 3 the located form followed by the frame (when one is
// given) as Hub_LogFrameBrief prints it.
void HubIO_TraceConnectionMessage(const char* location, const char* format,
                                  const HubIO_Connection* connection, const Hub_Frame* frame);

// An outgoing connection to host:port (not added to any server), handshake
// state 0; null after a warning ("Can't set up client connection because
// hostname is NULL", "Cannot contact host '%s' on invalid port %d", "Failed to
// connect to '%s' on port %d"; the last two not when `quiet`).
HubIO_Connection* HubIO_CreateClientConnection(const char* host, uint16_t port,
                                               HubIO_MessageHandler handler, int quiet);
// Adds a connection to the server (copies its poll interval, handler, table,
// validate flag and event-11 callbacks; runs the set-up callbacks).
void HubIO_AddConnectionToServer(HubIO_Server* server, HubIO_Connection* connection);

void* HubIO_ConnectionServerData(const HubIO_Connection* connection);
HubIO_Server* HubIO_ConnectionServer(const HubIO_Connection* connection);
const char* HubIO_ConnectionPeerHost(const HubIO_Connection* connection);
void HubIO_SetConnectionData(HubIO_Connection* connection, void* data, HubIO_DataFree freeData);
// 1 when the connection's peer is gone: the connection is null, destroyed or
// shut down, the peer ended its stream (closed it, or sent a disconnect
// message), or a read or write on it failed; else 0. It only reads what the
// library noticed: a peer that left unnoticed is found at the next read or
// write.
int HubIO_ConnectionLost(const HubIO_Connection* connection);

// Writes the frame as that message type: 0 written, 1 still queued, -1 error
// (a connection that is not live warns "Can't write message because socket is
// not connected (pid %d)"). With `wait`, flushes every millisecond until written.
int HubIO_ConnectionWriteFrame(HubIO_Connection* connection, const Hub_Frame* frame,
                               int32_t messageType, int wait);
// Sets `key` (":reply_requested") to 1 and ":server_tidx" to the next
// transaction index (0, 1, ...) in the frame's ":hub_opaque_data" frame (made
// as "admin_info" when absent). The index.
int32_t HubIO_StampMessage(Hub_Frame* frame, const char* key);
// Sends the frame as a new message and waits for its reply (the one with the
// frame's stamp when `key` is given, else any). The reply belongs to the
// caller; `frame` stays the caller's. *messageType (when asked for) gets 2
// for a reply, 6 for an error frame. Null frame: "system_error" with ":errno"
// 5; failed send: 2; failed read: 3 (all type 6). A destroy request or another
// message instead of a reply: null.
Hub_Frame* HubIO_SendAndAwaitReply(HubIO_Connection* connection, Hub_Frame* frame,
                                   int32_t* messageType, const char* key);
// A new frame "system_error" (kind clause) with ":errno" and ":err_description".
Hub_Frame* HubIO_MakeErrorFrame(int32_t errorNumber, const char* description);

// One poll's message step: reads what the socket holds and dispatches new
// messages one at a time: 1 the connection is done, 0 go on, -1 error.
int HubIO_ProcessConnectionMessages(HubIO_Connection* connection);
// One poll's output step: 1 done (all written and marked done), 0 go on, -1 error.
int HubIO_FlushConnection(HubIO_Connection* connection);
// A whole poll of a connection (first message, messages, output): 1 done,
// 0 go on, -1 error. The poll task destroys the connection on 1 or -1.
int HubIO_PollConnection(HubIO_Connection* connection, int blocking);

// Runs the event-10 callbacks, closes the socket and resets the queue: socket
// -1, handshake state 0, error 0. The record stays; its next poll fails.
void HubIO_ShutdownConnection(HubIO_Connection* connection);
// Takes the connection out of its server, closes it and releases what it
// owns; frees the record unless a reference is held (then at the last
// release). Null and destroyed connections are ignored.
void HubIO_DestroyConnection(HubIO_Connection* connection);
// Marks the connection done and destroys it: the end of a connection that is
// given up. Null is ignored.
void HubIO_CloseConnection(HubIO_Connection* connection);
void HubIO_AddConnectionReference(HubIO_Connection* connection);
void HubIO_ReleaseConnectionReference(HubIO_Connection* connection);

// ---- for in-brokers ----

// HubIO_SendAndAwaitReply with a limit for the wait (milliseconds; negative:
// none): at the limit, a warning and the local error frame of a failed read.
Hub_Frame* HubIO_SendAndAwaitReplyWithin(HubIO_Connection* connection, Hub_Frame* frame,
                                         int32_t* messageType, const char* key, int limitMs);
