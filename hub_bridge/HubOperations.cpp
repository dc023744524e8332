#include "hub_bridge/HubOperations.h"

#include <string>

#include "hub_bridge/BridgeServer.h"
#include "hub_bridge/CallEnd.h"
#include "hub_bridge/CommandRelay.h"
#include "hub_bridge/FieldParsers.h"
#include "libhub/util/PlatformUtil.h"

namespace {

Hub_Frame* NewReply() { return Hub_MakeFrameOfKind("reply", HUB_KIND_CLAUSE); }


// The text under the key; the empty text, after a warning, when there is none.
std::string FrameText(const Hub_Frame* frame, const char* key) {
  const char* text = Hub_GetFrameString(frame, key);
  if (text) return text;
  BridgePrint("WARNING: no text under %s; the empty text is used\n", key);
  return "";
}

}  // namespace

Hub_Frame* BeginSession(Hub_Frame*, Hub_CallEnvironment* env) {
  if (InitASR) {
    SendHubFrame(env, "dialog", {{":prepare_group", ""}, {":group_name", "init"}});
    SendHubFrame(env, "dialog", {{":start_sampling", ""}, IntKey(":testmode", 1)});
    HubUtil_SleepPlainMillis(1000);  // the library's sleep: the console is written first
  }
  BridgePrint("\nI am sending the Begin message to DM engine\n");
  Client().Send("Begin");
  WatchHubConnection(env);
  RelayDMReplies(env, RelayVariant::kBeginSession);
  return NewReply();
}

Hub_Frame* ProcessParse(Hub_Frame* frame, Hub_CallEnvironment* env) {
  std::string utterance = FrameText(frame, ":utt");
  std::string semantic = FrameText(frame, ":semantic");
  float confidence = Hub_GetFrameFloat(frame, ":conf");
  int32_t noInput = Hub_GetFrameInt(frame, ":noinput");
  if (noInput == 1) {
    confidence = 0;
    utterance = "NOINPUT";
  }
  Client().Send(RecognitionReply(utterance, confidence, noInput, semantic));
  RelayDMReplies(env, RelayVariant::kProcessParse);
  return nullptr;
}

Hub_Frame* EndSession(Hub_Frame*, Hub_CallEnvironment*) { EndDialogue(0); }

Hub_Frame* reset_dm(Hub_Frame*, Hub_CallEnvironment*) { return nullptr; }

Hub_Frame* AfterPlaying(Hub_Frame*, Hub_CallEnvironment* env) {
  Client().Send("OK");
  RelayDMReplies(env, RelayVariant::kAfterPlaying);
  return nullptr;
}

Hub_Frame* ProcessISInfo(Hub_Frame* frame, Hub_CallEnvironment* env) {
  std::string answer = FrameText(frame, ":outframe");
  BridgePrint("\n\nPRIJATE: %s\n", answer.c_str());
  Client().Send(answer);
  RelayDMReplies(env, RelayVariant::kProcessISInfo);
  return NewReply();
}

Hub_Frame* ProcessDTMF(Hub_Frame* frame, Hub_CallEnvironment* env) {
  Client().Send(":DTMFchar " + FieldValue(FrameText(frame, ":char")));
  RelayDMReplies(env, RelayVariant::kProcessDTMF);
  return nullptr;
}

Hub_Frame* ProcessUnexpectedDTMF(Hub_Frame* frame, Hub_CallEnvironment*) {
  LastDTMFChar = FrameText(frame, ":char");
  return nullptr;
}
