// bench_quorvane: what a turn of the dialog manager server costs.
//
//   bench_quorvane [path of Quorvane]    (default: Quorvane beside this program)
//
// In a temporary folder it writes VoiceXML 1.0 documents, each making one
// request to the peer per turn (prompts in one block; one block per prompt; a
// dialog loop of two forms that speak, count, test and jump to each other; a
// document loop that loads itself, counting in its application root), and
// runs Quorvane on each as a real process against a built-in bridge that
// answers every request with "OK" at once. The same messages are then played
// over loopback by a child process of this program (the floor: the cost of
// the link alone). Each run is done five times.
//
// It prints, per document: microseconds per turn in the steady state (turns
// 101 to the last; min and median of the five runs, for Quorvane and for the
// floor), the difference and the ratio of the medians; what a caller pays
// early in a call (the median turn among turns 2 to 100, for Quorvane and the
// floor, and the difference); the time from "Begin" to the first request;
// Quorvane's resident memory after 100, 1,000 and 5,000 turns of the dialog
// loop; the time to load a document of 4,400 nested <if> elements; and, in
// this process, one command through the scope layer (script log included)
// against the bare engine (JS::Evaluate of the same text on a context of its
// own), the two sides taking turns.
#include <fcntl.h>
#include <js/CompilationAndEvaluation.h>
#include <js/GlobalObject.h>
#include <js/Initialization.h>
#include <js/Realm.h>
#include <js/SourceText.h>
#include <jsapi.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "interpreter/common/SessionLog.h"
#include "interpreter/document/VxmlDocument.h"
#include "interpreter/document/XmlParser.h"
#include "interpreter/scripts/EcmaScopes.h"
#include "platform/MessageReader.h"
#include "platform/TcpSocket.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr int kTurns = 1000;
constexpr int kMemoryTurns = 5000;
constexpr int kNested = 4400;
constexpr int kCommands = 2000;  // scope-layer commands per timed turn of a side
constexpr int kSideTurns = 21;   // turns of each side
constexpr int kEarlyTurns = 100;  // the turns of a call's start (the first is not timed)
constexpr int kTimeoutMs = 120000;
// The bridge connects when it starts and the hub's first call comes later:
// the pause between connecting and "Begin" lets the server settle.
constexpr int kSettleMs = 250;

const char kEnd[] = "Koniec dialogu";

// Ends the program; the work folder is left for a look.
[[noreturn]] void Fail(const std::string& message) {
  std::cerr << "bench_quorvane: " << message << " (in " << fs::current_path().string() << ")"
            << std::endl;
  std::exit(1);
}

double Microseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::micro>(duration).count();
}

struct Stats {
  double min;
  double median;
};

Stats Summary(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values.front(), values[values.size() / 2]};
}

// ---------------------------------------------------------------- documents

void WriteVxml(const std::string& file, const std::string& body,
               const std::string& rootAttributes = "") {
  std::ofstream(file, std::ios::binary)
      << "<?xml version=\"1.0\"?>\n<vxml version=\"1.0\"" << rootAttributes << ">\n"
      << body << "</vxml>\n";
}

// One turn: speak, count, and while the count is below `turns` jump to `next`.
std::string CountingBlock(const std::string& text, int turns, const std::string& next) {
  return "<block name=\"b\">\n<prompt>" + text + "</prompt>\n" +
         "<assign name=\"n\" expr=\"n + 1\"/>\n<if cond=\"n &lt; " + std::to_string(turns) +
         "\">\n<goto next=\"" + next + "\"/>\n</if>\n</block>\n";
}

void WritePrompts(const std::string& file, int turns) {
  std::string body = "<form id=\"f\">\n<block name=\"b\">\n";
  for (int i = 0; i < turns; ++i) body += "<prompt>Prompt " + std::to_string(i) + "</prompt>\n";
  WriteVxml(file, body + "</block>\n</form>\n");
}

void WriteBlocks(const std::string& file, int turns) {
  std::string body = "<form id=\"f\">\n";
  for (int i = 0; i < turns; ++i) {
    body += "<block name=\"b" + std::to_string(i) + "\">\n<prompt>Block " + std::to_string(i) +
            "</prompt>\n</block>\n";
  }
  WriteVxml(file, body + "</form>\n");
}

