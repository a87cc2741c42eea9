// Client-side invocation: sends a native call through the runtime's channel and completes the
// caller's result object with what comes back.
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
#include "ormi/data/error_names.h"
#include "ormi/data/type_info.h"
#include "ormi/data/value.h"
#include "ormi/stub/api_stub.h"
#include "ormi/types.h"

namespace Ormi::Stub {

using ActivationPtr = std::shared_ptr<Core::AsyncActivation>;
using ContinuationFunction = std::function<void(std::shared_ptr<Core::AsyncApiResultCb>)>;

namespace Detail {

// The error a final result stands for: its error, or internal-server-error
// ("ormi.stub.result.empty") when it carries neither an output nor an error, so that an empty
// answer never reaches the caller as a success. Null when the result has an output and no error.
ErrorPtr ResultError(Core::MethodResult const& result);

// The identifier an operation is called under, made on its first call and shared by every
// later one: identifiers are immutable, and a call should not pay for building them.
template <typename Method>
std::shared_ptr<Core::MethodIdentifier const> const& BoundIdentifier() {
  static std::shared_ptr<Core::MethodIdentifier const> const identifier =
      std::make_shared<Core::MethodIdentifier const>(
          std::make_shared<Core::InterfaceIdentifier const>(
              Data::TypeInfo<typename Method::Interface>::name()),
          Binding::BoundName<Method>());
  return identifier;
}

// Converts `input` and sends it as the method `method_identifier` names; when it cannot be sent,
// `fail` receives the error instead (invalid_argument for arguments that do not convert,
// service_unavailable for a missing channel).
template <typename Input, typename Fail>
void Send(std::shared_ptr<Core::MethodIdentifier const> const& method_identifier,
          Input const& input, ActivationPtr const& activation,
          std::shared_ptr<AsyncApiStub> const& channel,
          AsyncApiStub::ResultFunction const& result_function, Fail const& fail) {
  Data::ValuePtr value;
  std::list<BaseMessage> messages;
  if (!Data::ToValue(input, &value, messages)) {
    fail(Binding::MakeError(Data::ErrorName::kInvalidArgument, messages));
    return;
  }
  if (!channel) {
    fail(Binding::MakeError(Data::ErrorName::kServiceUnavailable, MessageId::kNoChannel));
    return;
  }
  channel->Invoke(method_identifier, value, Binding::EnsureActivation(activation), result_function);
}

}  // namespace Detail

struct AsyncResultWrapper {
  // The channel's result function of one ordinary call: completes the caller's result object.
  template <typename R, typename Result>
  class ResultWrapper;
  template <typename Method>
  using For = ResultWrapper<typename Method::ValueType, typename Method::ResultType>;
};

template <typename R, typename Result>
class AsyncResultWrapper::ResultWrapper {
 public:
  explicit ResultWrapper(Result result) : result_(std::move(result)) {}

  void operator()(std::shared_ptr<Core::MethodResult const> const& result, Progress const& progress,
                  ContinuationFunction&& /*next*/) const {
    if (!result) {
      result_.Deliver(boost::none, nullptr, boost::none, progress);  // a progress report
      return;
    }
    if (ErrorPtr const error = Detail::ResultError(*result)) {
      Fail(error);
      return;
    }
    R value{};
    std::list<BaseMessage> messages;
    if (!Data::FromValue(result->output(), &value, messages)) {
      Fail(Binding::MakeError(Data::ErrorName::kShortInvalidArgument, messages));
      return;
    }
    result_.Deliver(std::move(value), nullptr, boost::none, Progress::Terminal());
  }

  void Fail(ErrorPtr const& error) const {
    result_.Deliver(boost::none, error, boost::none, Progress::Terminal());
  }

 private:
  Result result_;
};

struct AsyncTaskResultWrapper {
  // The channel's result function of one task call: completes the task callback with the task
  // identifier or an error. Progress reports are not passed on and leave the call open.
  template <typename Result>
  class ResultWrapper;
  template <typename Method>
  using For = ResultWrapper<typename Method::ResultType>;
};

template <typename Result>
class AsyncTaskResultWrapper::ResultWrapper {
 public:
  explicit ResultWrapper(Result result) : result_(std::move(result)) {}

  void operator()(std::shared_ptr<Core::MethodResult const> const& result,
                  Progress const& /*progress*/, ContinuationFunction&& /*next*/) const {
    if (!result) {
      return;
    }
    if (ErrorPtr const error = Detail::ResultError(*result)) {
      Fail(error);
      return;
    }
    std::string task_id;
    std::list<BaseMessage> messages;
    if (!Data::FromValue(result->output(), &task_id, messages)) {
      Fail(Binding::MakeError(Data::ErrorName::kInvalidArgument, messages));
      return;
    }
    result_.DeliverTask(task_id, nullptr, boost::none);
  }

  void Fail(ErrorPtr const& error) const { result_.DeliverTask(std::string(), error, boost::none); }

 private:
  Result result_;
};

// Sends one call of an operation and completes the caller's result object with what comes
// back, through the result wrapper of `Wrappers`: AsyncResultWrapper for ordinary operations,
// AsyncTaskResultWrapper for task operations, which are sent under their task names.
template <typename Wrappers>
struct BasicMethodInvoker {
  template <typename Method>
  static void Invoke(typename Method::Input const& input, ActivationPtr const& activation,
                     typename Method::ResultType const& result,
                     std::shared_ptr<AsyncApiStub> const& channel) {
    using Wrapper = typename Wrappers::template For<Method>;
    Wrapper const wrapper(result);
    Detail::Send(Detail::BoundIdentifier<Method>(), input, activation, channel, wrapper,
                 [&wrapper](ErrorPtr const& error) { wrapper.Fail(error); });
  }
};

using AsyncMethodInvoker = BasicMethodInvoker<AsyncResultWrapper>;
using AsyncTaskMethodInvoker = BasicMethodInvoker<AsyncTaskResultWrapper>;

}  // namespace Ormi::Stub
