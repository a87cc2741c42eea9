#include "ormi/provider/method_signal.h"

#include <gtest/gtest.h>

#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ormi/data/convert.h"
#include "ormi/data/make_native_error.h"
#include "test_support.h"

namespace BindingTest {
namespace {

using ::Ormi::Core::AsyncApiResultCb;
using ::Ormi::Core::MethodResult;
using ::Ormi::Data::ValuePtr;
using ::Ormi::Provider::AsyncApiInterface;
using ::Ormi::Provider::AsyncApiMethod;

// What the runtime's result callback received.
struct Delivery {
  std::shared_ptr<MethodResult const> result;
  ::Ormi::Progress progress;
  AsyncApiResultCb::Next next;
};

class ProviderTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeKeys> impl = std::make_shared<FakeKeys>();
  std::vector<Delivery> deliveries;

  AsyncApiResultCb Recorder() {
    return AsyncApiResultCb([this](auto const& result, auto const& progress, auto&& next) {
      deliveries.push_back({result, progress, std::forward<decltype(next)>(next)});
    });
  }

  template <typename Input>
  static ValuePtr ValueOf(Input const& input) {
    ValuePtr value;
    std::list<::Ormi::BaseMessage> messages;
    EXPECT_TRUE(::Ormi::Data::ToValue(input, &value, messages));
    return value;
  }

  static ValuePtr GetInput(std::string key) {
    KeysSvc::GetMethod::Input input;
    input.key = std::move(key);
    return ValueOf(input);
  }

  static ValuePtr ApplyInput() {
    KeysSvc::ApplyMethod::Input input;
    input.key = "k";
    input.message = MakeMessage("m", "text");
    return ValueOf(input);
  }

  void Call(std::shared_ptr<AsyncApiInterface> const& bound, std::string const& name,
            ValuePtr const& input,
            ActivationPtr const& activation = std::make_shared<::Ormi::Core::AsyncActivation>()) {
    auto const method = bound->FindMethod(name);
    ASSERT_TRUE(method) << name;
    method->Invoke(input, activation, Recorder());
  }

