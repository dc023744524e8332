// Plays prompts to the caller through the peer (the hub bridge): a prompt's
// text is synthesised ("Synt\t:text T\t:bargein B\t:timeout S"), an audio clip
// is announced by its URI ("inform:\t:src URI"). Every request is one message
// followed by one reply, while the server waits. The peer's reply "End" to a
// prompt or a clip means the caller hung up: it sets the hang-up flag, which
// the callers test after every request.
#pragma once
#include <cstddef>
#include <string>

class EcmaScopes;
class Element;
class PeerLink;
class SessionLog;
class VxmlDocument;

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

  // Plays one prompt of the form item `item`. Sends nothing when `prompt` is
  // not a <prompt> element (or null), when the item's prompted flag is 1, or
  // when the prompt's "cond" is not empty and does not evaluate to "true".
  // Barge-in is "true" only in a "field" or "initial" item whose prompt does
  // not say bargein="false". A prompt holding <audio> plays only the clip; a
  // <value> whose variable holds an object with a non-empty ".src" plays that
  // clip and ends the prompt; otherwise <enumerate/> becomes the item's
  // choices ("red, green  ") and each <value expr="x"/> the value of x. A
  // synthesised prompt whose reply is not "End" raises the item's prompt
  // counter. `document` is not used.
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
  // and ignored, nothing is logged.
  void Speak(const std::string& text);
  // Called when input arrived without a hang-up; has no effect.
  void OnUserInput();

  // True once the peer has answered a prompt or a clip with "End"; never cleared.
  bool HangUp() const { return hangUp_; }

 private:
  // A prompt text holding <audio>: shows the text after the first "/>" and
  // plays the clip named by the first src="..." after "<audio".
  void PlayAudioInText(const std::string& text);
  // Replaces the first <enumerate/> by the item's option and choice texts.
  void ReplaceEnumerate(std::string& text, const Element& item);
  // The spoken text of one option or choice.
  std::string ChoiceText(const Element& choice);
  // Replaces each <value expr="x"/> by the value of x, left to right. Returns
  // false when a value was an object with a clip, which has then been played.
  bool ReplaceValues(std::string& text);

  bool hangUp_ = false;
  SessionLog* mainLog_;
  SessionLog* dialogLog_;
  EcmaScopes* scopes_;
  PeerLink& peer_;
};
