// Validation of generated values against the definition of every API structure and the input
// and output definitions of every operation. The first byte picks the definition; the rest
// drive a value generator shaped by it. Properties:
//  - validation reports failure exactly when it appended messages, at most 100 of them,
//    each a validation message whose path starts at the given root;
//  - a copy of the value made through its JSON form validates with the same messages;
//  - a value that the definition accepts converts to the native type.
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "api_types.h"
#include "fuzz_input.h"
#include "ormi/data/convert.h"
#include "ormi/data/json.h"
#include "value_generator.h"

namespace {

using Hyrn::Fuzz::Require;
using Ormi::BaseMessage;
using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)

constexpr std::size_t kMaxMessages = 100;
constexpr char kRoot[] = "root";

std::string Describe(std::list<BaseMessage> const& messages, DataValue const& value) {
  std::string text;
  for (auto const& message : messages) text += message.id + ": " + message.defaultMessage + "\n";
  return text + ToJson(value);
}

// Validates `value` and checks the shape of the outcome; true when the value is valid.
bool CheckedValidate(DataDefinition const& definition, DataValue const& value) {
  std::list<BaseMessage> messages;
  bool const valid = Validate(definition, value, messages, kRoot);
  Require(valid == messages.empty(), "validation result and messages disagree");
  Require(messages.size() <= kMaxMessages, "validation must stop at its message limit");
  for (auto const& message : messages) {
    Require(message.id == "ormi.data.validation.failed" && message.args.size() == 1 &&
                message.args.front() == message.defaultMessage &&
                message.defaultMessage.compare(0, sizeof kRoot - 1, kRoot) == 0,
            "malformed validation message",
            [&] { return message.id + ": " + message.defaultMessage; });
  }
  // The written form of a deep value is deeper than the reader's default limit. Strings are
  // written as held, so a value with text that is not UTF-8 does not read back; that is the
  // one refusal allowed.
  JsonLimits limits;
  limits.maxDepth = std::size_t{1} << 20;
  ValuePtr copy;
  std::list<BaseMessage> copy_messages;
  if (!FromJson(ToJson(value), &copy, copy_messages, limits)) {
    Require(copy_messages.size() == 1 && copy_messages.front().id == "ormi.data.json.malformed",
            "the JSON copy was refused", [&] { return Describe(copy_messages, value); });
    return valid;
  }
  Validate(definition, *copy, copy_messages, kRoot);
  Require(copy_messages == messages, "a JSON copy must validate the same way",
          [&] { return Describe(messages, value); });
  return valid;
}

// Checks `definition` against a generated value; a valid value must convert to `T`.
template <typename T>
void CheckDefinition(DataDefinition const& definition, Hyrn::Fuzz::FuzzInput& input) {
  ValuePtr const value =
      Hyrn::Fuzz::ValueGenerator(input, Hyrn::Fuzz::Dictionary()).Generate(definition);
  if (!CheckedValidate(definition, *value)) return;
  T native;
  std::list<BaseMessage> messages;
  Require(FromValue(value, &native, messages), "a valid value must convert",
          [&] { return Describe(messages, *value); });
}

template <typename T>
struct CheckType {
  static void Run(Hyrn::Fuzz::FuzzInput& input) {
    static DefinitionPtr const definition = DefinitionOf<T>();
    CheckDefinition<T>(*definition, input);
  }
};

template <typename Method>
struct CheckInput {
  static void Run(Hyrn::Fuzz::FuzzInput& input) {
    static DefinitionPtr const definition = Method::inputDef();
    CheckDefinition<typename Method::Input>(*definition, input);
  }
};

template <typename Method>
struct CheckOutput {
  static void Run(Hyrn::Fuzz::FuzzInput& input) {
    static DefinitionPtr const definition = Method::outputDef();
    CheckDefinition<typename Method::ValueType>(*definition, input);
  }
};

using Check = void (*)(Hyrn::Fuzz::FuzzInput&);

template <template <typename> class Run, typename... T>
void AddChecks(TypeList<T...> /*unused*/, std::vector<Check>& checks) {
  (checks.push_back(&Run<T>::Run), ...);
}

std::vector<Check> AllChecks() {
  std::vector<Check> checks;
  AddChecks<CheckType>(Hyrn::Fuzz::ApiStructures{}, checks);
  AddChecks<CheckInput>(Hyrn::Fuzz::ApiMethods{}, checks);
  AddChecks<CheckOutput>(Hyrn::Fuzz::ApiMethods{}, checks);
  return checks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  static std::vector<Check> const checks = AllChecks();
  Hyrn::Fuzz::FuzzInput input(data, size);
  checks[input.Byte() % checks.size()](input);
  return 0;
}