  // The single delivery so far, which must be terminal.
  Delivery const& Only() {
    EXPECT_EQ(deliveries.size(), 1U);
    EXPECT_TRUE(IsTerminal(deliveries.back().progress));
    return deliveries.back();
  }
};

TEST_F(ProviderTest, BindsEveryOperationInSlotOrderWithItsDefinitions) {
  auto const bound = KeysSvc::AsyncServiceBinder::BindImplementation(impl);
  EXPECT_EQ(bound->identifier()->name(), "com.norval.hyrn.test.keys");
  std::vector<std::string> names;
  for (auto const& method : bound->methods()) names.push_back(method->methodName());
  EXPECT_EQ(names, (std::vector<std::string>{"get", "put", "clear", "apply$task"}));

  auto const apply = bound->FindMethod("apply$task");
  EXPECT_EQ(apply->outputDefinition()->kind(), ::Ormi::Data::StringDefinition().kind());
  EXPECT_EQ(apply->errorDefinitions().size(), 1U);
  auto const get = bound->FindMethod("get");
  // Only a task operation's method object carries the definition of its work's result (void).
  using ::Ormi::Provider::AsyncApiMethodSignal;
  auto const work = std::dynamic_pointer_cast<AsyncApiMethodSignal const>(apply);
  ASSERT_NE(work, nullptr);
  ASSERT_NE(work->workResultDefinition(), nullptr);
  auto const* scalar =
      dynamic_cast<::Ormi::Data::ScalarDefinition const*>(work->workResultDefinition().get());
  ASSERT_NE(scalar, nullptr);
  EXPECT_EQ(scalar->valueKind(), ::Ormi::Data::ValueKind::kVoid);
  EXPECT_EQ(std::dynamic_pointer_cast<AsyncApiMethodSignal const>(get)->workResultDefinition(),
            nullptr);
  EXPECT_EQ(get->errorDefinitions().size(), 2U);
  auto const definition = get->definition(bound->identifier());
  EXPECT_EQ(definition->identifier()->name(), "get");
  EXPECT_EQ(definition->identifier()->interfaceIdentifier(), bound->identifier());
  EXPECT_EQ(definition->inputDefinition(), get->inputDefinition());

  // Both overloads bind alike; each binding builds its definitions anew.
  auto const again = KeysSvc::AsyncServiceBinder::BindImplementation(
      impl, std::make_shared<::Ormi::L10n::Localizer>());
  EXPECT_EQ(again->methods().size(), bound->methods().size());
  EXPECT_NE(again->FindMethod("get")->inputDefinition(), get->inputDefinition());
}

TEST_F(ProviderTest, SuccessVoidAndProgressReachTheRuntime) {
  impl->get = [](std::string const& key, Result<std::string> const& result) {
    result.ReportProgress(::Ormi::Progress{0, 10, 3});
    result.SetResult("value of " + key);
  };
  auto const bound = KeysSvc::AsyncServiceBinder::BindImplementation(impl);
  Call(bound, "get", GetInput("k"));
  ASSERT_EQ(deliveries.size(), 2U);
  EXPECT_FALSE(deliveries[0].result);
  EXPECT_EQ(deliveries[0].progress.max, 10);
  std::string text;
  std::list<::Ormi::BaseMessage> messages;
  ASSERT_TRUE(deliveries[1].result->output()->Value(&text, messages));
  EXPECT_EQ(text, "value of k");
  EXPECT_TRUE(IsTerminal(deliveries[1].progress));

  deliveries.clear();
  Call(bound, "clear", ValueOf(::Ormi::OperationInput()));
  EXPECT_EQ(Only().result->output()->kind(), ::Ormi::Data::ValueKind::kVoid);
}

TEST_F(ProviderTest, RequestsThatNeverReachTheImplementation) {
  // A null implementation binds unconnected method objects: an error answer, no crash.
  auto const unbound = KeysSvc::AsyncServiceBinder::BindImplementation(nullptr);
  Call(unbound, "get", GetInput("k"));
  EXPECT_EQ(NameOf(Only().result->error()), ::Ormi::Data::ErrorName::kInternalServerError);
  EXPECT_EQ(MessageIds(Only().result->error()),
            std::list<std::string>{::Ormi::MessageId::kNotConnected});

  // An input that fails the input definition gets the validator's answer.
  deliveries.clear();
  auto const bound = KeysSvc::AsyncServiceBinder::BindImplementation(impl);
  Call(bound, "get", ::Ormi::Data::StructValue::GetInstance("com.norval.ormi.operation_input"));
  EXPECT_EQ(NameOf(Only().result->error()), ::Ormi::Data::ErrorName::kInvalidArgument);

  // An input the validator accepts but that does not convert: exactly the conversion messages.
  deliveries.clear();
  auto input = ::Ormi::Data::StructValue::GetInstance("com.norval.ormi.operation_input");
  input->SetField("key", ::Ormi::Data::DataValue::Create(true));
  KeysSvc::GetMethod::Input native;
  std::list<::Ormi::BaseMessage> expected;
  ASSERT_FALSE(::Ormi::Data::FromValue(ValuePtr(input), &native, expected));
  KeysSvc::AsyncServiceBinderHelper::GetMethodBuilder()(
      &KeysSvc::AsyncServiceInterface::Get, std::shared_ptr<KeysSvc::AsyncServiceInterface>(impl),
      nullptr)(
      input, nullptr,
      AsyncApiMethod::ResultCb([this](auto const&, auto const& error, auto const& p, auto&&) {
        deliveries.push_back({std::make_shared<MethodResult const>(nullptr, error, true), p, {}});
      }));
  EXPECT_EQ(NameOf(Only().result->error()), ::Ormi::Data::ErrorName::kInvalidArgument);
  EXPECT_EQ(Only().result->error()->messages(), expected);
  EXPECT_EQ(impl->calls, 0);
}

TEST_F(ProviderTest, ErrorsAreConvertedLocalizedAndValidated) {
  auto localizer = std::make_shared<::Ormi::L10n::Localizer>();
  localizer->AddTemplate("de", "test.missing", "fehlt");
  auto activation = std::make_shared<::Ormi::Core::AsyncActivation>();
  activation->SetLocaleSpec(std::make_shared<::Ormi::L10n::LocaleSpec const>(
      std::vector<::Ormi::L10n::LanguagePreference>{::Ormi::L10n::LanguagePreference("de")},
      ::Ormi::L10n::TimezoneSpec("Etc/UTC")));
  std::string error_type = "declared";
  impl->get = [&error_type](std::string const&, Result<std::string> const& result) {
    auto error = std::make_shared<Errors::NotFound>();
    error->messages.push_back(MakeMessage("test.missing", "missing"));
    if (error_type == "declared") {
      result.SetError(
          ::Ormi::Data::MakeNativeError(std::shared_ptr<Errors::NotFound const>(error)));
    } else {
      result.SetError(::Ormi::Data::MakeNativeError(std::make_shared<Errors::TimedOut const>()));
    }
  };

  // The activation's locale applies with the bound (non-empty) localizer.
  Call(KeysSvc::AsyncServiceBinder::BindImplementation(impl, localizer), "get", GetInput("k"),
       activation);
  EXPECT_EQ(NameOf(Only().result->error()), "com.norval.ormi.std.errors.not_found");
  EXPECT_EQ(Only().result->error()->messages().front().defaultMessage, "fehlt");
  EXPECT_EQ(activation->localizer(), localizer);

  // An empty bound localizer replaces the activation's: the default text stays.
  deliveries.clear();
  Call(KeysSvc::AsyncServiceBinder::BindImplementation(impl), "get", GetInput("k"), activation);
  EXPECT_EQ(Only().result->error()->messages().front().defaultMessage, "missing");

  // An error the operation does not declare never reaches the runtime as it is.
  deliveries.clear();
  error_type = "undeclared";
  Call(KeysSvc::AsyncServiceBinder::BindImplementation(impl), "get", GetInput("k"));
  EXPECT_EQ(NameOf(Only().result->error()), ::Ormi::Data::ErrorName::kInternalServerError);
  EXPECT_EQ(MessageIds(Only().result->error()).front(), "ormi.provider.error.undeclared");
}

TEST_F(ProviderTest, ResultThatCannotBeConvertedBecomesInternalServerError) {
  // Directly at the result filter: the bare error, without messages.
  std::vector<::Ormi::ErrorPtr> errors;
  ::Ormi::Provider::AsyncApiMethodResultFilter<MessagePtr> filter(
      [&errors](auto const& output, auto const& error, auto const&, auto&&) {
        EXPECT_FALSE(output);
        errors.push_back(error);
      },
      nullptr);
  filter(MessagePtr(), nullptr, boost::none, ::Ormi::Progress{});
  ASSERT_EQ(errors.size(), 1U);
  EXPECT_EQ(NameOf(errors[0]), ::Ormi::Data::ErrorName::kInternalServerError);
  EXPECT_TRUE(errors[0]->messages().empty());

  // Through a bound operation it is then validated like any error.
  impl->put = [](MessagePtr const&, Result<MessagePtr> const& result) {
    result.SetResult(nullptr);
  };
  KeysSvc::PutMethod::Input input;
  input.message = MakeMessage("m", "text");
  Call(KeysSvc::AsyncServiceBinder::BindImplementation(impl), "put", ValueOf(input));
  EXPECT_EQ(NameOf(Only().result->error()), ::Ormi::Data::ErrorName::kInternalServerError);
}

TEST_F(ProviderTest, ValidateResultWrapperChecksOutputsAndFollowsContinuations) {
  auto const signal = std::static_pointer_cast<::Ormi::Provider::AsyncApiMethodSignal const>(
      KeysSvc::AsyncServiceBinder::BindImplementation(impl)->FindMethod("get"));
  using Wrapper = ::Ormi::Provider::AsyncApiMethodSignal::ValidateResultWrapper;

  // An output outside the definition is replaced by the validator's error.
  Wrapper(signal, Recorder())(ValuePtr(::Ormi::Data::DataValue::Create(true)), nullptr,
                              ::Ormi::Progress{}, {});
  EXPECT_EQ(MessageIds(Only().result->error()).front(), "ormi.provider.output.invalid");

  // With a continuation the element is not terminal, and the runtime's next callback gets a
  // wrapper of its own; a null next callback is passed on as null.
  deliveries.clear();
  std::vector<std::shared_ptr<AsyncApiMethod::ResultCb>> nexts;
  Wrapper(signal, Recorder())(ValuePtr(::Ormi::Data::DataValue::Create(std::string("a"))), nullptr,
                              ::Ormi::Progress{},
                              [&nexts](std::shared_ptr<AsyncApiMethod::ResultCb> next) {
                                nexts.push_back(std::move(next));
                              });
  ASSERT_EQ(deliveries.size(), 1U);
  EXPECT_FALSE(deliveries[0].result->terminal());
  ASSERT_TRUE(deliveries[0].next);
  deliveries[0].next(std::make_shared<AsyncApiResultCb>(Recorder()));
  deliveries[0].next(nullptr);
  ASSERT_EQ(nexts.size(), 2U);
  EXPECT_FALSE(nexts[1]);
  (*nexts[0])(ValuePtr(::Ormi::Data::DataValue::Create(true)), nullptr, ::Ormi::Progress{}, {});
  ASSERT_EQ(deliveries.size(), 2U);
  EXPECT_TRUE(deliveries[1].result->terminal());
  EXPECT_EQ(MessageIds(deliveries[1].result->error()).front(), "ormi.provider.output.invalid");
}

TEST_F(ProviderTest, StreamElementsTravelThroughTheContinuation) {
  std::vector<ValuePtr> outputs;
  std::vector<AsyncApiMethod::ResultCb::Next> runtime_nexts;
  auto const function = [&](auto const& output, auto const&, auto const&, auto&& next) {
    outputs.push_back(output ? *output : nullptr);
    runtime_nexts.push_back(std::forward<decltype(next)>(next));
  };
  using Filter = ::Ormi::Provider::AsyncApiMethodResultFilter<std::string>;
  std::vector<::Ormi::OptionalPtr<Filter::StreamResult>> streams;
  Filter filter(function, nullptr);
  filter(std::string("a"), nullptr, boost::none, ::Ormi::Progress{},
         [&streams](::Ormi::OptionalPtr<Filter::StreamResult> const& next) {
           streams.push_back(next);
         });
  ASSERT_EQ(runtime_nexts.size(), 1U);
  ASSERT_TRUE(runtime_nexts[0]);

  runtime_nexts[0](
      std::make_shared<AsyncApiMethod::ResultCb>(AsyncApiMethod::ResultCb::Function(function)));
  runtime_nexts[0](nullptr);
  ASSERT_EQ(streams.size(), 2U);
  EXPECT_FALSE(streams[1]);
  streams[0]->SetResult("b");
  ASSERT_EQ(outputs.size(), 2U);
  std::string text;
  std::list<::Ormi::BaseMessage> messages;
  ASSERT_TRUE(outputs[1]->Value(&text, messages));
  EXPECT_EQ(text, "b");
  EXPECT_FALSE(runtime_nexts[1]);  // the last element carries no continuation
}

TEST_F(ProviderTest, TaskOperationAnswersWithTheTaskIdentifier) {
  impl->apply = [](TaskResult const& result) {
    result.SetTaskId("task-1");
    result.DeliverResult(::Ormi::Void(), nullptr, boost::none);  // released: must throw
  };
  auto const bound = KeysSvc::AsyncServiceBinder::BindImplementation(impl);
  EXPECT_THROW(Call(bound, "apply$task", ApplyInput()), std::bad_function_call);
  std::string text;
  std::list<::Ormi::BaseMessage> messages;
  ASSERT_TRUE(Only().result->output()->Value(&text, messages));
  EXPECT_EQ(text, "task-1");

  // Before the task identifier the provider's result callback accepts a call and does nothing.
  deliveries.clear();
  impl->apply = [](TaskResult const& result) {
    result.DeliverResult(::Ormi::Void(), nullptr, boost::none);
    result.SetError(::Ormi::Data::MakeNativeError(std::make_shared<Errors::TimedOut const>()));
  };
  Call(bound, "apply$task", ApplyInput());
  EXPECT_EQ(NameOf(Only().result->error()), ::Ormi::Data::ErrorName::kInternalServerError);
  EXPECT_EQ(MessageIds(Only().result->error()).front(), "ormi.provider.error.undeclared");
}

TEST_F(ProviderTest, SignalMisuseAndNullActivation) {
  impl->get = [](std::string const&, Result<std::string> const& result) { result.SetResult("v"); };
  auto const bound = KeysSvc::AsyncServiceBinder::BindImplementation(impl);
  Call(bound, "get", GetInput("k"), nullptr);
  ASSERT_TRUE(impl->lastActivation);
  EXPECT_TRUE(impl->lastActivation->localizer());

  ::Ormi::Provider::AsyncApiMethodSignal unowned(
      "get", KeysSvc::GetMethod::inputDef(), nullptr, {}, [](auto const&...) {}, nullptr);
  EXPECT_THROW(unowned.Invoke(GetInput("k"), nullptr, Recorder()), std::bad_weak_ptr);
}

using ProviderDeathTest = ProviderTest;

TEST_F(ProviderDeathTest, SecondCompletionEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  impl->get = [](std::string const&, Result<std::string> const& result) {
    result.SetResult("first");
    result.SetError(::Ormi::Binding::MakeError(::Ormi::Data::ErrorName::kInternalServerError, "x"));
  };
  impl->apply = [](TaskResult const& result) {
    result.SetTaskId("first");
    result.SetTaskId("second");
  };
  auto const bound = KeysSvc::AsyncServiceBinder::BindImplementation(impl);
  EXPECT_DEATH(Call(bound, "get", GetInput("k")), "");
  EXPECT_DEATH(Call(bound, "apply$task", ApplyInput()), "");
}

}  // namespace
}  // namespace BindingTest
