// The gRPC peer of the small in-process call: a unary call over gRPC's in-process channel
// (no sockets, but the full client and server stacks), answering with the same small
// configuration as the in-process configuration read of call_bench.cpp.
#include <memory>
#include <string>

#include <benchmark/benchmark.h>
#include <grpcpp/grpcpp.h>

#include "alloc_counter.h"
#include "config_peer.grpc.pb.h"
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

bool Call(hyrn_bench::Config::Stub& stub) {
  grpc::ClientContext context;
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

}  // namespace
}  // namespace HyrnBench
