// Command-line options: the table, splitting, checking, extraction and the
// usage text; messages and outcomes from a fresh process through the probe.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "libhub/util/Options.h"
#include "tests/libhub/util/HubTestSupport.h"
#include "tests/support/ChildProcess.h"

namespace {

using Words = std::vector<std::string>;

const std::string kUsage = hubtest::Usage("Tressig");

const HubUtil_OptionTable& Standard() { return HubUtil_OptionTable::Standard(); }

// An argv for the words: pointers into `words`, which must outlive it.
std::vector<const char*> Argv(const Words& words) {
  std::vector<const char*> argv;
  for (const std::string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);
  return argv;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : "|") + word;
  return text;
}

// ---- the table and the usage text ----

TEST(OptionsTest, UsageTextOfTheStandardTable) {
  const char* argv[] = {"/opt/bin/Tressig", nullptr};
  hubtest::CaptureConsole capture;
  HubUtil_PrintUsage(1, argv, Standard());
  EXPECT_EQ(capture.Take(), kUsage);
}

TEST(OptionsTest, UsageNamesTheProgramWithoutItsFolder) {
  struct Case {
    const char* path;
    const char* name;
  } const cases[] = {{"Tressig", "Tressig"}, {"./bin/x", "x"}, {"dir/", ""}, {"", ""}};
  HubUtil_OptionTable empty({});
  for (const Case& c : cases) {
    const char* argv[] = {c.path, nullptr};
    hubtest::CaptureConsole capture;
    HubUtil_PrintUsage(1, argv, empty);
    EXPECT_EQ(capture.Take(), std::string("\nUsage: ") + c.name +
                                  " [Options]\n\n  Options:\n    -help: print this usage line\n\n")
        << c.path;
  }
}

TEST(OptionsTest, UsageLineDefaults) {
  struct Case {
    HubUtil_OptionSpec declaration;
    const char* line;
  } const cases[] = {
      {{"-flag", "d", {}}, "    -flag: d\n"},
      {{"-one x", "d", {"7"}}, "    -one x: d (default 7)\n"},
      {{"-one x", "d", {nullptr}}, "    -one x: d\n"},
      {{"-one x", "d", {""}}, "    -one x: d\n"},
      {{"-two a b", "d", {"p", nullptr}}, "    -two a b: d (defaults p, <none>)\n"},
      {{"-two a b", "d", {nullptr, "q"}}, "    -two a b: d (defaults <none>, q)\n"},
      {{"-two a b", "d", {"", "q"}}, "    -two a b: d (defaults , q)\n"},
      {{"-two a b", "d", {nullptr, nullptr}}, "    -two a b: d\n"},
      // Defaults are cut or padded to the number of argument names.
      {{"-two a b", "d", {"p"}}, "    -two a b: d (defaults p, <none>)\n"},
      {{"-one  x", "d", {"1", "2"}}, "    -one  x: d (default 1)\n"},
      // A description with '%' is printed as it is.
      {{"-pct", "100%s %d", {}}, "    -pct: 100%s %d\n"},
  };
  for (const Case& c : cases) {
    HubUtil_OptionTable table({c.declaration});
    const char* argv[] = {"p", nullptr};
    hubtest::CaptureConsole capture;
    HubUtil_PrintUsage(1, argv, table);
    EXPECT_EQ(capture.Take(), std::string("\nUsage: p [Options]\n\n  Options:\n") + c.line +
                                  "    -help: print this usage line\n\n")
        << c.line;
  }
}

