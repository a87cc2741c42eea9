// Provider dispatch through the in-process connector. Every service is bound once behind an
// implementation that answers each call as the input bytes say: a result converted from a
// generated value, an error value (declared or not), a native error, progress reports first,
// at once or after the call returned. The first byte picks the operation; its input value is
// generated from the operation's input definition. Properties:
//  - every call ends in exactly one terminal delivery, and nothing is delivered after it;
//  - a delivered output validates against the operation's output definition (a task
//    identifier is a string);
//  - a delivered error is one the operation declares or one the frame itself makes.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "api_types.h"
#include "com/norval/ormi/std/errors/errors.h"
#include "fuzz_input.h"
#include "ormi/binding/operation.h"
#include "ormi/binding/operation_list.h"
#include "ormi/data/convert.h"
#include "ormi/data/json.h"
#include "ormi/data/make_native_error.h"
#include "ormi/in_process/connector.h"
#include "value_generator.h"

namespace {

using Hyrn::Fuzz::FuzzInput;
using Hyrn::Fuzz::Require;
using Ormi::BaseMessage;
using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)
using ActivationPtr = std::shared_ptr<Ormi::Core::AsyncActivation>;

// What the implementation draws its answers from, and the answers it put off until the call
// returned; both belong to the input being run.
struct Answers {
  FuzzInput* input = nullptr;
  std::vector<std::function<void()>> later;
};
Answers& Current() {
  static Answers answers;
  return answers;
}

ValuePtr Generated(DataDefinition const& definition) {
  return Hyrn::Fuzz::ValueGenerator(*Current().input, Hyrn::Fuzz::Dictionary())
      .Generate(definition);
}

std::vector<std::string> ErrorNames(std::list<DefinitionPtr> const& definitions) {
  std::vector<std::string> names;
  for (auto const& definition : definitions) {
    names.push_back(static_cast<StructDefinition const&>(*definition).name());
  }
  return names;
}

// An error value: of a declared error or any other name, bare or with generated fields.
template <typename Method>
Ormi::ErrorPtr AnError() {
  static std::vector<std::string> const declared = ErrorNames(Method::errorDefs());
  FuzzInput& input = *Current().input;
  std::uint8_t const choice = input.Byte();
  std::string const name = (choice & 1) != 0 ? input.Bytes(input.Byte() % 16)
                                             : declared[(choice >> 1) % declared.size()];
  auto error = ErrorValue::GetInstance(name);
  if ((choice & 2) != 0) error->SetField("messages", Generated(*Method::outputDef()));
  return error;
}

Ormi::Data::NativeError ANativeError() {
  if ((Current().input->Byte() & 1) != 0) {
    return Ormi::Data::NativeError(
        [](Ormi::L10n::RequestLocalizer const& /*localizer*/) { return nullptr; });
  }
  auto error = std::make_shared<Com::Norval::Ormi::Std::Errors::NotFound>();
  return Ormi::Data::MakeNativeError<Com::Norval::Ormi::Std::Errors::NotFound>(error);
}

template <typename Method>
void Answer(typename Method::ResultType const& result) {
  FuzzInput& input = *Current().input;
  switch (input.Byte() % 4) {
    case 0:
      if constexpr (Method::kTask) {
        result.SetTaskId(input.Bytes(input.Byte() % 16));
      } else {
        static DefinitionPtr const output = Method::outputDef();
        typename Method::ValueType native{};
        std::list<BaseMessage> ignored;
        FromValue(Generated(*output), &native, ignored);  // partly filled on failure: fine
        result.SetResult(native);
      }
      return;
    case 1:
      return result.SetError(AnError<Method>());
    case 2:
      return result.SetError(ANativeError());
    default:
      if constexpr (!Method::kTask) result.ReportProgress(Ormi::Progress{0, 2, 1});
      return Answer<Method>(result);
  }
}

struct FuzzHandler {
  template <typename Method>
  void Handle(typename Method::Input const& /*input*/, ActivationPtr const& /*activation*/,
              typename Method::ResultType const& result) {
    if ((Current().input->Byte() & 1) != 0) {
      Current().later.emplace_back([result] { Answer<Method>(result); });
    } else {
      Answer<Method>(result);
    }
  }
};

