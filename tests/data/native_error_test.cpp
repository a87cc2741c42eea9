#include "ormi/data/make_native_error.h"

#include <gtest/gtest.h>

#include "com/norval/ormi/std/errors/errors.h"
#include "ormi/data/error_names.h"
#include "ormi/data/value_to_native.h"

namespace Ormi::Data {
namespace {

using Com::Norval::Ormi::Std::LocalizableMessage;
using Com::Norval::Ormi::Std::Errors::NotFound;

TEST(NativeError, ConvertsToAnErrorValueOfTheSameNameAndFields) {
  auto message = std::make_shared<LocalizableMessage>();
  message->id = "test.missing";
  message->default_message = "Thing {1} is missing.";
  message->args = {"x"};
  auto error = std::make_shared<NotFound>();
  error->messages = {message};
  auto const localizer = L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();

  auto value = MakeNativeError<NotFound>(error).ToErrorValue(localizer);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->name(), "com.norval.ormi.std.errors.not_found");
  EXPECT_EQ(value->kind(), ValueKind::kError);
  EXPECT_TRUE(value->HasField("data"));
  ASSERT_EQ(value->messages().size(), 1U);
  EXPECT_EQ(value->messages().front(),
            (BaseMessage{"test.missing", "Thing {1} is missing.", {"x"}}));

  // An error value (kind 6) reads back as the native structure.
  NotFound back;
  std::list<BaseMessage> messages;
  ASSERT_TRUE(ValueToNativeAdapter::Adapt(value, ValueToNativeAdapter::AdaptMethod<NotFound>::Get(),
                                          &back, messages));
  ASSERT_EQ(back.messages.size(), 1U);
  EXPECT_EQ(back.messages.front()->args, std::list<std::string>{"x"});

  // An error that cannot be converted (a null message) gives no value.
  error->messages.push_back(nullptr);
  EXPECT_FALSE(MakeNativeError<NotFound>(error).ToErrorValue(localizer));
}

// The runtime makes some standard errors itself, by name; the names must be those of the
// standard error types.
TEST(NativeError, TheRuntimesErrorNamesAreThoseOfTheStandardErrorTypes) {
  namespace Errors = Com::Norval::Ormi::Std::Errors;
  EXPECT_EQ(TypeInfo<Errors::Error>::name(), ErrorName::kError);
  EXPECT_EQ(TypeInfo<Errors::AlreadyExists>::name(), ErrorName::kAlreadyExists);
  EXPECT_EQ(TypeInfo<Errors::InternalServerError>::name(), ErrorName::kInternalServerError);
  EXPECT_EQ(TypeInfo<Errors::InvalidArgument>::name(), ErrorName::kInvalidArgument);
  EXPECT_EQ(TypeInfo<Errors::NotAllowedInCurrentState>::name(),
            ErrorName::kNotAllowedInCurrentState);
  EXPECT_EQ(TypeInfo<Errors::NotFound>::name(), ErrorName::kNotFound);
  EXPECT_EQ(TypeInfo<Errors::ServiceUnavailable>::name(), ErrorName::kServiceUnavailable);
  EXPECT_EQ(TypeInfo<Errors::TimedOut>::name(), ErrorName::kTimedOut);
  EXPECT_EQ(TypeInfo<Errors::Unauthenticated>::name(), ErrorName::kUnauthenticated);
}

}  // namespace
}  // namespace Ormi::Data
