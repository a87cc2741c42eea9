// The client guide's code (docs/client-guide.md shows the regions between the snippet
// markers): a channel and stubs, calls and their answers, a task operation, threads. The
// services come from the example provider; running it checks each answer.
#include <chrono>
#include <future>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "com/norval/hyrn/host_settings/host_settings.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "ormi/in_process/connector.h"
#include "provider/provider.h"

namespace Hs = Com::Norval::Hyrn::HostSettings;
namespace Sd = Com::Norval::Hyrn::SettingsDaemon;

namespace {

int failures = 0;

void Check(bool ok, char const* what) {
  std::cout << (ok ? "ok: " : "FAILED: ") << what << "\n";
  failures += ok ? 0 : 1;
}

// [snippet:call]
// Asks for a host's base image version and waits for the answer, which may arrive on another
// thread (or before Get returns).
std::string BaseImageOf(std::shared_ptr<Ormi::Stub::AsyncApiStub> const& channel,
                        std::string const& host) {
  Hs::Software::HyrnSvc::AsyncServiceStub stub(channel);
  auto answer = std::make_shared<std::promise<std::string>>();
  std::future<std::string> version = answer->get_future();
  stub.Get(host, nullptr,  // a null activation: the channel creates one
           Ormi::AsyncResult<std::string>(Ormi::AsyncResult<std::string>::Callback(
               [answer](boost::optional<std::string> const& value, Ormi::ErrorPtr const& error,
                        Ormi::Progress const& /*progress*/) {
                 if (value) {
                   answer->set_value(*value);
                 } else if (error) {
                   answer->set_value("error " + error->name());
                 }  // neither: a progress report, more follows
               })));
  return version.get();
}
// [end]

// [snippet:error]
// Prints the messages of an error value: its name says what went wrong, the messages why.
void PrintError(Ormi::ErrorPtr const& error) {
  std::cout << error->name() << "\n";  // "com.norval.ormi.std.errors.already_exists"
  for (Ormi::BaseMessage const& message : error->messages()) {
    std::cout << "  " << message.id << ": " << message.defaultMessage << "\n";
  }
}
// [end]

// [snippet:task]
// Starts a compliance scan; the call answers only with the task's identifier.
std::string StartScan(std::shared_ptr<Ormi::Stub::AsyncApiStub> const& channel,
                      std::shared_ptr<Sd::SoftwareSpec const> const& spec) {
  Sd::SoftwareSvc::AsyncServiceStub stub(channel);
  auto scan = std::make_shared<Sd::SoftwareSvc::ScanSpec>();
  scan->software_spec = spec;
  scan->depots = {"main"};
  using Result = Ormi::AsyncTaskResult<std::shared_ptr<Sd::HostCompliance const>>;
  auto answer = std::make_shared<std::promise<std::string>>();
  std::future<std::string> task = answer->get_future();
  stub.Scan(
      scan, nullptr,
      Result(Result::TaskCallback([answer](std::string const& id, Ormi::ErrorPtr const& error) {
        answer->set_value(error ? "" : id);
      })));
  return task.get();
}
// [end]

std::shared_ptr<Sd::SoftwareSpec const> Spec() {
  auto spec = std::make_shared<Sd::SoftwareSpec>();
  auto image = std::make_shared<Sd::BaseImageSpec>();
  image->version = "8.0.3";
  spec->base_image = image;
  return spec;
}

}  // namespace

int main() {
  auto model = std::make_shared<Example::HostModel>();
  Example::AddSampleHosts(*model);
  auto work = std::make_shared<Ormi::InProcess::InlineExecutor>();
  Example::Provider const provider(model, "host-01", work);

  // [snippet:channel]
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  provider.RegisterAll(*registry);  // the services, bound by their provider
  auto pool = std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(2);
  auto channel = std::make_shared<Ormi::InProcess::Channel>(registry, pool);
  // [end]

  Check(BaseImageOf(channel, "host-01") == "8.0.3", "the desired base image of host-01");
  Check(BaseImageOf(channel, "host-99") == "error com.norval.ormi.std.errors.not_found",
        "an unknown host");

  // [snippet:depot]
  Hs::DepotsSvc::AsyncServiceStub depots(channel);
  auto spec = std::make_shared<Hs::DepotsSvc::CreateSpec>();
  spec->name = "main";  // host-01 has a depot of that name already
  spec->url = "https://depot.example/main";
  std::promise<Ormi::ErrorPtr> created;
  depots.Create("host-01", spec, nullptr,
                Ormi::AsyncResult<Ormi::Void>(Ormi::AsyncResult<Ormi::Void>::Callback(
                    [&created](boost::optional<Ormi::Void> const& done, Ormi::ErrorPtr const& error,
                               Ormi::Progress const& /*progress*/) {
                      if (done || error) {
                        created.set_value(error);
                      }
                    })));
  Ormi::ErrorPtr const error = created.get_future().get();
  if (error) {
    PrintError(error);
  }
  // [end]
  Check(error && error->name() == "com.norval.ormi.std.errors.already_exists", "a duplicate depot");

  std::string const task = StartScan(channel, Spec());
  auto const outcome = provider.tasks().Wait(task, std::chrono::seconds(30));
  Check(outcome && outcome->result, "a scan task and its outcome");

  // [snippet:drain]
  pool->Drain();  // before shutdown: finish every call in flight, then stop the threads
  // [end]
  return failures == 0 ? 0 : 1;
}
