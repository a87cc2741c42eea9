// Many client threads calling bound services at once, over each road (in process, with the
// answers on the executor's threads; HTTP over a unix socket, with the answers on the
// channel's threads). Every call must end in exactly one terminal delivery carrying its own
// answer. Meant to run under ThreadSanitizer as well.
#include "com/norval/hyrn/host_settings/host_settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "e2e_support.h"

namespace E2e {
namespace {

using ApplySvc = ::Com::Norval::Hyrn::HostSettingsSvc;
using HyrnSvc = ::Com::Norval::Hyrn::HostSettings::Software::HyrnSvc;

constexpr int kThreads = 8;
constexpr int kCallsPerThread = 200;
constexpr std::size_t kCalls = std::size_t{kThreads} * kCallsPerThread;
constexpr char kNotFound[] = "com.norval.ormi.std.errors.not_found";

// Answers from the input alone, so that each call's answer is known: "get" the version
// "v-<host>" (a NotFound error for hosts ending in '7'), "set" nothing, "apply" the task
// identifier "t-<host>".
class EchoHandler {
 public:
  template <typename Method>
  void Handle(typename Method::Input const& input, ActivationPtr const& /*activation*/,
              typename Method::ResultType const& result) {
    calls_.fetch_add(1);
    if constexpr (std::is_same_v<Method, HyrnSvc::GetMethod>) {
      if (input.host.back() == '7') {
        result.SetError(::Ormi::Data::ErrorValue::GetInstance(kNotFound));
      } else {
        result.SetResult("v-" + input.host);
      }
    } else if constexpr (std::is_same_v<Method, HyrnSvc::SetMethod>) {
      result.SetResult(::Ormi::Void());
    } else {
      result.SetTaskId("t-" + input.host);
    }
  }
  int calls() const { return calls_.load(); }

 private:
  std::atomic<int> calls_{0};
};

// Counts the deliveries of all calls, so that the test can wait for the last one.
class Arrivals {
 public:
  void Add() {
    std::lock_guard<std::mutex> const lock(mutex_);
    ++count_;
    arrived_.notify_all();
  }
  bool WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(60), [&] { return count_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::size_t count_ = 0;
};

// What one call received. Written on the thread that delivers the answer, read after every
// call has arrived.
struct Slot {
  std::atomic<int> deliveries{0};
  std::string answer;
  std::string error;
  std::thread::id caller;
  std::thread::id receiver;
  Arrivals* arrivals = nullptr;

  void Record(std::string value, ::Ormi::ErrorPtr const& failure) {
    answer = std::move(value);
    error = NameOf(failure);
    receiver = std::this_thread::get_id();
    deliveries.fetch_add(1);
    arrivals->Add();
  }
};

// Call `index` of a thread: get, set and apply in turn.
void Call(HyrnSvc::AsyncServiceStub& hyrn, ApplySvc::AsyncServiceStub& apply, int index,
          Slot& slot) {
  std::string const host = "host-" + std::to_string(index);
  slot.caller = std::this_thread::get_id();
  switch (index % 3) {
    case 0:
      hyrn.Get(host, nullptr,
               HyrnSvc::GetMethod::ResultType(HyrnSvc::GetMethod::ResultType::Callback(
                   [&slot](boost::optional<std::string> const& value, ::Ormi::ErrorPtr const& error,
                           ::Ormi::Progress const& /*progress*/) {
                     slot.Record(value.value_or(""), error);
                   })));
      break;
    case 1:
      hyrn.Set(host, "1.0", nullptr,
               HyrnSvc::SetMethod::ResultType(HyrnSvc::SetMethod::ResultType::Callback(
                   [&slot](boost::optional<::Ormi::Void> const& value,
                           ::Ormi::ErrorPtr const& error, ::Ormi::Progress const& /*progress*/) {
                     slot.Record(value ? "void" : "", error);
                   })));
      break;
    default:
      apply.Apply(host, nullptr,
                  ApplySvc::ApplyMethod::ResultType(ApplySvc::ApplyMethod::ResultType::TaskCallback(
                      [&slot](std::string const& task_id, ::Ormi::ErrorPtr const& error) {
                        slot.Record(task_id, error);
                      })));
  }
}

std::string ExpectedAnswer(int index) {
  std::string const host = "host-" + std::to_string(index);
  switch (index % 3) {
    case 0:
      return host.back() == '7' ? "" : "v-" + host;
    case 1:
      return "void";
    default:
      return "t-" + host;
  }
}

class ConcurrencyOverEachRoad : public ::testing::TestWithParam<Road> {};

TEST_P(ConcurrencyOverEachRoad, EveryCallEndsInExactlyOneDeliveryOfItsOwnAnswer) {
  auto pool = std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(4);
  Connector connector(pool, GetParam());
  auto handler = std::make_shared<EchoHandler>();
  ASSERT_TRUE(connector.Serve<HyrnSvc>(handler));
  ASSERT_TRUE(connector.Serve<ApplySvc>(handler));

  Arrivals arrivals;
  std::vector<Slot> slots(kCalls);
  for (auto& slot : slots) slot.arrivals = &arrivals;
  std::vector<std::thread> threads;
  threads.reserve(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&connector, &slots, t] {
      HyrnSvc::AsyncServiceStub hyrn(connector.channel);
      ApplySvc::AsyncServiceStub apply(connector.channel);
      for (int i = t * kCallsPerThread; i < (t + 1) * kCallsPerThread; ++i) {
        Call(hyrn, apply, i, slots[i]);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  ASSERT_TRUE(arrivals.WaitFor(kCalls)) << "calls without an answer";
  pool->Drain();

  EXPECT_EQ(handler->calls(), static_cast<int>(kCalls));
  int wrong = 0;
  for (int i = 0; i < static_cast<int>(slots.size()); ++i) {
    Slot const& slot = slots[i];
    bool const not_found = i % 3 == 0 && ExpectedAnswer(i).empty();
    bool const right = slot.deliveries.load() == 1 && slot.answer == ExpectedAnswer(i) &&
                       slot.error == (not_found ? kNotFound : "<none>") &&
                       slot.receiver != slot.caller;
    if (!right && ++wrong <= 5) {
      ADD_FAILURE() << "call " << i << ": " << slot.deliveries.load() << " deliveries, answer '"
                    << slot.answer << "', error " << slot.error;
    }
  }
  EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Roads, ConcurrencyOverEachRoad,
                         ::testing::Values(Road::kInProcess, Road::kUnixSocket), RoadName);

}  // namespace
}  // namespace E2e
