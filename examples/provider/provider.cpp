#include "provider/provider.h"

#include "provider/service_support.h"

namespace Example {

Provider::Provider(std::shared_ptr<HostModel> model, std::string local_host,
                   std::shared_ptr<::Ormi::InProcess::Executor> task_executor)
    : tasks_(std::make_shared<Tasks>(std::move(task_executor))) {
  context_ =
      std::make_shared<Context const>(Context{std::move(model), std::move(local_host), tasks_});
}

bool Provider::RegisterAll(::Ormi::InProcess::Registry& registry) const {
  return RegisterHostSettings(context_, registry) && RegisterHosts(context_, registry) &&
         RegisterSettingsDaemon(context_, registry) && RegisterSoftware(context_, registry);
}

}  // namespace Example
