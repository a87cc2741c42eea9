// Percentiles follow the nearest-rank rule whatever the order of the values; the closed loop
// keeps exactly its number of callers busy, stops at its call and time bounds, and counts
// every call once, as a latency or as a failure.
#include "closed_loop.h"

#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace HyrnBench {
namespace {

using namespace std::chrono_literals;

TEST(PercentileTest, NearestRankOfUnorderedValues) {
  std::vector<double> values(100);
  std::iota(values.begin(), values.end(), 1.0);  // 1 .. 100
  std::vector<double> shuffled;
  for (std::size_t i = 0; i < values.size(); ++i) shuffled.push_back(values[(i * 37) % 100]);
  EXPECT_EQ(Percentile(shuffled, 0.5), 50.0);
  EXPECT_EQ(Percentile(shuffled, 0.99), 99.0);
  EXPECT_EQ(Percentile(shuffled, 1.0), 100.0);
  EXPECT_EQ(Percentile(shuffled, 0.0), 1.0);
  EXPECT_EQ(Percentile(shuffled, 0.001), 1.0);

  std::vector<double> thousand(1000);
  std::iota(thousand.begin(), thousand.end(), 1.0);
  EXPECT_EQ(Percentile(thousand, 0.99), 990.0);
  EXPECT_EQ(Percentile({7.0, 3.0}, 0.5), 3.0);
  EXPECT_EQ(Percentile({7.0, 3.0}, 0.51), 7.0);
  EXPECT_EQ(Percentile({}, 0.5), 0.0);
}

TEST(ClosedLoopTest, StopsAtTheCallBoundAndCountsEachCallOnce) {
  std::atomic<std::size_t> made{0};
  LoadResult const result = RunClosedLoop({4, 1000, 10s}, [&made] {
    return ++made % 10 != 0;  // every tenth call fails
  });
  EXPECT_EQ(made.load(), 1000U);
  EXPECT_EQ(result.latencies_us.size(), 900U);
  EXPECT_EQ(result.failures, 100U);
  EXPECT_GT(result.seconds, 0.0);
  EXPECT_LT(result.seconds, 10.0);
}

TEST(ClosedLoopTest, KeepsEveryCallerBusyAndStopsAtTheTimeBound) {
  auto const start = std::chrono::steady_clock::now();
  LoadResult const result = RunClosedLoop({8, 1'000'000, 300ms}, [] {
    std::this_thread::sleep_for(20ms);
    return true;
  });
  auto const took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.most_in_flight, 8U);
  EXPECT_GE(result.seconds, 0.3);
  EXPECT_LT(took, 2s);  // the time bound ends the run, not the million calls
  // Each caller makes about 300 / 20 calls; closed loop means no more than that.
  EXPECT_GE(result.latencies_us.size(), 8U * 5);
  EXPECT_LE(result.latencies_us.size(), 8U * 16);
  EXPECT_GE(Percentile(result.latencies_us, 0.5), 20'000.0);
}

}  // namespace
}  // namespace HyrnBench
