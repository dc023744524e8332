#include "hub_bridge/Recording.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "hub_bridge/BridgeServer.h"
#include "hub_bridge/CommandRelay.h"
#include "libhub/frames/BrokerProxy.h"
#include "libhub/io/CallEnvironment.h"
#include "libhub/io/ProxyReceiving.h"
#include "libhub/util/Print.h"
#include "platform/NoFollowFile.h"
#include "platform/ProgramRunner.h"

namespace {

constexpr double kDefaultMaxSeconds = 20;

std::string RecordingPath(const char* extension) {
  return "Recordings/" + RecordingParams.nameOfFile + extension;
}

// A name that stays inside "Recordings".
bool IsSafeName(const std::string& name) {
  if (name.empty() || name.find_first_of("/\\") != std::string::npos ||
      name.find("..") != std::string::npos) {
    return false;
  }
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

// The raw file, created empty: false, after the error line, when the name is
// refused or the file cannot be made.
bool CreateRawFile() {
  std::string path = RecordingPath(".raw");
  if (IsSafeName(RecordingParams.nameOfFile) && platform::WriteFileNoFollow(path, "", 0, false)) {
    return true;
  }
  BridgePrint("ERROR : [Play] Can't write to file : %s\n", path.c_str());
  return false;
}

// Seconds of a VoiceXML time: "Ns", "Nms" or N; negative when unreadable.
double ParseSeconds(const std::string& text) {
  static const std::regex kTime("([0-9]+(\\.[0-9]+)?)(s|ms)?");
  std::smatch match;
  if (!std::regex_match(text, match, kTime)) return -1;
  double number = std::strtod(match[1].str().c_str(), nullptr);
  return match[3] == "ms" ? number / 1000 : number;
}

void SetLimit(int32_t sampleRate) {
  MaxSeconds = ParseSeconds(RecordingParams.maxTime);
  if (MaxSeconds < 0) MaxSeconds = kDefaultMaxSeconds;
  SampleRate = sampleRate;
  MaxSamples = std::floor(static_cast<double>(sampleRate) * MaxSeconds);
}

bool TerminatorPressed() {
  const std::string& terminator = RecordingParams.dtmfTerminator;
  if (terminator == "false") return false;
  if (terminator.empty() || terminator == "true") return !LastDTMFChar.empty();
  return LastDTMFChar == terminator;
}

void AppendSamples(const int16_t* samples, int32_t count) {
  std::string path = RecordingPath(".raw");
  size_t size = sizeof(int16_t) * static_cast<size_t>(count);
  if (!platform::WriteFileNoFollow(path, samples, size, true)) {
    BridgePrint("ERROR : [Play] Can't write to file : %s (%s)\n", path.c_str(), strerror(errno));
  }
}

void ConvertToWav() {
  std::string raw = RecordingPath(".raw");
  std::vector<std::string> argv = {"sox", "-t", "raw", "-r", std::to_string(SampleRate), "-e",
                                   "signed-integer", "-b", "16", "-c", "1", raw};
  HubUtil_PrintFlush();  // the console comes before anything sox prints
  int status = platform::RunProgramWritingFile(argv, RecordingPath(".wav"));
  if (status != 0) BridgePrint("ERROR : [Play] sox failed (status %d) on %s\n", status, raw.c_str());
}

// The end of every recording: the raw file converted (unless the recording
// was refused), the dialog manager answered, the relay run again.
void FinishRecording(Hub_CallEnvironment* env, bool convert) {
  double seconds = SampleRate > 0 ? static_cast<double>(SampleCount) / SampleRate : 0;
  BridgePrint("Data TTS->AS Finalized. samples = %05" PRId64 ", sec = %2.2f\n", SampleCount,
              seconds);
  SampleCount = 0;
  LastDTMFChar.clear();
  Hub_DestroyBrokerProxy(AudioProxy);
  AudioProxy = nullptr;
  if (convert) ConvertToWav();
  Client().Send(":utt none\t:conf 0.99\t:noinput 0\t:semantic none");
  RelayDMReplies(env, RelayVariant::kRecordingEnd);
}

}  // namespace

Hub_Frame* TakeAudio(Hub_Frame* frame, Hub_CallEnvironment* env) {
  void* serverData = HubIO_ConnectionServerData(Hub_EnvConnection(env));
  Hub_BrokerProxy* proxy = Hub_GetFrameProxy(frame, ":proxy");
  int32_t sampleRate = Hub_GetFrameInt(frame, ":sample_rate");
  BridgePrint("Keys was extracted!\n");
  if (AudioProxy) {
    BridgePrint("WARNING [Play] : In proxy already exists\n");
    return nullptr;
  }
  bool writable = CreateRawFile();
  SetLimit(sampleRate);
  SampleCount = 0;
  LastDTMFChar.clear();
  if (writable && proxy && sampleRate >= 1) {
    AudioProxy = Hub_DuplicateBrokerProxy(proxy);
    Hub_ProxyStartReceiving(env, AudioProxy, AudioOutputCallback, AudioOutputFinalizer,
                            AudioOutputFinalizer, 1, 0, serverData, nullptr);
  }
  if (!AudioProxy || !AudioProxy->inBroker) FinishRecording(env, writable);
  return nullptr;
}

void AudioOutputCallback(Hub_CallEnvironment* env, int32_t, Hub_Object* object, void*) {
  int32_t count = 0;
  auto* samples = static_cast<const int16_t*>(Hub_GetInt16Array(object, &count));
  SampleCount += count;
  if (SampleCount <= MaxSamples && !TerminatorPressed()) {
    AppendSamples(samples, count);
  } else {
    SendHubFrame(env, "dialog", {{":stop_sampling", ""}});
  }
  Hub_DestroyObject(object);
}

void AudioOutputFinalizer(Hub_CallEnvironment* env, int32_t, void*) {
  FinishRecording(env, true);
}
