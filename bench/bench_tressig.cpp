// Measures the hub bridge Tressig per relay turn and while idle, against a
// floor: the same message exchange over loopback by a minimal relay in a
// process of its own. See README.md.
//
// A relay turn: the fake hub calls "AfterPlaying"; the relay sends "OK" to a
// fake dialog manager, which answers at once with a prompt; the relay sends
// the hub "dialog" :synthetise and "SetProperty" :timeout, each awaiting the
// hub's reply, then replies to the call.
#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/io/Xdr.h"
#include "libhub/util/Print.h"
#include "platform/MessageReader.h"
#include "platform/TcpSocket.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/FakeDialogManager.h"
#include "tests/support/FakeHub.h"
#include "tests/support/FreePort.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 10000;
constexpr char kPrompt[] = "Synt\t:text Dobry den, vitajte\t:bargein false\t:timeout 5";

// ---- the floor: a minimal relay with blocking sockets ----

// One hub connection of the floor: whole messages in, whole messages out.
class FloorLink {
 public:
  explicit FloorLink(int socket) : socket_(socket) {}
  // The next message's frame (the caller owns it), or null.
  Hub_Frame* Read() {
    while (buffer_.size() < 8 || buffer_.size() < 8 + DataLength()) {
      char bytes[65536];
      long got = recv(socket_, bytes, sizeof bytes, 0);
      if (got <= 0) return nullptr;
      buffer_.append(bytes, static_cast<size_t>(got));
    }
    size_t length = DataLength();
    int32_t type = 0;
    int32_t size = 0;
    uintptr_t value = 0;
    int decoded = HubIO_DecodeElement(buffer_.data() + 8, static_cast<int32_t>(length), &type,
                                      &value, &size);
    buffer_.erase(0, 8 + length);
    return decoded && type == HUB_FRAME ? reinterpret_cast<Hub_Frame*>(value) : nullptr;
  }
  bool Write(const Hub_Frame* frame, int32_t messageType) {
    int32_t length = 0;
    char* data = HubIO_EncodeFrame(frame, &length);
    uint32_t header[2] = {htonl(static_cast<uint32_t>(messageType)),
                          htonl(static_cast<uint32_t>(length))};
    std::string bytes(reinterpret_cast<char*>(header), 8);
    bytes.append(data, static_cast<size_t>(length));
    free(data);
    return send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<long>(bytes.size());
  }

 private:
  size_t DataLength() const {
    uint32_t length = 0;
    memcpy(&length, buffer_.data() + 4, 4);
    return ntohl(length);
  }
  int socket_;
  std::string buffer_;
};

// The field values of a dialog manager message ("Synt\t:key value\t...").
std::vector<std::string> FieldValues(const std::string& message) {
  std::vector<std::string> values;
  std::stringstream fields(message);
  std::string field;
  std::getline(fields, field, '\t');
  while (std::getline(fields, field, '\t')) {
    size_t blank = field.find(' ');
    values.push_back(blank == std::string::npos ? "" : field.substr(blank + 1));
  }
  return values;
}

// Sends {c name keys} stamped for a reply and reads the reply.
bool FloorCall(FloorLink& hub, Hub_Frame* frame) {
  HubIO_StampMessage(frame, ":reply_requested");
  bool sent = hub.Write(frame, HUB_MESSAGE_MSG_TYPE);
  Hub_DestroyFrame(frame);
  Hub_Frame* reply = sent ? hub.Read() : nullptr;
  Hub_DestroyFrame(reply);
  return reply != nullptr;
}

