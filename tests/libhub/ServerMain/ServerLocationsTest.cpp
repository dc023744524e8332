// The server locations file: entries, comments, line ends, long lines, the
// warnings for ill-formed lines, and how an entry changes the options.
#include <string>

#include <gtest/gtest.h>

#include "libhub/ServerMain/ServerLocations.h"
#include "tests/libhub/ServerMain/ServerMainTestSupport.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kLongName(3000, 'n');

struct FileCase {
  const char* title;
  std::string contents;
  std::string name;  // the server looked up
  bool found;
  std::string entry;     // "name [index] host:port kind" when found
  std::string warnings;  // standard error, exactly
};

const FileCase kFileCases[] = {
    {"server line", "DM localhost:13000 server\n", "DM", true, "DM [-1] localhost:13000 server",
     ""},
    {"hub line with CR LF and a kind in capitals", "DM hubhost:15000 HUB\r\n", "DM", true,
     "DM [-1] hubhost:15000 hub", ""},
    {"comments and empty lines", "# DM h:9 server\n\n   \t\r\n  # x\nDM h:1 server\n", "DM", true,
     "DM [-1] h:1 server", ""},
    {"leading white space and no final line end", " \t DM h:1 Server", "DM", true,
     "DM [-1] h:1 server", ""},
    {"tabs between the fields", "DM\th:5\tserver\r\n", "DM", true, "DM [-1] h:5 server", ""},
    {"words after the kind", "DM h:1 server and more\n", "DM", true, "DM [-1] h:1 server", ""},
    {"index prefix", "[2]DM h:3 server\n", "DM", true, "DM [2] h:3 server", ""},
    {"index prefix without digits", "[x]DM h:3 hub\n", "DM", true, "DM [-1] h:3 hub", ""},
    {"first matching line wins", "OTHER h:1 server\nDM h:2 hub\nDM h:3 server\n", "DM", true,
     "DM [-1] h:2 hub", ""},
    {"names compare exactly", "dm h:1 server\nDM2 h:2 server\n", "DM", false, "", ""},
    {"no lines", "", "DM", false, "", ""},
    {"only an index prefix", "[3] h:1 server\n", "DM", false, "", ""},
    {"two fields", "DM h:1\nDM h:2 server\n", "DM", true, "DM [-1] h:2 server",
     "  (WARNING: Ignoring ill-formed server location line `DM h:1'\n)\n"},
    {"one field with CR LF", "DM\r\n", "DM", false, "",
     "  (WARNING: Ignoring ill-formed server location line `DM'\n)\n"},
    {"unknown kind", "DM h:1 client\nDM h:2 server\n", "DM", true, "DM [-1] h:2 server",
     "  (WARNING: Ignoring line containing ill-formed listener ID `client')\n"},
    {"unknown kind of another server", "OTHER h:1 client\n", "DM", false, "",
     "  (WARNING: Ignoring line containing ill-formed listener ID `client')\n"},
    {"bad location of another server", "OTHER nocolon server\nDM h:2 server\n", "DM", true,
     "DM [-1] h:2 server", ""},
    {"location without a colon", "DM nocolon server\nDM h:2 server\n", "DM", true,
     "DM [-1] h:2 server",
     "  (WARNING: Ignoring line containing ill-formed server location `nocolon')\n"},
    {"port 0", "DM h:0 server\n", "DM", false, "",
     "  (WARNING: Ignoring line containing ill-formed server location `h:0')\n"},
    {"port above the range", "DM h:70000 hub\n", "DM", false, "",
     "  (WARNING: Ignoring line containing ill-formed server location `h:70000')\n"},
    {"port not a number", "DM h:web server\n", "DM", false, "",
     "  (WARNING: Ignoring line containing ill-formed server location `h:web')\n"},
    {"no host", "DM :5 server\n", "DM", false, "",
     "  (WARNING: Ignoring line containing ill-formed server location `:5')\n"},
    {"long lines", "# " + std::string(5000, 'c') + "\n" + kLongName + " h:4 server\r\n", kLongName,
     true, kLongName + " [-1] h:4 server", ""},
    {"long name is not cut", std::string(1500, 'n') + "x h:4 server\n", std::string(1500, 'n'),
     false, "", ""},
};

std::string EntryText(const Hub_ServerLocation& entry) {
  return entry.name + " [" + std::to_string(entry.index) + "] " + entry.host + ":" +
         std::to_string(entry.port) + (entry.kind == HUB_LOCATION_HUB ? " hub" : " server");
}

class LocationsFileTest : public testsupport::TempDirTest,
                          public ::testing::WithParamInterface<FileCase> {};

