// The example provider: implementations of all fourteen services over an in-memory model of
// a few hosts. The host-scoped services work on the host named in each call; the settings
// daemon and the installed-software listings work on the provider's own host.
#pragma once

#include <memory>
#include <string>

#include "ormi/in_process/connector.h"
#include "ormi/l10n/localizer.h"
#include "provider/host_model.h"
#include "provider/tasks.h"

namespace Example {

class Provider {
 public:
  // `local_host` names the host the daemon services work on; task work runs through
  // `task_executor` and its outcome is kept in `task_store` (a new store when null).
  Provider(std::shared_ptr<HostModel> model, std::string local_host,
           std::shared_ptr<::Ormi::InProcess::Executor> task_executor,
           std::shared_ptr<::Ormi::Tasks::Store> task_store = nullptr);

  // Binds every service with `localizer` (a new, empty one when null), which translates the
  // messages of its errors into the languages of each call's locale, and registers it; false
  // when one of them could not be registered.
  bool RegisterAll(::Ormi::InProcess::Registry& registry,
                   std::shared_ptr<::Ormi::L10n::Localizer> localizer = nullptr) const;

  // The store of the provider's tasks.
  ::Ormi::Tasks::Store const& tasks() const { return *tasks_->store(); }
  std::shared_ptr<::Ormi::Tasks::Store> const& taskStore() const { return tasks_->store(); }

  // Shared by the service implementations.
  struct Context {
    std::shared_ptr<HostModel> model;
    std::string local_host;
    std::shared_ptr<TaskRunner> tasks;
    std::shared_ptr<::Ormi::L10n::Localizer> localizer;
  };

 private:
  std::shared_ptr<Context const> context_;
  std::shared_ptr<TaskRunner> tasks_;
};

}  // namespace Example
