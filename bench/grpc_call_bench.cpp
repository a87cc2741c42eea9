// The gRPC peer of the small call, answering with the same small configuration as the
// configuration read of call_bench.cpp and transport_bench.cpp. "Grpc/config_get": a unary call
// over gRPC's in-process channel (no sockets, but the full client and server stacks).
// "GrpcUnix/config_get/callers:<N>": unary calls over a unix socket with insecure credentials,
// N callers in a closed loop sharing one channel, as "Socket/config_get" does over ours.
#include <chrono>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <grpcpp/grpcpp.h>

#include "alloc_counter.h"
#include "closed_loop.h"
#include "config_peer.grpc.pb.h"
#include "temp_dir.h"
#include "workload.h"

namespace HyrnBench {
namespace {

class ConfigService final : public hyrn_bench::Config::Service {
 public:
  grpc::Status Get(grpc::ServerContext* /*context*/, hyrn_bench::ConfigGetRequest const* request,
                   hyrn_bench::ConfigSpec* response) override {
    if (request->host().empty()) return {grpc::StatusCode::INVALID_ARGUMENT, "no host"};
    for (auto const& component : SmallConfig()) {
      auto& fields = *(*response->mutable_components())[component.name].mutable_fields();
      for (auto const& setting : component.settings) fields[setting.first] = setting.second;
    }
    return grpc::Status::OK;
  }
};

// One call; with a `wait`, the call's deadline is that far away.
bool Call(hyrn_bench::Config::Stub& stub, std::chrono::milliseconds wait = {}) {
  grpc::ClientContext context;
  if (wait.count() > 0) context.set_deadline(std::chrono::system_clock::now() + wait);
  hyrn_bench::ConfigGetRequest request;
  request.set_host(kSmallConfigHost);
  hyrn_bench::ConfigSpec response;
  return stub.Get(&context, request, &response).ok() &&
         response.components_size() == static_cast<int>(SmallConfig().size());
}

void GrpcConfigGet(benchmark::State& state) {
  ConfigService service;
  grpc::ServerBuilder builder;
  builder.RegisterService(&service);
  std::unique_ptr<grpc::Server> const server = builder.BuildAndStart();
  auto const stub = hyrn_bench::Config::NewStub(server->InProcessChannel(grpc::ChannelArguments()));
  if (!Call(*stub)) return state.SkipWithError("the gRPC call failed");
  HeapUse const heap = MeasureHeap([&] { Call(*stub); });
  for (auto _ : state) benchmark::DoNotOptimize(Call(*stub));
  state.counters["allocs"] = static_cast<double>(heap.allocations);
  state.counters["peak_bytes"] = static_cast<double>(heap.peak_bytes);
  server->Shutdown();
}
BENCHMARK(GrpcConfigGet)->Name("Grpc/config_get")->Unit(benchmark::kMicrosecond)->UseRealTime();

void GrpcUnixConfigGet(benchmark::State& state) {
  TempDir const dir;
  std::string const address = "unix:" + dir.Path("grpc.sock");
  ConfigService service;
  grpc::ServerBuilder builder;
  builder.AddListeningPort(address, grpc::InsecureServerCredentials());
  builder.RegisterService(&service);
  std::unique_ptr<grpc::Server> const server = builder.BuildAndStart();
  if (!dir.made() || !server) return state.SkipWithError("the gRPC server did not start");
  auto const stub =
      hyrn_bench::Config::NewStub(grpc::CreateChannel(address, grpc::InsecureChannelCredentials()));
  RunLoadBenchmark(state, [&stub] { return Call(*stub, std::chrono::seconds(10)); });
  server->Shutdown();
}
BENCHMARK(GrpcUnixConfigGet)->Name("GrpcUnix/config_get")->Apply(LoadSettings);

}  // namespace
}  // namespace HyrnBench
