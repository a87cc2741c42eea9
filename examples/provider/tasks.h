// The example provider's long-running work. A task operation answers at once with a task
// identifier; the work runs through an executor, and its outcome is kept here (to be read
// with Wait) and handed to the result callback of the caller's task result object.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include <boost/optional.hpp>

#include "ormi/async_result.h"
#include "ormi/data/convert.h"
#include "ormi/in_process/connector.h"
#include "ormi/l10n/localizer.h"

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

class Tasks {
 public:
  // The outcome of a finished task in its value form: the converted result, or the error.
  struct Outcome {
    ::Ormi::Data::ValuePtr result;
    ::Ormi::ErrorPtr error;
  };

  explicit Tasks(std::shared_ptr<::Ormi::InProcess::Executor> executor)
      : executor_(std::move(executor)), store_(std::make_shared<Store>()) {}

  // Runs `work` (returning Answer<R>) through the executor under a new task identifier and
  // answers `result` with that identifier. The work's answer is kept and passed to the
  // result callback of `result`, when it has one.
  template <typename R, typename Policy, typename Work>
  void Start(::Ormi::AsyncTaskResult<R, Policy> const& result, Work work) {
    std::string const id = store_->Open();
    // Copied first: answering with the identifier releases the object's result callbacks.
    auto callbacks = result.resultCallbacks();
    executor_->Post([store = store_, id, callbacks, work = std::move(work)]() {
      Answer<R> const answer = work();
      store->Close(id, Record(answer));
      Report(callbacks, answer);
    });
    result.SetTaskId(id);
  }

  // Blocks until the task has finished and returns its outcome; none for an unknown id.
  boost::optional<Outcome> Wait(std::string const& id) const { return store_->Wait(id); }

 private:
  class Store {
   public:
    std::string Open();
    void Close(std::string const& id, Outcome outcome);
    boost::optional<Outcome> Wait(std::string const& id);

   private:
    std::mutex mutex_;
    std::condition_variable finished_;
    std::uint64_t next_ = 1;
    std::map<std::string, boost::optional<Outcome>> tasks_;
  };

  template <typename R>
  static Outcome Record(Answer<R> const& answer) {
    auto const localizer = ::Ormi::L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
    Outcome outcome;
    if (answer.error) {
      outcome.error = answer.error->ToErrorValue(localizer);
      return outcome;
    }
    std::list<::Ormi::BaseMessage> messages;
    if (!::Ormi::Data::ToValue(*answer.value, &outcome.result, messages, localizer)) {
      outcome.result = nullptr;
      outcome.error = ::Ormi::Data::ErrorValue::Create(
          "com.norval.ormi.std.errors.internal_server_error", messages);
    }
    return outcome;
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
  std::shared_ptr<Store> store_;
};

}  // namespace Example
