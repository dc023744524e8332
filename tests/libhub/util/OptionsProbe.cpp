// A small program that reads the hub library's standard options from its own
// command line the way a server does, so that tests see the exact messages,
// usage text and outcome from a fresh process (the verbosity comes from
// HUB_VERBOSE). Exit status: 0 when the options were read, 1 when the split
// failed, 2 when the check failed ("-help" or a bad option). On success it
// prints the values taken and both word lists:
//   port=P maxconns=M verbosity=V contact_hub=C assert=A
//   library: <word>|<word>|...
//   leftover: <word>|<word>|...
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/util/Options.h"

namespace {

void PrintWords(const char* title, HubUtil_ArgList& words) {
  printf("%s:", title);
  char** argv = words.Argv();
  for (int i = 0; i < words.Argc(); ++i) printf("%s%s", i ? "|" : " ", argv[i]);
  printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  Hub_InitializeStatics();
  const HubUtil_OptionTable& table = HubUtil_OptionTable::Standard();
  HubUtil_ArgList library;
  HubUtil_ArgList leftover;
  if (!HubUtil_SplitOptions(argc, argv, table, &library, &leftover)) return 1;
  if (!HubUtil_CheckOptions(library.Argc(), library.Argv(), table)) return 2;

  int port = 0;
  int maxconns = 1;
  int verbosity = -1;
  int assertFlag = 0;
  char* contactHub = nullptr;
  int words = library.Argc();
  char** args = library.Argv();
  HubUtil_ExtractOption(words, args, table, "-port",
                        {HubUtil_OptionDestination::InRange(&port, 1, 65535)});
  HubUtil_ExtractOption(words, args, table, "-contact_hub", {&contactHub});
  HubUtil_ExtractOption(words, args, table, "-maxconns",
                        {HubUtil_OptionDestination::InRange(&maxconns, 1, INT_MAX)});
  HubUtil_ExtractOption(words, args, table, "-verbosity", {&verbosity});
  HubUtil_ExtractOption(words, args, table, "-assert", {&assertFlag});
  fflush(stderr);
  printf("port=%d maxconns=%d verbosity=%d contact_hub=%s assert=%d\n", port, maxconns,
         verbosity, contactHub ? contactHub : "(null)", assertFlag);
  PrintWords("library", library);
  PrintWords("leftover", leftover);
  free(contactHub);
  return 0;
}
