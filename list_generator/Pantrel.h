// The whole run of the list-file generator, behind a thin main: banner,
// command line, settings, the files, the list loop and the closing lines.
#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "list_generator/Console.h"

namespace pantrel {

// arguments: the command-line words after the program name; exactly three are
// expected (source file, output file, mode). Errors go to errors.
// Returns the exit status: 0 after a whole run, and also after the usage text
// for a wrong argument count (operators' scripts rely on that); 1 when the
// source cannot be opened or read, the output file is the source file itself,
// or the output file cannot be created or written. Nothing is created or
// truncated when the source cannot be opened or is the output file.
int RunPantrel(const std::vector<std::string>& arguments, Console& console, std::ostream& errors);

}  // namespace pantrel
