#include "ormi/core/call.h"

#include <atomic>
#include <memory>

namespace Ormi::Core {
namespace {

std::uint64_t NextCallId() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

ExecutionContext::ExecutionContext() : call_id_(NextCallId()) {}

AsyncActivation::AsyncActivation() {
  // Both live as long as either is held: a transport may keep the cancellation alone.
  struct ContextAndCancellation {
    ExecutionContext context;
    Cancellation cancellation;
  };
  auto both = std::make_shared<ContextAndCancellation>();
  context_ = std::shared_ptr<ExecutionContext>(both, &both->context);
  cancellation_ = std::shared_ptr<Cancellation>(both, &both->cancellation);
}

bool Cancellation::Cancel() {
  std::vector<std::function<void()>> functions;
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    if (cancelled_.load(std::memory_order_relaxed)) return false;
    cancelled_.store(true, std::memory_order_release);
    functions.swap(functions_);
  }
  for (auto const& function : functions) function();
  return true;
}

void Cancellation::OnCancel(std::function<void()> function) {
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    if (!cancelled_.load(std::memory_order_relaxed)) {
      functions_.push_back(std::move(function));
      return;
    }
  }
  function();
}

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
