// The input limits, each at its default: at the limit the input is accepted, one past it
// refused (or cut) with a clear message. Nesting has no limit in conversions, validation,
// JSON writing, equality or teardown: a value far deeper than any other limit goes through
// all of them.
#include "ormi/data/json.h"

#include <gtest/gtest.h>

#include <list>
#include <string>

#include "com/norval/hyrn/host_settings/host_settings.h"
#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "ormi/message.h"

namespace Hyrn::Fuzz {
namespace {

using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)
using Ormi::BaseMessage;

std::string NestedArrays(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(Limits, JsonNestingDepthDefaultsTo512Levels) {
  std::list<BaseMessage> messages;
  ValuePtr value;
  EXPECT_TRUE(FromJson(NestedArrays(512), &value, messages));
  EXPECT_TRUE(messages.empty());

  ValuePtr refused;
  EXPECT_FALSE(FromJson(NestedArrays(513), &refused, messages));
  EXPECT_FALSE(refused);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages.front().id, "ormi.data.json.too.deep");
  EXPECT_EQ(messages.front().args.back(), "512");
}

TEST(Limits, JsonInputSizeDefaultsTo64MiB) {
  std::size_t const limit = std::size_t{64} * 1024 * 1024;
  std::string text = "\"" + std::string(limit - 2, 'a') + "\"";
  std::list<BaseMessage> messages;
  ValuePtr value;
  ASSERT_TRUE(FromJson(text, &value, messages));
  EXPECT_EQ(static_cast<StringValue const&>(*value).value().size(), limit - 2);
  value.reset();

  text.insert(1, "a");
  EXPECT_FALSE(FromJson(text, &value, messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages.front().id, "ormi.data.json.too.large");
  EXPECT_EQ(messages.front().args,
            (std::list<std::string>{std::to_string(limit + 1), std::to_string(limit)}));
}

// A list of `count` integers where strings are expected: one problem per element.
std::size_t ValidationMessages(std::size_t count) {
  auto list = ListValue::GetInstance();
  for (std::size_t i = 0; i < count; ++i) list->Append(IntegerValue::GetInstance(1));
  std::list<BaseMessage> messages;
  EXPECT_FALSE(
      Validate(*ListDefinition::GetInstance(StringDefinition::GetInstance()), *list, messages));
  return messages.size();
}

TEST(Limits, ValidationStopsAfter100Messages) {
  EXPECT_EQ(ValidationMessages(100), 100u);
  EXPECT_EQ(ValidationMessages(101), 100u);
  EXPECT_EQ(ValidationMessages(100000), 100u);
}

TEST(Limits, FormatterWidthAndPrecisionStopAt4096) {
  std::string const argument = "a";
  EXPECT_EQ(Ormi::Detail::Format("{1:4096}", &argument, 1).size(), 4096u);
  EXPECT_EQ(Ormi::Detail::Format("{1:4097}", &argument, 1).size(), 4096u);
  std::string const long_argument(5000, 'b');
  EXPECT_EQ(Ormi::Detail::Format("{1:.4096}", &long_argument, 1).size(), 4096u);
  EXPECT_EQ(Ormi::Detail::Format("{1:.4097}", &long_argument, 1).size(), 4096u);
}

// A chain of a million lists, optionals and structures, held by a dynamic structure inside
// an API structure and by an unknown field of it.
TEST(Limits, AValueNestedAMillionLevelsDeepConvertsValidatesAndIsFreed) {
  constexpr std::size_t kDepth = 1000000;
  ValuePtr chain = StringValue::GetInstance("leaf");
  for (std::size_t level = 0; level < kDepth; ++level) {
    if (level % 3 == 0) {
      auto list = ListValue::GetInstance();
      list->Append(std::move(chain));
      chain = std::move(list);
    } else if (level % 3 == 1) {
      chain = OptionalValue::GetInstance(std::move(chain));
    } else {
      auto node = StructValue::GetInstance("node");
      node->SetField("child", std::move(chain));
      chain = std::move(node);
    }
  }
  auto holder = StructValue::GetInstance("holder");
  holder->SetField("chain", chain);
  auto entry = StructValue::GetInstance("map-entry");
  entry->SetField("key", StringValue::GetInstance("c1"));
  entry->SetField("value", holder);
  auto components = ListValue::GetInstance(ListKind::kMap);
  components->Append(entry);
  auto spec = StructValue::GetInstance(
      Ormi::Data::TypeInfo<Com::Norval::Hyrn::HostSettings::ConfigSpec>::name());
  spec->SetField("components", components);
  spec->SetField("extra", chain);
  chain.reset();

  DefinitionPtr const definition = DefinitionOf<Com::Norval::Hyrn::HostSettings::ConfigSpec>();
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Validate(*definition, *spec, messages));
  Com::Norval::Hyrn::HostSettings::ConfigSpec native;
  ASSERT_TRUE(FromValue(ValuePtr(spec), &native, messages));
  ValuePtr back;
  ASSERT_TRUE(ToValue(native, &back, messages));
  EXPECT_TRUE(Validate(*definition, *back, messages));
  EXPECT_TRUE(Equal(*spec, *back));
  EXPECT_GT(ToJson(*back).size(), kDepth);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace Hyrn::Fuzz
