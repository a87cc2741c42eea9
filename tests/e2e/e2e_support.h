// Plumbing shared by the end-to-end tests: every generated service of the four packages, a
// connector over either road (in process, or HTTP over a unix socket), a scripted implementation
// behind the generated forwarding implementation, and a collector of what the client side receives.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <unistd.h>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "com/norval/hyrn/hosts/hosts_services.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_services.h"
#include "com/norval/hyrn/software/software_services.h"
#include "ormi/binding/operation_list.h"
#include "ormi/binding/service.h"
#include "ormi/data/convert.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/in_process/connector.h"
#include "ormi/transport/address.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/server.h"

namespace E2e {

using ActivationPtr = std::shared_ptr<::Ormi::Core::AsyncActivation>;
using ::Ormi::ErrorPtr;
using ::Ormi::Data::ValuePtr;

template <typename... Lists>
struct Concat;
template <typename... A>
struct Concat<::Ormi::Data::TypeList<A...>> {
  using type = ::Ormi::Data::TypeList<A...>;
};
template <typename... A, typename... B, typename... Rest>
struct Concat<::Ormi::Data::TypeList<A...>, ::Ormi::Data::TypeList<B...>, Rest...>
    : Concat<::Ormi::Data::TypeList<A..., B...>, Rest...> {};

// Every service of the four API packages, package by package, in file order.
using AllServices =
    Concat<::Com::Norval::Hyrn::HostSettings::AllServices, ::Com::Norval::Hyrn::Hosts::AllServices,
           ::Com::Norval::Hyrn::SettingsDaemon::AllServices,
           ::Com::Norval::Hyrn::Software::AllServices>::type;

// The road a call takes from the client stub to the provider.
enum class Road { kInProcess, kUnixSocket };

inline std::string RoadName(::testing::TestParamInfo<Road> const& info) {
  return info.param == Road::kInProcess ? "InProcess" : "UnixSocket";
}

// A registry, an executor and a client channel to them: the in-process channel, or the HTTP
// channel to a server of the registry on a unix socket in a folder of its own.
class Connector {
 public:
  explicit Connector(std::shared_ptr<::Ormi::InProcess::Executor> run, Road road = Road::kInProcess)
      : executor(std::move(run)) {
    if (road == Road::kInProcess) {
      channel = std::make_shared<::Ormi::InProcess::Channel>(registry, executor);
    } else {
      ServeOnUnixSocket();
    }
  }
  Connector(Connector const&) = delete;
  Connector& operator=(Connector const&) = delete;
  // The channel first, so that no call is left to a stopped server.
  ~Connector() {
    channel.reset();
    if (server_) server_->Stop();
    if (!folder_.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(folder_, ignored);
    }
  }

  // Binds `handler` behind the service's forwarding implementation and registers it.
  template <typename Service, typename Handler>
  bool Serve(std::shared_ptr<Handler> handler) {
    using Implementation = typename Service::template ForwardingImplementation<Handler>;
    return registry->Register(Service::AsyncServiceBinder::BindImplementation(
        std::make_shared<Implementation>(std::move(handler))));
  }

  std::shared_ptr<::Ormi::InProcess::Registry> registry =
      std::make_shared<::Ormi::InProcess::Registry>();
  std::shared_ptr<::Ormi::InProcess::Executor> executor;
  std::shared_ptr<::Ormi::Stub::AsyncApiStub> channel;

 private:
  void ServeOnUnixSocket() {
    char pattern[] = "/tmp/hyrn-e2e-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    auto const address = ::Ormi::Transport::Address::Unix(folder_ + "/hyrnd.sock");
    ::Ormi::Transport::ServerOptions options;
    options.listen = {address};
    server_ = std::make_unique<::Ormi::Transport::Server>(registry, executor, std::move(options));
    std::list<::Ormi::BaseMessage> messages;
    ASSERT_TRUE(server_->Start(messages))
        << (messages.empty() ? std::string() : messages.front().defaultMessage);
    channel =
        std::make_shared<::Ormi::Transport::Channel>(address, ::Ormi::Transport::ClientOptions{});
  }

