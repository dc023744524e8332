// The names of a "namelist" attribute (of <clear>, <submit>, <return>).
#pragma once
#include <string>
#include <vector>

// The names separated by blanks, in order; empty names (two blanks in a
// row, a blank at either end) are left out.
std::vector<std::string> SplitNameList(const std::string& namelist);
