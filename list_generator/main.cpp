// Pantrel: writes a list file of phrases and their result strings.
//   Pantrel source_file output_file mode      (mode: manual/auto)
#include <iostream>
#include <string>
#include <vector>

#include "list_generator/Charset.h"
#include "list_generator/Console.h"
#include "list_generator/Pantrel.h"

int main(int argc, char** argv) {
  pantrel::ConsoleSettings settings;
  settings.utf8 = pantrel::TerminalReadsUtf8();
  pantrel::Console console(std::cin, std::cout, settings);
  return pantrel::RunPantrel(std::vector<std::string>(argv + 1, argv + argc), console, std::cerr);
}
