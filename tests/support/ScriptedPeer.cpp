#include "tests/support/ScriptedPeer.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace testsupport {
namespace {

const char kEnd[] = "Koniec dialogu";
const char kDataQuery[] = "dataquery";
// The peer keeps whole messages, so tests see exactly what the server sent.
const std::size_t kMaxMessage = 1 << 20;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// Splits "word rest" into the word and the rest after one blank.
void SplitDirective(const std::string& line, std::string* word, std::string* rest) {
  std::size_t blank = line.find(' ');
  *word = line.substr(0, blank);
  *rest = blank == std::string::npos ? "" : line.substr(blank + 1);
}

void AddDirective(const std::string& line, PeerScript* script) {
  std::string word, rest;
  SplitDirective(line, &word, &rest);
  if (word == "send") {
    script->steps.push_back({PeerStep::Kind::kSend, Unescape(rest), 0});
  } else if (word == "wait") {
    if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos ||
        rest.size() > 7) {
      throw std::invalid_argument("wait needs milliseconds");
    }
    script->steps.push_back({PeerStep::Kind::kWait, "", std::stoi(rest)});
  } else if (word == "close" && rest.empty()) {
    script->steps.push_back({PeerStep::Kind::kClose, "", 0});
  } else if (word == "reply") {
    std::size_t arrow = rest.find(" => ");
    if (arrow == std::string::npos) throw std::invalid_argument("reply needs \" => \"");
    script->rules.push_back({Unescape(rest.substr(0, arrow)), Unescape(rest.substr(arrow + 4))});
  } else if (word == "hangup") {
    script->rules.push_back({Unescape(rest), std::nullopt});
  } else if (word == "default") {
    script->defaultReply = Unescape(rest);
  } else {
    throw std::invalid_argument("unknown directive \"" + word + "\"");
  }
}

}  // namespace

std::string Unescape(const std::string& text) {
  std::string result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      result += text[i];
      continue;
    }
    char next = i + 1 < text.size() ? text[++i] : '\0';
    switch (next) {
      case 't': result += '\t'; break;
      case 'n': result += '\n'; break;
      case 'r': result += '\r'; break;
      case '\\': result += '\\'; break;
      case 'x': {
        int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) throw std::invalid_argument("\\x needs two hex digits");
        result += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: throw std::invalid_argument("bad escape in \"" + text + "\"");
    }
  }
  return result;
}

std::string Escape(const std::string& text) {
  std::string result;
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      result += "\\t";
    } else if (c == '\n') {
      result += "\\n";
    } else if (c == '\r') {
      result += "\\r";
    } else if (c == '\\') {
      result += "\\\\";
    } else if (byte < 0x20 || byte == 0x7f) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      result += hex;
    } else {
      result += c;
    }
  }
  return result;
}

PeerScript PeerScript::Parse(const std::string& text) {
  PeerScript script;
  std::size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    try {
      AddDirective(line, &script);
    } catch (const std::invalid_argument& error) {
      throw std::invalid_argument("line " + std::to_string(number) + ": " + error.what());
    }
  }
  return script;
}

PeerAnswers::PeerAnswers(const PeerScript& script)
    : rules_(script.rules), used_(script.rules.size(), false), defaultReply_(script.defaultReply) {}

PeerAction PeerAnswers::OnMessage(const std::string& message) {
  if (message == kEnd) return {PeerAction::Kind::kEnd, ""};
  std::string request = message;
  if (inDataQuery_) {
    request = kDataQuery;  // the query itself: answer the "dataquery" request
    inDataQuery_ = false;
  } else if (message == kDataQuery) {
    inDataQuery_ = true;
    return {PeerAction::Kind::kWait, ""};
  }
  for (std::size_t i = 0; i < rules_.size(); ++i) {
    if (used_[i] || !StartsWith(request, rules_[i].prefix)) continue;
    used_[i] = true;
    if (!rules_[i].reply) return {PeerAction::Kind::kHangUp, ""};
    return {PeerAction::Kind::kReply, *rules_[i].reply};
  }
  std::optional<std::string> reply = fallback_ ? fallback_(message) : std::nullopt;
  return {PeerAction::Kind::kReply, reply ? *reply : defaultReply_};
}

ScriptedPeer::ScriptedPeer(PeerScript script)
    : script_(std::move(script)),
      answers_(script_),
      reader_(
          [this](char* buffer, std::size_t size) -> long {
            if (!link_.WaitReadable(waitMs_)) {
              timedOut_ = true;
              return -1;
            }
            return link_.Read(buffer, size);
          },
          kMaxMessage) {}

bool ScriptedPeer::Connect(int port, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    link_ = platform::TcpConnection::ConnectLoopback(port);
    if (link_.IsOpen()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool ScriptedPeer::Send(const std::string& text) {
  if (!link_.SendAll(text.c_str(), text.size() + 1)) return false;
  sent_.push_back(text);
  if (observer_) observer_(true, text);
  return true;
}

std::optional<ScriptedPeer::Outcome> ScriptedPeer::Receive(int timeoutMs, std::string* message) {
  waitMs_ = timeoutMs;
  timedOut_ = false;
  switch (reader_.Next(message)) {
    case platform::MessageReader::Result::kMessage: break;
    case platform::MessageReader::Result::kClosed: return Outcome::kServerClosed;
    case platform::MessageReader::Result::kFailed:
      return timedOut_ ? Outcome::kTimedOut : Outcome::kFailed;
  }
  received_.push_back(*message);
  if (observer_) observer_(false, *message);
  return std::nullopt;
}

ScriptedPeer::Outcome ScriptedPeer::Run(int timeoutMs) {
  if (!link_.IsOpen()) return Outcome::kFailed;
  for (const PeerStep& step : script_.steps) {
    switch (step.kind) {
      case PeerStep::Kind::kSend:
        if (!Send(step.text)) return Outcome::kFailed;
        break;
      case PeerStep::Kind::kWait:
        std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
        break;
      case PeerStep::Kind::kClose:
        link_.Close();
        return Outcome::kHungUp;
    }
  }
  while (true) {
    std::string message;
    if (std::optional<Outcome> end = Receive(timeoutMs, &message)) return *end;
    PeerAction action = answers_.OnMessage(message);
    switch (action.kind) {
      case PeerAction::Kind::kEnd: return Outcome::kDialogueEnded;
      case PeerAction::Kind::kHangUp: link_.Close(); return Outcome::kHungUp;
      case PeerAction::Kind::kWait: break;
      case PeerAction::Kind::kReply:
        if (!Send(action.reply)) return Outcome::kFailed;
        break;
    }
  }
}

}  // namespace testsupport
