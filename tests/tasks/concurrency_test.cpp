#include "ormi/tasks/store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace Ormi::Tasks {
namespace {

// Providers report, readers read, list, wait and cancel, all at once; every task ends
// exactly once and the count of finished tasks stays within the limit.
TEST(TaskStoreConcurrency, UpdatesReadsAndCancellationsInterleave) {
  StoreOptions options;
  options.max_finished = 16;
  auto store = std::make_shared<Store>(options);
  constexpr int kWriters = 4;
  constexpr int kTasksEach = 50;
  std::atomic<int> ended{0};
  std::atomic<bool> writing{true};
  std::vector<std::thread> threads;
  for (int w = 0; w < kWriters; ++w) {
    threads.emplace_back([&, w] {
      for (int i = 0; i < kTasksEach; ++i) {
        TaskHandle const task =
            store->Create({"s" + std::to_string(w), "op$task", nullptr, nullptr});
        for (int step = 1; step <= 3 && !task.cancelRequested(); ++step) {
          task.SetProgress({step, 3, "step"});
        }
        bool const first = task.cancelRequested()
                               ? task.Cancelled()
                               : task.Succeed(Data::StringValue::GetInstance("x"));
        ended += first ? 1 : 0;
        EXPECT_FALSE(task.Fail(Data::ErrorValue::GetInstance("e")));
      }
    });
  }
  threads.emplace_back([&] {
    while (writing) {  // bounded: the writers end after a fixed count of tasks
      for (auto const& info : store->List({TaskState::kRunning, {}, {}})) {
        store->Cancel(info.id);
        store->Wait(info.id, std::chrono::milliseconds(1));
      }
    }
  });
  for (int w = 0; w < kWriters; ++w) threads[w].join();
  writing = false;
  threads.back().join();
  EXPECT_EQ(ended.load(), kWriters * kTasksEach);
  EXPECT_TRUE(store->List({TaskState::kRunning, {}, {}}).empty());
  EXPECT_EQ(store->List({}).size(), options.max_finished);
}

}  // namespace
}  // namespace Ormi::Tasks
