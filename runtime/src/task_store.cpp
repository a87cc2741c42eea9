#include "ormi/tasks/store.h"

#include <algorithm>
#include <array>

namespace Ormi::Tasks {

namespace Detail {

struct Entry {
  std::uint64_t number = 0;
  TaskInfo info;
  std::shared_ptr<Core::Cancellation> cancellation = std::make_shared<Core::Cancellation>();
};

}  // namespace Detail

namespace {

constexpr std::array<char const*, 4> kStateNames = {"RUNNING", "SUCCEEDED", "FAILED", "CANCELLED"};

}  // namespace

char const* StateName(TaskState state) { return kStateNames.at(static_cast<std::size_t>(state)); }

boost::optional<TaskState> ParseState(std::string const& name) {
  auto const* const found = std::find(kStateNames.begin(), kStateNames.end(), name);
  if (found == kStateNames.end()) return boost::none;
  return static_cast<TaskState>(found - kStateNames.begin());
}

bool TaskFilter::Matches(TaskInfo const& info) const {
  return (!state || *state == info.state) && (!service || *service == info.spec.service) &&
         (!operation || *operation == info.spec.operation);
}

TaskHandle::TaskHandle(std::shared_ptr<Store> store, std::shared_ptr<Detail::Entry> entry)
    : store_(std::move(store)), entry_(std::move(entry)) {}

std::string const& TaskHandle::id() const { return entry_->info.id; }

bool TaskHandle::cancelRequested() const { return entry_->cancellation->cancelled(); }

void TaskHandle::OnCancel(std::function<void()> function) const {
  entry_->cancellation->OnCancel(std::move(function));
}

bool TaskHandle::SetProgress(TaskProgress progress) const {
  return store_->Update(*entry_, [&](TaskInfo& info) { info.progress = std::move(progress); });
}

bool TaskHandle::Succeed(Data::ValuePtr result) const {
  return store_->Update(*entry_, [&](TaskInfo& info) {
    info.state = TaskState::kSucceeded;
    info.result = std::move(result);
  });
}

bool TaskHandle::Fail(std::shared_ptr<Data::ErrorValue const> error) const {
  return store_->Update(*entry_, [&](TaskInfo& info) {
    info.state = TaskState::kFailed;
    info.error = std::move(error);
  });
}

bool TaskHandle::Cancelled() const {
  return store_->Update(*entry_, [](TaskInfo& info) { info.state = TaskState::kCancelled; });
}

Store::Store(StoreOptions options) : options_(std::move(options)) {}

Store::~Store() = default;

TaskHandle Store::Create(TaskSpec spec) {
  auto entry = std::make_shared<Detail::Entry>();
  entry->info.spec = std::move(spec);
  entry->info.started = options_.now();
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    Prune();
    entry->number = next_id_++;
    entry->info.id = "task-" + std::to_string(entry->number);
    tasks_.emplace(entry->number, entry);
    by_id_.emplace(entry->info.id, entry->number);
  }
  return {shared_from_this(), std::move(entry)};
}

bool Store::Update(Detail::Entry& entry, std::function<void(TaskInfo&)> const& change) {
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    if (entry.info.state != TaskState::kRunning) return false;
    change(entry.info);
    if (entry.info.state != TaskState::kRunning) {
      entry.info.finished = options_.now();
      finished_.push_back(entry.number);
      Prune();
    }
  }
  changed_.notify_all();
  return true;
}

void Store::Prune() const {
  auto const now = options_.now();
  while (!finished_.empty()) {
    auto const found = tasks_.find(finished_.front());
    bool const expired = found == tasks_.end() ||
                         *found->second->info.finished + options_.retention <= now ||
                         finished_.size() > options_.max_finished;
    if (!expired) return;
    if (found != tasks_.end()) {
      by_id_.erase(found->second->info.id);
      tasks_.erase(found);
    }
    finished_.pop_front();
  }
}

boost::optional<TaskInfo> Store::Get(std::string const& id) const {
  std::lock_guard<std::mutex> const lock(mutex_);
  Prune();
  auto const found = by_id_.find(id);
  if (found == by_id_.end()) return boost::none;
  TaskInfo info = tasks_.at(found->second)->info;
  return info;
}

boost::optional<TaskInfo> Store::Wait(std::string const& id,
                                      std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  Prune();
  auto const found = by_id_.find(id);
  if (found == by_id_.end()) return boost::none;
  // The entry stays alive while we hold it, even if it is dropped meanwhile.
  std::shared_ptr<Detail::Entry const> const entry = tasks_.at(found->second);
  changed_.wait_for(lock, timeout, [&] { return entry->info.state != TaskState::kRunning; });
  TaskInfo info = entry->info;
  return info;
}

std::vector<TaskInfo> Store::List(TaskFilter const& filter) const {
  std::lock_guard<std::mutex> const lock(mutex_);
  Prune();
  std::vector<TaskInfo> matching;
  for (auto const& task : tasks_) {
    if (filter.Matches(task.second->info)) matching.push_back(task.second->info);
  }
  return matching;
}

boost::optional<TaskInfo> Store::Cancel(std::string const& id) {
  std::shared_ptr<Detail::Entry> entry;
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    Prune();
    auto const found = by_id_.find(id);
    if (found == by_id_.end()) return boost::none;
    entry = tasks_.at(found->second);
    if (entry->info.state != TaskState::kRunning) {
      TaskInfo info = entry->info;
      return info;
    }
    entry->info.cancel_requested = true;
  }
  entry->cancellation->Cancel();  // the provider's functions run outside the lock
  changed_.notify_all();
  std::lock_guard<std::mutex> const lock(mutex_);
  TaskInfo info = entry->info;
  return info;
}

}  // namespace Ormi::Tasks
