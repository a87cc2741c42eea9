// End-to-end calls through the in-process connector with an inline executor: a client stub
// converts the arguments, the channel routes the call, the bound provider validates and
// converts the input, calls the implementation and converts, validates and delivers its
// answer back to the caller's result object. Nothing leaves the thread.
//
// "Call/scan/<components>": the largest operation, scan$task, with a software specification
// of that size (its answer is a task identifier). "Call/config_get": the small read of a
// host's configuration; its gRPC peer is grpc_call_bench.cpp.
#include <cstddef>
#include <list>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "ormi/data/convert.h"
#include "ormi/in_process/connector.h"
#include "workload.h"

namespace HyrnBench {
namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
using ScanMethod = Sd::SoftwareSvc::ScanMethod;
using GetMethod = Hs::ConfigSvc::GetMethod;

class ScanProvider final : public Sd::SoftwareSvc::AsyncServiceInterface {
 public:
  void Apply(std::shared_ptr<Sd::SoftwareSvc::ApplySpec const> const& /*apply_spec*/,
             std::shared_ptr<Ormi::Core::AsyncActivation> const& /*activation*/,
             Sd::SoftwareSvc::ApplyMethod::ResultType const& result) override {
    result.SetTaskId("apply-0001");
  }
  void Scan(std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> const& scan_spec,
            std::shared_ptr<Ormi::Core::AsyncActivation> const& /*activation*/,
            ScanMethod::ResultType const& result) override {
    result.SetTaskId(scan_spec->depots.empty() ? "" : "scan-0001");
  }
};

// Builds the configuration on every call, as the gRPC peer builds its response.
class ConfigProvider final : public Hs::ConfigSvc::AsyncServiceInterface {
 public:
  void Get(std::string const& /*host*/,
           std::shared_ptr<Ormi::Core::AsyncActivation> const& /*activation*/,
           GetMethod::ResultType const& result) override {
    result.SetResult(MakeConfigSpec());
  }
};

// A registry with both services bound, and a channel that runs calls inline.
struct InProcessSetup {
  InProcessSetup() {
    registry->Register(
        Sd::SoftwareSvc::AsyncServiceBinder::BindImplementation(std::make_shared<ScanProvider>()));
    registry->Register(
        Hs::ConfigSvc::AsyncServiceBinder::BindImplementation(std::make_shared<ConfigProvider>()));
  }
  std::shared_ptr<Ormi::InProcess::Registry> registry =
      std::make_shared<Ormi::InProcess::Registry>();
  std::shared_ptr<Ormi::InProcess::Channel> channel = std::make_shared<Ormi::InProcess::Channel>(
      registry, std::make_shared<Ormi::InProcess::InlineExecutor>());
};

bool Scan(Sd::SoftwareSvc::AsyncServiceStub& stub,
          std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> const& scan_spec) {
  std::string task;
  stub.Scan(scan_spec, nullptr,
            ScanMethod::ResultType(ScanMethod::ResultType::TaskCallback(
                [&task](std::string const& id, Ormi::ErrorPtr const& error) {
                  if (!error) task = id;
                })));
  return task == "scan-0001";
}

bool GetConfig(Hs::ConfigSvc::AsyncServiceStub& stub) {
  std::size_t components = 0;
  stub.Get(kSmallConfigHost, nullptr,
           GetMethod::ResultType(GetMethod::ResultType::Callback(
               [&components](auto const& value, auto const& error, auto const& /*progress*/) {
                 if (value && !error) components = (*value)->components.size();
               })));
  return components == SmallConfig().size();
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

}  // namespace
}  // namespace HyrnBench
