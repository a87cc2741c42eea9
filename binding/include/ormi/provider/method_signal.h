// Provider-side dispatch: the method objects the runtime calls, the filters that convert a
// request to a native call, and the result filters that turn the implementation's answer back
// into validated values.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>

#include <boost/optional.hpp>

#include "ormi/async_result.h"
#include "ormi/binding/frame.h"
#include "ormi/binding/operation.h"
#include "ormi/core/call.h"
#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "ormi/data/error_names.h"
#include "ormi/data/native_error.h"
#include "ormi/data/type_info.h"
#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"
#include "ormi/provider/api_interface.h"
#include "ormi/types.h"

namespace Ormi::Provider {

using ActivationPtr = std::shared_ptr<Core::AsyncActivation>;

// The method object of one operation. Its filter slot is written once, when the operation is
// bound; a method object whose slot stays empty answers every request with an
// internal-server-error. Must be owned by a std::shared_ptr (see `Create`).
class AsyncApiMethodSignal : public AsyncApiMethod,
                             public std::enable_shared_from_this<AsyncApiMethodSignal> {
 public:
  using Filter = std::function<void(Data::ValuePtr const& input, ActivationPtr const& activation,
                                    AsyncApiMethod::ResultCb const& result)>;

  // Validates one delivery of the implementation against the operation's definitions and hands
  // it to the runtime's callback.
  class ValidateResultWrapper {
   public:
    ValidateResultWrapper(std::shared_ptr<AsyncApiMethodSignal const> signal,
                          Core::AsyncApiResultCb callback);
    void operator()(boost::optional<Data::ValuePtr> const& output, ErrorPtr const& error,
                    Progress const& progress, AsyncApiMethod::ResultCb::Next&& next);

   private:
    Core::AsyncApiResultCb::Next Continuation(AsyncApiMethod::ResultCb::Next&& next) const;
    Core::AsyncApiResultCb Take();

    std::shared_ptr<AsyncApiMethodSignal const> signal_;
    Core::AsyncApiResultCb callback_;
  };

  AsyncApiMethodSignal(std::string name, Data::DefinitionPtr input, Data::DefinitionPtr output,
                       std::list<Data::DefinitionPtr> errors, Filter filter,
                       std::shared_ptr<L10n::Localizer> localizer);
  // A method object owned by a shared pointer, as `Invoke` requires.
  static std::shared_ptr<AsyncApiMethodSignal> Create(std::string name, Data::DefinitionPtr input,
                                                      Data::DefinitionPtr output,
                                                      std::list<Data::DefinitionPtr> errors,
                                                      std::shared_ptr<L10n::Localizer> localizer);

  // Stores the filter that serves requests; done once, while binding.
  void Connect(Filter filter) { filter_ = std::move(filter); }
  bool connected() const { return static_cast<bool>(filter_); }
  // For a task operation, the definition of the started work's result (a call itself answers
  // with a task identifier, `outputDefinition()`); null for an ordinary operation. Set once,
  // while binding, so that a bound interface describes its task operations completely.
  void SetWorkResultDefinition(Data::DefinitionPtr definition) {
    work_result_ = std::move(definition);
  }
  Data::DefinitionPtr const& workResultDefinition() const { return work_result_; }
  std::shared_ptr<L10n::Localizer> const& localizer() const { return localizer_; }

  std::string const& methodName() const override { return name_; }
  std::shared_ptr<Core::MethodDefinition const> definition(
      std::shared_ptr<Core::InterfaceIdentifier const> const& interface_identifier) const override;
  Data::DefinitionPtr inputDefinition() const override { return input_; }
  Data::DefinitionPtr outputDefinition() const override { return output_; }
  std::list<Data::DefinitionPtr> errorDefinitions() override { return errors_; }
  std::list<Data::DefinitionPtr> const& errorDefinitions() const override { return errors_; }
  void Invoke(Data::ValuePtr const& input, ActivationPtr const& activation,
              Core::AsyncApiResultCb const& resultCb) const override;

 private:
  std::string name_;
  Data::DefinitionPtr input_;
  Data::DefinitionPtr output_;
  std::list<Data::DefinitionPtr> errors_;
  Filter filter_;
  std::shared_ptr<L10n::Localizer> localizer_;
  Data::DefinitionPtr work_result_;
};

namespace Detail {

// Answers `result` with invalid_argument carrying `messages`, as a terminal delivery.
void SendInputFailure(AsyncApiMethod::ResultCb const& result,
                      std::list<BaseMessage> const& messages);

// Fills `input` from `value`; on failure answers `result` and returns false.
template <typename Input>
bool ConvertInput(Data::ValuePtr const& value, Input* input,
                  AsyncApiMethod::ResultCb const& result) {
  std::list<BaseMessage> messages;
  if (Data::FromValue(value, input, messages)) {
    return true;
  }
  SendInputFailure(result, messages);
  return false;
}

// Sends a task identifier (or the error that replaces it) to the runtime's result function.
void SendTaskId(AsyncApiMethod::ResultCb::Function const& function, ActivationPtr const& activation,
                std::string const& task_id, ErrorPtr const& error,
                boost::optional<Data::NativeError> const& native);

// A result function that ignores every call; left behind when the real one is taken.
AsyncApiMethod::ResultCb::Function IgnoringFunction();

}  // namespace Detail

// Calls the bound member function directly with the converted input.
struct DirectFilterBinder {
  template <typename Call, typename Input, typename Result>
  static void Invoke(Call const& call, Input const& input, ActivationPtr const& activation,
                     Result const& result) {
    call(input, activation, result);
  }
};
using DirectTaskFilterBinder = DirectFilterBinder;

// Turns what the implementation delivers through its result object into values for the
// runtime. Built per invocation; the continuation path serves streamed results.
template <typename R>
class AsyncApiMethodResultFilter {
 public:
  using Function = AsyncApiMethod::ResultCb::Function;
  using StreamResult = AsyncStreamResult<R, AsyncStreamResultTerminateCbPolicy>;
  using StreamNext = std::function<void(OptionalPtr<StreamResult>)>;

