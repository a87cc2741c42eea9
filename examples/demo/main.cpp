// The demo: the example provider's fourteen services bound and registered in an in-process
// registry, and a client that calls every operation through stubs over a channel. Prints a
// transcript of each call and ends with "<N> calls, <M> failures"; exits 0 only when every
// call answered as expected and every operation was called.
#include <iostream>
#include <memory>
#include <set>
#include <string>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "com/norval/hyrn/hosts/hosts_services.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_services.h"
#include "com/norval/hyrn/software/software_services.h"
#include "demo/calls.h"
#include "demo/transcript.h"
#include "ormi/binding/operation_list.h"
#include "ormi/in_process/connector.h"
#include "provider/provider.h"

namespace {

// "<service> <name it is called under>" of every generated operation.
std::set<std::string> AllOperations() {
  std::set<std::string> all;
  auto add = [&all](auto service) {
    using Service = decltype(service);
    std::string const id = Ormi::Data::TypeInfo<typename Service::AsyncServiceInterface>::name();
    Ormi::Binding::ForEach(typename Service::Operations{}, [&](auto entry) {
      using Method = typename decltype(entry)::MethodType;
      if constexpr (Method::kTask) {
        all.insert(id + " " + Method::taskMethodName());
      } else {
        all.insert(id + " " + Method::methodName());
      }
    });
  };
  Ormi::Binding::ForEach(Com::Norval::Hyrn::HostSettings::AllServices{}, add);
  Ormi::Binding::ForEach(Com::Norval::Hyrn::Hosts::AllServices{}, add);
  Ormi::Binding::ForEach(Com::Norval::Hyrn::SettingsDaemon::AllServices{}, add);
  Ormi::Binding::ForEach(Com::Norval::Hyrn::Software::AllServices{}, add);
  return all;
}

}  // namespace

int main() {
  auto model = std::make_shared<Example::HostModel>();
  Example::AddSampleHosts(*model);
  // Calls are served on two threads; task work runs on a thread of its own.
  auto calls = std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(2);
  auto work = std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(1);
  Example::Provider const provider(model, "host-01", work);
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  if (!provider.RegisterAll(*registry)) {
    std::cerr << "could not register the services\n";
    return 1;
  }
  auto channel = std::make_shared<Ormi::InProcess::Channel>(registry, calls);

  std::cout << "The example provider serves hosts host-01 (its own host), host-02 and host-03.\n"
               "Each call shows its arguments and its result or error as canonical JSON.\n";
  Demo::Transcript transcript(std::cout, provider.tasks());
  Demo::RunCalls(transcript, channel);
  calls->Drain();
  work->Drain();
  return transcript.Summary(AllOperations()) ? 0 : 1;
}
