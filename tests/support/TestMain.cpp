// The main of every test program. Death tests fork a child of a process
// that may hold script-engine threads; the threadsafe style re-runs the test
// in a fresh process instead, so such a child never waits on threads that
// only its parent has.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
