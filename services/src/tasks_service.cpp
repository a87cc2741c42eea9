#include "ormi/services/tasks.h"

#include <algorithm>
#include <list>
#include <string>
#include <utility>

#include "com/norval/ormi/std/errors/errors.h"
#include "ormi/data/make_native_error.h"

namespace Ormi::Services {
namespace {

namespace Gen = ::Com::Norval::Ormi::Tasks;
namespace Errors = ::Com::Norval::Ormi::Std::Errors;

constexpr char const* kTaskInfoName = "com.norval.ormi.tasks.task_info";

DateTime ToDateTime(Tasks::TaskInfo::Time time) {
  return DateTime::FromMillisecondsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
}

boost::optional<Data::DynamicStructure> Dynamic(Data::ValuePtr const& value) {
  if (!value ||
      (value->kind() != Data::ValueKind::kStructure && value->kind() != Data::ValueKind::kError)) {
    return boost::none;  // no result, or one that is no structure (a void result)
  }
  return Data::DynamicStructure(value);
}

OptionalPtr<Gen::TaskCaller const> CallerOf(std::shared_ptr<Core::Caller const> const& caller) {
  if (!caller) return {};
  auto out = std::make_shared<Gen::TaskCaller>();
  out->transport = caller->transport;
  auto const id = [](std::int64_t v) { return v < 0 ? boost::none : boost::make_optional(v); };
  out->uid = id(caller->uid);
  out->gid = id(caller->gid);
  out->pid = id(caller->pid);
  if (!caller->address.empty()) out->address = caller->address;
  return {std::move(out)};
}

TasksService::Info ToNative(Tasks::TaskInfo const& info, bool with_outcome) {
  auto out = std::make_shared<Gen::TaskInfo>();
  out->id = info.id;
  out->service = info.spec.service;
  out->operation = info.spec.operation;
  out->state = Gen::TaskState(static_cast<Gen::TaskState::Enum>(static_cast<int>(info.state)));
  auto progress = std::make_shared<Gen::TaskProgress>();
  progress->completed = info.progress.completed;
  progress->total = info.progress.total;
  progress->message = info.progress.message;
  out->progress = std::move(progress);
  out->cancel_requested = info.cancel_requested;
  out->start_time = ToDateTime(info.started);
  if (info.finished) out->end_time = ToDateTime(*info.finished);
  out->caller = CallerOf(info.spec.caller);
  if (with_outcome) {
    out->result = Dynamic(info.result);
    out->error = Dynamic(info.error);
  }
  return out;
}

Data::NativeError NotFound(std::string const& task) {
  auto message = std::make_shared<::Com::Norval::Ormi::Std::LocalizableMessage>();
  message->id = "ormi.tasks.task.not.found";
  message->default_message = "There is no task " + task + "; it may have ended long ago.";
  message->args = {task};
  auto error = std::make_shared<Errors::NotFound>();
  error->messages.push_back(std::move(message));
  return Data::MakeNativeError(std::shared_ptr<Errors::NotFound const>(std::move(error)));
}

}  // namespace

TasksService::TasksService(std::shared_ptr<Tasks::Store> store, TasksServiceOptions options)
    : store_(std::move(store)), options_(options) {}

void TasksService::Get(std::string const& task,
                       std::shared_ptr<Core::AsyncActivation> const& /*activation*/,
                       Result<Info> const& result) {
  auto const info = store_->Get(task);
  if (!info) return result.SetError(NotFound(task));
  result.SetResult(ToNative(*info, true));
}

void TasksService::List(OptionalPtr<Gen::TaskFilter const> const& filter,
                        std::shared_ptr<Core::AsyncActivation> const& /*activation*/,
                        Result<InfoList> const& result) {
  Tasks::TaskFilter wanted;
  if (filter) {
    if (filter->state) {
      wanted.state = static_cast<Tasks::TaskState>(static_cast<int>(filter->state->value()));
    }
    wanted.service = filter->service;
    wanted.operation = filter->operation;
  }
  InfoList list;
  for (auto const& info : store_->List(wanted)) list.push_back(ToNative(info, false));
  result.SetResult(list);
}

void TasksService::Wait(std::string const& task, boost::optional<std::int64_t> const& timeout_ms,
                        std::shared_ptr<Core::AsyncActivation> const& /*activation*/,
                        Result<Info> const& result) {
  auto const wait = timeout_ms ? std::chrono::milliseconds(std::max<std::int64_t>(0, *timeout_ms))
                               : options_.default_wait;
  auto const info = store_->Wait(task, std::min(wait, options_.max_wait));
  if (!info) return result.SetError(NotFound(task));
  result.SetResult(ToNative(*info, true));
}

void TasksService::Cancel(std::string const& task,
                          std::shared_ptr<Core::AsyncActivation> const& /*activation*/,
                          Result<Info> const& result) {
  auto const info = store_->Cancel(task);
  if (!info) return result.SetError(NotFound(task));
  result.SetResult(ToNative(*info, true));
}

namespace {

// A method of the tasks service whose answers about one task carry the definition of that
// task's result in place of the dynamic one.
class ResultDefiningMethod final : public Provider::AsyncApiMethod {
 public:
  ResultDefiningMethod(std::shared_ptr<Provider::AsyncApiMethod const> method,
                       std::shared_ptr<Tasks::Store const> store)
      : method_(std::move(method)), store_(std::move(store)) {}

