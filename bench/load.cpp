// hyrn_load: starts hyrnd and drives it with many clients over its unix socket and over
// loopback TCP, each client a channel of its own calling a fixed mix of operations in a
// closed loop (reads, writes, expected errors, a task started and waited for), bounded in
// calls and in time. Reports calls per second, latency percentiles, answers by error name,
// and the daemon's resident memory and open descriptors at the start, in the middle and at
// the end. Exits 1 when a call ended other than expected or a call was lost.
//
//   hyrn_load [--clients 64] [--calls 100000] [--max-seconds 1800] [--roads unix,tcp]
//             [--hyrnd PATH] [--json FILE]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <exception>
#include <fstream>
#include <future>
#include <iomanip>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <boost/json.hpp>

#include "closed_loop.h"
#include "daemon_process.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/wire.h"
#include "temp_dir.h"

namespace HyrnBench {
namespace {

namespace json = boost::json;
using Clock = std::chrono::steady_clock;
using Ormi::Transport::Address;
using Ormi::Transport::Milliseconds;

struct Settings {
  std::string hyrnd = HYRN_HYRND_PATH;
  std::size_t clients = 64;
  std::size_t calls = 100'000;  // per client
  std::chrono::seconds max_time{1800};
  std::vector<std::string> roads = {"unix", "tcp"};
  std::string json_file;
};

// One call of the mix. "{client}" in the body is the client's number, "{task}" the task the
// last task start answered with. `expected` is "ok" or the error name of a call that must fail.
struct Step {
  char const* target;  // service/operation
  char const* body;
  char const* expected;
};

constexpr char kScanSpec[] =
    R"({"depots":["main"],"software_spec":{"base_image":{"version":"8.0.3"},)"
    R"("add_on":{"name":"vendor-pack","version":"3.2"},"components":{"net-driver":"2.1.0"}}})";

std::vector<Step> Mix() {
  static std::string const scan = std::string(R"({"scan_spec":)") + kScanSpec + "}";
  return {
      {"com.norval.hyrn.host_settings.config/get", R"({"host":"host-01"})", "ok"},
      {"com.norval.hyrn.host_settings.config.components.keys/set",
       R"({"host":"host-01","component":"ntp","key":"load-{client}","config":)"
       R"({"$struct":"com.norval.hyrn.example.ntp_config",)"
       R"("fields":{"server":"ntp.load.example","enabled":true}}})",
       "ok"},
      {"com.norval.hyrn.host_settings.config.components.keys/get",
       R"({"host":"host-01","component":"ntp","key":"load-{client}"})", "ok"},
      {"com.norval.hyrn.host_settings.config.components.keys/delete",
       R"({"host":"host-01","component":"ntp","key":"load-{client}"})", "ok"},
      {"com.norval.hyrn.host_settings.depots/list", R"({"host":"host-01"})", "ok"},
      {"com.norval.hyrn.host_settings.software/get", R"({"host":"host-01"})", "ok"},
      {"com.norval.hyrn.hosts.software.components/list", R"({"host":"host-01"})", "ok"},
      {"com.norval.hyrn.software.installed_components/list", "{}", "ok"},
      {"com.norval.hyrn.software.installed_parcels/list", R"({"filter":null})", "ok"},
      {"com.norval.hyrn.host_settings.config/get", R"({"host":"host-09"})", "not_found"},
      {"com.norval.hyrn.host_settings.software.hyrn/set", R"({"host":"host-03","version":""})",
       "invalid_argument"},
      {"com.norval.hyrn.host_settings.config/get", R"({"host":1})", "invalid_argument"},
      {"com.norval.hyrn.settings_daemon.software/scan$task", scan.c_str(), "ok"},
      {"com.norval.ormi.tasks/wait", R"({"task":"{task}","timeout_ms":20000})", "ok"},
  };
}

std::string Replace(std::string text, std::string const& from, std::string const& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The short name of an answer: "ok", the error's last name part ("not_found"), or the
// failure on the way.
std::string OutcomeOf(Ormi::Transport::RawAnswer const& answer) {
  if (answer.failure) return "road:" + answer.failure->name();
  if (answer.status == 200) return "ok";
  json::error_code error;
  auto const body = json::parse(answer.body, error);
  auto const* name = !error && body.is_object() ? body.as_object().if_contains("$error") : nullptr;
  if (name == nullptr || !name->is_string()) return "status:" + std::to_string(answer.status);
  std::string const full(name->as_string());
  return full.substr(full.rfind('.') + 1);
}

constexpr Milliseconds kDeadline{30'000};

struct ClientResult {
  std::vector<float> latencies_us;
  std::map<std::string, std::size_t> outcomes;  // by outcome, expected or not
  std::map<std::string, std::size_t> unexpected;
  std::size_t calls = 0;      // started
  std::size_t completed = 0;  // answered, as expected or not
};

class Load {
 public:
  Load(Settings settings, std::vector<Address> roads, std::string token_file)
      : settings_(std::move(settings)), roads_(std::move(roads)), token_(std::move(token_file)) {}

  // Runs the clients; returns when every one has ended.
  std::vector<ClientResult> Run() {
    std::vector<ClientResult> results(settings_.clients);
    std::vector<std::thread> threads;
    stop_at_ = Clock::now() + settings_.max_time;
    for (std::size_t c = 0; c < settings_.clients; ++c) {
      threads.emplace_back([this, c, &results] { RunClient(c, &results[c]); });
    }
    for (auto& thread : threads) thread.join();
    return results;
  }
  std::size_t completed() const { return completed_.load(); }

 private:
  void RunClient(std::size_t client, ClientResult* result) {
    Ormi::Transport::ClientOptions options;
    options.max_connections = 1;
    options.token_file = token_;
    Ormi::Transport::Channel channel(roads_[client % roads_.size()], options);
    auto const mix = Mix();
    std::string task;
    result->latencies_us.reserve(settings_.calls);
    for (std::size_t i = 0; i < settings_.calls && Clock::now() < stop_at_; ++i) {
      // Each client goes through the mix in order: its key is set before it is read.
      Step const& step = mix[i % mix.size()];
      if (std::string(step.target) == "com.norval.ormi.tasks/wait" && task.empty()) continue;
      std::string const target = step.target;
      auto const slash = target.find('/');
      std::string const body =
          Replace(Replace(step.body, "{client}", std::to_string(client)), "{task}", task);
      auto answered = std::make_shared<std::promise<Ormi::Transport::RawAnswer>>();
      auto answer_of = answered->get_future();
      auto const start = Clock::now();
      ++result->calls;
      channel.Post(
          target.substr(0, slash), target.substr(slash + 1), body, Ormi::Transport::kPlainMediaType,
          kDeadline,
          [answered](Ormi::Transport::RawAnswer const& answer) { answered->set_value(answer); });
      // Every call must end by its deadline; one that does not is counted as lost.
      if (answer_of.wait_for(kDeadline + std::chrono::seconds(10)) != std::future_status::ready) {
        ++result->unexpected[target + " lost"];
        continue;
      }
      auto const answer = answer_of.get();
      result->latencies_us.push_back(static_cast<float>(
          std::chrono::duration<double, std::micro>(Clock::now() - start).count()));
      std::string const outcome = OutcomeOf(answer);
      ++result->outcomes[outcome];
      ++result->completed;
      ++completed_;
      if (outcome != step.expected)
        ++result->unexpected[std::string(target).append(" ").append(outcome)];
      if (target.find("$task") != std::string::npos) {
        task = outcome == "ok" ? std::string(json::parse(answer.body).as_string()) : "";
      } else if (target == "com.norval.ormi.tasks/wait") {
        task.clear();
      }
    }
  }

  Settings settings_;
  std::vector<Address> roads_;
  std::string token_;
  Clock::time_point stop_at_;
  std::atomic<std::size_t> completed_{0};
};

struct Sample {
  std::size_t rss = 0;
  std::size_t descriptors = 0;
};

Sample Measure(DaemonProcess const& daemon) {
  return {daemon.ResidentBytes(), daemon.OpenDescriptors()};
}

void Report(Settings const& settings, std::vector<ClientResult> const& results, double seconds,
            Sample const (&samples)[3], std::ostream& out, json::object* summary) {
  std::vector<double> latencies;
  std::map<std::string, std::size_t> outcomes;
  std::map<std::string, std::size_t> unexpected;
  std::size_t calls = 0;
  std::size_t completed = 0;
  for (auto const& result : results) {
    latencies.insert(latencies.end(), result.latencies_us.begin(), result.latencies_us.end());
    for (auto const& [name, count] : result.outcomes) outcomes[name] += count;
    for (auto const& [name, count] : result.unexpected) unexpected[name] += count;
    calls += result.calls;
    completed += result.completed;
  }
  json::object percentiles;
  out << std::fixed << std::setprecision(1);
  out << settings.clients << " clients, " << calls << " calls, " << completed << " completed in "
      << seconds << " s: " << static_cast<double>(completed) / seconds << " calls/s\n";
  static constexpr std::pair<char const*, double> kPercentiles[] = {
      {"p50", 0.5}, {"p90", 0.9}, {"p99", 0.99}, {"p99.9", 0.999}};
  for (auto const& [name, fraction] : kPercentiles) {
    double const value = Percentile(latencies, fraction);
    out << "latency " << name << ": " << value << " us\n";
    percentiles[name] = value;
  }
  json::object by_outcome;
  for (auto const& [name, count] : outcomes) {
    out << "answers " << name << ": " << count << "\n";
    by_outcome[name] = count;
  }
  json::object by_unexpected;
  for (auto const& [name, count] : unexpected) {
    out << "UNEXPECTED " << name << ": " << count << "\n";
    by_unexpected[name] = count;
  }
  char const* const when[] = {"start", "middle", "end"};
  json::object daemon;
  for (int i = 0; i < 3; ++i) {
    out << "daemon at " << when[i] << ": " << samples[i].rss / 1024 << " KiB resident, "
        << samples[i].descriptors << " descriptors\n";
    daemon[when[i]] = {{"rss_kib", samples[i].rss / 1024}, {"descriptors", samples[i].descriptors}};
  }
  *summary = {{"clients", settings.clients},
              {"calls", calls},
              {"completed", completed},
              {"seconds", seconds},
              {"calls_per_s", static_cast<double>(completed) / seconds},
              {"latency_us", percentiles},
              {"answers", by_outcome},
              {"unexpected", by_unexpected},
              {"daemon", daemon}};
}

int Main(int argc, char** argv) {
  Settings settings;
  CLI::App app("Drives hyrnd with many clients and reports how it held.", "hyrn_load");
  app.add_option("--hyrnd", settings.hyrnd, "The hyrnd binary")->capture_default_str();
  app.add_option("--clients", settings.clients, "Clients, each with its own connection")
      ->capture_default_str();
  app.add_option("--calls", settings.calls, "Calls per client")->capture_default_str();
  app.add_option_function<long>(
      "--max-seconds", [&](long seconds) { settings.max_time = std::chrono::seconds(seconds); },
      "Time after which clients stop (default 1800)");
  app.add_option("--roads", settings.roads, "unix, tcp or both (the clients alternate)")
      ->delimiter(',');
  app.add_option("--json", settings.json_file, "Also write the figures as JSON to this file");
  CLI11_PARSE(app, argc, argv);

  RaiseOpenFileLimit();
  TempDir dir;
  std::vector<std::string> arguments = {"--token-file", dir.Path("token"), "--max-connections",
                                        std::to_string(settings.clients + 16)};
  for (auto const& road : settings.roads) {
    arguments.emplace_back("--listen");
    arguments.push_back(road == "tcp" ? "tcp:127.0.0.1:0" : "unix:" + dir.Path("hyrnd.sock"));
  }
  DaemonProcess daemon;
  if (!daemon.Start(settings.hyrnd, arguments)) {
    std::cerr << "hyrn_load: " << settings.hyrnd << " did not start\n";
    return 1;
  }
  std::vector<Address> roads;
  for (auto const& text : daemon.addresses()) {
    Address address;
    std::string reason;
    if (Address::Parse(text, &address, &reason)) roads.push_back(address);
  }
  Sample samples[3] = {Measure(daemon), {}, {}};
  Load load(settings, roads, dir.Path("token"));
  std::atomic<bool> done{false};
  // The middle sample: when half of all calls are made or half of the time has passed.
  std::thread monitor([&] {
    std::size_t const half = settings.clients * settings.calls / 2;
    auto const half_time = Clock::now() + settings.max_time / 2;
    while (!done && load.completed() < half && Clock::now() < half_time) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    samples[1] = Measure(daemon);
  });
  auto const start = Clock::now();
  auto const results = load.Run();
  double const seconds = std::chrono::duration<double>(Clock::now() - start).count();
  done = true;
  monitor.join();
  std::this_thread::sleep_for(std::chrono::seconds(1));  // closed connections reach the daemon
  samples[2] = Measure(daemon);
  json::object summary;
  Report(settings, results, seconds, samples, std::cout, &summary);
  summary["daemon_exit_status"] = daemon.Stop();
  if (!settings.json_file.empty()) std::ofstream(settings.json_file) << summary << "\n";
  bool const ok = summary["unexpected"].as_object().empty() &&
                  summary["calls"] == summary["completed"] && summary["completed"] != 0;
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace HyrnBench

int main(int argc, char** argv) {
  try {
    return HyrnBench::Main(argc, argv);
  } catch (std::exception const& error) {
    std::cerr << "hyrn_load: " << error.what() << "\n";
    return 1;
  }
}
