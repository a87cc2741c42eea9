// hyrnd: serves the example provider's fourteen services and the introspection service
// (com.norval.ormi.introspection.v1) over the HTTP transport. The
// command line, the daemon and the run loop live here so that tests need no process.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

#include "ormi/in_process/connector.h"
#include "ormi/transport/options.h"
#include "ormi/transport/server.h"

namespace Hyrnd {

struct Options {
  Ormi::Transport::ServerOptions server;  // listen, io_threads, limits, access
  // Threads that run the provider's calls; 0 runs each call on the I/O thread that read it,
  // which saves two thread changes per call. The example provider's operations are short
  // (a task's work runs on its own task thread), so that is the default.
  std::size_t workers = 0;
};

// What runs the provider's calls for `workers` (see Options::workers).
std::shared_ptr<Ormi::InProcess::Executor> MakeCallExecutor(std::size_t workers);

// Reads the command line into `options`. Returns -1 to go on, or the exit code to end with
// (0 after --help, 2 after an error, which is written to `err`).
int ParseCommandLine(int argc, char const* const* argv, Options* options, std::ostream& out,
                     std::ostream& err);

// One log line: time, peer, service/operation, status, duration.
std::string FormatCallRecord(Ormi::Transport::CallRecord const& record);

class Daemon {
 public:
  // Calls are logged to `log`, one line each, from the server's I/O threads.
  Daemon(Options options, std::ostream& log);
  Daemon(Daemon const&) = delete;
  Daemon& operator=(Daemon const&) = delete;
  ~Daemon();

  // Registers the services and starts serving; false with the reasons written to `err`.
  bool Start(std::ostream& err);
  // Stops gracefully and finishes the provider's work.
  void Stop();
  Ormi::Transport::Server& server() { return *server_; }

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
  std::unique_ptr<Ormi::Transport::Server> server_;
  std::shared_ptr<Ormi::L10n::Localizer> localizer_;  // the services' and the server's
  std::mutex log_mutex_;
};

// Has the C library allocate blocks of 64 KiB and more (request and answer bodies, large
// results) directly from the system and return them when freed. By default the allocator
// raises that threshold as such blocks are freed, after which they come from the arena of
// the thread that asks: each I/O thread's arena then grows to its largest burst and keeps
// it. Under a steady load of 64 clients the daemon's resident memory rose by 7 to 11 % after
// the load ended, without more memory in use.
void KeepLargeBlocksOutOfArenas();

// Serves until SIGTERM or SIGINT, then stops gracefully. Returns the exit code. Blocks the
// two signals in every thread it starts, so call it before any other thread exists. Calls
// KeepLargeBlocksOutOfArenas first.
int RunUntilSignal(Options const& options, std::ostream& log);

}  // namespace Hyrnd