  std::string const& methodName() const override { return method_->methodName(); }
  std::shared_ptr<Core::MethodDefinition const> definition(
      std::shared_ptr<Core::InterfaceIdentifier const> const& interface_identifier) const override {
    return method_->definition(interface_identifier);
  }
  Data::DefinitionPtr inputDefinition() const override { return method_->inputDefinition(); }
  Data::DefinitionPtr outputDefinition() const override { return method_->outputDefinition(); }
  std::list<Data::DefinitionPtr> errorDefinitions() override { return method_->errorDefinitions(); }
  std::list<Data::DefinitionPtr> const& errorDefinitions() const override {
    return method_->errorDefinitions();
  }

  void Invoke(Data::ValuePtr const& input, std::shared_ptr<Core::AsyncActivation> const& activation,
              Core::AsyncApiResultCb const& result_cb) const override {
    auto const store = store_;
    auto const declared = method_->outputDefinition();
    method_->Invoke(
        input, activation,
        Core::AsyncApiResultCb([store, declared, result_cb](
                                   std::shared_ptr<Core::MethodResult const> const& result,
                                   Progress const& progress, Core::AsyncApiResultCb::Next&& next) {
          result_cb(Refine(*store, declared, result), progress, std::move(next));
        }));
  }

 private:
  static std::shared_ptr<Core::MethodResult const> Refine(
      Tasks::Store const& store, Data::DefinitionPtr const& declared,
      std::shared_ptr<Core::MethodResult const> const& result) {
    auto const* info = result && result->output()
                           ? dynamic_cast<Data::StructValue const*>(result->output().get())
                           : nullptr;
    auto const* shape = dynamic_cast<Data::StructDefinition const*>(declared.get());
    if (info == nullptr || shape == nullptr || info->name() != kTaskInfoName) return result;
    Data::ValuePtr id;
    std::list<BaseMessage> ignored;
    std::string task;
    if (!info->GetField("id", &id, ignored) || !id || !id->Value(&task, ignored)) return result;
    auto const kept = store.Get(task);
    if (!kept || !kept->spec.result_definition) return result;
    Data::StructDefinition::Fields fields = shape->fields();
    fields["result"] = Data::OptionalDefinition::GetInstance(kept->spec.result_definition);
    return std::make_shared<Core::MethodResult const>(
        result->output(), result->error(), result->terminal(),
        Data::StructDefinition::GetInstance(shape->name(), std::move(fields)));
  }

  std::shared_ptr<Provider::AsyncApiMethod const> method_;
  std::shared_ptr<Tasks::Store const> store_;
};

}  // namespace

std::shared_ptr<Provider::AsyncApiInterface> BindTasksService(
    std::shared_ptr<Tasks::Store> const& store, TasksServiceOptions options) {
  auto const bound = ::Com::Norval::Ormi::TasksSvc::AsyncServiceBinder::BindImplementation(
      std::make_shared<TasksService>(store, options));
  Provider::AsyncApiInterface::Methods methods;
  for (auto const& method : bound->methods()) {
    methods.push_back(std::make_shared<ResultDefiningMethod>(method, store));
  }
  return Provider::AsyncApiInterface::GetInstance(bound->identifier(), std::move(methods));
}

}  // namespace Ormi::Services
