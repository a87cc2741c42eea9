// A closed-loop load: a number of callers, each issuing its next call as soon as the last one
// answered, bounded in count and in time; per-call latencies and percentiles of them.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

namespace benchmark {
class State;
namespace internal {
class Benchmark;
}  // namespace internal
}  // namespace benchmark

namespace HyrnBench {

struct LoadBounds {
  std::size_t callers = 1;
  std::size_t max_calls = 1;  // calls started by all callers together
  std::chrono::milliseconds max_time{1000};
};

struct LoadResult {
  std::vector<double> latencies_us;  // one per successful call, in no particular order
  std::size_t failures = 0;          // calls that returned false
  double seconds = 0;                // from the start of all callers to the end of the last
  std::size_t most_in_flight = 0;    // the most calls running at the same time
};

// Runs `call` on `bounds.callers` threads until `bounds.max_calls` calls have started or
// `bounds.max_time` has passed; a call under way then finishes. `call` returns whether it
// succeeded and may be called from every caller thread at once.
LoadResult RunClosedLoop(LoadBounds const& bounds, std::function<bool()> const& call);

// The load benchmark of one call, run once per benchmark iteration: state.range(0) callers
// in a closed loop for at most kLoadTime and kLoadCalls calls, after a warm-up of the same
// callers. Counters: calls_per_s (successful calls over the wall time), p50_us and p99_us
// (latency of one call), calls, most_in_flight. Fails the benchmark when a call fails.
inline constexpr std::chrono::milliseconds kLoadTime{2000};
inline constexpr std::size_t kLoadCalls = 200'000;
void RunLoadBenchmark(benchmark::State& state, std::function<bool()> const& call);
// The settings of every load benchmark, so that peers are compared at the same caller counts
// (1, 8 and 32), one run each, in wall time: BENCHMARK(f)->Name(...)->Apply(LoadSettings).
void LoadSettings(benchmark::internal::Benchmark* benchmark);

// The value at `fraction` (0.5 for the median, 0.99) of `values` by the nearest-rank rule:
// the smallest value with at least that fraction of all values at or below it. Zero when
// `values` is empty.
double Percentile(std::vector<double> values, double fraction);

}  // namespace HyrnBench
