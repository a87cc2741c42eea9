#include "value_generator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <vector>

#include "api_types.h"
#include "ormi/data/convert.h"
#include "ormi/data/json.h"

namespace Hyrn::Fuzz {
namespace {

using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)

ValuePtr GenerateFrom(std::vector<std::uint8_t> const& bytes, DataDefinition const& definition) {
  FuzzInput input(bytes.data(), bytes.size());
  return ValueGenerator(input, Dictionary()).Generate(definition);
}

// With no input left every decision takes its plainest branch, so each API structure gets
// the smallest value its definition accepts: the fuzzers start from valid values.
template <typename T>
struct ExpectMinimalValid {
  static void Run(FuzzInput& input) {
    DefinitionPtr const definition = DefinitionOf<T>();
    ValuePtr const value = ValueGenerator(input, Dictionary()).Generate(*definition);
    std::list<Ormi::BaseMessage> messages;
    EXPECT_TRUE(Validate(*definition, *value, messages)) << ToJson(*value);
    T native;
    EXPECT_TRUE(FromValue(value, &native, messages)) << ToJson(*value);
  }
};

TEST(ValueGenerator, AnExhaustedInputGivesAValidValueOfEveryApiStructure) {
  FuzzInput empty(nullptr, 0);
  for (std::size_t index = 0; index < Count(ApiStructures{}); ++index) {
    RunAt<ExpectMinimalValid>(ApiStructures{}, index, empty);
  }
}

TEST(ValueGenerator, DeviationsReplaceTheExpectedValue) {
  auto const structure =
      StructDefinition::GetInstance("s", {{"a", StringDefinition::GetInstance()}});
  EXPECT_EQ(ToJson(*GenerateFrom({0xF0}, *structure)), "\"\"");
  EXPECT_EQ(ToJson(*GenerateFrom({0xF3}, *structure)), "{\"$void\":null}");
  EXPECT_EQ(ToJson(*GenerateFrom({0xF6}, *structure)),
            "{\"$error\":\"s\",\"fields\":{\"a\":\"\"}}");
  // A field byte of 0xFF leaves the field out.
  EXPECT_EQ(ToJson(*GenerateFrom({0x00, 0xFF}, *structure)), "{\"$struct\":\"s\",\"fields\":{}}");
}

// The number of optionals around the innermost value.
std::size_t OptionalDepth(ValuePtr const& value) {
  std::size_t depth = 0;
  for (DataValue const* at = value.get(); at->kind() == ValueKind::kOptional; ++depth) {
    at = static_cast<OptionalValue const&>(*at).value().get();
  }
  return depth;
}

TEST(ValueGenerator, NestingBuildsTheRequestedDepthWithinOneBudgetPerValue) {
  // Deviation 2 wraps a conforming "" in optionals: shape 0x80, then 39 + 1 levels.
  std::vector<std::uint8_t> const chain = {0xF2, 0x00, 0x80, 39, 0};
  EXPECT_EQ(OptionalDepth(GenerateFrom(chain, *StringDefinition::GetInstance())), 40u);

  // Two such chains in one structure share the budget: the second gets what is left.
  auto const structure = StructDefinition::GetInstance(
      "s", {{"a", StringDefinition::GetInstance()}, {"b", StringDefinition::GetInstance()}});
  std::vector<std::uint8_t> bytes = {0x00};
  for (int field = 0; field < 2; ++field) {
    bytes.push_back(0x00);  // the field is present
    bytes.insert(bytes.end(), chain.begin(), chain.end());
  }
  ValuePtr const value = GenerateFrom(bytes, *structure);
  auto const& fields = static_cast<CompoundValue const&>(*value).fields();
  EXPECT_EQ(OptionalDepth(fields.at("a")), 40u);
  EXPECT_EQ(OptionalDepth(fields.at("b")), ValueGenerator::kMaxNesting - 40);
}

TEST(ValueGenerator, MapEntriesMayRepeatAKey) {
  auto const entry = StructDefinition::GetInstance(
      "map-entry",
      {{"key", StringDefinition::GetInstance()}, {"value", StringDefinition::GetInstance()}});
  // A list of two entries: key "a", then the previous key again; both values "".
  ValuePtr const value = GenerateFrom({0x00, 2 << 1, 0x00, 1, 'a', 0x00, 0x00, 0x03, 0x00, 0x00},
                                      *ListDefinition::GetInstance(entry));
  EXPECT_EQ(ToJson(*value),
            "{\"$map\":[{\"$struct\":\"map-entry\",\"fields\":{\"key\":\"a\",\"value\":\"\"}},"
            "{\"$struct\":\"map-entry\",\"fields\":{\"key\":\"a\",\"value\":\"\"}}]}");
}

}  // namespace
}  // namespace Hyrn::Fuzz
