// Plumbing of the fault tests: a server program run as a child process (hyrnd or the
// misbehaving test server) on a unix socket in a temporary folder, with its log kept in a
// file, and the outcome of calls made through a channel.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "transport/transport_support.h"

namespace FaultTest {

using namespace std::chrono_literals;
using ::TransportTest::Address;
using ::TransportTest::Channel;
using ::TransportTest::ClientOptions;
using ::TransportTest::Clock;
using ::TransportTest::TempDir;
using Names = ::Ormi::Data::ErrorName;
using Ids = ::Ormi::MessageId;

// A server program run as a child, its standard error going to a log file. Stopped at the end
// of the test when still running: SIGTERM, and SIGKILL when it has not ended within 5 s.
class ChildServer {
 public:
  // `nofile`: the descriptor limit of the child, or 0 to keep the test's.
  ChildServer(std::vector<std::string> arguments, std::string log, rlim_t nofile = 0)
      : arguments_(std::move(arguments)), log_(std::move(log)), nofile_(nofile) {}
  ~ChildServer() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);  // a frozen child cannot end
    if (pid_ > 0) ::kill(pid_, SIGTERM);
    if (!WaitEnded(5s)) Kill();
  }
  ChildServer(ChildServer const&) = delete;
  ChildServer& operator=(ChildServer const&) = delete;

  // Starts the program; true once `path` accepts connections (within 10 s).
  bool Start(std::string const& path) {
    std::vector<char*> argv;
    for (auto& argument : arguments_) argv.push_back(argument.data());
    argv.push_back(nullptr);
    rlimit const limit{nofile_, nofile_};
    pid_ = ::fork();
    if (pid_ == 0) {
      int const fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      ::dup2(fd, STDERR_FILENO);
      if (limit.rlim_cur != 0) ::setrlimit(RLIMIT_NOFILE, &limit);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    for (auto const end = Clock::now() + 10s; Clock::now() < end && Running();) {
      int const fd = ::TransportTest::Connect(Address::Unix(path));
      if (fd >= 0) {
        ::close(fd);
        return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  // Whether the child still runs; reaps it when it ended, keeping its wait status.
  bool Running() {
    if (pid_ <= 0) return false;
    if (::waitpid(pid_, &status_, WNOHANG) == 0) return true;
    pid_ = -1;
    return false;
  }

  // Waits (at most `wait`) for the child to end; true when it did.
  bool WaitEnded(std::chrono::milliseconds wait) {
    for (auto const end = Clock::now() + wait; Clock::now() < end;
         std::this_thread::sleep_for(10ms)) {
      if (!Running()) return true;
    }
    return false;
  }

  // Stops the child (SIGSTOP) and returns once all its threads stopped.
  bool Freeze() {
    int status = 0;
    return pid_ > 0 && ::kill(pid_, SIGSTOP) == 0 && ::waitpid(pid_, &status, WUNTRACED) == pid_ &&
           WIFSTOPPED(status);
  }

  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status_, 0);
    pid_ = -1;
  }

  pid_t pid() const { return pid_; }
  int status() const { return status_; }

  // What the child wrote on its standard error so far.
  std::string Log() const {
    std::ifstream file(log_);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }

 private:
  std::vector<std::string> arguments_;
  std::string log_;
  rlim_t nofile_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// Open descriptors of a process (its /proc/<pid>/fd entries).
inline int OpenDescriptors(std::string const& pid = "self") {
  DIR* folder = ::opendir(("/proc/" + pid + "/fd").c_str());
  if (folder == nullptr) return -1;
  int count = 0;
  while (dirent const* entry = ::readdir(folder)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(folder);
  return count - 1;  // the folder's own descriptor
}

// The count of open descriptors once it has held still for a while (a connection closed by
// the peer may take a moment to be closed here too); the last count after `limit`.
inline int SettledDescriptors(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  auto const end = std::chrono::steady_clock::now() + limit;
  int count = OpenDescriptors();
  for (int still = 0; still < 5 && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    int const now = OpenDescriptors();
    still = now == count ? still + 1 : 0;
    count = now;
  }
  return count;
}

// Calls of one result type, made through any stub: counts the deliveries of each call, so
// that a call answered twice or never shows.
template <typename Value>
class Outcomes {
 public:
  struct Outcome {
    int deliveries = 0;
    bool value = false;
    boost::optional<Value> last;  // the value of the last delivery
    std::string error;            // name of the error, or ""
    std::list<std::string> ids;
    std::string text;  // the first message's text, or ""
    Clock::duration took{};
  };

  // A result object for call `index`; the calls are numbered from 0 in the order made.
  template <typename Result>
  Result Expect() {
    std::lock_guard<std::mutex> const lock(mutex_);
    std::size_t const index = outcomes_.size();
    outcomes_.emplace_back();
    auto const started = Clock::now();
    return Result(typename Result::Callback(
        [this, index, started](boost::optional<Value> const& value, ::Ormi::ErrorPtr const& error,
                               ::Ormi::Progress const& /*progress*/) {
          if (!value && !error) return;
          std::lock_guard<std::mutex> const inner(mutex_);
          Outcome& outcome = outcomes_[index];
          ++outcome.deliveries;
          outcome.value = value.has_value();
          outcome.last = value;
          outcome.error = error ? error->name() : "";
          outcome.ids = ::BindingTest::MessageIds(error);
          outcome.text =
              error && !error->messages().empty() ? error->messages().front().defaultMessage : "";
          outcome.took = Clock::now() - started;
          changed_.notify_all();
        }));
  }

  // Waits (at most `wait`) until every call made got an answer.
  bool WaitAll(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, wait, [this] {
      return std::all_of(outcomes_.begin(), outcomes_.end(),
                         [](Outcome const& outcome) { return outcome.deliveries > 0; });
    });
  }

  std::vector<Outcome> Snapshot() {
    std::lock_guard<std::mutex> const lock(mutex_);
    return outcomes_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Outcome> outcomes_;
};

}  // namespace FaultTest
