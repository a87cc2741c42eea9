// Routing and dispatch of calls that arrive as bytes, apart from any framing: a request
// names a service, an operation, a media type and a body; the answer is a status, a media
// type and a body. The HTTP server drives it; tests and fuzzing can drive it directly.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ormi/core/call.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/in_process/connector.h"
#include "ormi/l10n/localizer.h"
#include "ormi/message.h"
#include "ormi/transport/buffer_pool.h"

namespace Ormi::Transport {

struct DispatchRequest {
  std::string service;     // "com.norval.hyrn.host_settings.config"
  std::string operation;   // "get", "apply$task"
  std::string media_type;  // the Content-Type of the body
  std::string body;
  // The activation the provider gets; the transport has set its deadline, caller and the
  // caller's locale.
  std::shared_ptr<Core::AsyncActivation> activation;
  // When set, the body goes back to it once decoded, and the answer is written into a buffer
  // taken from it: large bodies then reuse memory from call to call.
  std::shared_ptr<BufferPool> buffers;
};

struct DispatchResponse {
  unsigned status = 200;
  std::string media_type;
  std::string body;
  std::string error_name;  // empty for an output
};

class Dispatcher {
 public:
  using Done = std::function<void(DispatchResponse)>;

  // `limits` bound the JSON of request bodies. `localizer`, when set, translates the messages
  // of error answers into the languages of the request's locale; the provider's activation
  // carries it.
  Dispatcher(std::shared_ptr<InProcess::Registry const> registry,
             std::shared_ptr<InProcess::Executor> executor, Data::JsonLimits limits,
             std::shared_ptr<L10n::Localizer> localizer = nullptr);

  // Answers exactly once through `done`: at once when the call cannot be routed or the
  // media type is not served; otherwise from the executor, which decodes the body, runs the
  // provider and encodes its answer. Progress reports are not passed on.
  void Dispatch(DispatchRequest request, Done done) const;

  // The answer carrying `error`: its canonical form, with the status of its name.
  static DispatchResponse ErrorResponse(Data::ErrorValue const& error);
  // The answer carrying an error of that name with one message.
  static DispatchResponse ErrorResponse(char const* error_name, BaseMessage message);

 private:
  std::shared_ptr<InProcess::Registry const> registry_;
  std::shared_ptr<InProcess::Executor> executor_;
  Data::JsonLimits limits_;
  std::shared_ptr<L10n::Localizer> localizer_;
};

}  // namespace Ormi::Transport
