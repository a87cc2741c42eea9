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

using std::chrono::milliseconds;

// A store whose clock the test moves by hand.
class StoreTest : public ::testing::Test {
 protected:
  std::shared_ptr<Store> MakeStore(milliseconds retention, std::size_t max_finished) {
    StoreOptions options;
    options.retention = retention;
    options.max_finished = max_finished;
    options.now = [this] { return now_; };
    return std::make_shared<Store>(options);
  }

  static TaskSpec Spec(std::string service, std::string operation) {
    TaskSpec spec;
    spec.service = std::move(service);
    spec.operation = std::move(operation);
    return spec;
  }

  TaskInfo::Time now_ = TaskInfo::Time() + std::chrono::hours(1000);
};

TEST_F(StoreTest, TasksKeepTheirOutcomeAndEndOnce) {
  auto store = MakeStore(milliseconds(1000), 10);
  TaskHandle const ok = store->Create(Spec("s", "scan$task"));
  TaskHandle const bad = store->Create(Spec("s", "apply$task"));
  EXPECT_NE(ok.id(), bad.id());
  EXPECT_TRUE(ok.SetProgress({1, 3, "one of three"}));
  now_ += milliseconds(5);
  EXPECT_TRUE(ok.Succeed(Data::StringValue::GetInstance("done")));
  EXPECT_FALSE(ok.Fail(Data::ErrorValue::GetInstance("e")));  // already ended
  EXPECT_FALSE(ok.SetProgress({2, 3, "late"}));
  EXPECT_TRUE(bad.Fail(Data::ErrorValue::GetInstance("com.norval.ormi.std.errors.error")));

  auto const got = store->Get(ok.id());
  ASSERT_TRUE(got);
  EXPECT_EQ(got->state, TaskState::kSucceeded);
  EXPECT_EQ(got->progress.completed, 1);
  EXPECT_EQ(got->progress.message, "one of three");
  ASSERT_TRUE(got->result);
  EXPECT_FALSE(got->error);
  ASSERT_TRUE(got->finished);
  EXPECT_EQ(*got->finished - got->started, milliseconds(5));
  auto const failed = store->Get(bad.id());
  ASSERT_TRUE(failed && failed->error);
  EXPECT_EQ(failed->state, TaskState::kFailed);
  EXPECT_EQ(failed->error->name(), "com.norval.ormi.std.errors.error");
  EXPECT_FALSE(store->Get("task-999"));

  for (TaskState state :
       {TaskState::kRunning, TaskState::kSucceeded, TaskState::kFailed, TaskState::kCancelled}) {
    EXPECT_TRUE(ParseState(StateName(state)) == state) << StateName(state);
  }
  EXPECT_FALSE(ParseState("running"));
}

TEST_F(StoreTest, FinishedTasksAreDroppedAfterTheRetentionTimeAndBeyondTheCount) {
  auto store = MakeStore(milliseconds(100), 2);
  TaskHandle const running = store->Create(Spec("s", "a$task"));
  std::vector<TaskHandle> done;
  for (int i = 0; i < 3; ++i) {
    done.push_back(store->Create(Spec("s", "a$task")));
  }
  done[2].Succeed(nullptr);  // ends first, so it goes first
  now_ += milliseconds(60);
  done[0].Succeed(nullptr);
  EXPECT_TRUE(store->Get(done[2].id()));
  done[1].Succeed(nullptr);  // a third finished task: over the count
  EXPECT_FALSE(store->Get(done[2].id()));
  EXPECT_TRUE(store->Get(done[0].id()));

  now_ += milliseconds(99);  // done[0] and done[1] ended 99 ms ago
  EXPECT_EQ(store->List({}).size(), 3U);
  now_ += milliseconds(1);
  std::vector<TaskInfo> const left = store->List({});
  ASSERT_EQ(left.size(), 1U);  // a running task is never dropped
  EXPECT_EQ(left.front().id, running.id());
}

TEST_F(StoreTest, ListFiltersByStateServiceAndOperation) {
  auto store = MakeStore(milliseconds(1000), 10);
  TaskHandle const a = store->Create(Spec("one", "scan$task"));
  TaskHandle const b = store->Create(Spec("one", "apply$task"));
  TaskHandle const c = store->Create(Spec("two", "scan$task"));
  b.Succeed(nullptr);
  auto ids = [&](TaskFilter const& filter) {
    std::vector<std::string> out;
    for (auto const& info : store->List(filter)) out.push_back(info.id);
    return out;
  };
  EXPECT_EQ(ids({}), (std::vector<std::string>{a.id(), b.id(), c.id()}));
  EXPECT_EQ(ids({TaskState::kRunning, {}, {}}), (std::vector<std::string>{a.id(), c.id()}));
  EXPECT_EQ(ids({{}, std::string("one"), {}}), (std::vector<std::string>{a.id(), b.id()}));
  EXPECT_EQ(ids({{}, std::string("one"), std::string("scan$task")}),
            (std::vector<std::string>{a.id()}));
  EXPECT_TRUE(ids({TaskState::kCancelled, {}, {}}).empty());
}

TEST_F(StoreTest, CancellationIsARequestThatTheProviderSees) {
  auto store = MakeStore(milliseconds(1000), 10);
  TaskHandle const task = store->Create(Spec("s", "apply$task"));
  int told = 0;
  task.OnCancel([&] { ++told; });
  EXPECT_FALSE(task.cancelRequested());
  auto const requested = store->Cancel(task.id());
  ASSERT_TRUE(requested);
  EXPECT_TRUE(requested->cancel_requested);
  EXPECT_EQ(requested->state, TaskState::kRunning);  // until the provider stops
  EXPECT_TRUE(task.cancelRequested());
  EXPECT_EQ(told, 1);
  store->Cancel(task.id());
  EXPECT_EQ(told, 1);
  EXPECT_TRUE(task.Cancelled());
  EXPECT_EQ(store->Get(task.id())->state, TaskState::kCancelled);

  TaskHandle const finished = store->Create(Spec("s", "apply$task"));
  finished.Succeed(nullptr);
  auto const after = store->Cancel(finished.id());
  ASSERT_TRUE(after);
  EXPECT_FALSE(after->cancel_requested);
  EXPECT_EQ(after->state, TaskState::kSucceeded);
  EXPECT_FALSE(store->Cancel("task-999"));
}

TEST_F(StoreTest, WaitReturnsAtTheEndOrAfterTheTimeout) {
  auto store = MakeStore(milliseconds(1000), 10);
  TaskHandle const task = store->Create(Spec("s", "scan$task"));
  auto const timed_out = store->Wait(task.id(), milliseconds(20));
  ASSERT_TRUE(timed_out);
  EXPECT_EQ(timed_out->state, TaskState::kRunning);
  EXPECT_FALSE(store->Wait("task-999", milliseconds(20)));

  std::thread finisher([task] {
    std::this_thread::sleep_for(milliseconds(20));
    task.Succeed(Data::StringValue::GetInstance("done"));
  });
  auto const ended = store->Wait(task.id(), std::chrono::seconds(30));
  finisher.join();
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->state, TaskState::kSucceeded);
}

}  // namespace
}  // namespace Ormi::Tasks
