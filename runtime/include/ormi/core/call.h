// Core call types: identifiers of interfaces and methods, method results, the activation
// of a call and the runtime's result callback.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

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

// One delivery of a method: an output or an error, and whether it ends the call.
class MethodResult {
 public:
  MethodResult(Data::ValuePtr output, std::shared_ptr<Data::ErrorValue const> error, bool terminal)
      : output_(std::move(output)), error_(std::move(error)), terminal_(terminal) {}
  Data::ValuePtr const& output() const { return output_; }
  std::shared_ptr<Data::ErrorValue const> const& error() const { return error_; }
  bool terminal() const { return terminal_; }

 private:
  Data::ValuePtr output_;
  std::shared_ptr<Data::ErrorValue const> error_;
  bool terminal_;
};

// The context a call runs in; each context gets a process-wide unique id.
class ExecutionContext {
 public:
  ExecutionContext();
  std::uint64_t callId() const { return call_id_; }

 private:
  std::uint64_t call_id_;
};

// The activation of one call: its execution context and the localizer and locale that
// apply to it. One activation belongs to one call; it is not synchronised.
class AsyncActivation {
 public:
  AsyncActivation() : AsyncActivation(std::make_shared<ExecutionContext>()) {}
  explicit AsyncActivation(std::shared_ptr<ExecutionContext> context)
      : context_(std::move(context)) {}

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

 private:
  std::shared_ptr<ExecutionContext> context_;
  std::shared_ptr<L10n::Localizer> localizer_;
  std::shared_ptr<L10n::LocaleSpec const> locale_;
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
