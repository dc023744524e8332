#include "tests/support/FakeHub.h"

#include <chrono>
#include <cstdlib>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/frames/BrokerProxy.h"
#include "libhub/frames/PrintUtil.h"
#include "libhub/io/BinaryIO.h"
#include "tests/support/FreePort.h"

namespace testsupport {
namespace {

constexpr const char* kHubData = ":hub_opaque_data";
// How long a write may take before the fake hub gives it up.
constexpr int kWriteLimitMs = 5000;
// How often the reader looks at its stop flag while the server is silent.
constexpr int kReaderTickMs = 20;

std::string ReadableText(const Hub_Object* object) {
  Hub_PrintContext* context = Hub_CreatePrintContext(HUB_READABLE_LAYOUT, nullptr);
  Hub_PrintObject(object, context);
  std::string text = Hub_PrintContextText(context);
  Hub_DestroyPrintContext(context);
  return text;
}

std::string ValueText(const Hub_Object* object) {
  int type = Hub_ObjectTypeCode(object);
  if (type == HUB_STRING || type == HUB_TOKEN) return Hub_ObjectText(object);
  return ReadableText(object);
}

// The library's type name; "HUB_PROXY" for a broker proxy, which has none.
std::string TypeName(const Hub_Object* object) {
  return Hub_IsProxyObject(object) ? "HUB_PROXY" : Hub_ObjectTypeName(object);
}

std::vector<ReceivedProperty> PropertiesOf(const Hub_Frame* frame) {
  std::vector<ReceivedProperty> properties;
  int32_t count = 0;
  const char** keys = Hub_FramePropertyKeys(frame, &count);
  for (int32_t i = 0; i < count; ++i) {
    const Hub_Object* object = Hub_GetFrameObject(frame, keys[i]);
    properties.push_back({keys[i], TypeName(object), ValueText(object)});
  }
  free(keys);
  return properties;
}

// The frame's ":hub_opaque_data" frame, or null.
const Hub_Frame* HubDataOf(const Hub_Frame* frame) {
  const Hub_Object* hubData = Hub_GetFrameObject(frame, kHubData);
  return Hub_IsFrameObject(hubData) ? Hub_ObjectFrame(hubData) : nullptr;
}

}  // namespace

ReceivedFrame RecordFrame(const Hub_Frame* frame, int32_t messageType) {
  ReceivedFrame record;
  record.messageType = messageType;
  record.kind = Hub_FrameKind(frame);
  const char* name = Hub_FrameName(frame);
  record.name = name ? name : "";
  record.properties = PropertiesOf(frame);
  if (const Hub_Frame* hubData = HubDataOf(frame)) record.hubData = PropertiesOf(hubData);
  Hub_PrintContext* context = Hub_CreatePrintContext(HUB_READABLE_LAYOUT, nullptr);
  Hub_PrintFrame(frame, context);
  record.text = Hub_PrintContextText(context);
  Hub_DestroyPrintContext(context);
  return record;
}

namespace {

// The integer under the key of the frame's hub data; `absent` when there is none.
int32_t HubDataInt(const Hub_Frame* frame, const char* key, int32_t absent) {
  const Hub_Object* value = Hub_GetFrameObject(HubDataOf(frame), key);
  return Hub_IsIntObject(value) ? Hub_ObjectInt(value) : absent;
}

const ReceivedProperty* FindIn(const std::vector<ReceivedProperty>& properties,
                               const std::string& key) {
  for (const ReceivedProperty& property : properties) {
    if (property.key == key) return &property;
  }
  return nullptr;
}

}  // namespace

// ---- records ----

const ReceivedProperty* ReceivedFrame::Find(const std::string& key) const {
  return FindIn(properties, key);
}

std::string ReceivedFrame::Value(const std::string& key) const {
  const ReceivedProperty* property = Find(key);
  return property ? property->value : "";
}

std::vector<std::string> ReceivedFrame::Keys() const {
  std::vector<std::string> keys;
  for (const ReceivedProperty& property : properties) keys.push_back(property.key);
  return keys;
}

std::string ReceivedFrame::HubValue(const std::string& key) const {
  const ReceivedProperty* property = FindIn(hubData, key);
  return property ? property->value : "";
}

std::string FrameLine(const ReceivedFrame& frame) {
  std::string line = frame.name;
  for (const ReceivedProperty& property : frame.properties) {
    if (property.key == kHubData) continue;
    bool quoted = property.type == "HUB_STRING";
    line += " " + property.key + " " + (quoted ? "\"" + property.value + "\"" : property.value);
  }
  return line;
}

// ---- values and frames to send ----

FrameValue::FrameValue(int32_t value) : type_(HUB_INT), int_(value) {}
FrameValue::FrameValue(double value) : type_(HUB_FLOAT), float_(static_cast<float>(value)) {}
FrameValue::FrameValue(const char* text) : type_(HUB_STRING), text_(text) {}
FrameValue::FrameValue(std::string text) : type_(HUB_STRING), text_(std::move(text)) {}

FrameValue FrameValue::Proxy(std::string callId, std::string host, int32_t port,
                             int32_t objectType) {
  FrameValue value;
  value.type_ = HUB_PROXY;
  value.text_ = std::move(callId);
  value.host_ = std::move(host);
  value.int_ = port;
  value.float_ = static_cast<float>(objectType);
  return value;
}

Hub_Object* FrameValue::MakeObject() const {
  switch (type_) {
    case HUB_INT: return Hub_MakeIntObject(int_);
    case HUB_FLOAT: return Hub_MakeFloatObject(float_);
    case HUB_PROXY:
      return Hub_MakeProxyObject(Hub_CreateBrokerProxy(host_.c_str(), int_, text_.c_str(),
                                                       static_cast<int32_t>(float_), nullptr));
    default: return Hub_MakeStringObject(text_.c_str());
  }
}

Hub_Frame* MakeHubFrame(const std::string& name, const FrameKeys& keys) {
  Hub_InitializeStatics();
  Hub_Frame* frame = Hub_MakeFrame(name.c_str());
  for (const auto& [key, value] : keys) {
    Hub_SetFrameProperty(frame, key.c_str(), value.MakeObject());
  }
  return frame;
}

Hub_Frame* MakeAnswer(const std::string& incomingName, const Hub_Frame* hubData,
                      const AutoReply& reply) {
  if (reply.silent) return nullptr;
  Hub_Frame* answer = MakeHubFrame(reply.name.empty() ? incomingName : reply.name, reply.keys);
  if (hubData) Hub_SetFrameProperty(answer, kHubData, Hub_MakeFrameObject(Hub_CopyFrame(hubData)));
  return answer;
}

AutoReply AutoReply::Error(int32_t errorNumber, const std::string& description) {
  AutoReply reply;
  reply.messageType = HUB_ERROR_MSG_TYPE;
  reply.name = "system_error";
  reply.keys = {{":errno", errorNumber}, {":err_description", description}};
  return reply;
}

AutoReply AutoReply::Silent() {
  AutoReply reply;
  reply.silent = true;
  return reply;
}

AutoReply AutoReply::Drop() {
  AutoReply reply;
  reply.drop = true;
  return reply;
}

bool SendAndFlush(HubIO_SockObjectQueue* queue, HubIO_SockObject* record) {
  if (!queue || !record) {
    HubIO_FreeSockObject(record);
    return false;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteLimitMs);
  int result = HubIO_SockObjectQueueSend(queue, record);
  while (result == 1 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    result = HubIO_SockObjectQueueFlush(queue);
  }
  return result == 0;
}

// ---- the fake hub ----

FakeHub::FakeHub() { Hub_InitializeStatics(); }

FakeHub::~FakeHub() {
  Close();
  Hub_DestroyFrame(handshakeHubData_);
}

template <typename Ready>
bool FakeHub::WaitFor(int timeoutMs, Ready ready) const {
  std::unique_lock<std::mutex> lock(stateMutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

bool FakeHub::ConnectToServer(int port, int timeoutMs, int32_t connectionType) {
  CloseConnection();
  HubUtil_Socket socket = HubUtil_ClientSocket("127.0.0.1", port);
  if (socket < 0) return false;
  Open(socket);
  Hub_Frame* handshake =
      MakeHubFrame("handshake", {{":conn_type", connectionType}, {":protocol_version", 1}});
  bool sent = Write(handshake, HUB_MESSAGE_MSG_TYPE);
  Hub_DestroyFrame(handshake);
  if (!sent) return false;
  WaitFor(timeoutMs, [this] { return handshake_.has_value() || peerClosed_; });
  std::lock_guard<std::mutex> lock(stateMutex_);
  return handshake_ && handshake_->messageType == HUB_REPLY_MSG_TYPE;
}

bool FakeHub::ConnectSilently(int port) {
  CloseConnection();
  HubUtil_Socket socket = HubUtil_ClientSocket("127.0.0.1", port);
  if (socket < 0) return false;
  Open(socket);
  return true;
}

int FakeHub::Listen(int port) {
  if (listener_ >= 0) return listenPort_;
  for (int attempt = 0; attempt < (port == 0 ? 20 : 1) && listener_ < 0; ++attempt) {
    int tried = port == 0 ? FreePort() : port;
    listener_ = HubUtil_ServerSocket(tried, 5);
    if (listener_ >= 0) listenPort_ = tried;
  }
  return listenPort_;
}

bool FakeHub::AcceptServer(int timeoutMs, const AutoReply& answer) {
  if (listener_ < 0) return false;
  CloseConnection();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  HubUtil_SocketSet ready;
  HubUtil_SocketSetClear(&ready);
  HubUtil_SocketSetAdd(&ready, listener_);
  int interrupted = 0;
  if (HubUtil_Select(&ready, nullptr, nullptr, timeoutMs, &interrupted) <= 0) return false;
  char peer[HUBUTIL_IPV4_TEXT_SIZE];
  HubUtil_Socket socket = -1;
  if (HubUtil_Accept(listener_, peer, &socket, 0) != 1) return false;
  Open(socket);
  std::string name;
  Hub_Frame* hubData = nullptr;  // answered with the server's handshake data
  {
    std::unique_lock<std::mutex> lock(stateMutex_);
    if (!changed_.wait_until(lock, deadline, [this] { return handshake_ || peerClosed_; }) ||
        !handshake_) {
      return false;
    }
    name = handshake_->name;
    std::swap(hubData, handshakeHubData_);
  }
  Answer(name, hubData, answer);
  Hub_DestroyFrame(hubData);
  return true;
}

void FakeHub::Open(HubUtil_Socket socket) {
  HubUtil_SetNonBlocking(socket);
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    socket_ = socket;
    queue_ = HubIO_CreateSockObjectQueue(socket, HUBIO_CONNECTION_QUEUE_SIZE,
                                         HUBIO_CONNECTION_QUEUE_SIZE);
  }
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    connected_ = true;
    peerClosed_ = false;
    dropped_ = false;
    awaitingHandshake_ = true;
    handshake_.reset();
    Hub_DestroyFrame(handshakeHubData_);
    handshakeHubData_ = nullptr;
    replies_.clear();
  }
  stopReader_ = false;
  reader_ = std::thread(&FakeHub::ReaderLoop, this);
}

std::optional<ReceivedFrame> FakeHub::Handshake() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return handshake_;
}

