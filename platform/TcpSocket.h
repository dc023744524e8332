// TCP on IPv4: a listener that accepts connections and a connected stream.
// Sends go out whole (partial sends are looped, EINTR is retried, a closed
// peer never raises SIGPIPE); reads retry EINTR. Both classes own their
// descriptor and close it when destroyed; they can be moved, not copied.
#pragma once
#include <cstddef>
#include <string>

namespace platform {

// A port of 1 to 65535 written in decimal digits only; 0 when the text is not one.
int ParsePort(const std::string& text);

// Why a connection could not be made.
enum class ConnectError { kNone, kSocket, kUnreached };

class TcpConnection {
 public:
  TcpConnection() = default;
  explicit TcpConnection(int fd) : fd_(fd) {}
  ~TcpConnection();
  TcpConnection(TcpConnection&& other) noexcept;
  TcpConnection& operator=(TcpConnection&& other) noexcept;
  TcpConnection(const TcpConnection&) = delete;
  TcpConnection& operator=(const TcpConnection&) = delete;

  // Connects to the port on 127.0.0.1; the result is not open on failure.
  static TcpConnection ConnectLoopback(int port);
  // Connects to the port of the host (a name or a dotted IPv4 address),
  // waiting at most timeoutMs. On failure the result is not open and *error
  // says kSocket (no socket could be made) or kUnreached (the name does not
  // resolve, or the connection is refused or not made in time).
  static TcpConnection Connect(const std::string& host, int port, int timeoutMs,
                               ConnectError* error);

  bool IsOpen() const { return fd_ >= 0; }
  // Sends all size bytes. False when the connection failed (or is not open),
  // or when a send time-out is set and the peer took nothing for that long.
  bool SendAll(const char* data, std::size_t size);
  // Every later send waits at most that long (SO_SNDTIMEO; 0: for ever) for
  // the peer to take data. False when the option could not be set.
  bool SetSendTimeout(int milliseconds);
  // Blocks until bytes arrive and reads at most size of them. Returns the
  // count, 0 when the peer has closed the stream, -1 on failure.
  long Read(char* buffer, std::size_t size);
  // Waits at most timeoutMs (negative: for ever) until Read would not block.
  bool WaitReadable(int timeoutMs);
  void Close();

 private:
  int fd_ = -1;
};

// The step of opening a listener that failed.
enum class ListenError { kNone, kSocket, kBind, kListen };

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener();
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  // Listens on 127.0.0.1 alone at the port (0: a free port chosen by the
  // system), with SO_REUSEADDR and a backlog of 10: only this machine's
  // programs can connect. A port that
  // another live listener holds fails with kBind.
  ListenError Listen(int port);
  // The port actually bound; 0 before a successful Listen.
  int Port() const;
  // Blocks until a peer connects and returns the connection (not open on
  // failure); peerAddress receives the peer's dotted IPv4 address.
  TcpConnection Accept(std::string* peerAddress);

 private:
  int fd_ = -1;
};

}  // namespace platform
