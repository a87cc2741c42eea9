#include "daemon_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;  // NOLINT(readability-redundant-declaration): for posix_spawn

namespace HyrnBench {
namespace {

constexpr char kListening[] = "hyrnd: listening on ";

// Reads one line from `fd` into `line`, waiting until `deadline`; false at its end or then.
bool ReadLine(int fd, std::string* line, std::chrono::steady_clock::time_point deadline) {
  line->clear();
  char c = 0;
  while (true) {
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return false;
    if (::read(fd, &c, 1) != 1) return false;
    if (c == '\n') return true;
    line->push_back(c);
  }
}

}  // namespace

DaemonProcess::~DaemonProcess() {
  if (pid_ > 0) Stop();
}

bool DaemonProcess::Start(std::string const& path, std::vector<std::string> const& arguments) {
  int log[2];
  if (::pipe2(log, O_CLOEXEC) != 0) return false;
  std::vector<std::string> args = arguments;
  args.insert(args.begin(), path);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, log[1], STDERR_FILENO);
  if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    pid_ = -1;
  }
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(log[1]);
  if (pid_ < 0) {
    ::close(log[0]);
    return false;
  }
  auto const listens = static_cast<std::size_t>(std::count(args.begin(), args.end(), "--listen"));
  auto const deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string line;
  while (addresses_.size() < std::max<std::size_t>(1, listens) &&
         ReadLine(log[0], &line, deadline)) {
    if (line.rfind(kListening, 0) == 0) addresses_.push_back(line.substr(sizeof kListening - 1));
  }
  drain_ = std::thread([this, fd = log[0]] { Drain(fd); });
  return addresses_.size() == std::max<std::size_t>(1, listens);
}

void DaemonProcess::Drain(int fd) {
  char chunk[65536];
  ssize_t got = 0;
  while ((got = ::read(fd, chunk, sizeof chunk)) > 0) {
    log_lines_ += static_cast<std::size_t>(std::count(chunk, chunk + got, '\n'));
  }
  ::close(fd);
}

std::size_t DaemonProcess::ResidentBytes() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
  }
  return 0;
}

std::size_t DaemonProcess::OpenDescriptors() const {
  DIR* const directory = ::opendir(("/proc/" + std::to_string(pid_) + "/fd").c_str());
  if (directory == nullptr) return 0;
  std::size_t count = 0;
  while (dirent const* entry = ::readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(directory);
  return count;
}

int DaemonProcess::Stop() {
  int status = -1;
  ::kill(pid_, SIGTERM);
  bool ended = false;
  for (int i = 0; i < 1500 && !ended; ++i) {
    ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!ended) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
  pid_ = -1;
  if (drain_.joinable()) drain_.join();  // the daemon's end closed the log
  return status;
}

void RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace HyrnBench
