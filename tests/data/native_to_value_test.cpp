#include "hyrn/data/native_to_value.h"

#include <gtest/gtest.h>

#include "hand_shapes.h"

namespace Ormi {
namespace Data {
namespace {

using Hand::Color;
using Hand::Leaf;
using Hand::Node;
using Hand::Shapes;

// A structure whose required pointers are all set.
Shapes Complete() {
  Shapes shapes;
  shapes.leaf = std::make_shared<Leaf>();
  shapes.node = std::make_shared<Node>();
  return shapes;
}

template <typename T>
bool Convert(T const& native, ValuePtr* out, std::list<BaseMessage>& messages) {
  return NativeToValueAdapter::Adapt(&native, NativeToValueAdapter::AdaptMethod<T>::Get(&native),
                                     out, messages,
                                     L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer());
}

CompoundValue const& Struct(ValuePtr const& value) {
  return dynamic_cast<CompoundValue const&>(*value);
}
ValuePtr const& Field(ValuePtr const& value, std::string const& name) {
  return Struct(value).fields().at(name);
}
ListValue const& List(ValuePtr const& value) { return dynamic_cast<ListValue const&>(*value); }
std::string Text(ValuePtr const& value) { return dynamic_cast<StringValue const&>(*value).value(); }

TEST(NativeToValue, EveryDeclaredFieldIsPresentAndEmptyContainersKeepTheirKind) {
  ValuePtr value;
  std::list<BaseMessage> messages;
  ASSERT_TRUE(Convert(Complete(), &value, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Struct(value).name(), "hand.shapes");
  EXPECT_EQ(Struct(value).fields().size(), 17U);
  for (auto const& field : Struct(value).fields()) EXPECT_TRUE(field.second) << field.first;
  for (char const* name : {"maybe_color", "maybe_text", "maybe_leaf", "maybe_leaves"}) {
    auto const& optional = dynamic_cast<OptionalValue const&>(*Field(value, name));
    EXPECT_FALSE(optional.isSet()) << name;
  }
  EXPECT_EQ(List(Field(value, "texts")).listKind(), ListValue::kPlainList);
  EXPECT_TRUE(List(Field(value, "texts")).elements().empty());
  EXPECT_EQ(List(Field(value, "labels")).listKind(), ListValue::kMapList);
  EXPECT_TRUE(List(Field(value, "labels")).elements().empty());
  EXPECT_EQ(Text(Field(value, "color")), "_UNKNOWN");
  EXPECT_EQ(Struct(Field(value, "node")).name(), "hand.node");
}

TEST(NativeToValue, MapsBecomeMapEntriesInKeyOrderAndOptionalsHoldTheirValue) {
  Shapes shapes = Complete();
  shapes.labels = {{"b", "x"}, {"a", "y"}};
  shapes.maybe_text = std::string("set");
  ValuePtr value;
  std::list<BaseMessage> messages;
  ASSERT_TRUE(Convert(shapes, &value, messages));
  auto const& entries = List(Field(value, "labels")).elements();
  ASSERT_EQ(entries.size(), 2U);
  EXPECT_EQ(Struct(entries[0]).name(), "map-entry");
  EXPECT_EQ(Text(Field(entries[0], "key")), "a");
  EXPECT_EQ(Text(Field(entries[0], "value")), "y");
  EXPECT_EQ(Text(Field(entries[1], "key")), "b");
  auto const& optional = dynamic_cast<OptionalValue const&>(*Field(value, "maybe_text"));
  ASSERT_TRUE(optional.isSet());
  EXPECT_EQ(Text(optional.value()), "set");
}

TEST(NativeToValue, EnumerationsUseTheWireNameOrTheKeptText) {
  struct Case {
    Color color;
    char const* text;
  };
  for (Case const& c : {Case{Color::GREEN, "GREEN"}, Case{Color::_UNKNOWN, "_UNKNOWN"},
                        Case{Color(Color::_UNKNOWN, "purple"), "purple"},
                        Case{Color(Color::RED, "ignored"), "RED"}}) {
    ValuePtr value;
    std::list<BaseMessage> messages;
    ASSERT_TRUE(Convert(c.color, &value, messages));
    EXPECT_EQ(Text(value), c.text);
  }
}

TEST(NativeToValue, UnsetRequiredPointerStopsWithOneMessageNamingTheType) {
  // Three leaves, the middle one null: the last element is converted first, then the null one
  // ends the conversion, so the first element is never converted.
  Shapes shapes = Complete();
  shapes.leaves = {std::make_shared<Leaf>(), nullptr, std::make_shared<Leaf>()};
  ValuePtr value;
  std::list<BaseMessage> messages;
  EXPECT_FALSE(Convert(shapes, &value, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, "ormi.data.unset.non.optional.field");
  EXPECT_EQ(messages.front().args, std::list<std::string>{"hand.leaf"});
  auto const& leaves = List(Field(value, "leaves")).elements();
  EXPECT_FALSE(leaves[0]);
  EXPECT_TRUE(leaves[2]);
  // Fields declared before "leaves" are converted after it, so they stay empty.
  EXPECT_FALSE(Field(value, "text"));
}

TEST(NativeToValue, LastDeclaredFieldIsConvertedFirst) {
  Shapes shapes;  // both "leaf" and the later "node" unset: only "node" is reported
  ValuePtr value;
  std::list<BaseMessage> messages;
  EXPECT_FALSE(Convert(shapes, &value, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().args, std::list<std::string>{"hand.node"});
}

TEST(NativeToValue, DynamicStructuresAndUnknownFieldsAreSharedNotCopied) {
  Shapes shapes = Complete();
  auto held = StructValue::GetInstance("anything");
  shapes.dynamic = DynamicStructure(held);
  auto extra = StringValue::GetInstance("kept");
  shapes.unknownFields = StructValue::GetInstance("unknownFields");
  shapes.unknownFields->SetField("zz_extra", extra);
  ValuePtr value;
  std::list<BaseMessage> messages;
  ASSERT_TRUE(Convert(shapes, &value, messages));
  EXPECT_EQ(Field(value, "dynamic"), held);
  EXPECT_EQ(Field(value, "zz_extra"), extra);

  shapes.dynamic = DynamicStructure(nullptr);
  messages.clear();
  EXPECT_FALSE(Convert(shapes, &value, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, "ormi.data.unset.field");
  EXPECT_EQ(messages.front().args, std::list<std::string>{"DynamicStructure"});
}

}  // namespace
}  // namespace Data
}  // namespace Ormi