  AsyncApiMethodResultFilter(Function function, ActivationPtr activation)
      : function_(std::move(function)), activation_(std::move(activation)) {}

  void operator()(boost::optional<R> const& value, ErrorPtr const& error,
                  boost::optional<Data::NativeError> const& native, Progress const& progress) {
    (*this)(value, error, native, progress, StreamNext());
  }

  void operator()(boost::optional<R> const& value, ErrorPtr const& error,
                  boost::optional<Data::NativeError> const& native, Progress const& progress,
                  StreamNext&& next) {
    ErrorPtr const sent = Binding::ErrorToSend(error, native, activation_);
    if (sent) {
      Take()(boost::none, sent, progress, {});
      return;
    }
    if (!value) {
      function_(boost::none, nullptr, progress, {});  // a progress report
      return;
    }
    Data::ValuePtr output;
    std::list<BaseMessage> messages;
    if (!Data::ToValue(*value, &output, messages)) {
      Take()(boost::none, Data::ErrorValue::GetInstance(Data::ErrorName::kInternalServerError),
             progress, {});
      return;
    }
    Take()(output, nullptr, progress, Continuation(std::move(next)));
  }

 private:
  Function Take() {
    Function taken = std::move(function_);
    function_ = Detail::IgnoringFunction();
    return taken;
  }

  // Hands the implementation the result object of the next element, built over the runtime's
  // next callback; an empty object when the runtime passes none.
  AsyncApiMethod::ResultCb::Next Continuation(StreamNext&& next) const {
    if (!next) {
      return {};
    }
    return [next = std::move(next),
            activation = activation_](std::shared_ptr<AsyncApiMethod::ResultCb> const& callback) {
      if (!callback) {
        next(OptionalPtr<StreamResult>());
        return;
      }
      next(MakeOptionalPtr<StreamResult>(typename StreamResult::Callback(
          AsyncApiMethodResultFilter(callback->function(), activation))));
    };
  }

  Function function_;
  ActivationPtr activation_;
};

// Makes the task callback of a task operation's result object: it sends the task identifier.
template <typename R>
struct AsyncApiTaskMethodResultFilter {
  using TaskResult = AsyncTaskResult<R, AsyncTaskResultTerminateCbPolicy>;

  typename TaskResult::NativeTaskCallback operator()(AsyncApiMethod::ResultCb::Function function,
                                                     ActivationPtr activation) const {
    return [function = std::move(function), activation = std::move(activation)](
               std::string const& task_id, ErrorPtr const& error,
               boost::optional<Data::NativeError> const& native) {
      Detail::SendTaskId(function, activation, task_id, error, native);
    };
  }
};

namespace Detail {

// The result object an implementation completes, over the runtime's result function.
template <typename Result>
struct ResultObject;
template <typename R>
struct ResultObject<AsyncResult<R, AsyncResultTerminateCbPolicy>> {
  // Reports every delivery through an `AsyncApiMethodResultFilter<R>`.
  static AsyncResult<R, AsyncResultTerminateCbPolicy> Make(
      AsyncApiMethod::ResultCb::Function function, ActivationPtr activation) {
    using Result = AsyncResult<R, AsyncResultTerminateCbPolicy>;
    return Result(typename Result::NativeCallback(
        AsyncApiMethodResultFilter<R>(std::move(function), std::move(activation))));
  }
};
template <typename R>
struct ResultObject<AsyncTaskResult<R, AsyncTaskResultTerminateCbPolicy>> {
  // Sends the task identifier; the result callback does nothing.
  static AsyncTaskResult<R, AsyncTaskResultTerminateCbPolicy> Make(
      AsyncApiMethod::ResultCb::Function function, ActivationPtr activation) {
    using Result = AsyncTaskResult<R, AsyncTaskResultTerminateCbPolicy>;
    return Result(
        typename Result::TaskCb{
            {}, AsyncApiTaskMethodResultFilter<R>()(std::move(function), std::move(activation))},
        typename Result::ResultCb{
            {}, [](R const&, ErrorPtr const&, boost::optional<Data::NativeError> const&) {}});
  }
};

}  // namespace Detail

// The filter of an operation: converts the input and calls the implementation with a result
// object of type `Result` that reports to the runtime's result function.
template <typename Result, typename Call, typename Input, typename Binder>
class BasicMethodFilter {
 public:
  explicit BasicMethodFilter(Call call) : call_(std::move(call)) {}

