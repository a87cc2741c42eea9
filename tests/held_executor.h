// An executor that keeps the work posted to it until the test runs it, so that a task stays
// running for as long as the test needs.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>

#include "ormi/in_process/connector.h"

namespace TestSupport {

class HeldExecutor final : public ::Ormi::InProcess::Executor {
 public:
  void Post(std::function<void()> work) override {
    std::lock_guard<std::mutex> const lock(mutex_);
    held_.push_back(std::move(work));
  }
  // Runs the work held so far, on the calling thread; how many items ran.
  std::size_t RunHeld() {
    std::deque<std::function<void()>> work;
    {
      std::lock_guard<std::mutex> const lock(mutex_);
      work.swap(held_);
    }
    for (auto const& item : work) item();
    return work.size();
  }
  // Forgets the work still held: it may refer back to whoever posts to this executor.
  void DropHeld() {
    std::deque<std::function<void()>> work;
    std::lock_guard<std::mutex> const lock(mutex_);
    work.swap(held_);
  }

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> held_;
};

}  // namespace TestSupport