struct Operation {
  std::shared_ptr<Ormi::Core::MethodIdentifier const> method;
  DefinitionPtr input;
  DefinitionPtr output;
  std::vector<std::string> errors;  // declared, plus those the frame makes
};

template <typename Method>
Operation Describe() {
  std::string const name = Ormi::Binding::BoundName<Method>();
  Operation operation{std::make_shared<Ormi::Core::MethodIdentifier>(
                          std::make_shared<Ormi::Core::InterfaceIdentifier>(
                              TypeInfo<typename Method::Interface>::name()),
                          name),
                      Method::inputDef(),
                      Method::kTask ? DataDefinition::Create<std::string>() : Method::outputDef(),
                      ErrorNames(Method::errorDefs())};
  operation.errors.emplace_back("com.norval.ormi.std.errors.invalid_argument");
  operation.errors.emplace_back("com.norval.ormi.std.errors.internal_server_error");
  return operation;
}

template <typename... Methods>
std::vector<Operation> DescribeAll(TypeList<Methods...> /*unused*/) {
  return {Describe<Methods>()...};
}

template <typename... Services>
std::shared_ptr<Ormi::InProcess::Registry> BindAll(TypeList<Services...> /*unused*/) {
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  auto handler = std::make_shared<FuzzHandler>();
  bool const bound =
      (registry->Register(Services::AsyncServiceBinder::BindImplementation(
           std::make_shared<typename Services::template ForwardingImplementation<FuzzHandler>>(
               handler))) &&
       ...);
  Require(bound, "every service must register");
  return registry;
}

// What the client side received for one call.
struct Received {
  int terminal = 0;
  int afterTerminal = 0;
  std::shared_ptr<Ormi::Core::MethodResult const> last;
};

void CheckOutcome(Operation const& operation, Received const& received) {
  Require(received.terminal == 1 && received.afterTerminal == 0,
          "a call must end in exactly one terminal delivery",
          [&] { return std::to_string(received.terminal) + " terminal deliveries"; });
  auto const& result = *received.last;
  Require((result.output() != nullptr) != (result.error() != nullptr),
          "a terminal delivery carries an output or an error");
  std::list<BaseMessage> messages;
  if (result.output()) {
    Require(Validate(*operation.output, *result.output(), messages),
            "a delivered output must validate", [&] { return ToJson(*result.output()); });
    return;
  }
  bool known = false;
  for (auto const& name : operation.errors) known = known || name == result.error()->name();
  Require(known, "a delivered error must be declared or the frame's own",
          [&] { return ToJson(*result.error()); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  static std::vector<Operation> const operations = DescribeAll(Hyrn::Fuzz::ApiMethods{});
  static auto const channel = std::make_shared<Ormi::InProcess::Channel>(
      BindAll(Hyrn::Fuzz::ApiServices{}), std::make_shared<Ormi::InProcess::InlineExecutor>());
  FuzzInput input(data, size);
  Current() = Answers{&input, {}};
  Operation const& operation = operations[input.Byte() % operations.size()];
  ValuePtr const value = Generated(*operation.input);

  auto received = std::make_shared<Received>();
  channel->Invoke(
      operation.method, value, std::make_shared<Ormi::Core::AsyncActivation>(),
      [received](std::shared_ptr<Ormi::Core::MethodResult const> const& result,
                 Ormi::Progress const& /*progress*/,
                 std::function<void(std::shared_ptr<Ormi::Core::AsyncApiResultCb>)>&& /*next*/) {
        if (!result) return;  // a progress report
        (received->terminal == 0 ? received->terminal : received->afterTerminal) += 1;
        received->last = result;
      });
  // Answers put off until now; each completes its call once. Indexed, because an answer may
  // put off another one and so grow the list.
  for (std::size_t i = 0; i < Current().later.size(); ++i) {  // NOLINT(modernize-loop-convert)
    Current().later[i]();
  }
  Current() = Answers{};
  CheckOutcome(operation, *received);
  return 0;
}
