// The operator's console: where Pantrel shows its texts and display copies
// and reads the answers of manual mode. Streams are given from outside so the
// whole program can run over string streams in tests, pauses switched off.
#pragma once
#include <iosfwd>
#include <string>

namespace pantrel {

struct ConsoleSettings {
  // The terminal reads UTF-8: display copies (code page 852) are converted to
  // UTF-8 for it, and answers typed in UTF-8 are converted to Windows-1250.
  // Otherwise bytes pass both ways unchanged.
  bool utf8 = false;
  // Pause() really waits 100 ms; off in tests.
  bool pauses = true;
};

// Does not own the streams; they must outlive the console.
class Console {
 public:
  Console(std::istream& in, std::ostream& out, ConsoleSettings settings);

  // Writes the program's own text as it is.
  void Write(const std::string& text);
  // Writes a display copy (code-page-852 bytes, see TranscribeLine).
  void WriteDisplay(const std::string& displayCopy);
  // Flushes what was written, then waits 100 ms when pauses are on.
  void Pause();
  // Flushes, then reads one answer line, without its line end (LF or CR LF),
  // in Windows-1250. At end of input the answer is empty and false returned.
  bool ReadAnswer(std::string& answer);
  // Makes everything written so far reach the terminal.
  void Flush();

 private:
  std::istream& in_;
  std::ostream& out_;
  ConsoleSettings settings_;
};

}  // namespace pantrel
