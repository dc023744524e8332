#include "speech_resources/PromptPlayer.h"

#include <iostream>

#include "interpreter/EcmaScopes.h"
#include "interpreter/Element.h"
#include "interpreter/PeerLink.h"
#include "interpreter/SessionLog.h"

namespace {

const char kEnd[] = "End";
const char kUriError[] = "Error load an uri adress of audio prompt";
const char kChoiceAudio[] = "Audio in choice is not supported yet.";
const char kSyntPrefix[] = "Synt\t:text ";
const char kInformPrefix[] = "inform:\t:src ";
const char kEnumerateTag[] = "<enumerate/>";
// A condition's value is read back through a buffer of this size.
constexpr std::size_t kCondResultSize = 512;

void ConsoleLine(const std::string& line) { std::cout << line << std::endl; }

// The text, cut so that prefix + text + fields fits `limit` characters.
std::string FitText(const std::string& text, std::size_t fixedLength, std::size_t limit) {
  const std::size_t room = limit > fixedLength ? limit - fixedLength : 0;
  return text.substr(0, room);
}

// "true" only in a field or an initial item whose prompt does not say
// bargein="false".
std::string BargeIn(const Element& prompt, const Element& item) {
  if (item.tagName != "field" && item.tagName != "initial") return "false";
  return prompt.GetAttribute("bargein") == "false" ? "false" : "true";
}

// The name in expr="..." of a <value .../> tag, or "" when there is none.
std::string ValueName(const std::string& tag) {
  const std::size_t expr = tag.find("expr");
  if (expr == std::string::npos) return "";
  const std::size_t start = expr + 6;  // past expr="
  const std::size_t quote = tag.find('"', start);
  if (quote == std::string::npos) return "";
  return tag.substr(start, quote - start);
}

}  // namespace

PromptPlayer::PromptPlayer(SessionLog* mainLog, SessionLog* dialogLog, EcmaScopes* scopes,
                           PeerLink& peer)
    : mainLog_(mainLog), dialogLog_(dialogLog), scopes_(scopes), peer_(peer) {}

void PromptPlayer::PlayPrompt(Element* prompt, const VxmlDocument* /*document*/, Element* item) {
  if (prompt == nullptr || item == nullptr || prompt->tagName != "prompt") return;
  if (item->prompted == 1) return;
  const std::string cond = prompt->GetAttribute("cond");
  std::string timeout = prompt->GetAttribute("timeout");
  if (!cond.empty()) {
    std::string result;
    scopes_->ExecuteCommand(cond, &result, true, kCondResultSize);
    if (result != "true") return;
  }
  const std::string bargeIn = BargeIn(*prompt, *item);
  std::string text = prompt->GetText();
  if (text.find("<audio") != std::string::npos) {
    PlayAudioInText(text);
    return;
  }
  ReplaceEnumerate(text, *item);
  if (!ReplaceValues(text)) return;

  if (timeout.empty()) timeout = kDefaultTimeout;
  const std::string fields = "\t:bargein " + bargeIn + "\t:timeout " + timeout;
  text = FitText(text, sizeof(kSyntPrefix) - 1 + fields.size(), kMaxSyntMessage);
  mainLog_->Message("\t\t\tSYSTEM: " + text);
  ConsoleLine("SYSTEM: " + text);
  dialogLog_->Message("SYSTEM: " + text);
  peer_.Send((kSyntPrefix + text + fields).substr(0, kMaxSyntMessage));
  if (peer_.Receive() == kEnd) {
    hangUp_ = true;
  } else {
    ++item->promptCounter;
  }
}

void PromptPlayer::PlayAudioInText(const std::string& text) {
  const std::size_t src = text.find("src", text.find("<audio"));
  const std::size_t start = src == std::string::npos ? src : src + 5;  // past src="
  const std::size_t quote = src == std::string::npos ? src : text.find('"', start);
  if (quote == std::string::npos) {
    ConsoleLine(kUriError);
    return;
  }
  const std::string uri = text.substr(start, quote - start);
  ConsoleLine(uri);
  std::cout << "SYSTEM: ";
  const std::size_t close = text.find("/>");
  if (close != std::string::npos && close + 2 < text.size()) {
    const std::string rest = text.substr(close + 2);
    ConsoleLine(rest);
    dialogLog_->Message("SYSTEM: " + rest);
  }
  std::cout << std::endl;
  PlayAudio(uri);
}

void PromptPlayer::ReplaceEnumerate(std::string& text, const Element& item) {
  const std::size_t tag = text.find(kEnumerateTag);
  if (tag == std::string::npos) return;
  std::string list;
  for (const Element* child : item.children) {
    if (child->tagName == "option" || child->tagName == "choice") {
      list += ChoiceText(*child) + ", ";
    }
  }
  const std::size_t comma = list.rfind(',');
  if (comma != std::string::npos) list[comma] = ' ';
  text.replace(tag, sizeof(kEnumerateTag) - 1, list);
}

std::string PromptPlayer::ChoiceText(const Element& choice) {
  if (choice.children.empty()) return choice.GetText();
  std::string text;
  for (const Element* child : choice.children) {
    if (child->tagName == "PCDATA") {
      text = child->GetText();
      break;
    }
    if (child->tagName == "value") text = scopes_->GetValue(child->GetAttribute("expr"));
  }
  for (const Element* child : choice.children) {
    if (child->tagName == "audio") {
      ConsoleLine(kChoiceAudio);
      mainLog_->Error(kChoiceAudio);
    }
  }
  return text;
}

bool PromptPlayer::ReplaceValues(std::string& text) {
  std::size_t from = 0;
  std::size_t start;
  while ((start = text.find("<value", from)) != std::string::npos) {
    const std::size_t close = text.find("/>", start);
    if (close == std::string::npos) break;  // an unclosed tag stays as written
    const std::size_t length = close + 2 - start;
    const std::string name = ValueName(text.substr(start, length));
    std::string value;  // a tag without a name is dropped
    if (!name.empty()) {
      const std::string type = scopes_->TypeOfAnyScope("dialog", name);
      ConsoleLine("Variable type> " + type);
      if (type == "object") {
        const std::string clip = scopes_->GetValue(name + ".src");
        ConsoleLine("New value (src)" + clip);
        if (!clip.empty()) {
          PlayAudio(clip);
          return false;
        }
      }
      value = scopes_->GetValue(name);
    }
    text.replace(start, length, value);
    from = start + value.size();
  }
  return true;
}

void PromptPlayer::PlayAudio(const std::string& uri) {
  if (uri.empty() || sizeof(kInformPrefix) - 1 + uri.size() > kMaxInformMessage) {
    ConsoleLine(kUriError);
    return;
  }
  // A clip is only announced to the peer, never played on this machine.
  if (uri.find(".mp3") != std::string::npos) ConsoleLine("SYSTEM: (playing mp3 file)");
  mainLog_->Message("Playing audio clip " + uri);
  peer_.Send(kInformPrefix + uri);
  if (peer_.Receive() == kEnd) hangUp_ = true;
}

void PromptPlayer::PlayAudioElement(const Element* element) {
  PlayAudio(element->GetAttribute("src"));
}

void PromptPlayer::Speak(const std::string& text) {
  const std::string fields = "\t:bargein false";
  const std::string spoken = FitText(text, sizeof(kSyntPrefix) - 1 + fields.size(), kMaxSyntMessage);
  peer_.Send(kSyntPrefix + spoken + fields);
  ConsoleLine("SYSTEM: " + spoken);
  peer_.Receive();
}

void PromptPlayer::OnUserInput() {}
