#include "ormi/provider/api_interface.h"

#include <list>
#include <memory>
#include <string>
#include <utility>

#include "ormi/data/error_names.h"
#include "ormi/message.h"
#include "validation.h"

namespace Ormi::Provider {
namespace {

using Data::ErrorName;

// Validates `value` against `definition`, naming it `name` and `part` ("get" ".input") in the
// messages; that name is made only for a value that fails. A missing value or definition is a
// failure of its own.
bool Check(Data::DefinitionPtr const& definition, Data::DataValue const* value,
           std::string const& name, char const* part, std::list<BaseMessage>& messages) {
  if (value == nullptr || definition == nullptr) {
    char const* const missing = value == nullptr ? "a value" : "a definition";
    messages.push_back(Message<CoreTag>(MessageId::kValidationFailed,
                                        name + part + ": expected " + missing + ", got none"));
    return false;
  }
  return Data::Detail::Fits(*definition, *value) ||
         Data::Validate(*definition, *value, messages, name + part);
}

std::shared_ptr<Core::MethodResult const> Failure(char const* error_name,
                                                  std::list<BaseMessage> const& messages,
                                                  bool terminal) {
  return std::make_shared<Core::MethodResult const>(
      nullptr, Data::ErrorValue::Create(error_name, messages), terminal);
}

// The declared definition of the error named `name`, or null.
Data::DefinitionPtr FindErrorDefinition(std::list<Data::DefinitionPtr> const& definitions,
                                        std::string const& name) {
  for (auto const& definition : definitions) {
    auto const* structure = dynamic_cast<Data::StructDefinition const*>(definition.get());
    if (structure != nullptr && structure->name() == name) {
      return definition;
    }
  }
  return nullptr;
}

}  // namespace

void AsyncApiMethod::ResultCb::operator()(boost::optional<Data::ValuePtr> const& output,
                                          std::shared_ptr<Data::ErrorValue const> const& error,
                                          Progress const& progress, Next&& next) const {
  if (!output && !error) {
    function_(output, error, progress, std::move(next));
    return;
  }
  Function const function = std::move(function_);
  function_ = nullptr;
  function(output, error, progress, std::move(next));
}

std::shared_ptr<AsyncApiInterface> AsyncApiInterface::GetInstance(
    std::shared_ptr<Core::InterfaceIdentifier const> identifier, Methods methods) {
  return std::make_shared<AsyncApiInterface>(std::move(identifier), std::move(methods));
}

std::shared_ptr<AsyncApiMethod const> AsyncApiInterface::FindMethod(std::string const& name) const {
  for (auto const& method : methods_) {
    if (method && method->methodName() == name) {
      return method;
    }
  }
  return nullptr;
}

bool ApiMethodHelper::ValidateInput(std::string const& name, Data::DefinitionPtr const& definition,
                                    Data::ValuePtr const& input,
                                    std::shared_ptr<Core::MethodResult const>& failure) {
  std::list<BaseMessage> messages;
  if (Check(definition, input.get(), name, ".input", messages)) {
    return true;
  }
  failure = Failure(ErrorName::kInvalidArgument, messages, true);
  return false;
}

std::shared_ptr<Core::MethodResult const> ApiMethodHelper::ValidateOutput(
    std::string const& name, Data::DefinitionPtr const& definition, Data::ValuePtr const& output,
    bool terminal) {
  std::list<BaseMessage> messages;
  if (Check(definition, output.get(), name, ".output", messages)) {
    return std::make_shared<Core::MethodResult const>(output, nullptr, terminal);
  }
  messages.push_front(Message<CoreTag>(MessageId::kOutputInvalid, name));
  return Failure(ErrorName::kInternalServerError, messages, terminal);
}

std::shared_ptr<Core::MethodResult const> ApiMethodHelper::ValidateError(
    std::string const& name, std::list<Data::DefinitionPtr> const& definitions,
    std::shared_ptr<Data::ErrorValue const> const& error, bool terminal) {
  std::string const error_name = error ? error->name() : std::string();
  std::list<BaseMessage> messages;
  Data::DefinitionPtr const definition = FindErrorDefinition(definitions, error_name);
  if (definition != nullptr && Check(definition, error.get(), name, ".error", messages)) {
    return std::make_shared<Core::MethodResult const>(nullptr, error, terminal);
  }
  messages.push_front(Message<CoreTag>(MessageId::kErrorUndeclared, error_name));
  return Failure(ErrorName::kInternalServerError, messages, terminal);
}

}  // namespace Ormi::Provider
