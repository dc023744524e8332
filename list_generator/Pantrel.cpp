#include "list_generator/Pantrel.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "list_generator/ConsoleTexts.h"
#include "list_generator/ListGenerator.h"

namespace pantrel {
namespace {

void ShowBanner(Console& console) {
  console.Write(texts::kBannerGap);
  console.Pause();
  console.Write(texts::kBannerRule);
  console.Pause();
  console.Write(texts::kBannerTitle);
  console.Pause();
  console.Write(texts::kBannerRule);
}

void ShowSettings(const std::string& source, const std::string& output, const std::string& mode,
                  Console& console) {
  const std::string lines[] = {
      texts::kStarLine, texts::kInputFile + source + "\n",  texts::kStarLine,
      texts::kOutputFile + output + "\n", texts::kStarLine, texts::kMode + mode + "\n",
      texts::kStarLine};
  console.Write(lines[0]);
  for (std::size_t i = 1; i < std::size(lines); ++i) {
    console.Pause();
    console.Write(lines[i]);
  }
  console.Write(texts::kStar);
}

// Ends the console's open line, then reports on errors: message + path and,
// when the system gave one, the reason. Returns the failure exit status.
int Fail(const char* message, const std::string& path, int error, Console& console,
         std::ostream& errors) {
  console.Write("\n");
  console.Flush();
  errors << message << path;
  if (error != 0) errors << ": " << std::strerror(error);
  errors << std::endl;
  return 1;
}

}  // namespace

int RunPantrel(const std::vector<std::string>& arguments, Console& console, std::ostream& errors) {
  ShowBanner(console);
  if (arguments.size() != 3) {
    console.Write(texts::kUsage);
    console.Flush();
    return 0;
  }
  const std::string& sourcePath = arguments[0];
  const std::string& outputPath = arguments[1];
  ShowSettings(sourcePath, outputPath, arguments[2], console);

  errno = 0;
  std::ifstream source(sourcePath, std::ios::binary);
  if (!source) return Fail(texts::kCannotOpenSource, sourcePath, errno, console, errors);
  source.peek();  // a folder opens but cannot be read: find out before the output exists
  if (source.bad()) return Fail(texts::kCannotReadSource, sourcePath, errno, console, errors);

  // Creating the list would truncate the source before a line of it is read.
  std::error_code notTheSame;
  if (std::filesystem::equivalent(sourcePath, outputPath, notTheSame)) {
    return Fail(texts::kOutputIsSource, outputPath, 0, console, errors);
  }

  errno = 0;
  std::ofstream list(outputPath, std::ios::binary | std::ios::trunc);
  if (!list) return Fail(texts::kCannotCreateOutput, outputPath, errno, console, errors);

  // Inside the loop errno also carries conversion states: name no reason.
  switch (GenerateList(source, list, ModeFromWord(arguments[2]), console)) {
    case ListResult::kSourceUnreadable:
      return Fail(texts::kCannotReadSource, sourcePath, 0, console, errors);
    case ListResult::kListUnwritable:
      return Fail(texts::kCannotWriteOutput, outputPath, 0, console, errors);
    case ListResult::kDone:
      break;
  }
  console.Write(texts::kFinished);
  console.Write(texts::kWrittenTo + outputPath + "\n");
  console.Flush();
  return 0;
}

}  // namespace pantrel
