#include "tests/support/FakeBroker.h"

#include <chrono>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/io/BinaryIO.h"
#include "libhub/io/Xdr.h"
#include "tests/support/FreePort.h"

namespace testsupport {

// How often the broker's thread looks at its stop flag while it waits.
constexpr int kTickMs = 20;

// Waits until the socket can be read, at most timeoutMs (in ticks, so that
// Close can stop the wait): true when it can.
bool FakeBroker::WaitReadable(HubUtil_Socket socket, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!stop_ && std::chrono::steady_clock::now() < deadline) {
    HubUtil_SocketSet ready;
    HubUtil_SocketSetClear(&ready);
    HubUtil_SocketSetAdd(&ready, socket);
    int interrupted = 0;
    if (HubUtil_Select(&ready, nullptr, nullptr, kTickMs, &interrupted) > 0) return true;
  }
  return false;
}

FakeBroker::FakeBroker() { Hub_InitializeStatics(); }

FakeBroker::~FakeBroker() { Close(); }

int FakeBroker::Offer(const std::string& callId, int timeoutMs) {
  Close();
  callId_ = callId;
  for (int attempt = 0; attempt < 20 && listener_ < 0; ++attempt) {
    port_ = FreePort();
    listener_ = HubUtil_ServerSocket(port_, 5);
  }
  if (listener_ < 0) return port_ = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = accepted_ = false;
    handshake_.reset();
  }
  server_ = std::thread(&FakeBroker::Serve, this, timeoutMs);
  return port_;
}

FrameValue FakeBroker::Proxy(int32_t objectType) const {
  return FrameValue::Proxy(callId_, "127.0.0.1", port_, objectType);
}

// Accepts one receiver and answers its handshake, all within the time-out.
void FakeBroker::Serve(int timeoutMs) {
  auto start = std::chrono::steady_clock::now();
  bool accepted = false;
  if (AcceptWithin(timeoutMs)) {
    int left = timeoutMs - static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
    if (Hub_Frame* handshake = ReadHandshake(left)) {
      const char* asked = Hub_GetFrameString(handshake, ":call_id");
      accepted = asked && callId_ == asked;
      AutoReply answer = accepted ? AutoReply() : AutoReply::Error(6, "no match for broker");
      Hub_Frame* reply = MakeAnswer("handshake", Hub_GetFrameFrame(handshake, ":hub_opaque_data"),
                                    answer);
      SendAndFlush(queue_, HubIO_FrameToSockObject(reply, answer.messageType));
      Hub_DestroyFrame(reply);
      std::lock_guard<std::mutex> lock(mutex_);
      handshake_ = RecordFrame(handshake, HUB_MESSAGE_MSG_TYPE);
      Hub_DestroyFrame(handshake);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  accepted_ = accepted;
  finished_ = true;
  done_.notify_all();
}

bool FakeBroker::AcceptWithin(int timeoutMs) {
  if (!WaitReadable(listener_, timeoutMs)) return false;
  char peer[HUBUTIL_IPV4_TEXT_SIZE];
  if (HubUtil_Accept(listener_, peer, &socket_, 0) != 1) return false;
  HubUtil_SetNonBlocking(socket_);
  queue_ = HubIO_CreateSockObjectQueue(socket_, HUBIO_BROKER_QUEUE_SIZE, HUBIO_BROKER_QUEUE_SIZE);
  return true;
}

// The receiver's first frame, or null when none came in time.
Hub_Frame* FakeBroker::ReadHandshake(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  Hub_Frame* frame = nullptr;
  while (std::chrono::steady_clock::now() < deadline && !stop_) {
    int result = HubIO_SockObjectQueueReadFrame(queue_, &frame, nullptr, nullptr, nullptr, 0);
    if (result != 0) return result == 1 ? frame : nullptr;
    WaitReadable(socket_, kTickMs);
  }
  return nullptr;
}

bool FakeBroker::WaitForReceiver(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return finished_; });
  return accepted_;
}

std::optional<ReceivedFrame> FakeBroker::Handshake() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return handshake_;
}

bool FakeBroker::SendElement(int32_t type, uintptr_t value, int32_t size) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!accepted_) return false;
  }
  int32_t length = 0;
  char* data = HubIO_EncodeElement(type, value, size, &length);
  if (!data) return false;
  return SendAndFlush(queue_, HubIO_MakeSockObject(data, HUB_OBJECT_MSG_TYPE, length, 1));
}

bool FakeBroker::SendInt16(const std::vector<int16_t>& samples) {
  return SendElement(HUB_INT_16, reinterpret_cast<uintptr_t>(samples.data()),
                     static_cast<int32_t>(samples.size()));
}

bool FakeBroker::SendString(const std::string& text) {
  return SendElement(HUB_STRING, reinterpret_cast<uintptr_t>(text.c_str()),
                     static_cast<int32_t>(text.size()));
}

bool FakeBroker::SendEnd() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!accepted_) return false;
  }
  return SendAndFlush(queue_, HubIO_MakeSockObject(nullptr, HUB_DISCONNECT_MSG_TYPE, 0, 0));
}

void FakeBroker::Close() {
  stop_ = true;
  if (server_.joinable()) server_.join();
  stop_ = false;
  HubUtil_CloseSocket(listener_);
  listener_ = -1;
  HubIO_DestroySockObjectQueue(queue_);
  queue_ = nullptr;
  HubUtil_CloseSocket(socket_);
  socket_ = -1;
}

}  // namespace testsupport
