// Whole dialogues of input turns (fields, menus, initials, records, events)
// played against the scripted peer as the server plays them from "Begin" to
// "Koniec dialogu": every message the server sends is pinned in order.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "ecmascript_engine/Mavette.h"
#include "interpreter/common/PeerLink.h"
#include "interpreter/executors/CurrentDocument.h"
#include "interpreter/server/DialogSession.h"
#include "interpreter/server/InterpreterDialogue.h"
#include "speech_resources/SpeechTexts.h"
#include "tests/interpreter/executors/InterpreterTestSupport.h"
#include "tests/speech_resources/GrammarTestTrees.h"
#include "tests/support/ScriptedPeerLink.h"

namespace interpretertest {
namespace {

using Strings = std::vector<std::string>;
using testsupport::PeerScript;
using grammartest::srgs::Inline;
using grammartest::srgs::Item;
using grammartest::srgs::OneOf;
using grammartest::srgs::Ref;
using grammartest::srgs::Rule;
using testsupport::ReadFile;

// The scripted peer, except that it answers "End" to the request with the
// given index (counted from 0), as a caller who hangs up then.
class HangUpAt : public PeerLink {
 public:
  HangUpAt(PeerLink& peer, int request) : peer_(peer), request_(request) {}
  void Send(const std::string& text) override {
    ++sent_;
    peer_.Send(text);
  }
  bool TrySend(const std::string& text) override {
    ++sent_;
    return peer_.TrySend(text);
  }
  std::string Receive() override {
    std::string reply = peer_.Receive();
    return sent_ == request_ + 1 ? kHangUpReply : reply;
  }
  bool Closed() const override { return peer_.Closed(); }

 private:
  PeerLink& peer_;
  int request_;
  int sent_ = 0;
};

class InputTurnTest : public InterpreterTest {
 protected:
  // Runs start.vxml as the server does at "Begin" and returns what it sent.
  Strings Play(const PeerScript& script, int hangUpAt = -1) {
    testsupport::ScriptedPeerLink scripted(script);
    HangUpAt peer(scripted, hangUpAt);
    quorvane::SetCurrentDocument("start.vxml");
    DialogSession session(peer, InterpreterDialogue::Factory(peer));
    session.Begin();
    session.StartDialog();
    session.EndDialogue();
    return scripted.Sent();
  }

  // The messages escaped, one per line.
  static std::string Transcript(const Strings& sent) {
    std::string text;
    for (const std::string& message : sent) text += testsupport::Escape(message) + "\n";
    return text;
  }

