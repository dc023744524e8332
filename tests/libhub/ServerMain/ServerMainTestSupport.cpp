#include "tests/libhub/ServerMain/ServerMainTestSupport.h"

#include <cctype>

namespace hubtest {

std::string Usage(const std::string& program) {
  return "\nUsage: " + program + " [Options]\n\n" +
         "  Options:\n"
         "    -port port: run as a server, listening for client connections on this port\n"
         "    -assert: exit unhappily if we fail to get the desired port\n"
         "    -color: enable color printing in a cxterm\n"
         "    -thread: use threads instead of timed tasks (experimental)\n"
         "    -nottloop: do not use the timed_tasks_loop mechanism\n"
         "    -ttloop: obsolete -- maintained for compatibility only\n"
         "    -maxconns max: maximum number of connections for ttloop (default 1)\n"
         "    -validate: validate each message send and return against the message signature\n"
         "    -verbosity level: set the verbosity of this server\n"
         "    -contact_hub \"host:port...\": run as client, contacting Hubs at the specified host "
         "and port pairs (overrides default port setting, but not -port)\n"
         "    -server_locations_file file: a file of lines server host:port [hub|server]\n"
         "    -slf_name name: if -server_locations_file is used, optional file index\n"
         "    -session_id id: if -contact_hub is used, lock this client to the specified Hub "
         "session\n"
         "    -help: print this usage line\n"
         "\n";
}

CommandLine::CommandLine(const std::string& program, const Words& words) : words_{program} {
  words_.insert(words_.end(), words.begin(), words.end());
  for (std::string& word : words_) pointers_.push_back(word.data());
  pointers_.push_back(nullptr);
}

std::string Text(const char* text) { return text ? text : "(null)"; }

std::string Joined(int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) text += (i ? "|" : "") + std::string(argv[i]);
  return text;
}

std::string TestName(const std::string& title) {
  std::string name;
  bool upper = true;
  for (char c : title) {
    if (isalnum(static_cast<unsigned char>(c))) {
      name += upper ? static_cast<char>(toupper(static_cast<unsigned char>(c))) : c;
      upper = false;
    } else {
      upper = true;
    }
  }
  return name;
}

}  // namespace hubtest
