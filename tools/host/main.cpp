#include <iostream>

#include "tools/host/HostCommands.h"

int main(int argc, char** argv) {
  thudra::host::CommandArgs args(argv + 1, argv + argc);
  return thudra::host::runHost(args, std::cout, std::cerr);
}