void FakeHub::CloseConnection() {
  Drop();
  if (reader_.joinable()) reader_.join();
  std::lock_guard<std::mutex> lock(queueMutex_);
  HubIO_DestroySockObjectQueue(queue_);
  queue_ = nullptr;
  HubUtil_CloseSocket(socket_);
  socket_ = -1;
}

void FakeHub::Drop() {
  stopReader_ = true;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (socket_ < 0) return;
    HubUtil_ShutdownSocket(socket_);
  }
  std::lock_guard<std::mutex> lock(stateMutex_);
  dropped_ = !peerClosed_;
  connected_ = false;
  changed_.notify_all();
}

bool FakeHub::Dropped() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return dropped_;
}

void FakeHub::Close() {
  CloseConnection();
  HubUtil_CloseSocket(listener_);
  listener_ = -1;
  listenPort_ = -1;
}

// ---- reading ----

void FakeHub::ReaderLoop() {
  bool alive = true;
  while (alive && !stopReader_) {
    HubUtil_SocketSet ready;
    HubUtil_SocketSetClear(&ready);
    HubUtil_SocketSetAdd(&ready, socket_);
    int interrupted = 0;
    int count = HubUtil_Select(&ready, nullptr, nullptr, kReaderTickMs, &interrupted);
    if (stopReader_) break;
    if (count == 0 || (count < 0 && interrupted)) continue;
    std::vector<std::pair<Hub_Frame*, int32_t>> frames;
    alive = count > 0 && ReadAvailable(&frames);
    for (const auto& [frame, messageType] : frames) Handle(frame, messageType);
  }
  std::lock_guard<std::mutex> lock(stateMutex_);
  if (!alive) peerClosed_ = true;
  changed_.notify_all();
}