  std::string ScriptLog() const { return ReadFile("Quorvane/ecmalog.txt"); }
};

// ---------------------------------------------------------------------------
// Transcripts.

struct Dialogue {
  const char* name;
  std::string document;    // the body of start.vxml
  std::string peer;        // the peer script
  std::string transcript;  // the messages sent, escaped, one per line
  Strings scriptLog = {};  // commands the script log holds in this order
};

class DialogueTest : public InputTurnTest, public ::testing::WithParamInterface<Dialogue> {};

TEST_P(DialogueTest, SendsTheTranscript) {
  WriteDocument("start.vxml", GetParam().document);
  EXPECT_EQ(Transcript(Play(PeerScript::Parse(GetParam().peer))), GetParam().transcript);
  EXPECT_EQ(CountOf(ScriptLog(), "ERROR"), 0) << ScriptLog();
  EXPECT_TRUE(InOrder(ScriptLog(), GetParam().scriptLog));
}

// "End" in reply to any request ends the dialogue there with "Koniec dialogu"
// (the grammar announcements of the turn still go out).
TEST_P(DialogueTest, EndInReplyToAnyRequestEndsTheDialogue) {
  WriteDocument("start.vxml", GetParam().document);
  Strings lines;
  std::istringstream full(GetParam().transcript);
  for (std::string line; std::getline(full, line);) lines.push_back(line);
  for (std::size_t request = 0; request + 1 < lines.size(); ++request) {
    std::size_t last = request;
    while (lines[last].rfind("AddGram", 0) == 0 && lines[last + 1].rfind("AddGram", 0) == 0) ++last;
    std::string expected;
    for (std::size_t line = 0; line <= last; ++line) expected += lines[line] + "\n";
    EXPECT_EQ(Transcript(Play(PeerScript::Parse(GetParam().peer), request)),
              expected + "Koniec dialogu\n")
        << "End at request " << request;
  }
}

// The grammar set-up of a turn with one grammar, as the transcript shows it
// (no line end after "LoadGroup"), after the announcements `before`.
std::string SetUp(const std::string& uri, const std::string& dictionary = "",
                  const std::string& before = "") {
  return "NewGroup\\t\n" + before + "AddGram\\t:gramURI " + uri +
         "\\t:gramTYPE bnf\\t:loc_DICT lang_resources\\\\Dictionaries\\\\" + dictionary +
         "\nLoadGroup";
}

const std::string kNewsMenuSetUp =
    SetUp("lang_resources/grammars/temp/GoTo#news.bnf", "GoTo#news.dic");

const std::string kTripForm =
    "<form id=\"trip\">\n"
    "<grammar src=\"trip.bnf\" type=\"application/grammar+bnf\"/>\n"
    "<initial name=\"start\">\n<prompt>Where and when?</prompt>\n</initial>\n"
    "<field name=\"city\">\n<prompt>Which city?</prompt>\n</field>\n"
    "<field name=\"day\">\n<prompt>Which day?</prompt>\n</field>\n"
    "<field name=\"hour\">\n<prompt>At what time?</prompt>\n</field>\n"
    "<filled namelist=\"city day hour\">\n<prompt><value expr=\"city\"/> on "
    "<value expr=\"day\"/> at <value expr=\"hour\"/></prompt>\n</filled>\n"
    "</form>\n";

// A DTMF menu in a document whose form holds a document-scope BNF grammar:
// any key matches that grammar and leads to the form.
const std::string kKeyMenu =
    "<var name=\"pwned\" expr=\"'no'\"/>\n"
    "<menu dtmf=\"true\">\n<prompt>Press 1 for news.</prompt>\n"
    "<choice dtmf=\"1\" next=\"#news\">news</choice>\n</menu>\n"
    "<form id=\"news\">\n"
    "<grammar src=\"keys.bnf\" type=\"application/grammar+bnf\" scope=\"document\"/>\n"
    "<block>\n<prompt>News <value expr=\"pwned\"/>.</prompt>\n</block>\n</form>\n";
const std::string kKeyMenuTranscript =
    SetUp("lang_resources/grammars/temp/GoTo#news.bnf", "GoTo#news.dic",
          "AddGram\\t:gramURI keys.bnf\\t:gramTYPE bnf\\t:loc_DICT "
          "lang_resources\\\\Dictionaries\\\\\n") +
    R"(
Synt\t:text Press 1 for news.\t:bargein false\t:timeout 5
GetDTMFch:
Synt\t:text News no.\t:bargein false\t:timeout 5
Koniec dialogu
)";

const std::string kTemp = "lang_resources/grammars/temp/";
// A link under <vxml> whose inline grammar hears "operator".
const std::string kOperatorLink =
    "<link next=\"#operator\">\n" + Inline("op", Rule("op", Item("operator"))) + "</link>\n";
const std::string kOperatorSetUp = "AddGram\\t:gramURI " + kTemp +
                                   "GoTo#operator.bnf\\t:gramTYPE bnf\\t:loc_DICT "
                                   "lang_resources\\\\Dictionaries\\\\GoTo#operator.dic\n";
std::string Field(const std::string& name, const std::string& body) {
  return "<field name=\"" + name + "\">\n" + body + "</field>\n";
}
std::string Ask(const std::string& utterance) {
  return "reply ask: => :utt " + utterance + "\\t:conf 0.9\\t:noinput 0\n";
}

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
                 SetUp("cities.bnf") + R"(
Synt\t:text Which city?\t:bargein true\t:timeout 5
ask:
Synt\t:text Going to Paris.\t:bargein false\t:timeout 5
Koniec dialogu
)",
                 {"dialog.city$ = new Object()", "dialog.city$.utterance = \"Paris\"",
                  "dialog.city$.confidence = 0.850000", "dialog.city$.inputmode =\"voice\"",
                  "SmResult.city='Paris'", "dialog.city=SmResult.city"}},
        // A confidence that is no number is a no-match, never a fill; the
        // plain answer after it fills the field.
        Dialogue{"ConfidenceThatIsNoNumberIsANoMatch",
                 "<form id=\"order\">\n<field name=\"city\">\n"
                 "<grammar src=\"cities.bnf\" type=\"application/grammar+bnf\"/>\n"
                 "<prompt>Which city?</prompt>\n"
                 "<filled>\n<prompt>Going to <value expr=\"city\"/>.</prompt>\n</filled>\n"
                 "</field>\n</form>\n",
                 R"(reply ask: => :utt Praha\t:conf nan\t:noinput 0\t:semantic 'Praha'
reply ask: => :utt Praha\t:conf 0.9\t:noinput 0\t:semantic 'Praha')",
                 SetUp("cities.bnf") + "\nSynt\\t:text Which city?\\t:bargein true\\t:timeout 5\nask:\n" +
                     SetUp("cities.bnf") + R"(
