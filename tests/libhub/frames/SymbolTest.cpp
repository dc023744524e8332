#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "libhub/frames/Symbol.h"
#include "tests/libhub/frames/FramesTestSupport.h"

namespace {

using hubtest::FramesTest;
using HubSymbolTest = FramesTest;

TEST_F(HubSymbolTest, InterningGivesOneSymbolPerText) {
  Hub_Symbol reply = Hub_Intern("reply");
  EXPECT_NE(reply, nullptr);
  EXPECT_EQ(Hub_Intern("reply"), reply);
  std::string copy = "reply";
  EXPECT_EQ(Hub_Intern(copy.c_str()), reply) << "interning compares texts, not pointers";
  EXPECT_STREQ(Hub_SymbolName(reply), "reply");
  EXPECT_NE(Hub_SymbolName(reply), copy.c_str()) << "the symbol keeps its own copy";
  EXPECT_NE(Hub_Intern("Reply"), reply) << "case matters";
  EXPECT_EQ(Hub_Intern(""), nullptr);
  EXPECT_EQ(Hub_Intern(nullptr), nullptr);
  EXPECT_EQ(Hub_SymbolName(nullptr), nullptr);
  // Texts whose bytes are negative as signed chars hash like any other.
  Hub_Symbol accented = Hub_Intern("\xe1\xe8");  // "áč" in Windows-1250
  EXPECT_EQ(Hub_Intern("\xe1\xe8"), accented);
  EXPECT_STREQ(Hub_SymbolName(accented), "\xe1\xe8");
}

TEST_F(HubSymbolTest, EightThreadsInterningTheSameTextsAgree) {
  constexpr int kThreads = 8;
  constexpr int kTexts = 3000;
  std::promise<void> start;
  std::shared_future<void> go = start.get_future().share();
  std::vector<std::future<std::vector<Hub_Symbol>>> results;
  for (int t = 0; t < kThreads; ++t) {
    results.push_back(std::async(std::launch::async, [go, t] {
      go.wait();
      std::vector<Hub_Symbol> symbols(kTexts);
      // Each thread walks the texts from another starting point.
      for (int i = 0; i < kTexts; ++i) {
        int n = (i + t * 397) % kTexts;
        symbols[n] = Hub_Intern(("thread-key-" + std::to_string(n)).c_str());
      }
      return symbols;
    }));
  }
  start.set_value();
  std::vector<std::vector<Hub_Symbol>> all;
  for (auto& result : results) {
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      ADD_FAILURE() << "interning threads hang";
      _exit(1);
    }
    all.push_back(result.get());
  }
  for (int t = 1; t < kThreads; ++t) {
    for (int i = 0; i < kTexts; ++i)
      ASSERT_EQ(all[t][i], all[0][i]) << "thread " << t << " text " << i;
  }
  EXPECT_STREQ(Hub_SymbolName(all[0][42]), "thread-key-42");
}

TEST_F(HubSymbolTest, TextEqual) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"abc", "abc", true}, {"abc", "abd", false},     {"abc", "ABC", false}, {"", "", true},
      {nullptr, "", false}, {nullptr, nullptr, false}, {"a", nullptr, false}, {"abc", "ab", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hub_TextEqual(c.a, c.b), c.equal)
        << (c.a ? c.a : "(null)") << " / " << (c.b ? c.b : "(null)");
  }
}

TEST_F(HubSymbolTest, TokenizeWalksTokensAndClearsState) {
  char text[] = "  -port 1234,,-verbosity\t3 ";
  char* state = reinterpret_cast<char*>(&state);
  std::vector<std::string> tokens;
  for (char* token = Hub_Tokenize(text, " ,\t", &state); token;
       token = Hub_Tokenize(nullptr, " ,\t", &state)) {
    tokens.push_back(token);
    EXPECT_EQ(state, nullptr);
  }
  EXPECT_EQ(tokens, (std::vector<std::string>{"-port", "1234", "-verbosity", "3"}));
  char empty[] = " , ";
  EXPECT_EQ(Hub_Tokenize(empty, " ,", &state), nullptr);
}

TEST_F(HubSymbolTest, TokenizingThreadsKeepTheirOwnPosition) {
  auto walk = [](std::string line) {
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    char* state = nullptr;
    int count = 0;
    for (char* t = Hub_Tokenize(text.data(), " ", &state); t;
         t = Hub_Tokenize(nullptr, " ", &state)) {
      ++count;
      std::this_thread::yield();
    }
    return count;
  };
  std::string many;
  for (int i = 0; i < 2000; ++i) many += "w ";
  auto first = std::async(std::launch::async, walk, many);
  auto second = std::async(std::launch::async, walk, many);
  ASSERT_EQ(first.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  ASSERT_EQ(second.wait_for(std::chrono::seconds(20)), std::future_status::ready);
  EXPECT_EQ(first.get(), 2000);
  EXPECT_EQ(second.get(), 2000);
}

TEST_F(HubSymbolTest, LocalHostAddressIsDottedAndKept) {
  const char* address = Hub_LocalHostAddress();
  if (!address) GTEST_SKIP() << "this host's name does not resolve";
  EXPECT_TRUE(std::regex_match(address, std::regex("[0-9]{1,3}(\\.[0-9]{1,3}){3}"))) << address;
  EXPECT_EQ(Hub_LocalHostAddress(), address);
}

TEST(HubSymbolUninitialisedTest, InterningBeforeStaticsIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Hub_Intern("x"), testing::ExitedWithCode(255),
              "Symbol memory not initialized; call Hub_InitializeStatics\\(\\)");
}

}  // namespace
