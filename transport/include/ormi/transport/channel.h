// The client channel over HTTP: sends each call to a server at one address and delivers its
// answer, so a generated stub works over a socket as it does in process.
#pragma once

#include <memory>

#include "ormi/core/call.h"
#include "ormi/data/value.h"
#include "ormi/stub/api_stub.h"
#include "ormi/transport/address.h"
#include "ormi/transport/options.h"

namespace Ormi::Transport {

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

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace Ormi::Transport
