// The hyrnd binary as a child process of a benchmark or load program: started with its
// arguments, its log read for the addresses it listens on and then drained, its resident
// memory and open descriptors read from /proc, stopped with SIGTERM.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <thread>
#include <vector>

namespace HyrnBench {

class DaemonProcess {
 public:
  DaemonProcess() = default;
  DaemonProcess(DaemonProcess const&) = delete;
  DaemonProcess& operator=(DaemonProcess const&) = delete;
  // Stops the daemon if it still runs.
  ~DaemonProcess();

  // Starts `path` with `arguments` and waits until it has logged one "listening on" line per
  // --listen argument (at most 10 s). False when it did not start or stopped before.
  bool Start(std::string const& path, std::vector<std::string> const& arguments);
  // The addresses it logged, in the form of --listen ("tcp:127.0.0.1:40123" for port 0).
  std::vector<std::string> const& addresses() const { return addresses_; }
  pid_t pid() const { return pid_; }
  // Lines of its log after the start lines (one per call served).
  std::size_t logLines() const { return log_lines_.load(); }

  // VmRSS in bytes and the number of open descriptors; 0 when they cannot be read.
  std::size_t ResidentBytes() const;
  std::size_t OpenDescriptors() const;

  // SIGTERM, then SIGKILL after 15 s. Returns the exit status as waitpid reports it.
  int Stop();

 private:
  void Drain(int fd);

  pid_t pid_ = -1;
  std::vector<std::string> addresses_;
  std::thread drain_;
  std::atomic<std::size_t> log_lines_{0};
};

// Lets this process (and the processes it starts) open as many files as the hard limit
// allows.
void RaiseOpenFileLimit();

}  // namespace HyrnBench