void WriteDialogLoop(const std::string& file, int turns) {
  WriteVxml(file, "<var name=\"n\" expr=\"0\"/>\n<form id=\"a\">\n" +
                      CountingBlock("Turn in a", turns, "#b") + "</form>\n<form id=\"b\">\n" +
                      CountingBlock("Turn in b", turns, "#a") + "</form>\n");
}

void WriteDocumentLoop(const std::string& file, int turns) {
  WriteVxml("root.vxml", "<var name=\"n\" expr=\"0\"/>\n");
  WriteVxml(file, "<form id=\"f\">\n" + CountingBlock("Load", turns, file) + "</form>\n",
            " application=\"root.vxml\"");
}

void WriteNested(const std::string& file, int depth) {
  std::string body = "<form id=\"f\">\n<block name=\"b\">\n";
  for (int i = 0; i < depth; ++i) body += "<if cond=\"true\">\n";
  body += "<prompt>deep</prompt>\n";
  for (int i = 0; i < depth; ++i) body += "</if>\n";
  WriteVxml(file, body + "</block>\n</form>\n");
}

// ------------------------------------------------------------ the bridge

// What the bridge saw of one dialogue.
struct Exchange {
  Clock::time_point begin;                  // "Begin" sent
  std::vector<Clock::time_point> arrivals;  // of each request
  std::vector<std::string> requests;
  std::vector<long> residentKb;  // at the requested counts
};

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

platform::TcpConnection Connect(int port) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
  while (Clock::now() < deadline) {
    platform::TcpConnection link = platform::TcpConnection::ConnectLoopback(port);
    if (link.IsOpen()) return link;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  Fail("no server on port " + std::to_string(port));
}

bool SendMessage(platform::TcpConnection& link, const std::string& text) {
  return link.SendAll(text.c_str(), text.size() + 1);
}

// Plays the bridge against the server on the port: sends "Begin" and answers
// every request with "OK" at once until "Koniec dialogu". The server's
// resident memory is read when the request counts in `memoryAt` arrive.
Exchange PlayBridge(int port, pid_t server, const std::vector<int>& memoryAt = {}) {
  platform::TcpConnection link = Connect(port);
  platform::MessageReader reader(
      [&link](char* buffer, std::size_t size) -> long {
        return link.WaitReadable(kTimeoutMs) ? link.Read(buffer, size) : -1;
      },
      1 << 20);
  std::this_thread::sleep_for(std::chrono::milliseconds(kSettleMs));
  Exchange exchange;
  exchange.begin = Clock::now();
  if (!SendMessage(link, "Begin")) Fail("cannot send Begin");
  for (std::string message;;) {
    if (reader.Next(&message) != platform::MessageReader::Result::kMessage) {
      Fail("the link ended before \"Koniec dialogu\"");
    }
    if (message == kEnd) return exchange;
    exchange.arrivals.push_back(Clock::now());
    exchange.requests.push_back(message);
    const int count = static_cast<int>(exchange.requests.size());
    if (std::find(memoryAt.begin(), memoryAt.end(), count) != memoryAt.end()) {
      exchange.residentKb.push_back(ResidentKb(server));
    }
    if (!SendMessage(link, "OK")) Fail("cannot answer a request");
  }
}

// Microseconds per turn in the steady state: from the request that ends the
// early turns to the last, over the turns between them.
double PerTurn(const Exchange& exchange) {
  const std::size_t count = exchange.arrivals.size();
  if (count <= kEarlyTurns + 1) Fail("too few requests");
  return Microseconds(exchange.arrivals.back() - exchange.arrivals[kEarlyTurns - 1]) /
         (count - kEarlyTurns);
}

// The median turn among turns 2 to kEarlyTurns (turn i ends with request i).
double EarlyTurn(const Exchange& exchange) {
  std::vector<double> turns;
  for (int i = 1; i < kEarlyTurns; ++i) {
    turns.push_back(Microseconds(exchange.arrivals[i] - exchange.arrivals[i - 1]));
  }
  return Summary(turns).median;
}

