// hyrn: the command-line client (see hyrn/cli.h).
#include <iostream>

#include "hyrn/cli.h"

int main(int argc, char** argv) { return Hyrn::Run(argc, argv, {std::cin, std::cout, std::cerr}); }
