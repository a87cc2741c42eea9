#include "bench_services.h"

#include <future>
#include <string>

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
    result.SetTaskId(scan_spec->depots.empty() ? "" : kScanTaskId);
  }
};

// Builds the small configuration on every call, as the gRPC peer builds its response; the
// large one is built once, so that its calls measure the road rather than the building.
class ConfigProvider final : public Hs::ConfigSvc::AsyncServiceInterface {
 public:
  void Get(std::string const& host,
           std::shared_ptr<Ormi::Core::AsyncActivation> const& /*activation*/,
           GetMethod::ResultType const& result) override {
    result.SetResult(host == kLargeConfigHost ? large_ : MakeConfigSpec());
  }

 private:
  std::shared_ptr<Hs::ConfigSpec const> const large_ = MakeConfigSpec(kLargeConfigComponents);
};

// Waits for a promise that a result function fulfils; the promise is shared with the
// function, which may run after a wait that gave up.
template <typename T>
bool WaitFor(std::shared_ptr<std::promise<T>> const& promise, std::chrono::milliseconds wait,
             T const& expected) {
  auto future = promise->get_future();
  return future.wait_for(wait) == std::future_status::ready && future.get() == expected;
}

}  // namespace

std::shared_ptr<Ormi::InProcess::Registry> MakeBenchRegistry() {
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  registry->Register(
      Sd::SoftwareSvc::AsyncServiceBinder::BindImplementation(std::make_shared<ScanProvider>()));
  registry->Register(
      Hs::ConfigSvc::AsyncServiceBinder::BindImplementation(std::make_shared<ConfigProvider>()));
  return registry;
}

bool ScanAndWait(Sd::SoftwareSvc::AsyncServiceStub& stub,
                 std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> const& scan_spec,
                 std::chrono::milliseconds wait) {
  auto answer = std::make_shared<std::promise<std::string>>();
  stub.Scan(scan_spec, nullptr,
            ScanMethod::ResultType(ScanMethod::ResultType::TaskCallback(
                [answer](std::string const& id, Ormi::ErrorPtr const& error) {
                  answer->set_value(error ? std::string() : id);
                })));
  return WaitFor(answer, wait, std::string(kScanTaskId));
}

bool GetConfigAndWait(Hs::ConfigSvc::AsyncServiceStub& stub, std::chrono::milliseconds wait,
                      bool large) {
  auto answer = std::make_shared<std::promise<std::size_t>>();
  stub.Get(large ? kLargeConfigHost : kSmallConfigHost, nullptr,
           GetMethod::ResultType(GetMethod::ResultType::Callback(
               [answer](auto const& value, auto const& error, auto const& /*progress*/) {
                 if (value || error) {
                   answer->set_value(value && !error ? (*value)->components.size() : 0);
                 }
               })));
  return WaitFor(answer, wait, large ? kLargeConfigComponents : SmallConfig().size());
}

}  // namespace HyrnBench