void AwaitExit(pid_t pid) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kTimeoutMs);
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      Fail("a server did not end");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

int FreePort() {
  platform::TcpListener probe;
  if (probe.Listen(0) != platform::ListenError::kNone) Fail("no free port");
  return probe.Port();
}

// ------------------------------------------------------- server and floor

// One dialogue of Quorvane on the document, its console in server.out.
Exchange RunQuorvane(const std::string& quorvane, const std::string& document,
                     const std::vector<int>& memoryAt = {}) {
  const std::string port = std::to_string(FreePort());
  std::vector<std::string> words = {quorvane, "-F", document, "-PORT", port};
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "server.out", O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, quorvane.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) Fail("cannot start " + quorvane);
  Exchange exchange = PlayBridge(std::stoi(port), pid, memoryAt);
  AwaitExit(pid);
  fs::remove_all("log_data");
  return exchange;
}

// The floor: a child process takes "Begin", sends each request and waits for
// its reply, then sends "Koniec dialogu". No thread runs when it forks.
Exchange RunFloor(const std::vector<std::string>& requests) {
  int port = 0;
  pid_t pid = 0;
  {
    platform::TcpListener listener;
    if (listener.Listen(0) != platform::ListenError::kNone) Fail("the floor cannot listen");
    port = listener.Port();
    pid = fork();
    if (pid < 0) Fail("cannot fork the floor");
    if (pid == 0) {
      std::string address;
      platform::TcpConnection link = listener.Accept(&address);
      platform::MessageReader reader(
          [&link](char* buffer, std::size_t size) { return link.Read(buffer, size); }, 1 << 20);
      std::string reply;
      bool ok = reader.Next(&reply) == platform::MessageReader::Result::kMessage;
      for (std::size_t i = 0; ok && i < requests.size(); ++i) {
        ok = SendMessage(link, requests[i]) &&
             reader.Next(&reply) == platform::MessageReader::Result::kMessage;
      }
      _exit(ok && SendMessage(link, kEnd) ? 0 : 1);
    }
  }
  Exchange exchange = PlayBridge(port, pid);
  AwaitExit(pid);
  return exchange;
}

struct Scenario {
  const char* name;
  std::function<void(const std::string& file, int turns)> write;
};

// Five runs of Quorvane and of the floor on one document; prints a row.
void MeasureTurns(const std::string& quorvane, const Scenario& scenario) {
  const std::string file = std::string(scenario.name) + ".vxml";
  scenario.write(file, kTurns);
  std::vector<double> server;
  std::vector<double> floor;
  std::vector<double> serverEarly;
  std::vector<double> floorEarly;
  std::vector<double> firstRequest;
  for (int run = 0; run < kRuns; ++run) {
    Exchange exchange = RunQuorvane(quorvane, file);
    if (exchange.requests.size() != static_cast<std::size_t>(kTurns)) {
      Fail(std::string(scenario.name) + ": " + std::to_string(exchange.requests.size()) +
           " requests instead of " + std::to_string(kTurns) + " (see server.out)");
    }
    server.push_back(PerTurn(exchange));
    serverEarly.push_back(EarlyTurn(exchange));
    firstRequest.push_back(Microseconds(exchange.arrivals.front() - exchange.begin));
    const Exchange floorExchange = RunFloor(exchange.requests);
    floor.push_back(PerTurn(floorExchange));
    floorEarly.push_back(EarlyTurn(floorExchange));
  }
  const Stats s = Summary(server);
  const Stats f = Summary(floor);
  const double early = Summary(serverEarly).median;
  const double floorAtStart = Summary(floorEarly).median;
  const Stats first = Summary(firstRequest);
  std::printf("%-14s %5d %8.1f %8.1f %8.1f %8.1f %8.1f %6.2f %8.1f %8.1f %8.1f %8.2f %8.2f\n",
              scenario.name, kTurns, s.min, s.median, f.min, f.median, s.median - f.median,
              s.median / f.median, early, floorAtStart, early - floorAtStart, first.min / 1000,
              first.median / 1000);
  std::fflush(stdout);
}

