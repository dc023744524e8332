// The library in a fresh host process for each case (mavette_probe): error
// reports byte for byte on standard error, each command's own result code,
// the time and memory limits, the natives, the ways the process ends, and
// what the shared object exports.
// Standard error must hold exactly the reports: a crash or a sanitizer
// complaint at exit fails the case.
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"

namespace {

using testsupport::ChildResult;
using testsupport::RunChild;

constexpr int kTimeoutMs = 30000;

struct ProbeCase {
  const char* name;
  std::vector<std::string> steps;
  int status;
  std::string out;
  std::string err;
};

void PrintTo(const ProbeCase& probe, std::ostream* out) { *out << probe.name; }

std::string Dots(std::size_t count) { return std::string(count, '.'); }

const char kAsmScript[] =
    "function m() { 'use asm'; function f(x) { x = x|0; return y|0; } return f; } 1";

const std::string kAsmWarning =
    std::string("1: warning: asm.js type error: 'y' not found in local or asm.js module scope:\n") +
    "1: warning: " + kAsmScript + "\n1: warning: " + Dots(std::string(kAsmScript).find("y|0")) +
    "^\n";

const std::string kMemoryReport = "Script uses too much memory, terminating.\n";

const std::string kTimeoutReport =
    "1: warning: Script terminated by timeout at:\n1: warning: @:1:8\n1: warning: \n"
    "Script runs for too long, terminating.\n";

// t: 100,000 letters and digits that do not repeat (the engine compresses a
// function's text in the background). The functions pushed onto fs, made by
// eval or by new Function, each keep a text that holds t: 200 KB.
const std::string kLongText =
    "var t = ''; while (t.length < 1e5) t += Math.random().toString(36).slice(2); var fs = []; ";
const std::string kEvalFunctions =
    "fs.push(eval('(function () { return ' + i + ' /*' + t + '*/ })'))";
const std::string kNewFunctions = "fs.push(new Function('return ' + i + ' /*' + t + '*/'))";

// Steps that run as many commands as the engine keeps compiled, with 512 KiB
// of distinct texts and no value, then the steps after.
std::vector<std::string> AfterAFullScriptCache(std::vector<std::string> before,
                                               const std::vector<std::string>& after) {
  const std::string padding(110, 'x');
  for (int i = 0; i < 4096; ++i) {
    std::string text = "void " + std::to_string(i) + " /* " + padding + " */";
    before.push_back("run:" + text + std::string(128 - text.size(), ' '));
  }
  before.insert(before.end(), after.begin(), after.end());
  return before;
}

std::string Times(int count, const std::string& text) {
  std::string repeated;
  for (int i = 0; i < count; ++i) repeated += text;
  return repeated;
}

// A global, a declared function, a regular expression and an object literal,
// each made afresh or counted on by every run.
const char kRerunScript[] =
    "var n = (typeof n == 'number' ? n : 0) + 1; function f() {} f.x = (f.x || 0) + 1; "
    "var r = /a/g; r.test('aa'); var o = {k: 0}; o.k++; [n, f.x, r.lastIndex, o.k].join()";

// Whether this run's template strings object is the one of the run before.
const char kTemplateScript[] =
    "var t = (function (s) { return s; })`a`; var same = t === globalThis.last; "
    "globalThis.last = t; same";

const ProbeCase kCases[] = {
    // Reports, and a result code that belongs to its command.
    {"SyntaxErrorThreeLines", {"init", "run:x = ;", "run:1+1"}, 0, "3\t<untouched>\n0\t2\n",
     "1: SyntaxError: expected expression, got ';':\n1: x = ;\n1: " + Dots(4) + "^\n"},
    {"TabsAdvanceToMultiplesOfEight", {"init", "run:\tx\t= ;"}, 0, "3\t<untouched>\n",
     "1: SyntaxError: expected expression, got ';':\n1: \tx\t= ;\n1: " + Dots(18) + "^\n"},
    {"SyntaxErrorOnALaterLine", {"init", "run:1;\n2;\nfoo("}, 0, "3\t<untouched>\n",
     "3: SyntaxError: expected expression, got end of script:\n3: foo(\n3: " + Dots(4) + "^\n"},
    {"RuntimeErrorOneLine", {"init", "run:y + 1", "run:'after'"}, 0, "3\t<untouched>\n0\tafter\n",
     "1: ReferenceError: y is not defined\n"},
    {"RuntimeErrorOnALaterLine", {"init", "run:1;\nundefinedName"}, 0, "3\t<untouched>\n",
     "2: ReferenceError: undefinedName is not defined\n"},
    {"ThrownValue", {"init", "run:throw 5"}, 0, "3\t<untouched>\n", "1: uncaught exception: 5\n"},
    {"EveryMessageLineGetsThePrefix", {"init", "run:throw new Error('a\\nb')"}, 0,
     "3\t<untouched>\n", "1: Error: a\n1: b\n"},
    {"Windows1250NameInAMessage", {"init", "run:\xe8\xedslo + 1"}, 0, "3\t<untouched>\n",
     "1: ReferenceError: \xe8\xedslo is not defined\n"},  // "číslo"
    {"RunawayRecursionIsAnError", {"init", "run:function f() { return f(); } f()", "run:1"}, 0,
     "3\t<untouched>\n0\t1\n", "1: InternalError: too much recursion\n"},
    {"DeepRecursionHasTheWholeStack",
     {"init", "run:function d(n) { return n == 0 ? 0 : 1 + d(n - 1); } d(20000)"}, 0,
     "0\t20000\n", ""},
    {"LongRunIsInterrupted",
     {"init", "limit:200", "run:while (true) {}", "timedout", "run:1", "timedout"}, 0,
     "3\t<untouched>\ntimed out 1\n0\t1\ntimed out 0\n", kTimeoutReport},
    // The watchdog sleeps until the first command's deadline, before the second's.
    {"LongRunAfterAShortOneIsInterrupted",
     {"init", "limit:200", "run:1", "run:while (true) {}", "run:1"}, 0,
     "0\t1\n3\t<untouched>\n0\t1\n", kTimeoutReport},
    // A script holding more than 8 MiB stops, or fails when it ended first
    // (its value is written all the same: these give none, so that both read
    // alike); the engine starts afresh without what the scripts stored.
    {"ArraysPastTheMemoryLimit",
     {"init", "cap:128", "run:var a = []; for (;;) a.push(new Array(1e5).fill(1))", "timedout",
      "run:1+1"},
     0, "3\t<untouched>\ntimed out 0\n0\t2\n", kMemoryReport},
    {"GrowingStringPastTheMemoryLimit",
     {"init", "cap:128", "run:var s = 'x'; for (;;) { s += s; s.indexOf('y'); }",
      "run:typeof s + new Array(5e5).fill(1).length"},
     0, "3\t<untouched>\n0\tundefined500000\n", kMemoryReport},
    {"NewArrayPastTheMemoryLimit",
     {"init", "run:var a = new Array(2**25).fill(1)", "memoryreset", "heapunder:64",
      "run:1+1", "memoryreset"},
     0, "3\t<untouched>\nmemory reset 1\nheap under 64 MiB\n0\t2\nmemory reset 0\n",
     kMemoryReport},
    {"TypedArrayPastTheMemoryLimit",
     {"init", "run:var t = new Uint8Array(2**28)", "heapunder:64", "run:t.fill(1)", "run:1+1"},
     0, "3\t<untouched>\nheap under 64 MiB\n3\t<untouched>\n0\t2\n",
     kMemoryReport + "1: ReferenceError: t is not defined\n"},
    {"NamesPastTheMemoryLimit",
     {"init", "run:var o = {}; for (var i = 0; i < 20; i++) o['x'.repeat(1e7) + i] = 1; undefined",
      "heapunder:64", "run:1+1"},
     0, "3\t<untouched>\nheap under 64 MiB\n0\t2\n", kMemoryReport},
    {"WebAssemblyMemoryPastTheMemoryLimit",
     {"init", "run:var w = new WebAssembly.Memory({initial: 4000})", "run:typeof w"}, 0,
     "3\t<untouched>\n0\tundefined\n", kMemoryReport},
    // What functions keep: their source text and compiled data.
    {"FunctionsFromEvalPastTheMemoryLimit",
     {"init", "cap:256", "run:" + kLongText + "for (var i = 0; i < 300; i++) " + kEvalFunctions,
      "memoryreset", "heapunder:4", "run:typeof fs"},
     0, "3\t<untouched>\nmemory reset 1\nheap under 4 MiB\n0\tundefined\n", kMemoryReport},
    {"FunctionsFromNewFunctionPastTheMemoryLimit",
     {"init", "cap:256", "run:" + kLongText + "for (var i = 0; i < 300; i++) " + kNewFunctions,
      "memoryreset", "heapunder:4", "run:typeof fs"},
     0, "3\t<untouched>\nmemory reset 1\nheap under 4 MiB\n0\tundefined\n", kMemoryReport},
    {"FunctionsWithoutEndPastTheMemoryLimit",
     {"init", "cap:256", "run:" + kLongText + "for (var i = 0;; i++) " + kNewFunctions,
      "timedout", "heapunder:4", "run:1+1"},
     0, "3\t<untouched>\ntimed out 0\nheap under 4 MiB\n0\t2\n", kMemoryReport},
    // A document's 6 MB and a full cache of compiled commands pass the limit
    // together: the cache goes, the document stays.
    {"FullScriptCacheGoesFirst",
     AfterAFullScriptCache({"init", "run:var keep = new Array(7.5e5).fill(1); 0"},
                           {"run:var more = new Array(2e5).fill(2); 0", "memoryreset",
                            "run:keep.length + more.length"}),
     0, "0\t0\n" + Times(4096, "0\t<untouched>\n") + "0\t0\nmemory reset 0\n0\t950000\n", ""},
    // The natives and the standard classes come back; the version number stays.
    {"FreshStartAfterTheMemoryLimit",
     {"init", "run:var kept = 1; version(4); clear(); typeof version",
      "run:var t = 'x'.repeat(2**28); t.indexOf('y'); undefined",
      "run:[typeof kept, typeof t, typeof version, typeof Object, version()].join()"},
     0, "0\tundefined\n3\t<untouched>\n0\tundefined,undefined,function,function,4\n",
     kMemoryReport},
    {"WarningLeavesTheCode", {"init", std::string("run:") + kAsmScript, "run:2"}, 0,
     "0\t1\n0\t2\n", kAsmWarning},
    {"CreateVarWithABadValue", {"init", "var:z="}, 0, "3\n",
     "1: SyntaxError: expected expression, got end of script:\n1: var z=\n1: " + Dots(6) + "^\n"},
    {"CreateVarHasItsOwnCode", {"init", "run:x = ;", "var:ok=1"}, 0, "3\t<untouched>\n0\n",
     "1: SyntaxError: expected expression, got ';':\n1: x = ;\n1: " + Dots(4) + "^\n"},

    // A text run again behaves as it did the first time: the same side
    // effects, failures and reports.
    {"SameTextRunsAgainInFull",
     {"init", std::string("run:") + kRerunScript, std::string("run:") + kRerunScript}, 0,
     "0\t1,1,1,1\n0\t2,1,1,1\n", ""},
    {"LetDeclaredAgainFails", {"init", "run:let once = 1", "run:let once = 1"}, 0,
     "0\t<untouched>\n3\t<untouched>\n", "1: SyntaxError: redeclaration of let once\n"},
    {"FailedCompileReportsEveryTime", {"init", "run:x = ;", "run:x = ;"}, 0,
     "3\t<untouched>\n3\t<untouched>\n",
     "1: SyntaxError: expected expression, got ';':\n1: x = ;\n1: " + Dots(4) + "^\n"
     "1: SyntaxError: expected expression, got ';':\n1: x = ;\n1: " + Dots(4) + "^\n"},
    {"RunErrorAgainOnItsLine", {"init", "run:1;\nundefinedName", "run:1;\nundefinedName"}, 0,
     "3\t<untouched>\n3\t<untouched>\n",
     "2: ReferenceError: undefinedName is not defined\n"
     "2: ReferenceError: undefinedName is not defined\n"},
    {"CompileWarningEveryTime",
     {"init", std::string("run:") + kAsmScript, std::string("run:") + kAsmScript}, 0,
     "0\t1\n0\t1\n", kAsmWarning + kAsmWarning},
    {"TemplateObjectNewEveryRun", {"init", std::string("run:") + kTemplateScript,
                                   std::string("run:") + kTemplateScript}, 0,
     "0\tfalse\n0\tfalse\n", ""},
    {"LongRunAgainIsInterrupted",
     {"init", "limit:200", "run:while (true) {}", "run:while (true) {}", "timedout"}, 0,
     "3\t<untouched>\n3\t<untouched>\ntimed out 1\n", kTimeoutReport + kTimeoutReport},
    {"QuitOnTheSecondRun",
     {"init", "run:if (typeof q == 'number') quit(q); var q = 4",
      "run:if (typeof q == 'number') quit(q); var q = 4"},
     4, "0\t<untouched>\n", ""},

    // Natives.
    {"VersionReadsAndSets",
     {"init", "run:version()", "run:version(5)", "run:version()", "run:version(1.5)",
      "run:version()"},
     0, "0\t0\n0\t0\n0\t5\n0\t5\n0\t5\n", ""},
    {"InternHasNoValue", {"init", "run:intern('x')", "run:intern()"}, 0,
     "0\t<untouched>\n0\t<untouched>\n", ""},
    {"ClearKeepsVarDeclarationsAndNaN",
     {"init", "run:var v = 1; w = 2; clear(); typeof Object + typeof v + typeof w + "
              "typeof version + NaN"},
     0, "0\tundefinednumberundefinedundefinedNaN\n", ""},
    {"ClearAnArgument",
     {"init", "run:var o = {a: 1, b: 2}; clear(o); Object.keys(o).length + typeof version"}, 0,
     "0\t0function\n", ""},
    {"ClearTheObjectItIsCalledOn",
     {"init", "run:var o = {a: 1, clear: clear}; o.clear(); typeof o.a + typeof version"}, 0,
     "0\tundefinedfunction\n", ""},
    {"ClearUndefinedIsATypeError", {"init", "run:clear(undefined)"}, 0, "3\t<untouched>\n",
     "1: TypeError: can't convert undefined to object\n"},
    {"QuitWithABadStatusIsAnError",
     {"init", "run:quit({valueOf: function() { throw 2; }})", "run:1"}, 0,
     "3\t<untouched>\n0\t1\n", "1: uncaught exception: 2\n"},

    // Ending the process.
    {"QuitEndsWithItsStatus", {"init", "run:quit(7)", "run:1"}, 7, "", ""},
    {"QuitWithoutStatus", {"init", "run:quit()"}, 0, "", ""},
    {"QuitConvertsItsStatus", {"init", "run:quit('3')"}, 3, "", ""},
    {"QuitCannotBeCaught", {"init", "run:try { quit(6); } catch (e) { 1; } finally { quit(9); }"},
     6, "", ""},
    {"QuitWhilePrintingTheValue", {"init", "run:({toString: function() { quit(4); }})"}, 4, "",
     ""},
    {"QuitWhileReportingAnError", {"init", "run:throw {toString: function() { quit(5); }}"}, 5,
     "", "1: uncaught exception: unknown (can't convert to string)\n"},
    {"ExitWithALiveEngine", {"init", "run:1", "exit:0"}, 0, "0\t1\n", ""},
    {"ReturnFromMainWithALiveEngine", {"init", "run:1"}, 0, "0\t1\n", ""},
    {"ExitAfterDestroy", {"init", "destroy", "exit:5"}, 5, "", ""},

    // Calls without a running engine.
    {"CommandBeforeInit", {"run:1", "var:a=1", "init", "run:1"}, 0, "3\t<untouched>\n3\n0\t1\n",
     ""},
    {"CommandAfterDestroy", {"init", "destroy", "run:1", "destroy"}, 0, "3\t<untouched>\n", ""},
};

class ProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ProbeTest, OutputsAndStatus) {
  std::vector<std::string> argv = GetParam().steps;
  argv.insert(argv.begin(), MAVETTE_PROBE_PATH);
  ChildResult result = RunChild(argv, "", kTimeoutMs);
  ASSERT_FALSE(result.timedOut);
  ASSERT_TRUE(result.exited) << "signal " << result.status << "\n" << result.err;
  EXPECT_EQ(GetParam().status, result.status);
  EXPECT_EQ(GetParam().out, result.out);
  EXPECT_EQ(GetParam().err, result.err);
}

INSTANTIATE_TEST_SUITE_P(Probe, ProbeTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<ProbeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(MavetteExports, OnlyTheLibraryFunctions) {
  ChildResult result =
      RunChild({"/usr/bin/nm", "-D", "--defined-only", MAVETTE_LIBRARY_PATH}, "", kTimeoutMs);
  ASSERT_TRUE(result.exited);
  ASSERT_EQ(0, result.status) << result.err;
  std::set<std::string> names;
  std::istringstream lines(result.out);
  std::string address, type, name;
  while (lines >> address >> type >> name) {
    EXPECT_EQ("T", type) << name;
    names.insert(name);
  }
  EXPECT_EQ((std::set<std::string>{"EEcommand", "EEcommandN", "EEcreateVar", "EEdestroy",
                                   "EEinit", "EEmemoryReset", "EEsetQuitHandler",
                                   "EEsetTimeLimit", "EEtimedOut"}),
            names);
}

}  // namespace
