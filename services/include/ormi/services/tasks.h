// The tasks service ("com.norval.ormi.tasks") over the runtime's task store: get, list, wait
// and cancel, generated from services/tasks.idl; this is its implementation and binding.
#pragma once

#include <chrono>
#include <memory>

#include "com/norval/ormi/tasks/tasks.h"
#include "ormi/provider/api_interface.h"
#include "ormi/tasks/store.h"

namespace Ormi::Services {

struct TasksServiceOptions {
  // The wait of a `wait` call without a timeout.
  std::chrono::milliseconds default_wait = std::chrono::seconds(10);
  // The longest wait of one `wait` call; kept below the transport's default call timeout
  // (30 s), so that a waiting call answers before its caller gives up.
  std::chrono::milliseconds max_wait = std::chrono::seconds(20);
};

class TasksService final : public ::Com::Norval::Ormi::TasksSvc::AsyncServiceInterface {
 public:
  using Info = std::shared_ptr<::Com::Norval::Ormi::Tasks::TaskInfo const>;
  using InfoList = std::list<Info>;
  template <typename R>
  using Result = AsyncResult<R, AsyncResultTerminateCbPolicy>;

  explicit TasksService(std::shared_ptr<Tasks::Store> store, TasksServiceOptions options = {});

  void Get(std::string const& task, std::shared_ptr<Core::AsyncActivation> const& activation,
           Result<Info> const& result) override;
  void List(OptionalPtr<::Com::Norval::Ormi::Tasks::TaskFilter const> const& filter,
            std::shared_ptr<Core::AsyncActivation> const& activation,
            Result<InfoList> const& result) override;
  void Wait(std::string const& task, boost::optional<std::int64_t> const& timeout_ms,
            std::shared_ptr<Core::AsyncActivation> const& activation,
            Result<Info> const& result) override;
  void Cancel(std::string const& task, std::shared_ptr<Core::AsyncActivation> const& activation,
              Result<Info> const& result) override;

 private:
  std::shared_ptr<Tasks::Store> store_;
  TasksServiceOptions options_;
};

// Binds a TasksService over `store`. Its answers that carry one task come with a definition in
// which the task's result has the definition the store keeps for it (the result type of the
// task's operation), so that the plain JSON form writes the result in its own plain form.
std::shared_ptr<Provider::AsyncApiInterface> BindTasksService(
    std::shared_ptr<Tasks::Store> const& store, TasksServiceOptions options = {});

}  // namespace Ormi::Services
