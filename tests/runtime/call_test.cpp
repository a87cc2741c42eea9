#include "ormi/core/call.h"

#include <cstdint>
#include <memory>

#include <gtest/gtest.h>

namespace Ormi::Core {
namespace {

// A default activation makes its execution context and cancellation together; each must stay
// usable when held alone, as a transport holds a call's cancellation after the call is gone.
TEST(AsyncActivationTest, DefaultContextAndCancellationOutliveTheActivation) {
  auto first = std::make_shared<AsyncActivation>();
  auto const second = std::make_shared<AsyncActivation>();
  ASSERT_TRUE(first->executionContext());
  ASSERT_TRUE(first->cancellation());
  EXPECT_NE(first->executionContext()->callId(), second->executionContext()->callId());
  EXPECT_NE(first->cancellation(), second->cancellation());

  std::shared_ptr<Cancellation> const cancellation = first->cancellation();
  std::uint64_t const call_id = first->executionContext()->callId();
  int told = 0;
  cancellation->OnCancel([&told] { ++told; });
  first.reset();
  EXPECT_TRUE(cancellation->Cancel());
  EXPECT_FALSE(cancellation->Cancel());
  EXPECT_TRUE(cancellation->cancelled());
  EXPECT_EQ(told, 1);
  EXPECT_FALSE(second->cancellation()->cancelled());

  // The context held alone, the activation and its cancellation gone.
  auto third = std::make_shared<AsyncActivation>();
  std::shared_ptr<ExecutionContext> const kept = third->executionContext();
  third.reset();
  EXPECT_GT(kept->callId(), call_id);
}

}  // namespace
}  // namespace Ormi::Core
