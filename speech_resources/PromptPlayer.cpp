#include "speech_resources/PromptPlayer.h"

#include <cctype>
#include <iostream>

#include "interpreter/common/Entities.h"
#include "interpreter/common/PeerLink.h"
#include "interpreter/common/SessionLog.h"
#include "interpreter/document/Element.h"
#include "interpreter/document/TagLexer.h"
#include "interpreter/scripts/EcmaScopes.h"

using taglexer::PieceKind;

namespace {

const char kUriError[] = "Error load an uri adress of audio prompt";
const char kChoiceAudio[] = "Audio in choice is not supported yet.";
const char kSyntPrefix[] = "Synt\t:text ";
const char kInformPrefix[] = "inform:\t:src ";
// A condition's value is read back through a buffer of this size.
constexpr std::size_t kCondResultSize = 512;
// How much of a cut text a log line shows.
constexpr std::size_t kExcerptLength = 40;

void ConsoleLine(const std::string& line) { std::cout << line << std::endl; }

// The start of a long text, for a log line.
std::string Excerpt(const std::string& text) {
  return text.size() <= kExcerptLength ? text : text.substr(0, kExcerptLength) + "...";
}

// "true" only in a field or an initial item whose prompt does not say
// bargein="false".
std::string BargeIn(const Element& prompt, const Element& item) {
  if (item.tagName != "field" && item.tagName != "initial") return "false";
  return prompt.GetAttribute("bargein") == "false" ? "false" : "true";
}

std::string AttributeOf(const std::string& tag, const std::string& name) {
  return Element("", "", "", taglexer::TagAttributes(tag)).GetAttribute(name);
}

// Sentence, paragraph and pause markup: where it stands between two words it
// leaves a blank.
bool IsPause(const std::string& name) { return name == "s" || name == "p" || name == "break"; }

// True when neither text is empty and no blank stands where they meet.
bool Glued(const std::string& before, const std::string& after) {
  return !before.empty() && !after.empty() &&
         !std::isspace(static_cast<unsigned char>(before.back())) &&
         !std::isspace(static_cast<unsigned char>(after.front()));
}

// A <value> name read as it is ("city", "document.city"; wider than a
// script's plain name): letters, digits, "_",
// "$", "." and bytes above 0x7F, not starting with a digit or ".".
bool IsValueName(const std::string& expression) {
  if (expression.empty() || std::isdigit(static_cast<unsigned char>(expression[0])) ||
      expression[0] == '.') {
    return false;
  }
  for (char c : expression) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (!std::isalnum(byte) && c != '_' && c != '$' && c != '.' && byte < 0x80) return false;
  }
  return true;
}

}  // namespace

PromptPlayer::PromptPlayer(SessionLog* mainLog, SessionLog* dialogLog, EcmaScopes* scopes,
                           PeerLink& peer)
    : mainLog_(mainLog), dialogLog_(dialogLog), scopes_(scopes), peer_(peer) {}

void PromptPlayer::PlayPrompt(Element* prompt, const VxmlDocument* /*document*/, Element* item) {
  if (prompt == nullptr || item == nullptr) return;
  if (prompt->tagName != "prompt" && prompt->tagName != "PCDATA") return;
  if (item->prompted == 1) return;
  const std::string cond = prompt->GetAttribute("cond");
  std::string timeout = prompt->GetAttribute("timeout");
  if (!cond.empty()) {
    std::string result;
    scopes_->ExecuteCommand(cond, &result, true, kCondResultSize);
    if (result != "true") return;
  }
  if (timeout.empty()) timeout = kDefaultTimeout;
  const std::string fields = "\t:bargein " + BargeIn(*prompt, *item) + "\t:timeout " + timeout;
  const bool textLine = prompt->tagName == "PCDATA";
  // A CDATA section of a prompt may hold "</prompt>": its body runs to the last one.
  const std::string body =
      textLine ? prompt->GetText() : taglexer::ElementBody(prompt->sourceText, "prompt");
  std::vector<Piece> pieces = Render(body, item);
  bool withClips = false;
  for (const Piece& piece : pieces) withClips = withClips || piece.clip;
  bool spoken = false;
  for (const Piece& piece : pieces) {
    bool ended;
    if (piece.clip) {
      if (!piece.text.empty()) ConsoleLine(piece.text);
      ended = PlayClip(piece.text);
    } else {
      const std::string trimmed = taglexer::TrimBlanks(piece.text);
      if ((withClips || textLine) && trimmed.empty()) continue;
      spoken = true;
      ended = SendText(withClips ? trimmed : piece.text, fields);
    }
    if (ended) return;
  }
  if (spoken) ++item->promptCounter;
}

