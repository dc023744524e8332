// Plays prompts to the caller through the peer (the hub bridge): a prompt's
// text is synthesised ("Synt\t:text T\t:bargein B\t:timeout S"), an audio clip
// is announced by its URI ("inform:\t:src URI"). Every request is one message
// followed by one reply, while the server waits. The peer's reply "End" to a
// prompt or a clip means the caller hung up: it sets the hang-up flag, which
// the callers test after every request. A text too long for its message is
// cut to fit and a clip whose message would be too long is not played; each
// such case writes an error naming the text or the URI to the main log.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

class EcmaScopes;
class Element;
class PeerLink;
class SessionLog;
class VxmlDocument;
namespace taglexer {
struct Piece;
}

class PromptPlayer {
 public:
  // The longest "Synt\t" message and the longest "inform:" message sent.
  static constexpr std::size_t kMaxSyntMessage = 9999;
  static constexpr std::size_t kMaxInformMessage = 499;
  // The time-out sent when a prompt has no "timeout" attribute.
  static constexpr const char* kDefaultTimeout = "5";

  // All three pointers are required (not null). Nothing is owned; everything
  // must outlive the player.
  PromptPlayer(SessionLog* mainLog, SessionLog* dialogLog, EcmaScopes* scopes, PeerLink& peer);
  PromptPlayer(const PromptPlayer&) = delete;
  PromptPlayer& operator=(const PromptPlayer&) = delete;

  // Plays one prompt of the form item `item`: a <prompt> element, or a
  // "PCDATA" element (text written directly in executable content), which
  // plays as a prompt with that text and no attributes. Sends nothing for
  // any other element (or null), when the item's prompted flag is 1, or when
  // the prompt's "cond" is not empty and does not evaluate to "true".
  // Barge-in is "true" only in a "field" or "initial" item whose prompt does
  // not say bargein="false".
  //
  // The text of a <prompt> runs from its start tag to its last end tag (a
  // CDATA section may hold "</prompt>"). It is read in order: <enumerate/>
  // becomes the item's choices ("red, green  "), and so does an <enumerate>
  // template, whose own text is not used (main log error "PromptPlayer: the
  // template of <enumerate> is not used, the choices are listed instead: " +
  // the template); the choices join the prompt after its markup is read, so
  // a value a choice shows (a caller's answer) is only ever spoken as text;
  // character references are decoded, CDATA content stands as written; <value expr="e"/> becomes the value of e (a plain name is read
  // with GetValue, any other expression is scope-expanded and run), except
  // that a name holding an object with a non-empty ".src" is that clip;
  // <audio src="u"/> is the clip u (the text inside it is not spoken); the
  // text of a <log> element is not spoken either, but written to the main log
  // as an error ("PromptPlayer: <log> is not spoken: " + its markup); any
  // other tag is dropped and its text kept, and where an <s>, <p> or <break>
  // tag stood between two characters that are not blanks, one blank is left.
  //
  // A prompt without clips sends its whole text as one "Synt\t"; a text
  // line with nothing but blanks left sends nothing. A prompt
  // with clips sends its pieces in order: each run of text that is not only
  // blanks as one "Synt\t" (without its outer blanks), each clip as PlayAudio
  // does; a hang-up ends it. The item's prompt counter goes up once when a
  // "Synt\t" was sent and no reply to the prompt was "End". `document` is
  // not used.
  void PlayPrompt(Element* prompt, const VxmlDocument* document, Element* item);
  // Announces the clip: main log "Playing audio clip <uri>", then
  // "inform:\t:src <uri>". An ".mp3" clip is only announced (console line
  // "SYSTEM: (playing mp3 file)"); nothing is ever played locally. An empty
  // URI, or one too long for the message, prints the console line
  // "Error load an uri adress of audio prompt" and sends nothing.
  void PlayAudio(const std::string& uri);
  // PlayAudio with the "src" attribute of the element (required, not null).
  void PlayAudioElement(const Element* element);
  // Speaks a fixed text without barge-in or time-out field; the reply is read
  // and ignored, nothing is logged but a cut.
  void Speak(const std::string& text);
  // Called when input arrived without a hang-up; has no effect.
  void OnUserInput();

  // True once the peer has answered a prompt or a clip with "End"; never cleared.
  bool HangUp() const { return hangUp_; }

 private:
  // A run of text to synthesise, or the URI of a clip.
  struct Piece {
    bool clip;
    std::string text;
  };

  // The pieces of a prompt's text, in order (adjacent text joined). Each
  // <enumerate> tag lists the item's choices; without an item (the text of a
  // choice) it is dropped like any other tag.
  std::vector<Piece> Render(const std::string& text, const Element* item);
  // The text or the clip a <value> tag stands for.
  Piece ValueOf(const std::string& tag);
  // The pieces that stand for an <enumerate>: the item's options and choices.
  std::vector<Piece> EnumeratedChoices(const Element& item);
  // Where the text goes on after the <enumerate> tag that `tag` is.
  std::size_t EnumerateEnd(const std::string& text, const taglexer::Piece& tag);
  // The pieces of one option or choice in <enumerate>: its own text, read as
  // markup, when it has no children; otherwise its first text line, or else
  // the value of the last <value> before it, as plain text (the choice
  // grammar reads a choice by a rule of its own, ChoiceGrammarText).
  std::vector<Piece> EnumeratedChoice(const Element& choice);
  // Logs and shows the text, then sends it; true when the reply was "End".
  bool SendText(const std::string& text, const std::string& fields);
  // PlayAudio; true when the reply was "End".
  bool PlayClip(const std::string& uri);
  // Sends the message and reads one reply; "End" sets the hang-up flag and
  // gives true.
  bool Request(const std::string& message);
  // The text, cut (and the cut logged) so that fixedLength more characters
  // still fit a "Synt\t" message.
  std::string FitText(const std::string& text, std::size_t fixedLength);

  bool hangUp_ = false;
  SessionLog* mainLog_;
  SessionLog* dialogLog_;
  EcmaScopes* scopes_;
  PeerLink& peer_;
};