// Reads what the socket holds and takes out every complete frame; false once
// the stream has ended or broken.
bool FakeHub::ReadAvailable(std::vector<std::pair<Hub_Frame*, int32_t>>* frames) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  int read = HubIO_SockObjectQueueRead(queue_);
  Hub_Frame* frame = nullptr;
  int32_t messageType = 0;
  int taken = 0;
  while ((taken = HubIO_SockObjectQueueReadFrame(queue_, &frame, &messageType, nullptr, nullptr,
                                                 0)) == 1) {
    frames->emplace_back(frame, messageType);
  }
  return read >= 0 && taken >= 0 && !queue_->disconnected;
}

void FakeHub::Handle(Hub_Frame* frame, int32_t messageType) {
  ReceivedFrame record = RecordFrame(frame, messageType);
  bool answer = false;
  AutoReply reply;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    received_.push_back(record);
    if (awaitingHandshake_) {
      awaitingHandshake_ = false;
      handshake_ = record;
      Hub_DestroyFrame(handshakeHubData_);
      handshakeHubData_ = Hub_CopyFrame(HubDataOf(frame));
    } else if (messageType == HUB_MESSAGE_MSG_TYPE) {
      answer = HubDataInt(frame, ":reply_requested", 0) != 0;
      auto named = replyByName_.find(record.name);
      reply = named != replyByName_.end() ? named->second : defaultReply_;
    } else {
      auto waiting = replies_.find(HubDataInt(frame, ":server_tidx", -1));
      if (waiting != replies_.end()) waiting->second = record;
    }
    changed_.notify_all();
  }
  if (answer) Answer(record.name, HubDataOf(frame), reply);
  Hub_DestroyFrame(frame);
}

