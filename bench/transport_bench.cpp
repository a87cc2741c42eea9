// Calls over the transport's unix socket, and what idle connections cost the daemon.
//
// "Socket/config_get/callers:<N>": the small configuration read through the generated stub,
// our Channel and our Server on a unix socket, N callers in a closed loop, each waiting on a
// future per call (its gRPC peer is "GrpcUnix/config_get" in grpc_call_bench.cpp).
// "Socket/scan/<components>": scan$task with a specification of that size, one call at a time
// (its in-process peer is "Call/scan" in call_bench.cpp; its CPU time is that of all threads).
// "Socket/config_get_large": the configuration read with a large answer, one call at a time
// (its in-process peer is "Call/config_get_large").
// Both servers run in the daemon's
// configuration: default server options and the daemon's default number of provider threads;
// the channel has the default client options.
//
// "Socket/idle_connections/<N>": starts the hyrnd binary, opens N unix-socket connections that
// each make one call and stay open, and reports the growth of the daemon's resident memory.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <boost/beast/http.hpp>

#include "bench_services.h"
#include "closed_loop.h"
#include "daemon_process.h"
#include "hyrnd/daemon.h"
#include "ormi/data/convert.h"
#include "ormi/data/json.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/server.h"
#include "ormi/transport/wire.h"
#include "temp_dir.h"
#include "workload.h"

namespace HyrnBench {
namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
namespace http = boost::beast::http;
using Ormi::Transport::Address;
using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kCallWait = 10s;

// Our server of the bench services on a unix socket, and a channel to it.
class SocketSetup {
 public:
  SocketSetup() {
    Hyrnd::Options const daemon;
    Ormi::Transport::ServerOptions options = daemon.server;
    options.listen = {Address::Unix(dir_.Path("bench.sock"))};
    server_ = std::make_unique<Ormi::Transport::Server>(
        MakeBenchRegistry(), Hyrnd::MakeCallExecutor(daemon.workers), options);
    std::list<Ormi::BaseMessage> messages;
    if (dir_.made() && server_->Start(messages)) {
      channel_ = std::make_shared<Ormi::Transport::Channel>(server_->addresses().front(),
                                                            Ormi::Transport::ClientOptions{});
    }
  }
  ~SocketSetup() {
    channel_.reset();  // closes its connections before the server drains
    server_->Stop();
  }
  SocketSetup(SocketSetup const&) = delete;
  SocketSetup& operator=(SocketSetup const&) = delete;

  // Null when the server could not start.
  std::shared_ptr<Ormi::Transport::Channel> const& channel() const { return channel_; }

