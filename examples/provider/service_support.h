// What the example services share: result types, the host lookup and the common errors.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include <boost/optional.hpp>

#include "com/norval/ormi/std/errors/errors.h"
#include "ormi/async_result.h"
#include "ormi/core/call.h"
#include "provider/host_model.h"
#include "provider/messages.h"
#include "provider/provider.h"
#include "provider/tasks.h"

namespace Example {

namespace Errors = ::Com::Norval::Ormi::Std::Errors;
using ActivationPtr = std::shared_ptr<::Ormi::Core::AsyncActivation>;
template <typename R>
using Result = ::Ormi::AsyncResult<R, ::Ormi::AsyncResultTerminateCbPolicy>;
template <typename R>
using TaskResult = ::Ormi::AsyncTaskResult<R, ::Ormi::AsyncTaskResultTerminateCbPolicy>;
using ContextPtr = std::shared_ptr<Provider::Context const>;

// Runs `work(Host&)`, which returns an Answer, on the named host under the model's lock. An
// unknown host is answered with the error `E`, which must be one the operation declares.
template <typename E, typename Work>
std::invoke_result_t<Work&, Host&> OnHost(HostModel& model, std::string const& host, Work&& work) {
  boost::optional<std::invoke_result_t<Work&, Host&>> answer;
  if (!model.With(host, [&](Host& found) { answer.emplace(work(found)); })) {
    return Fail<E>(Text("host.unknown", "Host {1} is not known.", host));
  }
  return std::move(*answer);
}

// InvalidArgument: a required name was left empty.
inline ::Ormi::Data::NativeError EmptyName(std::string const& what) {
  return Fail<Errors::InvalidArgument>(Text("argument.empty", "The {1} must not be empty.", what));
}

// NotFound: `what` (for example "component") named `name` does not exist on `host`.
inline ::Ormi::Data::NativeError Unknown(std::string const& what, std::string const& name,
                                         std::string const& host) {
  std::string id = what;  // "configuration key" -> "configuration_key.unknown"
  std::replace(id.begin(), id.end(), ' ', '_');
  return Fail<Errors::NotFound>(
      Text(id + ".unknown", "Host {1} has no " + what + " {2}.", host, name));
}

// Binds an `Impl` of `Service` with the context's localizer and registers it.
template <typename Service, typename Impl>
bool Register(ContextPtr const& context, ::Ormi::InProcess::Registry& registry) {
  return registry.Register(Service::AsyncServiceBinder::BindImplementation(
      std::make_shared<Impl>(context), context->localizer));
}

// Registration of each package's services (one source file per package).
bool RegisterHostSettings(ContextPtr const& context, ::Ormi::InProcess::Registry& registry);
bool RegisterHosts(ContextPtr const& context, ::Ormi::InProcess::Registry& registry);
bool RegisterSettingsDaemon(ContextPtr const& context, ::Ormi::InProcess::Registry& registry);
bool RegisterSoftware(ContextPtr const& context, ::Ormi::InProcess::Registry& registry);

}  // namespace Example