TEST(OptionsTest, KeyLookup) {
  struct Case {
    const char* word;
    const char* key;        // null: not found
    const char* arguments;  // argument names joined by '|'
  } const cases[] = {
      {"-port", "-port", "port"},
      {"-contact_hub", "-contact_hub", "\"host:port...\""},
      {"-maxconns", "-maxconns", "max"},
      {"-ttloop", "-ttloop", ""},
      {"-session_id", "-session_id", "id"},
      {"-PORT", nullptr, ""},
      {"-INITASR", nullptr, ""},
      {"-port port", nullptr, ""},
      {"-por", nullptr, ""},
      {"port", nullptr, ""},
      {"-help", nullptr, ""},
      {"", nullptr, ""},
      {nullptr, nullptr, ""},
  };
  for (const Case& c : cases) {
    const HubUtil_Option* option = Standard().Find(c.word);
    const char* shown = c.word ? c.word : "(null)";
    if (!c.key) {
      EXPECT_EQ(option, nullptr) << shown;
      continue;
    }
    ASSERT_NE(option, nullptr) << shown;
    EXPECT_EQ(option->key, c.key);
    EXPECT_EQ(Joined(option->arguments), c.arguments) << shown;
    EXPECT_EQ(option->defaults.size(), option->arguments.size()) << shown;
  }
  std::vector<std::string> keys;
  for (const HubUtil_Option& option : Standard().Options()) keys.push_back(option.key);
  EXPECT_EQ(Joined(keys),
            "-port|-assert|-color|-thread|-nottloop|-ttloop|-maxconns|-validate|-verbosity|"
            "-contact_hub|-server_locations_file|-slf_name|-session_id");
}

TEST(OptionsTest, ArgListIsAnArgvEndingInNull) {
  HubUtil_ArgList list;
  list.Add("prog");
  list.Add("");
  list.Add("-x");
  ASSERT_EQ(list.Argc(), 3);
  char** argv = list.Argv();
  EXPECT_STREQ(argv[0], "prog");
  EXPECT_STREQ(argv[1], "");
  EXPECT_STREQ(argv[2], "-x");
  EXPECT_EQ(argv[3], nullptr);
}

// ---- splitting ----

struct SplitCase {
  Words words;  // after the program name
  bool ok;
  const char* library;   // words after the program name, joined by '|'
  const char* leftover;  // the same
};

const SplitCase kSplitCases[] = {
    {{}, true, "", ""},
    {{"-port", "13000", "-PORT", "5000", "-INITASR"}, true, "-port|13000", "-PORT|5000|-INITASR"},
    {{"-PORT", "5000", "x", "y", "-verbosity", "4"}, true, "-verbosity|4", "-PORT|5000|x|y"},
    {{"-INITASR", "-PORT", "5000"}, true, "", "-INITASR|-PORT|5000"},
    {{"-help"}, true, "-help", "-help"},
    {{"-PORT", "5000", "-help", "-port", "1"}, true, "-help|-port|1", "-PORT|5000|-help"},
    {{"-port", "1", "-port", "2"}, true, "-port|1|-port|2", ""},
    {{"-assert", "-assert", "-ttloop"}, true, "-assert|-assert|-ttloop", ""},
    // An argument is taken whatever it looks like.
    {{"-port", "-5", "-contact_hub", "-help"}, true, "-port|-5|-contact_hub|-help", ""},
    {{"-color", "-thread", "-nottloop", "-validate"}, true, "-color|-thread|-nottloop|-validate",
     ""},
    {{"-session_id", "s 1", "-slf_name", "DM", "-server_locations_file", "f"}, true,
     "-session_id|s 1|-slf_name|DM|-server_locations_file|f", ""},
    {{"-x", "", "-y"}, true, "", "-x||-y"},
    {{"stray"}, false, "", ""},
    {{"-assert", "7"}, false, "-assert", ""},
    {{""}, false, "", ""},
    {{"-PORT", "1", "-port"}, false, "", "-PORT|1"},
    {{"-port", "1", "-port"}, false, "-port|1", ""},
    {{"-maxconns"}, false, "", ""},
};

class SplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitTest, LibraryAndLeftoverWords) {
  const SplitCase& c = GetParam();
  Words words = {"/opt/bin/Tressig"};
  words.insert(words.end(), c.words.begin(), c.words.end());
  std::vector<const char*> argv = Argv(words);
  HubUtil_ArgList library;
  HubUtil_ArgList leftover;
  hubtest::CaptureConsole capture;
  bool ok = HubUtil_SplitOptions(static_cast<int>(words.size()), argv.data(), Standard(), &library,
                                 &leftover);
  std::string out = capture.Take();
  EXPECT_EQ(ok, c.ok);
  // A failure shows the usage text; success prints nothing.
  EXPECT_EQ(out, c.ok ? "" : kUsage);
  ASSERT_GE(library.Argc(), 1);
  ASSERT_GE(leftover.Argc(), 1);
  EXPECT_EQ(library.Words()[0], "/opt/bin/Tressig");
  EXPECT_EQ(leftover.Words()[0], "/opt/bin/Tressig");
  std::vector<std::string> libraryWords(library.Words().begin() + 1, library.Words().end());
  std::vector<std::string> leftoverWords(leftover.Words().begin() + 1, leftover.Words().end());
  EXPECT_EQ(Joined(libraryWords), c.library);
  EXPECT_EQ(Joined(leftoverWords), c.leftover);
}

INSTANTIATE_TEST_SUITE_P(Words, SplitTest, ::testing::ValuesIn(kSplitCases));

TEST(OptionsTest, SplitWordsAreCopies) {
  char word[] = "-PORT";
  char value[] = "5000";
  char* argv[] = {const_cast<char*>("p"), word, value, nullptr};
  HubUtil_ArgList library;
  HubUtil_ArgList leftover;
  ASSERT_TRUE(HubUtil_SplitOptions(3, argv, Standard(), &library, &leftover));
  word[1] = 'X';
  value[0] = '9';
  EXPECT_EQ(Joined(leftover.Words()), "p|-PORT|5000");
  EXPECT_NE(leftover.Argv()[1], word);
}

// ---- checking ----