void MeasureMemory(const std::string& quorvane) {
  WriteDialogLoop("memory.vxml", kMemoryTurns);
  Exchange exchange = RunQuorvane(quorvane, "memory.vxml", {100, 1000, kMemoryTurns});
  if (exchange.residentKb.size() != 3) Fail("the memory loop ended early");
  std::printf("resident memory, dialog loop: %ld kB at 100 turns, %ld kB at 1,000, %ld kB at "
              "5,000 (1,000 to 5,000: %+ld kB)\n",
              exchange.residentKb[0], exchange.residentKb[1], exchange.residentKb[2],
              exchange.residentKb[2] - exchange.residentKb[1]);
}

void MeasureNestedLoad() {
  WriteNested("nested.vxml", kNested);
  SessionLog log("nested.log");
  std::vector<double> seconds;
  for (int run = 0; run < kRuns; ++run) {
    VxmlDocument document("nested.vxml", &log);
    XmlParser parser(&document.input, &log);
    const Clock::time_point start = Clock::now();
    parser.ParseFile(document);
    seconds.push_back(Microseconds(Clock::now() - start) / 1e6);
  }
  const Stats s = Summary(seconds);
  std::printf("load of %d nested <if>: %.4f s min, %.4f s median\n", kNested, s.min, s.median);
}

// ------------------------------------------------- scope layer and engine

const JSClassOps kGlobalClassOps = {nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, JS_GlobalObjectTraceHook};
const JSClass kGlobalClass = {"global", JSCLASS_GLOBAL_FLAGS, &kGlobalClassOps, nullptr, nullptr,
                              nullptr};

// Runs tasks, one at a time, on a thread of its own: the bare engine's
// context belongs to the thread that made it.
class EngineThread {
 public:
  EngineThread() : thread_([this] { Serve(); }) {}
  ~EngineThread() {
    Call(nullptr);
    thread_.join();
  }

  // Runs the task there and returns once it is done; null ends the thread.
  void Call(std::function<void()> task) {
    std::unique_lock<std::mutex> lock(mutex_);
    task_ = std::move(task);
    pending_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !pending_; });
  }

 private:
  void Serve() {
    for (bool serving = true; serving;) {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return pending_; });
      serving = static_cast<bool>(task_);
      if (serving) task_();
      pending_ = false;
      changed_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> task_;
  bool pending_ = false;
  std::thread thread_;
};

// A bare context of its own with the document object the texts use; each
// text runs by JS::Evaluate (compiled every time), as a plain embedding
// runs it.
class BareEngine {
 public:
  BareEngine() {
    thread_.Call([this] {
      cx_ = JS_NewContext(8L * 1024 * 1024);
      if (!cx_ || !JS::InitSelfHostedCode(cx_)) Fail("no bare engine");
      JS::RealmOptions options;
      global_ = std::make_unique<JS::PersistentRootedObject>(
          cx_, JS_NewGlobalObject(cx_, &kGlobalClass, nullptr, JS::FireOnNewGlobalHook, options));
      previousRealm_ = JS::EnterRealm(cx_, *global_);
      if (!JS::InitRealmStandardClasses(cx_)) Fail("no standard classes");
      Evaluate("var document=new Object(); document.n=0;");
    });
  }
  ~BareEngine() {
    thread_.Call([this] {
      JS::LeaveRealm(cx_, previousRealm_);
      global_.reset();
      JS_DestroyContext(cx_);
    });
  }

  // Microseconds per run of the text, over `calls` runs.
  double TimePerCall(const std::string& text, int calls) {
    double perCall = 0;
    thread_.Call([&] {
      const Clock::time_point start = Clock::now();
      for (int i = 0; i < calls; ++i) Evaluate(text);
      perCall = Microseconds(Clock::now() - start) / calls;
    });
    return perCall;
  }

 private:
  void Evaluate(const std::string& text) {
    JS::CompileOptions compile(cx_);
    JS::RootedValue value(cx_);
    JS::SourceText<mozilla::Utf8Unit> source;
    if (!source.init(cx_, text.c_str(), text.size(), JS::SourceOwnership::Borrowed) ||
        !JS::Evaluate(cx_, compile, source, &value)) {
      Fail("the bare engine failed on " + text);
    }
  }

