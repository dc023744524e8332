// Shared fixture of the frame layer's tests: initialises the library and
// collects what the printing layer shows instead of writing it out.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "libhub/ServerMain/ServerMain.h"
#include "libhub/frames/Frame.h"
#include "libhub/frames/Object.h"
#include "libhub/frames/PrintUtil.h"
#include "libhub/util/Print.h"
#include "libhub/util/Repository.h"

namespace hubtest {

// Each message shown: "W:" + warning text, or "L:" + text of a level print.
std::vector<std::string>& Shown();

class FramesTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The warnings shown since the last call, and forgets everything shown.
  std::vector<std::string> TakeShown();
  // The one message shown since the last call ("" when none; fails when several).
  std::string TakeOneShown();

 private:
  HubUtil_PrinterTable saved_{};
};

// The text of an object or frame in a layout.
std::string ObjectText(const Hub_Object* object, int layout);
std::string FrameText(const Hub_Frame* frame, int layout);

// A frame of kind clause with the integer properties given.
Hub_Frame* FrameWithInts(const char* name, std::vector<std::pair<const char*, int>> properties);

}  // namespace hubtest
