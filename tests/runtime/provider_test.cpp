#include "ormi/provider/api_interface.h"

#include <functional>
#include <list>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ormi/core/call.h"
#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace Ormi::Provider {
namespace {

using Data::DefinitionPtr;
using Data::ErrorValue;
using Data::ValuePtr;

char const kInternal[] = "com.norval.ormi.std.errors.internal_server_error";
char const kNotFound[] = "com.norval.ormi.std.errors.not_found";
Progress const kTerminal{0, 1, 1};

TEST(ResultCallbackTest, CoreCallbackKeepsItsFunctionForProgressOnly) {
  int calls = 0;
  Core::AsyncApiResultCb const callback([&](std::shared_ptr<Core::MethodResult const> const&,
                                            Progress const&,
                                            Core::AsyncApiResultCb::Next&&) { ++calls; });
  callback(nullptr, Progress{0, 10, 3}, nullptr);
  EXPECT_TRUE(callback);
  callback(std::make_shared<Core::MethodResult const>(nullptr, nullptr, true), kTerminal, nullptr);
  EXPECT_EQ(calls, 2);
  EXPECT_FALSE(callback);
  EXPECT_THROW(callback(nullptr, kTerminal, nullptr), std::bad_function_call);
}

TEST(ResultCallbackTest, MethodCallbackIsReleasedByAnOutputOrAnError) {
  int calls = 0;
  auto const count = [&](boost::optional<ValuePtr> const&, std::shared_ptr<ErrorValue const> const&,
                         Progress const&, AsyncApiMethod::ResultCb::Next&&) { ++calls; };
  AsyncApiMethod::ResultCb const by_output(count);
  by_output(boost::none, nullptr, Progress{0, 2, 1}, nullptr);
  EXPECT_TRUE(by_output.function());
  by_output(ValuePtr(Data::StringValue::GetInstance("done")), nullptr, kTerminal, nullptr);
  EXPECT_FALSE(by_output.function());

  AsyncApiMethod::ResultCb const by_error(count);
  by_error(boost::none, ErrorValue::GetInstance(kNotFound), kTerminal, nullptr);
  EXPECT_FALSE(by_error.function());
  EXPECT_EQ(calls, 3);
  EXPECT_THROW(by_error(boost::none, nullptr, kTerminal, nullptr), std::bad_function_call);
}

class ValidationTest : public ::testing::Test {
 protected:
  DefinitionPtr const host_ = Data::StructDefinition::GetInstance(
      "host_spec", {{"name", Data::StringDefinition::GetInstance()}});
  // The standard error shape, and a declaration that asks for a field errors lack.
  DefinitionPtr const not_found_ = Data::StructDefinition::GetInstance(
      kNotFound, {{"messages", Data::ListDefinition::GetInstance(
                                   Data::DynamicStructureDefinition::GetInstance())}});
  DefinitionPtr const timed_out_ = Data::StructDefinition::GetInstance(
      "com.norval.ormi.std.errors.timed_out", {{"code", Data::IntegerDefinition::GetInstance()}});

  static ValuePtr Host(ValuePtr name) {
    auto value = Data::StructValue::GetInstance("host_spec");
    value->SetField("name", std::move(name));
    return value;
  }
  static std::list<std::string> Ids(std::shared_ptr<ErrorValue const> const& error) {
    std::list<std::string> ids;
    for (auto const& message : error->messages()) {
      ids.push_back(message.id);
    }
    return ids;
  }
};

TEST_F(ValidationTest, InputIsAcceptedOrRejectedAsInvalidArgument) {
  std::shared_ptr<Core::MethodResult const> failure;
  EXPECT_TRUE(ApiMethodHelper::ValidateInput("get", host_,
                                             Host(Data::StringValue::GetInstance("h")), failure));
  EXPECT_EQ(failure, nullptr);

  EXPECT_FALSE(
      ApiMethodHelper::ValidateInput("get", host_, Host(Data::ListValue::GetInstance()), failure));
  ASSERT_NE(failure, nullptr);
  ASSERT_NE(failure->error(), nullptr);
  EXPECT_EQ(failure->error()->name(), "com.norval.ormi.std.errors.invalid_argument");
  EXPECT_EQ(failure->output(), nullptr);
  EXPECT_TRUE(failure->terminal());
  ASSERT_FALSE(failure->error()->messages().empty());
  EXPECT_NE(failure->error()->messages().front().defaultMessage.find("get.input.name"),
            std::string::npos);

  failure = nullptr;
  EXPECT_FALSE(ApiMethodHelper::ValidateInput("get", host_, nullptr, failure));
  ASSERT_NE(failure, nullptr);
  EXPECT_EQ(failure->error()->name(), "com.norval.ormi.std.errors.invalid_argument");
}

TEST_F(ValidationTest, OutputPassesOrBecomesAnInternalError) {
  ValuePtr const good = Host(Data::StringValue::GetInstance("h"));
  auto const passed = ApiMethodHelper::ValidateOutput("get", host_, good, false);
  EXPECT_EQ(passed->output(), good);
  EXPECT_EQ(passed->error(), nullptr);
  EXPECT_FALSE(passed->terminal());

  auto const failed =
      ApiMethodHelper::ValidateOutput("get", host_, Data::StringValue::GetInstance("h"), true);
  EXPECT_EQ(failed->output(), nullptr);
  ASSERT_NE(failed->error(), nullptr);
  EXPECT_EQ(failed->error()->name(), kInternal);
  EXPECT_TRUE(failed->terminal());
  std::list<std::string> const ids = Ids(failed->error());
  ASSERT_GE(ids.size(), 2U);
  EXPECT_EQ(ids.front(), "ormi.provider.output.invalid");
  EXPECT_EQ(ids.back(), "ormi.data.validation.failed");
}

TEST_F(ValidationTest, ErrorMustBeDeclaredAndFitItsDeclaration) {
  std::list<DefinitionPtr> const declared{host_, not_found_, timed_out_};
  auto const not_found = ErrorValue::GetInstance(kNotFound);
  EXPECT_EQ(ApiMethodHelper::ValidateError("get", declared, not_found, true)->error(), not_found);

  auto const undeclared = ErrorValue::GetInstance("com.norval.ormi.std.errors.unauthenticated");
  auto const rejected = ApiMethodHelper::ValidateError("get", declared, undeclared, true);
  ASSERT_NE(rejected->error(), nullptr);
  EXPECT_EQ(rejected->error()->name(), kInternal);
  std::list<BaseMessage> const messages = rejected->error()->messages();
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, "ormi.provider.error.undeclared");
  EXPECT_EQ(messages.front().args,
            std::list<std::string>{"com.norval.ormi.std.errors.unauthenticated"});

  // Declared, but lacking the declared "code" field.
  auto const invalid = ApiMethodHelper::ValidateError(
      "get", declared, ErrorValue::GetInstance("com.norval.ormi.std.errors.timed_out"), false);
  EXPECT_EQ(invalid->error()->name(), kInternal);
  EXPECT_EQ(Ids(invalid->error()).front(), "ormi.provider.error.undeclared");
  EXPECT_EQ(Ids(invalid->error()).back(), "ormi.data.validation.failed");
  EXPECT_EQ(ApiMethodHelper::ValidateError("get", declared, nullptr, true)->error()->name(),
            kInternal);
}

}  // namespace
}  // namespace Ormi::Provider
