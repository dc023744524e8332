#include "speech_resources/PromptPlayer.h"

#include <gtest/gtest.h>

#include "interpreter/document/Element.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"
#include "tests/speech_resources/SpeechTestSupport.h"
#include "tests/support/CaptureStdout.h"
#include "tests/support/FakePeerLink.h"

namespace {

using speechtest::LogFile;
using speechtest::SharedScopes;
using testsupport::CaptureStdout;
using testsupport::FakePeerLink;

Element* MakeElement(const std::string& tag, const std::string& source,
                     std::vector<Attribute> attributes = {}) {
  return NewElement(Element(tag, "anonymous", source, std::move(attributes)));
}

// A prompt element whose content is `body`, as the line parser leaves it.
Element* MakePrompt(const std::string& body, std::vector<Attribute> attributes = {}) {
  return MakeElement("prompt", "<prompt>" + body + "</prompt>", std::move(attributes));
}

Element* MakeItem(const std::string& tag, std::vector<Element*> children = {}) {
  Element* item = MakeElement(tag, "<" + tag + " name=\"x\">", {{"name", "x"}});
  for (Element* child : children) item->AppendChild(child);
  return item;
}

std::string Synt(const std::string& text, const std::string& bargein = "true",
                 const std::string& timeout = "5") {
  return "Synt\t:text " + text + "\t:bargein " + bargein + "\t:timeout " + timeout;
}

class PromptPlayerTest : public testsupport::TempDirTest {
 protected:
  PromptPlayerTest() { scopes_.CreateDocumentScopes(); }

  // Runs a script command (no expansion) that must succeed.
  void Script(const std::string& command) {
    ASSERT_EQ(0, scopes_.ExecuteCommand(command, nullptr, false)) << command;
  }
  // Plays the prompt of the item with stdout captured; returns the console.
  std::string Play(Element* prompt, Element* item) {
    CaptureStdout out;
    player_.PlayPrompt(prompt, nullptr, item);
    return out.Take();
  }