// ---- writing ----


bool FakeHub::Write(const Hub_Frame* frame, int32_t messageType) {
  return WriteRecord(HubIO_FrameToSockObject(frame, messageType));
}

void FakeHub::Answer(const std::string& incomingName, const Hub_Frame* hubData,
                     const AutoReply& reply) {
  if (reply.drop) {
    Drop();
    return;
  }
  Hub_Frame* answer = MakeAnswer(incomingName, hubData, reply);
  if (answer) Write(answer, reply.messageType);
  Hub_DestroyFrame(answer);
}

bool FakeHub::WriteRecord(HubIO_SockObject* record) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  return SendAndFlush(queue_, record);
}

bool FakeHub::SendFrame(const Hub_Frame* frame, int32_t messageType) {
  return Write(frame, messageType);
}

bool FakeHub::SendDisconnect() {
  return WriteRecord(HubIO_MakeSockObject(nullptr, HUB_DISCONNECT_MSG_TYPE, 0, 0));
}

// ---- calling ----

// Gives the frame a fresh ":hub_opaque_data" with the next transaction index
// (and a reply request, a waiting place for the reply); the index.
int32_t FakeHub::Stamp(Hub_Frame* frame, bool replyRequested) {
  int32_t index = 0;
  std::string sessionId;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    index = nextIndex_++;
    if (replyRequested) replies_[index] = std::nullopt;
    sessionId = sessionId_;
  }
  FrameKeys keys;
  if (!sessionId.empty()) keys.emplace_back(":session_id", sessionId);
  if (replyRequested) keys.emplace_back(":reply_requested", 1);
  keys.emplace_back(":server_tidx", index);
  Hub_Frame* hubData = MakeHubFrame("admin_info", keys);
  Hub_SetFrameProperty(frame, kHubData, Hub_MakeFrameObject(hubData));
  return index;
}

