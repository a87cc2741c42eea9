// hyrn: the command-line client (see hyrn/cli.h).
#include <unistd.h>

#include <iostream>

#include "hyrn/cli.h"

int main(int argc, char** argv) {
  return Hyrn::Run(argc, argv, {std::cin, std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1});
}
