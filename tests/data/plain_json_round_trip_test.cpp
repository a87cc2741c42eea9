#include "ormi/data/plain_json.h"

#include <gtest/gtest.h>

#include "generated_types.h"
#include "operation_table.h"
#include "ormi/data/json.h"

namespace Ormi::Data {
namespace {

std::string Describe(std::list<BaseMessage> const& messages) {
  std::string text;
  for (auto const& message : messages) text += message.id + ": " + message.defaultMessage + "\n";
  return text;
}

// value -> plain JSON -> value gives an equal value that validates, and writes the same text.
void ExpectPlainRoundTrip(ValuePtr const& value, DefinitionPtr const& definition) {
  ASSERT_TRUE(value);
  ASSERT_TRUE(definition);
  std::list<BaseMessage> messages;
  std::string text;
  ASSERT_TRUE(ToPlainJson(*value, *definition, &text, messages))
      << Describe(messages) << ToJson(*value);
  ValuePtr back;
  ASSERT_TRUE(FromPlainJson(text, *definition, &back, messages)) << Describe(messages) << text;
  EXPECT_TRUE(Equal(*value, *back)) << text << "\n" << ToJson(*value) << "\n" << ToJson(*back);
  EXPECT_TRUE(Validate(*definition, *back, messages)) << Describe(messages) << text;
  std::string again;
  ASSERT_TRUE(ToPlainJson(*back, *definition, &again, messages)) << Describe(messages);
  EXPECT_EQ(again, text);
}

template <typename T>
class PlainJsonType : public ::testing::Test {};
TYPED_TEST_SUITE(PlainJsonType, Testing::AllGeneratedTypes);

// Every generated structure and enumeration, native -> value -> plain JSON -> value.
TYPED_TEST(PlainJsonType, RandomInstancesRoundTrip) {
  DefinitionPtr const definition = DefinitionOf<TypeParam>();
  for (unsigned seed = 1; seed <= 40; ++seed) {
    SCOPED_TRACE(seed);
    ExpectPlainRoundTrip(Testing::RandomValue<TypeParam>(seed), definition);
  }
}

// Every operation's input and output, and each of its errors (which keep the canonical form).
TEST(PlainJsonOperations, InputsOutputsAndErrorsRoundTrip) {
  auto const operations = Testing::AllOperations();
  ASSERT_GE(operations.size(), 24u);
  for (auto const& operation : operations) {
    SCOPED_TRACE(operation.name);
    for (unsigned seed = 1; seed <= 20; ++seed) {
      SCOPED_TRACE(seed);
      ExpectPlainRoundTrip(operation.input_value(seed), operation.input);
      ExpectPlainRoundTrip(operation.output_value(seed), operation.output);
    }
    for (auto const& error : operation.errors) {
      auto const& name = static_cast<StructDefinition const&>(*error).name();
      ValuePtr const value = ErrorValue::Create(name, {{"e.id", "Failed: {1}.", {"x"}}});
      ExpectPlainRoundTrip(value, error);
      std::list<BaseMessage> messages;
      std::string text;
      ASSERT_TRUE(ToPlainJson(*value, *error, &text, messages));
      EXPECT_EQ(text, ToJson(*value));
    }
  }
}

}  // namespace
}  // namespace Ormi::Data
