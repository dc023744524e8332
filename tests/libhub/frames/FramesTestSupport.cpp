#include "tests/libhub/frames/FramesTestSupport.h"

#include "tests/libhub/util/HubTestSupport.h"

#include <cstdarg>
#include <cstdio>

namespace hubtest {
namespace {

void CaptureWarning(const char* format, va_list args, void*) {
  Shown().push_back("W:" + FormatText(format, args));
}

void CaptureLevel(int, const char* format, va_list args, void*) {
  Shown().push_back("L:" + FormatText(format, args));
}

}  // namespace

std::vector<std::string>& Shown() {
  static std::vector<std::string> shown;
  return shown;
}

void FramesTest::SetUp() {
  Hub_InitializeStatics();
  HubUtil_PrinterTable* table = HubUtil_CurrentPrinters();
  saved_ = *table;
  table->warning = CaptureWarning;
  table->level = CaptureLevel;
  HubUtil_SetVerbosity(3);
  Shown().clear();
}

void FramesTest::TearDown() {
  *HubUtil_CurrentPrinters() = saved_;
  HubUtil_SetVerbosity(3);
}

std::vector<std::string> FramesTest::TakeShown() {
  std::vector<std::string> shown;
  shown.swap(Shown());
  return shown;
}

std::string FramesTest::TakeOneShown() {
  std::vector<std::string> shown = TakeShown();
  EXPECT_LE(shown.size(), 1u) << (shown.empty() ? "" : shown[0]);
  return shown.empty() ? "" : shown[0];
}

std::string ObjectText(const Hub_Object* object, int layout) {
  Hub_PrintContext* context = Hub_CreatePrintContext(layout, nullptr);
  std::string text = Hub_PrintObject(object, context) ? Hub_PrintContextText(context) : "<failed>";
  Hub_DestroyPrintContext(context);
  return text;
}

std::string FrameText(const Hub_Frame* frame, int layout) {
  Hub_PrintContext* context = Hub_CreatePrintContext(layout, nullptr);
  std::string text = Hub_PrintFrame(frame, context) ? Hub_PrintContextText(context) : "<failed>";
  Hub_DestroyPrintContext(context);
  return text;
}

Hub_Frame* FrameWithInts(const char* name, std::vector<std::pair<const char*, int>> properties) {
  Hub_Frame* frame = Hub_MakeFrame(name);
  for (auto& [key, value] : properties) Hub_SetFrameProperty(frame, key, Hub_MakeIntObject(value));
  return frame;
}

}  // namespace hubtest
