// The socket layer of the hub protocol library: the only place that calls the
// operating system's socket functions for it. TCP over IPv4.
//
// Every failure is a warning through the printing layer and a result of -1
// (0 for name resolution); the caller decides what follows.
#pragma once
#include <cstddef>
#include <cstdint>

typedef int HubUtil_Socket;
#define HUBUTIL_INVALID_SOCKET (-1)

// The socket error of a peer that closed the stream.
#define HUBUTIL_PEER_CLOSED_ERROR 32

// Text room for a dotted IPv4 address and its terminating zero.
#define HUBUTIL_IPV4_TEXT_SIZE 16

// Starts the socket layer: 0 (there is nothing to start on this platform; the
// first call is remembered).
int HubUtil_StartSockets();
// 1 once HubUtil_StartSockets has run.
int HubUtil_SocketsStarted();

// Writes "%d.%d.%d.%d" for an address in network byte order into `text`
// (HUBUTIL_IPV4_TEXT_SIZE bytes).
void HubUtil_FormatIPv4(uint32_t address, char* text);
// 1 and the first IPv4 address of the name (network byte order), or 0.
int HubUtil_ResolveHost(const char* host, uint32_t* address);
// The local host's name into `text` (`size` bytes, terminated): 1, or 0.
int HubUtil_LocalHostName(char* text, size_t size);

// A connected TCP socket (blocking) to host (dotted address or name) and port,
// or -1. Connecting gives up after 10 seconds. A name that does not resolve
// gives -1 without a warning of this layer.
HubUtil_Socket HubUtil_ClientSocket(const char* host, int port);
// A TCP socket bound to the port on all local addresses and listening, or -1
// (a port another listener holds fails).
HubUtil_Socket HubUtil_ServerSocket(int port, int backlog);

// A connected pair of local stream sockets, both non-blocking and closed on
// exec: 0, or -1 after the warning "Socket error %d".
int HubUtil_SocketPair(HubUtil_Socket sockets[2]);

// 0, or 1 after the warning "Socket error %d".
int HubUtil_SetNonBlocking(HubUtil_Socket socket);
int HubUtil_SetBlocking(HubUtil_Socket socket);

// Accepts a peer on a listening socket, in blocking or non-blocking mode by
// `blocking` (the new socket gets the same mode): 1 with *accepted and the
// peer's dotted address in `peerText` (HUBUTIL_IPV4_TEXT_SIZE bytes); 0 when
// nobody is waiting (non-blocking only); -1 after the warning "Socket error %d".
int HubUtil_Accept(HubUtil_Socket listener, char* peerText, HubUtil_Socket* accepted,
                   int blocking);

// A set of up to HUBUTIL_SOCKET_SET_SIZE distinct sockets.
#define HUBUTIL_SOCKET_SET_SIZE 64
struct HubUtil_SocketSet {
  int count;
  HubUtil_Socket sockets[HUBUTIL_SOCKET_SET_SIZE];
};
void HubUtil_SocketSetClear(HubUtil_SocketSet* set);
// 1 when added or already present; 0 when the set is full or the socket invalid.
int HubUtil_SocketSetAdd(HubUtil_SocketSet* set, HubUtil_Socket socket);
int HubUtil_SocketSetContains(const HubUtil_SocketSet* set, HubUtil_Socket socket);

// Waits until a socket of the read set can be read (or its peer closed), one of
// the write set written, or one of the exception set has urgent data or an
// error, at most timeoutMs milliseconds (negative: no limit). Each set given
// (any may be null) is reduced to its ready sockets. The number of ready
// sockets, 0 at the time limit, -1 on failure; *interrupted is set to 1 when a
// signal interrupted the wait, else 0.
int HubUtil_Select(HubUtil_SocketSet* read, HubUtil_SocketSet* write, HubUtil_SocketSet* except,
                   int timeoutMs, int* interrupted);

// One send of up to `length` bytes (never raising SIGPIPE; retried when
// interrupted): the bytes sent, or -1 with the error in HubUtil_SocketError().
long HubUtil_Send(HubUtil_Socket socket, const void* data, size_t length);
// One receive of up to `length` bytes (retried when interrupted): the bytes
// received, 0 when the peer closed the stream, -1 on error.
long HubUtil_Receive(HubUtil_Socket socket, void* data, size_t length);
// 1 when the peer of a connected socket has closed its end (or the socket is
// invalid or broken), even while data it sent before is still unread; else 0.
// Does not wait.
int HubUtil_SocketPeerClosed(HubUtil_Socket socket);
// Ends both directions of a connection (the peer reads the end).
void HubUtil_ShutdownSocket(HubUtil_Socket socket);
// Closes a socket; -1 is ignored.
void HubUtil_CloseSocket(HubUtil_Socket socket);

// The calling thread's last socket error, and whether an error means "would
// block" (nothing to read, or no room to write, on a non-blocking socket).
int HubUtil_SocketError();
int HubUtil_SocketErrorWouldBlock(int error);
// The system's text for a socket error.
const char* HubUtil_SocketErrorText(int error);
