// Provider plumbing: the method objects that serve operations, the bound interface that
// groups them, and the validation the runtime applies to inputs, outputs and errors.
#pragma once

#include <functional>
#include <list>
#include <memory>
#include <string>
#include <utility>

#include <boost/optional.hpp>

#include "ormi/core/call.h"
#include "ormi/data/definition.h"
#include "ormi/data/value.h"
#include "ormi/types.h"

namespace Ormi::Provider {

// One operation of a bound interface, as the runtime calls it.
class AsyncApiMethod {
 public:
  // The result callback of one invocation. A call that carries an output or an error
  // releases the function; a progress report (neither) keeps it for later deliveries.
  class ResultCb {
   public:
    using Next = std::function<void(std::shared_ptr<ResultCb>)>;
    using Function = std::function<void(boost::optional<Data::ValuePtr> const& output,
                                        std::shared_ptr<Data::ErrorValue const> const& error,
                                        Progress const& progress, Next&& next)>;

    ResultCb() = default;
    explicit ResultCb(Function function) : function_(std::move(function)) {}

    void operator()(boost::optional<Data::ValuePtr> const& output,
                    std::shared_ptr<Data::ErrorValue const> const& error, Progress const& progress,
                    Next&& next) const;
    Function const& function() const { return function_; }

   private:
    mutable Function function_;
  };

  AsyncApiMethod() = default;
  AsyncApiMethod(AsyncApiMethod const&) = delete;
  AsyncApiMethod& operator=(AsyncApiMethod const&) = delete;

  virtual std::string const& methodName() const = 0;
  virtual std::shared_ptr<Core::MethodDefinition const> definition(
      std::shared_ptr<Core::InterfaceIdentifier const> const& interface_identifier) const = 0;
  virtual Data::DefinitionPtr inputDefinition() const = 0;
  virtual Data::DefinitionPtr outputDefinition() const = 0;
  virtual std::list<Data::DefinitionPtr> errorDefinitions() = 0;
  virtual std::list<Data::DefinitionPtr> const& errorDefinitions() const = 0;
  // Serves one call; the outcome goes to `resultCb`, now or later, on any thread.
  virtual void Invoke(Data::ValuePtr const& input,
                      std::shared_ptr<Core::AsyncActivation> const& activation,
                      Core::AsyncApiResultCb const& resultCb) const = 0;
  virtual ~AsyncApiMethod() = default;
};

// A bound service: its identifier and its methods in order. Immutable once built.
class AsyncApiInterface {
 public:
  using Methods = std::list<std::shared_ptr<AsyncApiMethod const>>;

  static std::shared_ptr<AsyncApiInterface> GetInstance(
      std::shared_ptr<Core::InterfaceIdentifier const> identifier, Methods methods);
  AsyncApiInterface(std::shared_ptr<Core::InterfaceIdentifier const> identifier, Methods methods)
      : identifier_(std::move(identifier)), methods_(std::move(methods)) {}

  std::shared_ptr<Core::InterfaceIdentifier const> const& identifier() const { return identifier_; }
  Methods const& methods() const { return methods_; }
  // The first method of that name, or null.
  std::shared_ptr<AsyncApiMethod const> FindMethod(std::string const& name) const;

 private:
  std::shared_ptr<Core::InterfaceIdentifier const> identifier_;
  Methods methods_;
};

// Validation of what passes through a method. `name` is the operation's name; it is the
// root of the paths in the validation messages.
struct ApiMethodHelper {
  // True when `input` is acceptable. Otherwise false, and `failure` holds a terminal
  // result with the error "com.norval.ormi.std.errors.invalid_argument" carrying the
  // validation messages.
  static bool ValidateInput(std::string const& name, Data::DefinitionPtr const& definition,
                            Data::ValuePtr const& input,
                            std::shared_ptr<Core::MethodResult const>& failure);

  // The result carrying `output` when it fits `definition`; otherwise a result with the
  // error "com.norval.ormi.std.errors.internal_server_error" carrying the message
  // "ormi.provider.output.invalid" and the validation messages.
  static std::shared_ptr<Core::MethodResult const> ValidateOutput(
      std::string const& name, Data::DefinitionPtr const& definition, Data::ValuePtr const& output,
      bool terminal);

  // The result carrying `error` when a definition of its name is declared and it fits
  // that definition; otherwise a result with the error
  // "com.norval.ormi.std.errors.internal_server_error" carrying the message
  // "ormi.provider.error.undeclared" that names the error, and any validation messages.
  static std::shared_ptr<Core::MethodResult const> ValidateError(
      std::string const& name, std::list<Data::DefinitionPtr> const& definitions,
      std::shared_ptr<Data::ErrorValue const> const& error, bool terminal);
};

}  // namespace Ormi::Provider
