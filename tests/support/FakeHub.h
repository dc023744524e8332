// A fake hub over loopback TCP, for tests of servers built on the hub
// protocol library. It speaks the library's wire format (socket queues and
// XDR frames) and plays either side of a connection:
//   - the hub that connects to a server (ConnectToServer): it sends the hub's
//     handshake {c handshake :conn_type 1 :protocol_version 1} as a new
//     message and keeps the server's answer (its handshake frame, or an error
//     frame);
//   - the hub a server contacts (Listen, then AcceptServer): it takes the
//     server's handshake frame and answers it as a reply.
// Once connected, a reader thread records every frame the server sends and
// answers the server's frames that ask for a reply (":reply_requested" in
// their ":hub_opaque_data"), by default with an empty frame of the same name
// carrying the hub data back unchanged. Call sends a frame stamped with a
// transaction index (":server_tidx") and waits for the reply that carries it.
//
// One connection at a time; records accumulate over connections. Every wait
// takes a time-out in milliseconds and gives false or nothing when it passes.
// The fake hub initialises the library's statics itself. Connecting and
// closing belong to one thread (the test's); calls, sends, settings, records
// and waits may be used from any thread meanwhile.
//
// Broker data for a proxy the fake hub hands over comes from a FakeBroker
// (FakeBroker.h).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "libhub/frames/Frame.h"
#include "libhub/io/SockQueue.h"

namespace testsupport {

// One property of a received frame: its key, the name of its type
// ("HUB_STRING", "HUB_INT", ...; "HUB_PROXY" for a broker proxy) and its
// value as text. A string or token is its bare text; every other value is the
// library's readable text form (an int "3", a float "9.000000e-01", a frame
// "{c admin_info :n 1 }"; arrays and broker proxies give a quoted
// "[non-readable frame element: ...]").
struct ReceivedProperty {
  std::string key;
  std::string type;
  std::string value;
};

// One frame received from the server.
struct ReceivedFrame {
  int32_t messageType = 0;  // HUB_MESSAGE_MSG_TYPE, HUB_REPLY_MSG_TYPE, ...
  int kind = 0;             // Hub_FrameKind
  std::string name;         // "" for a frame without a name
  std::vector<ReceivedProperty> properties;  // in the frame's order
  std::vector<ReceivedProperty> hubData;     // those of its ":hub_opaque_data" frame
  std::string text;                          // the whole frame, readable layout

  // The property of the key, or null.
  const ReceivedProperty* Find(const std::string& key) const;
  bool Has(const std::string& key) const { return Find(key) != nullptr; }
  // The value text of the key; "" when absent.
  std::string Value(const std::string& key) const;
  // The keys in order.
  std::vector<std::string> Keys() const;
  // The value text of a key of the hub data; "" when absent.
  std::string HubValue(const std::string& key) const;
};

// A value to put in a frame the fake hub sends.
class FrameValue {
 public:
  FrameValue(int32_t value);      // HUB_INT
  FrameValue(double value);       // HUB_FLOAT (stored as a float)
  FrameValue(const char* text);   // HUB_STRING
  FrameValue(std::string text);   // HUB_STRING
  // A broker proxy naming data offered at host and port under the call id.
  static FrameValue Proxy(std::string callId, std::string host, int32_t port,
                          int32_t objectType);
  // A new object holding the value (the caller owns it).
  Hub_Object* MakeObject() const;

 private:
  FrameValue() = default;
  int type_ = 0;
  int32_t int_ = 0;
  float float_ = 0;
  std::string text_;
  std::string host_;  // proxy only; text_ holds its call id
};

// Keys and values in the order they go into the frame.
using FrameKeys = std::vector<std::pair<std::string, FrameValue>>;

// A new clause frame of the name holding the keys (the caller owns it).
Hub_Frame* MakeHubFrame(const std::string& name, const FrameKeys& keys);

// How the fake hub answers a server's frame that asks for a reply.
struct AutoReply {
  bool silent = false;                          // send nothing at all
  bool drop = false;                            // drop the connection instead (Drop)
  int32_t messageType = HUB_REPLY_MSG_TYPE;     // or HUB_ERROR_MSG_TYPE
  std::string name;                             // "" answers with the incoming name
  FrameKeys keys;                               // put before ":hub_opaque_data"
  // An error answer: frame "system_error" with ":errno" and ":err_description".
  static AutoReply Error(int32_t errorNumber, const std::string& description);
  static AutoReply Silent();
  static AutoReply Drop();
};

// A new answer to a frame of the name whose hub data is given (may be null):
// the reply's frame, with a copy of the hub data as its ":hub_opaque_data";
// null for a silent reply. The caller owns it.
Hub_Frame* MakeAnswer(const std::string& incomingName, const Hub_Frame* hubData,
                      const AutoReply& reply);

// The record of a frame received as the message type.
ReceivedFrame RecordFrame(const Hub_Frame* frame, int32_t messageType);

// A frame on one line: its name, then each key but ":hub_opaque_data" with
// its value, strings in double quotes: `dialog :text "Dobry den" :n 1`.
std::string FrameLine(const ReceivedFrame& frame);

// Queues the record (taking it; null is refused) and flushes until it is
// written: true then, false on a socket error or after 5 seconds.
bool SendAndFlush(HubIO_SockObjectQueue* queue, HubIO_SockObject* record);

class FakeHub {
 public:
  FakeHub();
  ~FakeHub();  // Close
  FakeHub(const FakeHub&) = delete;
  FakeHub& operator=(const FakeHub&) = delete;

  // ---- connecting ----