  EcmaScopes& scopes_ = SharedScopes();
  LogFile mainLog_{"main.txt"};
  LogFile dialogLog_{"dialog.txt"};
  FakePeerLink peer_;
  PromptPlayer player_{mainLog_.get(), dialogLog_.get(), &scopes_, peer_};
};

// Barge-in and time-out of the "Synt" message.
struct SyntCase {
  const char* name;
  std::string itemTag;
  std::vector<Attribute> attributes;
  std::string expected;
};

class SyntTest : public PromptPlayerTest, public ::testing::WithParamInterface<SyntCase> {};

TEST_P(SyntTest, SendsTheExactMessage) {
  Element* item = MakeItem(GetParam().itemTag);
  Element* prompt = MakePrompt("Hello there", GetParam().attributes);
  item->AppendChild(prompt);
  EXPECT_EQ("SYSTEM: Hello there\n", Play(prompt, item));
  EXPECT_EQ(std::vector<std::string>{GetParam().expected}, peer_.Sent());
  EXPECT_EQ(1, peer_.ReceiveCount());
  EXPECT_EQ(2, item->promptCounter);
  EXPECT_FALSE(player_.HangUp());
  EXPECT_EQ("\nMESSAGE 0 : \t\t\tSYSTEM: Hello there", mainLog_.Text());
  EXPECT_EQ("\nMESSAGE 0 : SYSTEM: Hello there", dialogLog_.Text());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SyntTest,
    ::testing::Values(
        SyntCase{"field_default", "field", {}, Synt("Hello there")},
        SyntCase{"field_bargein_false", "field", {{"bargein", "false"}},
                 Synt("Hello there", "false")},
        SyntCase{"field_bargein_other_value", "field", {{"bargein", "no"}}, Synt("Hello there")},
        SyntCase{"initial_default", "initial", {}, Synt("Hello there")},
        SyntCase{"block_bargein_true", "block", {{"bargein", "true"}},
                 Synt("Hello there", "false")},
        SyntCase{"menu_default", "menu", {}, Synt("Hello there", "false")},
        SyntCase{"if_default", "if", {}, Synt("Hello there", "false")},
        SyntCase{"timeout_kept_as_written", "field", {{"timeout", "10s"}},
                 Synt("Hello there", "true", "10s")},
        SyntCase{"empty_timeout_is_default", "field", {{"timeout", ""}}, Synt("Hello there")},
        SyntCase{"all_attributes", "field",
                 {{"cond", "true"}, {"bargein", "false"}, {"timeout", "3s"}},
                 Synt("Hello there", "false", "3s")}),
    [](const auto& info) { return std::string(info.param.name); });

// A prompt plays only when its "cond" is empty or gives exactly "true".
struct CondCase {
  const char* name;
  std::string cond;
  bool plays;
};

class CondTest : public PromptPlayerTest, public ::testing::WithParamInterface<CondCase> {};

TEST_P(CondTest, PlaysOnlyOnTrue) {
  Script("dialog.n = 2");
  Script("dialog.word = 'true'");
  Element* item = MakeItem("field");
  Element* prompt = MakePrompt("Hi", {{"cond", GetParam().cond}});
  const std::string console = Play(prompt, item);
  if (GetParam().plays) {
    EXPECT_EQ(std::vector<std::string>{Synt("Hi")}, peer_.Sent());
    EXPECT_EQ(2, item->promptCounter);
  } else {
    EXPECT_EQ("", console);
    EXPECT_TRUE(peer_.Sent().empty());
    EXPECT_EQ(0, peer_.ReceiveCount());
    EXPECT_EQ(1, item->promptCounter);
    EXPECT_EQ("", mainLog_.Text());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, CondTest,
    ::testing::Values(CondCase{"empty", "", true}, CondCase{"true", "true", true},
                      CondCase{"expanded_comparison", "n == 2", true},
                      CondCase{"string_true", "word", true},
                      CondCase{"false", "false", false}, CondCase{"comparison_false", "n == 3", false},
                      CondCase{"number_is_not_true", "1", false},
                      CondCase{"undefined_is_not_true", "undefined", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PromptPlayerTest, PromptedItemSendsNothing) {
  Element* item = MakeItem("field");
  item->prompted = 1;
  EXPECT_EQ("", Play(MakePrompt("Hi"), item));
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_EQ(1, item->promptCounter);
}

TEST_F(PromptPlayerTest, OnlyPromptElementsArePlayed) {
  Element* item = MakeItem("field");
  EXPECT_EQ("", Play(nullptr, item));
  EXPECT_EQ("", Play(MakeElement("audio", "<audio src=\"a.wav\"/>", {{"src", "a.wav"}}), item));
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_EQ(1, item->promptCounter);
}

// Text written directly in executable content that holds no words (only
// markup this player drops) is no prompt.
TEST_F(PromptPlayerTest, TextLineWithoutWordsSendsNothing) {
  Element* item = MakeItem("block");
  Play(MakeElement("PCDATA", "<log>note</log> <break time=\"1s\"/></PCDATA>"), item);
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_EQ(1, item->promptCounter);
  EXPECT_NE(std::string::npos,
            mainLog_.Text().find("\nERROR :PromptPlayer: <log> is not spoken: note\n"));
}

TEST_F(PromptPlayerTest, EndReplySetsHangUpAndKeepsTheCounter) {
  peer_.QueueReply("End");
  Element* item = MakeItem("field");
  Play(MakePrompt("Hi"), item);
  EXPECT_TRUE(player_.HangUp());
  EXPECT_EQ(1, item->promptCounter);
  // The flag stays set after a later prompt is answered.
  Play(MakePrompt("Again"), item);
  EXPECT_TRUE(player_.HangUp());
  EXPECT_EQ(2, item->promptCounter);
}

TEST_F(PromptPlayerTest, OverLongTextIsCutToFitTheMessage) {
  Element* item = MakeItem("field");
  Play(MakePrompt(std::string(12000, 'a')), item);
  ASSERT_EQ(1u, peer_.Sent().size());
  const std::string& sent = peer_.Sent()[0];
  EXPECT_EQ(PromptPlayer::kMaxSyntMessage, sent.size());
  EXPECT_EQ("\t:bargein true\t:timeout 5", sent.substr(sent.size() - 25));
  EXPECT_NE(std::string::npos,
            mainLog_.Text().find("\nERROR :PromptPlayer: the text " + std::string(40, 'a') +
                                 "... is cut from 12000 to 9963 characters to fit the message "
                                 "limit of 9999\n"));
}

// <enumerate/> becomes the item's choices.
TEST_F(PromptPlayerTest, EnumerateListsTheOptions) {
  Element* item = MakeItem("field", {MakePrompt("Say <enumerate/>"),
                                     MakeElement("option", "<option>red</option>"),
                                     MakeElement("filled", "<filled>"),
                                     MakeElement("option", "<option>green</option>")});
  EXPECT_EQ("SYSTEM: Say red, green  \n", Play(item->children[0], item));
  EXPECT_EQ(std::vector<std::string>{Synt("Say red, green  ")}, peer_.Sent());
}

TEST_F(PromptPlayerTest, EnumerateTemplateListsTheOptionsAndIsLogged) {
  Element* item = MakeItem("field", {MakePrompt("Say <enumerate>For <value expr=\"_prompt\"/>."
                                                "</enumerate> now"),
                                     MakeElement("option", "<option>red</option>")});
  Play(item->children[0], item);
  EXPECT_EQ(std::vector<std::string>{Synt("Say red   now")}, peer_.Sent());
  EXPECT_NE(std::string::npos, mainLog_.Text().find(
      "\nERROR :PromptPlayer: the template of <enumerate> is not used, the choices are listed "
      "instead: <enumerate>For <value expr=\"_prompt\"/>.</enumerate>\n"));
}

TEST_F(PromptPlayerTest, EnumerateWithoutChoicesGivesAnEmptyList) {
  Element* item = MakeItem("menu", {MakePrompt("Choose <enumerate/> now")});
  Play(item->children[0], item);
  EXPECT_EQ(std::vector<std::string>{Synt("Choose  now", "false")}, peer_.Sent());
}

TEST_F(PromptPlayerTest, EnumerateChoiceWithChildren) {
  Script("dialog.city = 'Praha'");
  // A value child sets the text until a text child is found.
  Element* first = MakeElement("choice", "<choice next=\"#a\">");
  first->AppendChild(MakeElement("value", "<value expr=\"city\"/>", {{"expr", "city"}}));
  Element* second = MakeElement("choice", "<choice next=\"#b\">");
  second->AppendChild(MakeElement("value", "<value expr=\"city\"/>", {{"expr", "city"}}));
  second->AppendChild(MakeElement("PCDATA", "Brno</PCDATA>"));
  second->AppendChild(MakeElement("value", "<value expr=\"city\"/>", {{"expr", "city"}}));
  Element* third = MakeElement("choice", "<choice next=\"#c\">");
  third->AppendChild(MakeElement("PCDATA", "Ostrava</PCDATA>"));
  third->AppendChild(MakeElement("audio", "<audio src=\"o.wav\"/>", {{"src", "o.wav"}}));
  Element* item = MakeItem("menu", {MakePrompt("<enumerate/>"), first, second, third});
  const std::string console = Play(item->children[0], item);
  EXPECT_EQ(std::vector<std::string>{Synt("Praha, Brno, Ostrava  ", "false")}, peer_.Sent());
  EXPECT_NE(std::string::npos, console.find("Audio in choice is not supported yet.\n"));
  EXPECT_NE(std::string::npos,
            mainLog_.Text().find("\nERROR :Audio in choice is not supported yet.\n"));
}

// What <enumerate/> lists for a menu's choices: each written as its source
// text, or, after "value:", as a choice whose one child is a <value> of that
// name. A choice's own markup is read; a value it shows is only text.
struct EnumerateCase {
  const char* name;
  std::vector<std::string> choices;
  std::string spoken;
};

class EnumerateTest : public PromptPlayerTest,
                      public ::testing::WithParamInterface<EnumerateCase> {};

TEST_P(EnumerateTest, ListsTheChoicesAfterTheMarkupIsRead) {
  Script("dialog.said = '<value expr=\"dialog.ran = 1\"/> <audio src=\"http://x/a.wav\"/> ' + "
         "String.fromCharCode(38) + 'amp;'");
  Script("dialog.ran = 0");
  Element* item = MakeItem("menu", {MakePrompt("Vyberte <enumerate/>")});
  for (const std::string& choice : GetParam().choices) {
    if (choice.rfind("value:", 0) != 0) {
      item->AppendChild(MakeElement("choice", choice));
      continue;
    }
    Element* shown = MakeElement("choice", "<choice next=\"#a\">");
    const std::string name = choice.substr(6);
    shown->AppendChild(MakeElement("value", "<value expr=\"" + name + "\"/>", {{"expr", name}}));
    item->AppendChild(shown);
  }
  Play(item->children[0], item);
  EXPECT_EQ(std::vector<std::string>{Synt(GetParam().spoken, "false")}, peer_.Sent());
  EXPECT_EQ("0", scopes_.GetValue("ran"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, EnumerateTest,
    ::testing::Values(
        EnumerateCase{"plain_choices", {"<choice>prvy</choice>", "<choice>druhy</choice>"},
                      "Vyberte prvy, druhy  "},
        EnumerateCase{"value_shown_by_a_choice_is_text",
                      {"value:said", "<choice>druhy</choice>"},
                      "Vyberte <value expr=\"dialog.ran = 1\"/> <audio src=\"http://x/a.wav\"/> "
                      "&amp;, druhy  "},
        EnumerateCase{"own_markup_of_a_choice_is_read",
                      {"<choice>R&amp;B <value expr=\"said\"/></choice>"},
                      "Vyberte R&B <value expr=\"dialog.ran = 1\"/> <audio "
                      "src=\"http://x/a.wav\"/> &amp;  "}),
    [](const auto& info) { return std::string(info.param.name); });

// <value expr="x"/> substitution.
struct ValueCase {
  const char* name;
  std::string script;  // run before the prompt
  std::string body;
  std::string spoken;
};

class ValueTest : public PromptPlayerTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueTest, ReplacesEachValueTag) {
  if (!GetParam().script.empty()) Script(GetParam().script);
  Element* item = MakeItem("field");
  Play(MakePrompt(GetParam().body), item);
  EXPECT_EQ(std::vector<std::string>{Synt(GetParam().spoken)}, peer_.Sent());
  EXPECT_EQ(2, item->promptCounter);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ValueTest,
    ::testing::Values(
        ValueCase{"one", "dialog.color = 'blue'", "It is <value expr=\"color\"/> today",
                  "It is blue today"},
        ValueCase{"two", "dialog.a = 'one'; dialog.b = 2",
                  "<value expr=\"a\"/> and <value expr=\"b\"/>", "one and 2"},
        ValueCase{"anonymous_scope", "anonymous.t = 'x'", "[<value expr=\"t\"/>]", "[x]"},
        ValueCase{"value_holding_a_value_tag", "dialog.v = '<value expr=\"v\"/>'",
                  "Say <value expr=\"v\"/> now", "Say <value expr=\"v\"/> now"},
        ValueCase{"unknown_name_is_empty", "", "a<value expr=\"nosuchname\"/>b", "ab"},
        ValueCase{"tag_without_expr_is_dropped", "", "a<value name=\"q\"/>b", "ab"},
        ValueCase{"unclosed_tag_is_kept", "dialog.c = 'z'",
                  "<value expr=\"c\"/> <value expr=\"c\"", "z <value expr=\"c\""},
        ValueCase{"expressions_are_run", "dialog.a = 17; dialog.city = 'Praha'",
                  "<value expr=\"a + 4\"/>, <value expr=\"city + ' ' + 'Dlouha'\"/>",
                  "21, Praha Dlouha"},
        ValueCase{"entities_decoded_in_text_not_in_values",
                  "dialog.v = 'R' + String.fromCharCode(38) + 'amp;D'",
                  "Fish &amp; chips &lt;3 &apos;<value expr=\"v\"/>&quot; &#233;&#x161;&#8364; "
                  "&#9731; &nbsp; & a",
                  "Fish & chips <3 'R&amp;D\" \xe9\x9a\x80 &#9731; &nbsp; & a"},  // "éš€"
        ValueCase{"unhandled_markup_dropped_text_kept", "",
                  "<s>One</s> <emphasis level=\"strong\">two</emphasis><break/> <sayas>3</sayas>",
                  "One two 3"},
        ValueCase{"pause_markup_leaves_a_blank_between_words", "dialog.c = 'z'",
                  "<s>One.</s><s>Two.</s><p>Three.</p>A<break time=\"1s\"/>B <break/> C"
                  "<break/><value expr=\"c\"/>",
                  "One. Two. Three. A B  C z"},
        ValueCase{"log_text_is_not_spoken", "dialog.c = 'z'",
                  "Hi <log>c is <value expr=\"c\"/></log>there<log expr=\"c\"/>", "Hi there"},
        ValueCase{"cdata_is_plain_text", "", "a <![CDATA[<b> &amp; <value expr=\"c\"/>]]> b",
                  "a <b> &amp; <value expr=\"c\"/> b"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PromptPlayerTest, ValueTypeIsShownOnTheConsole) {
  Script("dialog.color = 'blue'");
  Element* item = MakeItem("field");
  EXPECT_EQ("Variable type> string\nSYSTEM: It is blue\n",
            Play(MakePrompt("It is <value expr=\"color\"/>"), item));
}

TEST_F(PromptPlayerTest, ObjectValueWithSrcPlaysTheClip) {
  Script("dialog.clip = new Object(); dialog.clip.src = 'hello.wav'");
  Element* item = MakeItem("field");
  const std::string console = Play(MakePrompt("<value expr=\"clip\"/>"), item);
  EXPECT_EQ("Variable type> object\nNew value (src)hello.wav\nhello.wav\n", console);
  EXPECT_EQ(std::vector<std::string>{"inform:\t:src hello.wav"}, peer_.Sent());
  EXPECT_EQ(1, item->promptCounter);
  EXPECT_EQ("\nMESSAGE 0 : Playing audio clip hello.wav", mainLog_.Text());
  EXPECT_EQ("", dialogLog_.Text());
}

TEST_F(PromptPlayerTest, ObjectValueWithoutSrcIsSpoken) {
  Script("dialog.thing = new Object()");
  Element* item = MakeItem("field");
  const std::string console = Play(MakePrompt("It is <value expr=\"thing\"/>"), item);
  const std::string printed = scopes_.GetValue("thing");
  EXPECT_EQ("Variable type> object\nNew value (src)\nSYSTEM: It is " + printed + "\n", console);
  EXPECT_EQ(std::vector<std::string>{Synt("It is " + printed)}, peer_.Sent());
  EXPECT_EQ(2, item->promptCounter);
}

// A prompt with clips plays its pieces in order; a clip alone sends only
// its "inform:" and leaves the counter.
struct AudioCase {
  const char* name;
  std::string body;
  std::vector<std::string> sent;
  std::string console;
  int counter;
};

class AudioPromptTest : public PromptPlayerTest, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(AudioPromptTest, PlaysTextAndClipsInOrder) {
  Element* item = MakeItem("field");
  EXPECT_EQ(GetParam().console, Play(MakePrompt(GetParam().body), item));
  EXPECT_EQ(GetParam().sent, peer_.Sent());
  EXPECT_EQ(GetParam().counter, item->promptCounter);
  EXPECT_FALSE(player_.HangUp());
}

const char kUriError[] = "Error load an uri adress of audio prompt\n";

INSTANTIATE_TEST_SUITE_P(
    Table, AudioPromptTest,
    ::testing::Values(
        AudioCase{"clip_only", "<audio src=\"a/b.wav\"/>", {"inform:\t:src a/b.wav"}, "a/b.wav\n",
                  1},
        AudioCase{"clip_and_text", "<audio src=\"welcome.wav\"/> Welcome home",
                  {"inform:\t:src welcome.wav", Synt("Welcome home")},
                  "welcome.wav\nSYSTEM: Welcome home\n", 2},
        AudioCase{"text_and_two_clips",
                  "Hello <audio src=\"x.wav\"/> and <audio src=\"y.wav\">not this</audio>bye",
                  {Synt("Hello"), "inform:\t:src x.wav", Synt("and"), "inform:\t:src y.wav",
                   Synt("bye")},
                  "SYSTEM: Hello\nx.wav\nSYSTEM: and\ny.wav\nSYSTEM: bye\n", 2},
        AudioCase{"no_src", "<audio expr=\"clip\"/> text", {Synt("text")},
                  std::string(kUriError) + "SYSTEM: text\n", 2},
        AudioCase{"no_closing_quote", "<audio src=\"welcome.wav/>", {}, kUriError, 1},
        AudioCase{"empty_src", "<audio src=\"\"/>", {}, kUriError, 1},
        AudioCase{"mp3_is_only_announced", "<audio src=\"touch played.mp3\"/>",
                  {"inform:\t:src touch played.mp3"},
                  "touch played.mp3\nSYSTEM: (playing mp3 file)\n", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PromptPlayerTest, EndReplyEndsThePrompt) {
  peer_.QueueReply("End");
  Element* item = MakeItem("field");
  Play(MakePrompt("Hi <audio src=\"a.wav\"/> there"), item);
  EXPECT_EQ(std::vector<std::string>{Synt("Hi")}, peer_.Sent());
  EXPECT_TRUE(player_.HangUp());
  EXPECT_EQ(1, item->promptCounter);
}

TEST_F(PromptPlayerTest, Mp3ClipNeverReachesAShell) {
  CaptureStdout out;
  player_.PlayAudio("touch played.mp3; touch shell_ran");
  EXPECT_EQ("SYSTEM: (playing mp3 file)\n", out.Take());
  EXPECT_EQ(std::vector<std::string>{"inform:\t:src touch played.mp3; touch shell_ran"},
            peer_.Sent());
  EXPECT_FALSE(testsupport::FileExists("played.mp3"));
  EXPECT_FALSE(testsupport::FileExists("shell_ran"));
  EXPECT_EQ("\nMESSAGE 0 : Playing audio clip touch played.mp3; touch shell_ran", mainLog_.Text());
}

TEST_F(PromptPlayerTest, EndReplyToAClipIsAHangUp) {
  peer_.QueueReply("End");
  CaptureStdout out;
  player_.PlayAudio("a.wav");
  EXPECT_TRUE(player_.HangUp());
  out.Take();
}

TEST_F(PromptPlayerTest, EndReplyToAClipInAPromptIsAHangUp) {
  peer_.QueueReply("End");
  Element* item = MakeItem("field");
  Play(MakePrompt("<audio src=\"a.wav\"/>"), item);
  EXPECT_TRUE(player_.HangUp());
  EXPECT_EQ(1, item->promptCounter);
}

TEST_F(PromptPlayerTest, EndReplyToAnObjectClipIsAHangUp) {
  Script("dialog.clip = new Object(); dialog.clip.src = 'c.wav'");
  peer_.QueueReply("End");
  Play(MakePrompt("<value expr=\"clip\"/>"), MakeItem("field"));
  EXPECT_TRUE(player_.HangUp());
}

TEST_F(PromptPlayerTest, PlayAudioElementUsesSrc) {
  CaptureStdout out;
  player_.PlayAudioElement(MakeElement("audio", "<audio src=\"b.wav\"/>", {{"src", "b.wav"}}));
  player_.PlayAudioElement(MakeElement("audio", "<audio expr=\"x\"/>", {{"expr", "x"}}));
  EXPECT_EQ(kUriError, out.Take());
  EXPECT_EQ(std::vector<std::string>{"inform:\t:src b.wav"}, peer_.Sent());
  EXPECT_EQ(1, peer_.ReceiveCount());
  EXPECT_FALSE(player_.HangUp());
}

TEST_F(PromptPlayerTest, OverLongUriIsRefused) {
  CaptureStdout out;
  player_.PlayAudio(std::string(487, 'u'));
  EXPECT_EQ(kUriError, out.Take());
  EXPECT_TRUE(peer_.Sent().empty());
  EXPECT_EQ("\nERROR :PromptPlayer: the audio URI " + std::string(40, 'u') +
                "... is not played: its 500-character message passes the limit of 499\n",
            mainLog_.Text());
  player_.PlayAudio(std::string(486, 'u'));
  ASSERT_EQ(1u, peer_.Sent().size());
  EXPECT_EQ(PromptPlayer::kMaxInformMessage, peer_.Sent()[0].size());
}

TEST_F(PromptPlayerTest, SpeakSendsWithoutTimeoutAndIgnoresTheReply) {
  peer_.QueueReply("End");
  CaptureStdout out;
  player_.Speak("Good bye");
  EXPECT_EQ("SYSTEM: Good bye\n", out.Take());
  EXPECT_EQ(std::vector<std::string>{"Synt\t:text Good bye\t:bargein false"}, peer_.Sent());
  EXPECT_EQ(1, peer_.ReceiveCount());
  EXPECT_FALSE(player_.HangUp());
  EXPECT_EQ("", mainLog_.Text());
  EXPECT_EQ("", dialogLog_.Text());
}

// Prompts as the line parser reads them from a document.
TEST_F(PromptPlayerTest, PromptsOfAParsedDocument) {
  testsupport::WriteFile("doc.vxml",
                         "<?xml version=\"1.0\"?>\r\n"
                         "<vxml version=\"2.1\">\n"
                         "<form id=\"f\">\n"
                         "<field name=\"color\">\n"
                         "<prompt bargein=\"false\" timeout=\"7s\">\n"
                         "Which colour? <enumerate/>\n"
                         "</prompt>\n"
                         "<option value=\"red\">red</option>\n"
                         "<option value=\"green\">green</option>\n"
                         "</field>\n"
                         "<block>\n"
                         "<prompt>You said <value expr=\"color\"/>.</prompt>\n"
                         "<prompt><audio src=\"bye.wav\"/>Bye</prompt>\n"
                         "</block>\n"
                         "</form>\n"
                         "</vxml>\n");
  VxmlDocument document("doc.vxml", mainLog_.get());
  XmlParser parser(&document.input, mainLog_.get());
  parser.ParseFile(document);
  std::vector<Element*> items, prompts;
  for (Element* element : parser.Elements()) {
    if (element->tagName == "field" || element->tagName == "block") items.push_back(element);
    if (element->tagName == "prompt") prompts.push_back(element);
  }
  ASSERT_EQ(2u, items.size());
  ASSERT_EQ(3u, prompts.size());
  Script("dialog.color = 'green'");
  CaptureStdout out;
  player_.PlayPrompt(prompts[0], &document, items[0]);
  player_.PlayPrompt(prompts[1], &document, items[1]);
  player_.PlayPrompt(prompts[2], &document, items[1]);
  out.Take();
  EXPECT_EQ((std::vector<std::string>{Synt("Which colour? red, green  ", "false", "7s"),
                                      Synt("You said green.", "false"),
                                      "inform:\t:src bye.wav", Synt("Bye", "false")}),
            peer_.Sent());
}

TEST_F(PromptPlayerTest, OnUserInputDoesNothing) {
  CaptureStdout out;
  player_.OnUserInput();
  EXPECT_EQ("", out.Take());
  EXPECT_TRUE(peer_.Sent().empty());
}

}  // namespace
