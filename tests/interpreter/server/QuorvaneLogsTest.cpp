// The four logs of a Quorvane process, byte for byte: a whole dialogue (a
// dialog loop that speaks, counts, tests and jumps) against golden text, and
// the same dialogue killed at its second request, which must leave every
// line written so far.
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/FreePort.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TempDir.h"

using testsupport::ReadFile;
using testsupport::ScriptedPeer;

namespace {

const char kDocument[] =
    "<?xml version=\"1.0\"?>\n<vxml version=\"1.0\">\n<var name=\"n\" expr=\"1\"/>\n"
    "<form id=\"a\">\n<block name=\"b\">\n<prompt>Turn</prompt>\n"
    "<assign name=\"n\" expr=\"n + 1\"/>\n<if cond=\"n &lt; 3\">\n<goto next=\"#b\"/>\n</if>\n"
    "</block>\n</form>\n<form id=\"b\">\n<block name=\"c\">\n<prompt>Back</prompt>\n</block>\n"
    "</form>\n</vxml>\n";

const std::string kRule(50, '_');
const std::string kHeader = "START SESSION HH:MM:SS\t\t\tDATE MM/DD/YY\n" + kRule + "\n";
const std::string kFooter = kRule + "\nEND OF SESSION HH:MM:SS";

const std::string kMainLog =
    kHeader +
    "\nMESSAGE 0 : Create dokument successfull\nMESSAGE 1 : Create INTERPRETER succesfull!"
    "\nMESSAGE 2 : Load new document to the Inteprpreter: loop.vxml"
    "\nMESSAGE 3 : Destroy XML PARSER\nMESSAGE 4 : Name of browse file: loop.vxml\n"
    "\nMESSAGE 5 : Run Interpretation\nMESSAGE 6 : Parsing XML dokumentloop.vxml"
    "\nMESSAGE 7 : Verzia XML syntaxe 1.0\nMESSAGE 8 : Load Grammar list ... OK"
    "\nMESSAGE 9 : Location: \nMESSAGE 10 : Run FIA algoritm. Actual dialog: a"
    "\nMESSAGE 11 : INICIALIZACNA FAZA FIA\nMESSAGE 12 : Select phase from FIA"
    "\nMESSAGE 13 : Collect phase from FIA\nMESSAGE 14 : Visited block :b"
    "\nMESSAGE 15 : \t\t\tSYSTEM: Turn"
    "\nMESSAGE 16 : Assign element.Fill variable n with value n + 1\nMESSAGE 17 : if element"
    "\nMESSAGE 18 : <if cond=\"n &lt; 3\">\tcondition true\nMESSAGE 19 : GO TO dialog b"
    "\nMESSAGE 20 : Run FIA algoritm. Actual dialog: b\nMESSAGE 21 : INICIALIZACNA FAZA FIA"
    "\nMESSAGE 22 : Select phase from FIA\nMESSAGE 23 : Collect phase from FIA"
    "\nMESSAGE 24 : Visited block :c\nMESSAGE 25 : \t\t\tSYSTEM: Back"
    "\nMESSAGE 26 : Select phase from FIA\nMESSAGE 27 : End of FIA"
    "\nMESSAGE 28 : End of DIALOG\n\nMESSAGE 29 : End of DIALOG\n\tHH:MM:SS"
    "\nMESSAGE 30 : Destroy XML PARSER\nMESSAGE 31 : Destroy XML PARSER"
    "\nMESSAGE 32 : Destroy INTERPRETER\n\nMESSAGE 33 : Destroy dokument loop.vxml" +
    kFooter;

const std::string kDialogLog =
    kHeader + "\nMESSAGE 0 : SYSTEM: Turn\nMESSAGE 1 : SYSTEM: Back" + kFooter;

const std::string kSocketLog =
    "Socket log file for Quorvane\nOpen Connection OK\nReceive> Begin\n"
    "Send> Synt\t:text Turn\t:bargein false\t:timeout 5\nReceive> OK\n"
    "Send> Synt\t:text Back\t:bargein false\t:timeout 5\nReceive> OK\n"
    "Send> Koniec dialogu\n";

// Every command and its result, in order.
const std::vector<std::string> kScriptMessages = {
    "Start of ECMAScript engine", std::string(53, '_'),
    "var session=new Object()", "", "var application=new Object()", "",
    "document=undefined;", "", "dialog=undefined;", "",
    "anonymous=undefined;", "", "SmResult=undefined;", "",
    "var document=new Object()", "", "var dialog=new Object()", "",
    "var anonymous=new Object()", "", "var SmResult=new Object()", "",
    "application=undefined;", "",
    "document.n=1", "1",
    "dialog.b='undefined'", "undefined",
    "dialog.b", "undefined",
    "dialog.b=true", "true",
    "dialog.b", "true",
    "anonymous.hasOwnProperty(\"n\")", "false",
    "dialog.hasOwnProperty(\"n\")", "false",
    "document.hasOwnProperty(\"n\")", "true",
    "anonymous.hasOwnProperty(\"n\")", "false",
    "dialog.hasOwnProperty(\"n\")", "false",
    "document.hasOwnProperty(\"n\")", "true",
    "document.n=document.n + 1", "2",
    "anonymous.hasOwnProperty(\"n\")", "false",
    "dialog.hasOwnProperty(\"n\")", "false",
    "document.hasOwnProperty(\"n\")", "true",
    "document.n < 3", "true",
    "dialog.c='undefined'", "undefined",
    "dialog.c", "undefined",
    "dialog.c=true", "true",
    "dialog.c", "true",
    "dialog.c", "true",
    std::string(53, '_'), "Destroy of ECMAScript engine"};

std::string ScriptLog() {
  std::string log = kHeader;
  for (std::size_t i = 0; i < kScriptMessages.size(); ++i) {
    log += "\nMESSAGE " + std::to_string(i) + " : " + kScriptMessages[i];
  }
  return log + kFooter;
}

// The file with its times and dates replaced by HH:MM:SS and MM/DD/YY.
std::string ReadLog(const std::string& path) {
  std::string text = std::regex_replace(ReadFile(path), std::regex("\\d\\d:\\d\\d:\\d\\d"),
                                        "HH:MM:SS");
  return std::regex_replace(text, std::regex("\\d\\d/\\d\\d/\\d\\d"), "MM/DD/YY");
}

// The one archive copy with the extension.
std::string Archived(const std::string& extension) {
  for (const auto& entry : std::filesystem::directory_iterator("log_data")) {
    if (entry.path().extension() == extension) return entry.path().string();
  }
  return "";
}

// The text up to the end of the mark's first occurrence.
std::string Through(const std::string& text, const std::string& mark) {
  return text.substr(0, text.find(mark) + mark.size());
}

class QuorvaneLogsTest : public testsupport::TempDirTest {
 protected:
  QuorvaneLogsTest() {
    mkdir("Quorvane", 0755);
    testsupport::WriteFile("loop.vxml", kDocument);
  }

