// A VoiceXML document as others write it, played whole through the scripted
// peer: one-line blocks, several elements on a line, comments, a DOCTYPE,
// CDATA script, entities, single quotes, text written in a block (with
// CDATA, "-->" and a <value> on a line of its own), a prompt over several
// lines and one with two clips, and <value> expressions.
#include <gtest/gtest.h>

#include "interpreter/executors/CurrentDocument.h"
#include "interpreter/server/DialogSession.h"
#include "interpreter/server/InterpreterDialogue.h"
#include "tests/interpreter/executors/InterpreterTestSupport.h"
#include "tests/support/ScriptedPeerLink.h"

namespace interpretertest {
namespace {

const char kDemo[] =
    "<?xml version = '1.0' encoding='windows-1250'?>\n"
    "<!DOCTYPE vxml PUBLIC \"-//W3C//DTD VOICEXML 1.0//EN\" \"vxml.dtd\">\n"
    "<vxml version='1.0'>\n"
    "<!-- A demo.\n"
    "     <form id=\"hidden\"><block>never</block></form> -->\n"
    "<var name='city' expr=\"'Praha'\"/><var name=\"street\" expr='\"Dlouha\"'/>\n"
    "<form id='main'>\n"
    "<block><script>document.lt = '&lt;'; <![CDATA[\n"
    "  function factorial(n) { return n < 2 && n >= 0 ? 1 : n * factorial(n - 1); }\n"
    "  document.raw = '&lt;</vxml></script>';\n"
    "]]></script></block>\n"
    "<block>Hello world!</block>\n"
    "<block>\n"
    "  Balance is\n"
    "  <value expr=\"factorial(3)\"/>\n"
    "  dollars &amp; <![CDATA[<cents> &amp;]]> --> sales\n"
    "  <prompt><![CDATA[a </prompt> b]]></prompt>\n"
    "</block>\n"
    "<block><value expr=\"lt + raw\"/></block>\n"
    "<block><prompt>Fish &amp; chips &lt;today&gt;</prompt><prompt>\n"
    "    Dobry den,\n"
    "    vitajte <!-- not spoken -->\n"
    "</prompt></block>\n"
    "<block>\n"
    "  <prompt>Listen <audio src='a.wav'/> and <audio src=\"b.wav\">fallback</audio> "
    "enjoy.</prompt>\n"
    "  <prompt><value expr=\"factorial(5)\"/> ways, <value expr=\"city + ' ' + street\"/>,"
    " <emphasis>now</emphasis></prompt>\n"
    "  Bye <value expr='city'/>.<exit/>\n"
    "</block>\n"
    "<block>Never.</block>\n"
    "</form>\n"
    "</vxml>\n";

TEST_F(InterpreterTest, DocumentAsOthersWriteItSpeaksEverythingInOrder) {
  testsupport::WriteFile("demo.vxml", kDemo);
  testsupport::ScriptedPeerLink peer(testsupport::PeerScript::Parse("send Begin\n"));
  ASSERT_EQ(peer.Receive(), "Begin");
  quorvane::SetCurrentDocument("demo.vxml");
  DialogSession session(peer, InterpreterDialogue::Factory(peer));
  session.Begin();
  session.StartDialog();
  session.EndDialogue();
  EXPECT_EQ(Heard(peer.Sent()),
            (std::vector<std::string>{"Hello world!",
                                      "Balance is 6 dollars & <cents> &amp; --> sales",
                                      "a </prompt> b", "<&lt;</vxml></script>",
                                      "Fish & chips <today>", "Dobry den, vitajte",
                                      "Listen", "audio:a.wav", "and", "audio:b.wav", "enjoy.",
                                      "120 ways, Praha Dlouha, now", "Bye Praha.",
                                      "Koniec dialogu"}));
  EXPECT_EQ(peer.Sent()[0], "Synt\t:text Hello world!\t:bargein false\t:timeout 5");
  const std::string scriptLog = testsupport::ReadFile("Quorvane/ecmalog.txt");
  EXPECT_TRUE(InOrder(scriptLog, {"function factorial(n)", "factorial(5)", "120"}));
  EXPECT_EQ(CountOf(scriptLog, "ERROR"), 0) << scriptLog;
}

}  // namespace
}  // namespace interpretertest
