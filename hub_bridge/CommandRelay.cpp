#include "hub_bridge/CommandRelay.h"

#include <cstdlib>

#include "hub_bridge/BridgeServer.h"
#include "hub_bridge/CallEnd.h"
#include "hub_bridge/FieldParsers.h"
#include "libhub/io/CallEnvironment.h"

namespace {

// What each place that runs the relay prints.
struct VariantTraits {
  bool warnsAtEnd;      // "\n\n\nPOZOR POZOR\n\n\n" before "StopCall"
  bool showsSynthesis;  // the rest of a "Synt\t" message after its second field
  bool showsRecording;  // the three values of "Record:"
};

VariantTraits Traits(RelayVariant variant) {
  switch (variant) {
    case RelayVariant::kBeginSession: return {true, false, true};
    case RelayVariant::kProcessParse: return {false, true, true};
    case RelayVariant::kAfterPlaying: return {true, false, false};
    case RelayVariant::kProcessISInfo: return {true, false, true};
    case RelayVariant::kProcessDTMF: return {true, true, true};
    case RelayVariant::kRecordingEnd: return {false, true, true};
  }
  return {};
}

bool StartsWith(const std::string& message, const char* command) {
  return message.compare(0, std::char_traits<char>::length(command), command) == 0;
}

// The value of the next field; empty when there is none.
std::string NextValue(std::string& message) {
  std::string key;
  std::string value;
  TakeNextField(message, key, value);
  return value;
}

FrameKey Flag(const char* key) { return {key, ""}; }

void SendDialog(Hub_CallEnvironment* env, const std::vector<FrameKey>& keys) {
  SendHubFrame(env, "dialog", keys);
}

[[noreturn]] void StopCall(Hub_CallEnvironment* env, int status) {
  ForgetHubConnection();
  SendHubFrame(env, "StopCall", {});
  EndBridge(status);
}

std::string ReceiveOrStop(Hub_CallEnvironment* env) {
  std::string message;
  if (Client().Receive(&message)) return message;
  BridgePrint("\nThe dialog manager closed the connection; the call is stopped.\n");
  StopCall(env, 1);
}

void PlayAudio(Hub_CallEnvironment* env, std::string& message) {
  std::string key;
  std::string source;
  // The field form "inform:\t:src URI"; a bare "inform:URI" gives the text after the colon.
  if (!TakeNextField(message, key, source)) TakeColonText(message, source);
  SendDialog(env, {Flag(":play_audio"), {":src", source}});
}

void Synthesise(Hub_CallEnvironment* env, const VariantTraits& traits, std::string& message) {
  std::string text = NextValue(message);
  std::string bargein = NextValue(message);
  if (traits.showsSynthesis) BridgePrint("\n\n\n%s\n\n\n", message.c_str());
  SendDialog(env, {Flag(":synthetise"), {":text", text}, {":bargein", bargein}});
  std::string timeout = NextValue(message);
  SendHubFrame(env, "SetProperty", {IntKey(":timeout", std::atoi(timeout.c_str()))});
}

void Record(Hub_CallEnvironment* env, const VariantTraits& traits, std::string& message) {
  RecordingParams.nameOfFile = NextValue(message);
  RecordingParams.maxTime = NextValue(message);
  RecordingParams.dtmfTerminator = NextValue(message);
  if (traits.showsRecording) {
    BridgePrint("\n\nDTMFterm>%s\nNameOfFile>%s\nMaxTime>%s\n",
                RecordingParams.dtmfTerminator.c_str(), RecordingParams.nameOfFile.c_str(),
                RecordingParams.maxTime.c_str());
  }
  SendDialog(env, {Flag(":record")});
}

// One message: true when it ended the pass.
bool RelayMessage(Hub_CallEnvironment* env, const VariantTraits& traits, std::string& message) {
  if (StartsWith(message, "Koniec dialogu")) {
    if (traits.warnsAtEnd) BridgePrint("\n\n\nPOZOR POZOR\n\n\n");
    StopCall(env, 0);
  }
  if (StartsWith(message, "inform:")) {
    PlayAudio(env, message);
    return true;
  }
  if (StartsWith(message, "Synt\t")) {
    Synthesise(env, traits, message);
    return true;
  }
  if (StartsWith(message, "dataquery")) {
    SendDialog(env, {Flag(":dataquery"), {":inframe", ReceiveOrStop(env)}});
    return true;
  }
  if (StartsWith(message, "NewGroup")) {
    SendDialog(env, {Flag(":prepare_group"), {":group_name", NextValue(message)}});
    Client().Send("OK");
  }
  if (StartsWith(message, "LoadGroup")) {
    SendDialog(env, {Flag(":load_group")});
    Client().Send("OK");
  }
  if (StartsWith(message, "AddGram\t")) {
    std::string uri = NextValue(message);
    std::string type = NextValue(message);
    std::string dictionary = NextValue(message);
    SendDialog(env, {Flag(":add_grammar"), {":gramURI", uri}, {":gramTYPE", type},
                     {":loc_DICT", dictionary}});
    Client().Send("OK");
  }
  if (StartsWith(message, "ask:")) {
    SendDialog(env, {Flag(":start_sampling"), IntKey(":testmode", 0)});
    return true;
  }
  if (StartsWith(message, "GetDTMFch:")) {
    SendDialog(env, {Flag(":get_dtmf_char"), IntKey(":time_out", 6)});
    return true;
  }
  if (StartsWith(message, "Record:")) {
    Record(env, traits, message);
    return true;
  }
  return false;
}

}  // namespace

void RelayDMReplies(Hub_CallEnvironment* env, RelayVariant variant) {
  VariantTraits traits = Traits(variant);
  for (;;) {
    std::string message = ReceiveOrStop(env);
    if (RelayMessage(env, traits, message)) return;
  }
}

FrameKey IntKey(const char* key, int32_t number) { return {key, "", true, number}; }

void SendHubFrame(Hub_CallEnvironment* env, const char* name, const std::vector<FrameKey>& keys) {
  Hub_Frame* frame = Hub_MakeFrameOfKind(name, HUB_KIND_CLAUSE);
  for (const FrameKey& key : keys) {
    Hub_SetFrameProperty(frame, key.key,
                         key.isInt ? Hub_MakeIntObject(key.number)
                                   : Hub_MakeStringObject(key.text.c_str()));
  }
  Hub_DestroyFrame(Hub_EnvSendAndAwaitReply(env, frame, nullptr));
  Hub_DestroyFrame(frame);
  StopCallIfHubLost(env);
}
