// Command-line options of the hub protocol library.
//
// An option table lists each option: its key string (the key, which starts
// with '-', then after blanks the names of its arguments), a description and
// one default per argument. The command line is split into the library's own
// options and the words left over for the program; the library's options are
// checked, their values taken by key into typed destinations, and a usage text
// is printed from the same table. "-help" is in no table and is recognised
// everywhere. Messages are warnings of the printing layer; the usage text is
// printed at every verbosity.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

// One option as a table is written: the key string ("-port port"), the
// description (never null) and one default per argument name (null: no
// default).
struct HubUtil_OptionSpec {
  const char* keyString;
  const char* description;
  std::vector<const char*> defaults;
};

// One option of a table, read from its declaration.
struct HubUtil_Option {
  std::string keyString;                // as written: key and argument names
  std::string key;                      // its first word
  std::vector<std::string> arguments;   // the argument names that follow the key
  std::string description;
  std::vector<const char*> defaults;    // exactly one per argument; null: none
};

class HubUtil_OptionTable {
 public:
  // Reads each declaration; the defaults are cut or padded with null to the number of
  // argument names. The declaration texts must outlive the table (defaults are kept as
  // pointers).
  explicit HubUtil_OptionTable(const std::vector<HubUtil_OptionSpec>& specs);

  // The library's standard server options ("-port", "-assert", ..., "-session_id").
  static const HubUtil_OptionTable& Standard();

  // Key lookup: the option whose key equals `word` exactly, or null.
  const HubUtil_Option* Find(const char* word) const;
  const std::vector<HubUtil_Option>& Options() const { return options_; }

 private:
  std::vector<HubUtil_Option> options_;
};

// A list of words in the form main receives them: owned copies, with an argv
// that ends in a null pointer.
class HubUtil_ArgList {
 public:
  void Add(const char* word);
  int Argc() const { return static_cast<int>(words_.size()); }
  // Valid until the next Add or the list's end; the words may be changed in
  // place but not replaced.
  char** Argv();
  const std::vector<std::string>& Words() const { return words_; }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

// Value types of a destination, with the codes the library uses for them.
enum HubUtil_OptionType {
  HUBUTIL_OPTION_UINT16 = 6,  // uint16_t, the number of the text
  HUBUTIL_OPTION_INT = 7,     // int, the number of the text
  HUBUTIL_OPTION_STRING = 8,  // char*, a new malloc'd copy the caller frees
};

// Where one argument's value goes. A null target receives nothing. A number is
// read as atoi does (leading blanks, a sign, digits; no digits give 0); a number
// outside the destination's range (0-65535 for uint16_t, any int otherwise, or
// the range given to InRange) leaves the target unchanged after the warning
// "Value `%s' of %s is outside %d-%d; ignored" (text, key, low, high). A string
// target is overwritten without freeing what it held.
struct HubUtil_OptionDestination {
  HubUtil_OptionDestination(std::nullptr_t);
  HubUtil_OptionDestination(uint16_t* target);
  HubUtil_OptionDestination(int* target);
  HubUtil_OptionDestination(char** target);
  // An int target that accepts only low..high, such as a port (1-65535).
  static HubUtil_OptionDestination InRange(int* target, int low, int high);

  HubUtil_OptionType type;
  void* target;
  long low;
  long high;
};

// Splits argv[1..] into the library's words (keys of the table with their
// arguments, and "-help") and the leftover words: any other word that starts
// with '-', with every following word up to the next word that starts with
// '-'. Both lists begin with a copy of argv[0] and keep the order of argv;
// "-help" goes to both. A key with arguments given again warns "Key `%s'
// specified more than once, will extract first occurrence". Fails, after
// printing a warning and the usage text, on a word that does not start with '-'
// where a key is expected ("Invalid key %s") or a key that lacks arguments at
// the end ("Final key `%s' doesn't have enough arguments"); the lists then
// hold what was split so far. `library` and `leftover` must start empty.
bool HubUtil_SplitOptions(int argc, const char* const* argv, const HubUtil_OptionTable& table,
                          HubUtil_ArgList* library, HubUtil_ArgList* leftover);

// Checks the library's words as split above: "-help" prints the usage text
// and fails; a key with arguments given again warns "Key `%s' specified twice
// -- will use first occurrence". A word that is no key of the table, or a key
// short of arguments, fails as in the split.
bool HubUtil_CheckOptions(int argc, const char* const* argv, const HubUtil_OptionTable& table);

// Takes the first occurrence of `key` (a key of the table) from the library's
// words, scanning from argv[1] over known keys and their arguments and
// stopping at any other word. Returns 1 when the key is present, else 0 (also
// for a key outside the table, which changes nothing). One destination per
// argument, in order (missing ones count as null, extra ones are ignored):
// - a key without arguments gives its first destination "1" when present and
//   "0" when absent;
// - a key with arguments gives each destination its argument word when
//   present, or its default when absent (without a default it is left alone).
int HubUtil_ExtractOption(int argc, const char* const* argv, const HubUtil_OptionTable& table,
                          const char* key,
                          std::initializer_list<HubUtil_OptionDestination> destinations = {});

// Prints the usage text for the program argv[0] (its name after the last '/')
// at every verbosity.
void HubUtil_PrintUsage(int argc, const char* const* argv, const HubUtil_OptionTable& table);
