// The heap counter sees allocations made while it runs, reports the high-water mark rather
// than the total, and ignores releases of memory allocated before it started.
#include "alloc_counter.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace HyrnBench {
namespace {

// Keeps allocations observable, so the compiler cannot pair and drop them.
void* volatile sink = nullptr;

void AllocateAndRelease(std::size_t bytes) {
  auto block = std::make_unique<char[]>(bytes);
  sink = block.get();
}

TEST(HeapCounterTest, CountsAllocationsBytesAndPeak) {
  HeapUse const one = MeasureHeap([] { AllocateAndRelease(1000); });
  EXPECT_EQ(one.allocations, 1U);
  EXPECT_GE(one.bytes, 1000U);
  EXPECT_GE(one.peak_bytes, 1000U);

  HeapUse const two = MeasureHeap([] {
    AllocateAndRelease(1000);
    AllocateAndRelease(1000);
  });
  EXPECT_EQ(two.allocations, 2U);
  EXPECT_GE(two.bytes, 2000U);
  EXPECT_LT(two.peak_bytes, 2000U);  // the first block was gone before the second came
  EXPECT_GE(two.peak_bytes, 1000U);

  HeapUse const nested = MeasureHeap([] {
    auto outer = std::make_unique<char[]>(4000);
    sink = outer.get();
    AllocateAndRelease(1000);
  });
  EXPECT_GE(nested.peak_bytes, 5000U);
}

TEST(HeapCounterTest, ReleasingOlderMemoryDoesNotLowerThePeakBelowZero) {
  auto older = std::make_unique<std::string>(5000, 'x');
  HeapCounter counter;
  older.reset();
  HeapUse const use = counter.Stop();
  EXPECT_EQ(use.allocations, 0U);
  EXPECT_EQ(use.peak_bytes, 0U);
}

TEST(HeapCounterTest, NothingIsCountedAfterStop) {
  HeapCounter counter;
  AllocateAndRelease(100);
  HeapUse const stopped = counter.Stop();
  AllocateAndRelease(100);
  EXPECT_EQ(stopped.allocations, 1U);
  HeapUse const idle = MeasureHeap([] {});
  EXPECT_EQ(idle.allocations, 0U);
  EXPECT_EQ(idle.bytes, 0U);
}

}  // namespace
}  // namespace HyrnBench
