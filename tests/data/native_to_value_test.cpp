#include "ormi/data/native_to_value.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "com/norval/hyrn/test/test_shapes.h"

namespace Ormi::Data {
namespace {

using Com::Norval::Hyrn::Test::AllKinds;
using Com::Norval::Hyrn::Test::Colour;
using Com::Norval::Hyrn::Test::Leaf;
using Com::Norval::Ormi::Std::LocalizableMessage;

// A structure whose required pointers are all set.
AllKinds Complete() {
  AllKinds shapes;
  shapes.leaf = std::make_shared<Leaf>();
  shapes.message = std::make_shared<LocalizableMessage>();
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
  EXPECT_EQ(Struct(value).name(), "com.norval.hyrn.test.all_kinds");
  EXPECT_EQ(Struct(value).fields().size(), 24U);
  for (auto const& field : Struct(value).fields()) EXPECT_TRUE(field.second) << field.first;
  for (char const* name : {"maybe_text", "maybe_flag", "maybe_count", "maybe_anything",
                           "maybe_colour", "maybe_leaf", "maybe_leaves", "maybe_leaf_by_name"}) {
    auto const& optional = dynamic_cast<OptionalValue const&>(*Field(value, name));
    EXPECT_FALSE(optional.isSet()) << name;
  }
  EXPECT_EQ(List(Field(value, "texts")).listKind(), ListKind::kPlain);
  EXPECT_TRUE(List(Field(value, "texts")).elements().empty());
  EXPECT_EQ(List(Field(value, "text_by_name")).listKind(), ListKind::kMap);
  EXPECT_TRUE(List(Field(value, "text_by_name")).elements().empty());
  EXPECT_EQ(Text(Field(value, "colour")), "_UNKNOWN");
  EXPECT_EQ(Struct(Field(value, "message")).name(), "com.norval.ormi.std.localizable_message");
}

TEST(NativeToValue, MapsBecomeMapEntriesInKeyOrderAndOptionalsHoldTheirValue) {
  AllKinds shapes = Complete();
  shapes.text_by_name = {{"b", "x"}, {"a", "y"}};
  shapes.maybe_text = std::string("set");
  ValuePtr value;
  std::list<BaseMessage> messages;
  ASSERT_TRUE(Convert(shapes, &value, messages));
  auto const& entries = List(Field(value, "text_by_name")).elements();
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
    Colour colour{};
    char const* text = nullptr;
  };
  for (Case const& c : {Case{Colour::GREEN, "GREEN"}, Case{Colour::_UNKNOWN, "_UNKNOWN"},
                        Case{Colour(Colour::_UNKNOWN, "purple"), "purple"},
                        Case{Colour(Colour::RED, "ignored"), "RED"}}) {
    ValuePtr value;
    std::list<BaseMessage> messages;
    ASSERT_TRUE(Convert(c.colour, &value, messages));
    EXPECT_EQ(Text(value), c.text);
  }
}

TEST(NativeToValue, UnsetRequiredPointerStopsWithOneMessageNamingTheType) {
  // Three leaves, the middle one null: the last element is converted first, then the null one
  // ends the conversion, so the first element is never converted.
  AllKinds shapes = Complete();
  shapes.leaves = {std::make_shared<Leaf>(), nullptr, std::make_shared<Leaf>()};
  ValuePtr value;
  std::list<BaseMessage> messages;
  EXPECT_FALSE(Convert(shapes, &value, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, "ormi.data.unset.non.optional.field");
  EXPECT_EQ(messages.front().args, std::list<std::string>{"com.norval.hyrn.test.leaf"});
  auto const& leaves = List(Field(value, "leaves")).elements();
  EXPECT_FALSE(leaves[0]);
  EXPECT_TRUE(leaves[2]);
  // Fields declared before "leaves" are converted after it, so they stay empty.
  EXPECT_FALSE(Field(value, "text"));
}

// Declared fields are placed by where their names fall in byte order; a structure that names
// a field twice has no places, and its fields are added by name instead.
TEST(NativeToValue, DeclaredPlacesFollowByteOrderAndAreDroppedForARepeatedName) {
  EXPECT_EQ(Detail::PlacesOf({"name", "Zone", "enabled", "count", "name_2"}).places,
            (std::vector<std::size_t>{3, 0, 2, 1, 4}));
  Detail::DeclaredPlaces const repeated = Detail::PlacesOf({"a", "b", "a"});
  EXPECT_TRUE(repeated.places.empty());
  EXPECT_EQ(repeated.count, 3U);  // still counted, for the room the value reserves
}

TEST(NativeToValue, LastDeclaredFieldIsConvertedFirst) {
  AllKinds shapes;  // "leaf" and the later "message" unset: only "message" is reported
  ValuePtr value;
  std::list<BaseMessage> messages;
  EXPECT_FALSE(Convert(shapes, &value, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().args,
            std::list<std::string>{"com.norval.ormi.std.localizable_message"});
}

TEST(NativeToValue, DynamicStructuresAndUnknownFieldsAreSharedNotCopied) {
  AllKinds shapes = Complete();
  auto held = StructValue::GetInstance("anything");
  shapes.anything = DynamicStructure(held);
  auto extra = StringValue::GetInstance("kept");
  shapes.unknownFields = StructValue::GetInstance("unknownFields");
  shapes.unknownFields->SetField("zz_extra", extra);
  ValuePtr value;
  std::list<BaseMessage> messages;
  ASSERT_TRUE(Convert(shapes, &value, messages));
  EXPECT_EQ(Field(value, "anything"), held);
  EXPECT_EQ(Field(value, "zz_extra"), extra);

  shapes.anything = DynamicStructure(nullptr);
  messages.clear();
  EXPECT_FALSE(Convert(shapes, &value, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, "ormi.data.unset.field");
  EXPECT_EQ(messages.front().args, std::list<std::string>{"DynamicStructure"});
}

}  // namespace
}  // namespace Ormi::Data
