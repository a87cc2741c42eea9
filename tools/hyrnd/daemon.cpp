#include "hyrnd/daemon.h"

#include <malloc.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <list>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>

#include "ormi/in_process/connector.h"
#include "ormi/services/registry_introspection.h"
#include "ormi/services/tasks.h"
#include "provider/host_model.h"
#include "provider/provider.h"

namespace Hyrnd {
namespace {

using Ormi::Transport::Address;
using Ormi::Transport::Milliseconds;

// Adds an option that reads a number of milliseconds into `target`.
void AddMilliseconds(CLI::App& app, std::string const& name, Milliseconds* target,
                     std::string const& help) {
  app.add_option_function<long long>(
         name, [target](long long const& value) { *target = Milliseconds(value); },
         help + " (milliseconds, default " + std::to_string(target->count()) + ")")
      ->check(CLI::NonNegativeNumber);
}

void AddLimits(CLI::App& app, Ormi::Transport::ServerLimits& limits) {
  app.add_option("--max-header-bytes", limits.max_header_bytes, "Largest request header")
      ->capture_default_str();
  app.add_option("--max-body-bytes", limits.max_body_bytes, "Largest request body")
      ->capture_default_str();
  app.add_option("--max-json-depth", limits.max_json_depth, "Deepest JSON nesting of a body")
      ->capture_default_str();
  app.add_option("--max-connections", limits.max_connections, "Open connections")
      ->capture_default_str();
  app.add_option("--max-calls-in-flight", limits.max_calls_in_flight, "Calls served at once")
      ->capture_default_str();
  AddMilliseconds(app, "--header-timeout", &limits.header_timeout, "Time to send a header");
  AddMilliseconds(app, "--body-timeout", &limits.body_timeout, "Time to send a body");
  AddMilliseconds(app, "--idle-timeout", &limits.idle_timeout, "Idle kept-alive connection");
  AddMilliseconds(app, "--call-timeout", &limits.call_timeout, "Deadline of a call naming none");
  AddMilliseconds(app, "--max-call-timeout", &limits.max_call_timeout, "Longest deadline");
  AddMilliseconds(app, "--drain-timeout", &limits.drain_timeout, "Time calls get to finish");
}

// The catalogues installed with hyrnd: <prefix>/share/hyrn/l10n/*.json beside <prefix>/bin.
std::vector<std::string> InstalledCatalogues() {
  std::error_code error;
  auto const exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  auto const directory = exe.parent_path().parent_path() / "share" / "hyrn" / "l10n";
  std::vector<std::string> files;
  for (auto const& entry : std::filesystem::directory_iterator(directory, error)) {
    if (entry.path().extension() == ".json") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The translations of `files`; null when there are none. False with the reason in `err`.
bool ReadCatalogues(std::vector<std::string> const& files,
                    std::shared_ptr<Ormi::L10n::Localizer>* localizer, std::ostream& err) {
  auto read = std::make_shared<Ormi::L10n::Localizer>();
  for (auto const& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    try {
      if (!in) throw std::invalid_argument("cannot be read");
      read->AddCatalogue(text.str());
    } catch (std::invalid_argument const& error) {
      err << "hyrnd: --catalogue " << file << ": " << error.what() << "\n";
      return false;
    }
  }
  if (!read->empty()) *localizer = std::move(read);
  return true;
}

std::string Utc(std::chrono::system_clock::time_point time) {
  auto const milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  auto const seconds = static_cast<std::time_t>(milliseconds / 1000);
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  std::ostringstream text;
  text << std::put_time(&parts, "%Y-%m-%dT%H:%M:%S") << '.' << std::setw(3) << std::setfill('0')
       << milliseconds % 1000 << 'Z';
  return text.str();
}

}  // namespace

int ParseCommandLine(int argc, char const* const* argv, Options* options, std::ostream& out,
                     std::ostream& err) {
  CLI::App app("Serves the example provider's services over HTTP on unix sockets and TCP.",
               "hyrnd");
  std::vector<std::string> listen;
  app.add_option("--listen", listen,
                 "unix:PATH or tcp:HOST:PORT, repeatable (default " +
                     Address::DaemonDefault().ToString() + ")");
  auto& server = options->server;
  app.add_option("--threads", server.io_threads, "I/O threads")->capture_default_str();
  app.add_option("--workers", options->workers,
                 "Threads running the provider's calls (0: the I/O threads)")
      ->capture_default_str();
  app.add_option("--token-file", server.token_file, "Where to write the TCP bearer token");
  app.add_option("--allow-uid", server.allow_uids, "Another user who may call on unix sockets");
  app.add_option("--allow-origin", server.allowed_origins, "An Origin header value to accept");
  app.add_flag("--allow-remote", server.allow_remote, "Listen on TCP addresses beyond loopback");
  bool no_token = false;
  app.add_flag("--no-token", no_token, "Serve TCP without the bearer token");
  std::vector<std::string> catalogues;
  app.add_option("--catalogue", catalogues,
                 "Translations of messages (JSON), repeatable (default: the installed ones)");
  AddLimits(app, server.limits);
  try {
    app.parse(argc, argv);
  } catch (CLI::ParseError const& error) {
    return app.exit(error, out, err) == 0 ? 0 : 2;
  }
  server.require_token = !no_token;
  if (!ReadCatalogues(catalogues.empty() ? InstalledCatalogues() : catalogues, &server.localizer,
                      err)) {
    return 2;
  }
  if (listen.empty()) listen.push_back(Address::DaemonDefault().ToString());
  for (auto const& text : listen) {
    Address address;
    std::string reason;
    if (!Address::Parse(text, &address, &reason)) {
      err << "hyrnd: --listen " << text << ": " << reason << "\n";
      return 2;
    }
    server.listen.push_back(address);
  }
  return -1;
}

std::string FormatCallRecord(Ormi::Transport::CallRecord const& record) {
  std::ostringstream line;
  line << Utc(record.time) << ' ' << record.peer << ' '
       << (record.service.empty() ? "-" : record.service + "/" + record.operation) << ' '
       << record.status << ' ' << record.duration.count() << "ms";
  return line.str();
}

std::shared_ptr<Ormi::InProcess::Executor> MakeCallExecutor(std::size_t workers) {
  if (workers == 0) return std::make_shared<Ormi::InProcess::InlineExecutor>();
  return std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(workers);
}

struct Daemon::Parts {
  std::shared_ptr<Example::HostModel> model = std::make_shared<Example::HostModel>();
  std::shared_ptr<Ormi::InProcess::Executor> calls;
  std::shared_ptr<Ormi::InProcess::ThreadPoolExecutor> tasks =
      std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(1);
  std::shared_ptr<Ormi::InProcess::Registry> registry =
      std::make_shared<Ormi::InProcess::Registry>();
};

Daemon::Daemon(Options options, std::ostream& log)
    : parts_(std::make_unique<Parts>()), localizer_(options.server.localizer) {
  parts_->calls = MakeCallExecutor(options.workers);
  options.server.call_log = [this, &log](Ormi::Transport::CallRecord const& record) {
    std::string const line = FormatCallRecord(record) + "\n";
    std::lock_guard<std::mutex> const lock(log_mutex_);
    log << line << std::flush;
  };
  options.server.event_log = [this, &log](Ormi::BaseMessage const& message) {
    std::lock_guard<std::mutex> const lock(log_mutex_);
    log << "hyrnd: " << message.defaultMessage << "\n" << std::flush;
  };
  server_ = std::make_unique<Ormi::Transport::Server>(parts_->registry, parts_->calls,
                                                      std::move(options.server));
}

Daemon::~Daemon() { Stop(); }

bool Daemon::Start(std::ostream& err) {
  Example::AddSampleHosts(*parts_->model);
  Example::Provider const provider(parts_->model, "host-01", parts_->tasks);
  // The tasks service serves the provider's task store, so that a client in another process
  // reads the outcome of the tasks it started.
  if (!provider.RegisterAll(*parts_->registry, localizer_) ||
      !Ormi::Services::RegisterIntrospection(parts_->registry) ||
      !parts_->registry->Register(Ormi::Services::BindTasksService(provider.taskStore()))) {
    err << "hyrnd: the services could not be registered\n";
    return false;
  }
  std::list<Ormi::BaseMessage> messages;
  if (!server_->Start(messages)) {
    for (auto const& message : messages) err << "hyrnd: " << message.defaultMessage << "\n";
    return false;
  }
  return true;
}

void Daemon::Stop() {
  server_->Stop();
  if (auto pool = std::dynamic_pointer_cast<Ormi::InProcess::ThreadPoolExecutor>(parts_->calls)) {
    pool->Drain();
  }
  parts_->tasks->Drain();
}

void KeepLargeBlocksOutOfArenas() {
#ifdef __GLIBC__
  ::mallopt(M_MMAP_THRESHOLD, 64 * 1024);
#endif
}

int RunUntilSignal(Options const& options, std::ostream& log) {
  KeepLargeBlocksOutOfArenas();
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  Daemon daemon(options, log);
  if (!daemon.Start(log)) return 1;
  for (auto const& address : daemon.server().addresses()) {
    log << "hyrnd: listening on " << address.ToString() << "\n" << std::flush;
  }
  int received = 0;
  sigwait(&signals, &received);
  log << "hyrnd: stopping on signal " << received << "\n" << std::flush;
  daemon.Stop();
  return 0;
}

}  // namespace Hyrnd