TEST(OptionsTest, Check) {
  struct Case {
    Words words;  // after the program name
    bool ok;
  } const cases[] = {
      {{}, true},
      {{"-port", "1", "-assert"}, true},
      {{"-port", "1", "-port", "2", "-assert", "-assert"}, true},
      {{"-help"}, false},
      {{"-port", "1", "-help"}, false},
      {{"-help", "-port", "1"}, false},
      // Not what a split gives, refused all the same.
      {{"-PORT", "1"}, false},
      {{"stray"}, false},
      {{"-verbosity"}, false},
  };
  for (const Case& c : cases) {
    Words words = {"bin/Tressig"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    std::vector<const char*> argv = Argv(words);
    hubtest::CaptureConsole capture;
    bool ok = HubUtil_CheckOptions(static_cast<int>(words.size()), argv.data(), Standard());
    EXPECT_EQ(ok, c.ok) << Joined(words);
    EXPECT_EQ(capture.Take(), c.ok ? "" : kUsage) << Joined(words);
  }
}

// ---- extraction ----

enum DestinationKind { kUint16, kInt, kPort, kMaxConns, kNoDestination };

struct ExtractCase {
  Words words;  // library words after the program name
  const char* key;
  DestinationKind kind;
  int initial;
  int result;  // 1 present, 0 absent
  int value;
};

const ExtractCase kExtractCases[] = {
    {{"-port", "13000"}, "-port", kUint16, 77, 1, 13000},
    {{"-port", "65535"}, "-port", kUint16, 77, 1, 65535},
    {{"-port", "0"}, "-port", kUint16, 77, 1, 0},
    // A number the destination cannot hold leaves it alone: no silent wrap.
    {{"-port", "65536"}, "-port", kUint16, 77, 1, 77},
    {{"-port", "-1"}, "-port", kUint16, 77, 1, 77},
    {{"-port", "12x"}, "-port", kInt, 77, 1, 12},
    {{"-port", " +8"}, "-port", kInt, 77, 1, 8},
    {{"-port", "abc"}, "-port", kInt, 77, 1, 0},
    {{"-port", "99999999999999999999"}, "-port", kInt, 77, 1, 77},
    {{"-port", "-2147483648"}, "-port", kInt, 77, 1, INT_MIN},
    {{"-port", "2147483648"}, "-port", kInt, 77, 1, 77},
    // A port must lie in 1-65535, otherwise the declared one stays.
    {{"-port", "1"}, "-port", kPort, 0, 1, 1},
    {{"-port", "65535"}, "-port", kPort, 0, 1, 65535},
    {{"-port", "0"}, "-port", kPort, 0, 1, 0},
    {{"-port", "65536"}, "-port", kPort, 0, 1, 0},
    {{"-port", "-13000"}, "-port", kPort, 0, 1, 0},
    {{"-port", "x"}, "-port", kPort, 0, 1, 0},
    {{}, "-port", kPort, 0, 0, 0},
    // At least one connection.
    {{}, "-maxconns", kMaxConns, 1, 0, 1},
    {{"-maxconns", "5"}, "-maxconns", kMaxConns, 1, 1, 5},
    {{"-maxconns", "0"}, "-maxconns", kMaxConns, 1, 1, 1},
    {{"-maxconns", "-3"}, "-maxconns", kMaxConns, 1, 1, 1},
    // The default "1" when absent, whatever the destination held.
    {{}, "-maxconns", kInt, 9, 0, 1},
    {{"-port", "4"}, "-maxconns", kInt, 9, 0, 1},
    // No default: left as it was.
    {{}, "-verbosity", kInt, -1, 0, -1},
    {{"-verbosity", "-2"}, "-verbosity", kInt, -1, 1, -2},
    {{"-verbosity", "6", "-verbosity", "2"}, "-verbosity", kInt, -1, 1, 6},
    // Keys without arguments give 1 or 0.
    {{"-assert"}, "-assert", kInt, 5, 1, 1},
    {{}, "-assert", kInt, 5, 0, 0},
    {{"-port", "1", "-assert"}, "-assert", kUint16, 5, 1, 1},
    {{"-thread", "-assert"}, "-nottloop", kInt, 5, 0, 0},
    {{"-ttloop"}, "-ttloop", kNoDestination, 5, 1, 5},
    {{"-port", "3"}, "-port", kNoDestination, 5, 1, 5},
    // The scan stops at a word that is no key of the table.
    {{"-help", "-port", "3"}, "-port", kInt, 5, 0, 5},
    {{"-PORT", "-port", "3"}, "-port", kInt, 5, 0, 5},
    {{"-assert", "stray", "-port", "3"}, "-port", kInt, 5, 0, 5},
    // A key short of its argument counts as absent.
    {{"-port"}, "-port", kInt, 5, 0, 5},
    // A key outside the table is never present and changes nothing.
    {{"-PORT", "3"}, "-PORT", kInt, 5, 0, 5},
    {{"-help"}, "-help", kInt, 5, 0, 5},
};

class ExtractTest : public ::testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractTest, ValueAndPresence) {
  const ExtractCase& c = GetParam();
  Words words = {"Tressig"};
  words.insert(words.end(), c.words.begin(), c.words.end());
  std::vector<const char*> argv = Argv(words);
  int argc = static_cast<int>(words.size());
  int value = c.initial;
  uint16_t shortValue = static_cast<uint16_t>(c.initial);
  int result = 0;
  switch (c.kind) {
    case kUint16:
      result = HubUtil_ExtractOption(argc, argv.data(), Standard(), c.key, {&shortValue});
      value = shortValue;
      break;
    case kInt:
      result = HubUtil_ExtractOption(argc, argv.data(), Standard(), c.key, {&value});
      break;
    case kPort:
      result = HubUtil_ExtractOption(argc, argv.data(), Standard(), c.key,
                                     {HubUtil_OptionDestination::InRange(&value, 1, 65535)});
      break;
    case kMaxConns:
      result = HubUtil_ExtractOption(argc, argv.data(), Standard(), c.key,
                                     {HubUtil_OptionDestination::InRange(&value, 1, INT_MAX)});
      break;
    case kNoDestination:
      result = HubUtil_ExtractOption(argc, argv.data(), Standard(), c.key, {nullptr});
      EXPECT_EQ(HubUtil_ExtractOption(argc, argv.data(), Standard(), c.key), result);
      break;
  }
  EXPECT_EQ(result, c.result);
  EXPECT_EQ(value, c.value);
}

INSTANTIATE_TEST_SUITE_P(Keys, ExtractTest, ::testing::ValuesIn(kExtractCases));

// Takes a malloc'd string: "(null)" for null.
std::string Take(char* text) {
  std::string result = text ? text : "(null)";
  free(text);
  return result;
}

