#include "ormi/in_process/connector.h"

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ormi/data/error_names.h"
#include "ormi/data/value.h"
#include "ormi/message.h"

namespace Ormi::InProcess {
namespace {

using Data::ErrorName;

std::shared_ptr<Core::MethodResult const> ErrorResult(char const* error_name, BaseMessage message) {
  std::list<BaseMessage> const messages{std::move(message)};
  return std::make_shared<Core::MethodResult const>(
      nullptr, Data::ErrorValue::Create(error_name, messages), true);
}

std::shared_ptr<Core::MethodResult const> NotFound(std::string const& service,
                                                   std::string const* method) {
  return ErrorResult(ErrorName::kNotFound,
                     method == nullptr
                         ? Message<CoreTag>(MessageId::kServiceNotFound, service)
                         : Message<CoreTag>(MessageId::kMethodNotFound, service, *method));
}

// Finds the method that serves a call. Returns null with `target` set, or the result that
// answers a call that cannot be served.
std::shared_ptr<Core::MethodResult const> Route(
    Registry const& registry, std::shared_ptr<Core::MethodIdentifier const> const& method,
    Data::ValuePtr const& input, std::shared_ptr<Provider::AsyncApiMethod const>* target) {
  static std::string const kNone;
  std::string const& service =
      method && method->interfaceIdentifier() ? method->interfaceIdentifier()->name() : kNone;
  std::string const& name = method ? method->name() : kNone;
  auto const bound = registry.Find(service);
  if (!bound) {
    return NotFound(service, nullptr);
  }
  *target = bound->FindMethod(name);
  if (!*target) {
    return NotFound(service, &name);
  }
  if (!input) {
    return ErrorResult(
        ErrorName::kInvalidArgument,
        Message<CoreTag>(MessageId::kValidationFailed,
                         service + "." + name + ".input: expected a value, got none"));
  }
  return nullptr;
}

}  // namespace

bool Registry::Register(InterfacePtr bound) {
  if (!bound || !bound->identifier()) {
    return false;
  }
  std::string name = bound->identifier()->name();
  std::lock_guard<std::mutex> const lock(mutex_);
  return interfaces_.emplace(std::move(name), std::move(bound)).second;
}

bool Registry::Unregister(std::string const& name) {
  InterfacePtr removed;  // released after the lock, in case it was the last reference
  std::lock_guard<std::mutex> const lock(mutex_);
  auto const entry = interfaces_.find(name);
  if (entry == interfaces_.end()) {
    return false;
  }
  removed = std::move(entry->second);
  interfaces_.erase(entry);
  return true;
}

Registry::InterfacePtr Registry::Find(std::string const& name) const {
  std::lock_guard<std::mutex> const lock(mutex_);
  auto const entry = interfaces_.find(name);
  return entry == interfaces_.end() ? nullptr : entry->second;
}

std::vector<Registry::InterfacePtr> Registry::List() const {
  std::vector<InterfacePtr> listed;
  std::lock_guard<std::mutex> const lock(mutex_);
  listed.reserve(interfaces_.size());
  for (auto const& entry : interfaces_) {
    listed.push_back(entry.second);
  }
  return listed;
}

ThreadPoolExecutor::ThreadPoolExecutor(std::size_t threads) {
  std::size_t const count = threads == 0 ? 1 : threads;
  running_workers_ = count;
  workers_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    workers_.emplace_back([this] { Work(); });
  }
}

void ThreadPoolExecutor::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    if (running_workers_ != 0) {
      queue_.push_back(std::move(work));
      ready_.notify_one();
      return;
    }
  }
  work();
}

void ThreadPoolExecutor::Drain() {
  std::lock_guard<std::mutex> const join_lock(join_mutex_);
  {
    std::lock_guard<std::mutex> const lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& worker : workers_) {
    if (worker.joinable()) {
      worker.join();
    }
  }
}

void ThreadPoolExecutor::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) {
      // Decided under the lock, so a Post that still sees this worker running is served.
      --running_workers_;
      return;
    }
    std::function<void()> work = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    work();
    work = nullptr;  // released outside the lock: it may hold the last reference of a call
    lock.lock();
  }
}

Channel::Channel(std::shared_ptr<Registry const> registry, std::shared_ptr<Executor> executor)
    : registry_(registry ? std::move(registry) : std::make_shared<Registry const>()),
      executor_(executor ? std::move(executor) : std::make_shared<InlineExecutor>()) {}

void Channel::Invoke(std::shared_ptr<Core::MethodIdentifier const> const& method,
                     Data::ValuePtr const& input,
                     std::shared_ptr<Core::AsyncActivation> const& activation,
                     ResultFunction const& result) {
  if (!result) {
    throw std::bad_function_call();
  }
  // The result function is copied once, into the task that runs the call.
  Core::AsyncApiResultCb callback(result);
  std::shared_ptr<Provider::AsyncApiMethod const> target;
  auto const failure = Route(*registry_, method, input, &target);
  if (failure) {
    executor_->Post([callback = std::move(callback), failure] {
      callback(failure, Progress::Terminal(), nullptr);
    });
    return;
  }
  auto const call_activation = activation ? activation : std::make_shared<Core::AsyncActivation>();
  executor_->Post([target, input, call_activation, callback = std::move(callback)] {
    target->Invoke(input, call_activation, callback);
  });
}

}  // namespace Ormi::InProcess
