// The example provider's long-running work and the answers of its operations.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <utility>

#include <boost/optional.hpp>

#include "ormi/async_result.h"
#include "ormi/data/convert.h"
#include "ormi/data/type_info.h"
#include "ormi/in_process/connector.h"
#include "ormi/l10n/localizer.h"
#include "ormi/tasks/store.h"

namespace Example {

// A value or an error: what one operation, or one task, answers.
template <typename R>
struct Answer {
  Answer(R result) : value(std::move(result)) {}  // NOLINT(google-explicit-constructor)
  Answer(::Ormi::Data::NativeError failure)       // NOLINT(google-explicit-constructor)
      : error(std::move(failure)) {}

  boost::optional<R> value;
  boost::optional<::Ormi::Data::NativeError> error;
};

// Completes `result` with `answer`.
template <typename R, typename Policy>
void Complete(::Ormi::AsyncResult<R, Policy> const& result, Answer<R> answer) {
  if (answer.error) {
    result.SetError(std::move(*answer.error));
  } else {
    result.SetResult(std::move(*answer.value));
  }
}

// Runs the work of task operations and keeps their outcome in a task store, where the tasks
// service (and the demo) read it. A task operation answers at once with the task's
// identifier; the work runs through an executor.
class TaskRunner {
 public:
  TaskRunner(std::shared_ptr<::Ormi::InProcess::Executor> executor,
             std::shared_ptr<::Ormi::Tasks::Store> store)
      : executor_(std::move(executor)), store_(std::move(store)) {}

  // Creates a task of `Method` for the caller of `activation`, runs `work` (returning
  // Answer<R>) through the executor, and answers `result` with the task's identifier. The
  // work's answer is kept in the store and passed to the result callback of `result`, when
  // it has one. A task cancelled before its work starts ends cancelled without running it.
  template <typename Method, typename R, typename Policy, typename Work>
  void Start(std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation,
             ::Ormi::AsyncTaskResult<R, Policy> const& result, Work work) {
    ::Ormi::Tasks::TaskSpec spec;
    spec.service = ::Ormi::Data::TypeInfo<typename Method::Interface>::name();
    spec.operation = Method::taskMethodName();
    spec.result_definition = Method::outputDef();
    spec.caller = activation ? activation->caller() : nullptr;
    ::Ormi::Tasks::TaskHandle task = store_->Create(std::move(spec));
    // Copied first: answering with the identifier releases the object's result callbacks.
    auto callbacks = result.resultCallbacks();
    std::string const id = task.id();
    executor_->Post([task, callbacks, work = std::move(work)]() {
      if (task.cancelRequested()) {
        task.Cancelled();
        return;
      }
      task.SetProgress({0, 1, "started"});
      Answer<R> const answer = work();
      Record(task, answer);
      Report(callbacks, answer);
    });
    result.SetTaskId(id);
  }

  std::shared_ptr<::Ormi::Tasks::Store> const& store() const { return store_; }

 private:
  template <typename R>
  static void Record(::Ormi::Tasks::TaskHandle const& task, Answer<R> const& answer) {
    auto const localizer = ::Ormi::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
    if (answer.error) {
      task.Fail(answer.error->ToErrorValue(localizer));
      return;
    }
    ::Ormi::Data::ValuePtr value;
    std::list<::Ormi::BaseMessage> messages;
    if (!::Ormi::Data::ToValue(*answer.value, &value, messages, localizer)) {
      task.Fail(::Ormi::Data::ErrorValue::Create("com.norval.ormi.std.errors.internal_server_error",
                                                 messages));
      return;
    }
    task.SetProgress({1, 1, "finished"});
    task.Succeed(std::move(value));
  }

  template <typename Callbacks, typename R>
  static void Report(Callbacks const& callbacks, Answer<R> const& answer) {
    R const value = answer.value ? *answer.value : R();
    if (callbacks.callback) {
      auto const localizer = ::Ormi::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
      callbacks.callback(value, answer.error ? answer.error->ToErrorValue(localizer) : nullptr);
    } else if (callbacks.nativeCallback) {
      callbacks.nativeCallback(value, nullptr, answer.error);
    }
  }

  std::shared_ptr<::Ormi::InProcess::Executor> executor_;
  std::shared_ptr<::Ormi::Tasks::Store> store_;
};

}  // namespace Example