int RunFloor(int port, int dmPort) {
  Hub_InitializeStatics();
  HubUtil_SetVerbosity(0);
  HubUtil_Socket listener = HubUtil_ServerSocket(port, 5);
  platform::TcpConnection dm = platform::TcpConnection::ConnectLoopback(dmPort);
  platform::MessageReader reader([&](char* b, size_t n) { return dm.Read(b, n); }, 1 << 20);
  char peer[HUBUTIL_IPV4_TEXT_SIZE];
  HubUtil_Socket socket = -1;
  if (listener < 0 || !dm.IsOpen() || HubUtil_Accept(listener, peer, &socket, 1) != 1) return 1;
  FloorLink hub(socket);
  Hub_DestroyFrame(hub.Read());  // the handshake
  Hub_Frame* answer = Hub_MakeFrame("DM");
  hub.Write(answer, HUB_REPLY_MSG_TYPE);
  Hub_DestroyFrame(answer);
  for (;;) {
    Hub_Frame* call = hub.Read();
    std::string message;
    if (!call || !dm.SendAll("OK", 3) ||
        reader.Next(&message) != platform::MessageReader::Result::kMessage) {
      return 0;
    }
    std::vector<std::string> values = FieldValues(message);
    values.resize(3);
    Hub_Frame* dialog = Hub_MakeFrame("dialog");
    Hub_SetFrameProperty(dialog, ":synthetise", Hub_MakeStringObject(""));
    Hub_SetFrameProperty(dialog, ":text", Hub_MakeStringObject(values[0].c_str()));
    Hub_SetFrameProperty(dialog, ":bargein", Hub_MakeStringObject(values[1].c_str()));
    Hub_Frame* property = Hub_MakeFrame("SetProperty");
    Hub_SetFrameProperty(property, ":timeout", Hub_MakeIntObject(atoi(values[2].c_str())));
    if (!FloorCall(hub, dialog) || !FloorCall(hub, property) ||
        !hub.Write(call, HUB_REPLY_MSG_TYPE)) {
      return 0;
    }
    Hub_DestroyFrame(call);
  }
}

// ---- the process under test ----

// A relay process (Tressig or the floor) with its console drained into a
// counter, like a terminal that reads everything at once.
class Relay {
 public:
  Relay(const std::vector<std::string>& argv) {
    int console[2];
    if (pipe(console) != 0) throw std::runtime_error("no pipe");
    int in = open("/dev/null", O_RDONLY);
    pid_ = testsupport::SpawnProgram(argv, in, console[1], console[1]);
    close(in);
    close(console[1]);
    drain_ = std::thread([this, fd = console[0]] {
      char bytes[4096];
      long got;
      while ((got = read(fd, bytes, sizeof bytes)) > 0) {
        consoleBytes_ += got;
        ++consoleReads_;
      }
      close(fd);
    });
  }
  ~Relay() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    drain_.join();
  }
  int Pid() const { return pid_; }
  long ConsoleBytes() const { return consoleBytes_; }

 private:
  int pid_ = -1;
  std::thread drain_;
  std::atomic<long> consoleBytes_{0};
  std::atomic<long> consoleReads_{0};
};

std::vector<int> Threads(int pid) {
  std::vector<int> tids;
  std::string folder = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = dir ? readdir(dir) : nullptr) {
    if (entry->d_name[0] != '.') tids.push_back(atoi(entry->d_name));
  }
  if (dir) closedir(dir);
  return tids;
}

// Processor time of every thread of the process, in microseconds
// (/proc/<pid>/task/<tid>/schedstat, nanoseconds on the processor).
double CpuMicros(int pid) {
  double total = 0;
  for (int tid : Threads(pid)) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) +
                       "/schedstat");
    double nanoseconds = 0;
    stat >> nanoseconds;
    total += nanoseconds / 1000;
  }
  return total;
}

// utime + stime of the process in milliseconds (/proc/<pid>/stat).
double StatMillis(int pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += atof(field.c_str());
  }
  return ticks * 1000.0 / sysconf(_SC_CLK_TCK);
}

// Voluntary context switches of every thread: how often it went to sleep.
long Sleeps(int pid) {
  long total = 0;
  for (int tid : Threads(pid)) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/task/" + std::to_string(tid) +
                         "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0) total += atol(line.c_str() + 24);
    }
  }
  return total;
}

// ---- counting system calls without outside tools ----

