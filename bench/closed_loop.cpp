#include "closed_loop.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <benchmark/benchmark.h>

namespace HyrnBench {
namespace {

using Clock = std::chrono::steady_clock;

// What the caller threads share: the start signal, the calls left, and the results.
struct Run {
  std::mutex mutex;
  std::condition_variable started;
  bool go = false;
  Clock::time_point start;
  Clock::time_point end;
  std::atomic<std::size_t> calls_started{0};
  std::atomic<std::size_t> in_flight{0};
  std::atomic<std::size_t> most_in_flight{0};
  LoadResult result;
};

void NoteInFlight(Run& run) {
  std::size_t const now = run.in_flight.fetch_add(1) + 1;
  std::size_t most = run.most_in_flight.load();
  while (now > most && !run.most_in_flight.compare_exchange_weak(most, now)) {
  }
}

void Caller(Run& run, LoadBounds const& bounds, std::function<bool()> const& call) {
  std::vector<double> latencies;
  std::size_t failures = 0;
  {
    std::unique_lock<std::mutex> lock(run.mutex);
    run.started.wait(lock, [&run] { return run.go; });
  }
  Clock::time_point const end = run.start + bounds.max_time;
  while (run.calls_started.fetch_add(1) < bounds.max_calls && Clock::now() < end) {
    NoteInFlight(run);
    auto const before = Clock::now();
    bool const ok = call();
    auto const after = Clock::now();
    --run.in_flight;
    if (ok) {
      latencies.push_back(std::chrono::duration<double, std::micro>(after - before).count());
    } else {
      ++failures;
    }
  }
  std::lock_guard<std::mutex> const lock(run.mutex);
  run.end = std::max(run.end, Clock::now());
  run.result.latencies_us.insert(run.result.latencies_us.end(), latencies.begin(), latencies.end());
  run.result.failures += failures;
}

}  // namespace

LoadResult RunClosedLoop(LoadBounds const& bounds, std::function<bool()> const& call) {
  Run run;
  std::vector<std::thread> callers;
  callers.reserve(bounds.callers);
  for (std::size_t i = 0; i < bounds.callers; ++i) {
    callers.emplace_back([&run, &bounds, &call] { Caller(run, bounds, call); });
  }
  {
    std::lock_guard<std::mutex> const lock(run.mutex);
    run.start = Clock::now();
    run.end = run.start;
    run.go = true;
  }
  run.started.notify_all();
  for (auto& thread : callers) thread.join();
  run.result.seconds = std::chrono::duration<double>(run.end - run.start).count();
  run.result.most_in_flight = run.most_in_flight.load();
  return std::move(run.result);
}

void RunLoadBenchmark(benchmark::State& state, std::function<bool()> const& call) {
  if (!call()) return state.SkipWithError("the call did not complete as expected");
  auto const callers = static_cast<std::size_t>(state.range(0));
  RunClosedLoop({callers, 100 * callers, kLoadTime / 4}, call);  // connections, threads, caches
  LoadResult result;
  for (auto _ : state) result = RunClosedLoop({callers, kLoadCalls, kLoadTime}, call);
  if (result.failures > 0 || result.latencies_us.empty()) {
    return state.SkipWithError("a call under load did not complete as expected");
  }
  auto const calls = static_cast<double>(result.latencies_us.size());
  state.counters["calls"] = calls;
  state.counters["calls_per_s"] = calls / result.seconds;
  state.counters["p50_us"] = Percentile(result.latencies_us, 0.5);
  state.counters["p99_us"] = Percentile(result.latencies_us, 0.99);
  state.counters["most_in_flight"] = static_cast<double>(result.most_in_flight);
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  // The small allowance keeps products such as 0.99 * 100 from rounding up a rank.
  double const exact = fraction * static_cast<double>(values.size());
  auto const rank = static_cast<std::size_t>(std::ceil(exact - 1e-9));
  std::size_t const index = std::min(values.size(), std::max<std::size_t>(rank, 1)) - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                   values.end());
  return values[index];
}

void LoadSettings(benchmark::internal::Benchmark* benchmark) {
  benchmark->ArgName("callers")
      ->Arg(1)
      ->Arg(8)
      ->Arg(32)
      ->Iterations(1)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

}  // namespace HyrnBench
