// Result objects: what an implementation completes and what a caller hands to a stub.
//
// A result object is a handle to callbacks shared by all its copies, so completing any copy
// completes the object. A delivery that carries a value or an error is terminal: the object's
// policy then disarms the callbacks, so that a second completion ends the process instead of
// reaching a caller that no longer expects it.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include <boost/optional.hpp>

#include "ormi/data/native_error.h"
#include "ormi/data/value.h"
#include "ormi/types.h"

namespace Ormi {

using ErrorPtr = std::shared_ptr<Data::ErrorValue const>;

namespace Binding {

// Any callback shape: ends the process. Installed by the terminate policies.
struct Terminator {
  template <typename... Args>
  void operator()(Args const&... /*args*/) const {
    std::terminate();
  }
};

// `error`, or the native error turned into an error value under the default request
// localizer when a callback form without a native error receives one.
ErrorPtr MergeNativeError(ErrorPtr const& error, boost::optional<Data::NativeError> const& native);

// Calls `pair.callback` when it is set, otherwise `pair.nativeCallback` with the native error.
// The callbacks receive (head, error[, native error], tail...).
template <typename Pair, typename Head, typename... Tail>
void CallEither(Pair const& pair, Head const& head, ErrorPtr const& error,
                boost::optional<Data::NativeError> const& native, Tail const&... tail) {
  if (pair.callback) {
    pair.callback(head, native ? MergeNativeError(error, native) : error, tail...);
  } else {
    pair.nativeCallback(head, error, native, tail...);  // throws when empty too
  }
}

}  // namespace Binding

// Disarms both callbacks of an `AsyncResult` after its terminal delivery.
struct AsyncResultTerminateCbPolicy {
  template <typename Callbacks>
  static void Apply(Callbacks& callbacks) {
    callbacks.callback = Binding::Terminator();
    callbacks.nativeCallback = Binding::Terminator();
  }
};

// Disarms the callback of one stream element after it was delivered.
struct AsyncStreamResultTerminateCbPolicy {
  template <typename Callbacks>
  static void Apply(Callbacks& callbacks) {
    callbacks.callback = Binding::Terminator();
  }
};

// Disarms the task callback after the task identifier (or an error) was delivered, and drops
// the result callback without calling it: the work's outcome does not travel this way.
struct AsyncTaskResultTerminateCbPolicy {
  template <typename TaskCallbacks, typename ResultCallbacks>
  static void Apply(TaskCallbacks& task, ResultCallbacks& result) {
    task.callback = Binding::Terminator();
    task.nativeCallback = Binding::Terminator();
    result.callback = nullptr;
    result.nativeCallback = nullptr;
  }
};

// The result of an ordinary operation: progress reports, then one value or one error.
template <typename R, typename Policy = AsyncResultTerminateCbPolicy>
class AsyncResult {
 public:
  using ValueType = R;
  using Callback = std::function<void(boost::optional<R> const&, ErrorPtr const&, Progress const&)>;
  using NativeCallback =
      std::function<void(boost::optional<R> const&, ErrorPtr const&,
                         boost::optional<Data::NativeError> const&, Progress const&)>;
  // The two callback forms, in this order; a delivery uses the first one that is set.
  struct ResultCb {
    Callback callback;
    NativeCallback nativeCallback;
  };

  AsyncResult(ResultCb callbacks)  // NOLINT(google-explicit-constructor)
      : callbacks_(std::make_shared<ResultCb>(std::move(callbacks))) {}
  explicit AsyncResult(Callback callback) : AsyncResult(ResultCb{std::move(callback), {}}) {}
  explicit AsyncResult(NativeCallback callback) : AsyncResult(ResultCb{{}, std::move(callback)}) {}

  void Deliver(boost::optional<R> const& value, ErrorPtr const& error,
               boost::optional<Data::NativeError> const& native, Progress const& progress) const {
    if (!value && !error && !native) {
      Binding::CallEither(*callbacks_, value, error, native, progress);
      return;
    }
    ResultCb const taken = *callbacks_;
    Policy::Apply(*callbacks_);
    Binding::CallEither(taken, value, error, native, progress);
  }

  void SetResult(R value) const { Deliver(std::move(value), nullptr, boost::none, Progress{}); }
  void SetError(ErrorPtr error) const { Deliver(boost::none, error, boost::none, Progress{}); }
  void SetError(Data::NativeError error) const {
    Deliver(boost::none, nullptr, boost::optional<Data::NativeError>(std::move(error)), Progress{});
  }
  void ReportProgress(Progress const& progress) const {
    Deliver(boost::none, nullptr, boost::none, progress);
  }
  // Disarms the callbacks without a delivery (the frame delivered through a copy of them).
  void Close() const { Policy::Apply(*callbacks_); }