std::vector<PromptPlayer::Piece> PromptPlayer::Render(const std::string& text,
                                                    const Element* item) {
  std::vector<Piece> pieces{{false, ""}};
  bool pause = false;  // pause markup dropped since the last text or clip
  auto add = [&pieces, &pause](const Piece& piece) {
    if (!piece.clip && !pieces.back().clip) {
      if (pause && Glued(pieces.back().text, piece.text)) pieces.back().text += ' ';
      pieces.back().text += piece.text;
    } else {
      pieces.push_back(piece);
    }
    if (piece.clip || !piece.text.empty()) pause = false;
  };
  std::string skipUpTo;  // the element whose end tag closes the text not spoken
  std::string logged;    // the text of a <log> element so far
  for (std::size_t at = 0; at < text.size();) {
    const taglexer::Piece piece = taglexer::NextPiece(text, at);
    const std::string pieceText = taglexer::PieceText(text, piece);
    at = piece.end;
    const bool isTag = taglexer::IsTag(piece) && piece.complete;
    const std::string name = isTag ? taglexer::ElementName(pieceText) : "";
    if (!skipUpTo.empty()) {
      if (piece.kind == PieceKind::kEndTag && taglexer::TagName(pieceText) == skipUpTo) {
        if (skipUpTo == "log") mainLog_->Error("PromptPlayer: <log> is not spoken: " + logged);
        skipUpTo.clear();
      } else if (skipUpTo == "log") {
        logged += pieceText;
      }
    } else if (piece.kind == PieceKind::kStartTag && isTag &&
               taglexer::TagName(pieceText) == "log") {
      skipUpTo = "log";  // the author's note for the log, never for the caller
      logged.clear();
    } else if (piece.kind == PieceKind::kCData) {
      add({false, pieceText});
    } else if (!isTag) {
      if (piece.kind == PieceKind::kText || !piece.complete) {
        add({false, entities::Decode(pieceText)});
      }
    } else if (isTag && item != nullptr && piece.kind != PieceKind::kEndTag &&
               taglexer::TagName(pieceText) == "enumerate") {
      at = EnumerateEnd(text, piece);
      for (const Piece& listed : EnumeratedChoices(*item)) add(listed);
    } else if (name == "value") {
      add(ValueOf(pieceText));
    } else if (name == "audio") {
      add({true, AttributeOf(pieceText, "src")});
      if (piece.kind == PieceKind::kStartTag) skipUpTo = "audio";
    } else if (IsPause(taglexer::TagName(pieceText))) {
      pause = true;
    }
  }
  return pieces;
}

PromptPlayer::Piece PromptPlayer::ValueOf(const std::string& tag) {
  const std::string expression = taglexer::TrimBlanks(AttributeOf(tag, "expr"));
  if (expression.empty()) return {false, ""};  // a tag without a name is dropped
  if (!IsValueName(expression)) {
    std::string result;
    scopes_->ExecuteCommand(expression, &result, true);
    return {false, result};
  }
  const std::string type = scopes_->TypeOfAnyScope("dialog", expression);
  ConsoleLine("Variable type> " + type);
  if (type == "object") {
    const std::string clip = scopes_->GetValue(expression + ".src");
    ConsoleLine("New value (src)" + clip);
    if (!clip.empty()) return {true, clip};
  }
  return {false, scopes_->GetValue(expression)};
}

// Each choice's pieces followed by ", ", the last one by two blanks ("red,
// green  "). Only a choice's own markup is read as markup: a value it shows
// joins the prompt as the text it is.
std::vector<PromptPlayer::Piece> PromptPlayer::EnumeratedChoices(const Element& item) {
  std::vector<Piece> list;
  for (const Element* child : item.children) {
    if (child->tagName != "option" && child->tagName != "choice") continue;
    if (!list.empty()) list.push_back({false, ", "});
    for (const Piece& piece : EnumeratedChoice(*child)) list.push_back(piece);
  }
  if (!list.empty()) list.push_back({false, "  "});
  return list;
}

