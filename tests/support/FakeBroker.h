// The sending side of a broker, for tests of servers that receive bulk data
// (recorded audio) named by a broker proxy. It offers data under a call id
// on a loopback listener; the server's in-broker connects and announces the
// call id in its handshake {c handshake :conn_type 2 :call_id ... }; the fake
// broker answers with a reply (an error frame "system_error" with ":errno" 6
// and "no match for broker" when the call id is another), then streams bare
// objects ("HUB_OBJECT_MSG_TYPE" messages) until it ends the stream
// ("HUB_DISCONNECT_MSG_TYPE") or closes the connection.
//
// One receiver per offer. Every wait takes a time-out in milliseconds. The
// Send members are for the test's thread after WaitForReceiver.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "libhub/io/SockQueue.h"
#include "tests/support/FakeHub.h"

namespace testsupport {

class FakeBroker {
 public:
  FakeBroker();
  ~FakeBroker();  // Close
  FakeBroker(const FakeBroker&) = delete;
  FakeBroker& operator=(const FakeBroker&) = delete;

  // Listens on a free loopback port and accepts, for `timeoutMs`, one
  // in-broker asking for `callId`. The port, or -1 when no listener opened.
  int Offer(const std::string& callId, int timeoutMs);
  // A proxy naming the offered data, of the object type (-1: any), to put in
  // a frame sent to the server.
  FrameValue Proxy(int32_t objectType) const;
  // Waits until a receiver's handshake was answered: true when it asked for
  // the offered call id.
  bool WaitForReceiver(int timeoutMs);
  // The receiver's handshake frame, once it came.
  std::optional<ReceivedFrame> Handshake() const;

  // Each writes one object to the receiver: true once written.
  bool SendInt16(const std::vector<int16_t>& samples);
  bool SendString(const std::string& text);
  // Ends the stream: true once written.
  bool SendEnd();
  // Closes the connection (a broken stream when no end was sent) and the listener.
  void Close();

 private:
  void Serve(int timeoutMs);
  bool AcceptWithin(int timeoutMs);
  bool WaitReadable(HubUtil_Socket socket, int timeoutMs);
  Hub_Frame* ReadHandshake(int timeoutMs);
  bool SendElement(int32_t type, uintptr_t value, int32_t size);

  std::string callId_;
  int port_ = -1;
  HubUtil_Socket listener_ = -1;
  HubUtil_Socket socket_ = -1;
  HubIO_SockObjectQueue* queue_ = nullptr;
  std::thread server_;
  std::atomic<bool> stop_{false};

  mutable std::mutex mutex_;
  std::condition_variable done_;
  bool finished_ = false;  // the handshake was answered or the offer failed
  bool accepted_ = false;
  std::optional<ReceivedFrame> handshake_;
};

}  // namespace testsupport
