#include "ormi/core/call.h"

#include <atomic>

namespace Ormi::Core {
namespace {

std::uint64_t NextCallId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

ExecutionContext::ExecutionContext() : call_id_(NextCallId()) {}

void AsyncApiResultCb::operator()(std::shared_ptr<MethodResult const> const& result,
                                  Progress const& progress, Next&& next) const {
  if (!result) {
    function_(result, progress, std::move(next));
    return;
  }
  // Taken out before the call, so that the function is gone even if it throws or calls
  // this callback again.
  Function const function = std::move(function_);
  function_ = nullptr;
  function(result, progress, std::move(next));
}

}  // namespace Ormi::Core
