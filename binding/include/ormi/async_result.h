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

// The two forms of one callback of a result object, in this order: without and with the
// native error. A delivery uses the first form when it is set, otherwise the second. Both
// receive (head, error[, native error], tail...).
template <typename Head, typename... Tail>
struct CallbackPair {
  using Callback = std::function<void(Head const&, ErrorPtr const&, Tail const&...)>;
  using NativeCallback = std::function<void(
      Head const&, ErrorPtr const&, boost::optional<Data::NativeError> const&, Tail const&...)>;
  Callback callback;
  NativeCallback nativeCallback;
};

namespace Detail {

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

// Calls `pair.callback` when it is set, otherwise `pair.nativeCallback` with the native error;
// throws std::bad_function_call when neither is set.
template <typename Head, typename... Tail>
void CallEither(CallbackPair<Head, Tail...> const& pair, Head const& head, ErrorPtr const& error,
                boost::optional<Data::NativeError> const& native, Tail const&... tail) {
  if (pair.callback) {
    pair.callback(head, native ? MergeNativeError(error, native) : error, tail...);
  } else {
    pair.nativeCallback(head, error, native, tail...);
  }
}

// Calls `call(callbacks)`. A terminal delivery takes the callbacks out of the object and
// applies `Policy` to what is left (it sets every callback it keeps), so that the delivery runs
// on callbacks no later completion can reach; a progress report calls the callbacks in place
// and leaves them armed.
template <typename Policy, typename Callbacks, typename Call>
void Deliver(Callbacks& callbacks, bool terminal, Call const& call) {
  if (!terminal) {
    call(callbacks);
    return;
  }
  Callbacks const taken = std::move(callbacks);
  Policy::Apply(callbacks);
  call(taken);
}

// Replaces both forms of `pair` by callbacks that end the process.
template <typename Pair>
void Disarm(Pair& pair) {
  pair.callback = Terminator();
  pair.nativeCallback = Terminator();
}

}  // namespace Detail

// Disarms both callbacks of an `AsyncResult` after its terminal delivery.
struct AsyncResultTerminateCbPolicy {
  template <typename Callbacks>
  static void Apply(Callbacks& callbacks) {
    Detail::Disarm(callbacks);
  }
};

// Disarms the callback of one stream element after it was delivered.
struct AsyncStreamResultTerminateCbPolicy {
  template <typename Callbacks>
  static void Apply(Callbacks& callbacks) {
    callbacks.callback = Detail::Terminator();
  }
};

// Disarms the task callback after the task identifier (or an error) was delivered, and drops
// the result callback without calling it: the work's outcome does not travel this way.
struct AsyncTaskResultTerminateCbPolicy {
  template <typename TaskCallbacks, typename ResultCallbacks>
  static void Apply(TaskCallbacks& task, ResultCallbacks& result) {
    Detail::Disarm(task);
    result = ResultCallbacks();
  }
};

// The result of an ordinary operation: progress reports, then one value or one error.
template <typename R, typename Policy = AsyncResultTerminateCbPolicy>
class AsyncResult {
 public:
  using ValueType = R;
  using ResultCb = CallbackPair<boost::optional<R>, Progress>;
  using Callback = typename ResultCb::Callback;
  using NativeCallback = typename ResultCb::NativeCallback;

  AsyncResult(ResultCb callbacks)  // NOLINT(google-explicit-constructor)
      : callbacks_(std::make_shared<ResultCb>(std::move(callbacks))) {}
  explicit AsyncResult(Callback callback) : AsyncResult(ResultCb{std::move(callback), {}}) {}
  explicit AsyncResult(NativeCallback callback) : AsyncResult(ResultCb{{}, std::move(callback)}) {}

  void Deliver(boost::optional<R> const& value, ErrorPtr const& error,
               boost::optional<Data::NativeError> const& native, Progress const& progress) const {
    Detail::Deliver<Policy>(*callbacks_, value || error || native, [&](ResultCb const& callbacks) {
      Detail::CallEither(callbacks, value, error, native, progress);
    });
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
    Detail::Deliver<Policy>(*callbacks_, value || error || native, [&](ResultCb const& callbacks) {
      callbacks.callback(value, error, native, progress, std::move(next));
    });
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
  using TaskCb = CallbackPair<std::string>;
  using ResultCb = CallbackPair<R>;
  using TaskCallback = typename TaskCb::Callback;
  using NativeTaskCallback = typename TaskCb::NativeCallback;
  using ResultCallback = typename ResultCb::Callback;
  using NativeResultCallback = typename ResultCb::NativeCallback;

  AsyncTaskResult(TaskCb task, ResultCb result = {})  // NOLINT(google-explicit-constructor)
      : state_(std::make_shared<State>(State{std::move(task), std::move(result)})) {}
  explicit AsyncTaskResult(TaskCallback task) : AsyncTaskResult(TaskCb{std::move(task), {}}) {}
  explicit AsyncTaskResult(NativeTaskCallback task)
      : AsyncTaskResult(TaskCb{{}, std::move(task)}) {}

  // Always terminal.
  void DeliverTask(std::string const& task_id, ErrorPtr const& error,
                   boost::optional<Data::NativeError> const& native) const {
    TaskCb const taken = std::move(state_->task);
    Close();
    Detail::CallEither(taken, task_id, error, native);
  }
  void DeliverResult(R const& value, ErrorPtr const& error,
                     boost::optional<Data::NativeError> const& native) const {
    Detail::CallEither(state_->result, value, error, native);
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
