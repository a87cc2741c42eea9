// The client side's channel to the services.
#pragma once

#include <functional>
#include <memory>

#include "ormi/core/call.h"
#include "ormi/data/value.h"
#include "ormi/types.h"

namespace Ormi::Stub {

// Sends calls to a service and reports their outcome.
class AsyncApiStub {
 public:
  using ResultFunction =
      std::function<void(std::shared_ptr<Core::MethodResult const> const&, Progress const&,
                         std::function<void(std::shared_ptr<Core::AsyncApiResultCb>)>&&)>;

  AsyncApiStub() = default;
  AsyncApiStub(AsyncApiStub const&) = delete;
  AsyncApiStub& operator=(AsyncApiStub const&) = delete;
  virtual ~AsyncApiStub() = default;

  // Sends one call of `method` with `input`. `result` is called once per progress report
  // (a null result) and once with the final result, possibly on another thread and
  // possibly before this function returns.
  virtual void Invoke(std::shared_ptr<Core::MethodIdentifier const> const& method,
                      Data::ValuePtr const& input,
                      std::shared_ptr<Core::AsyncActivation> const& activation,
                      ResultFunction const& result) = 0;
};

}  // namespace Ormi::Stub
