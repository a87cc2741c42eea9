#include "ormi/provider/method_signal.h"

#include <list>
#include <memory>
#include <string>
#include <utility>

#include <boost/optional.hpp>

#include "ormi/binding/frame.h"
#include "ormi/core/call.h"
#include "ormi/data/convert.h"
#include "ormi/data/error_names.h"
#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"
#include "ormi/types.h"

namespace Ormi::Provider {

AsyncApiMethodSignal::AsyncApiMethodSignal(std::string name, Data::DefinitionPtr input,
                                           Data::DefinitionPtr output,
                                           std::list<Data::DefinitionPtr> errors, Filter filter,
                                           std::shared_ptr<L10n::Localizer> localizer)
    : name_(std::move(name)),
      input_(std::move(input)),
      output_(std::move(output)),
      errors_(std::move(errors)),
      filter_(std::move(filter)),
      localizer_(std::move(localizer)) {}

std::shared_ptr<AsyncApiMethodSignal> AsyncApiMethodSignal::Create(
    std::string name, Data::DefinitionPtr input, Data::DefinitionPtr output,
    std::list<Data::DefinitionPtr> errors, std::shared_ptr<L10n::Localizer> localizer) {
  return std::make_shared<AsyncApiMethodSignal>(std::move(name), std::move(input),
                                                std::move(output), std::move(errors), nullptr,
                                                std::move(localizer));
}

std::shared_ptr<Core::MethodDefinition const> AsyncApiMethodSignal::definition(
    std::shared_ptr<Core::InterfaceIdentifier const> const& interface_identifier) const {
  return std::make_shared<Core::MethodDefinition const>(
      std::make_shared<Core::MethodIdentifier const>(interface_identifier, name_), input_, output_);
}

void AsyncApiMethodSignal::Invoke(Data::ValuePtr const& input, ActivationPtr const& activation,
                                  Core::AsyncApiResultCb const& resultCb) const {
  if (!filter_) {
    resultCb(
        std::make_shared<Core::MethodResult const>(
            nullptr,
            Binding::MakeError(Data::ErrorName::kInternalServerError, MessageId::kNotConnected),
            true),
        Progress::Terminal(), {});
    return;
  }
  std::shared_ptr<Core::MethodResult const> failure;
  if (!ApiMethodHelper::ValidateInput(name_, input_, input, failure)) {
    resultCb(failure, Progress::Terminal(), {});
    return;
  }
  auto const call_activation = Binding::EnsureActivation(activation);
  call_activation->SetLocalizer(localizer_);
  AsyncApiMethod::ResultCb const result(ValidateResultWrapper(shared_from_this(), resultCb));
  filter_(input, call_activation, result);
}

AsyncApiMethodSignal::ValidateResultWrapper::ValidateResultWrapper(
    std::shared_ptr<AsyncApiMethodSignal const> signal, Core::AsyncApiResultCb callback)
    : signal_(std::move(signal)), callback_(std::move(callback)) {}

void AsyncApiMethodSignal::ValidateResultWrapper::operator()(
    boost::optional<Data::ValuePtr> const& output, ErrorPtr const& error, Progress const& progress,
    AsyncApiMethod::ResultCb::Next&& next) {
  if (!output && !error) {
    callback_(nullptr, progress, {});  // a progress report; the call stays open
    return;
  }
  bool const terminal = !next;
  if (error) {
    Take()(ApiMethodHelper::ValidateError(signal_->name_, signal_->errors_, error, terminal),
           progress, {});
    return;
  }
  Take()(ApiMethodHelper::ValidateOutput(signal_->name_, signal_->output_, *output, terminal),
         progress, Continuation(std::move(next)));
}

Core::AsyncApiResultCb::Next AsyncApiMethodSignal::ValidateResultWrapper::Continuation(
    AsyncApiMethod::ResultCb::Next&& next) const {
  if (!next) {
    return {};
  }
  return [signal = signal_,
          next = std::move(next)](std::shared_ptr<Core::AsyncApiResultCb> const& callback) {
    if (!callback) {
      next(nullptr);
      return;
    }
    next(std::make_shared<AsyncApiMethod::ResultCb>(ValidateResultWrapper(signal, *callback)));
  };
}

Core::AsyncApiResultCb AsyncApiMethodSignal::ValidateResultWrapper::Take() {
  Core::AsyncApiResultCb taken = std::move(callback_);
  callback_ = Core::AsyncApiResultCb([](auto const&... /*ignored*/) {});
  return taken;
}

namespace Detail {

void SendInputFailure(AsyncApiMethod::ResultCb const& result,
                      std::list<BaseMessage> const& messages) {
  result(boost::none, Binding::MakeError(Data::ErrorName::kInvalidArgument, messages),
         Progress::Terminal(), {});
}

void SendTaskId(AsyncApiMethod::ResultCb::Function const& function, ActivationPtr const& activation,
                std::string const& task_id, ErrorPtr const& error,
                boost::optional<Data::NativeError> const& native) {
  ErrorPtr const sent = Binding::ErrorToSend(error, native, activation);
  if (sent) {
    function(boost::none, sent, Progress::Terminal(), {});
    return;
  }
  Data::ValuePtr value;
  std::list<BaseMessage> messages;
  Data::ToValue(task_id, &value, messages);  // a string always converts
  function(value, nullptr, Progress::Terminal(), {});
}

AsyncApiMethod::ResultCb::Function IgnoringFunction() {
  return [](auto const&... /*ignored*/) {};
}

}  // namespace Detail

}  // namespace Ormi::Provider
