// Test doubles shared by the binding tests: a programmable implementation of the test service
// (KeysSvc, generated from tests/idl/test_shapes.idl) and readers for error values.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "com/norval/hyrn/test/test_shapes.h"
#include "com/norval/ormi/std/errors/errors.h"
#include "com/norval/ormi/std/std.h"
#include "ormi/binding/service.h"

namespace BindingTest {

// The generated test service ("com.norval.hyrn.test.keys"). Operations, in slot order:
//   get(key) -> string, throws NotFound, InternalServerError
//   put(key, message: LocalizableMessage) -> LocalizableMessage, throws InvalidArgument
//   clear() -> void, no parameters
//   task apply(key, message: LocalizableMessage) -> void, throws NotFound
using ::Com::Norval::Hyrn::Test::KeysSvc;
namespace Errors = ::Com::Norval::Ormi::Std::Errors;
using Message = ::Com::Norval::Ormi::Std::LocalizableMessage;
using MessagePtr = std::shared_ptr<Message const>;

using ActivationPtr = std::shared_ptr<::Ormi::Core::AsyncActivation>;
template <typename R>
using Result = ::Ormi::AsyncResult<R, ::Ormi::AsyncResultTerminateCbPolicy>;
using TaskResult = ::Ormi::AsyncTaskResult<::Ormi::Void, ::Ormi::AsyncTaskResultTerminateCbPolicy>;

// Each operation runs the matching function; unset functions leave the call open. Calls may
// arrive on several threads at once, so the record of the last call is kept under a lock.
class FakeKeys : public KeysSvc::AsyncServiceInterface {
 public:
  std::function<void(std::string const&, Result<std::string> const&)> get;
  std::function<void(MessagePtr const&, Result<MessagePtr> const&)> put;
  std::function<void(TaskResult const&)> apply;
  int calls = 0;
  std::string lastKey;
  ActivationPtr lastActivation;

  void Get(std::string const& key, ActivationPtr const& activation,
           Result<std::string> const& result) override {
    Record(key, activation);
    CallingActivation() = activation;
    if (get) get(key, result);
    CallingActivation() = nullptr;
  }
  // The activation of the Get whose hook runs on this thread. The hooks take none, and when
  // calls run at once lastActivation may already be another call's.
  static ActivationPtr& CallingActivation() {
    thread_local ActivationPtr calling;
    return calling;
  }
  void Put(std::string const& key, MessagePtr const& message, ActivationPtr const& activation,
           Result<MessagePtr> const& result) override {
    Record(key, activation);
    if (put) put(message, result);
  }
  void Clear(ActivationPtr const& activation, Result<::Ormi::Void> const& result) override {
    Record("", activation);
    result.SetResult(::Ormi::Void());
  }
  void Apply(std::string const& key, MessagePtr const& /*message*/, ActivationPtr const& activation,
             TaskResult const& result) override {
    Record(key, activation);
    if (apply) apply(result);
  }

 private:
  void Record(std::string const& key, ActivationPtr const& activation) {
    std::lock_guard<std::mutex> const lock(mutex_);
    ++calls;
    lastKey = key;
    lastActivation = activation;
  }

  std::mutex mutex_;
};

inline MessagePtr MakeMessage(std::string id, std::string text) {
  auto message = std::make_shared<Message>();
  message->id = std::move(id);
  message->default_message = std::move(text);
  return message;
}

inline std::string NameOf(::Ormi::ErrorPtr const& error) {
  return error ? error->name() : "<none>";
}

inline std::list<std::string> MessageIds(::Ormi::ErrorPtr const& error) {
  std::list<std::string> ids;
  if (error) {
    for (auto const& message : error->messages()) ids.push_back(message.id);
  }
  return ids;
}

inline bool IsTerminal(::Ormi::Progress const& progress) {
  return progress.min == 0 && progress.max == 1 && progress.current == 1;
}

}  // namespace BindingTest
