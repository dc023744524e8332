// The library inside the test process: values and their printed forms,
// Windows-1250 bytes, result buffers, EEcreateVar and the engine's life.
// The error paths run in child processes (MavetteProcessTest.cpp), where
// standard error is checked byte for byte.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

#include "ecmascript_engine/Mavette.h"

namespace {

constexpr std::size_t kBufferSize = 10000;
constexpr char kUntouched[] = "<untouched>";

struct Outcome {
  int code;
  std::string text;
};

// Runs a script into a buffer that holds kUntouched beforehand.
Outcome Command(const std::string& script) {
  std::string buffer(kBufferSize, '\0');
  buffer.replace(0, sizeof kUntouched - 1, kUntouched);
  int code = EEcommandN(script.c_str(), &buffer[0], buffer.size());
  return {code, buffer.c_str()};
}

class MavetteTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(nullptr, EEinit()); }
};

struct ValueCase {
  const char* script;
  const char* printed;
};

void PrintTo(const ValueCase& value, std::ostream* out) { *out << value.script; }

class ValueTest : public MavetteTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueTest, PrintsTheValueOrLeavesTheBuffer) {
  Outcome outcome = Command(GetParam().script);
  EXPECT_EQ(0, outcome.code);
  EXPECT_EQ(GetParam().printed, outcome.text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ValueTest,
    ::testing::Values(ValueCase{"1+1", "2"}, ValueCase{"1==1", "true"},
                      ValueCase{"new Object()", "[object Object]"}, ValueCase{"0.85", "0.85"},
                      ValueCase{"'ab' + 'c'", "abc"}, ValueCase{"[1,[2,3]]", "1,2,3"},
                      ValueCase{"null", "null"}, ValueCase{"1/0", "Infinity"},
                      ValueCase{"'a\\0b'", "a"},
                      // undefined values leave the buffer as it was
                      ValueCase{"var a = 5", kUntouched}, ValueCase{"undefined", kUntouched},
                      ValueCase{"", kUntouched},
                      // a value that cannot be printed is dropped without an error
                      ValueCase{"({toString: function() { throw 1; }})", kUntouched},
                      ValueCase{"Symbol('s')", kUntouched}));

TEST_F(MavetteTest, EveryWindows1250ByteRoundTrips) {
  std::string bytes;
  for (int byte = 0x80; byte <= 0xFF; ++byte) bytes.push_back(static_cast<char>(byte));
  EXPECT_EQ(bytes, Command("var high = '" + bytes + "'; high").text);
  // one character per byte, numbered as the byte: \x8a is "Š"
  EXPECT_EQ("128", Command("high.length").text);
  EXPECT_EQ("138", Command("high.charCodeAt(10)").text);
  EXPECT_EQ("\x8a\x9a\xe8", Command("'\\x8a\\x9a\\xe8'").text);      // "Ššč"
  EXPECT_EQ("1", Command("var \xe8\xedslo = 1; \xe8\xedslo").text);  // "číslo"
}

// Twice each: 30 texts of 25 KB, more than the engine keeps compiled in all
// (512 KiB), and one longer than that.
TEST_F(MavetteTest, ScriptsLongerThanAnyFixedBufferRunWhole) {
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 30; ++i) {
      std::string script = "'" + std::string(20000, 'y') + "'.length + " +
                           std::string(5000, ' ') + std::to_string(i);
      EXPECT_EQ(std::to_string(20000 + i), Command(script).text);
    }
    EXPECT_EQ("600000", Command("'" + std::string(600000, 'z') + "'.length").text);
  }
}

struct CutCase {
  std::size_t size;
  std::size_t kept;
};

void PrintTo(const CutCase& cut, std::ostream* out) { *out << "size " << cut.size; }

class ValueCutTest : public MavetteTest, public ::testing::WithParamInterface<CutCase> {};

