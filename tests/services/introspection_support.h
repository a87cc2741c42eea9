// Plumbing of the introspection tests: a registry serving every generated service (unbound
// implementations: only their definitions matter) with the introspection service, and a
// blocking wait for one call's outcome.
#pragma once

#include <chrono>
#include <future>
#include <memory>

#include <boost/optional.hpp>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "com/norval/hyrn/hosts/hosts_services.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_services.h"
#include "com/norval/hyrn/software/software_services.h"
#include "com/norval/hyrn/test/test_shapes_services.h"
#include "ormi/data/type_list.h"
#include "ormi/in_process/connector.h"
#include "ormi/services/registry_introspection.h"

namespace IntrospectionTest {

// Registers every service of a package's `AllServices`; the number registered.
template <typename... Services>
int RegisterAll(Ormi::InProcess::Registry& registry, Ormi::Data::TypeList<Services...> /*all*/) {
  return (0 + ... +
          (registry.Register(Services::AsyncServiceBinder::BindImplementation(nullptr)) ? 1 : 0));
}

// The API packages' services, the test shapes' services and the introspection service; null
// when the introspection service cannot be registered.
inline std::shared_ptr<Ormi::InProcess::Registry> FullRegistry(int* api_services = nullptr) {
  namespace Api = ::Com::Norval::Hyrn;
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  int const api = RegisterAll(*registry, Api::HostSettings::AllServices{}) +
                  RegisterAll(*registry, Api::Hosts::AllServices{}) +
                  RegisterAll(*registry, Api::SettingsDaemon::AllServices{}) +
                  RegisterAll(*registry, Api::Software::AllServices{});
  if (api_services) *api_services = api;
  RegisterAll(*registry, Api::Test::AllServices{});
  return Ormi::Services::RegisterIntrospection(registry) ? registry : nullptr;
}

template <typename R>
struct Outcome {
  boost::optional<R> value;
  Ormi::ErrorPtr error;
};

// Calls `call(result)` with a result object of `Method` and waits (10 s at most) for its
// terminal delivery; neither a value nor an error when none came.
template <typename Method, typename Call>
Outcome<typename Method::ValueType> Await(Call&& call) {
  using R = typename Method::ValueType;
  auto const promise = std::make_shared<std::promise<Outcome<R>>>();
  auto future = promise->get_future();
  call(typename Method::ResultType(typename Method::ResultType::Callback(
      [promise](boost::optional<R> const& value, Ormi::ErrorPtr const& error,
                Ormi::Progress const& /*progress*/) {
        if (value || error) promise->set_value({value, error});
      })));
  return future.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? future.get()
                                                                                : Outcome<R>{};
}

}  // namespace IntrospectionTest
