// Receiving broker data named by a proxy, against the fake broker: the
// timed-task loop runs in a thread of its own, as in a server.
#include <gtest/gtest.h>

#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "libhub/io/Broker.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/io/ProxyReceiving.h"
#include "libhub/util/Print.h"
#include "libhub/util/TimedTasks.h"
#include "tests/libhub/util/HubTestSupport.h"
#include "tests/support/FakeBroker.h"
#include "tests/support/FreePort.h"

namespace {

constexpr int kWaitMs = 5000;

// What the callbacks saw, in order: "data <value>", "final", "abort", "destroyed".
struct Events {
  std::mutex mutex;
  std::vector<std::string> seen;
  void Add(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex);
    seen.push_back(event);
  }
  std::vector<std::string> Seen() {
    std::lock_guard<std::mutex> lock(mutex);
    return seen;
  }
};

std::string ValueText(Hub_Object* object) {
  if (Hub_IsStringObject(object)) return Hub_ObjectText(object);
  int32_t count = 0;
  auto* samples = static_cast<int16_t*>(Hub_GetInt16Array(object, &count));
  std::string text = "[";
  for (int32_t i = 0; i < count; ++i) text += (i ? " " : "") + std::to_string(samples[i]);
  return text + "]";
}

void OnData(Hub_CallEnvironment*, int32_t, Hub_Object* object, void* events) {
  static_cast<Events*>(events)->Add("data " + ValueText(object));
  Hub_DestroyObject(object);
}
void OnFinal(Hub_CallEnvironment*, int32_t, void* events) { static_cast<Events*>(events)->Add("final"); }
void OnAbort(Hub_CallEnvironment*, int32_t, void* events) { static_cast<Events*>(events)->Add("abort"); }
// The last event of a broker: the test's loop ends with it.
void OnDestroyed(Hub_Broker*, void* events) {
  static_cast<Events*>(events)->Add("destroyed");
  Hub_StopTimedTaskLoop(1);
}

struct BrokerCase {
  const char* title;
  int32_t proxyType;
  int immediate;
  std::vector<std::string> sent;  // "" ends the stream; "#n m" a chunk of samples; else a string
  std::vector<std::string> events;
  std::string shown;  // on standard error or output
};

const BrokerCase kCases[] = {
    {"chunks one by one, then the end", HUB_INT_16, 1, {"#1 2 3", "#-4 5", ""},
     {"data [1 2 3]", "data [-4 5]", "final", "destroyed"}, "In broker done receiving data\n"},
    {"data of another type is dropped", HUB_INT_16, 1, {"#1", "text", "#2", ""},
     {"data [1]", "data [2]", "final", "destroyed"},
     "Received bad data of type HUB_STRING (HUB_INT_16 expected); discarding"},
    {"one string completes a string proxy", HUB_STRING, 1, {"first", "second", ""},
     {"data first", "final", "destroyed"},
     "Proxy for type HUB_STRING has already been completed; discarding"},
    {"chunks collected into one array", HUB_INT_16, 0, {"#1 2", "#3", ""},
     {"data [1 2 3]", "final", "destroyed"}, ""},
    {"any type is handed over at once", -1, 0, {"s", "#7", ""},
     {"data s", "data [7]", "final", "destroyed"}, ""},
    {"a broken stream aborts", HUB_INT_16, 1, {"#1"}, {"data [1]", "abort", "destroyed"}, ""},
};

class BrokerTest : public ::testing::TestWithParam<BrokerCase> {
 protected:
  void SetUp() override { HubUtil_SetVerbosity(2); }
  hubtest::Watchdog watchdog_{30000};
};

TEST_P(BrokerTest, DeliversChecksAndFinishes) {
  const BrokerCase& c = GetParam();
  testsupport::FakeBroker sender;
  int port = sender.Offer("call-7", kWaitMs);
  Hub_BrokerProxy* proxy = Hub_CreateBrokerProxy("127.0.0.1", port, "call-7", c.proxyType, nullptr);
  Hub_CallEnvironment* env = Hub_CreateCallEnvironment(nullptr);
  Events events;
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  Hub_ProxyStartReceiving(env, proxy, OnData, OnFinal, OnAbort, c.immediate, 0, &events, nullptr);
  ASSERT_NE(proxy->inBroker, nullptr);
  Hub_AddBrokerCallback(proxy->inBroker, HUB_BROKER_DESTROY_EVENT, OnDestroyed, &events);
  // A second start while it runs does nothing.
  Hub_ProxyStartReceiving(env, proxy, OnData, OnFinal, OnAbort, 1, 0, &events, nullptr);
  std::thread loop(Hub_RunTimedTaskLoop);
  ASSERT_TRUE(sender.WaitForReceiver(kWaitMs));
  for (const std::string& item : c.sent) {
    if (item.empty()) {
      sender.SendEnd();
    } else if (item[0] == '#') {
      std::vector<int16_t> samples;
      std::istringstream numbers(item.substr(1));
      for (int sample = 0; numbers >> sample;) samples.push_back(static_cast<int16_t>(sample));
      sender.SendInt16(samples);
    } else {
      sender.SendString(item);
    }
  }
  if (c.sent.back() != "") sender.Close();
  if (!hubtest::WaitUntil([&] { return events.Seen().size() >= c.events.size(); }, kWaitMs)) {
    Hub_StopTimedTaskLoop(1);
  }
  loop.join();
  std::string shown = testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
  EXPECT_EQ(c.events, events.Seen());
  EXPECT_NE(std::string::npos, shown.find(c.shown)) << shown;
  // Done: never received again.
  EXPECT_EQ(1, proxy->done);
  EXPECT_EQ(nullptr, proxy->inBroker);
  Hub_ProxyStartReceiving(env, proxy, OnData, OnFinal, OnAbort, 1, 0, &events, nullptr);
  EXPECT_EQ(nullptr, proxy->inBroker);
  Hub_DestroyBrokerProxy(proxy);
  Hub_ReleaseCallEnvironment(env);
}

INSTANTIATE_TEST_SUITE_P(Proxies, BrokerTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BrokerCase>& info) {
                           std::string name;
                           for (char c : std::string(info.param.title)) {
                             if (isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

TEST(BrokerStartTest, ASenderThatRefusesOrIsNotThereStartsNothing) {
  testsupport::FakeBroker sender;
  int port = sender.Offer("call-7", kWaitMs);
  Events events;
  for (int32_t proxyPort : {port, testsupport::FreePort()}) {
    Hub_BrokerProxy* proxy = Hub_CreateBrokerProxy("127.0.0.1", proxyPort, "other", HUB_INT_16, nullptr);
    Hub_ProxyStartReceiving(nullptr, proxy, OnData, OnFinal, OnAbort, 1, 0, &events, nullptr);
    EXPECT_EQ(nullptr, proxy->inBroker);
    EXPECT_EQ(0, proxy->done);
    Hub_DestroyBrokerProxy(proxy);
  }
  EXPECT_TRUE(events.Seen().empty());
  ASSERT_TRUE(sender.Handshake());
  EXPECT_EQ("handshake :conn_type 2 :call_id other :protocol_version 1",
            sender.Handshake()->name + " :conn_type " + sender.Handshake()->Value(":conn_type") +
                " :call_id " + sender.Handshake()->Value(":call_id") + " :protocol_version " +
                sender.Handshake()->Value(":protocol_version"));
}

}  // namespace