  // The hub that connects: opens a connection to 127.0.0.1:port, sends the
  // hub's handshake with the connection type given and waits for the
  // server's answer. True when the answer is a reply (message type 2); the
  // answer of any type is kept (Handshake). False when nothing listens, the
  // server closes or nothing answers in time.
  bool ConnectToServer(int port, int timeoutMs, int32_t connectionType = 1);
  // Opens a connection to 127.0.0.1:port and sends nothing: a client that
  // stays silent. True when connected.
  bool ConnectSilently(int port);
  // The hub a server contacts: listens on the port (0: a free one); the
  // port, or -1 when no listener could be opened.
  int Listen(int port = 0);
  int ListeningPort() const { return listenPort_; }
  // Accepts one server (a connection still open is closed first), waits for
  // its handshake frame and answers it as a reply, unless `answer` says
  // otherwise (an error, or silence). True once the server's handshake came.
  bool AcceptServer(int timeoutMs, const AutoReply& answer = AutoReply());
  // The handshake frame received: the server's answer (ConnectToServer) or
  // its own handshake (AcceptServer); empty before one came.
  std::optional<ReceivedFrame> Handshake() const;
  // Closes the connection (the server reads the end) and stops the reader;
  // the listener stays. Safe to call when nothing is open.
  void CloseConnection();
  // Ends the connection at once, from any thread (the reader's too): the
  // server reads the end and the waits of the fake hub end; CloseConnection
  // still releases it.
  void Drop();
  // True once the fake hub ended the connection (Drop, CloseConnection)
  // before the server did; false again with the next connection.
  bool Dropped() const;
  // CloseConnection, then closes the listener.
  void Close();

  // ---- calling the server ----

  // Sends the frame {c name keys} as a new message whose hub data asks for a
  // reply, and waits for the reply carrying its transaction index: the reply
  // (message type 2, or 6 for an error frame, 3 for a destroy request), or
  // nothing after a failed send, a closed connection or the time-out.
  std::optional<ReceivedFrame> Call(const std::string& name, const FrameKeys& keys,
                                    int timeoutMs);
  // The same for a frame of the caller's (the fake hub stamps a copy).
  std::optional<ReceivedFrame> CallFrame(const Hub_Frame* frame, int timeoutMs);
  // Sends {c name keys} as a new message without asking for a reply (it
  // still carries a transaction index): true once written.
  bool Send(const std::string& name, const FrameKeys& keys);
  // Writes a copy of the frame as it is, as the message type: true once written.
  bool SendFrame(const Hub_Frame* frame, int32_t messageType);
  // Writes a "HUB_DISCONNECT_MSG_TYPE" message: true once written.
  bool SendDisconnect();
  // A ":session_id" put in the hub data of every later call ("" for none).
  void SetSessionId(const std::string& sessionId);

  // ---- answering the server ----

  // The answer to the server's frames of this name that ask for a reply.
  void SetReply(const std::string& name, const AutoReply& reply);
  // The answer to every other name (at first: the default reply).
  void SetDefaultReply(const AutoReply& reply);

  // ---- what was received ----

  // Every frame received, oldest first (handshake frames included).
  std::vector<ReceivedFrame> Received() const;
  // Waits until at least `count` frames were received, or the connection
  // ended; true when they were received.
  bool WaitForCount(size_t count, int timeoutMs) const;
  // Waits for the frame at `index` (counting from 0).
  std::optional<ReceivedFrame> WaitForFrame(size_t index, int timeoutMs) const;
  // Waits for the first frame named `name` received at or after `from`.
  std::optional<ReceivedFrame> WaitForNamed(const std::string& name, int timeoutMs,
                                            size_t from = 0) const;
  // Waits until the server closed the connection (or ended its stream); true
  // when it did.
  bool WaitForPeerClose(int timeoutMs) const;
  bool Connected() const;

 private:
  void Open(HubUtil_Socket socket);
  void ReaderLoop();
  bool ReadAvailable(std::vector<std::pair<Hub_Frame*, int32_t>>* frames);
  void Handle(Hub_Frame* frame, int32_t messageType);
  void Answer(const std::string& incomingName, const Hub_Frame* hubData, const AutoReply& reply);
  bool Write(const Hub_Frame* frame, int32_t messageType);
  bool WriteRecord(HubIO_SockObject* record);
  int32_t Stamp(Hub_Frame* frame, bool replyRequested);
  std::optional<ReceivedFrame> AwaitReply(int32_t index, int timeoutMs);
  template <typename Ready>
  bool WaitFor(int timeoutMs, Ready ready) const;

  // The connection: its socket and queue are used under queueMutex_ only.
  std::mutex queueMutex_;
  HubUtil_Socket socket_ = -1;
  HubIO_SockObjectQueue* queue_ = nullptr;
  std::thread reader_;
  std::atomic<bool> stopReader_{false};

  HubUtil_Socket listener_ = -1;
  int listenPort_ = -1;

  // Guarded by stateMutex_; changes are announced on changed_.
  mutable std::mutex stateMutex_;
  mutable std::condition_variable changed_;
  std::vector<ReceivedFrame> received_;
  std::optional<ReceivedFrame> handshake_;
  Hub_Frame* handshakeHubData_ = nullptr;  // of the last handshake, until answered
  bool connected_ = false;
  bool peerClosed_ = false;
  bool dropped_ = false;
  bool awaitingHandshake_ = false;  // the next frame is the handshake
  std::map<int32_t, std::optional<ReceivedFrame>> replies_;  // by transaction index
  int32_t nextIndex_ = 0;
  std::string sessionId_;
  std::map<std::string, AutoReply> replyByName_;
  AutoReply defaultReply_;
};

}  // namespace testsupport
