#include "provider/provider.h"

#include "provider/service_support.h"

namespace Example {

Provider::Provider(std::shared_ptr<HostModel> model, std::string local_host,
                   std::shared_ptr<::Ormi::InProcess::Executor> task_executor,
                   std::shared_ptr<::Ormi::Tasks::Store> task_store)
    : tasks_(std::make_shared<TaskRunner>(
          std::move(task_executor),
          task_store ? std::move(task_store) : std::make_shared<::Ormi::Tasks::Store>())) {
  context_ =
      std::make_shared<Context const>(Context{std::move(model), std::move(local_host), tasks_});
}

bool Provider::RegisterAll(::Ormi::InProcess::Registry& registry) const {
  return RegisterHostSettings(context_, registry) && RegisterHosts(context_, registry) &&
         RegisterSettingsDaemon(context_, registry) && RegisterSoftware(context_, registry);
}

}  // namespace Example
