#include "provider/tasks.h"

namespace Example {

std::string Tasks::Store::Open() {
  std::lock_guard<std::mutex> const lock(mutex_);
  std::string id = "task-" + std::to_string(next_++);
  tasks_[id] = boost::none;
  return id;
}

void Tasks::Store::Close(std::string const& id, Outcome outcome) {
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    tasks_[id] = std::move(outcome);
  }
  finished_.notify_all();
}

boost::optional<Tasks::Outcome> Tasks::Store::Wait(std::string const& id) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (tasks_.count(id) == 0) {
    return boost::none;
  }
  finished_.wait(lock, [&] { return tasks_[id].has_value(); });
  return tasks_[id];
}

}  // namespace Example
