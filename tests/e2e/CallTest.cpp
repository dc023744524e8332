// Whole calls through the three real programs: call_launcher starts Quorvane,
// Tressig and the terminal caller in a fresh folder; each test checks the
// frames the caller received, Quorvane's socket log, the archived logs and
// how every program ended.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/e2e/TerminalCaller.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PollUntil.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestNames.h"

namespace e2e {
namespace {

using Words = std::vector<std::string>;

constexpr int kWaitMs = 60000;
const char kStatusesOk[] =
    "Quorvane: exit status 0\nTressig: exit status 0\nterminal_caller: exit status 0\n";
const char kStatusesHubLost[] =
    "Quorvane: exit status 0\nTressig: exit status 1\nterminal_caller: exit status 0\n";
const char kHubLost[] = "\nThe hub's connection was lost; the call is stopped.\n";

std::string Document(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<vxml version=\"1.0\">\n" + body + "</vxml>\n";
}

Words Lines(const std::string& text) {
  Words lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) lines.push_back(line);
  return lines;
}

// The frames the caller received; a run of ":stop_sampling" counts once (the
// bridge sends one for each chunk that comes after the stop).
Words CallerFrames() {
  Words frames = Lines(testsupport::ReadFile("caller_frames.txt"));
  frames.erase(std::unique(frames.begin(), frames.end(),
                           [](const std::string& a, const std::string& b) {
                             return a == b && a == "dialog :stop_sampling \"\"";
                           }),
               frames.end());
  return frames;
}

// Quorvane's messages after the log's heading and "Open Connection OK".
Words SocketLog() {
  Words lines = Lines(testsupport::ReadFile("Quorvane/socket_log.txt"));
  return Words(lines.begin() + std::min<size_t>(2, lines.size()), lines.end());
}

// The archive folder's names, with the time stamp of all three made "T".
Words Archive() {
  Words names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("log_data", error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  static const std::regex kStamp("__\\d\\d_\\d\\d_\\d\\d\\.");
  std::string stamp;
  for (std::string& name : names) {
    std::smatch match;
    if (std::regex_search(name, match, kStamp)) {
      if (stamp.empty()) stamp = match.str();
      if (match.str() == stamp) name = match.prefix().str() + "__T." + match.suffix().str();
    }
  }
  return names;
}

const Words kArchived = {"BaseLOG__T.log", "DiaLOG__T.raw", "DiaLOG__T.txt"};

// The launcher's command line for the document and the caller's script.
Words LauncherArgv(const Words& options, const std::string& script = "answers.txt",
                   const std::string& document = "doc.vxml") {
  Words argv = {testsupport::BinPath("call_launcher"), "-script", script, "-timeout", "90"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(document);
  return argv;
}

testsupport::ChildResult Launch(const Words& options) {
  return testsupport::RunChild(LauncherArgv(options), "", 2 * kWaitMs);
}

// The last `lines` lines of the text.
std::string Tail(const std::string& text, size_t lines) {
  size_t at = text.size();
  for (size_t i = 0; i <= lines && at != std::string::npos && at > 0; ++i) {
    at = text.rfind('\n', at - 1);
  }
  return at == std::string::npos ? text : text.substr(at + 1);
}

Words operator+(Words first, const Words& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

Words Times(int count, const Words& part) {
  Words whole;
  for (int i = 0; i < count; ++i) whole = whole + part;
  return whole;
}

struct CallCase {
  const char* title;
  std::string body;
  std::string answers;
  Words options;
  Words frames;
  Words socketLog;
  std::vector<std::pair<std::string, std::string>> files = {};  // path, content after the call
  void (*prepare)() = nullptr;  // sets the folder up before the call
  std::string statuses = kStatusesOk;  // how the three programs ended
  std::string tressigSays = "";        // a text on Tressig's console
};

void PrintTo(const CallCase& c, std::ostream* out) { *out << c.title; }

class CallTest : public testsupport::TempDirTest, public ::testing::WithParamInterface<CallCase> {};

TEST_P(CallTest, RunsThroughAllThreePrograms) {
  const CallCase& c = GetParam();
  testsupport::WriteFile("doc.vxml", Document(c.body));
  testsupport::WriteFile("answers.txt", c.answers);
  if (c.prepare) c.prepare();
  testsupport::ChildResult result = Launch(c.options);
  EXPECT_EQ(c.statuses == kStatusesOk ? 0 : 1, result.status) << result.out;
  EXPECT_EQ(c.statuses, Tail(result.out, 3));
  EXPECT_EQ(c.frames, CallerFrames());
  EXPECT_EQ(c.socketLog, SocketLog());
  EXPECT_EQ(kArchived, Archive());
  for (const auto& [path, content] : c.files) EXPECT_EQ(content, testsupport::ReadFile(path)) << path;
  EXPECT_NE(std::string::npos, testsupport::ReadFile("tressig_console.txt").find(c.tressigSays));
}

std::string Spoken(const std::string& text, const std::string& bargein = "false") {
  return "dialog :synthetise \"\" :text \"" + text + "\" :bargein \"" + bargein + "\"";
}

const char kBlock[] =
    "<form id=\"f\">\n<block>\n<prompt>Dobry den</prompt>\n"
    "<prompt timeout=\"3s\">Dovidenia</prompt>\n</block>\n</form>\n";
const Words kBlockFrames = {Spoken("Dobry den"), "SetProperty :timeout 5", Spoken("Dovidenia"),
                            "SetProperty :timeout 3", "StopCall"};
const Words kBlockLog = {
    "Receive> Begin", "Send> Synt\t:text Dobry den\t:bargein false\t:timeout 5",
    "Receive> OK",    "Send> Synt\t:text Dovidenia\t:bargein false\t:timeout 3s",
    "Receive> OK",    "Send> Koniec dialogu"};

const char kField[] =
    "<form id=\"f\">\n<field name=\"odpoved\">\n"
    "<grammar src=\"ano.bnf\" type=\"application/grammar+bnf\"/>\n"
    "<prompt>Chcete pokracovat?</prompt>\n"
    "<filled>\n<prompt>Povedali ste <value expr=\"odpoved\"/>.</prompt>\n</filled>\n"
    "</field>\n</form>\n";
const Words kGrammarFrames = {
    "dialog :prepare_group \"\" :group_name \"\"",
    "dialog :add_grammar \"\" :gramURI \"ano.bnf\" :gramTYPE \"bnf\" :loc_DICT "
    "\"lang_resources\\\\Dictionaries\\\\\"",
    "dialog :load_group \"\""};
const Words kAskFrames =
    kGrammarFrames + Words{Spoken("Chcete pokracovat?", "true"), "SetProperty :timeout 5",
                           "dialog :start_sampling \"\" :testmode 0"};
const Words kAskLog = {
    "Send> NewGroup\t", "Receive> OK",
    "Send> AddGram\t:gramURI ano.bnf\t:gramTYPE bnf\t:loc_DICT lang_resources\\Dictionaries\\",
    "Receive> OK", "Send> LoadGroup", "Receive> OK",
    "Send> Synt\t:text Chcete pokracovat?\t:bargein true\t:timeout 5", "Receive> OK", "Send> ask:"};
// "Prepáčte, systém zlyhal. Hovor bude ukončený. Zavolajte prosím neskôr."
const char kApology[] =
    "Prep\xe1\xe8te, syst\xe9m zlyhal. Hovor bude ukon\xe8" "en\xfd. "
    "Zavolajte pros\xedm nesk\xf4r.";

const char kMenu[] =
    "<menu id=\"m\" dtmf=\"true\">\n<prompt>Stlacte 1 alebo 2.</prompt>\n"
    "<choice dtmf=\"1\" next=\"#a\">prvy</choice>\n<choice dtmf=\"2\" next=\"#b\">druhy</choice>\n"
    "</menu>\n<form id=\"a\">\n<block>\n<prompt>Vybrali ste jedna.</prompt>\n</block>\n</form>\n"
    "<form id=\"b\">\n<block>\n<prompt>Vybrali ste dva.</prompt>\n</block>\n</form>\n";
const Words kMenuFrames = {
    "dialog :prepare_group \"\" :group_name \"\"",
    "dialog :add_grammar \"\" :gramURI \"lang_resources/grammars/temp/GoTo#a.bnf\" :gramTYPE "
    "\"bnf\" :loc_DICT \"lang_resources\\\\Dictionaries\\\\GoTo#a.dic\"",
    "dialog :load_group \"\"", Spoken("Stlacte 1 alebo 2."), "SetProperty :timeout 5",
    "dialog :get_dtmf_char \"\" :time_out 6"};
const Words kMenuLog = {
    "Send> NewGroup\t", "Receive> OK",
    "Send> AddGram\t:gramURI lang_resources/grammars/temp/GoTo#a.bnf\t:gramTYPE bnf\t:loc_DICT "
    "lang_resources\\Dictionaries\\GoTo#a.dic",
    "Receive> OK", "Send> LoadGroup", "Receive> OK",
    "Send> Synt\t:text Stlacte 1 alebo 2.\t:bargein false\t:timeout 5", "Receive> OK",
    "Send> GetDTMFch:"};

// A data query travels through the bridge to the caller and back; its
// answer fills the object's variable.
const char kDataQuery[] =
    "<form id=\"f\">\n<var name=\"item\" expr=\"'mlieko'\"/>\n"
    "<object name=\"q\" classid=\"BUILDIN dataq\" data=\"-f\">\n<prompt>Hladam.</prompt>\n"
    "<param name=\"item\" expr=\"item\"/>\n</object>\n"
    "<block>\n<prompt>Mame <value expr=\"q.a\"/> kusov.</prompt>\n</block>\n</form>\n";
const char kQuery[] = "{\nact query\ncontent -f\nitem mlieko\n}\n";

const CallCase kCases[] = {
    {"a block and its prompts to the end", kBlock, "", {}, kBlockFrames, kBlockLog},
    {"the hub contacted by the bridge", kBlock, "", {"-contact_hub"}, kBlockFrames, kBlockLog},
    {"the recogniser started first", kBlock, "", {"-INITASR"},
     Words{"dialog :prepare_group \"\" :group_name \"init\"",
           "dialog :start_sampling \"\" :testmode 1"} + kBlockFrames,
     kBlockLog},
    {"a field answered by voice", kField, "# yes, heard well\nano | 'ano' | 0.8\n", {},
     kAskFrames + Words{Spoken("Povedali ste ano."), "SetProperty :timeout 5", "StopCall"},
     Words{"Receive> Begin"} + kAskLog +
         Words{"Receive> :utt ano\t:conf 0.8\t:noinput 0\t:semantic 'ano'",
               "Send> Synt\t:text Povedali ste ano.\t:bargein false\t:timeout 5", "Receive> OK",
               "Send> Koniec dialogu"}},
    {"five no-inputs end with the apology", kField,
     "# nothing, five times\n\n/silence\n/silence\n/silence\n/silence\n/silence\n", {},
     Times(5, kAskFrames) + Words{Spoken(kApology), "SetProperty :timeout 0", "StopCall"},
     Words{"Receive> Begin"} +
         Times(5, kAskLog + Words{"Receive> :utt NOINPUT\t:conf 0\t:noinput 1\t:semantic "}) +
         Words{std::string("Send> Synt\t:text ") + kApology + "\t:bargein false", "Receive> OK",
               "Send> Koniec dialogu"}},
    {"a menu answered by key", kMenu, "3\n2\n", {},
     Times(2, kMenuFrames) +
         Words{Spoken("Vybrali ste dva."), "SetProperty :timeout 5", "StopCall"},
     Words{"Receive> Begin"} + kMenuLog + Words{"Receive> :DTMFchar 3"} + kMenuLog +
         Words{"Receive> :DTMFchar 2",
               "Send> Synt\t:text Vybrali ste dva.\t:bargein false\t:timeout 5", "Receive> OK",
               "Send> Koniec dialogu"}},
    {"a data query answered by the caller", kDataQuery, "\t:a 21\t:b kusy\n", {},
     Words{Spoken("Hladam."), "SetProperty :timeout 5"} +
         Words{"dialog :dataquery \"\" :inframe \"{\\nact query\\ncontent -f\\nitem "
               "mlieko\\n}\\n\""} +
         Words{Spoken("Mame 21 kusov."), "SetProperty :timeout 5", "StopCall"},
     Words{"Receive> Begin", "Send> Synt\t:text Hladam.\t:bargein false\t:timeout 5",
           "Receive> OK", "Send> dataquery"} +
         Lines(std::string("Send> ") + kQuery) +
         Words{"", "Receive> \t:a 21\t:b kusy",
               "Send> Synt\t:text Mame 21 kusov.\t:bargein false\t:timeout 5", "Receive> OK",
               "Send> Koniec dialogu"}},
    {"the caller hangs up", kField, "/hangup\n", {}, kAskFrames,
     Words{"Receive> Begin"} + kAskLog + Words{"Receive> End", "Send> Koniec dialogu"}},
    // A lost hub ends the call as a hang-up does, and Tressig with status 1.
    {"the hub lost between operations", kField, "/drop\n", {}, kAskFrames,
     Words{"Receive> Begin"} + kAskLog + Words{"Receive> End", "Send> Koniec dialogu"}, {},
     nullptr, kStatusesHubLost, kHubLost},
    {"the contacted hub lost between operations", kField, "/drop\n", {"-contact_hub"},
     kAskFrames,
     Words{"Receive> Begin"} + kAskLog + Words{"Receive> End", "Send> Koniec dialogu"}, {},
     nullptr, kStatusesHubLost, kHubLost},
    {"the hub lost while the bridge awaits its reply", kField, "", {"-drop", "dialog"},
     Words{kGrammarFrames[0]},
     Words{"Receive> Begin", "Send> NewGroup\t", "Receive> End", "Send> Koniec dialogu"}, {},
     nullptr, kStatusesHubLost, kHubLost},
};

INSTANTIATE_TEST_SUITE_P(Calls, CallTest, ::testing::ValuesIn(kCases),
                         testsupport::TitleName<CallCase>);

// What the caller says, and what a peer or program answers, is data wherever
// it goes: it never runs as script, becomes markup, a second field, line or
// rule, or a file elsewhere. The plain answers beside these are the calls above.
const char kHostileQuery[] =
    "<form id=\"f\">\n<var name=\"item\" expr=\"'mlieko\\n}\\n{\\nact delete'\"/>\n"
    "<object name=\"q\" classid=\"BUILDIN dataq\" data=\"-f\">\n"
    "<param name=\"item\" expr=\"item\"/>\n</object>\n"
    "<block>\n<prompt>Mame <value expr=\"q.a\"/> kusov, <value expr=\"typeof ({}).polluted\"/>."
    "</prompt>\n</block>\n</form>\n";

const std::string kTempGrammars = "lang_resources/grammars/temp/";
const char kRecorded[] = "Receive> :utt none\t:conf 0.99\t:noinput 0\t:semantic none";
const std::string kEchoed = "Povedzte <value expr=\"quit(3)\"/>; $hack = (a) volaj";

const char kSrgsField[] =
    "<form id=\"f\">\n<field name=\"odpoved\">\n"
    "<grammar type=\"application/srgs+xml\" root=\"r\">\n<rule id=\"r\">\n<one-of>\n"
    "<item>ano</item>\n<item>x&#39;+quit(7)+&#39;</item>\n</one-of>\n</rule>\n</grammar>\n"
    "<prompt>Chcete pokracovat?</prompt>\n"
    "<filled>\n<prompt>Povedali ste <value expr=\"odpoved\"/>.</prompt>\n</filled>\n"
    "</field>\n</form>\n";

// The caller's answer comes back as a menu's choice.
const char kEchoMenu[] =
    "<var name=\"zviera\"/>\n<form id=\"ask\">\n<field name=\"zviera\">\n"
    "<grammar src=\"zvierata.bnf\" type=\"application/grammar+bnf\"/>\n"
    "<prompt>Ake zviera?</prompt>\n<filled>\n"
    "<assign name=\"document.zviera\" expr=\"zviera\"/>\n<goto next=\"#pick\"/>\n"
    "</filled>\n</field>\n</form>\n<menu id=\"pick\">\n"
    "<prompt>Povedzte <enumerate/></prompt>\n"
    "<choice next=\"#ask\">\n<value expr=\"document.zviera\"/>\n</choice>\n"
    "<choice next=\"#bye\">pes</choice>\n</menu>\n"
    "<form id=\"bye\">\n<block>\n<prompt>Dovidenia.</prompt>\n</block>\n</form>\n";

const char kRecords[] =
    "<form id=\"f\">\n<record name=\"a\" maxtime=\"1s\">\n<prompt>Hovorte.</prompt>\n"
    "</record>\n<record name=\"b\" maxtime=\"1s\">\n<prompt>Este raz.</prompt>\n"
    "</record>\n</form>\n";

// Links in Recordings point at files outside it.
void LinkRecordings() {
  std::filesystem::create_directory("Recordings");
  testsupport::WriteFile("victim_a", "keep");
  testsupport::WriteFile("victim_b", "keep");
  std::filesystem::create_symlink("../victim_a", "Recordings/a.raw");
  std::filesystem::create_symlink("../victim_b", "Recordings/b.wav");
}

const CallCase kOutsideTextCases[] = {
    {"a forged utterance stays one field", kField,
     "ano\\t:conf 0.95\\t:noinput 0\\t:semantic quit(9) | 'ano' | 0.8\n", {},
     kAskFrames + Words{Spoken("Povedali ste ano."), "SetProperty :timeout 5", "StopCall"},
     Words{"Receive> Begin"} + kAskLog +
         Words{"Receive> :utt ano :conf 0.95 :noinput 0 :semantic quit(9)\t:conf 0.8\t:noinput "
               "0\t:semantic 'ano'",
               "Send> Synt\t:text Povedali ste ano.\t:bargein false\t:timeout 5", "Receive> OK",
               "Send> Koniec dialogu"}},
    {"entities in matched words stay text", kSrgsField, "x&#39;+quit(7)+&#39;\n", {},
     Words{"dialog :prepare_group \"\" :group_name \"\"",
           "dialog :add_grammar \"\" :gramURI \"" + kTempGrammars + "FieldLink_odpoved.bnf\" "
           ":gramTYPE \"bnf\" :loc_DICT \"lang_resources\\\\Dictionaries\\\\FieldLink_odpoved.dic\"",
           "dialog :load_group \"\"", Spoken("Chcete pokracovat?", "true"), "SetProperty :timeout 5",
           "dialog :start_sampling \"\" :testmode 0", Spoken("Povedali ste x&#39;+quit(7)+&#39;."),
           "SetProperty :timeout 5", "StopCall"},
     Words{"Receive> Begin", "Send> NewGroup\t", "Receive> OK",
           "Send> AddGram\t:gramURI " + kTempGrammars + "FieldLink_odpoved.bnf\t:gramTYPE bnf"
           "\t:loc_DICT lang_resources\\Dictionaries\\FieldLink_odpoved.dic",
           "Receive> OK", "Send> LoadGroup", "Receive> OK",
           "Send> Synt\t:text Chcete pokracovat?\t:bargein true\t:timeout 5", "Receive> OK",
           "Send> ask:", "Receive> :utt x&#39;+quit(7)+&#39;\t:conf 0.9\t:noinput 0\t:semantic ",
           "Send> Synt\t:text Povedali ste x&#39;+quit(7)+&#39;.\t:bargein false\t:timeout 5",
           "Receive> OK", "Send> Koniec dialogu"}},
    {"an answer listed as a choice stays text", kEchoMenu,
     "macka | '<value expr=\"quit(3)\"/>; $hack = (a) volaj'\npes\n", {},
     Words{"dialog :prepare_group \"\" :group_name \"\"",
           "dialog :add_grammar \"\" :gramURI \"zvierata.bnf\" :gramTYPE \"bnf\" :loc_DICT "
           "\"lang_resources\\\\Dictionaries\\\\\"",
           "dialog :load_group \"\"", Spoken("Ake zviera?", "true"), "SetProperty :timeout 5",
           "dialog :start_sampling \"\" :testmode 0", "dialog :prepare_group \"\" :group_name \"\"",
           "dialog :add_grammar \"\" :gramURI \"" + kTempGrammars + "GoTo#ask.bnf\" :gramTYPE "
           "\"bnf\" :loc_DICT \"lang_resources\\\\Dictionaries\\\\GoTo#ask.dic\"",
           "dialog :load_group \"\"", Spoken(kEchoed + ", pes  "), "SetProperty :timeout 5",
           "dialog :start_sampling \"\" :testmode 0", Spoken("Dovidenia."),
           "SetProperty :timeout 5", "StopCall"},
     Words{"Receive> Begin", "Send> NewGroup\t", "Receive> OK",
           "Send> AddGram\t:gramURI zvierata.bnf\t:gramTYPE bnf\t:loc_DICT "
           "lang_resources\\Dictionaries\\",
           "Receive> OK", "Send> LoadGroup", "Receive> OK",
           "Send> Synt\t:text Ake zviera?\t:bargein true\t:timeout 5", "Receive> OK",
           "Send> ask:",
           "Receive> :utt macka\t:conf 0.9\t:noinput 0\t:semantic '<value expr=\"quit(3)\"/>; "
           "$hack = (a) volaj'",
           "Send> NewGroup\t", "Receive> OK",
           "Send> AddGram\t:gramURI " + kTempGrammars + "GoTo#ask.bnf\t:gramTYPE bnf\t:loc_DICT "
           "lang_resources\\Dictionaries\\GoTo#ask.dic",
           "Receive> OK", "Send> LoadGroup", "Receive> OK",
           "Send> Synt\t:text " + kEchoed + ", pes  \t:bargein false\t:timeout 5", "Receive> OK",
           "Send> ask:", "Receive> :utt pes\t:conf 0.9\t:noinput 0\t:semantic ",
           "Send> Synt\t:text Dovidenia.\t:bargein false\t:timeout 5", "Receive> OK",
           "Send> Koniec dialogu"},
     {{kTempGrammars + "GoTo#ask.bnf",
       "$main = ( value expr \"quit 3 \"/    hack    a  volaj |pes );\n\n($main)\n"}}},
    // The first recording is refused at once, the second written beside its link.
    {"recordings never write through links", kRecords, "/silence\n/silence\n", {},
     Words{Spoken("Hovorte."), "SetProperty :timeout 5", "dialog :record \"\"",
           Spoken("Este raz."), "SetProperty :timeout 5", "dialog :record \"\"",
           "dialog :stop_sampling \"\"", "StopCall"},
     Words{"Receive> Begin", "Send> Synt\t:text Hovorte.\t:bargein false\t:timeout 5",
           "Receive> OK", "Send> Record:\t:name a\t:maxtime 1s\t:dtmfterm ", kRecorded,
           "Send> Synt\t:text Este raz.\t:bargein false\t:timeout 5", "Receive> OK",
           "Send> Record:\t:name b\t:maxtime 1s\t:dtmfterm ", kRecorded,
           "Send> Koniec dialogu"},
     {{"victim_a", "keep"}, {"victim_b", "keep"}}, LinkRecordings},

    {"a data query keeps to its lines and its answer stays data", kHostileQuery,
     "\t:constructor.prototype.polluted 1\t:a 5-3\n", {},
     Words{"dialog :dataquery \"\" :inframe \"{\\nact query\\ncontent -f\\nitem "
           "mlieko } { act delete\\n}\\n\""} +
         Words{Spoken("Mame 5-3 kusov, undefined."), "SetProperty :timeout 5", "StopCall"},
     Words{"Receive> Begin", "Send> dataquery", "Send> {", "act query", "content -f",
           "item mlieko } { act delete", "}", "",
           "Receive> \t:constructor.prototype.polluted 1\t:a 5-3",
           "Send> Synt\t:text Mame 5-3 kusov, undefined.\t:bargein false\t:timeout 5",
           "Receive> OK", "Send> Koniec dialogu"}},
};

INSTANTIATE_TEST_SUITE_P(OutsideText, CallTest, ::testing::ValuesIn(kOutsideTextCases),
                         testsupport::TitleName<CallCase>);

// The recorded bytes of the first `chunks` chunks of the caller's audio.
std::string AudioBytes(int chunks) {
  std::string bytes;
  for (int i = 0; i < chunks; ++i) {
    std::vector<int16_t> chunk = AudioChunk(i);
    bytes.append(reinterpret_cast<const char*>(chunk.data()), chunk.size() * sizeof(int16_t));
  }
  return bytes;
}

// The first recording runs past its 2 s and is cut there; a key pressed
// after the first second ends the second, so its raw file holds at most
// that second, in whole chunks (the bridge may read the key before them).
TEST(CallRecordingTest, WritesRawAndWavFilesCutByTheLimitAndTheKey) {
  testsupport::TempDir dir;
  testsupport::WriteFile(
      "doc.vxml",
      Document("<form id=\"f\">\n<record name=\"prvy\" maxtime=\"2s\" dtmfterm=\"true\">\n"
               "<prompt>Hovorte.</prompt>\n</record>\n"
               "<record name=\"druhy\" maxtime=\"10s\" dtmfterm=\"true\">\n"
               "<prompt>Este raz.</prompt>\n</record>\n</form>\n"));
  testsupport::WriteFile("answers.txt", "/silence\n#\n");
  testsupport::ChildResult result = Launch({});
  EXPECT_EQ(0, result.status) << result.out;
  EXPECT_EQ(kStatusesOk, Tail(result.out, 3));
  EXPECT_NE(std::string::npos,
            result.out.find("(the caller presses #)\n(the system stops the recording)\n"));
  Words recording = {"dialog :record \"\"", "dialog :stop_sampling \"\""};
  Words frames = Words{Spoken("Hovorte."), "SetProperty :timeout 5"} + recording +
                 Words{Spoken("Este raz."), "SetProperty :timeout 5"} + recording +
                 Words{"StopCall"};
  EXPECT_EQ(frames, CallerFrames());
  EXPECT_EQ((Words{"Receive> Begin", "Send> Synt\t:text Hovorte.\t:bargein false\t:timeout 5",
                   "Receive> OK", "Send> Record:\t:name prvy\t:maxtime 2s\t:dtmfterm true",
                   kRecorded, "Send> Synt\t:text Este raz.\t:bargein false\t:timeout 5",
                   "Receive> OK", "Send> Record:\t:name druhy\t:maxtime 10s\t:dtmfterm true",
                   kRecorded, "Send> Koniec dialogu"}),
            SocketLog());
  EXPECT_EQ(kArchived, Archive());

  EXPECT_TRUE(AudioBytes(2 * kSampleRate / kChunkSamples) ==
              testsupport::ReadFile("Recordings/prvy.raw"));
  std::string second = testsupport::ReadFile("Recordings/druhy.raw");
  EXPECT_EQ(0u, second.size() % (kChunkSamples * sizeof(int16_t)));
  EXPECT_TRUE(second == AudioBytes(kKeyAfterChunks).substr(0, second.size()));
  for (const char* name : {"prvy", "druhy"}) {
    std::string raw = testsupport::ReadFile(std::string("Recordings/") + name + ".raw");
    std::string wav = testsupport::ReadFile(std::string("Recordings/") + name + ".wav");
    ASSERT_EQ(44 + raw.size(), wav.size()) << name;
    EXPECT_EQ("RIFF", wav.substr(0, 4));
    EXPECT_TRUE(raw == wav.substr(44)) << name;
  }
}

// The sample applications of examples/ written as others write VoiceXML,
// each played whole from its caller script: the parts of the conversation
// that show what it tries, in order, and its last words.
struct ExampleCase {
  const char* title;  // the application: examples/<title>.vxml and .caller
  Words parts;
};

void PrintTo(const ExampleCase& c, std::ostream* out) { *out << c.title; }

class ExampleTest : public testsupport::TempDirTest,
                    public ::testing::WithParamInterface<ExampleCase> {};

TEST_P(ExampleTest, PlaysToTheEnd) {
  const std::string application = GetParam().title;
  std::filesystem::copy(std::filesystem::path(QUORVANE_SOURCE_DIR) / "examples", ".");
  testsupport::ChildResult result = testsupport::RunChild(
      LauncherArgv({}, application + ".caller", application + ".vxml"), "", 2 * kWaitMs);
  EXPECT_EQ(kStatusesOk, Tail(result.out, 3)) << result.out;
  size_t at = 0;
  for (const std::string& part : GetParam().parts) {
    at = result.out.find(part, at);
    ASSERT_NE(std::string::npos, at) << part << " missing in:\n" << result.out;
  }
  EXPECT_EQ(result.out.size(), at + GetParam().parts.back().size() + sizeof(kStatusesOk) - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExampleTest,
    ::testing::Values(
        ExampleCase{"pizza",
                    {"> with black olives\nSYSTEM: Olives, a fine choice.\n",
                     "> no\nSYSTEM: Let us start over.\n",  // the <log> is not spoken
                     "SYSTEM: Thank you. Your pizza will be there in 30 minutes.\n"
                     "The system ended the call.\n"}},
        ExampleCase{"travel",
                    {"> from paris to rome\nSYSTEM: A trip from paris to rome.\n",
                     "> from london\nSYSTEM: Where are you going?\n",
                     "> london\nSYSTEM: You are already in london.\n",
                     "SYSTEM: Booked. Have a nice trip.\nThe system ended the call.\n"}},
        ExampleCase{"bank",
                    {"SYSTEM: Please say the four digits of your PIN, one by one.\n",
                     "SYSTEM: Thank you, customer A-17.\n", "SYSTEM: Still nothing.\n",
                     "SYSTEM: Your balance is 1250 euro.\n",
                     "> goodbye\nSYSTEM: Goodbye from First Demo Bank.\n"
                     "The system ended the call.\n"}},
        ExampleCase{"quiz",  // CRLF line endings
                    {"> marseille\nSYSTEM: That is not a French city I know.\n"
                     "SYSTEM: Once more: the capital of France?\n",
                     "> /silence\nSYSTEM: Last chance.\n", "> lyon\nSYSTEM: Your score is now 0.\n",
                     "> rome\nSYSTEM: Your score is now 10.\nSYSTEM: Half right.\n"
                     "The system ended the call.\n"}},
        // Windows-1250 on the wire; the caller shows UTF-8.
        ExampleCase{"anketa",
                    {"> Trnava\nSYSTEM: Tomu mestu nerozumiem.\n",
                     // "Ste spokojný s dopravou v meste Košice?"
                     "SYSTEM: Ste spokojn\xc3\xbd s dopravou v meste Ko\xc5\xa1ice?",
                     // "Ďakujeme, to nás teší." / "Ďakujeme za účasť. Dovidenia."
                     "SYSTEM: \xc4\x8e" "akujeme, to n\xc3\xa1s te\xc5\xa1\xc3\xad.\n"
                     "SYSTEM: \xc4\x8e" "akujeme za \xc3\xba\xc4\x8d" "as\xc5\xa5. Dovidenia.\n"
                     "The system ended the call.\n"}}),
    testsupport::TitleName<ExampleCase>);

struct ProcessInfo {
  std::string name;
  char state = 0;
  int parent = 0;
};

// From /proc/PID/stat ("pid (name) state ppid ..."); none once the process is gone.
std::optional<ProcessInfo> ReadProcess(const std::string& pid) {
  std::string stat = testsupport::ReadFile("/proc/" + pid + "/stat");
  size_t open = stat.find('('), close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos) return std::nullopt;
  ProcessInfo info;
  info.name = stat.substr(open + 1, close - open - 1);
  std::istringstream(stat.substr(close + 1)) >> info.state >> info.parent;
  return info;
}

// The pid of the parent's child of that name; "" when there is none.
std::string ChildNamed(int parent, const std::string& name) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    std::string pid = entry.path().filename().string();
    std::optional<ProcessInfo> info = ReadProcess(pid);
    if (info && info->parent == parent && info->name == name) return pid;
  }
  return "";
}

// Quorvane is killed while the caller is asked for speech; the answer then
// reaches the bridge, which finds the dialog manager gone, stops the call and
// ends with status 1. Nothing is archived.
TEST(CallEndTest, QuorvaneDyingMidCallStopsTheCall) {
  testsupport::TempDir dir;
  testsupport::WriteFile("doc.vxml", Document(kField));
  ASSERT_EQ(0, mkfifo("answers.txt", 0600));  // the caller waits on it for its answer
  testsupport::BackgroundChild launcher(LauncherArgv({}));
  int answers = -1;
  ASSERT_TRUE(testsupport::PollUntil(
      kWaitMs, [&] { return (answers = open("answers.txt", O_WRONLY | O_NONBLOCK)) >= 0; }));
  ASSERT_TRUE(testsupport::PollUntil(kWaitMs, [] {
    return testsupport::ReadFile("Quorvane/socket_log.txt").find("Send> ask:") != std::string::npos;
  }));
  std::string quorvane = ChildNamed(launcher.Pid(), "Quorvane");
  ASSERT_NE("", quorvane);
  kill(std::stoi(quorvane), SIGKILL);
  EXPECT_TRUE(testsupport::PollUntil(kWaitMs, [&] {
    std::optional<ProcessInfo> info = ReadProcess(quorvane);
    return !info || info->state == 'Z';
  }));
  ASSERT_EQ(4, write(answers, "ano\n", 4));
  close(answers);
  testsupport::ChildResult result = launcher.Wait(2 * kWaitMs);
  EXPECT_EQ(1, result.status) << result.out;
  EXPECT_EQ(
      "Quorvane: killed by signal 9\nTressig: exit status 1\nterminal_caller: exit status 0\n",
      Tail(result.out, 3));
  EXPECT_EQ(kAskFrames + Words{"StopCall"}, CallerFrames());
  EXPECT_EQ(Words{"Receive> Begin"} + kAskLog, SocketLog());
  EXPECT_EQ(Words{}, Archive());
}

}  // namespace
}  // namespace e2e
