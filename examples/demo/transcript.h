// The demo's transcript: each call with its arguments and its result or error in the
// canonical JSON form, whether that outcome was the expected one, and a closing summary.
#pragma once

#include <functional>
#include <future>
#include <list>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/optional.hpp>

#include "ormi/async_result.h"
#include "ormi/data/convert.h"
#include "ormi/data/json.h"
#include "ormi/tasks/store.h"
#include "provider/tasks.h"

namespace Demo {

// Canonical JSON, indented; containers that fit on a line stay on one.
std::string Pretty(std::string const& json);

// The canonical JSON of a native value (its conversion messages when it does not convert).
template <typename T>
std::string Json(T const& native) {
  ::Ormi::Data::ValuePtr value;
  std::list<::Ormi::BaseMessage> messages;
  if (!::Ormi::Data::ToValue(native, &value, messages)) {
    return "<not convertible: " + (messages.empty() ? "" : messages.front().defaultMessage) + ">";
  }
  return ::Ormi::Data::ToJson(*value);
}

// One argument of a call: its name and its JSON.
struct Arg {
  template <typename T>
  Arg(std::string arg_name, T const& native) : name(std::move(arg_name)), json(Json(native)) {}
  // A structure being built (non-const) travels as a pointer to const.
  template <typename T>
  Arg(std::string arg_name, std::shared_ptr<T> const& native)
      : name(std::move(arg_name)), json(Json(std::shared_ptr<std::add_const_t<T>>(native))) {}
  std::string name;
  std::string json;
};

// What a call should answer: a value, or an error of the given name.
template <typename R>
struct Expect {
  std::string error;  // empty: a value
  // For a value: an empty text when it is right, else what is wrong with it.
  std::function<std::string(R const&)> check;
};

template <typename R>
Expect<R> Value(std::function<std::string(R const&)> check = {}) {
  return Expect<R>{"", std::move(check)};
}
template <typename R>
Expect<R> Error(std::string const& name) {
  return Expect<R>{name, {}};
}

class Transcript {
 public:
  Transcript(std::ostream& out, ::Ormi::Tasks::Store const& tasks) : out_(out), tasks_(tasks) {}

  // Makes one call of the operation `Method`: `start(result)` calls the stub, and the
  // transcript waits for the answer.
  template <typename Method, typename Start, typename R = typename Method::ValueType>
  void Call(std::vector<Arg> const& args, Start&& start, Expect<R> const& expect) {
    Begin(ServiceOf<Method>(), Method::methodName(), args);
    auto reply = std::make_shared<std::promise<std::pair<boost::optional<R>, ::Ormi::ErrorPtr>>>();
    auto answered = reply->get_future();
    std::forward<Start>(start)(::Ormi::AsyncResult<R>(typename ::Ormi::AsyncResult<R>::Callback(
        [reply](boost::optional<R> const& value, ::Ormi::ErrorPtr const& error,
                ::Ormi::Progress const& /*progress*/) {
          if (value || error) {  // not a progress report
            reply->set_value({value, error});
          }
        })));
    auto const outcome = answered.get();
    std::string problem;
    if (outcome.first && expect.error.empty() && expect.check) {
      problem = expect.check(*outcome.first);
    }
    Finish(outcome.first ? Json(*outcome.first) : std::string(), outcome.second, expect.error,
           problem);
  }

  // Makes one task call: `start(result)` calls the stub; the transcript waits for the task
  // identifier, then for the task's outcome, checked by `check` (an empty text when right).
  template <typename Method, typename Start, typename R = typename Method::ValueType>
  void Task(std::vector<Arg> const& args, Start&& start, std::string const& expected_error = {},
            std::function<std::string(::Ormi::Data::ValuePtr const&)> const& check = {}) {
    Begin(ServiceOf<Method>(), Method::taskMethodName(), args);
    auto reply = std::make_shared<std::promise<std::pair<std::string, ::Ormi::ErrorPtr>>>();
    auto answered = reply->get_future();
    std::forward<Start>(start)(
        ::Ormi::AsyncTaskResult<R>(typename ::Ormi::AsyncTaskResult<R>::TaskCallback(
            [reply](std::string const& id, ::Ormi::ErrorPtr const& error) {
              reply->set_value({id, error});
            })));
    auto const outcome = answered.get();
    std::string const id_json = outcome.second ? std::string() : Json(outcome.first);
    if (!Finish(id_json, outcome.second, expected_error, "") || outcome.second) {
      return;
    }
    Outcome(outcome.first, check);
  }

  // Prints the summary line; true when every call behaved as expected.
  bool Summary(std::set<std::string> const& all_operations);

 private:
  template <typename Method>
  static std::string ServiceOf() {
    return ::Ormi::Data::TypeInfo<typename Method::Interface>::name();
  }

  void Begin(std::string const& service, std::string const& operation,
             std::vector<Arg> const& args);
  // Prints the answer and judges it; true when it was the expected one.
  bool Finish(std::string const& value_json, ::Ormi::ErrorPtr const& error,
              std::string const& expected_error, std::string const& problem);
  void Outcome(std::string const& task_id,
               std::function<std::string(::Ormi::Data::ValuePtr const&)> const& check);
  void Judge(std::string const& problem);

  std::ostream& out_;
  ::Ormi::Tasks::Store const& tasks_;
  int calls_ = 0;
  int failures_ = 0;
  std::set<std::string> called_;
};

}  // namespace Demo
