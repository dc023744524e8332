// A toy program built on the generic server main, started by the tests.
#include "libhub/ServerMain/ServerMain.h"
#include "tests/libhub/ServerMain/ToyServerHooks.h"

int main(int argc, char** argv) {
  Hub_ServerMain(argc, argv, {hubtest::DeclareToy, hubtest::InitializeToy});
}
