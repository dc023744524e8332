// Receiving broker data named by a proxy, against the fake broker: the
// timed-task loop runs in a thread of its own, as in a server.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "libhub/io/Broker.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/io/ProxyReceiving.h"
#include "libhub/util/Print.h"
#include "libhub/util/TimedTasks.h"
#include "tests/libhub/util/HubTestSupport.h"
#include "tests/support/FakeBroker.h"

namespace {

constexpr int kWaitMs = 5000;

// What the callbacks saw, in order; read once the loop has ended.
std::vector<std::string> g_events;
void Add(const std::string& event) { g_events.push_back(event); }

void OnData(Hub_CallEnvironment*, int32_t, Hub_Object* object, void*) {
  std::string text = Hub_IsStringObject(object) ? Hub_ObjectText(object) : "";
  int32_t count = 0;
  auto* samples = static_cast<int16_t*>(Hub_ArrayObjectContents(object, &count));
  for (int32_t i = 0; i < count; ++i) text += " " + std::to_string(samples[i]);
  Add("data" + text);
  Hub_DestroyObject(object);
}
void OnFinal(Hub_CallEnvironment*, int32_t, void*) { Add("final"); }
void OnAbort(Hub_CallEnvironment*, int32_t, void*) { Add("abort"); }
// The last event of a broker: the test's loop ends with it (the watchdog
// ends a test whose broker never ends).
void OnDestroyed(Hub_Broker*, void*) {
  Add("destroyed");
  Hub_StopTimedTaskLoop(1);
}

// Removes itself and a later callback while their run goes on.
Hub_BrokerCallback* g_removed[2];
void RemoveBoth(Hub_Broker* broker, void*) {
  for (Hub_BrokerCallback* callback : g_removed) Hub_RemoveBrokerCallback(broker, callback);
}

struct BrokerCase {
  int32_t proxyType;
  int immediate;
  std::vector<std::string> sent;  // "#n m" a chunk of samples, "" the end, else a string
  std::vector<std::string> events;
  std::string shown;  // on standard error or output
};

const BrokerCase kCases[] = {
    {HUB_INT_16, 1, {"#1 2 3", "#-4 5", ""}, {"data 1 2 3", "data -4 5", "final", "destroyed"},
     "In broker done receiving data\n"},
    {HUB_INT_16, 1, {"#1", "text", "#2", ""}, {"data 1", "data 2", "final", "destroyed"},
     "Received bad data of type HUB_STRING (HUB_INT_16 expected); discarding"},
    {HUB_STRING, 1, {"one", "two", ""}, {"dataone", "final", "destroyed"},
     "Proxy for type HUB_STRING has already been completed; discarding"},
    {HUB_INT_16, 0, {"#1 2", "#3", ""}, {"data 1 2 3", "final", "destroyed"}, ""},  // collected
    {-1, 0, {"s", "#7", ""}, {"datas", "data 7", "final", "destroyed"}, ""},        // any type
    {HUB_INT_16, 1, {"#1"}, {"data 1", "abort", "destroyed"}, ""},                   // broken
};

class BrokerTest : public ::testing::TestWithParam<BrokerCase> {
 protected:
  hubtest::Watchdog watchdog_{30000};
};

TEST_P(BrokerTest, DeliversChecksAndFinishes) {
  const BrokerCase& c = GetParam();
  g_events.clear();
  HubUtil_SetVerbosity(2);
  testsupport::FakeBroker sender;
  int port = sender.Offer("call-7", kWaitMs);
  Hub_BrokerProxy* proxy = Hub_CreateBrokerProxy("127.0.0.1", port, "call-7", c.proxyType, nullptr);
  Hub_CallEnvironment* env = Hub_CreateCallEnvironment(nullptr);
  testing::internal::CaptureStderr();
  hubtest::CaptureConsole console;
  Hub_ProxyStartReceiving(env, proxy, OnData, OnFinal, OnAbort, c.immediate, 0, nullptr, nullptr);
  ASSERT_NE(proxy->inBroker, nullptr);
  Hub_Broker* broker = proxy->inBroker;
  g_removed[0] = Hub_AddBrokerCallback(broker, HUB_BROKER_DESTROY_EVENT, RemoveBoth, nullptr);
  Hub_AddBrokerCallback(broker, HUB_BROKER_DESTROY_EVENT, OnDestroyed, nullptr);
  g_removed[1] = Hub_AddBrokerCallback(broker, HUB_BROKER_DESTROY_EVENT, OnDestroyed, nullptr);
  Hub_ProxyStartReceiving(env, proxy, OnData, OnFinal, OnAbort, 1, 0, nullptr, nullptr);  // no-op
  std::thread loop(Hub_RunTimedTaskLoop);
  ASSERT_TRUE(sender.WaitForReceiver(kWaitMs));
  for (const std::string& item : c.sent) {
    std::vector<int16_t> samples;
    std::istringstream numbers(item.empty() ? "" : item.substr(1));
    for (int sample = 0; numbers >> sample;) samples.push_back(static_cast<int16_t>(sample));
    if (item.empty()) sender.SendEnd();
    if (!item.empty()) item[0] == '#' ? sender.SendInt16(samples) : sender.SendString(item);
  }
  if (!c.sent.back().empty()) sender.Close();
  loop.join();
  std::string shown = testing::internal::GetCapturedStderr() + console.Take();
  EXPECT_EQ(c.events, g_events);
  EXPECT_NE(std::string::npos, shown.find(c.shown)) << shown;
  EXPECT_EQ(1, proxy->done);  // and never received again
  Hub_ProxyStartReceiving(env, proxy, OnData, OnFinal, OnAbort, 1, 0, nullptr, nullptr);
  EXPECT_EQ(nullptr, proxy->inBroker);
  Hub_DestroyBrokerProxy(proxy);
  Hub_ReleaseCallEnvironment(env);
}

INSTANTIATE_TEST_SUITE_P(Proxies, BrokerTest, ::testing::ValuesIn(kCases));

}  // namespace
