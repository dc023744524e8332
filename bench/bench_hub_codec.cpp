// Encodes and decodes a typical hub frame with the library's codec and the same
// bytes with plain xdrmem calls, and prints the time of each and their ratio.
//
// The frame: 11 keys (strings, ints, a float, a nested frame, a list of four
// strings), 484 bytes on the wire. One round of the codec encodes the frame
// into a new block, decodes the block into a new frame and destroys it. One
// round of the floor writes the same bytes into a new block with xdr_int,
// xdr_string and xdr_float, and reads them back the same way (each string into
// a new allocation, freed at the end of the round). Times are the thread's
// processor time. The sides take turns, `rounds` rounds at a time (default
// 20000, or the first argument), 15 turns each; the ratio printed is the
// median of the ratios of the turns, so that a busy machine skews it little.
#include <rpc/xdr.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/frames/Frame.h"
#include "libhub/io/Xdr.h"

namespace {

constexpr int kTurns = 15;

// The typical frame: what a recogniser's result looks like on its way in.
Hub_Frame* TypicalFrame() {
  Hub_Frame* admin = Hub_MakeFrame("admin_info");
  Hub_SetFrameProperty(admin, ":session_id", Hub_MakeStringObject("S1"));
  Hub_SetFrameProperty(admin, ":reply_requested", Hub_MakeIntObject(1));
  Hub_SetFrameProperty(admin, ":server_tidx", Hub_MakeIntObject(17));
  Hub_Object* words[] = {Hub_MakeStringObject("dobry"), Hub_MakeStringObject("den"),
                         Hub_MakeStringObject("listok"), Hub_MakeStringObject("ba")};
  Hub_Frame* frame = Hub_MakeFrame("DM.ProcessParse");
  Hub_SetFrameProperty(frame, ":utt", Hub_MakeStringObject("dobry den listok do bratislavy"));
  Hub_SetFrameProperty(frame, ":conf", Hub_MakeFloatObject(0.87f));
  Hub_SetFrameProperty(frame, ":noinput", Hub_MakeIntObject(0));
  Hub_SetFrameProperty(frame, ":semantic", Hub_MakeStringObject("to=BA;n=1"));
  Hub_SetFrameProperty(frame, ":grammar", Hub_MakeStringObject("g1.bnf"));
  Hub_SetFrameProperty(frame, ":mode", Hub_MakeStringObject("speech"));
  Hub_SetFrameProperty(frame, ":turn", Hub_MakeIntObject(3));
  Hub_SetFrameProperty(frame, ":bargein", Hub_MakeIntObject(1));
  Hub_SetFrameProperty(frame, ":timeout", Hub_MakeIntObject(5000));
  Hub_SetFrameProperty(frame, ":words", Hub_MakeListObject(words, 4));
  Hub_SetFrameProperty(frame, ":hub_opaque_data", Hub_MakeFrameObject(admin));
  return frame;
}

// ---- the floor: the same bytes with plain xdrmem calls ----

const char* const kWords[] = {"dobry", "den", "listok", "ba"};

bool PutText(XDR* x, const char* text) {
  char* p = const_cast<char*>(text);
  return xdr_string(x, &p, ~0u);
}
bool PutInt(XDR* x, int value) { return xdr_int(x, &value); }
bool PutTyped(XDR* x, int type) { return PutInt(x, type); }

// Writes what the codec writes for TypicalFrame, in its order.
bool WriteFloor(XDR* x) {
  float conf = 0.87f;
  bool ok = PutTyped(x, HUB_FRAME) && PutInt(x, HUB_KIND_CLAUSE) && PutText(x, "DM.ProcessParse") &&
            PutInt(x, 11);
  ok = ok && PutText(x, ":utt") && PutTyped(x, HUB_STRING) &&
       PutText(x, "dobry den listok do bratislavy");
  ok = ok && PutText(x, ":conf") && PutTyped(x, HUB_FLOAT) && xdr_float(x, &conf);
  ok = ok && PutText(x, ":noinput") && PutTyped(x, HUB_INT) && PutInt(x, 0);
  ok = ok && PutText(x, ":semantic") && PutTyped(x, HUB_STRING) && PutText(x, "to=BA;n=1");
  ok = ok && PutText(x, ":grammar") && PutTyped(x, HUB_STRING) && PutText(x, "g1.bnf");
  ok = ok && PutText(x, ":mode") && PutTyped(x, HUB_STRING) && PutText(x, "speech");
  ok = ok && PutText(x, ":turn") && PutTyped(x, HUB_INT) && PutInt(x, 3);
  ok = ok && PutText(x, ":bargein") && PutTyped(x, HUB_INT) && PutInt(x, 1);
  ok = ok && PutText(x, ":timeout") && PutTyped(x, HUB_INT) && PutInt(x, 5000);
  ok = ok && PutText(x, ":words") && PutTyped(x, HUB_LIST) && PutInt(x, 4);
  for (const char* word : kWords) ok = ok && PutTyped(x, HUB_STRING) && PutText(x, word);
  ok = ok && PutText(x, ":hub_opaque_data") && PutTyped(x, HUB_FRAME) &&
       PutInt(x, HUB_KIND_CLAUSE) && PutText(x, "admin_info") && PutInt(x, 3);
  ok = ok && PutText(x, ":session_id") && PutTyped(x, HUB_STRING) &&
       PutText(x, "S1");
  ok = ok && PutText(x, ":reply_requested") && PutTyped(x, HUB_INT) && PutInt(x, 1);
  ok = ok && PutText(x, ":server_tidx") && PutTyped(x, HUB_INT) && PutInt(x, 17);
  return ok && PutInt(x, 0) && PutInt(x, 0);  // no predicates, nested and outer
}

// Reads the same sequence back, every string into a new allocation kept in
// `texts` (room for 64), their number in *count.
bool ReadFloor(XDR* x, char** texts, int* count) {
  int number = 0;
  float real = 0;
  auto text = [&]() {
    char* p = nullptr;
    if (*count >= 64 || !xdr_string(x, &p, ~0u)) return false;
    texts[(*count)++] = p;
    return true;
  };
  auto integer = [&]() { return xdr_int(x, &number) != 0; };
  // type, kind, name, count; then per property: key, type, value.
  bool ok = integer() && integer() && text() && integer();
  const char kinds[] = "sfisssiiil";  // the outer frame's first ten values, in order
  for (const char* k = kinds; ok && *k; ++k) {
    ok = text() && integer();
    if (*k == 's') ok = ok && text();
    if (*k == 'i') ok = ok && integer();
    if (*k == 'f') ok = ok && xdr_float(x, &real);
    if (*k == 'l') {
      ok = ok && integer();
      for (int i = 0; ok && i < 4; ++i) ok = integer() && text();
    }
  }
  ok = ok && text() && integer() && integer() && text() && integer();  // the nested frame
  ok = ok && text() && integer() && text();
  for (int i = 0; ok && i < 2; ++i) ok = text() && integer() && integer();
  return ok && integer() && integer();
}

// The processor time of the calling thread, in seconds: a turn is not
// charged for the time other programs had the processor.
double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

// Seconds that `rounds` rounds take; exits when a round fails.
template <typename Round>
double Seconds(long rounds, Round round) {
  double start = ThreadSeconds();
  for (long i = 0; i < rounds; ++i) {
    if (!round()) {
      fprintf(stderr, "a round failed\n");
      exit(1);
    }
  }
  return ThreadSeconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  long rounds = argc > 1 ? atol(argv[1]) : 20000;
  if (rounds <= 0) {
    fprintf(stderr, "usage: %s [rounds]\n", argv[0]);
    return 2;
  }
  Hub_InitializeStatics();
  Hub_Frame* frame = TypicalFrame();
  int32_t length = 0;
  char* golden = HubIO_EncodeFrame(frame, &length);
  // The floor must write the very bytes the codec writes.
  std::vector<char> floorBytes(length + 64);
  XDR check;
  xdrmem_create(&check, floorBytes.data(), floorBytes.size(), XDR_ENCODE);
  if (!golden || !WriteFloor(&check) || xdr_getpos(&check) != static_cast<u_int>(length) ||
      memcmp(golden, floorBytes.data(), length) != 0) {
    fprintf(stderr, "the floor does not write the codec's bytes\n");
    return 1;
  }
  xdr_destroy(&check);

  auto codecRound = [&] {
    int32_t size = 0;
    char* bytes = HubIO_EncodeFrame(frame, &size);
    int32_t type = 0;
    uintptr_t value = 0;
    int32_t count = 0;
    bool ok = bytes && HubIO_DecodeElement(bytes, size, &type, &value, &count) == 1 &&
              type == HUB_FRAME;
    Hub_DestroyFrame(reinterpret_cast<Hub_Frame*>(value));
    free(bytes);
    return ok;
  };
  auto floorRound = [&] {
    char* bytes = static_cast<char*>(malloc(length));
    XDR out;
    xdrmem_create(&out, bytes, length, XDR_ENCODE);
    bool ok = WriteFloor(&out);
    xdr_destroy(&out);
    char* texts[64];
    int count = 0;
    XDR in;
    xdrmem_create(&in, bytes, length, XDR_DECODE);
    ok = ok && ReadFloor(&in, texts, &count);
    xdr_destroy(&in);
    for (int i = 0; i < count; ++i) free(texts[i]);
    free(bytes);
    return ok;
  };
  // The two sides take turns, so that both sides of a turn meet the same
  // load of the machine; the ratio is the median of the turns' ratios.
  double codec = 1e30;
  double floor = 1e30;
  std::vector<double> ratios;
  for (int turn = 0; turn < kTurns; ++turn) {
    double codecTurn = Seconds(rounds, codecRound);
    double floorTurn = Seconds(rounds, floorRound);
    codec = std::min(codec, codecTurn);
    floor = std::min(floor, floorTurn);
    ratios.push_back(codecTurn / floorTurn);
  }
  std::sort(ratios.begin(), ratios.end());
  printf("frame: %d bytes, %d turns of %ld rounds each side\n", length, kTurns, rounds);
  printf("codec (encode + decode): %8.1f ns per round (best turn)\n", codec / rounds * 1e9);
  printf("floor (plain xdrmem):    %8.1f ns per round (best turn)\n", floor / rounds * 1e9);
  printf("ratio: %.2f (median of the turns; target at most 1.50)\n", ratios[kTurns / 2]);
  free(golden);
  Hub_DestroyFrame(frame);
  return 0;
}
