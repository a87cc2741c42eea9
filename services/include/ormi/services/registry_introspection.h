// The introspection service over a registry: what a server offers, each operation's types
// with every structure they name, and the JSON Schema of their plain JSON form.
#pragma once

#include <memory>
#include <string>

#include "com/norval/ormi/introspection/v1/introspection.h"
#include "ormi/in_process/connector.h"

namespace Ormi::Services {

using IntrospectionSvc = ::Com::Norval::Ormi::Introspection::V1Svc;

// Answers "com.norval.ormi.introspection.v1" from the interfaces registered in a registry
// at the time of each call, itself included. Holds the registry weakly, so that it may be
// registered in the registry it describes; once the registry is gone every call is answered
// service_unavailable.
class RegistryIntrospection final : public IntrospectionSvc::AsyncServiceInterface {
 public:
  explicit RegistryIntrospection(std::weak_ptr<InProcess::Registry const> registry);

  void List(std::shared_ptr<Core::AsyncActivation> const& activation,
            IntrospectionSvc::ListMethod::ResultType const& result) override;
  void Describe(std::string const& service, std::string const& operation,
                std::shared_ptr<Core::AsyncActivation> const& activation,
                IntrospectionSvc::DescribeMethod::ResultType const& result) override;
  void Schema(std::string const& service, std::string const& operation,
              std::shared_ptr<Core::AsyncActivation> const& activation,
              IntrospectionSvc::SchemaMethod::ResultType const& result) override;

 private:
  // Answers `result` with `answer(method, &error)` for the operation of that service, or with
  // the error of finding it (or of the answer).
  template <typename Result, typename Answer>
  void AnswerAbout(std::string const& service, std::string const& operation, Result const& result,
                   Answer answer) const;

  std::weak_ptr<InProcess::Registry const> registry_;
};

// Binds a `RegistryIntrospection` of `registry` and registers it there, so that the server
// of the registry offers it. False when `registry` is null or the identifier is taken.
bool RegisterIntrospection(std::shared_ptr<InProcess::Registry> const& registry);

}  // namespace Ormi::Services
