#include "provider/provider.h"

#include "provider/service_support.h"

namespace Example {

Provider::Provider(std::shared_ptr<HostModel> model, std::string local_host,
                   std::shared_ptr<::Ormi::InProcess::Executor> task_executor,
                   std::shared_ptr<::Ormi::Tasks::Store> task_store)
    : tasks_(std::make_shared<TaskRunner>(
          std::move(task_executor),
          task_store ? std::move(task_store) : std::make_shared<::Ormi::Tasks::Store>())) {
  context_ = std::make_shared<Context const>(
      Context{std::move(model), std::move(local_host), tasks_, nullptr});
}

bool Provider::RegisterAll(::Ormi::InProcess::Registry& registry,
                           std::shared_ptr<::Ormi::L10n::Localizer> localizer) const {
  auto with_localizer = std::make_shared<Context>(*context_);
  with_localizer->localizer =
      localizer ? std::move(localizer) : std::make_shared<::Ormi::L10n::Localizer>();
  ContextPtr const context = std::move(with_localizer);
  return RegisterHostSettings(context, registry) && RegisterHosts(context, registry) &&
         RegisterSettingsDaemon(context, registry) && RegisterSoftware(context, registry);
}

}  // namespace Example