  // Plays the dialogue with a bridge that answers every request with "OK";
  // with killAt, the server is killed when that request arrives.
  testsupport::ChildResult Play(int killAt = 0) {
    const int port = testsupport::FreePort();
    testsupport::BackgroundChild server(
        {testsupport::BinPath("Quorvane"), "-F", "loop.vxml", "-PORT", std::to_string(port)});
    ScriptedPeer peer(testsupport::PeerScript::Parse("send Begin"));
    int requests = 0;
    peer.SetObserver([&](bool outgoing, const std::string&) {
      if (!outgoing && ++requests == killAt) kill(server.Pid(), SIGKILL);
    });
    if (peer.Connect(port, 10000)) peer.Run(10000);
    return server.Wait(10000);
  }
};

TEST_F(QuorvaneLogsTest, AWholeDialogueWritesTheGoldenLogs) {
  testsupport::ChildResult server = Play();
  ASSERT_FALSE(server.timedOut);
  EXPECT_EQ(0, server.status);
  EXPECT_EQ(kMainLog, ReadLog(Archived(".log")));
  EXPECT_EQ(kDialogLog, ReadLog(Archived(".txt")));
  EXPECT_EQ(ScriptLog(), ReadLog("Quorvane/ecmalog.txt"));
  EXPECT_EQ(kSocketLog, ReadFile("Quorvane/socket_log.txt"));
}

TEST_F(QuorvaneLogsTest, AKilledServerLeavesEveryLineWrittenSoFar) {
  testsupport::ChildResult server = Play(2);  // it waits for the answer to "Back"
  ASSERT_FALSE(server.timedOut);
  ASSERT_FALSE(server.exited);
  EXPECT_EQ(Through(kMainLog, "SYSTEM: Back"), ReadLog("Quorvane/BaseLOG.txt"));
  EXPECT_EQ(Through(kDialogLog, "SYSTEM: Back"), ReadLog("Quorvane/DiaLOG.txt"));
  EXPECT_EQ(Through(ScriptLog(), "MESSAGE 63 : true"), ReadLog("Quorvane/ecmalog.txt"));
  // The line of the request sent last may be written after the peer has it.
  const std::string socketLog = ReadFile("Quorvane/socket_log.txt");
  EXPECT_TRUE(socketLog == Through(kSocketLog, "Receive> OK\n") ||
              socketLog == Through(kSocketLog, "Back\t:bargein false\t:timeout 5\n"))
      << socketLog;
}

}  // namespace
