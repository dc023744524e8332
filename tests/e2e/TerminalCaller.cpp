#include "tests/e2e/TerminalCaller.h"

#include <iconv.h>

#include <cmath>

#include "tests/support/PollUntil.h"
#include "tests/support/ScriptedPeer.h"

namespace e2e {
namespace {

using testsupport::ReceivedFrame;

constexpr char kCallId[] = "caller-audio";
constexpr double kToneHz = 440;
constexpr double kToneAmplitude = 8000;

// The system's Windows-1250 text in UTF-8, for the terminal; the bytes as
// they are when they do not convert.
std::string Shown(const std::string& text) {
  iconv_t converter = iconv_open("UTF-8", "WINDOWS-1250");
  if (converter == reinterpret_cast<iconv_t>(-1)) return text;
  std::string shown(text.size() * 3, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* out = shown.data();
  size_t outLeft = shown.size();
  bool converted = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1);
  iconv_close(converter);
  if (!converted) return text;
  shown.resize(shown.size() - outLeft);
  return shown;
}

// The action of a "dialog" frame: its first key.
std::string Action(const ReceivedFrame& frame) {
  for (const testsupport::ReceivedProperty& property : frame.properties) {
    if (property.key != ":hub_opaque_data") return property.key;
  }
  return "";
}

}  // namespace

std::vector<int16_t> AudioChunk(int index) {
  std::vector<int16_t> samples(kChunkSamples);
  for (int i = 0; i < kChunkSamples; ++i) {
    double seconds = static_cast<double>(index * kChunkSamples + i) / kSampleRate;
    samples[i] =
        static_cast<int16_t>(std::lround(kToneAmplitude * std::sin(2 * M_PI * kToneHz * seconds)));
  }
  return samples;
}

TerminalCaller::TerminalCaller(testsupport::FakeHub& hub, CallerAnswers& answers, std::ostream& out,
                               std::ostream& frameLog, int waitMs)
    : hub_(hub), answers_(answers), out_(out), frameLog_(frameLog), waitMs_(waitMs) {}

int TerminalCaller::Run() {
  next_ = hub_.Received().size();
  Call("BeginSession");
  for (;;) {
    Request request = TakeFrames();
    if (request == Request::kStopCall) {
      out_ << "The system ended the call." << std::endl;
      return 0;
    }
    if (hub_.Dropped()) return Drop();
    if (request == Request::kNone) {
      if (!hub_.WaitForCount(next_ + 1, waitMs_) && !hub_.Dropped()) return Lost();
      continue;
    }
    if (!Answer(request)) return answers_.Dropped() ? Drop() : HangUp();
  }
}

// Logs and shows every frame received since the last time: the last request
// among them (one per hub call; the recording's end brings its own).
TerminalCaller::Request TerminalCaller::TakeFrames() {
  std::vector<ReceivedFrame> frames = hub_.Received();
  Request request = Request::kNone;
  for (; next_ < frames.size(); ++next_) {
    const ReceivedFrame& frame = frames[next_];
    if (frame.messageType != HUB_MESSAGE_MSG_TYPE) continue;  // replies to the caller's calls
    frameLog_ << testsupport::Escape(testsupport::FrameLine(frame)) << std::endl;
    Request taken = Take(frame);
    if (taken != Request::kNone) request = taken;
  }
  return request;
}

TerminalCaller::Request TerminalCaller::Take(const ReceivedFrame& frame) {
  if (frame.name == "StopCall") return Request::kStopCall;
  if (frame.name == "dialog") return TakeDialog(frame);
  return Request::kNone;
}

TerminalCaller::Request TerminalCaller::TakeDialog(const ReceivedFrame& frame) {
  std::string action = Action(frame);
  if (action == ":synthetise") {
    out_ << "SYSTEM: " << Shown(frame.Value(":text")) << std::endl;
    return Request::kPlayed;
  }
  if (action == ":play_audio") {
    out_ << "SYSTEM: [audio " << Shown(frame.Value(":src")) << "]" << std::endl;
    return Request::kPlayed;
  }
  if (action == ":start_sampling") {
    return frame.Value(":testmode") == "1" ? Request::kNone : Request::kSpeech;
  }
  if (action == ":get_dtmf_char") return Request::kKey;
  if (action == ":dataquery") {
    query_ = frame.Value(":inframe");
    return Request::kDataQuery;
  }
  if (action == ":record") {
    stopShown_ = false;
    return Request::kRecord;
  }
  if (action == ":stop_sampling" && !stopShown_) {
    stopShown_ = true;
    out_ << "(the system stops the recording)" << std::endl;
  }
  return Request::kNone;
}

// Answers the request; false when the caller hangs up instead.
bool TerminalCaller::Answer(Request request) {
  switch (request) {
    case Request::kPlayed: Call("AfterPlaying"); return true;
    case Request::kSpeech: return AnswerSpeech();
    case Request::kKey: return AnswerKey();
    case Request::kRecord: return Record();
    case Request::kDataQuery: return AnswerDataQuery();
    case Request::kNone:
    case Request::kStopCall: break;
  }
  return true;
}

// Calls the operation and waits for its reply, or for the bridge to go.
void TerminalCaller::Call(const std::string& operation, const testsupport::FrameKeys& keys) {
  hub_.Call(operation, keys, waitMs_);
}

bool TerminalCaller::AnswerSpeech() {
  std::optional<std::string> line = answers_.Ask(out_, "CALLER (speech) > ");
  if (!line) return false;
  SpeechAnswer answer = ParseSpeech(*line);
  Call("ProcessParse", {{":utt", answer.utterance},
                        {":conf", answer.confidence},
                        {":noinput", static_cast<int32_t>(answer.noInput)},
                        {":semantic", answer.semantic}});
  return true;
}

bool TerminalCaller::AnswerKey() {
  std::optional<std::string> key = answers_.Ask(out_, "CALLER (key) > ");
  if (!key) return false;
  Call("ProcessDTMF", {{":char", *key}});
  return true;
}

bool TerminalCaller::AnswerDataQuery() {
  out_ << "DATA QUERY: " << testsupport::Escape(Shown(query_)) << std::endl;
  std::optional<std::string> answer = answers_.Ask(out_, "CALLER (data answer) > ");
  if (!answer) return false;
  Call("ProcessISInfo", {{":outframe", *answer}});
  return true;
}

// The audio goes through a broker of the caller's; the bridge answers its
// end (or a missing proxy) on its own. A bridge that refuses the recording
// takes no audio and goes on at once: its next frame ends the wait.
bool TerminalCaller::Record() {
  std::optional<std::string> key = answers_.Ask(out_, "CALLER (recording: Enter, or a key) > ");
  if (!key) return false;
  broker_ = std::make_unique<testsupport::FakeBroker>();
  testsupport::FrameKeys keys = {{":sample_rate", kSampleRate}, {":encoding_format", "linear16"}};
  if (broker_->Offer(kCallId, waitMs_) > 0) keys.push_back({":proxy", broker_->Proxy(HUB_INT_16)});
  Call("TakeAudio", keys);
  bool taken = false;
  testsupport::PollUntil(waitMs_, [&] {
    taken = broker_->WaitForReceiver(0);
    return taken || hub_.Received().size() > next_;
  });
  if (!taken) {
    out_ << "(the system takes no audio)" << std::endl;
    return true;
  }
  StreamAudio(*broker_, *key);
  broker_->SendEnd();
  return true;
}

void TerminalCaller::StreamAudio(testsupport::FakeBroker& broker, const std::string& key) {
  for (int i = 0; i < kAudioChunks && !StopSeen(); ++i) {
    if (i == kKeyAfterChunks && !key.empty()) {
      out_ << "(the caller presses " << key << ")" << std::endl;
      Call("ProcessUnexpectedDTMF", {{":char", key}});
    }
    if (!broker.SendInt16(AudioChunk(i))) return;
  }
}

// A ":stop_sampling" frame has come and was not yet taken.
bool TerminalCaller::StopSeen() const {
  std::vector<ReceivedFrame> frames = hub_.Received();
  for (size_t i = next_; i < frames.size(); ++i) {
    if (frames[i].name == "dialog" && Action(frames[i]) == ":stop_sampling") return true;
  }
  return false;
}

// "EndSession": the bridge tells the dialog manager and ends without a reply.
int TerminalCaller::HangUp() {
  out_ << "CALLER hangs up." << std::endl;
  Call("EndSession");
  TakeFrames();
  if (hub_.WaitForPeerClose(waitMs_)) return 0;
  out_ << "(the bridge did not end after the hang-up)" << std::endl;
  return 1;
}

// The line breaks: the connection ends without "EndSession".
int TerminalCaller::Drop() {
  hub_.Drop();
  out_ << "CALLER drops the connection." << std::endl;
  return 0;
}

int TerminalCaller::Lost() {
  out_ << (hub_.Connected() ? "(no request from the system in time)"
                            : "(the system closed the connection)")
       << std::endl;
  return 1;
}

}  // namespace e2e
