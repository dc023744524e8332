// Recordings through a broker into "Recordings", converted by the real sox.
// Each row: "Record:" from the dialog manager, "BeginSession" answered with
// ":record", a key reported before "TakeAudio" (it must not count), then
// chunks of a quarter second from the fake broker, maybe a key after one of
// them, and the end of the stream (or a broken one). A refused recording
// (its name, or a link at its raw file) ends at once: no files, the same
// answer to the dialog manager, and the call goes on.
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/hub_bridge/BridgeTest.h"
#include "tests/support/FakeBroker.h"

namespace bridgetest {
namespace {

struct RecordingCase {
  const char* title;
  int32_t rate;
  const char* maxTime;
  const char* terminator;
  int chunks;
  int keyAfter;  // the chunk after which "ProcessUnexpectedDTMF" reports "7"; -1: none
  bool broken;   // the stream breaks instead of ending
  int written;   // chunks in the raw file
  int stops;     // ":stop_sampling" frames
  const char* shown;
  const char* callId = "audio-1";  // of the proxy; null: no proxy
  bool again = false;              // at keyAfter a second "TakeAudio" instead of the key
  const char* name = "msg1";
  const char* linkAt = nullptr;  // ".raw" or ".wav": a link to the file "target" stands there
  bool refused = false;
};

const char kRefused[] = "Keys was extracted!\nERROR : [Play] Can't write to file : Recordings/";

const RecordingCase kCases[] = {
    {"8000 Hz within one second", 8000, "1s", "#", 5, -1, false, 4, 1,
     "Data TTS->AS Finalized. samples = 10000, sec = 1.25\n"},
    {"16000 Hz within 500 ms", 16000, "500ms", "false", 3, 0, false, 2, 1,
     "Data TTS->AS Finalized. samples = 12000, sec = 0.75\n"},
    {"any key ends it", 8000, "", "true", 3, 0, false, 1, 2, "samples = 06000, sec = 0.75\n"},
    {"another key does not", 8000, "x", "#", 2, 0, false, 2, 0, "samples = 04000, sec = 0.50\n"},
    {"a broken stream ends it", 8000, "2", "#", 1, -1, true, 1, 0, "samples = 02000, sec = 0.25\n"},
    {"no proxy ends it at once", 8000, "1s", "#", 0, -1, false, 0, 0,
     "samples = 00000, sec = 0.00\n", nullptr},
    {"a refused proxy ends it at once", 8000, "1s", "#", 0, -1, false, 0, 0,
     "samples = 00000, sec = 0.00\n", "other"},
    {"a second TakeAudio leaves it running", 8000, "1s", "#", 3, 0, false, 3, 0,
     "Keys was extracted!\nWARNING [Play] : In proxy already exists\n", "audio-1", true},
    {"a link at the wav file is replaced, not followed", 8000, "1s", "#", 2, -1, false, 2, 0,
     "samples = 04000, sec = 0.50\n", "audio-1", false, "msg1", ".wav"},
    {"a link at the raw file refuses it", 8000, "1s", "#", 0, -1, false, 0, 0,
     kRefused, "audio-1", false, "msg1", ".raw", true},
    {"a name going up is refused", 8000, "1s", "#", 0, -1, false, 0, 0, kRefused, "audio-1", false,
     "../escape", nullptr, true},
    {"an empty name is refused", 8000, "1s", "#", 0, -1, false, 0, 0, kRefused, "audio-1", false, "",
     nullptr, true},
    {"a backslash is refused", 8000, "1s", "#", 0, -1, false, 0, 0, kRefused, nullptr, false,
     "a\\b", nullptr, true},
    {"a control character is refused", 8000, "1s", "#", 0, -1, false, 0, 0, kRefused, nullptr,
     false, "a\x01" "b", nullptr, true},
};

std::vector<int16_t> Chunk(int index, int32_t rate) {
  std::vector<int16_t> samples(rate / 4);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(index * 1000 - i);
  return samples;
}

class RecordingTest : public BridgeTest, public ::testing::WithParamInterface<RecordingCase> {};

TEST_P(RecordingTest, WritesTheSamplesWithinTheLimitAndConvertsThem) {
  const RecordingCase& c = GetParam();
  const std::string path = std::string("Recordings/") + c.name;
  Start({Await(), Say(std::string("Record:\t:name ") + c.name + "\t:maxtime " + c.maxTime +
                      "\t:dtmfterm " + c.terminator),
         Await(), Say("Koniec dialogu")});
  Call("BeginSession");
  if (c.linkAt) {
    testsupport::WriteFile("target", "kept");
    ASSERT_EQ(0, symlink("../target", (path + c.linkAt).c_str()));
  }
  Call("ProcessUnexpectedDTMF", {{":char", "#"}});
  testsupport::FakeBroker broker;
  int brokerPort = broker.Offer("audio-1", kWaitMs);
  FrameKeys keys = {{":sample_rate", c.rate}};
  if (c.callId) {
    keys.push_back({":proxy", testsupport::FrameValue::Proxy(c.callId, "127.0.0.1",
                                                            brokerPort, HUB_INT_16)});
  }
  Call("TakeAudio", keys);
  std::string raw;
  for (int i = 0; i < c.chunks; ++i) {
    ASSERT_TRUE(broker.WaitForReceiver(kWaitMs));
    std::vector<int16_t> chunk = Chunk(i, c.rate);
    broker.SendInt16(chunk);
    if (i < c.written) raw.append(reinterpret_cast<const char*>(chunk.data()), chunk.size() * 2);
    if (i == c.keyAfter) {
      // The key comes once the chunk was written.
      EXPECT_TRUE(
          PollUntil(kWaitMs, [&] { return testsupport::ReadFile("Recordings/msg1.raw") == raw; }));
      c.again ? Call("TakeAudio", keys) : Call("ProcessUnexpectedDTMF", {{":char", "7"}});
    }
  }
  if (c.broken) broker.Close();
  if (c.chunks > 0 && !c.broken) broker.SendEnd();
  testsupport::ChildResult result = Finish();
  EXPECT_EQ(0, result.status);
  EXPECT_NE(std::string::npos, result.out.find(c.shown)) << result.out;
  EXPECT_EQ((Words{"Begin", ":utt none\t:conf 0.99\t:noinput 0\t:semantic none"}), dm_.Received());
  Words frames = Frames();
  EXPECT_EQ(c.stops, std::count(frames.begin(), frames.end(), "dialog :stop_sampling \"\""));
  EXPECT_EQ(frames.back(), "StopCall");
  if (c.linkAt) {
    EXPECT_EQ("kept", testsupport::ReadFile("target"));
  }
  const auto files = std::distance(std::filesystem::directory_iterator("Recordings"), {});
  if (c.refused) {
    EXPECT_NE(std::string::npos, result.out.find(path + ".raw\nData TTS->AS Finalized. samples = "
                                                        "00000, sec = 0.00\n"));
    EXPECT_EQ(c.linkAt ? 1 : 0, files);  // nothing converted, nothing written elsewhere
    EXPECT_FALSE(testsupport::FileExists("escape.raw"));
    return;
  }
  EXPECT_EQ(2, files);
  EXPECT_TRUE(raw == testsupport::ReadFile(path + ".raw"));
  EXPECT_FALSE(std::filesystem::is_symlink(path + ".wav"));
  std::string wav = testsupport::ReadFile(path + ".wav");
  ASSERT_EQ(44 + raw.size(), wav.size());
  int32_t rate = 0;
  memcpy(&rate, wav.data() + 24, sizeof rate);
  EXPECT_EQ(c.rate, rate);
}

INSTANTIATE_TEST_SUITE_P(Recordings, RecordingTest, ::testing::ValuesIn(kCases),
                         TitleName<RecordingCase>);

}  // namespace
}  // namespace bridgetest