  ResultCb const& callbacks() const { return *callbacks_; }

 private:
  std::shared_ptr<ResultCb> callbacks_;
};

// One element of a streamed result. Delivering an element with a continuation hands the
// receiver of the continuation the object for the next element.
template <typename R, typename Policy = AsyncStreamResultTerminateCbPolicy>
class AsyncStreamResult {
 public:
  using ValueType = R;
  using Next = std::function<void(OptionalPtr<AsyncStreamResult>)>;
  using Callback =
      std::function<void(boost::optional<R> const&, ErrorPtr const&,
                         boost::optional<Data::NativeError> const&, Progress const&, Next&&)>;
  struct ResultCb {
    Callback callback;
  };

  explicit AsyncStreamResult(Callback callback)
      : callbacks_(std::make_shared<ResultCb>(ResultCb{std::move(callback)})) {}

  void Deliver(boost::optional<R> const& value, ErrorPtr const& error,
               boost::optional<Data::NativeError> const& native, Progress const& progress,
               Next&& next) const {
    if (!value && !error && !native) {
      callbacks_->callback(value, error, native, progress, std::move(next));
      return;
    }
    ResultCb const taken = *callbacks_;
    Policy::Apply(*callbacks_);
    taken.callback(value, error, native, progress, std::move(next));
  }

  // The last element.
  void SetResult(R value) const { Deliver(std::move(value), nullptr, boost::none, {}, Next()); }
  // An element after which more follow, through the object handed to `next`.
  void SetElement(R value, Next next) const {
    Deliver(std::move(value), nullptr, boost::none, {}, std::move(next));
  }
  void SetError(ErrorPtr error) const { Deliver(boost::none, error, boost::none, {}, Next()); }
  void SetError(Data::NativeError error) const {
    Deliver(boost::none, nullptr, boost::optional<Data::NativeError>(std::move(error)), {}, Next());
  }
  void ReportProgress(Progress const& progress) const {
    Deliver(boost::none, nullptr, boost::none, progress, Next());
  }

 private:
  std::shared_ptr<ResultCb> callbacks_;
};

// The result of a task operation: a task identifier (or an error) through the task callback.
// The result callback stands for the started work's outcome, which this frame never delivers.
template <typename R, typename Policy = AsyncTaskResultTerminateCbPolicy>
class AsyncTaskResult {
 public:
  using ValueType = R;
  using TaskCallback = std::function<void(std::string const&, ErrorPtr const&)>;
  using NativeTaskCallback = std::function<void(std::string const&, ErrorPtr const&,
                                                boost::optional<Data::NativeError> const&)>;
  using ResultCallback = std::function<void(R const&, ErrorPtr const&)>;
  using NativeResultCallback =
      std::function<void(R const&, ErrorPtr const&, boost::optional<Data::NativeError> const&)>;
  struct TaskCb {
    TaskCallback callback;
    NativeTaskCallback nativeCallback;
  };
  struct ResultCb {
    ResultCallback callback;
    NativeResultCallback nativeCallback;
  };

  AsyncTaskResult(TaskCb task, ResultCb result = {})  // NOLINT(google-explicit-constructor)
      : state_(std::make_shared<State>(State{std::move(task), std::move(result)})) {}
  explicit AsyncTaskResult(TaskCallback task) : AsyncTaskResult(TaskCb{std::move(task), {}}) {}
  explicit AsyncTaskResult(NativeTaskCallback task)
      : AsyncTaskResult(TaskCb{{}, std::move(task)}) {}

  // Always terminal.
  void DeliverTask(std::string const& task_id, ErrorPtr const& error,
                   boost::optional<Data::NativeError> const& native) const {
    TaskCb const taken = state_->task;
    Close();
    Binding::CallEither(taken, task_id, error, native);
  }
  void DeliverResult(R const& value, ErrorPtr const& error,
                     boost::optional<Data::NativeError> const& native) const {
    Binding::CallEither(state_->result, value, error, native);
  }

  void SetTaskId(std::string const& task_id) const { DeliverTask(task_id, nullptr, boost::none); }
  void SetError(ErrorPtr const& error) const { DeliverTask(std::string(), error, boost::none); }
  void SetError(Data::NativeError error) const {
    DeliverTask(std::string(), nullptr, boost::optional<Data::NativeError>(std::move(error)));
  }
  void Close() const { Policy::Apply(state_->task, state_->result); }

  TaskCb const& taskCallbacks() const { return state_->task; }
  ResultCb const& resultCallbacks() const { return state_->result; }

 private:
  struct State {
    TaskCb task;
    ResultCb result;
  };
  std::shared_ptr<State> state_;
};

}  // namespace Ormi
