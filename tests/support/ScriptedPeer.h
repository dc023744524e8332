// The bridge's side of the peer link, played from a script: it connects to a
// running Quorvane, sends scripted messages, records every message it
// receives and answers each request from the script, from a fallback (a
// person typing, for instance) or with the default reply "OK".
//
// Script format: one directive per line; blank lines and lines starting with
// '#' are skipped; a trailing "\r" is dropped. TEXT and PREFIX take the
// escapes \t \n \r \\ and \xHH (one byte, e.g. Windows-1250 letters).
//
//   send TEXT             send TEXT as one message ("send" alone: empty message)
//   wait MS               pause MS milliseconds
//   close                 close the link (later steps are not run)
//   reply PREFIX => TEXT  answer the next request that starts with PREFIX
//                         with TEXT; each reply line answers once
//   hangup PREFIX         close the link when such a request arrives
//   default TEXT          the answer when no reply line matches ("OK" first)
//
// The steps (send, wait, close) run first, in order. Then the peer serves the
// server's requests until "Koniec dialogu" arrives or the link closes: each
// received message is answered by the first unused reply or hangup line (in
// file order) whose PREFIX starts it, else by the fallback, else by the
// default. "dataquery" is answered only after the message that follows it
// (the query itself), which is recorded too. Example, a yes to the first
// question and a hang-up at the second:
//
//   send Begin
//   reply ask: => :utt ano\t:conf 0.9\t:noinput 0\t:semantic ano
//   hangup ask:
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/MessageReader.h"
#include "platform/TcpSocket.h"

namespace testsupport {

struct PeerStep {
  enum class Kind { kSend, kWait, kClose };
  Kind kind;
  std::string text;      // kSend
  int milliseconds = 0;  // kWait
};

struct PeerRule {
  std::string prefix;
  std::optional<std::string> reply;  // none: hang up
};

struct PeerScript {
  std::vector<PeerStep> steps;
  std::vector<PeerRule> rules;
  std::string defaultReply = "OK";

  // Throws std::invalid_argument naming the line of a bad directive.
  static PeerScript Parse(const std::string& text);
};

// Escapes of the script format. Unescape throws std::invalid_argument on a
// bad escape; Escape writes tabs, line ends, backslashes and control bytes
// as escapes, for showing messages on one line.
std::string Unescape(const std::string& text);
std::string Escape(const std::string& text);

// What the peer does with one received message.
struct PeerAction {
  enum class Kind { kWait, kReply, kHangUp, kEnd };
  Kind kind;
  std::string reply;  // kReply
};

// The answering half of the peer, shared by the socket peer and the
// in-process link: feeds on received messages and says what to do.
class PeerAnswers {
 public:
  // A fallback returns the reply to a request, or none for "no opinion"
  // (the default reply is used then).
  using Fallback = std::function<std::optional<std::string>(const std::string& request)>;

  explicit PeerAnswers(const PeerScript& script);
  void SetFallback(Fallback fallback) { fallback_ = std::move(fallback); }

  // kEnd for "Koniec dialogu"; kWait after "dataquery" (its query follows);
  // otherwise the answer to the request.
  PeerAction OnMessage(const std::string& message);

 private:
  std::vector<PeerRule> rules_;
  std::vector<bool> used_;
  std::string defaultReply_;
  Fallback fallback_;
  bool inDataQuery_ = false;
};

class ScriptedPeer {
 public:
  enum class Outcome {
    kDialogueEnded,  // "Koniec dialogu" arrived
    kHungUp,         // the script closed the link
    kServerClosed,   // the server closed the link first
    kTimedOut,       // no message within the time-out
    kFailed,         // not connected, or the link failed
  };
  // Called for every message, sent (outgoing true) or received.
  using Observer = std::function<void(bool outgoing, const std::string& message)>;

  explicit ScriptedPeer(PeerScript script);
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  void SetFallback(PeerAnswers::Fallback fallback) { answers_.SetFallback(std::move(fallback)); }
  void SetObserver(Observer observer) { observer_ = std::move(observer); }

  // Connects to the port on 127.0.0.1, trying again until timeoutMs passed.
  bool Connect(int port, int timeoutMs);
  // Plays the script; every wait for a message lasts at most timeoutMs
  // (negative: no limit).
  Outcome Run(int timeoutMs);

  const std::vector<std::string>& Received() const { return received_; }
  const std::vector<std::string>& Sent() const { return sent_; }

 private:
  bool Send(const std::string& text);
  // The next message, or the outcome that ends the run.
  std::optional<Outcome> Receive(int timeoutMs, std::string* message);

  PeerScript script_;
  PeerAnswers answers_;
  Observer observer_;
  platform::TcpConnection link_;
  platform::MessageReader reader_;
  bool timedOut_ = false;
  int waitMs_ = -1;
  std::vector<std::string> received_;
  std::vector<std::string> sent_;
};

}  // namespace testsupport
