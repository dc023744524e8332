#include "libhub/util/Options.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "libhub/util/Print.h"

namespace {

// The words of a key string, split at blanks and tabs.
std::vector<std::string> SplitWords(const char* text) {
  std::vector<std::string> words;
  std::string word;
  for (const char* c = text; *c; ++c) {
    if (*c == ' ' || *c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += *c;
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

HubUtil_Option ReadDeclaration(const HubUtil_OptionSpec& declaration) {
  HubUtil_Option option;
  option.keyString = declaration.keyString;
  std::vector<std::string> words = SplitWords(declaration.keyString);
  if (!words.empty()) {
    option.key = words.front();
    option.arguments.assign(words.begin() + 1, words.end());
  }
  option.description = declaration.description ? declaration.description : "";
  option.defaults = declaration.defaults;
  option.defaults.resize(option.arguments.size(), nullptr);
  return option;
}

bool IsHelp(const char* word) { return strcmp(word, "-help") == 0; }

const char* ProgramPath(int argc, const char* const* argv) {
  return argc > 0 && argv[0] ? argv[0] : "";
}

// Warns with `format` and `word`, prints the usage text and fails.
bool FailWithUsage(int argc, const char* const* argv, const HubUtil_OptionTable& table,
                   const char* format, const char* word) {
  HubUtil_PrintWarning(format, word);
  HubUtil_PrintUsage(argc, argv, table);
  return false;
}

// Takes the key at argv[*at] with its arguments into `words` (when given) and
// moves *at past them. A key with arguments seen before warns with
// `duplicateFormat`; a key short of arguments fails with the usage text.
bool TakeKey(int argc, const char* const* argv, const HubUtil_OptionTable& table,
             const HubUtil_Option& option, const char* duplicateFormat,
             std::set<const HubUtil_Option*>* seen, HubUtil_ArgList* words, int* at) {
  int count = static_cast<int>(option.arguments.size());
  if (argc - *at - 1 < count) {
    return FailWithUsage(argc, argv, table, "Final key `%s' doesn't have enough arguments",
                         argv[*at]);
  }
  if (count > 0 && !seen->insert(&option).second) {
    HubUtil_PrintWarning(duplicateFormat, argv[*at]);
  }
  for (int i = 0; i <= count; ++i) {
    if (words) words->Add(argv[*at + i]);
  }
  *at += count + 1;
  return true;
}

// Position of the first occurrence of `option` among the library's words, or
// -1. The scan steps over known keys and their arguments and stops at any
// other word.
int FindFirst(int argc, const char* const* argv, const HubUtil_OptionTable& table,
              const HubUtil_Option& option) {
  int at = 1;
  while (at < argc) {
    const HubUtil_Option* found = table.Find(argv[at]);
    if (!found) return -1;
    int count = static_cast<int>(found->arguments.size());
    if (found == &option) return argc - at - 1 >= count ? at : -1;
    at += count + 1;
  }
  return -1;
}

// The number of a text as atoi reads it, without overflow: far too large
// numbers come back as LONG_MAX or LONG_MIN, outside any destination's range.
long ReadNumber(const char* text) { return strtol(text, nullptr, 10); }

void Convert(const char* key, const char* text, const HubUtil_OptionDestination* destination) {
  if (!destination || !destination->target) return;
  if (destination->type == HUBUTIL_OPTION_STRING) {
    *static_cast<char**>(destination->target) = strdup(text);
    return;
  }
  long number = ReadNumber(text);
  if (number < destination->low || number > destination->high) {
    HubUtil_PrintWarning("Value `%s' of %s is outside %ld-%ld; ignored", text, key,
                         destination->low, destination->high);
    return;
  }
  if (destination->type == HUBUTIL_OPTION_UINT16) {
    *static_cast<uint16_t*>(destination->target) = static_cast<uint16_t>(number);
  } else {
    *static_cast<int*>(destination->target) = static_cast<int>(number);
  }
}

// " (default 1)" or " (defaults a, <none>)" when the option has arguments and
// a non-empty default; otherwise nothing.
std::string DefaultsText(const HubUtil_Option& option) {
  bool anyDefault = false;
  for (const char* value : option.defaults) anyDefault = anyDefault || (value && *value);
  if (!anyDefault) return "";
  std::string text = option.defaults.size() == 1 ? " (default " : " (defaults ";
  for (size_t i = 0; i < option.defaults.size(); ++i) {
    if (i > 0) text += ", ";
    text += option.defaults[i] ? option.defaults[i] : "<none>";
  }
  return text + ")";
}

}  // namespace

// ---- the table ----

HubUtil_OptionTable::HubUtil_OptionTable(const std::vector<HubUtil_OptionSpec>& specs) {
  for (const HubUtil_OptionSpec& declaration : specs) {
    if (declaration.keyString) options_.push_back(ReadDeclaration(declaration));
  }
}

const HubUtil_OptionTable& HubUtil_OptionTable::Standard() {
  static const HubUtil_OptionTable table({
      {"-port port", "run as a server, listening for client connections on this port", {nullptr}},
      {"-assert", "exit unhappily if we fail to get the desired port", {}},
      {"-color", "enable color printing in a cxterm", {}},
      {"-thread", "use threads instead of timed tasks (experimental)", {}},
      {"-nottloop", "do not use the timed_tasks_loop mechanism", {}},
      {"-ttloop", "obsolete -- maintained for compatibility only", {}},
      {"-maxconns max", "maximum number of connections for ttloop", {"1"}},
      {"-validate", "validate each message send and return against the message signature", {}},
      {"-verbosity level", "set the verbosity of this server", {nullptr}},
      {"-contact_hub \"host:port...\"",
       "run as client, contacting Hubs at the specified host and port pairs (overrides default "
       "port setting, but not -port)",
       {nullptr}},
      {"-server_locations_file file", "a file of lines server host:port [hub|server]", {nullptr}},
      {"-slf_name name", "if -server_locations_file is used, optional file index", {nullptr}},
      {"-session_id id", "if -contact_hub is used, lock this client to the specified Hub session",
       {nullptr}},
  });
  return table;
}

const HubUtil_Option* HubUtil_OptionTable::Find(const char* word) const {
  if (!word) return nullptr;
  for (const HubUtil_Option& option : options_) {
    if (option.key == word) return &option;
  }
  return nullptr;
}

// ---- word lists ----

void HubUtil_ArgList::Add(const char* word) { words_.push_back(word); }

char** HubUtil_ArgList::Argv() {
  pointers_.clear();
  for (std::string& word : words_) pointers_.push_back(word.data());
  pointers_.push_back(nullptr);
  return pointers_.data();
}

// ---- destinations ----

HubUtil_OptionDestination::HubUtil_OptionDestination(std::nullptr_t)
    : type(HUBUTIL_OPTION_INT), target(nullptr), low(INT_MIN), high(INT_MAX) {}
HubUtil_OptionDestination::HubUtil_OptionDestination(uint16_t* target)
    : type(HUBUTIL_OPTION_UINT16), target(target), low(0), high(UINT16_MAX) {}
HubUtil_OptionDestination::HubUtil_OptionDestination(int* target)
    : type(HUBUTIL_OPTION_INT), target(target), low(INT_MIN), high(INT_MAX) {}
HubUtil_OptionDestination::HubUtil_OptionDestination(char** target)
    : type(HUBUTIL_OPTION_STRING), target(target), low(0), high(0) {}

HubUtil_OptionDestination HubUtil_OptionDestination::InRange(int* target, int low, int high) {
  HubUtil_OptionDestination destination(target);
  destination.low = low;
  destination.high = high;
  return destination;
}

// ---- split, check, extract, usage ----

bool HubUtil_SplitOptions(int argc, const char* const* argv, const HubUtil_OptionTable& table,
                          HubUtil_ArgList* library, HubUtil_ArgList* leftover) {
  library->Add(ProgramPath(argc, argv));
  leftover->Add(ProgramPath(argc, argv));
  std::set<const HubUtil_Option*> seen;
  int at = 1;
  while (at < argc) {
    const char* word = argv[at];
    const HubUtil_Option* option = table.Find(word);
    if (IsHelp(word)) {
      library->Add(word);
      leftover->Add(word);
      ++at;
    } else if (word[0] != '-') {
      return FailWithUsage(argc, argv, table, "Invalid key %s", word);
    } else if (option) {
      if (!TakeKey(argc, argv, table, *option,
                   "Key `%s' specified more than once, will extract first occurrence", &seen,
                   library, &at)) {
        return false;
      }
    } else {
      // A word of the program's own, with its values.
      leftover->Add(word);
      for (++at; at < argc && argv[at][0] != '-'; ++at) leftover->Add(argv[at]);
    }
  }
  return true;
}

bool HubUtil_CheckOptions(int argc, const char* const* argv, const HubUtil_OptionTable& table) {
  std::set<const HubUtil_Option*> seen;
  int at = 1;
  while (at < argc) {
    const char* word = argv[at];
    if (IsHelp(word)) {
      HubUtil_PrintUsage(argc, argv, table);
      return false;
    }
    const HubUtil_Option* option = table.Find(word);
    if (!option) return FailWithUsage(argc, argv, table, "Invalid key %s", word);
    if (!TakeKey(argc, argv, table, *option,
                 "Key `%s' specified twice -- will use first occurrence", &seen, nullptr, &at)) {
      return false;
    }
  }
  return true;
}

int HubUtil_ExtractOption(int argc, const char* const* argv, const HubUtil_OptionTable& table,
                          const char* key,
                          std::initializer_list<HubUtil_OptionDestination> destinations) {
  const HubUtil_Option* option = table.Find(key);
  if (!option) return 0;
  int at = FindFirst(argc, argv, table, *option);
  auto destination = [&destinations](size_t i) {
    return i < destinations.size() ? destinations.begin() + i : nullptr;
  };
  if (option->arguments.empty()) {
    Convert(option->key.c_str(), at >= 0 ? "1" : "0", destination(0));
    return at >= 0;
  }
  for (size_t i = 0; i < option->arguments.size(); ++i) {
    const char* text = at >= 0 ? argv[at + 1 + i] : option->defaults[i];
    if (text) Convert(option->key.c_str(), text, destination(i));
  }
  return at >= 0;
}

void HubUtil_PrintUsage(int argc, const char* const* argv, const HubUtil_OptionTable& table) {
  const char* path = ProgramPath(argc, argv);
  const char* slash = strrchr(path, '/');
  HubUtil_PrintAtLevel(-1, "\n");
  HubUtil_PrintAtLevel(-1, "Usage: %s [Options]\n\n", slash ? slash + 1 : path);
  HubUtil_PrintAtLevel(-1, "  Options:\n");
  for (const HubUtil_Option& option : table.Options()) {
    HubUtil_PrintAtLevel(-1, "    %s: %s%s\n", option.keyString.c_str(),
                         option.description.c_str(), DefaultsText(option).c_str());
  }
  HubUtil_PrintAtLevel(-1, "    -help: print this usage line\n\n");
}
