// The interpreter's input collector: asks the peer (the hub bridge) for one
// user input at a time, blocks until the answer comes and keeps the outcome.
//
// Peer messages are a command word followed by fields; every field is a tab, a
// colon, the key, one blank and the value. A reply has no command word: it
// starts with its first field's colon, or it is the bare word "OK" or "End".
// "End" always means that the caller hung up. Fields are taken by position;
// keys are never compared.
//
// Requests (one message sent, one reply received, synchronously):
//   Ask          "ask:"          -> "End" or the fields utt, conf, noinput, semantic
//   LoadGroup    "LoadGroup"     -> "End" or one reply, not read
//   Record       "Record:\t:name N\t:maxtime M\t:dtmfterm D" -> "End" or one reply, not read
//   GetDtmfChar  "GetDTMFch:"    -> "End" or one field whose value is the key
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

class PeerLink;
class SessionLog;

// Takes the next field off the front of `reply` (changed in place).
// The field starts after the first ':' of the reply and ends at the next
// "\t:" (a tab and the next field's colon) or at the end of the reply; the
// reply then starts at that "\t:", so the next call finds the following field.
// A field holding a blank gives the key (the text before the first blank, at
// most kMaxReplyKey characters) and the value (the text after it); a field
// without a blank leaves the key untouched and gives as value the field less
// its first character. The value keeps at most `maxValue` characters.
// A reply without ':' changes nothing: key and value keep what they held.
// Returns true when the value was longer and has been cut.
constexpr std::size_t kMaxReplyKey = 49;
constexpr std::size_t kMaxReplyValue = 499;  // utterance, semantic text, DTMF key
constexpr std::size_t kMaxReplyNumber = 19;  // confidence and no-input texts
bool ParseReplyField(std::string& reply, std::string& key, std::string& value,
                     std::size_t maxValue = kMaxReplyValue);

class RecognitionResult {
 public:
  // Results of the requests.
  static constexpr int kHangUp = -10;
  static constexpr int kNoInput = -1;
  // A confidence below this (plain less-than) with no-input 0 is a no-match.
  static constexpr double kNoMatchThreshold = 0.78;
  // The longest "Record:" command sent; longer ones are cut to it. Every cut
  // (of that command or of a reply field) is logged as an error.
  static constexpr std::size_t kMaxRecordCommand = 255;

  // The log is required (not null). Neither log nor peer is owned; both must
  // outlive the collector.
  RecognitionResult(SessionLog* log, PeerLink& peer);
  RecognitionResult(const RecognitionResult&) = delete;
  RecognitionResult& operator=(const RecognitionResult&) = delete;

  // Clears utterance, interpretation, keyed, confidence, no-input and
  // no-match. The DTMF input and the hang-up flag stay.
  void Reset();

  // Asks for spoken input. Mode other than "voice": returns kNoInput and sends
  // nothing. Returns kHangUp on "End", kNoInput when the reply's no-input
  // value is 1, 0 otherwise (recognised, or a no-match). The second argument
  // is not read. Prints "<utterance> [<confidence>] " on standard output. A
  // confidence that is not a finite number ("nan", "inf") counts as 0.
  int Ask(const std::string& mode, const std::string& unused = "");
  // Sends "LoadGroup" and reads one reply; only "End" (a hang-up) is noticed.
  void LoadGroup();
  // Asks the peer to record. kHangUp on "End", 0 otherwise; the outcome
  // fields stay as Reset left them.
  int Record(const std::string& name, const std::string& maxtime, const std::string& dtmfterm);
  // Asks for one DTMF key: kHangUp on "End", 0 otherwise. The key becomes the
  // DTMF input and the interpretation, marked as keyed; the confidence is 0.99.
  std::int8_t GetDtmfChar();

  // True once the peer has answered a request with "End"; never cleared.
  bool HangUp() const { return hangUp_; }

  // The outcome of the last request, read by the caller after the call.
  std::string utterance;
  std::string dtmfInput;
  std::string interpretation;
  bool keyed = false;  // the interpretation is a key the caller pressed
  double confidence = 0;
  bool noInput = false;
  bool noMatch = false;

 private:
  // Sends the command and returns the reply; "End" sets the hang-up flag.
  std::string Request(const std::string& command);
  // ParseReplyField, logging a cut value with the field's name.
  void TakeField(std::string& reply, std::string& key, std::string& value, std::size_t maxValue,
                 const char* field);

  bool hangUp_ = false;
  SessionLog* log_;
  PeerLink& peer_;
};
