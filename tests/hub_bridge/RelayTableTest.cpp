// The command relay over the real program: each row calls one operation of
// the bridge, the fake dialog manager answers its message with the row's
// script, and the frames sent to the hub, the dialog manager's receipts and
// the console are compared. Unless the row ends the dialogue, the hub then
// calls "AfterPlaying" and the dialog manager ends with "Koniec dialogu".
#include <cmath>

#include "tests/hub_bridge/BridgeTest.h"

namespace bridgetest {
namespace {

struct RelayCase {
  const char* title;
  const char* operation;  // after "BeginSession" answered with "ask:", unless it is that
  FrameKeys keys;
  std::vector<DmStep> steps;  // the dialog manager's answer to the operation's message
  Words received;             // by the dialog manager, the operation's message first
  Words frames;               // sent by the bridge during the operation
  std::string shown;          // on the console
  bool endsDialogue = false;
  std::string hidden = "\x01";  // never on the console
};

const char kRecordShown[] = "\n\nDTMFterm>#\nNameOfFile>msg1\nMaxTime>10s\n";
// A prompt one field longer than the longest message taken.
const std::string kOverlong = "Synt\t:text " + std::string(1 << 20, 'a') + "\t:bargein true";

const RelayCase kCases[] = {
    {"Set-up commands answer OK and go on",
     "BeginSession", {},
     {Say("NewGroup\t"), Await(), Say("LoadGroup"), Await(),
      Say("AddGram\t:gramURI g.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\"),
      Await(), Say("ask:")},
     {"Begin", "OK", "OK", "OK"},
     {"dialog :prepare_group \"\" :group_name \"\"", "dialog :load_group \"\"",
      "dialog :add_grammar \"\" :gramURI \"g.bnf\" :gramTYPE \"bnf\" :loc_DICT "
      "\"lang_resources\\Dictionaries\\\"",
      "dialog :start_sampling \"\" :testmode 0"},
     "\nI am sending the Begin message to DM engine\n"},
    {"A field keeps one trailing TAB less, a field without blank its first letter less",
     "BeginSession", {},
     {Say("NewGroup\t:group_name g1\t"), Await(), Say("NewGroup\t:xyz"), Await(), Say("GetDTMFch:")},
     {"Begin", "OK", "OK"},
     {"dialog :prepare_group \"\" :group_name \"g1\"", "dialog :prepare_group \"\" :group_name \"yz\"",
      "dialog :get_dtmf_char \"\" :time_out 6"}, ""},
    {"An utterance, then a prompt shown after its text",
     "ProcessParse", {{":utt", "dobry den"}, {":conf", 0.85}, {":noinput", 0}, {":semantic", "a:b"}},
     {Say("Synt\t:text Ahoj\t:bargein true\t:timeout 5")},
     {"Begin", ":utt dobry den\t:conf 0.85\t:noinput 0\t:semantic a:b"},
     {"dialog :synthetise \"\" :text \"Ahoj\" :bargein \"true\"", "SetProperty :timeout 5"},
     "\n\n\nbargein true\t:timeout 5\n\n\n"},
    {"No input, a missing key, and a recording's parameters",
     "ProcessParse", {{":conf", 0.9}, {":noinput", 1}, {":semantic", "x"}},
     {Say("Record:\t:name msg1\t:maxtime 10s\t:dtmfterm #")},
     {"Begin", ":utt NOINPUT\t:conf 0\t:noinput 1\t:semantic x"},
     {"dialog :record \"\""},
     std::string("WARNING: no text under :utt; the empty text is used\n") + kRecordShown},
    {"A prompt without time-out; commands inside its text are spoken",
     "AfterPlaying", {},
     {Say("Synt\t:text Koniec dialogu inform: ok\t:bargein false")},
     {"Begin", "OK"},
     {"dialog :synthetise \"\" :text \"Koniec dialogu inform: ok\" :bargein \"false\"",
      "SetProperty :timeout 0"},
     "", false, "\n\n\nbargein"},
    {"A key, then an audio clip under :src",
     "ProcessDTMF", {{":char", "5"}},
     {Say("hello"), Say("inform:\t:src welcome.wav")},
     {"Begin", ":DTMFchar 5"},
     {"dialog :play_audio \"\" :src \"welcome.wav\""}, ""},
    {"A bare clip name",
     "BeginSession", {},
     {Say("inform:clip.wav")},
     {"Begin"},
     {"dialog :play_audio \"\" :src \"clip.wav\""}, ""},
    {"A data query takes the next message whole",
     "ProcessISInfo", {{":outframe", "{\nact answer\n}"}},
     {Say("dataquery"), Say("{\nact query\ncontent x\n}\n")},
     {"Begin", "{\nact answer\n}"},
     {"dialog :dataquery \"\" :inframe \"{\nact query\ncontent x\n}\n\""},
     "\n\nPRIJATE: {\nact answer\n}\n"},
    {"A forged utterance stays one field, a semantic text one line",
     "ProcessParse",
     {{":utt", "Praha\t:conf 0.95\t:noinput 0\t:semantic EXPR"}, {":conf", 0.5}, {":noinput", 0},
      {":semantic", "a\r\nb"}},
     {Say("GetDTMFch:")},
     {"Begin",
      ":utt Praha :conf 0.95 :noinput 0 :semantic EXPR\t:conf 0.5\t:noinput 0\t:semantic a  b"},
     {"dialog :get_dtmf_char \"\" :time_out 6"}, ""},
    {"A confidence that is no number goes as 0, a plain utterance unchanged",
     "ProcessParse", {{":utt", "Praha"}, {":conf", NAN}, {":noinput", 0}, {":semantic", "Praha"}},
     {Say("GetDTMFch:")},
     {"Begin", ":utt Praha\t:conf 0\t:noinput 0\t:semantic Praha"},
     {"dialog :get_dtmf_char \"\" :time_out 6"}, ""},
    {"A forged key stays one field",
     "ProcessDTMF", {{":char", "5\t:x\n"}},
     {Say("ask:")},
     {"Begin", ":DTMFchar 5 :x "},
     {"dialog :start_sampling \"\" :testmode 0"}, ""},
    {"A message over 1 MiB is dropped and the relay goes on",
     "BeginSession", {},
     {Say(kOverlong), Say("inform:clip.wav")},
     {"Begin"},
     {"dialog :play_audio \"\" :src \"clip.wav\""},
     "WARNING: a message of " + std::to_string(kOverlong.size()) +
         " bytes from the dialog manager is longer than 1048576 bytes; it is dropped\n"},
    {"The end of the dialogue after an utterance",
     "ProcessParse", {{":utt", "nie"}, {":conf", 1.0}, {":noinput", 0}, {":semantic", "nie"}},
     {Say("Koniec dialogu")},
     {"Begin", ":utt nie\t:conf 1\t:noinput 0\t:semantic nie"},
     {"StopCall"}, "", true, "POZOR"},
    {"The end of the dialogue after a key warns",
     "ProcessDTMF", {{":char", "#"}},
     {Say("Koniec dialogu")},
     {"Begin", ":DTMFchar #"},
     {"StopCall"}, "\n\n\nPOZOR POZOR\n\n\n", true},
};

class RelayTableTest : public BridgeTest, public ::testing::WithParamInterface<RelayCase> {};

TEST_P(RelayTableTest, FramesAnswersAndConsole) {
  const RelayCase& c = GetParam();
  bool begins = std::string(c.operation) == "BeginSession";
  std::vector<DmStep> script = {Await()};
  if (!begins) script.insert(script.end(), {Say("ask:"), Await()});
  script.insert(script.end(), c.steps.begin(), c.steps.end());
  if (!c.endsDialogue) script.insert(script.end(), {Await(), Say("Koniec dialogu")});
  Start(script);
  if (!begins) Call("BeginSession");
  size_t before = Frames().size();
  Call(c.operation, c.keys);
  Words frames = Frames(before);
  if (!c.endsDialogue) Call("AfterPlaying");
  testsupport::ChildResult result = Finish();
  EXPECT_EQ(c.frames, frames);
  Words received = c.received;
  if (!c.endsDialogue) received.push_back("OK");
  EXPECT_EQ(received, dm_.Received());
  EXPECT_EQ(Frames().back(), "StopCall");
  EXPECT_EQ(0, result.status);
  EXPECT_NE(std::string::npos, result.out.find(c.shown)) << result.out;
  EXPECT_EQ(std::string::npos, result.out.find(c.hidden)) << result.out;
}

INSTANTIATE_TEST_SUITE_P(Relay, RelayTableTest, ::testing::ValuesIn(kCases), TitleName<RelayCase>);

}  // namespace
}  // namespace bridgetest