  void operator()(Data::ValuePtr const& value, ActivationPtr const& activation,
                  AsyncApiMethod::ResultCb const& result) const {
    Input input;
    if (!Detail::ConvertInput(value, &input, result)) {
      return;
    }
    Binder::Invoke(call_, input, activation,
                   Detail::ResultObject<Result>::Make(result.function(), activation));
  }

 private:
  Call call_;
};

// An ordinary operation's filter: its implementation completes an `AsyncResult`.
template <typename Call, typename R, typename Input, typename Binder>
using AsyncApiMethodFilter =
    BasicMethodFilter<AsyncResult<R, AsyncResultTerminateCbPolicy>, Call, Input, Binder>;
// A task operation's filter: its implementation completes an `AsyncTaskResult`.
template <typename Call, typename R, typename Input, typename Binder>
using AsyncApiTaskMethodFilter =
    BasicMethodFilter<AsyncTaskResult<R, AsyncTaskResultTerminateCbPolicy>, Call, Input, Binder>;

// Builds an operation's filter from (member function, implementation, localizer). `Fields` are
// the pointers to the members of `Method::Input`, in order: they become the member function's
// leading arguments. The filter keeps the member function and the implementation.
template <template <typename, typename, typename, typename> class Filter, typename Binder,
          typename Method, auto... Fields>
struct BasicMethodBuilder {
  using MethodType = Method;

  template <typename Member, typename Interface>
  auto operator()(Member member, std::shared_ptr<Interface> const& impl,
                  std::shared_ptr<L10n::Localizer> const& /*localizer*/) const {
    auto call = [member, impl](typename Method::Input const& input, ActivationPtr const& activation,
                               typename Method::ResultType const& result) {
      ((*impl).*member)((input.*Fields)..., activation, result);
    };
    return Filter<decltype(call), typename Method::ValueType, typename Method::Input, Binder>(
        std::move(call));
  }
};

template <typename Method, auto... Fields>
using MethodBuilder =
    BasicMethodBuilder<AsyncApiMethodFilter, DirectFilterBinder, Method, Fields...>;
template <typename Method, auto... Fields>
using TaskMethodBuilder =
    BasicMethodBuilder<AsyncApiTaskMethodFilter, DirectTaskFilterBinder, Method, Fields...>;

// Binds the operations of one service, in slot order. A null implementation binds method
// objects that stay unconnected, so each request is answered with an error instead of
// reaching a null pointer.
template <typename Interface>
class ServiceBinder {
 public:
  ServiceBinder(std::shared_ptr<Interface> impl, std::shared_ptr<L10n::Localizer> localizer)
      : impl_(std::move(impl)), localizer_(std::move(localizer)) {}

  template <typename Builder, typename Member>
  ServiceBinder& Add(Member member) {
    using Method = typename Builder::MethodType;
    // A task operation is bound only under its task name and answers with a task identifier.
    auto signal = AsyncApiMethodSignal::Create(Binding::BoundName<Method>(), Method::inputDef(),
                                               Binding::BoundOutputDef<Method>(),
                                               Method::errorDefs(), localizer_);
    if constexpr (Method::kTask) {
      signal->SetWorkResultDefinition(Method::outputDef());
    }
    if (impl_) {
      signal->Connect(Builder()(member, impl_, localizer_));
    }
    methods_.push_back(std::move(signal));
    return *this;
  }

  std::shared_ptr<AsyncApiInterface> Build() const {
    return AsyncApiInterface::GetInstance(
        std::make_shared<Core::InterfaceIdentifier const>(Data::TypeInfo<Interface>::name()),
        methods_);
  }

 private:
  std::shared_ptr<Interface> impl_;
  std::shared_ptr<L10n::Localizer> localizer_;
  AsyncApiInterface::Methods methods_;
};

// The two entry points of a service's AsyncServiceBinder.
template <typename Interface, typename Helper>
struct ImplementationBinder {
  static std::shared_ptr<AsyncApiInterface> BindImplementation(
      std::shared_ptr<Interface> const& impl, std::shared_ptr<L10n::Localizer> const& localizer) {
    return Helper::Bind(impl, localizer);
  }
  static std::shared_ptr<AsyncApiInterface> BindImplementation(
      std::shared_ptr<Interface> const& impl) {
    return Helper::Bind(impl, std::make_shared<L10n::Localizer>());
  }
};

}  // namespace Ormi::Provider
