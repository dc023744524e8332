// Whole dialogues of input turns (fields, menus, initials, records, events)
// played against the scripted peer as the server plays them from "Begin" to
// "Koniec dialogu": every message the server sends is pinned in order.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "interpreter/CurrentDocument.h"
#include "interpreter/DialogSession.h"
#include "interpreter/InterpreterDialogue.h"
#include "speech_resources/SpeechTexts.h"
#include "tests/interpreter/InterpreterTestSupport.h"
#include "tests/support/ScriptedPeerLink.h"

namespace interpretertest {
namespace {

using Strings = std::vector<std::string>;
using testsupport::PeerScript;
using testsupport::ReadFile;

const std::string kApologyLine =
    testsupport::Escape(std::string("Synt\t:text ") + speechtexts::kApology + "\t:bargein false");

class InputTurnTest : public InterpreterTest {
 protected:
  // Runs start.vxml as the server does at "Begin" and returns what it sent;
  // the main and dialog logs are kept before they are archived.
  Strings Play(const PeerScript& script) {
    testsupport::ScriptedPeerLink peer(script);
    quorvane::SetCurrentDocument("start.vxml");
    DialogSession session(peer, InterpreterDialogue::Factory(peer));
    session.SetMainLogPath("main.log");
    session.SetDialogLogPath("dialog.log");
    session.Begin();
    session.StartDialog();
    mainLog_ = ReadFile("main.log");
    dialogLog_ = ReadFile("dialog.log");
    session.EndDialogue();
    return peer.Sent();
  }

  // The messages escaped, one per line.
  static std::string Transcript(const Strings& sent) {
    std::string text;
    for (const std::string& message : sent) text += testsupport::Escape(message) + "\n";
    return text;
  }

  std::string ScriptLog() const { return ReadFile("Quorvane/ecmalog.txt"); }

