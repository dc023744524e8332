// The server's side of the link to its one peer, the hub bridge: whole text
// messages in both directions. The socket implementation is PeerSocket; tests
// put a scripted peer in its place.
#pragma once
#include <string>

class PeerLink {
 public:
  virtual ~PeerLink() = default;

  // Sends the text as one message. A failure of the link ends the process.
  virtual void Send(const std::string& text) = 0;
  // Sends the text as one message; false when the link has failed.
  virtual bool TrySend(const std::string& text) = 0;
  // Blocks until the next message arrives and returns it. Once the peer has
  // closed the link it returns "End" (and Closed() is true). A failure of the
  // link ends the process.
  virtual std::string Receive() = 0;
  // True once a receive has found the link closed by the peer.
  virtual bool Closed() const = 0;
};

// The peer's answer that means the caller hung up; a closed link reads as it too.
inline constexpr char kHangUpReply[] = "End";

// True when the peer answered a request with "End": the caller hung up.
inline bool PeerAnsweredEnd(const std::string& reply) { return reply == kHangUpReply; }
