// Core call types: identifiers of interfaces and methods, method results, the activation
// of a call and the runtime's result callback.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "ormi/data/definition.h"
#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"
#include "ormi/types.h"

namespace Ormi::Core {

// Names a service ("com.norval.hyrn.host_settings.config").
class InterfaceIdentifier {
 public:
  explicit InterfaceIdentifier(std::string name) : name_(std::move(name)) {}
  std::string const& name() const { return name_; }

 private:
  std::string name_;
};

// Names one operation of a service ("get", "apply$task").
class MethodIdentifier {
 public:
  MethodIdentifier(std::shared_ptr<InterfaceIdentifier const> interface_identifier,
                   std::string name)
      : interface_(std::move(interface_identifier)), name_(std::move(name)) {}
  std::shared_ptr<InterfaceIdentifier const> const& interfaceIdentifier() const {
    return interface_;
  }
  std::string const& name() const { return name_; }

 private:
  std::shared_ptr<InterfaceIdentifier const> interface_;
  std::string name_;
};

// What a method takes and gives.
class MethodDefinition {
 public:
  MethodDefinition(std::shared_ptr<MethodIdentifier const> identifier, Data::DefinitionPtr input,
                   Data::DefinitionPtr output)
      : identifier_(std::move(identifier)), input_(std::move(input)), output_(std::move(output)) {}
  std::shared_ptr<MethodIdentifier const> const& identifier() const { return identifier_; }
  Data::DefinitionPtr const& inputDefinition() const { return input_; }
  Data::DefinitionPtr const& outputDefinition() const { return output_; }

 private:
  std::shared_ptr<MethodIdentifier const> identifier_;
  Data::DefinitionPtr input_;
  Data::DefinitionPtr output_;
};

// One delivery of a method: an output or an error, and whether it ends the call. The output
// may come with a definition that describes it more exactly than the method's output
// definition (a dynamic part whose type the provider knows); writers of forms that take
// their shape from the definition use it.
class MethodResult {
 public:
  MethodResult(Data::ValuePtr output, std::shared_ptr<Data::ErrorValue const> error, bool terminal,
               Data::DefinitionPtr output_definition = nullptr)
      : output_(std::move(output)),
        error_(std::move(error)),
        terminal_(terminal),
        output_definition_(std::move(output_definition)) {}
  Data::ValuePtr const& output() const { return output_; }
  std::shared_ptr<Data::ErrorValue const> const& error() const { return error_; }
  bool terminal() const { return terminal_; }
  // Null unless the provider gave one.
  Data::DefinitionPtr const& outputDefinition() const { return output_definition_; }

 private:
  Data::ValuePtr output_;
  std::shared_ptr<Data::ErrorValue const> error_;
  bool terminal_;
  Data::DefinitionPtr output_definition_;
};

// The context a call runs in; each context gets a process-wide unique id.
class ExecutionContext {
 public:
  ExecutionContext();
  std::uint64_t callId() const { return call_id_; }

 private:
  std::uint64_t call_id_;
};

// The cancellation signal of one call, shared by whoever may cancel it (a transport, when
// the caller gives up or the deadline passes) and the provider serving it. Thread-safe.
class Cancellation {
 public:
  Cancellation() = default;
  Cancellation(Cancellation const&) = delete;
  Cancellation& operator=(Cancellation const&) = delete;
  ~Cancellation() = default;

  // Cancels the call: runs the subscribed functions once, on this thread, outside the lock.
  // False when the call was already cancelled.
  bool Cancel();
  bool cancelled() const { return cancelled_.load(std::memory_order_acquire); }
  // Runs `function` when the call is cancelled; at once, on this thread, if it already is.
  void OnCancel(std::function<void()> function);

 private:
  std::mutex mutex_;
  std::atomic<bool> cancelled_{false};
  std::vector<std::function<void()>> functions_;
};

// Who made a call, as far as the road it came by can tell. A call made in the same process
// has no caller record.
struct Caller {
  std::string transport;  // "unix" or "tcp"
  std::int64_t uid = -1;  // unix: the peer process's user, group and process ids
  std::int64_t gid = -1;
  std::int64_t pid = -1;
  std::string address;  // tcp: the peer's address and port; unix: the socket's path
  bool token = false;   // the call presented the server's bearer token
};

// The activation of one call: its execution context, the localizer and locale that apply to
// it, its deadline, its cancellation signal and its caller. One activation belongs to one
// call; apart from the cancellation signal it is not synchronised.
class AsyncActivation {
 public:
  using Clock = std::chrono::steady_clock;

  // A new execution context and cancellation signal, made in one allocation.
  AsyncActivation();
  explicit AsyncActivation(std::shared_ptr<ExecutionContext> context)
      : context_(std::move(context)), cancellation_(std::make_shared<Cancellation>()) {}

  std::shared_ptr<ExecutionContext> const& executionContext() const { return context_; }
  std::shared_ptr<L10n::Localizer> const& localizer() const { return localizer_; }
  std::shared_ptr<L10n::LocaleSpec const> const& localeSpec() const { return locale_; }

  void SetExecutionContext(std::shared_ptr<ExecutionContext> context) {
    context_ = std::move(context);
  }
  void SetLocalizer(std::shared_ptr<L10n::Localizer> localizer) {
    localizer_ = std::move(localizer);
  }
  void SetLocaleSpec(std::shared_ptr<L10n::LocaleSpec const> locale) {
    locale_ = std::move(locale);
  }

  // When the caller stops waiting for the answer; Clock::time_point::max() when unset. A
  // client transport takes it as the call's deadline; a server sets it from the request.
  Clock::time_point deadline() const { return deadline_; }
  void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }
  // Never null. A provider may poll it or subscribe to it.
  std::shared_ptr<Cancellation> const& cancellation() const { return cancellation_; }
  // Null for a call made in the same process.
  std::shared_ptr<Caller const> const& caller() const { return caller_; }
  void SetCaller(std::shared_ptr<Caller const> caller) { caller_ = std::move(caller); }

 private:
  std::shared_ptr<ExecutionContext> context_;
  std::shared_ptr<L10n::Localizer> localizer_;
  std::shared_ptr<L10n::LocaleSpec const> locale_;
  Clock::time_point deadline_ = Clock::time_point::max();
  std::shared_ptr<Cancellation> cancellation_;
  std::shared_ptr<Caller const> caller_;
};

// The runtime's callback for the results of one call. A call with a result (not a mere
// progress report) releases the function, so a call has at most one final delivery
// through the same callback object; a later call throws std::bad_function_call.
class AsyncApiResultCb {
 public:
  using Next = std::function<void(std::shared_ptr<AsyncApiResultCb>)>;
  using Function =
      std::function<void(std::shared_ptr<MethodResult const> const&, Progress const&, Next&&)>;

  AsyncApiResultCb() = default;
  explicit AsyncApiResultCb(Function function) : function_(std::move(function)) {}

  void operator()(std::shared_ptr<MethodResult const> const& result, Progress const& progress,
                  Next&& next) const;
  explicit operator bool() const { return static_cast<bool>(function_); }

 private:
  mutable Function function_;
};

}  // namespace Ormi::Core
