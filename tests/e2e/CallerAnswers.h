// The caller's side of each turn of a call, one line per answer, typed at the
// terminal or read from a script file in the same order:
//
//   speech      an empty answer is no input; "text" is heard with confidence
//               0.9 and an empty semantic string; "text | semantic" and
//               "text | semantic | confidence" give them ("text || 0.4").
//   key         the key's text ("1", "#").
//   recording   an empty answer lets the whole audio run; a key is pressed
//               after the first second of it (the terminator ends it).
//   data query  the answer text.
//
// At the terminal an empty line is the empty answer. A script skips blank
// lines and comment lines (starting with "# "; a lone "#" is the key) and
// writes the empty answer as "/silence". "/hangup" at any question hangs up;
// so does the end of the input. "/drop" at any question breaks the line: the
// hub's connection ends without a hang-up. Escapes \t \n \r \\ and \xHH (one byte, e.g. a
// Windows-1250 letter) are read in every answer; a line with a bad escape is
// taken as it stands. A trailing "\r" is dropped.
#pragma once
#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace e2e {

inline constexpr char kHangUpCommand[] = "/hangup";
inline constexpr char kSilenceCommand[] = "/silence";
inline constexpr char kDropCommand[] = "/drop";

struct SpeechAnswer {
  bool noInput = false;
  std::string utterance;
  std::string semantic;
  double confidence = 0.9;
};

// The answer to a speech request read from its line; the confidence stays
// 0.9 when its text is not a number from 0 to 1.
SpeechAnswer ParseSpeech(const std::string& line);

class CallerAnswers {
 public:
  // Reads from `in` (kept by reference). A script echoes each answer after
  // its question, so the transcript shows the whole conversation.
  CallerAnswers(std::istream& in, bool script) : in_(in), script_(script) {}

  // Writes the question to `out` and reads the answer: none for a hang-up
  // (the command, or the end of the input) or a drop.
  std::optional<std::string> Ask(std::ostream& out, const std::string& question);
  // The last answer was "/drop".
  bool Dropped() const { return dropped_; }

 private:
  bool NextLine(std::string* line);

  std::istream& in_;
  bool script_;
  bool dropped_ = false;
};

}  // namespace e2e
