// hyrnd: the example provider as a daemon (see hyrnd/daemon.h).
#include <iostream>

#include "hyrnd/daemon.h"

int main(int argc, char** argv) {
  Hyrnd::Options options;
  int const exit_code = Hyrnd::ParseCommandLine(argc, argv, &options, std::cout, std::cerr);
  if (exit_code >= 0) return exit_code;
  return Hyrnd::RunUntilSignal(options, std::cerr);
}
