// The hooks of a toy program built on the generic server main: it declares
// the server "toy" with default port 12001 and one operation, "ping", and its
// start-up hook prints the words left over for it.
#pragma once
#include "libhub/ServerMain/ServerArgs.h"

namespace hubtest {

// Sets name "toy" and port 12001; on a real server also the table with "ping".
// Counts its runs, and its runs on a placeholder.
void DeclareToy(HubIO_Server* server);
// Prints "toy start-up: " and the leftover words joined with '|' and a line
// end on standard output; gives ToyServerData().
void* InitializeToy(HubIO_Server* server, int argc, char** argv);

int ToyDeclarations();
int ToyPlaceholderDeclarations();
void ResetToyCounts();
void* ToyServerData();

}  // namespace hubtest
