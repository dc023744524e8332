#include "list_generator/Console.h"

#include <chrono>
#include <istream>
#include <ostream>
#include <thread>

#include "list_generator/Charset.h"
#include "list_generator/LineText.h"

namespace pantrel {

Console::Console(std::istream& in, std::ostream& out, ConsoleSettings settings)
    : in_(in), out_(out), settings_(settings) {}

void Console::Write(const std::string& text) { out_ << text; }

void Console::WriteDisplay(const std::string& displayCopy) {
  out_ << (settings_.utf8 ? Cp852ToUtf8(displayCopy) : displayCopy);
}

void Console::Pause() {
  Flush();
  if (settings_.pauses) std::this_thread::sleep_for(std::chrono::milliseconds(100));
}

bool Console::ReadAnswer(std::string& answer) {
  Flush();
  if (!ReadTextLine(in_, answer)) return false;
  if (settings_.utf8) answer = Utf8ToWindows1250(answer);
  return true;
}

void Console::Flush() { out_.flush(); }

}  // namespace pantrel
