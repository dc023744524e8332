// The command relay: after a hub operation has sent its message to the
// dialog manager, the relay reads the dialog manager's messages and turns
// each into hub frames until one needs the hub's answer (a prompt, an audio
// clip, a data query, input, a key, a recording) or ends the dialogue.
//
// A command is recognised only at the start of a message, in this order:
//   "Koniec dialogu"  frame "StopCall"; the process ends with status 0
//   "inform:"         "dialog" :play_audio :src                       ends the pass
//   "Synt\t"          "dialog" :synthetise :text :bargein, then
//                     "SetProperty" :timeout (int)                     ends the pass
//   "dataquery"       the next message becomes "dialog" :dataquery :inframe; ends
//   "NewGroup"        "dialog" :prepare_group :group_name; "OK" at once
//   "LoadGroup"       "dialog" :load_group; "OK" at once
//   "AddGram\t"       "dialog" :add_grammar :gramURI :gramTYPE :loc_DICT; "OK"
//   "ask:"            "dialog" :start_sampling :testmode 0             ends the pass
//   "GetDTMFch:"      "dialog" :get_dtmf_char :time_out 6              ends the pass
//   "Record:"         RecordingParams from its fields; "dialog" :record; ends
// After the three set-up commands the later tests run on what the field
// parser left of the message; a message that ends no pass is followed by the
// next one, and one that matches nothing is ignored. Flag keys carry "".
//
// When the dialog manager closes the connection or a receive fails, the
// bridge says so, sends "StopCall" and ends with status 1. The dialogue has
// ended once "StopCall" is to be sent: the hub's connection may then go
// (CallEnd.h).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Hub_CallEnvironment;

// Which place runs the relay; they differ only in what they print.
enum class RelayVariant {
  kBeginSession,
  kProcessParse,
  kAfterPlaying,
  kProcessISInfo,
  kProcessDTMF,
  kRecordingEnd,
};

void RelayDMReplies(Hub_CallEnvironment* env, RelayVariant variant);

// One key of a frame the bridge sends: a string, or an int.
struct FrameKey {
  const char* key;
  std::string text;
  bool isInt = false;
  int32_t number = 0;
};
FrameKey IntKey(const char* key, int32_t number);

// Sends a clause frame of the name with the keys to the hub through the
// environment and waits for the hub's reply, which is destroyed unread; a
// call whose hub connection was lost meanwhile ends there (CallEnd.h).
void SendHubFrame(Hub_CallEnvironment* env, const char* name, const std::vector<FrameKey>& keys);