TEST(OptionsTest, ExtractStringsAsNewCopies) {
  struct Case {
    Words words;
    const char* key;
    int result;
    const char* value;
  } const cases[] = {
      {{"-contact_hub", "localhost:12000,h2:13000"}, "-contact_hub", 1, "localhost:12000,h2:13000"},
      {{"-session_id", ""}, "-session_id", 1, ""},
      {{"-slf_name", "a", "-slf_name", "b"}, "-slf_name", 1, "a"},
      {{}, "-contact_hub", 0, "(null)"},
      {{"-port", "5"}, "-maxconns", 0, "1"},
      {{"-validate"}, "-validate", 1, "1"},
      {{}, "-validate", 0, "0"},
  };
  for (const Case& c : cases) {
    Words words = {"Tressig"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    std::vector<const char*> argv = Argv(words);
    char* value = nullptr;
    EXPECT_EQ(HubUtil_ExtractOption(static_cast<int>(words.size()), argv.data(), Standard(), c.key,
                                    {&value}),
              c.result)
        << c.key;
    for (const char* word : argv) EXPECT_TRUE(value == nullptr || value != word);
    EXPECT_EQ(Take(value), c.value) << c.key;
  }
}

TEST(OptionsTest, ExtractSeveralArgumentsInOrder) {
  HubUtil_OptionTable table({{"-pair a b", "two values", {"d1", nullptr}}, {"-flag", "f", {}}});
  struct Case {
    Words words;
    int result;
    const char* first;
    int second;
  } const cases[] = {
      {{"-pair", "x", "42"}, 1, "x", 42},
      {{"-flag", "-pair", "y", "-7", "-pair", "z", "1"}, 1, "y", -7},
      {{}, 0, "d1", 99},
      {{"-flag"}, 0, "d1", 99},
      {{"-pair", "x"}, 0, "d1", 99},
  };
  for (const Case& c : cases) {
    Words words = {"prog"};
    words.insert(words.end(), c.words.begin(), c.words.end());
    std::vector<const char*> argv = Argv(words);
    char* first = nullptr;
    int second = 99;
    EXPECT_EQ(HubUtil_ExtractOption(static_cast<int>(words.size()), argv.data(), table, "-pair",
                                    {&first, &second}),
              c.result);
    EXPECT_EQ(Take(first), c.first) << Joined(words);
    EXPECT_EQ(second, c.second) << Joined(words);
  }
  // Fewer destinations than arguments: the rest receive nothing; extra ones
  // receive nothing either.
  const char* argv[] = {"prog", "-pair", "x", "5", nullptr};
  int only = 0;
  int extra = 3;
  EXPECT_EQ(HubUtil_ExtractOption(4, argv, table, "-pair", {nullptr, &only, &extra}), 1);
  EXPECT_EQ(only, 5);
  EXPECT_EQ(extra, 3);
  char* first = nullptr;
  EXPECT_EQ(HubUtil_ExtractOption(4, argv, table, "-pair", {&first}), 1);
  EXPECT_EQ(Take(first), "x");
}

// ---- messages and outcomes, from a fresh process ----

struct ProbeCase {
  const char* name;
  Words words;
  const char* verbose;  // HUB_VERBOSE, or null for unset
  int status;
  std::string out;
  std::string err;
};

std::string Warning(const std::string& text) { return "  (WARNING: " + text + ")\n"; }

std::string Usage() {
  std::string usage = kUsage;
  return usage.replace(usage.find("Tressig"), 7, "hub_options_probe");
}

std::string Values(const char* values, const char* library, const char* leftover) {
  return std::string(values) + "\nlibrary: " + library + "\nleftover: " + leftover + "\n";
}

const char* const kProbe = HUB_OPTIONS_PROBE;

const ProbeCase kProbeCases[] = {
    {"NoOptions", {}, nullptr, 0,
     Values("port=0 maxconns=1 verbosity=-1 contact_hub=(null) assert=0", kProbe, kProbe), ""},
    {"Help", {"-help"}, nullptr, 2, Usage(), ""},
    {"HelpAfterOthers", {"-port", "13000", "-PORT", "5000", "-help"}, nullptr, 2, Usage(), ""},
    {"HelpAtVerbosityZero", {"-help"}, "0", 2, Usage(), ""},
    {"Values", {"-port", "13000", "-contact_hub", "h:1", "-verbosity", "4", "-assert", "-maxconns",
                "3", "-ttloop"},
     nullptr, 0,
     Values("port=13000 maxconns=3 verbosity=4 contact_hub=h:1 assert=1",
            (std::string(kProbe) +
             "|-port|13000|-contact_hub|h:1|-verbosity|4|-assert|-maxconns|3|-ttloop")
                .c_str(),
            kProbe),
     ""},
    {"Leftovers", {"-PORT", "5000", "-INITASR", "-verbosity", "1"}, nullptr, 0,
     Values("port=0 maxconns=1 verbosity=1 contact_hub=(null) assert=0",
            (std::string(kProbe) + "|-verbosity|1").c_str(),
            (std::string(kProbe) + "|-PORT|5000|-INITASR").c_str()),
     ""},
    {"Duplicates", {"-port", "1", "-port", "2", "-assert", "-assert"}, nullptr, 0,
     Values("port=1 maxconns=1 verbosity=-1 contact_hub=(null) assert=1",
            (std::string(kProbe) + "|-port|1|-port|2|-assert|-assert").c_str(), kProbe),
     Warning("Key `-port' specified more than once, will extract first occurrence") +
         Warning("Key `-port' specified twice -- will use first occurrence")},
    {"DuplicatesQuietAtOne", {"-port", "1", "-port", "2"}, "1", 0,
     Values("port=1 maxconns=1 verbosity=-1 contact_hub=(null) assert=0",
            (std::string(kProbe) + "|-port|1|-port|2").c_str(), kProbe),
     ""},
    {"InvalidKey", {"-assert", "yes"}, nullptr, 1, Usage(), Warning("Invalid key yes")},
    {"InvalidKeyIsNoFormat", {"%s%n%x"}, nullptr, 1, Usage(), Warning("Invalid key %s%n%x")},
    {"InvalidKeyAtVerbosityZero", {"stray"}, "0", 1, Usage(), ""},
    {"FinalKey", {"-assert", "-port"}, nullptr, 1, Usage(),
     Warning("Final key `-port' doesn't have enough arguments")},
    {"PortOutOfRange", {"-port", "70000"}, nullptr, 0,
     Values("port=0 maxconns=1 verbosity=-1 contact_hub=(null) assert=0",
            (std::string(kProbe) + "|-port|70000").c_str(), kProbe),
     Warning("Value `70000' of -port is outside 1-65535; ignored")},
    {"PortZero", {"-port", "0"}, nullptr, 0,
     Values("port=0 maxconns=1 verbosity=-1 contact_hub=(null) assert=0",
            (std::string(kProbe) + "|-port|0").c_str(), kProbe),
     Warning("Value `0' of -port is outside 1-65535; ignored")},
    {"MaxConnsZero", {"-maxconns", "0"}, nullptr, 0,
     Values("port=0 maxconns=1 verbosity=-1 contact_hub=(null) assert=0",
            (std::string(kProbe) + "|-maxconns|0").c_str(), kProbe),
     Warning("Value `0' of -maxconns is outside 1-2147483647; ignored")},
};

class OptionsProbeTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(OptionsProbeTest, ExactOutputAndStatus) {
  const ProbeCase& c = GetParam();
  if (c.verbose) {
    setenv("HUB_VERBOSE", c.verbose, 1);
  } else {
    unsetenv("HUB_VERBOSE");
  }
  Words argv = {kProbe};
  argv.insert(argv.end(), c.words.begin(), c.words.end());
  testsupport::ChildResult result = testsupport::RunChild(argv, "", 10000);
  unsetenv("HUB_VERBOSE");
  ASSERT_FALSE(result.timedOut);
  ASSERT_TRUE(result.exited) << "signal " << result.status;
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.out, c.out);
  EXPECT_EQ(result.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, OptionsProbeTest, ::testing::ValuesIn(kProbeCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