std::optional<ReceivedFrame> FakeHub::AwaitReply(int32_t index, int timeoutMs) {
  std::unique_lock<std::mutex> lock(stateMutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return replies_[index].has_value() || peerClosed_ || !connected_;
  });
  std::optional<ReceivedFrame> reply = replies_[index];
  replies_.erase(index);
  return reply;
}

std::optional<ReceivedFrame> FakeHub::Call(const std::string& name, const FrameKeys& keys,
                                           int timeoutMs) {
  Hub_Frame* frame = MakeHubFrame(name, keys);
  std::optional<ReceivedFrame> reply = CallFrame(frame, timeoutMs);
  Hub_DestroyFrame(frame);
  return reply;
}

std::optional<ReceivedFrame> FakeHub::CallFrame(const Hub_Frame* frame, int timeoutMs) {
  Hub_Frame* copy = Hub_CopyFrame(frame);
  int32_t index = Stamp(copy, true);
  bool sent = Write(copy, HUB_MESSAGE_MSG_TYPE);
  Hub_DestroyFrame(copy);
  if (!sent) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    replies_.erase(index);
    return std::nullopt;
  }
  return AwaitReply(index, timeoutMs);
}

bool FakeHub::Send(const std::string& name, const FrameKeys& keys) {
  Hub_Frame* frame = MakeHubFrame(name, keys);
  Stamp(frame, false);
  bool sent = Write(frame, HUB_MESSAGE_MSG_TYPE);
  Hub_DestroyFrame(frame);
  return sent;
}

void FakeHub::SetSessionId(const std::string& sessionId) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  sessionId_ = sessionId;
}

void FakeHub::SetReply(const std::string& name, const AutoReply& reply) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  replyByName_[name] = reply;
}

void FakeHub::SetDefaultReply(const AutoReply& reply) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  defaultReply_ = reply;
}

// ---- what was received ----

std::vector<ReceivedFrame> FakeHub::Received() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return received_;
}

bool FakeHub::WaitForCount(size_t count, int timeoutMs) const {
  WaitFor(timeoutMs, [&] { return received_.size() >= count || peerClosed_ || !connected_; });
  std::lock_guard<std::mutex> lock(stateMutex_);
  return received_.size() >= count;
}

std::optional<ReceivedFrame> FakeHub::WaitForFrame(size_t index, int timeoutMs) const {
  if (!WaitForCount(index + 1, timeoutMs)) return std::nullopt;
  std::lock_guard<std::mutex> lock(stateMutex_);
  return received_[index];
}

std::optional<ReceivedFrame> FakeHub::WaitForNamed(const std::string& name, int timeoutMs,
                                                   size_t from) const {
  std::optional<ReceivedFrame> found;
  WaitFor(timeoutMs, [&] {
    for (size_t i = from; i < received_.size(); ++i) {
      if (received_[i].name == name) {
        found = received_[i];
        return true;
      }
    }
    return false;
  });
  return found;
}

bool FakeHub::WaitForPeerClose(int timeoutMs) const {
  return WaitFor(timeoutMs, [this] { return peerClosed_; });
}

bool FakeHub::Connected() const {
  std::lock_guard<std::mutex> lock(stateMutex_);
  return connected_ && !peerClosed_;
}

}  // namespace testsupport
