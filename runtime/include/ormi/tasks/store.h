// The tasks of long-running operations: a provider creates a task when a task operation
// starts its work, reports progress and the outcome through the task's handle and polls or
// subscribes to cancellation requests; anyone holding the store reads, lists, waits for and
// cancels tasks. Finished tasks are kept for a retention time and up to a count.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <boost/optional.hpp>

#include "ormi/core/call.h"
#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace Ormi::Tasks {

enum class TaskState { kRunning, kSucceeded, kFailed, kCancelled };

// "RUNNING", "SUCCEEDED", "FAILED", "CANCELLED": the wire names of the states.
char const* StateName(TaskState state);
boost::optional<TaskState> ParseState(std::string const& name);

struct TaskProgress {
  std::int64_t completed = 0;
  std::int64_t total = 0;
  std::string message;
};

// What a provider says about a task when it creates it.
struct TaskSpec {
  std::string service;    // "com.norval.hyrn.settings_daemon.software"
  std::string operation;  // the operation's bound name, "scan$task"
  // The definition of the work's result (the operation's outputDef()); null when unknown.
  Data::DefinitionPtr result_definition;
  // Who started the task; null for a task started in the same process.
  std::shared_ptr<Core::Caller const> caller;
};

// A copy of one task's state at one moment.
struct TaskInfo {
  using Time = std::chrono::system_clock::time_point;

  std::string id;
  TaskSpec spec;
  TaskState state = TaskState::kRunning;
  TaskProgress progress;
  bool cancel_requested = false;
  Data::ValuePtr result;                          // set when the task succeeded
  std::shared_ptr<Data::ErrorValue const> error;  // set when it failed
  Time started;
  boost::optional<Time> finished;
};

// Unset members match every task.
struct TaskFilter {
  boost::optional<TaskState> state;
  boost::optional<std::string> service;
  boost::optional<std::string> operation;

  bool Matches(TaskInfo const& info) const;
};

struct StoreOptions {
  // How long a finished task stays readable after it ended.
  std::chrono::milliseconds retention = std::chrono::minutes(15);
  // How many finished tasks are kept at most; beyond it the task that ended first goes.
  std::size_t max_finished = 1000;
  // The store's clock for start, end and retention; tests set their own.
  std::function<TaskInfo::Time()> now = [] { return std::chrono::system_clock::now(); };
};

namespace Detail {
struct Entry;
}  // namespace Detail

class Store;

// The provider's side of one task. Copies share the task. The first of Succeed, Fail and
// Cancelled ends the task; later reports are ignored and return false.
class TaskHandle {
 public:
  TaskHandle(std::shared_ptr<Store> store, std::shared_ptr<Detail::Entry> entry);

  std::string const& id() const;
  // Whether someone asked to cancel the task; the provider decides when to stop.
  bool cancelRequested() const;
  // Runs `function` once when cancellation is requested (at once if it already was), on the
  // requesting thread, outside the store's lock.
  void OnCancel(std::function<void()> function) const;

  bool SetProgress(TaskProgress progress) const;
  bool Succeed(Data::ValuePtr result) const;
  bool Fail(std::shared_ptr<Data::ErrorValue const> error) const;
  // Ends the task as cancelled: the provider stopped the work at a cancellation request.
  bool Cancelled() const;

 private:
  std::shared_ptr<Store> store_;
  std::shared_ptr<Detail::Entry> entry_;
};

// Thread-safe. Create it with std::make_shared: handles keep it alive.
class Store : public std::enable_shared_from_this<Store> {
 public:
  explicit Store(StoreOptions options = {});
  Store(Store const&) = delete;
  Store& operator=(Store const&) = delete;
  ~Store();

  // A new running task with a new identifier ("task-1", "task-2", ...).
  TaskHandle Create(TaskSpec spec);

  // None for an unknown task, or one that was dropped.
  boost::optional<TaskInfo> Get(std::string const& id) const;
  // Blocks until the task ends or `timeout` passes, and returns its state then (still
  // running after a timeout); none for an unknown task.
  boost::optional<TaskInfo> Wait(std::string const& id, std::chrono::milliseconds timeout) const;
  // The tasks that match, in the order they were created.
  std::vector<TaskInfo> List(TaskFilter const& filter) const;
  // Asks the provider to stop a running task; runs the functions it subscribed. Returns
  // the task's state afterwards (a finished task is left as it is); none when unknown.
  boost::optional<TaskInfo> Cancel(std::string const& id);

  StoreOptions const& options() const { return options_; }

 private:
  friend class TaskHandle;

  // Applies `change` to a running task and wakes the waiters; false when it has ended.
  bool Update(Detail::Entry& entry, std::function<void(TaskInfo&)> const& change);
  // Drops the finished tasks past the retention time or the count. Under the lock.
  void Prune() const;

  StoreOptions options_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::uint64_t next_id_ = 1;
  mutable std::map<std::uint64_t, std::shared_ptr<Detail::Entry>> tasks_;  // by creation
  mutable std::map<std::string, std::uint64_t> by_id_;
  mutable std::deque<std::uint64_t> finished_;  // in the order the tasks ended
};

}  // namespace Ormi::Tasks
