#include "ormi/data/convert.h"

#include <gtest/gtest.h>

#include "generated_types.h"
#include "ormi/data/json.h"
#include "random_filler.h"

namespace Ormi::Data {
namespace {

using Testing::AllGeneratedTypes;

template <typename T>
class GeneratedType : public ::testing::Test {};
TYPED_TEST_SUITE(GeneratedType, AllGeneratedTypes);

std::string Describe(std::list<BaseMessage> const& messages) {
  std::string text;
  for (auto const& message : messages) text += message.id + ": " + message.defaultMessage + "\n";
  return text;
}

// native -> value -> native -> value gives the same value, and the value that a native converts
// to is valid against the definition of its type.
TYPED_TEST(GeneratedType, RandomInstancesRoundTripAndValidate) {
  DefinitionPtr const definition = DefinitionOf<TypeParam>();
  ASSERT_TRUE(definition);
  for (unsigned seed = 1; seed <= 40; ++seed) {
    TypeParam native;
    RandomFiller(seed).Fill(native);
    std::list<BaseMessage> messages;
    ValuePtr first;
    ASSERT_TRUE(ToValue(native, &first, messages)) << Describe(messages);
    ASSERT_TRUE(Validate(*definition, *first, messages)) << Describe(messages) << ToJson(*first);

    TypeParam back;
    ASSERT_TRUE(FromValue(first, &back, messages)) << Describe(messages) << ToJson(*first);
    ValuePtr second;
    ASSERT_TRUE(ToValue(back, &second, messages)) << Describe(messages);
    EXPECT_TRUE(Equal(*first, *second)) << ToJson(*first) << "\n" << ToJson(*second);
    if constexpr (kShapeOf<TypeParam> == NativeShape::kStructure) {
      // Only the filler's undeclared fields may be collected: the declared names are complete.
      if (!back.unknownFields) continue;
      for (auto const& field : back.unknownFields->fields()) {
        EXPECT_EQ(field.first.rfind("x_unknown_", 0), 0U) << field.first;
      }
    }
  }
}

}  // namespace
}  // namespace Ormi::Data