 private:
  TempDir dir_;
  std::unique_ptr<Ormi::Transport::Server> server_;
  std::shared_ptr<Ormi::Transport::Channel> channel_;
};

void SocketConfigGet(benchmark::State& state) {
  SocketSetup const setup;
  if (!setup.channel()) return state.SkipWithError("the server did not start");
  Hs::ConfigSvc::AsyncServiceStub stub(setup.channel());
  RunLoadBenchmark(state, [&stub] { return GetConfigAndWait(stub, kCallWait); });
}
BENCHMARK(SocketConfigGet)->Name("Socket/config_get")->Apply(LoadSettings);

// The size of the request body the channel sends for `input`: its canonical JSON.
template <typename Input>
double BodyBytes(Input const& input) {
  Ormi::Data::ValuePtr value;
  std::list<Ormi::BaseMessage> messages;
  Ormi::Data::ToValue(input, &value, messages);
  return value ? static_cast<double>(Ormi::Data::ToJson(*value).size()) : 0;
}

// Times `call` (true when answered as expected) one call at a time, after one untimed call.
template <typename Call>
void OneAtATime(benchmark::State& state, Call call) {
  if (!call()) return state.SkipWithError("the call did not complete as expected");
  bool answered = true;
  for (auto _ : state) answered = call() && answered;
  if (!answered) state.SkipWithError("a call did not complete as expected");
}

void SocketScan(benchmark::State& state) {
  SocketSetup const setup;
  if (!setup.channel()) return state.SkipWithError("the server did not start");
  Sd::SoftwareSvc::AsyncServiceStub stub(setup.channel());
  Sd::SoftwareSvc::ScanMethod::Input input;
  input.scan_spec = MakeScanSpec(static_cast<std::size_t>(state.range(0)));
  OneAtATime(state, [&] { return ScanAndWait(stub, input.scan_spec, kCallWait); });
  state.counters["body_bytes"] = BodyBytes(input);
}
// CPU time is the whole process's: the caller, the channel's and the server's threads.
BENCHMARK(SocketScan)
    ->Name("Socket/scan")
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void SocketLargeConfigGet(benchmark::State& state) {
  SocketSetup const setup;
  if (!setup.channel()) return state.SkipWithError("the server did not start");
  Hs::ConfigSvc::AsyncServiceStub stub(setup.channel());
  OneAtATime(state, [&stub] { return GetConfigAndWait(stub, kCallWait, true); });
}
BENCHMARK(SocketLargeConfigGet)
    ->Name("Socket/config_get_large")
    ->Unit(benchmark::kMicrosecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// The idle-connection measurement: hyrnd as a child process and raw HTTP connections to it.

// A connected unix socket, or -1.
int ConnectUnix(std::string const& path) {
  int const fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un target{};
  target.sun_family = AF_UNIX;
  std::strncpy(target.sun_path, path.c_str(), sizeof target.sun_path - 1);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
    return fd;
  }
  if (fd >= 0) ::close(fd);
  return -1;
}

// The request of the example provider's configuration read of its first host, as our channel
// sends it.
std::string ConfigGetRequest() {
  Hs::ConfigSvc::GetMethod::Input input;
  input.host = "host-01";
  Ormi::Data::ValuePtr value;
  std::list<Ormi::BaseMessage> messages;
  Ormi::Data::ToValue(input, &value, messages);
  std::string const body = Ormi::Data::ToJson(*value);
  return std::string("POST /com.norval.hyrn.host_settings.config/get HTTP/1.1\r\n") +
         "Host: localhost\r\nContent-Type: " + Ormi::Transport::kCanonicalMediaType +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Sends `request` and reads its answer, at most kCallWait; true when the answer is 200 OK.
bool CallOnce(int fd, std::string const& request) {
  if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    return false;
  }
  std::string received;
  auto const end = std::chrono::steady_clock::now() + kCallWait;
  while (std::chrono::steady_clock::now() < end) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 100) < 0) return false;
    char chunk[4096];
    ssize_t const got = (ready.revents & POLLIN) != 0 ? ::read(fd, chunk, sizeof chunk) : 0;
    if ((ready.revents & POLLIN) != 0 && got <= 0) return false;
    received.append(chunk, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    http::response_parser<http::string_body> parser;
    parser.eager(true);
    boost::beast::error_code error;
    parser.put(boost::asio::buffer(received), error);
    if (!error && parser.is_done()) return parser.get().result() == http::status::ok;
  }
  return false;
}

// True when the peer has not closed `fd`.
bool StillOpen(int fd) {
  pollfd ready{fd, POLLIN, 0};
  return ::poll(&ready, 1, 0) == 0;
}

void IdleConnections(benchmark::State& state) {
  auto const connections = static_cast<std::size_t>(state.range(0));
  RaiseOpenFileLimit();
  TempDir const dir;
  std::string const socket = dir.Path("hyrnd.sock");
  DaemonProcess daemon;
  if (!dir.made() ||
      !daemon.Start(HYRN_HYRND_PATH, {"--listen", "unix:" + socket, "--max-connections",
                                      std::to_string(2 * connections)})) {
    return state.SkipWithError("hyrnd did not start");
  }
  std::string const request = ConfigGetRequest();
  std::vector<int> open;
  bool called = true;
  double before = 0;
  double after = 0;
  for (auto _ : state) {
    int const warm = ConnectUnix(socket);
    // Warm-up on one connection, closed again: threads, allocator arenas, definitions.
    for (int i = 0; i < 100 && warm >= 0; ++i) called = CallOnce(warm, request) && called;
    if (warm >= 0) ::close(warm);
    std::this_thread::sleep_for(200ms);
    before = static_cast<double>(daemon.ResidentBytes());
    for (std::size_t i = 0; i < connections && called; ++i) {
      open.push_back(ConnectUnix(socket));
      called = open.back() >= 0 && CallOnce(open.back(), request);
    }
    std::this_thread::sleep_for(200ms);
    after = static_cast<double>(daemon.ResidentBytes());
  }
  auto const still_open =
      static_cast<std::size_t>(std::count_if(open.begin(), open.end(), StillOpen));
  for (int fd : open) ::close(fd);
  daemon.Stop();
  if (!called || still_open != connections || before == 0 || after == 0) {
    return state.SkipWithError("the connections were not all served and kept open");
  }
  state.counters["connections"] = static_cast<double>(connections);
  state.counters["rss_before_kib"] = before / 1024;
  state.counters["rss_after_kib"] = after / 1024;
  state.counters["bytes_per_connection"] = (after - before) / static_cast<double>(connections);
}
BENCHMARK(IdleConnections)
    ->Name("Socket/idle_connections")
    ->Arg(1000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace HyrnBench
