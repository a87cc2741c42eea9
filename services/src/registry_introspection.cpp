#include "ormi/services/registry_introspection.h"

#include <list>
#include <memory>
#include <string>
#include <utility>

#include "definition_description.h"
#include "ormi/binding/frame.h"
#include "ormi/binding/operation.h"
#include "ormi/data/error_names.h"
#include "ormi/data/plain_json.h"
#include "ormi/message.h"
#include "ormi/provider/method_signal.h"

namespace Ormi::Services {
namespace {

namespace V1 = ::Com::Norval::Ormi::Introspection::V1;
using Data::ErrorName;
using MethodPtr = std::shared_ptr<Provider::AsyncApiMethod const>;

// The definition of the started work's result, for a task operation bound by the frame.
Data::DefinitionPtr WorkResultOf(Provider::AsyncApiMethod const& method) {
  auto const* signal = dynamic_cast<Provider::AsyncApiMethodSignal const*>(&method);
  return signal ? signal->workResultDefinition() : nullptr;
}

std::shared_ptr<V1::OperationSummary const> Summary(Provider::AsyncApiMethod const& method) {
  auto summary = std::make_shared<V1::OperationSummary>();
  summary->call_name = method.methodName();
  summary->task = WorkResultOf(method) != nullptr;
  std::string const suffix = Binding::kTaskSuffix;
  std::string const& name = summary->call_name;
  bool const suffixed = name.size() > suffix.size() &&
                        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
  summary->name = summary->task && suffixed ? name.substr(0, name.size() - suffix.size()) : name;
  return summary;
}

// The method of `service` called `operation`, by call name or, for a task, by plain name.
// Null with `error` set when there is none.
MethodPtr Find(InProcess::Registry const& registry, std::string const& service,
               std::string const& operation, ErrorPtr* error) {
  auto const bound = registry.Find(service);
  if (!bound) {
    *error = Binding::MakeError(ErrorName::kNotFound,
                                {Message<CoreTag>(MessageId::kServiceNotFound, service)});
    return nullptr;
  }
  if (auto method = bound->FindMethod(operation)) {
    return method;
  }
  for (auto const& method : bound->methods()) {
    if (method && Summary(*method)->name == operation) {
      return method;
    }
  }
  *error = Binding::MakeError(ErrorName::kNotFound,
                              {Message<CoreTag>(MessageId::kMethodNotFound, service, operation)});
  return nullptr;
}

ErrorPtr RegistryGone() {
  return Binding::MakeError(ErrorName::kServiceUnavailable, MessageId::kRegistryGone);
}

// The description of `method`, or null with `error` set when a structure it names is not
// available.
std::shared_ptr<V1::OperationDescription const> Description(std::string const& service,
                                                            Provider::AsyncApiMethod const& method,
                                                            ErrorPtr* error) {
  Data::DefinitionPtr const input = method.inputDefinition();
  Data::DefinitionPtr const output = method.outputDefinition();
  Data::DefinitionPtr const work = WorkResultOf(method);
  auto const& errors = method.errorDefinitions();
  Detail::DefinitionDescriber describer;
  auto description = std::make_shared<V1::OperationDescription>();
  description->service = service;
  description->operation = Summary(method);
  description->input = describer.Describe(input.get());
  description->output = describer.Describe(output.get());
  if (work) {
    description->work_result = describer.Describe(work.get());
  }
  for (auto const& definition : errors) {
    description->errors.push_back(describer.Describe(definition.get()));
  }
  description->structures = describer.Structures();
  auto const unresolved = describer.Unresolved();
  if (!unresolved.empty()) {
    *error = Binding::MakeError(
        ErrorName::kInternalServerError,
        {Message<CoreTag>(MessageId::kDefinitionUnresolved, service,
                          description->operation->call_name, *unresolved.begin())});
    return nullptr;
  }
  return description;
}

std::shared_ptr<V1::OperationSchema const> SchemaOf(std::string const& service,
                                                    Provider::AsyncApiMethod const& method) {
  auto schema = std::make_shared<V1::OperationSchema>();
  schema->service = service;
  schema->operation = Summary(method);
  schema->input = Data::ToJsonSchema(*method.inputDefinition());
  schema->output = Data::ToJsonSchema(*method.outputDefinition());
  if (auto const work = WorkResultOf(method)) {
    schema->work_result = Data::ToJsonSchema(*work);
  }
  return schema;
}

}  // namespace

RegistryIntrospection::RegistryIntrospection(std::weak_ptr<InProcess::Registry const> registry)
    : registry_(std::move(registry)) {}

void RegistryIntrospection::List(std::shared_ptr<Core::AsyncActivation> const& /*activation*/,
                                 IntrospectionSvc::ListMethod::ResultType const& result) {
  auto const registry = registry_.lock();
  if (!registry) {
    result.SetError(RegistryGone());
    return;
  }
  std::list<std::shared_ptr<V1::ServiceSummary const>> services;
  for (auto const& bound : registry->List()) {
    auto summary = std::make_shared<V1::ServiceSummary>();
    summary->id = bound->identifier()->name();
    for (auto const& method : bound->methods()) {
      if (method) {
        summary->operations.push_back(Summary(*method));
      }
    }
    services.push_back(std::move(summary));
  }
  result.SetResult(std::move(services));
}

void RegistryIntrospection::Describe(std::string const& service, std::string const& operation,
                                     std::shared_ptr<Core::AsyncActivation> const& /*activation*/,
                                     IntrospectionSvc::DescribeMethod::ResultType const& result) {
  AnswerAbout(service, operation, result, [&service](auto const& method, ErrorPtr* error) {
    return Description(service, method, error);
  });
}

void RegistryIntrospection::Schema(std::string const& service, std::string const& operation,
                                   std::shared_ptr<Core::AsyncActivation> const& /*activation*/,
                                   IntrospectionSvc::SchemaMethod::ResultType const& result) {
  AnswerAbout(service, operation, result, [&service](auto const& method, ErrorPtr* /*error*/) {
    return SchemaOf(service, method);
  });
}

template <typename Result, typename Answer>
void RegistryIntrospection::AnswerAbout(std::string const& service, std::string const& operation,
                                        Result const& result, Answer answer) const {
  auto const registry = registry_.lock();
  if (!registry) {
    result.SetError(RegistryGone());
    return;
  }
  ErrorPtr error;
  auto const method = Find(*registry, service, operation, &error);
  auto const value = method ? answer(*method, &error) : nullptr;
  if (error) {
    result.SetError(error);
    return;
  }
  result.SetResult(value);
}

bool RegisterIntrospection(std::shared_ptr<InProcess::Registry> const& registry) {
  return registry && registry->Register(IntrospectionSvc::AsyncServiceBinder::BindImplementation(
                         std::make_shared<RegistryIntrospection>(registry)));
}

}  // namespace Ormi::Services