Synt\t:text Which city?\t:bargein true\t:timeout 5
ask:
Synt\t:text Going to Praha.\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // A DTMF menu: a key that no choice has is a no-match, and the menu
        // (without a name) is entered anew; then the choice whose dtmf is the
        // key is followed. Its choice grammar is not heard in the next form.
        // An utterance with quotes reaches the script intact.
        Dialogue{"DtmfMenuFollowsTheChoiceOfTheKey",
                 "<menu dtmf=\"true\">\n"
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
                 kNewsMenuSetUp + R"(
Synt\t:text Press 1 for news, 2 for weather.\t:bargein false\t:timeout 5
GetDTMFch:
)" + kNewsMenuSetUp + R"(
Synt\t:text Press 1 for news, 2 for weather.\t:bargein false\t:timeout 5
GetDTMFch:
)" + SetUp("days.bnf") + R"(
Synt\t:text Which day?\t:bargein true\t:timeout 5
ask:
Synt\t:text Sunny on monday.\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // A key is data, even where a document's BNF grammar would take the
        // recogniser's semantic string as an expression: only an integer
        // stands as written.
        Dialogue{"DtmfKeyIsNeverRunAsScript", kKeyMenu,
                 "reply GetDTMFch: => :DTMFchar document.pwned='YES',1", kKeyMenuTranscript,
                 {"SmResult.form0='document.pwned=\\'YES\\',1'"}},
        Dialogue{"DtmfKeyThatQuitsIsAString", kKeyMenu, "reply GetDTMFch: => :DTMFchar quit()",
                 kKeyMenuTranscript, {"SmResult.form0='quit()'"}},
        Dialogue{"DtmfKeyThatIsAnIntegerIsANumber", kKeyMenu, "reply GetDTMFch: => :DTMFchar 12",
                 kKeyMenuTranscript, {"SmResult.form0=12"}},
        // Read in decimal: the engine would take 0777 for octal 511.
        Dialogue{"DtmfKeyWithLeadingZerosIsDecimal", kKeyMenu,
                 "reply GetDTMFch: => :DTMFchar 0777", kKeyMenuTranscript, {"SmResult.form0=777"}},
        Dialogue{"NegativeDtmfKeyWithLeadingZerosIsDecimal", kKeyMenu,
                 "reply GetDTMFch: => :DTMFchar -0010", kKeyMenuTranscript,
                 {"SmResult.form0=-10"}},
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
        // An initial whose form-level grammar fills two fields in one turn; the
        // answer to the third field keeps them.
        Dialogue{"InitialFillsTheFormWithTheFieldAfterIt", kTripForm,
                 R"(reply ask: => :utt Paris on monday\t:conf 0.9\t:noinput 0)"
                 R"(\t:semantic ({city:'Paris', day:'monday', hour:''})
reply ask: => :utt at nine\t:conf 0.9\t:noinput 0\t:semantic ({hour:'9'}))",
                 SetUp("trip.bnf") + R"(
Synt\t:text Where and when?\t:bargein true\t:timeout 5
ask:
)" + SetUp("trip.bnf") + R"(
Synt\t:text At what time?\t:bargein true\t:timeout 5
ask:
Synt\t:text Paris on monday at 9\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // An initial hears silence, then an answer below the confidence
        // threshold: one event each, its handler speaks, and the form is
        // filled only by the answer that follows.
        Dialogue{"InitialRaisesOneEventPerTurn",
                 std::string(kTripForm).replace(
                     kTripForm.find("</initial>"), 0,
                     "<noinput>\n<prompt>Silence.</prompt>\n</noinput>\n"
                     "<nomatch>\n<prompt>Again.</prompt>\n</nomatch>\n"),
                 R"(reply ask: => :utt \t:conf 0\t:noinput 1\t:semantic
reply ask: => :utt Paris\t:conf 0.3\t:noinput 0\t:semantic ({city:'Paris'})
reply ask: => :utt Rome on friday at ten\t:conf 0.9\t:noinput 0)"
                 R"(\t:semantic ({city:'Rome', day:'friday', hour:'10'}))",
                 SetUp("trip.bnf") + R"(
Synt\t:text Where and when?\t:bargein true\t:timeout 5
ask:
Synt\t:text Silence.\t:bargein false\t:timeout 5
)" + SetUp("trip.bnf") + R"(
ask:
Synt\t:text Again.\t:bargein false\t:timeout 5
)" + SetUp("trip.bnf") + R"(
ask:
Synt\t:text Rome on friday at 10\t:bargein false\t:timeout 5
Koniec dialogu
)"},
        // Inline SRGS field grammars: a two-word item, no match, the tag of an
        // item; the document's link grammar jumps away from a field.
        Dialogue{"SrgsFieldsAndADocumentLink",
                 kOperatorLink + "<form id=\"trip\">\n" +
                     Field("from", Inline("r", Rule("r", OneOf(Item("Rome") + Item("New York")))) +
                                       "<prompt>From where?</prompt>\n") +
                     Field("to", Inline("t", Rule("t", Item("London please", " tag=\"LON\""))) +
                                     "<nomatch>\n<prompt>Say a city.</prompt>\n</nomatch>\n") +
                     Field("seat", "<prompt>Which seat?</prompt>\n") +
                     "</form>\n<form id=\"operator\">\n<block>\n<prompt>Connecting.</prompt>\n"
                     "</block>\n</form>\n",
                 Ask("New York") + Ask("Berlin") + Ask("London please") + Ask("operator"),
                 SetUp(kTemp + "FieldLink_from.bnf", "FieldLink_from.dic", kOperatorSetUp) + R"(
Synt\t:text From where?\t:bargein true\t:timeout 5
ask:
)" + SetUp(kTemp + "FieldLink_to.bnf", "FieldLink_to.dic", kOperatorSetUp) + R"(
ask:
Synt\t:text Say a city.\t:bargein false\t:timeout 5
)" + SetUp(kTemp + "FieldLink_to.bnf", "FieldLink_to.dic", kOperatorSetUp) + R"(
ask:
NewGroup\t
)" + kOperatorSetUp + R"(LoadGroup
Synt\t:text Which seat?\t:bargein true\t:timeout 5
ask:
Synt\t:text Connecting.\t:bargein false\t:timeout 5
Koniec dialogu
)",
                 {"SmResult.from='New York'", "dialog.from=SmResult.from", "SmResult.to='LON'"}},
        // A spoken menu re-enters itself after a no-match and follows the
        // choice it heard; the form's grammar, whose rules are named like its
        // fields, fills one in each of two turns.
        Dialogue{"SpokenMenuAndAFormGrammar",
                 "<menu id=\"main\">\n<prompt>News or travel?</prompt>\n"
                 "<choice next=\"#news\">news</choice>\n<choice next=\"#trip\">travel</choice>\n"
                 "</menu>\n<form id=\"trip\">\n" +
                     Inline("trip", Rule("trip", Ref("city") + Ref("day")) +
                                        Rule("city", OneOf(Item("Paris") + Item("Rome"))) +
                                        Rule("day", OneOf(Item("Monday") + Item("Friday")))) +
                     Field("city", "<prompt>Which city?</prompt>\n") +
                     Field("day", "<prompt>Which day?</prompt>\n") + "</form>\n",
                 Ask("sports") + Ask("travel") + Ask("Rome") + Ask("Friday"),
                 kNewsMenuSetUp + R"(
Synt\t:text News or travel?\t:bargein false\t:timeout 5
ask:
)" + kNewsMenuSetUp + R"(
Synt\t:text News or travel?\t:bargein false\t:timeout 5
ask:
)" + SetUp(kTemp + "FormLink_trip.bnf", "FormLink_trip.dic") + R"(
Synt\t:text Which city?\t:bargein true\t:timeout 5
ask:
)" + SetUp(kTemp + "FormLink_trip.bnf", "FormLink_trip.dic") + R"(
Synt\t:text Which day?\t:bargein true\t:timeout 5
ask:
Koniec dialogu
)",
                 {"SmResult.choice2='travel'", "SmResult.form0.city+='Rome'",
                  "SmResult.form0.day+='Friday'"}},
        // A grammar without "root" is matched by its first rule, as its BNF
        // file is written; a rule id that is no identifier names a quoted key.
        Dialogue{"SrgsRootByFirstRuleAndQuotedRuleIds",
                 "<form id=\"paint\">\n" +
                     Field("color",
                           "<grammar type=\"application/grammar+xml\">\n" +
                               Rule("color", OneOf(Item("red") + Item("blue"))) + "</grammar>\n" +
                               "<filled>\n<prompt>Painting it <value expr=\"color\"/>.</prompt>\n"
                               "</filled>\n") +
                     Field("to", Inline("to", Rule("to", Ref("city-name")) +
                                                  Rule("city-name", Item("Paris", " tag=\"PAR\""))) +
                                     "<filled>\n<prompt>Going to <value expr=\"to['city-name']\"/>."
                                     "</prompt>\n</filled>\n") +
                     "</form>\n",
                 Ask("red") + Ask("Paris"),
                 SetUp(kTemp + "FieldLink_color.bnf", "FieldLink_color.dic") + R"(
ask:
Synt\t:text Painting it red.\t:bargein false\t:timeout 5
)" + SetUp(kTemp + "FieldLink_to.bnf", "FieldLink_to.dic") + R"(
ask:
Synt\t:text Going to PAR.\t:bargein false\t:timeout 5
Koniec dialogu
)",
                 {"SmResult.color = new Object()", "SmResult.color='red'",
                  "SmResult.to[\"city-name\"] ='';", "SmResult.to[\"city-name\"]+='PAR'"}},
        // A grammar that only "srcexpr" names is never fetched: nothing of it
        // is announced.
        Dialogue{"GrammarNamedBySrcexprIsNotAnnounced",
                 "<form id=\"order\">\n<field name=\"city\">\n"
                 "<grammar src=\"cities.bnf\" type=\"application/grammar+bnf\"/>\n"
                 "<grammar srcexpr=\"'more' + '.bnf'\"/>\n<prompt>Which city?</prompt>\n"
                 "</field>\n</form>\n",
                 R"(reply ask: => :utt Paris\t:conf 0.85\t:noinput 0\t:semantic 'Paris')",
                 SetUp("cities.bnf") + R"(
Synt\t:text Which city?\t:bargein true\t:timeout 5
ask:
Koniec dialogu
)"},
        // A field whose only grammar is named by "srcexpr" is never filled:
        // here the answer is a no-match, turn after turn.
        Dialogue{"FieldOfAnUnreadGrammarIsNeverFilled",
                 "<form id=\"order\">\n<field name=\"city\">\n"
                 "<grammar srcexpr=\"'cities' + '.bnf'\"/>\n<prompt>Which city?</prompt>\n"
                 "<nomatch><prompt>Pardon?</prompt></nomatch>\n"
                 "<filled>\n<prompt>Going to <value expr=\"city\"/>.</prompt>\n</filled>\n"
                 "</field>\n</form>\n",
                 Ask("Paris\\t:semantic 'Paris'") + Ask("Paris\\t:semantic 'Paris'") +
                     "hangup ask:",
                 R"(NewGroup\t
LoadGroup
Synt\t:text Which city?\t:bargein true\t:timeout 5
ask:
Synt\t:text Pardon?\t:bargein false\t:timeout 5
NewGroup\t
LoadGroup
ask:
Synt\t:text Pardon?\t:bargein false\t:timeout 5
NewGroup\t
LoadGroup
ask:
)"},
        // The caller's answer, shown as a choice, is listed by <enumerate/> as
        // the text it is: its markup neither runs nor plays.
        Dialogue{"EnumeratedAnswerIsSpokenAsText",
                 "<var name=\"pet\"/>\n<form id=\"ask\">\n<field name=\"pet\">\n"
                 "<grammar src=\"pets.bnf\" type=\"application/grammar+bnf\"/>\n"
                 "<prompt>Which pet?</prompt>\n<filled>\n"
                 "<assign name=\"document.pet\" expr=\"pet\"/>\n<goto next=\"#pick\"/>\n"
                 "</filled>\n</field>\n</form>\n<menu id=\"pick\">\n"
                 "<prompt>Say <enumerate/></prompt>\n"
                 "<choice next=\"#ask\">\n<value expr=\"document.pet\"/>\n</choice>\n"
                 "<choice next=\"#bye\">dog</choice>\n</menu>\n"
                 "<form id=\"bye\">\n<block>\n<prompt>Bye.</prompt>\n</block>\n</form>\n",
                 R"(reply ask: => :utt cat\t:conf 0.9\t:noinput 0)"
                 R"(\t:semantic '<audio src="x.wav"/><value expr="document.hit=1"/>'
)" + Ask("dog"),
                 SetUp("pets.bnf") + R"(
