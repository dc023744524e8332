// The hub and its speech services for one call through Tressig, played from
// a terminal or a script (CallerAnswers.h). Once the hub connection is up,
// Run calls "BeginSession" and answers each request the bridge sends as the
// speech services would:
//
//   ":synthetise"      shows "SYSTEM: text", calls "AfterPlaying";
//   ":play_audio"      shows "SYSTEM: [audio src]", calls "AfterPlaying";
//   ":start_sampling"  asks for speech, calls "ProcessParse" (":testmode" 1,
//                      the recogniser's start-up, asks nothing);
//   ":get_dtmf_char"   asks for a key, calls "ProcessDTMF";
//   ":record"          asks how the recording goes, calls "TakeAudio" with a
//                      broker proxy and streams 3 s of a 440 Hz tone at
//                      8000 Hz, in quarter seconds, until ":stop_sampling";
//   ":dataquery"       shows the query, asks for the answer, calls
//                      "ProcessISInfo";
//   "StopCall"         ends the call;
// grammar set-up, "SetProperty" and ":stop_sampling" are acknowledged (the
// fake hub answers every frame that asks for a reply). A hang-up calls
// "EndSession"; a drop (the answer "/drop", or a frame the fake hub was told
// to answer with AutoReply::Drop) ends the hub's connection. Every frame
// received is written to the frame log, one line each (FrameLine, with
// escapes).
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/e2e/CallerAnswers.h"
#include "tests/support/FakeBroker.h"
#include "tests/support/FakeHub.h"

namespace e2e {

// The generated audio: chunk `index` (from 0) of kAudioChunks, each of
// kChunkSamples samples at kSampleRate Hz; a key is pressed after
// kKeyAfterChunks of them.
inline constexpr int32_t kSampleRate = 8000;
inline constexpr int kChunkSamples = 2000;
inline constexpr int kAudioChunks = 12;
inline constexpr int kKeyAfterChunks = 4;
std::vector<int16_t> AudioChunk(int index);

class TerminalCaller {
 public:
  // The hub must be connected to the bridge. `waitMs` bounds every wait for
  // the bridge. All four are kept by reference.
  TerminalCaller(testsupport::FakeHub& hub, CallerAnswers& answers, std::ostream& out,
                 std::ostream& frameLog, int waitMs);

  // Plays the call to its end: 0 when the bridge stopped the call, the
  // caller hung up and the bridge ended, or the caller dropped the
  // connection; 1 when the bridge went away or fell silent first.
  int Run();

 private:
  enum class Request { kNone, kPlayed, kSpeech, kKey, kRecord, kDataQuery, kStopCall };

  Request TakeFrames();
  Request Take(const testsupport::ReceivedFrame& frame);
  Request TakeDialog(const testsupport::ReceivedFrame& frame);
  bool Answer(Request request);
  void Call(const std::string& operation, const testsupport::FrameKeys& keys = {});
  bool AnswerSpeech();
  bool AnswerKey();
  bool AnswerDataQuery();
  bool Record();
  void StreamAudio(testsupport::FakeBroker& broker, const std::string& key);
  bool StopSeen() const;
  int HangUp();
  int Drop();
  int Lost();

  testsupport::FakeHub& hub_;
  CallerAnswers& answers_;
  std::ostream& out_;
  std::ostream& frameLog_;
  int waitMs_;
  size_t next_ = 0;         // the first frame of the hub's record not yet taken
  std::string query_;       // of the last ":dataquery"
  bool stopShown_ = false;  // ":stop_sampling" shown for this recording
  std::unique_ptr<testsupport::FakeBroker> broker_;  // of the last recording
};

}  // namespace e2e
