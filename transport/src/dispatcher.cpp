#include "ormi/transport/dispatcher.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <list>
#include <string>
#include <utility>

#include "ormi/data/error_names.h"
#include "ormi/data/native_error.h"
#include "ormi/provider/api_interface.h"
#include "ormi/transport/codec.h"
#include "ormi/transport/options.h"
#include "ormi/transport/wire.h"

namespace Ormi::Transport {
namespace {

using MethodPtr = std::shared_ptr<Provider::AsyncApiMethod const>;

// The answer carrying an error of that name, its messages in the languages of the call's
// locale when the activation has a localizer and a locale.
DispatchResponse ErrorWithMessages(char const* error_name, std::list<BaseMessage> const& messages,
                                   Core::AsyncActivation const& activation) {
  auto error = Data::ErrorValue::Create(error_name, messages);
  if (!activation.localizer() || !activation.localeSpec()) {
    return Dispatcher::ErrorResponse(*error);
  }
  L10n::RequestLocalizer const localizer(activation.localizer(), *activation.localeSpec());
  return Dispatcher::ErrorResponse(
      *Data::NativeErrorHelper::GetError(error, boost::none, localizer));
}

// Why a request's media type has no codec: it names none, or one not served.
BaseMessage MediaRefusal(std::string const& media_type) {
  if (MediaTypeOf(media_type).empty()) {
    return Message<CoreTag>(MessageId::kMediaMissing, SupportedMediaTypes());
  }
  return Message<CoreTag>(MessageId::kMediaUnsupported, Quoted(media_type), SupportedMediaTypes());
}

// A body refused for its nesting: the messages go on to name the setting that raises the limit,
// as the server's other limits do.
void NameNestingSetting(std::list<BaseMessage>& messages) {
  bool const too_deep = std::any_of(messages.begin(), messages.end(), [](BaseMessage const& m) {
    return m.id == MessageId::kJsonTooDeep;
  });
  if (too_deep) {
    messages.push_back(Message<CoreTag>(MessageId::kLimitSetting, SettingName("max_json_depth")));
  }
}

// The answer to a final result: the output in the request's media type, or the error.
// The provider's errors are in the caller's languages already: the frame translates them.
DispatchResponse Answer(Provider::AsyncApiMethod const& method, BodyCodec const& codec,
                        Core::MethodResult const& result, Core::AsyncActivation const& activation,
                        BufferPool* buffers) {
  if (result.error()) return Dispatcher::ErrorResponse(*result.error());
  if (!result.output()) {
    return ErrorWithMessages(Data::ErrorName::kInternalServerError,
                             {Message<CoreTag>(MessageId::kResultEmpty)}, activation);
  }
  DispatchResponse response;
  if (buffers != nullptr) response.body = buffers->Take();
  std::list<BaseMessage> messages;
  auto const definition =
      result.outputDefinition() ? result.outputDefinition() : method.outputDefinition();
  if (!definition || !codec.Encode(*result.output(), *definition, &response.body, messages)) {
    std::string const reason =
        messages.empty() ? "no output definition" : messages.front().defaultMessage;
    messages.push_front(Message<CoreTag>(MessageId::kAnswerUnencodable, codec.mediaType(), reason));
    return ErrorWithMessages(Data::ErrorName::kInternalServerError, messages, activation);
  }
  response.media_type = codec.mediaType();
  return response;
}

// Decodes the body and runs the provider; on the executor. The request has an activation.
void Run(MethodPtr const& method, BodyCodec const& codec, DispatchRequest& request,
         Data::JsonLimits const& limits, Dispatcher::Done const& done) {
  auto const definition = method->inputDefinition();
  Data::ValuePtr input;
  std::list<BaseMessage> messages;
  bool const decoded =
      definition && codec.Decode(request.body, *definition, &input, messages, limits);
  if (request.buffers) request.buffers->Give(std::move(request.body));
  if (!decoded) {
    NameNestingSetting(messages);
    return done(
        ErrorWithMessages(Data::ErrorName::kInvalidArgument, messages, *request.activation));
  }
  BodyCodec const* const answer_codec = &codec;
  // A provider that throws gets its call answered internal_server_error, unless it answered
  // before throwing; the exception ends there rather than taking the executor's thread down.
  auto const answered = std::make_shared<std::atomic<bool>>(false);
  auto const once = [done, answered](DispatchResponse response) {
    if (!answered->exchange(true)) done(std::move(response));
  };
  std::string failure;
  try {
    method->Invoke(
        input, request.activation,
        Core::AsyncApiResultCb(
            [method, answer_codec, once, activation = request.activation,
             buffers = request.buffers](std::shared_ptr<Core::MethodResult const> const& result,
                                        Progress const& /*progress*/,
                                        Core::AsyncApiResultCb::Next&& /*next*/) {
              if (result) {
                once(Answer(*method, *answer_codec, *result, *activation, buffers.get()));
              }
            }));
    return;
  } catch (std::exception const& thrown) {
    failure = thrown.what();
  } catch (...) {
    failure = "an exception of unknown type";
  }
  once(Dispatcher::ErrorResponse(Data::ErrorName::kInternalServerError,
                                 Message<CoreTag>(MessageId::kProviderFailed, failure)));
}

}  // namespace

Dispatcher::Dispatcher(std::shared_ptr<InProcess::Registry const> registry,
                       std::shared_ptr<InProcess::Executor> executor, Data::JsonLimits limits,
                       std::shared_ptr<L10n::Localizer> localizer)
    : registry_(registry ? std::move(registry) : std::make_shared<InProcess::Registry const>()),
      executor_(executor ? std::move(executor) : std::make_shared<InProcess::InlineExecutor>()),
      limits_(limits),
      localizer_(std::move(localizer)) {}

void Dispatcher::Dispatch(DispatchRequest request, Done done) const {
  if (!request.activation) request.activation = std::make_shared<Core::AsyncActivation>();
  if (localizer_ && !request.activation->localizer()) {
    request.activation->SetLocalizer(localizer_);
  }
  auto const& activation = *request.activation;
  auto const bound = registry_->Find(request.service);
  if (!bound) {
    return done(ErrorWithMessages(
        Data::ErrorName::kNotFound,
        {Message<CoreTag>(MessageId::kServiceNotFound, Quoted(request.service))}, activation));
  }
  MethodPtr method = bound->FindMethod(request.operation);
  if (!method) {
    // The names it has, so that whoever typed a wrong one sees the right ones.
    std::string names;
    for (auto const& known : bound->methods())
      names += (names.empty() ? "" : ", ") + known->methodName();
    return done(ErrorWithMessages(
        Data::ErrorName::kNotFound,
        {Message<CoreTag>(MessageId::kMethodNotFound, Quoted(request.service),
                          Quoted(request.operation)),
         Message<CoreTag>(MessageId::kOperationsOfService, request.service, names)},
        activation));
  }
  BodyCodec const* const codec = FindCodec(request.media_type);
  if (codec == nullptr) {
    return done(ErrorWithMessages(Data::ErrorName::kInvalidArgument,
                                  {MediaRefusal(request.media_type)}, activation));
  }
  executor_->Post(
      [method = std::move(method), codec, request = std::move(request), limits = limits_,
       done = std::move(done)]() mutable { Run(method, *codec, request, limits, done); });
}

DispatchResponse Dispatcher::ErrorResponse(Data::ErrorValue const& error) {
  DispatchResponse response;
  response.status = StatusForError(error.name());
  response.media_type = kCanonicalMediaType;
  response.body = Data::ToJson(error);
  response.error_name = error.name();
  return response;
}

DispatchResponse Dispatcher::ErrorResponse(char const* error_name, BaseMessage message) {
  return ErrorResponse(*Data::ErrorValue::Create(error_name, {std::move(message)}));
}

}  // namespace Ormi::Transport
