// The link to the hub bridge over TCP: the server listens, accepts its one
// peer and then exchanges NUL-terminated messages with it. Every message sent
// or received is copied into the socket log "Quorvane/socket_log.txt", which
// stays open while the link lives and gets each line at once; a received
// message that was cut is followed there by a line giving its length.
// A failure of the link prints its message on standard error and ends the
// process with status 0 (through FatalExit, so a running dialogue is stopped
// first).
#pragma once
#include <functional>
#include <string>

#include "interpreter/common/PeerLink.h"
#include "platform/AppendFile.h"
#include "platform/MessageReader.h"
#include "platform/TcpSocket.h"

// Prints the server's start-up banner on standard output.
void PrintBanner();

class PeerSocket : public PeerLink {
 public:
  // The longest message text received whole (it arrives with its NUL in 9999
  // bytes); longer ones are cut to it.
  static constexpr std::size_t kMaxMessage = 9998;

  // Truncates the socket log and writes its first line.
  PeerSocket();
  PeerSocket(const PeerSocket&) = delete;
  PeerSocket& operator=(const PeerSocket&) = delete;

  // Listens on the port, runs whileListening (when given: a peer that
  // connects meanwhile waits in the backlog) and returns once one peer has
  // connected; prints the peer's address. The listener stays open: later
  // peers are never served.
  void ListenAndAccept(int port, const std::function<void()>& whileListening = {});

  void Send(const std::string& text) override;
  // The text goes out up to its first NUL, followed by one NUL.
  bool TrySend(const std::string& text) override;
  std::string Receive() override;
  bool Closed() const override { return closed_; }

 private:
  // Appends the text to the socket log.
  void WriteLog(const std::string& text);

  platform::TcpListener listener_;
  platform::TcpConnection peer_;
  platform::MessageReader reader_;
  platform::AppendFile log_;
  bool closed_ = false;
};
