// The example provider: implementations of all fourteen services over an in-memory model of
// a few hosts. The host-scoped services work on the host named in each call; the settings
// daemon and the installed-software listings work on the provider's own host.
#pragma once

#include <memory>
#include <string>

#include "ormi/in_process/connector.h"
#include "provider/host_model.h"
#include "provider/tasks.h"

namespace Example {

class Provider {
 public:
  // `local_host` names the host the daemon services work on; task work runs through
  // `task_executor`.
  Provider(std::shared_ptr<HostModel> model, std::string local_host,
           std::shared_ptr<::Ormi::InProcess::Executor> task_executor);

  // Binds every service and registers it; false when one of them could not be registered.
  bool RegisterAll(::Ormi::InProcess::Registry& registry) const;

  Tasks const& tasks() const { return *tasks_; }

  // Shared by the service implementations.
  struct Context {
    std::shared_ptr<HostModel> model;
    std::string local_host;
    std::shared_ptr<Tasks> tasks;
  };

 private:
  std::shared_ptr<Context const> context_;
  std::shared_ptr<Tasks> tasks_;
};

}  // namespace Example
