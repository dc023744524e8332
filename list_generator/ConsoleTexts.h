// Every text Pantrel writes to the console or to standard error, kept in one
// place. The program's own texts are plain ASCII and are written byte for byte,
// odd spellings included: operators and scripts have read them for years.
#pragma once

namespace pantrel {
namespace texts {

// Banner, shown piece by piece with a short pause between the pieces.
constexpr const char kBannerGap[] = "\n\n";
constexpr const char kBannerRule[] = "***************************************\n";  // 39 asterisks
constexpr const char kBannerTitle[] = "* Semi-automatic lis file generator  *\n";

// Usage, shown when the command line does not hold exactly three arguments.
constexpr const char kUsage[] =
    "Error: Problem with evaluating command line arguments!\n"
    "Using of Sarvel: \n"
    "\tPantrel source_file output_file mode\n"
    "\tmode: manual/auto\n";

// Settings lines; each prefix is followed by the value and a line feed.
constexpr const char kStarLine[] = "*\n";
constexpr const char kInputFile[] = "* Input file: ";
constexpr const char kOutputFile[] = "* Output file: ";
constexpr const char kMode[] = "* Mode: ";
constexpr const char kStar[] = "*";  // the last one, with no line end

// The one mode word that selects manual mode (exact, case-sensitive).
constexpr const char kManualMode[] = "manual";

// Manual mode: "\nLine:" + number + "\t" + display copy + "\n", then the prompt.
constexpr const char kLine[] = "\nLine:";
constexpr const char kResultPrompt[] = "Result string for this line:";

// Closing lines of a run that wrote the whole list file.
constexpr const char kFinished[] = " Lis file generation was ended successfull!\n";
constexpr const char kWrittenTo[] = "* The result was writed to output file ";

// Errors on standard error; each is followed by the path and a line feed.
constexpr const char kCannotOpenSource[] = "Error: Cannot open the source file ";
constexpr const char kCannotReadSource[] = "Error: Cannot read the source file ";
constexpr const char kCannotCreateOutput[] = "Error: Cannot create the output file ";
constexpr const char kOutputIsSource[] = "Error: The output file is the source file ";
constexpr const char kCannotWriteOutput[] = "Error: Cannot write the output file ";

}  // namespace texts
}  // namespace pantrel
