// Splitting operation names, host:port texts and indexed names.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "libhub/util/NameSplit.h"

namespace {

// Takes a malloc'd result: "(null)" for null.
std::string Take(char* text) {
  std::string result = text ? text : "(null)";
  free(text);
  return result;
}

TEST(NameSplitTest, OperationNames) {
  struct Case {
    const char* text;
    const char* result;
    const char* prefix;
  } const cases[] = {
      {"DM.BeginSession", "BeginSession", "DM"},
      {"BeginSession", "BeginSession", "(null)"},
      {"a.b.c", "b.c", "a"},
      {".op", "op", ""},
      {"server.", "", "server"},
      {"", "", "(null)"},
      {nullptr, "(null)", "(null)"},
  };
  for (const Case& c : cases) {
    char* prefix = reinterpret_cast<char*>(1);
    EXPECT_EQ(Take(Hub_SplitOperationName(c.text, &prefix)), c.result) << c.text;
    EXPECT_EQ(Take(prefix), c.prefix) << c.text;
  }
  EXPECT_EQ(Take(Hub_SplitOperationName("x.y", nullptr)), "y");
}

TEST(NameSplitTest, HostAndPort) {
  struct Case {
    const char* text;
    const char* host;
    int port;
  } const cases[] = {
      {"localhost:12001", "localhost", 12001},
      {"localhost", "localhost", -1},
      {"localhost:", "localhost", 0},
      {"host:abc", "host", 0},
      {"host:65535", "host", 65535},
      {"host:65536", "host", 0},
      {"host:99999999999", "host", 0},
      {"host:0", "host", 0},
      {"host:-5", "host", 0},
      {"host:12x", "host", 12},
      {":80", "", 80},
      {"a:1:2", "a", 1},
      {nullptr, "(null)", -1},
  };
  for (const Case& c : cases) {
    int port = 77;
    EXPECT_EQ(Take(Hub_SplitHostPort(c.text, &port)), c.host) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
  EXPECT_EQ(Take(Hub_SplitHostPort("h:1", nullptr)), "h");
}

TEST(NameSplitTest, IndexPrefix) {
  struct Case {
    const char* text;
    const char* result;
    int index;
    const char* bad;
  } const cases[] = {
      {"[2]DM", "DM", 2, "(null)"},
      {"[x]DM", "DM", -1, "x"},
      {"[]DM", "DM", -1, ""},
      {"[3]", "(null)", 3, "(null)"},
      {"DM", "DM", -1, "(null)"},
      {"DM[2]", "DM[2]", -1, "(null)"},
      {"[12", "[12", 1, "(null)"},
      {"[", "[", -1, ""},
      {"[x", "[x", -1, ""},
      {"[7abc]rest", "rest", 7, "(null)"},
      {"[1]a]b", "a]b", 1, "(null)"},
      {"[4294967297]a", "a", -1, "4294967297"},  // does not fit an int
      {"[-2147483649]a", "a", -1, "-2147483649"},
      {"[-2147483648]a", "a", -2147483648, "(null)"},
      {nullptr, "(null)", -1, "(null)"},
  };
  for (const Case& c : cases) {
    int index = 77;
    char* bad = reinterpret_cast<char*>(1);
    EXPECT_EQ(Take(Hub_SplitIndexPrefix(c.text, &index, &bad)), c.result) << c.text;
    EXPECT_EQ(index, c.index) << c.text;
    EXPECT_EQ(Take(bad), c.bad) << c.text;
  }
  EXPECT_EQ(Take(Hub_SplitIndexPrefix("[q]z", nullptr, nullptr)), "z");
  int index = 0;
  EXPECT_EQ(Take(Hub_SplitIndexPrefix("[q]z", &index, nullptr)), "z");
  EXPECT_EQ(index, -1);
}

}  // namespace