  std::string mainLog_;
  std::string dialogLog_;
};

// ---------------------------------------------------------------------------
// Transcripts.

struct Dialogue {
  const char* name;
  std::string document;    // the body of start.vxml
  std::string peer;        // the peer script
  std::string transcript;  // the messages sent, escaped, one per line
};

void PrintTo(const Dialogue& dialogue, std::ostream* os) { *os << dialogue.name; }

class DialogueTest : public InputTurnTest, public ::testing::WithParamInterface<Dialogue> {};

TEST_P(DialogueTest, SendsTheTranscript) {
  WriteDocument("start.vxml", GetParam().document);
  EXPECT_EQ(Transcript(Play(PeerScript::Parse(GetParam().peer))), GetParam().transcript);
  EXPECT_EQ(CountOf(ScriptLog(), "ERROR"), 0) << ScriptLog();
}

const std::string kTripForm =
    "<form id=\"trip\">\n"
    "<grammar src=\"trip.bnf\" type=\"application/grammar+bnf\"/>\n"
    "<initial name=\"start\">\n<prompt>Where and when?</prompt>\n</initial>\n"
    "<field name=\"city\">\n<prompt>Which city?</prompt>\n</field>\n"
    "<field name=\"day\">\n<prompt>Which day?</prompt>\n</field>\n"
    "<filled namelist=\"city day\">\n<prompt><value expr=\"city\"/> on <value expr=\"day\"/></prompt>\n</filled>\n"
    "</form>\n";

INSTANTIATE_TEST_SUITE_P(
    Dialogues, DialogueTest,
    ::testing::Values(
        // A field with a BNF grammar is filled from the semantic string, then
        // its <filled> plays.
        Dialogue{"FieldFilledBySemanticString",
                 "<form id=\"order\">\n<field name=\"city\">\n"
                 "<grammar src=\"cities.bnf\" type=\"application/grammar+bnf\"/>\n"
                 "<prompt>Which city?</prompt>\n"
                 "<filled>\n<prompt>Going to <value expr=\"city\"/>.</prompt>\n</filled>\n"
                 "</field>\n</form>\n",
                 R"(reply ask: => :utt Paris\t:conf 0.85\t:noinput 0\t:semantic 'Paris')",
                 R"(NewGroup\t
AddGram\t:gramURI cities.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\
LoadGroup
Synt\t:text Which city?\t:bargein true\t:timeout 5
ask:
Synt\t:text Going to Paris.\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // No input and no match count together, help does not; handlers are
        // found on the item, the form, the document; the fifth counted event
        // speaks the apology and ends the call.
        Dialogue{"FifthCountedEventEndsTheCall",
                 "<help>\n<prompt>Name a city.</prompt>\n</help>\n"
                 "<form id=\"trip\">\n"
                 "<noinput>\n<prompt>I did not hear you.</prompt>\n<reprompt/>\n</noinput>\n"
                 "<field name=\"city\">\n"
                 "<prompt count=\"1\">Which city?</prompt>\n"
                 "<prompt count=\"2\">Please name a city.</prompt>\n"
                 "<nomatch>\n<prompt>Say it again.</prompt>\n</nomatch>\n"
                 "</field>\n</form>\n",
                 R"(reply ask: => :utt \t:conf 0\t:noinput 1\t:semantic 
reply ask: => :utt help\t:conf 0.9\t:noinput 0\t:semantic help
reply ask: => :utt Pariss\t:conf 0.5\t:noinput 0\t:semantic x
reply ask: => :utt \t:conf 0\t:noinput 1\t:semantic 
reply ask: => :utt Pariss\t:conf 0.5\t:noinput 0\t:semantic x
reply ask: => :utt Pariss\t:conf 0.5\t:noinput 0\t:semantic x)",
                 R"(NewGroup\t
LoadGroup
Synt\t:text Which city?\t:bargein true\t:timeout 5
ask:
Synt\t:text I did not hear you.\t:bargein false\t:timeout 5
NewGroup\t
LoadGroup
Synt\t:text Please name a city.\t:bargein true\t:timeout 5
ask:
Synt\t:text Name a city.\t:bargein false\t:timeout 5
NewGroup\t
LoadGroup
ask:
Synt\t:text Say it again.\t:bargein false\t:timeout 5
NewGroup\t
LoadGroup
ask:
Synt\t:text I did not hear you.\t:bargein false\t:timeout 5
NewGroup\t
LoadGroup
Synt\t:text Please name a city.\t:bargein true\t:timeout 5
ask:
Synt\t:text Say it again.\t:bargein false\t:timeout 5
NewGroup\t
LoadGroup
ask:
)" + kApologyLine + "\nKoniec dialogu\n"},
        // A DTMF menu: a key that no choice has is a no-match and the menu
        // is entered anew; the choice whose dtmf is the key is followed. Its
        // choice grammar is not heard in the next form. An utterance with a
        // quote reaches the script intact.
        Dialogue{"DtmfMenuFollowsTheChoiceOfTheKey",
                 "<menu id=\"main\" dtmf=\"true\">\n"
                 "<prompt>Press 1 for news, 2 for weather.</prompt>\n"
                 "<choice dtmf=\"1\" next=\"#news\">news</choice>\n"
                 "<choice dtmf=\"2\" next=\"#weather\">weather</choice>\n"
                 "</menu>\n"
                 "<form id=\"news\">\n<block>\n<prompt>News.</prompt>\n</block>\n</form>\n"
                 "<form id=\"weather\">\n<field name=\"day\">\n"
                 "<grammar src=\"days.bnf\" type=\"application/grammar+bnf\"/>\n"
                 "<prompt>Which day?</prompt>\n"
                 "<filled>\n<prompt>Sunny on <value expr=\"day\"/>.</prompt>\n</filled>\n"
                 "</field>\n</form>\n",
                 R"(reply GetDTMFch: => :DTMFchar 9
reply GetDTMFch: => :DTMFchar 2
reply ask: => :utt it's "monday"\t:conf 0.9\t:noinput 0\t:semantic 'monday')",
                 R"(NewGroup\t
AddGram\t:gramURI lang_resources/grammars/temp/GoTo#news.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\GoTo#news.dic
LoadGroup
Synt\t:text Press 1 for news, 2 for weather.\t:bargein false\t:timeout 5
GetDTMFch:
NewGroup\t
AddGram\t:gramURI lang_resources/grammars/temp/GoTo#news.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\GoTo#news.dic
LoadGroup
Synt\t:text Press 1 for news, 2 for weather.\t:bargein false\t:timeout 5
GetDTMFch:
NewGroup\t
AddGram\t:gramURI days.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\
LoadGroup
Synt\t:text Which day?\t:bargein true\t:timeout 5
ask:
Synt\t:text Sunny on monday.\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // A record item sends "Record:"; its variable's src plays as a clip.
        Dialogue{"RecordItemRecordsAndPlaysItsClip",
                 "<form id=\"msg\">\n"
                 "<record name=\"note\" maxtime=\"10s\" dtmfterm=\"true\">\n"
                 "<prompt>Speak after the tone.</prompt>\n</record>\n"
                 "<filled namelist=\"note\">\n<prompt><value expr=\"note\"/></prompt>\n</filled>\n"
                 "</form>\n",
                 "",
                 R"(Synt\t:text Speak after the tone.\t:bargein false\t:timeout 5
Record:\t:name note\t:maxtime 10s\t:dtmfterm true
inform:\t:src Recordings\\note.wav
Koniec dialogu
)"},
        // A document link's inline grammar matched: the link is followed.
        Dialogue{"DocumentLinkIsFollowed",
                 "<link next=\"#second\">\n<grammar type=\"application/grammar+bnf\">\n"
                 "second\n</grammar>\n</link>\n"
                 "<form id=\"first\">\n<field name=\"a\">\n<prompt>First?</prompt>\n</field>\n"
                 "</form>\n"
                 "<form id=\"second\">\n<block>\n<prompt>Second.</prompt>\n</block>\n</form>\n",
                 R"(reply ask: => :utt second\t:conf 0.9\t:noinput 0\t:semantic 'second')",
                 R"(NewGroup\t
AddGram\t:gramURI \t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\GoTo#second.dic
LoadGroup
Synt\t:text First?\t:bargein true\t:timeout 5
ask:
Synt\t:text Second.\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // The grammar of another form matched: that form is entered by jump
        // with the values.
        Dialogue{"OtherFormsGrammarEntersItWithTheValues",
                 "<form id=\"start\">\n<block>\n<goto next=\"#first\"/>\n</block>\n</form>\n"
                 "<form id=\"second\">\n"
                 "<grammar src=\"b.bnf\" type=\"application/grammar+bnf\" scope=\"document\"/>\n"
                 "<field name=\"b\">\n<prompt>Second?</prompt>\n</field>\n"
                 "<filled namelist=\"b\">\n<prompt>Got <value expr=\"b\"/>.</prompt>\n</filled>\n"
                 "</form>\n"
                 "<form id=\"first\">\n<grammar src=\"a.bnf\" type=\"application/grammar+bnf\"/>\n"
                 "<field name=\"a\">\n<prompt>First?</prompt>\n</field>\n</form>\n",
                 R"(reply ask: => :utt x\t:conf 0.9\t:noinput 0\t:semantic ({b:'x'}))",
                 R"(NewGroup\t
AddGram\t:gramURI b.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\
AddGram\t:gramURI a.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\
LoadGroup
Synt\t:text First?\t:bargein true\t:timeout 5
ask:
Synt\t:text Got x.\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // An initial whose form-level grammar fills both fields in one turn.
        Dialogue{"InitialFillsTheFormInOneTurn", kTripForm,
                 R"(reply ask: => :utt Paris on monday\t:conf 0.9\t:noinput 0\t:semantic ({city:'Paris', day:'monday'}))",
                 R"(NewGroup\t
AddGram\t:gramURI trip.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\
LoadGroup
Synt\t:text Where and when?\t:bargein true\t:timeout 5
ask:
Synt\t:text Paris on monday\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // The same form in two turns: the second answer keeps the first.
        Dialogue{"InitialAndFieldFillTheFormInTwoTurns", kTripForm,
                 R"(reply ask: => :utt Paris\t:conf 0.9\t:noinput 0\t:semantic ({city:'Paris', day:''})
reply ask: => :utt monday\t:conf 0.9\t:noinput 0\t:semantic ({day:'monday'}))",
                 R"(NewGroup\t
AddGram\t:gramURI trip.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\
LoadGroup
Synt\t:text Where and when?\t:bargein true\t:timeout 5
ask:
NewGroup\t
AddGram\t:gramURI trip.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\
LoadGroup
Synt\t:text Which day?\t:bargein true\t:timeout 5
ask:
Synt\t:text Paris on monday\t:bargein false\t:timeout 5
Koniec dialogu
)"}),
    [](const ::testing::TestParamInfo<Dialogue>& info) { return info.param.name; });

// The field's turn leaves its traces in the logs and its shadow variable.
TEST_F(InputTurnTest, AcceptedAnswerIsLoggedAndKeptInTheShadowVariable) {
  WriteDocument("start.vxml",
                "<form id=\"order\">\n<field name=\"city\">\n"
                "<grammar src=\"cities.bnf\" type=\"application/grammar+bnf\"/>\n"
                "<prompt>Which city?</prompt>\n</field>\n</form>\n");
  Play(PeerScript::Parse(R"(reply ask: => :utt Paris\t:conf 0.85\t:noinput 0\t:semantic 'Paris')"));
  EXPECT_TRUE(InOrder(mainLog_, {"Visited field :city", "Prompt selection algorithm",
                                 "\t\t\tSYSTEM: Which city?", "\t\t\tUSER: Paris",
                                 "Invoking function ReturnSemantic", "ReturnSemFromGr",
                                 "cities.bnf", "BNF format", "PostSemanticProcessing started",
                                 "Semantic interpretation: Paris"}));
  EXPECT_TRUE(InOrder(dialogLog_, {"SYSTEM: Which city?", "USER: Paris", "(Paris)"}));
  EXPECT_TRUE(InOrder(ScriptLog(), {"dialog.city$ = new Object()",
                                    "dialog.city$.utterance = \"Paris\"",
                                    "dialog.city$.confidence = 0.850000",
                                    "dialog.city$.inputmode =\"voice\"", "SmResult.city='Paris'",
                                    "dialog.city=SmResult.city"}));
}

// ---------------------------------------------------------------------------
// Handler and prompt selection: which handler or prompt speaks after each
// answer. Answers: i = no input, n = no match, h = help, y = accepted.

struct Selection {
  const char* name;
  std::string root;   // markup under <vxml> before the form
  std::string form;   // markup in the form before the field
  std::string field;  // markup in the field after its grammar
  std::string answers;
  Strings heard;
};

void PrintTo(const Selection& row, std::ostream* os) { *os << row.name; }

class SelectionTest : public InputTurnTest, public ::testing::WithParamInterface<Selection> {};

TEST_P(SelectionTest, SpeaksTheChosenHandlersAndPrompts) {
  const Selection& row = GetParam();
  WriteDocument("start.vxml", row.root + "<form id=\"f\">\n" + row.form +
                                  "<field name=\"answer\">\n"
                                  "<grammar src=\"yes.bnf\" type=\"application/grammar+bnf\"/>\n" +
                                  row.field + "</field>\n</form>\n");
  PeerScript script;
  for (char answer : row.answers) {
    const char* reply = answer == 'i'   ? ":utt \t:conf 0\t:noinput 1\t:semantic "
                        : answer == 'n' ? ":utt no\t:conf 0.3\t:noinput 0\t:semantic x"
                        : answer == 'h' ? ":utt help\t:conf 0.9\t:noinput 0\t:semantic help"
                                        : ":utt yes\t:conf 0.9\t:noinput 0\t:semantic 'yes'";
    script.rules.push_back({"ask:", std::string(reply)});
  }
  Strings heard;
  for (const std::string& text : Heard(Play(script))) {
    if (text.find('\t') == std::string::npos && text != "ask:" && text != "LoadGroup") {
      heard.push_back(text);
    }
  }
  EXPECT_EQ(heard, row.heard);
}

const std::string kQ = "<prompt>Q</prompt>\n";
std::string Handler(const std::string& tag, const std::string& attributes,
                    const std::string& text) {
  return "<" + tag + attributes + ">\n<prompt>" + text + "</prompt>\n</" + tag + ">\n";
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelectionTest,
    ::testing::Values(
        Selection{"CountEqualToTheEventsWinsElseTheLast", "", "",
                  kQ + Handler("nomatch", " count=\"1\"", "one") +
                      Handler("nomatch", " count=\"2\"", "two"),
                  "nnny", {"Q", "one", "two", "two", "Koniec dialogu"}},
        Selection{"NoExactCountTakesTheLastCandidate", "", "",
                  kQ + Handler("nomatch", " count=\"1\"", "one") +
                      Handler("nomatch", " count=\"3\"", "three"),
                  "nny", {"Q", "one", "three", "Koniec dialogu"}},
        Selection{"CatchNamingBothEventsHandlesBoth", "", "",
                  kQ + Handler("catch", " event=\"nomatch noinput\"", "caught"), "iny",
                  {"Q", "caught", "caught", "Koniec dialogu"}},
        Selection{"OnlyCatchesNamingTheEventAreCandidates", "", "",
                  kQ + Handler("catch", " event=\"noinput\"", "silence") +
                      Handler("catch", " event=\"nomatch\"", "mismatch"),
                  "ny", {"Q", "mismatch", "Koniec dialogu"}},
        Selection{"FalseConditionsPassTheSearchOn", "", Handler("nomatch", "", "form"),
                  kQ + Handler("nomatch", " cond=\"1 == 2\"", "item"), "ny",
                  {"Q", "form", "Koniec dialogu"}},
        Selection{"ItemThenFormThenDocument", Handler("help", "", "root help"),
                  Handler("nomatch", "", "form nomatch") + Handler("help", " cond=\"false\"", "no"),
                  kQ + Handler("noinput", "", "item noinput"), "inhy",
                  {"Q", "item noinput", "form nomatch", "root help", "Koniec dialogu"}},
        Selection{"NoHandlerPlaysThePromptAgain", "", "", kQ, "niy",
                  {"Q", "Q", "Q", "Koniec dialogu"}},
        Selection{"PromptsByCount", "", "",
                  "<prompt count=\"1\">first</prompt>\n<prompt count=\"2\">second</prompt>\n",
                  "nny", {"first", "second", "second", "Koniec dialogu"}},
        Selection{"PromptWithFalseConditionIsNeverPlayed", "", "",
                  "<prompt cond=\"false\">never</prompt>\n" + kQ, "ny",
                  {"Q", "Q", "Koniec dialogu"}},
        Selection{"OnlyPromptFalsePlaysNothing", "", "", "<prompt cond=\"false\">never</prompt>\n",
                  "y", {"Koniec dialogu"}}),
    [](const ::testing::TestParamInfo<Selection>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Hang-up: "End" in reply to any request of a dialogue with every kind of
// input turn ends it at once with "Koniec dialogu".

const char kEveryTurn[] =
    "<form id=\"f\">\n"
    "<grammar src=\"trip.bnf\" type=\"application/grammar+bnf\"/>\n"
    "<initial name=\"start\">\n<prompt>Where?</prompt>\n</initial>\n"
    "<field name=\"city\">\n</field>\n"
    "<record name=\"note\">\n<prompt>Speak.</prompt>\n</record>\n"
    "<block>\n<prompt>Thanks.</prompt>\n<goto next=\"#m\"/>\n</block>\n"
    "</form>\n"
    "<menu id=\"m\" dtmf=\"true\">\n<prompt>Press 1.</prompt>\n"
    "<choice dtmf=\"1\" next=\"#end\">end</choice>\n</menu>\n"
    "<form id=\"end\">\n<field name=\"day\">\n"
    "<grammar src=\"days.bnf\" type=\"application/grammar+bnf\"/>\n"
    "<prompt>Which day?</prompt>\n<filled>\n<prompt>Bye.</prompt>\n</filled>\n</field>\n</form>\n";

// Each request of the whole dialogue and its reply.
const std::vector<std::pair<std::string, std::string>> kEveryTurnRequests = {
    {"NewGroup\t", "OK"},
    {"AddGram\t:gramURI trip.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\", "OK"},
    {"LoadGroup", "OK"},
    {"Synt\t:text Where?\t:bargein true\t:timeout 5", "OK"},
    {"ask:", ":utt Paris\t:conf 0.9\t:noinput 0\t:semantic ({city:'Paris'})"},
    {"Synt\t:text Speak.\t:bargein false\t:timeout 5", "OK"},
    {"Record:\t:name note\t:maxtime \t:dtmfterm ", "OK"},
    {"Synt\t:text Thanks.\t:bargein false\t:timeout 5", "OK"},
    {"NewGroup\t", "OK"},
    {"AddGram\t:gramURI lang_resources/grammars/temp/GoTo#end.bnf\t:gramTYPE bnf\t:loc_DICT "
     "lang_resources\\Dictionaries\\GoTo#end.dic",
     "OK"},
    {"LoadGroup", "OK"},
    {"Synt\t:text Press 1.\t:bargein false\t:timeout 5", "OK"},
    {"GetDTMFch:", ":DTMFchar 1"},
    {"NewGroup\t", "OK"},
    {"AddGram\t:gramURI days.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\", "OK"},
    {"LoadGroup", "OK"},
    {"Synt\t:text Which day?\t:bargein true\t:timeout 5", "OK"},
    {"ask:", ":utt monday\t:conf 0.9\t:noinput 0\t:semantic 'monday'"},
    {"Synt\t:text Bye.\t:bargein false\t:timeout 5", "OK"},
};

class HangUpTurnTest : public InputTurnTest, public ::testing::WithParamInterface<int> {};

TEST_P(HangUpTurnTest, EndEndsTheDialogueAtThatRequest) {
  WriteDocument("start.vxml", kEveryTurn);
  const int hangUp = GetParam();  // the request answered "End"; past the end: none
  PeerScript script;
  Strings expected;
  for (int i = 0; i < static_cast<int>(kEveryTurnRequests.size()); ++i) {
    script.rules.push_back(
        {kEveryTurnRequests[i].first, i == hangUp ? "End" : kEveryTurnRequests[i].second});
    if (i <= hangUp) expected.push_back(kEveryTurnRequests[i].first);
  }
  expected.push_back("Koniec dialogu");
  EXPECT_EQ(Transcript(Play(script)), Transcript(expected));
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, HangUpTurnTest,
                         ::testing::Range(0, static_cast<int>(kEveryTurnRequests.size()) + 1));

}  // namespace
}  // namespace interpretertest
