// End-to-end calls through the in-process connector with an inline executor: a client stub
// converts the arguments, the channel routes the call, the bound provider validates and
// converts the input, calls the implementation and converts, validates and delivers its
// answer back to the caller's result object. Nothing leaves the thread.
//
// "Call/scan/<components>": the largest operation, scan$task, with a software specification
// of that size (its answer is a task identifier). "Call/config_get": the small read of a
// host's configuration; its gRPC peer is grpc_call_bench.cpp. "Call/config_get_large": the
// same read answering a configuration of kLargeConfigComponents components. The same calls
// over the transport's unix socket are in transport_bench.cpp.
#include <cstddef>
#include <list>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "bench_services.h"
#include "ormi/data/convert.h"
#include "ormi/in_process/connector.h"
#include "workload.h"

namespace HyrnBench {
namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
using ScanMethod = Sd::SoftwareSvc::ScanMethod;
using GetMethod = Hs::ConfigSvc::GetMethod;

// The bench services, and a channel that runs calls inline.
struct InProcessSetup {
  std::shared_ptr<Ormi::InProcess::Channel> channel = std::make_shared<Ormi::InProcess::Channel>(
      MakeBenchRegistry(), std::make_shared<Ormi::InProcess::InlineExecutor>());
};

bool Scan(Sd::SoftwareSvc::AsyncServiceStub& stub,
          std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> const& scan_spec) {
  std::string task;
  stub.Scan(scan_spec, nullptr,
            ScanMethod::ResultType(ScanMethod::ResultType::TaskCallback(
                [&task](std::string const& id, Ormi::ErrorPtr const& error) {
                  if (!error) task = id;
                })));
  return task == kScanTaskId;
}

bool GetConfig(Hs::ConfigSvc::AsyncServiceStub& stub, bool large = false) {
  std::size_t components = 0;
  stub.Get(large ? kLargeConfigHost : kSmallConfigHost, nullptr,
           GetMethod::ResultType(GetMethod::ResultType::Callback(
               [&components](auto const& value, auto const& error, auto const& /*progress*/) {
                 if (value && !error) components = (*value)->components.size();
               })));
  return components == (large ? kLargeConfigComponents : SmallConfig().size());
}

template <typename Work>
void Measure(benchmark::State& state, Work work) {
  if (!work()) return state.SkipWithError("the call did not complete as expected");
  HeapUse const heap = MeasureHeap(work);
  for (auto _ : state) benchmark::DoNotOptimize(work());
  state.counters["allocs"] = static_cast<double>(heap.allocations);
  state.counters["peak_bytes"] = static_cast<double>(heap.peak_bytes);
}

void ScanCall(benchmark::State& state) {
  InProcessSetup const setup;
  Sd::SoftwareSvc::AsyncServiceStub stub(setup.channel);
  ScanMethod::Input input;
  input.scan_spec = MakeScanSpec(static_cast<std::size_t>(state.range(0)));
  Ormi::Data::ValuePtr value;
  std::list<Ormi::BaseMessage> messages;
  Ormi::Data::ToValue(input, &value, messages);
  Measure(state, [&] { return Scan(stub, input.scan_spec); });
  state.counters["nodes"] = static_cast<double>(CountValueNodes(*value));
}
BENCHMARK(ScanCall)
    ->Name("Call/scan")
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

void ConfigGetCall(benchmark::State& state) {
  InProcessSetup const setup;
  Hs::ConfigSvc::AsyncServiceStub stub(setup.channel);
  Measure(state, [&] { return GetConfig(stub); });
}
BENCHMARK(ConfigGetCall)->Name("Call/config_get")->Unit(benchmark::kMicrosecond)->UseRealTime();

void LargeConfigGetCall(benchmark::State& state) {
  InProcessSetup const setup;
  Hs::ConfigSvc::AsyncServiceStub stub(setup.channel);
  Measure(state, [&] { return GetConfig(stub, true); });
}
BENCHMARK(LargeConfigGetCall)
    ->Name("Call/config_get_large")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace
}  // namespace HyrnBench