Synt\t:text Which pet?\t:bargein true\t:timeout 5
ask:
)" + SetUp(kTemp + "GoTo#ask.bnf", "GoTo#ask.dic") + R"(
Synt\t:text Say <audio src="x.wav"/><value expr="document.hit=1"/>, dog  \t:bargein false\t:timeout 5
ask:
Synt\t:text Bye.\t:bargein false\t:timeout 5
Koniec dialogu
)"}),
    [](const ::testing::TestParamInfo<Dialogue>& info) { return info.param.name; });

// A dialogue whose scripts never end asks the peer nothing: the tenth script
// stopped for its time ends it, long before the passes of the select phase
// would (each pass takes the engine's whole time limit).
TEST_F(InputTurnTest, ScriptsStoppedForTheirTimeEndTheDialogue) {
  WriteDocument("start.vxml", "<form id=\"loop\">\n<block>\n<script>while (true) {}</script>\n"
                              "<goto next=\"#loop\"/>\n</block>\n</form>\n");
  EEsetTimeLimit(5);
  const Strings sent = Play(PeerScript());
  EEsetTimeLimit(10000);
  EXPECT_EQ(Transcript(sent), "Koniec dialogu\n");
  std::string log;  // the main log, archived at the end of the dialogue
  for (const auto& entry : std::filesystem::directory_iterator("log_data")) {
    if (entry.path().extension() == ".log") log += ReadFile(entry.path().string());
  }
  EXPECT_EQ(CountOf(log, "ERROR :10 scripts were stopped for running too long with no request "
                         "to the peer: the dialogue ends"), 1);
  // Another command stopped now and then on a busy machine ends it sooner.
  EXPECT_LE(CountOf(log, "Run FIA algoritm."), 10);
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
  for (const std::string& text : Spoken(Play(script))) {
    if (text != "ask:") heard.push_back(text);
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
        // No input and no match count together, help does not; the fifth
        // counted event speaks the apology and ends the call.
        Selection{"FifthCountedEventEndsTheCall", Handler("help", "", "root help"),
                  "<noinput>\n<prompt>form noinput</prompt>\n<reprompt/>\n</noinput>\n",
                  "<prompt count=\"1\">first</prompt>\n<prompt count=\"2\">second</prompt>\n" +
                      Handler("nomatch", "", "item nomatch"),
                  "ihninn",
                  {"first", "form noinput", "second", "root help", "item nomatch", "form noinput",
                   "second", "item nomatch", speechtexts::kApology, "Koniec dialogu"}},
        Selection{"OnlyPromptFalsePlaysNothing", "", "", "<prompt cond=\"false\">never</prompt>\n",
                  "y", {"Koniec dialogu"}},
        Selection{"PromptWhoseConditionFailsPassesTheSearchOn", "", "",
                  "<prompt cond=\"(\">bad</prompt>\n" + kQ, "y", {"Q", "Koniec dialogu"}}),
    [](const ::testing::TestParamInfo<Selection>& info) { return info.param.name; });

}  // namespace
}  // namespace interpretertest