// Traces every thread of a process from a thread of its own (ptrace) and
// counts the system calls they enter while counting is on. The process must
// be the only child process left: the tracer reaps it.
class SyscallCounter {
 public:
  explicit SyscallCounter(int pid) : pid_(pid) {
    thread_ = std::thread(&SyscallCounter::Trace, this);
    while (!attached_) std::this_thread::yield();
  }
  ~SyscallCounter() { Stop(); }
  // Ends the process, and with it the tracing.
  void Stop() {
    if (!thread_.joinable()) return;
    kill(pid_, SIGKILL);
    thread_.join();
  }
  void Count(bool on) { counting_ = on; }
  bool Failed() const { return failed_; }
  std::map<long, long> Counts() const { return counts_; }

 private:
  void Trace() {
    for (int tid : Threads(pid_)) {
      if (ptrace(PTRACE_SEIZE, tid, 0, PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACECLONE) != 0 ||
          ptrace(PTRACE_INTERRUPT, tid, 0, 0) != 0) {
        perror("ptrace");
        failed_ = true;
      }
    }
    attached_ = true;
    if (failed_) return;
    for (;;) {
      int status = 0;
      int tid = waitpid(-1, &status, __WALL);
      if (tid < 0) return;
      if (WIFEXITED(status) || WIFSIGNALED(status)) {
        if (tid == pid_) return;
        continue;
      }
      int signal = 0;
      if (WSTOPSIG(status) == (SIGTRAP | 0x80)) {
        __ptrace_syscall_info info{};
        if (counting_ &&
            ptrace(PTRACE_GET_SYSCALL_INFO, tid, sizeof info, &info) > 0 &&
            info.op == PTRACE_SYSCALL_INFO_ENTRY) {
          ++counts_[static_cast<long>(info.entry.nr)];
        }
      } else if ((status >> 16) == 0) {
        signal = WSTOPSIG(status);  // a signal for the process: pass it on
      }
      ptrace(PTRACE_SYSCALL, tid, 0, signal);
    }
  }
  int pid_;
  std::thread thread_;
  std::atomic<bool> attached_{false};
  std::atomic<bool> counting_{false};
  bool failed_ = false;
  std::map<long, long> counts_;
};

std::string SyscallName(long number) {
  static const std::map<long, const char*> kNames = {
      {SYS_read, "read"},          {SYS_write, "write"},
      {SYS_recvfrom, "recvfrom"},  {SYS_sendto, "sendto"},
      {SYS_poll, "poll"},          {SYS_ppoll, "ppoll"},
      {SYS_select, "select"},      {SYS_pselect6, "pselect6"},
      {SYS_fcntl, "fcntl"},        {SYS_futex, "futex"},
      {SYS_nanosleep, "nanosleep"}, {SYS_clock_nanosleep, "clock_nanosleep"},
      {SYS_clock_gettime, "clock_gettime"}, {SYS_gettimeofday, "gettimeofday"},
      {SYS_getpid, "getpid"},      {SYS_gettid, "gettid"},
      {SYS_writev, "writev"},      {SYS_recvmsg, "recvmsg"},
      {SYS_sendmsg, "sendmsg"},    {SYS_accept, "accept"},
      {SYS_accept4, "accept4"},    {SYS_rt_sigprocmask, "rt_sigprocmask"},
      {SYS_epoll_wait, "epoll_wait"}, {SYS_brk, "brk"},
      {SYS_mmap, "mmap"},          {SYS_munmap, "munmap"},
      {SYS_getsockopt, "getsockopt"}, {SYS_setsockopt, "setsockopt"},
  };
  auto found = kNames.find(number);
  return found != kNames.end() ? found->second : "#" + std::to_string(number);
}

// ---- driving the turns ----

struct Side {
  const char* name;
  std::vector<std::string> argv;  // {port} and {dm} are filled in
};

std::vector<std::string> Fill(const Side& side, int port, int dmPort) {
  std::vector<std::string> argv;
  for (const std::string& word : side.argv) {
    argv.push_back(word == "{port}" ? std::to_string(port)
                   : word == "{dm}" ? std::to_string(dmPort)
                                    : word);
  }
  return argv;
}

