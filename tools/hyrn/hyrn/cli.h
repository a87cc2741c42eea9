// hyrn, the command-line client of a running server: calls its operations with plain JSON
// and prints their answers. The whole program is Run, so that tests need no process.
#pragma once

#include <iosfwd>
#include <string>

namespace Hyrn {

// The exit codes, one per class of error an answer can carry.
enum ExitCode : int {
  kSuccess = 0,
  kFailed = 1,  // error, internal_server_error, any other error, an answer that is no value
  kUsage = 2,   // the command line, or the input it names cannot be read
  kInvalidArgument = 3,
  kNotFound = 4,
  kConflict = 5,  // already_exists, not_allowed_in_current_state
  kUnauthenticated = 6,
  kUnavailable = 7,  // service_unavailable, and no server at the address
  kTimedOut = 8,
};

// The exit code for an error value of that name.
ExitCode ExitCodeForError(std::string const& error_name);

struct Streams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool terminal = false;  // standard output is a terminal: progress is drawn as a bar
};

// Runs the command line `argv` (argv[0] is the program); returns the exit code.
int Run(int argc, char const* const* argv, Streams const& streams);

}  // namespace Hyrn
