// The in-process connector: a registry of bound interfaces and a client channel that
// routes each call to the registered method, run through an executor.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ormi/core/call.h"
#include "ormi/provider/api_interface.h"
#include "ormi/stub/api_stub.h"

namespace Ormi::InProcess {

// The bound interfaces of a process, by interface name. Thread-safe.
class Registry {
 public:
  using InterfacePtr = std::shared_ptr<Provider::AsyncApiInterface const>;

  // Adds `bound` under its identifier's name. False (and nothing changes) when `bound` or
  // its identifier is missing or the name is already taken.
  bool Register(InterfacePtr bound);
  // Removes the interface of that name; false when there was none. Calls already routed
  // to it still complete.
  bool Unregister(std::string const& name);
  // The interface of that name, or null.
  InterfacePtr Find(std::string const& name) const;
  // The interfaces registered now, in name order: a copy, so registrations that follow do
  // not change it.
  std::vector<InterfacePtr> List() const;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, InterfacePtr> interfaces_;
};

// Runs work items.
class Executor {
 public:
  Executor() = default;
  Executor(Executor const&) = delete;
  Executor& operator=(Executor const&) = delete;
  virtual void Post(std::function<void()> work) = 0;
  virtual ~Executor() = default;
};

// Runs each work item at once, on the caller's thread.
class InlineExecutor final : public Executor {
 public:
  void Post(std::function<void()> work) override { work(); }
};

// Runs work items on a fixed set of worker threads, in the order they were posted. An
// exception that escapes a work item ends the process.
class ThreadPoolExecutor final : public Executor {
 public:
  explicit ThreadPoolExecutor(std::size_t threads);
  ThreadPoolExecutor(ThreadPoolExecutor const&) = delete;
  ThreadPoolExecutor& operator=(ThreadPoolExecutor const&) = delete;
  ~ThreadPoolExecutor() override { Drain(); }

  // Queues `work`. Once the workers are gone (after Drain), runs it on the caller's thread
  // instead, so that no work is lost.
  void Post(std::function<void()> work) override;
  // Runs all queued work, including work that it posts, then joins the workers. Must not
  // be called from a work item.
  void Drain();

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
  bool stopping_ = false;
  std::size_t running_workers_ = 0;
  std::mutex join_mutex_;
  std::vector<std::thread> workers_;
};

// A client channel that serves calls from the registry's interfaces. Each call is routed
// by the method identifier's interface name and method name and run through the executor,
// so its results may arrive on another thread. An unknown interface or method is answered
// once, through the executor, with "com.norval.ormi.std.errors.not_found".
class Channel final : public Stub::AsyncApiStub {
 public:
  Channel(std::shared_ptr<Registry const> registry, std::shared_ptr<Executor> executor);

  // Throws std::bad_function_call when `result` is empty. A null activation is replaced by
  // a fresh one.
  void Invoke(std::shared_ptr<Core::MethodIdentifier const> const& method,
              Data::ValuePtr const& input, std::shared_ptr<Core::AsyncActivation> const& activation,
              ResultFunction const& result) override;

 private:
  std::shared_ptr<Registry const> registry_;
  std::shared_ptr<Executor> executor_;
};

}  // namespace Ormi::InProcess