TEST_P(LocationsFileTest, ReadsTheEntryOfTheServer) {
  const FileCase& c = GetParam();
  testsupport::WriteFile("locations", c.contents);
  Hub_ServerLocation entry;
  testing::internal::CaptureStderr();
  bool found = Hub_ReadServerLocation("locations", c.name.c_str(), &entry);
  std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(found, c.found);
  if (found) {
    EXPECT_EQ(EntryText(entry), c.entry);
  }
  EXPECT_EQ(warnings, c.warnings);
}

INSTANTIATE_TEST_SUITE_P(Lines, LocationsFileTest, ::testing::ValuesIn(kFileCases),
                         [](const auto& info) { return hubtest::TestName(info.param.title); });

TEST(LocationsFileOpenTest, AFileThatCannotBeOpenedWarns) {
  Hub_ServerLocation entry;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Hub_ReadServerLocation("/nonexistent/locations", "DM", &entry));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "  (WARNING: Couldn't open server location file /nonexistent/locations)\n");
}

// ---- the entry applied to the options ----

const char* const kLocations =
    "toy 127.0.0.1:13500 server\n"
    "other hubhost:15000 hub\n"
    "[1]third 10.0.0.1:16000 server\n";

struct LookUpCase {
  const char* title;
  hubtest::Words words;  // after "-server_locations_file locations"
  bool hooks;            // the toy's declaration hook names the server
  int port;
  int hubFlags;
  const char* contactHub;
  int placeholderDeclarations;
  const char* warnings;
};

const LookUpCase kLookUpCases[] = {
    // title, words, hooks, port, hub flags, contact hub, placeholder declarations, warnings
    {"server entry of the declared name", {}, true, 13500, 1, nullptr, 1, ""},
    {"server entry replaces contact", {"-contact_hub", "h:1"}, true, 13500, 1, "h:1", 1, ""},
    {"hub entry by locations-file name", {"-slf_name", "other"}, true, 0, 4, "hubhost:15000", 1,
     ""},
    {"hub entry replaces port and contact",
     {"-port", "14000", "-contact_hub", "h:1", "-slf_name", "other"}, true, 14000, 4,
     "hubhost:15000", 1, ""},
    {"locations-file name without hooks", {"-slf_name", "third"}, false, 16000, 1, nullptr, 0, ""},
    {"no name to look up", {"-port", "14000"}, false, 14000, 1, nullptr, 0,
     "  (WARNING: Couldn't determine server name to look up entry in locations)\n"},
    {"no entry for the name", {"-port", "14000", "-contact_hub", "h:1", "-slf_name", "absent"},
     true, 14000, 5, "h:1", 1, "  (WARNING: Couldn't find entry for server absent in locations)\n"},
};

class LocationsLookUpTest : public testsupport::TempDirTest,
                            public ::testing::WithParamInterface<LookUpCase> {};

TEST_P(LocationsLookUpTest, TheEntryChangesTheOptions) {
  const LookUpCase& c = GetParam();
  testsupport::WriteFile("locations", kLocations);
  hubtest::Words words = {"-server_locations_file", "locations"};
  words.insert(words.end(), c.words.begin(), c.words.end());
  hubtest::CommandLine line("toy", words);
  Hub_ServerHooks hooks = {hubtest::DeclareToy, nullptr};
  hubtest::ResetToyCounts();
  testing::internal::CaptureStderr();
  Hub_ServerArgs* args =
      Hub_ParseServerArgs(line.Argc(), line.Argv(), c.hooks ? &hooks : nullptr, nullptr, nullptr);
  std::string warnings = testing::internal::GetCapturedStderr();
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->port, c.port);
  EXPECT_EQ(args->hubFlags, c.hubFlags);
  EXPECT_EQ(hubtest::Text(args->contactHub), hubtest::Text(c.contactHub));
  EXPECT_EQ(hubtest::ToyPlaceholderDeclarations(), c.placeholderDeclarations);
  EXPECT_EQ(hubtest::ToyDeclarations(), c.placeholderDeclarations);
  EXPECT_EQ(warnings, c.warnings);
  Hub_DestroyServerArgs(args);
}

INSTANTIATE_TEST_SUITE_P(Options, LocationsLookUpTest, ::testing::ValuesIn(kLookUpCases),
                         [](const auto& info) { return hubtest::TestName(info.param.title); });

TEST(LocationsLookUpMissingFileTest, WarnsTwiceAndKeepsTheOptions) {
  hubtest::CommandLine line("toy", {"-server_locations_file", "/nonexistent/f", "-port", "14000"});
  Hub_ServerHooks hooks = {hubtest::DeclareToy, nullptr};
  testing::internal::CaptureStderr();
  Hub_ServerArgs* args = Hub_ParseServerArgs(line.Argc(), line.Argv(), &hooks, nullptr, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "  (WARNING: Couldn't open server location file /nonexistent/f)\n"
            "  (WARNING: Couldn't find entry for server toy in /nonexistent/f)\n");
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args->port, 14000);
  EXPECT_EQ(args->hubFlags, 1);
  Hub_DestroyServerArgs(args);
}

}  // namespace