// The buffer is exactly size bytes of heap, so a write past it trips the
// address sanitizer.
TEST_P(ValueCutTest, KeepsAtMostSizeLessOneBytes) {
  ASSERT_EQ(0, Command("var digits = new Array(501).join('0123456789')").code);
  std::size_t size = GetParam().size;
  std::unique_ptr<char[]> buffer(new char[size]);
  ASSERT_EQ(0, EEcommandN("digits", buffer.get(), size));
  std::string expected;
  for (std::size_t i = 0; i < GetParam().kept; ++i) expected.push_back("0123456789"[i % 10]);
  EXPECT_EQ(expected, std::string(buffer.get()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ValueCutTest,
                         ::testing::Values(CutCase{1, 0}, CutCase{2, 1}, CutCase{50, 49},
                                           CutCase{256, 255}, CutCase{5000, 4999},
                                           CutCase{5001, 5000}, CutCase{5002, 5000}));

TEST_F(MavetteTest, SizeZeroWritesNothing) {
  EXPECT_EQ(0, EEcommandN("'text'", nullptr, 0));
  char guard = '#';
  EXPECT_EQ(0, EEcommandN("'text'", &guard, 0));
  EXPECT_EQ('#', guard);
}

TEST_F(MavetteTest, UnsizedCommandCopiesTheWholeValue) {
  std::unique_ptr<char[]> buffer(new char[3001]);
  EXPECT_EQ(0, EEcommand("new Array(3001).join('z')", buffer.get()));
  EXPECT_EQ(std::string(3000, 'z'), std::string(buffer.get()));
}

TEST_F(MavetteTest, CreateVarDeclaresWithOrWithoutAValue) {
  EXPECT_EQ(0, EEcreateVar("created", "6*7"));
  EXPECT_EQ("42", Command("created").text);
  EXPECT_EQ(0, EEcreateVar("bare", nullptr));
  EXPECT_EQ("undefined", Command("typeof bare").text);
  EXPECT_EQ(0, EEcreateVar("created", nullptr));  // a second var keeps the value
  EXPECT_EQ("42", Command("created").text);
}

TEST_F(MavetteTest, SecondInitKeepsTheEngineAndItsVariables) {
  EcmaEngine* engine = EEinit();
  ASSERT_EQ(0, Command("var kept = 'still here'").code);
  EXPECT_EQ(engine, EEinit());
  EXPECT_EQ("still here", Command("kept").text);
}

TEST_F(MavetteTest, InitAfterDestroyStartsAFreshEngine) {
  ASSERT_EQ(0, Command("var gone = 1").code);
  ASSERT_EQ("2", Command("1+1").text);  // the new engine compiles it again
  EEdestroy();
  EXPECT_EQ(3, Command("1").code);
  EEdestroy();  // a second destroy does nothing
  ASSERT_NE(nullptr, EEinit());
  EXPECT_EQ("undefined", Command("typeof gone").text);
  EXPECT_EQ("2", Command("1+1").text);
}

// More texts than the engine keeps compiled (4096): the ones it let go
// compile again, and every one runs in full.
TEST_F(MavetteTest, TextsPastTheCompiledCacheRunAgain) {
  constexpr int kTexts = 5000;
  auto counter = [](int i) {
    const std::string name = "c" + std::to_string(i);
    return "var " + name + " = (typeof " + name + " == 'number' ? " + name + " : 0) + 1; " + name;
  };
  for (int i = 0; i < kTexts; ++i) ASSERT_EQ("1", Command(counter(i)).text);
  for (int i : {0, 1, kTexts / 2, kTexts - 1}) EXPECT_EQ("2", Command(counter(i)).text);
}

// Steps that run, one command each, until one fails: in a fresh engine,
// after `texts` other texts have run and filled its cache of compiled
// scripts.
int StepsRun(const std::string& step, int texts) {
  constexpr int kMostSteps = 100000;
  EEdestroy();
  EXPECT_NE(nullptr, EEinit());
  for (int i = 0; i < texts; ++i) Command("'text " + std::to_string(i) + "'.length");
  Command("var a = []");
  int steps = 0;
  while (steps < kMostSteps && Command(step).code == 0) ++steps;
  EEdestroy();
  return steps;
}

// The compiled scripts the engine keeps are let go before the collected heap
// is found full: kept, they would take a tenth of it.
TEST(MavetteLimitTest, KeptScriptsTakeNoRoomInTheCollectedHeap) {
  const std::string step = "for (var i = 0; i < 1000; i++) a.push({i: i})";
  const int fresh = StepsRun(step, 0);
  EXPECT_GE(StepsRun(step, 4000), fresh - fresh / 20);
}

}  // namespace