  JSContext* cx_ = nullptr;
  std::unique_ptr<JS::PersistentRootedObject> global_;
  JS::Realm* previousRealm_ = nullptr;
  EngineThread thread_;  // last: it goes first
};

// Microseconds per call of `command`, over `calls` calls.
double TimePerCall(int calls, const std::function<void()>& command) {
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < calls; ++i) command();
  return Microseconds(Clock::now() - start) / calls;
}

// The layer's and the bare engine's turns alternate; prints the median turn
// of each side (microseconds per command) and the median of the turns'
// ratios, layer over bare.
void CompareTurns(const char* what, int calls, const std::function<void()>& layer,
                  const std::function<double()>& bare) {
  std::vector<double> layerTurns;
  std::vector<double> bareTurns;
  std::vector<double> ratios;
  for (int turn = 0; turn < kSideTurns; ++turn) {
    layerTurns.push_back(TimePerCall(calls, layer));
    bareTurns.push_back(bare());
    ratios.push_back(layerTurns.back() / bareTurns.back());
  }
  std::printf("%-44s %8.2f %8.2f %7.2f\n", what, Summary(layerTurns).median,
              Summary(bareTurns).median, Summary(ratios).median);
}

void CompareScopeLayer() {
  const std::string text = "document.n = document.n + 1";
  const std::string expanded = "document.n=document.n + 1";  // what FillVariable runs
  EcmaScopes scopes;
  scopes.CreateSessionScopes();
  scopes.CreateDocumentScopes();
  scopes.CreateVariableWithValue("n", "0", "document");
  BareEngine bare;
  std::string result;
  std::printf("\nus per command, %d turns of each side taking turns   layer     bare   ratio\n"
              "(medians)\n",
              kSideTurns);
  CompareTurns(("ExecuteCommand \"" + text + "\"").c_str(), kCommands,
               [&] { scopes.ExecuteCommand(text, &result, false); },
               [&] { return bare.TimePerCall(text, kCommands); });
  CompareTurns("FillVariable n = n + 1 (7 engine commands)", kCommands / 7,
               [&] { scopes.FillVariable("n", "n + 1", "dialog"); },
               [&] { return bare.TimePerCall(expanded, kCommands / 7); });
}

std::string DefaultQuorvane() {
  return (fs::read_symlink("/proc/self/exe").parent_path() / "Quorvane").string();
}

}  // namespace

int main(int argc, char** argv) {
  const std::string quorvane = argc > 1 ? fs::absolute(argv[1]).string() : DefaultQuorvane();
  if (!fs::exists(quorvane)) Fail("no program " + quorvane);
  signal(SIGPIPE, SIG_IGN);
  const fs::path work = fs::temp_directory_path() / ("bench_quorvane." + std::to_string(getpid()));
  fs::create_directories(work / "Quorvane");
  fs::current_path(work);

  std::printf("Quorvane: %s\n%d runs each; us per turn (floor: the same messages alone): "
              "steady state (turns 101-%d) and the median of turns 2-100;\n"
              "ms from \"Begin\" to the first request\n",
              quorvane.c_str(), kRuns, kTurns);
  std::printf("%-14s %5s %8s %8s %8s %8s %8s %6s %8s %8s %8s %8s %8s\n", "document", "turns",
              "steady", "steady", "floor", "floor", "above", "ratio", "turns", "floor", "above",
              "first", "first");
  std::printf("%-14s %5s %8s %8s %8s %8s %8s %6s %8s %8s %8s %8s %8s\n", "", "", "min", "median",
              "min", "median", "floor", "", "2-100", "2-100", "floor", "min", "median");
  const Scenario scenarios[] = {{"prompts", WritePrompts},
                                {"blocks", WriteBlocks},
                                {"dialog_loop", WriteDialogLoop},
                                {"document_loop", WriteDocumentLoop}};
  for (const Scenario& scenario : scenarios) MeasureTurns(quorvane, scenario);
  std::printf("\n");
  MeasureMemory(quorvane);
  MeasureNestedLoad();
  CompareScopeLayer();

  fs::current_path(work.parent_path());
  fs::remove_all(work);
  return 0;
}