// The end of an <enumerate> tag, or of its template up to the end tag (or
// only of its start tag without one); a template is logged as not used.
std::size_t PromptPlayer::EnumerateEnd(const std::string& text, const taglexer::Piece& tag) {
  if (tag.kind == PieceKind::kEmptyTag) return tag.end;
  std::size_t end = text.find("</enumerate", tag.end);
  end = end == std::string::npos ? tag.end : taglexer::NextPiece(text, end).end;
  mainLog_->Error("PromptPlayer: the template of <enumerate> is not used, the choices are "
                  "listed instead: " + text.substr(tag.begin, end - tag.begin));
  return end;
}

std::vector<PromptPlayer::Piece> PromptPlayer::EnumeratedChoice(const Element& choice) {
  if (choice.children.empty()) return Render(choice.GetText(), nullptr);
  std::vector<Piece> pieces;
  for (const Element* child : choice.children) {
    if (child->tagName == "PCDATA") {
      pieces = Render(child->GetText(), nullptr);
      break;
    }
    if (child->tagName == "value") {
      pieces = {{false, scopes_->GetValue(child->GetAttribute("expr"))}};
    }
  }
  for (const Element* child : choice.children) {
    if (child->tagName == "audio") {
      ConsoleLine(kChoiceAudio);
      mainLog_->Error(kChoiceAudio);
    }
  }
  return pieces;
}

bool PromptPlayer::SendText(const std::string& text, const std::string& fields) {
  const std::string spoken = FitText(text, sizeof(kSyntPrefix) - 1 + fields.size());
  mainLog_->Message("\t\t\tSYSTEM: " + spoken);
  ConsoleLine("SYSTEM: " + spoken);
  dialogLog_->Message("SYSTEM: " + spoken);
  return Request((kSyntPrefix + spoken + fields).substr(0, kMaxSyntMessage));
}

void PromptPlayer::PlayAudio(const std::string& uri) { PlayClip(uri); }

bool PromptPlayer::PlayClip(const std::string& uri) {
  const std::size_t length = sizeof(kInformPrefix) - 1 + uri.size();
  if (uri.empty() || length > kMaxInformMessage) {
    if (!uri.empty()) {
      mainLog_->Error("PromptPlayer: the audio URI " + Excerpt(uri) + " is not played: its " +
                      std::to_string(length) + "-character message passes the limit of " +
                      std::to_string(kMaxInformMessage));
    }
    ConsoleLine(kUriError);
    return false;
  }
  // A clip is only announced to the peer, never played on this machine.
  if (uri.find(".mp3") != std::string::npos) ConsoleLine("SYSTEM: (playing mp3 file)");
  mainLog_->Message("Playing audio clip " + uri);
  return Request(kInformPrefix + uri);
}

bool PromptPlayer::Request(const std::string& message) {
  peer_.Send(message);
  if (!PeerAnsweredEnd(peer_.Receive())) return false;
  hangUp_ = true;
  return true;
}

void PromptPlayer::PlayAudioElement(const Element* element) {
  PlayAudio(element->GetAttribute("src"));
}

void PromptPlayer::Speak(const std::string& text) {
  const std::string fields = "\t:bargein false";
  const std::string spoken = FitText(text, sizeof(kSyntPrefix) - 1 + fields.size());
  peer_.Send(kSyntPrefix + spoken + fields);
  ConsoleLine("SYSTEM: " + spoken);
  peer_.Receive();
}

std::string PromptPlayer::FitText(const std::string& text, std::size_t fixedLength) {
  const std::size_t room = kMaxSyntMessage > fixedLength ? kMaxSyntMessage - fixedLength : 0;
  if (text.size() <= room) return text;
  mainLog_->Error("PromptPlayer: the text " + Excerpt(text) + " is cut from " +
                  std::to_string(text.size()) + " to " + std::to_string(room) +
                  " characters to fit the message limit of " + std::to_string(kMaxSyntMessage));
  return text.substr(0, room);
}

void PromptPlayer::OnUserInput() {}