std::vector<testsupport::DmStep> Script(int turns) {
  std::vector<testsupport::DmStep> script;
  for (int i = 0; i < turns; ++i) {
    script.push_back(testsupport::Await());
    script.push_back(testsupport::Say(kPrompt));
  }
  return script;
}

// One relay with its dialog manager and hub, connected.
struct Rig {
  Rig(const Side& side, int turns) {
    dm.Play(Script(turns));
    int port = testsupport::FreePort();
    relay = std::make_unique<Relay>(Fill(side, port, dm.Port()));
    auto until = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!hub.ConnectToServer(port, kWaitMs) && Clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!hub.Connected()) throw std::runtime_error(std::string(side.name) + " did not start");
  }
  // Runs the turns: false when one failed.
  bool Turns(int count) {
    for (int i = 0; i < count; ++i) {
      if (!hub.Call("AfterPlaying", {}, kWaitMs)) return false;
    }
    return true;
  }
  testsupport::FakeDialogManager dm;
  testsupport::FakeHub hub;
  std::unique_ptr<Relay> relay;
};

// What the hub received after the handshake, one frame a line, without the
// transaction indices.
std::vector<std::string> FrameLines(const testsupport::FakeHub& hub) {
  std::vector<std::string> lines;
  std::vector<testsupport::ReceivedFrame> frames = hub.Received();
  for (size_t i = 1; i < frames.size(); ++i) lines.push_back(testsupport::FrameLine(frames[i]));
  return lines;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

struct TurnCost {
  double wallMicros = 0;  // per turn, median of the rounds
  double cpuMicros = 0;   // the relay's processor time per turn, median of the rounds
  double consoleBytes = 0;
};

// Rounds of turns on both sides in turn, so that both meet the same load.
void MeasureTurns(Rig& bridge, Rig& floor, int rounds, int turns, TurnCost* bridgeCost,
                  TurnCost* floorCost) {
  std::vector<double> wall[2], cpu[2];
  Rig* rigs[2] = {&bridge, &floor};
  long consoleBefore = bridge.relay->ConsoleBytes();
  for (int round = 0; round < rounds; ++round) {
    for (int side = 0; side < 2; ++side) {
      Rig& rig = *rigs[side];
      double cpuBefore = CpuMicros(rig.relay->Pid());
      auto start = Clock::now();
      if (!rig.Turns(turns)) throw std::runtime_error("a turn failed");
      double elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
      wall[side].push_back(elapsed / turns);
      cpu[side].push_back((CpuMicros(rig.relay->Pid()) - cpuBefore) / turns);
    }
  }
  *bridgeCost = {Median(wall[0]), Median(cpu[0]),
                 double(bridge.relay->ConsoleBytes() - consoleBefore) / (rounds * turns)};
  *floorCost = {Median(wall[1]), Median(cpu[1]), 0};
}

// System calls per turn, counted in a rig of their own.
std::map<long, long> CountSyscalls(const Side& side, int turns, bool* ok) {
  Rig rig(side, turns + 11);
  rig.Turns(10);
  SyscallCounter counter(rig.relay->Pid());
  rig.Turns(1);  // the tracer is in place
  counter.Count(true);
  *ok = !counter.Failed() && rig.Turns(turns);
  counter.Count(false);
  counter.Stop();
  return counter.Counts();
}

void PrintSyscalls(const char* name, const std::map<long, long>& counts, int turns) {
  long total = 0;
  std::vector<std::pair<long, long>> byCount;
  for (const auto& [number, count] : counts) {
    total += count;
    byCount.emplace_back(count, number);
  }
  std::sort(byCount.rbegin(), byCount.rend());
  printf("%-8s %6.1f system calls per turn:", name, double(total) / turns);
  for (const auto& [count, number] : byCount) {
    printf(" %s %.1f", SyscallName(number).c_str(), double(count) / turns);
  }
  printf("\n");
}

// The relay's processor time while nothing happens for `seconds`.
void MeasureIdle(const char* what, int pid, int seconds) {
  double cpuBefore = CpuMicros(pid);
  double statBefore = StatMillis(pid);
  long sleepsBefore = Sleeps(pid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  double cpuMs = (CpuMicros(pid) - cpuBefore) / 1000;
  double statMs = StatMillis(pid) - statBefore;
  printf("idle %-22s %5d s: %8.1f ms processor time (utime+stime %.0f ms), %.2f%% of a core, "
         "%.0f wake-ups a second\n",
         what, seconds, cpuMs, statMs, cpuMs / (seconds * 10.0),
         double(Sleeps(pid) - sleepsBefore) / seconds);
}

// The timed rounds of both sides, then the bridge idle between turns.
void MeasureBoth(const Side& bridgeSide, const Side& floorSide, int rounds, int turns,
                 int idleSeconds) {
  int warmup = 50;
  Rig bridge(bridgeSide, warmup + rounds * turns);
  Rig floor(floorSide, warmup + rounds * turns);
  if (!bridge.Turns(warmup) || !floor.Turns(warmup)) throw std::runtime_error("warm-up failed");
  bool same = FrameLines(bridge.hub) == FrameLines(floor.hub);
  printf("frames the hub received after the handshake: %s\n",
         same ? "the same from both" : "DIFFERENT (the floor is no fair floor)");
  TurnCost bridgeCost, floorCost;
  MeasureTurns(bridge, floor, rounds, turns, &bridgeCost, &floorCost);
  printf("%d rounds of %d turns, medians per turn:\n", rounds, turns);
  printf("%-8s %8.1f us wall, %8.1f us processor, %6.1f console bytes\n", "Tressig",
         bridgeCost.wallMicros, bridgeCost.cpuMicros, bridgeCost.consoleBytes);
  printf("%-8s %8.1f us wall, %8.1f us processor\n", "floor", floorCost.wallMicros,
         floorCost.cpuMicros);
  printf("ratio    %8.2f wall, %8.2f processor\n", bridgeCost.wallMicros / floorCost.wallMicros,
         bridgeCost.cpuMicros / floorCost.cpuMicros);
  MeasureIdle("Tressig, between turns", bridge.relay->Pid(), idleSeconds);
}

int Run(const std::string& tressig, int rounds, int turns, int countTurns, int idleSeconds) {
  std::string self = testsupport::BinPath("bench_tressig");
  Side bridgeSide{"Tressig", {tressig, "-PORT", "{dm}", "-port", "{port}"}};
  Side floorSide{"floor", {self, "--floor", "{port}", "{dm}"}};

  {
    // Idle before any hub: the bridge has only its dialog manager and its listener.
    testsupport::FakeDialogManager dm;
    dm.Play({});
    Relay idle(Fill(bridgeSide, testsupport::FreePort(), dm.Port()));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // start-up settles
    MeasureIdle("Tressig, no hub", idle.Pid(), idleSeconds);
  }

  MeasureBoth(bridgeSide, floorSide, rounds, turns, idleSeconds);
  for (const Side* side : {&bridgeSide, &floorSide}) {
    bool ok = false;
    std::map<long, long> counts = CountSyscalls(*side, countTurns, &ok);
    if (!ok) {
      printf("%-8s system calls not counted (ptrace refused, or a turn failed)\n", side->name);
      continue;
    }
    PrintSyscalls(side->name, counts, countTurns);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && strcmp(argv[1], "--floor") == 0) return RunFloor(atoi(argv[2]), atoi(argv[3]));
  int rounds = argc > 1 ? atoi(argv[1]) : 5;
  int turns = argc > 2 ? atoi(argv[2]) : 400;
  int idleSeconds = argc > 3 ? atoi(argv[3]) : 10;
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  HubUtil_SetVerbosity(1);  // no warnings while the relay is not listening yet
  try {
    std::string tressig = argc > 4 ? argv[4] : testsupport::BinPath("Tressig");
    return Run(tressig, std::max(rounds, 1), std::max(turns, 1), 200, std::max(idleSeconds, 1));
  } catch (const std::exception& error) {
    fprintf(stderr, "bench_tressig: %s\n", error.what());
    return 1;
  }
}