  std::string folder_;
  std::unique_ptr<::Ormi::Transport::Server> server_;
};

// The value form of a native object; a failed conversion fails the test.
template <typename T>
ValuePtr AsValue(T const& native) {
  ValuePtr value;
  std::list<::Ormi::BaseMessage> messages;
  EXPECT_TRUE(::Ormi::Data::ToValue(native, &value, messages))
      << (messages.empty() ? std::string() : messages.front().id);
  return value;
}

inline std::string Json(ValuePtr const& value) {
  return value ? ::Ormi::Data::ToJson(*value) : "<null>";
}

inline bool SameValue(ValuePtr const& a, ValuePtr const& b) {
  return a && b && ::Ormi::Data::Equal(*a, *b);
}

inline std::string NameOf(ErrorPtr const& error) { return error ? error->name() : "<none>"; }

inline std::list<std::string> MessageIds(ErrorPtr const& error) {
  std::list<std::string> ids;
  if (error) {
    for (auto const& message : error->messages()) ids.push_back(message.id);
  }
  return ids;
}

// What the client side received: counts of terminal deliveries, the last value (the result as
// a value; for a task call the task identifier as a string value) and the last error.
class Collector {
 public:
  void Complete(ValuePtr value, ErrorPtr error) {
    std::lock_guard<std::mutex> const lock(mutex_);
    ++terminal_;
    value_ = std::move(value);
    error_ = std::move(error);
    done_.notify_all();
  }
  bool Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, std::chrono::seconds(20), [this] { return terminal_ > 0; });
  }
  int terminal() const {
    std::lock_guard<std::mutex> const lock(mutex_);
    return terminal_;
  }
  ValuePtr value() const {
    std::lock_guard<std::mutex> const lock(mutex_);
    return value_;
  }
  ErrorPtr error() const {
    std::lock_guard<std::mutex> const lock(mutex_);
    return error_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable done_;
  int terminal_ = 0;
  ValuePtr value_;
  ErrorPtr error_;
};

// The result object a client passes for one call of `Method`, reporting into `collector`.
// Progress reports are not terminal and are not recorded.
template <typename Method>
typename Method::ResultType ClientResult(std::shared_ptr<Collector> collector) {
  using Result = typename Method::ResultType;
  if constexpr (Method::kTask) {
    return Result(typename Result::TaskCallback(
        [collector](std::string const& task_id, ErrorPtr const& error) {
          collector->Complete(error ? nullptr : ::Ormi::Data::DataValue::Create(task_id), error);
        }));
  } else {
    using R = typename Method::ValueType;
    return Result(typename Result::Callback([collector](boost::optional<R> const& value,
                                                        ErrorPtr const& error,
                                                        ::Ormi::Progress const& /*progress*/) {
      if (value || error) collector->Complete(value ? AsValue(*value) : nullptr, error);
    }));
  }
}

// An implementation of one operation `Target`: records each input (as a value) and answers
// with `respond`. Any other operation of the service is a test failure and stays open.
template <typename Target>
class ScriptedHandler {
 public:
  using Respond = std::function<void(typename Target::ResultType const&)>;
  explicit ScriptedHandler(Respond respond) : respond_(std::move(respond)) {}

  template <typename Method>
  void Handle(typename Method::Input const& input, ActivationPtr const& /*activation*/,
              typename Method::ResultType const& result) {
    if constexpr (std::is_same_v<Method, Target>) {
      {
        std::lock_guard<std::mutex> const lock(mutex_);
        inputs_.push_back(AsValue(input));
      }
      respond_(result);
    } else {
      ADD_FAILURE() << "unexpected call of " << Method::methodName();
    }
  }

  std::vector<ValuePtr> inputs() const {
    std::lock_guard<std::mutex> const lock(mutex_);
    return inputs_;
  }

 private:
  Respond respond_;
  mutable std::mutex mutex_;
  std::vector<ValuePtr> inputs_;
};

// Any call is a test failure; for bindings that are never called.
struct UnexpectedCalls {
  template <typename Method>
  void Handle(typename Method::Input const& /*input*/, ActivationPtr const& /*activation*/,
              typename Method::ResultType const& /*result*/) {
    ADD_FAILURE() << "unexpected call of " << Method::methodName();
  }
};

// Collects the wire names of a structure's declared fields, in the order AddFields visits them.
template <typename S>
struct FieldNameVisitor {
  std::vector<std::string> names;
  template <typename M>
  void AddField(boost::string_view name) {
    names.emplace_back(name);
  }
};

template <typename S>
std::vector<std::string> FieldNames() {
  FieldNameVisitor<S> visitor;
  S::AdapterHelper::AddFields(visitor);
  return visitor.names;
}

template <typename T>
struct IsRequiredStructure : std::false_type {};
template <typename S>
struct IsRequiredStructure<std::shared_ptr<S const>> : std::true_type {};

// Clears the first required structure member of a structure it visits.
template <typename S>
struct StructureClearer {
  bool cleared = false;
  template <typename M>
  void AddField(boost::string_view /*name*/, M* member, std::size_t /*rank*/) {
    if constexpr (IsRequiredStructure<M>::value) {
      if (!cleared) member->reset();
      cleared = true;
    }
  }
};

// Clears the first required structure member of `input`; false when it has none.
template <typename S>
bool ClearRequiredStructure(S& input) {
  StructureClearer<S> visitor;
  S::AdapterHelper::AddFields(visitor, &input);
  return visitor.cleared;
}

}  // namespace E2e
