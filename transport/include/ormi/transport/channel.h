// The client channel over HTTP: sends each call to a server at one address and delivers its
// answer, so a generated stub works over a socket as it does in process.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ormi/core/call.h"
#include "ormi/data/value.h"
#include "ormi/stub/api_stub.h"
#include "ormi/transport/address.h"
#include "ormi/transport/options.h"

namespace Ormi::Transport {

// An answer as the server sent it, for a caller that writes and reads bodies itself (the
// command-line client sends plain JSON): its status, media type and body; or, when no answer
// came (connect failed, connection lost, deadline passed, answer too large), status 0 and
// the error value of what went wrong on the way.
struct RawAnswer {
  unsigned status = 0;
  std::string media_type;
  std::string body;
  std::shared_ptr<Data::ErrorValue const> failure;
};
// The answer lives until the function returns (its body's memory then serves later calls):
// copy what is kept.
using RawResultFunction = std::function<void(RawAnswer const& answer)>;

// Asynchronous and thread-safe: Invoke encodes the input and returns; the I/O runs on the
// channel's own threads over a pool of kept-alive connections. Every call ends in exactly
// one delivery: the output, the provider's error, or an error value naming what went wrong
// on the way (connect failed, connection lost, deadline passed, answer too large or invalid).
// The deadline of a call is its activation's when set, otherwise now + default_timeout.
class Channel final : public Stub::AsyncApiStub {
 public:
  Channel(Address address, ClientOptions options);
  Channel(Channel const&) = delete;
  Channel& operator=(Channel const&) = delete;
  // Answers the calls still open with "service unavailable" and joins the I/O threads.
  // Must not run from a result function delivered on the channel's I/O thread.
  ~Channel() override;

  // Throws std::bad_function_call when `result` is empty.
  void Invoke(std::shared_ptr<Core::MethodIdentifier const> const& method,
              Data::ValuePtr const& input, std::shared_ptr<Core::AsyncActivation> const& activation,
              ResultFunction const& result) override;

  // Sends `body`, of `media_type`, as "POST /<service>/<operation>" (names percent-encoded)
  // with the deadline now + `timeout`, or now + default_timeout when `timeout` is zero; the
  // same connections, limits and single delivery as Invoke. Throws std::bad_function_call
  // when `result` is empty.
  void Post(std::string const& service, std::string const& operation, std::string body,
            std::string const& media_type, Milliseconds timeout, RawResultFunction result);

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace Ormi::Transport
