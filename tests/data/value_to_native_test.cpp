#include "ormi/data/value_to_native.h"

#include <gtest/gtest.h>

#include "ormi/data/convert.h"

#include "com/norval/hyrn/test/test_shapes.h"

namespace Ormi::Data {
namespace {

using Com::Norval::Hyrn::Test::AllKinds;
using Com::Norval::Hyrn::Test::Colour;
using Com::Norval::Hyrn::Test::Leaf;
using Com::Norval::Hyrn::Test::Ping;
using Com::Norval::Ormi::Std::LocalizableMessage;
using Labels = std::map<std::string, std::string>;
using MaybeText = boost::optional<std::string>;

template <typename T>
bool Convert(ValuePtr const& value, T* out, std::list<BaseMessage>& messages) {
  return ValueToNativeAdapter::Adapt(value, ValueToNativeAdapter::AdaptMethod<T>::Get(out), out,
                                     messages);
}

ValuePtr Str(std::string text) { return StringValue::GetInstance(std::move(text)); }

std::shared_ptr<StructValue> MapEntry(std::string key, ValuePtr value) {
  auto entry = StructValue::GetInstance("map-entry");
  entry->SetField("key", Str(std::move(key)));
  entry->SetField("value", std::move(value));
  return entry;
}

std::shared_ptr<StructValue> LeafValue(std::string text) {
  auto leaf = StructValue::GetInstance("com.norval.hyrn.test.leaf");
  leaf->SetField("text", Str(std::move(text)));
  return leaf;
}

std::list<std::string> Ids(std::list<BaseMessage> const& messages) {
  std::list<std::string> ids;
  for (auto const& message : messages) ids.push_back(message.id);
  return ids;
}

TEST(ValueToNative, MissingFieldsAndEmptyStringsLeaveDefaults) {
  // Only "text" is present: the missing "flag" is reported and the later fields are skipped.
  auto value = StructValue::GetInstance("com.norval.hyrn.test.all_kinds");
  value->SetField("text", Str("kept"));
  AllKinds shapes;
  shapes.maybe_text = std::string("untouched");
  std::list<BaseMessage> messages;
  EXPECT_FALSE(Convert<AllKinds>(value, &shapes, messages));
  EXPECT_EQ(Ids(messages), std::list<std::string>{"ormi.data.field.not.found"});
  EXPECT_EQ(shapes.text, "kept");
  EXPECT_EQ(shapes.maybe_text.value_or(""), "untouched");
  EXPECT_FALSE(shapes.leaf);

  std::shared_ptr<Leaf const> leaf;
  std::list<std::string> texts{"stale"};
  std::map<std::string, std::string> labels{{"stale", "x"}};
  boost::optional<std::string> maybe;
  Ormi::OptionalPtr<Leaf const> maybe_leaf;
  messages.clear();
  EXPECT_TRUE(Convert(Str(""), &leaf, messages));
  EXPECT_TRUE(Convert(Str(""), &texts, messages));
  EXPECT_TRUE(Convert(Str(""), &labels, messages));
  EXPECT_TRUE(Convert(Str(""), &maybe, messages));
  EXPECT_TRUE(Convert(Str(""), &maybe_leaf, messages));
  EXPECT_TRUE(messages.empty());
  ASSERT_TRUE(leaf);  // an absent structure keeps its defaults
  EXPECT_EQ(leaf->text, "");
  EXPECT_TRUE(texts.empty());
  EXPECT_TRUE(labels.empty());
  EXPECT_FALSE(maybe);
  EXPECT_FALSE(maybe_leaf);
}

// A list or map read into a native that already holds elements replaces them.
TEST(ValueToNative, ScalarsAndPlainValuesStandForOneElementListsAndSetOptionals) {
  std::list<std::string> texts{"stale"};
  std::list<std::string> from_list{"stale"};
  auto list = ListValue::GetInstance();
  list->Append(Str("a"));
  list->Append(Str("b"));
  boost::optional<std::string> maybe;
  boost::optional<std::string> from_optional;
  boost::optional<std::string> from_empty_optional{"stale"};
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Convert(Str("one"), &texts, messages));
  EXPECT_TRUE(Convert(Str("set"), &maybe, messages));
  EXPECT_TRUE(
      Convert<MaybeText>(OptionalValue::GetInstance(Str("inner")), &from_optional, messages));
  EXPECT_TRUE(Convert<MaybeText>(VoidValue::GetInstance(), &from_optional, messages));
  EXPECT_TRUE(Convert(list, &from_list, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(texts, std::list<std::string>{"one"});
  EXPECT_EQ(from_list, (std::list<std::string>{"a", "b"}));
  EXPECT_EQ(maybe.value_or(""), "set");
  EXPECT_EQ(from_optional.value_or(""), "inner");

  // A plain value of the wrong kind sets the optional and its own conversion fails.
  EXPECT_FALSE(Convert<MaybeText>(DataValue::Create(true), &maybe, messages));
  EXPECT_EQ(Ids(messages), std::list<std::string>{"ormi.data.value.type.mismatch"});
}

TEST(ValueToNative, MapsComeFromStructuresOrMapEntryListsAndTheFirstRepeatedKeyWins) {
  auto structure = StructValue::GetInstance("whatever");
  structure->SetField("a", Str("1"));
  structure->SetField("b", Str("2"));
  auto entries = ListValue::GetInstance(ListKind::kMap);
  entries->Append(MapEntry("k", Str("first")));
  entries->Append(MapEntry("j", Str("other")));
  entries->Append(MapEntry("k", Str("second")));
  std::map<std::string, std::string> from_structure{{"stale", "x"}};
  std::map<std::string, std::string> from_list{{"stale", "x"}};
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Convert<Labels>(structure, &from_structure, messages));
  EXPECT_TRUE(Convert<Labels>(entries, &from_list, messages));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(from_structure, (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));
  EXPECT_EQ(from_list, (std::map<std::string, std::string>{{"j", "other"}, {"k", "first"}}));

  // A key that is no string value is read as a string is: a date-time gives its text, an
  // integer stops the conversion.
  auto odd_keys = ListValue::GetInstance(ListKind::kMap);
  for (ValuePtr key :
       {ValuePtr(DateTimeValue::GetInstance(DateTime())), DataValue::Create<std::int64_t>(7)}) {
    auto entry = StructValue::GetInstance("map-entry");
    entry->SetField("key", std::move(key));
    entry->SetField("value", Str("v"));
    odd_keys->Append(entry);
    Labels from_odd_keys;
    EXPECT_EQ(Convert<Labels>(odd_keys, &from_odd_keys, messages),
              odd_keys->elements().size() == 1);
    EXPECT_EQ(from_odd_keys.count("1970-01-01T00:00:00.000Z"), 1U);
  }
  EXPECT_EQ(Ids(messages), std::list<std::string>{"ormi.data.value.type.mismatch"});
}

TEST(ValueToNative, MapAndListMismatchesStopTheConversion) {
  struct Case {
    ValuePtr value;
    char const* id = nullptr;
  };
  auto bad_list = ListValue::GetInstance(ListKind::kMap);
  bad_list->Append(Str("not an entry"));
  for (Case const& c :
       {Case{DataValue::Create<std::int64_t>(7), "ormi.data.invalid.type"},
        Case{Str("text"), "ormi.data.bad.cast1"}, Case{bad_list, "ormi.data.invalid.type"}}) {
    // Run the map step with another step pending: the step must drop it.
    Labels labels;
    std::string pending;
    std::list<BaseMessage> messages;
    ValueToNativeAdapter::WorkList work;
    ValuePtr const pending_value = Str("pending");
    work.Push(pending_value, ValueToNativeAdapter::AdaptMethod<std::string>::Get(), &pending);
    ValueToNativeAdapter::AdaptMethod<Labels>::Get()(&c.value, &labels, work, messages);
    EXPECT_TRUE(work.items.empty()) << c.id;
    EXPECT_EQ(Ids(messages), std::list<std::string>{c.id});
  }
  std::list<std::string> texts;
  std::list<BaseMessage> messages;
  EXPECT_FALSE(Convert<std::list<std::string>>(DataValue::Create(true), &texts, messages));
  EXPECT_EQ(Ids(messages), std::list<std::string>{"ormi.data.invalid.type"});
}

TEST(ValueToNative, AStructureMismatchLeavesOnlyThatStructureUnfilled) {
  auto leaves = ListValue::GetInstance();
  leaves->Append(LeafValue("a"));
  leaves->Append(Str("not a leaf"));
  leaves->Append(DataValue::Create(true));
  leaves->Append(LeafValue("d"));
  std::list<std::shared_ptr<Leaf const>> native;
  std::list<BaseMessage> messages;
  EXPECT_FALSE(Convert<std::list<std::shared_ptr<Leaf const>>>(leaves, &native, messages));
  // The last element is converted first.
  EXPECT_EQ(Ids(messages),
            (std::list<std::string>{"ormi.data.invalid.type", "ormi.data.bad.cast1"}));
  EXPECT_EQ(messages.back().args, std::list<std::string>{"not a leaf"});
  ASSERT_EQ(native.size(), 4U);
  EXPECT_EQ(native.front()->text, "a");
  EXPECT_EQ(native.back()->text, "d");
}

TEST(ValueToNative, EnumerationsKeepUnrecognisedStrings) {
  struct Case {
    char const* text = nullptr;
    Colour::Enum value = Colour::_UNKNOWN;
    char const* kept = nullptr;
  };
  for (Case const& c : {Case{"GREEN", Colour::GREEN, ""}, Case{"_UNKNOWN", Colour::_UNKNOWN, ""},
                        Case{"green", Colour::_UNKNOWN, "green"}, Case{"", Colour::_UNKNOWN, ""}}) {
    Colour colour(Colour::RED, "stale");
    std::list<BaseMessage> messages;
    EXPECT_TRUE(Convert(Str(c.text), &colour, messages));
    EXPECT_EQ(colour.value(), c.value) << c.text;
    EXPECT_EQ(colour.unknownText(), c.kept) << c.text;
  }
  boost::optional<Colour> maybe;
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Convert(Str(""), &maybe, messages));
  EXPECT_FALSE(maybe);
  Colour colour;
  EXPECT_FALSE(Convert(DataValue::Create<std::int64_t>(1), &colour, messages));
}

TEST(ValueToNative, UndeclaredFieldsAreCollectedAndMissingOptionalsStayUnset) {
  auto value = LeafValue("t");
  auto extra = Str("extra");
  value->SetField("a_first", extra);
  value->SetField("g_middle", extra);
  value->SetField("zz_last", extra);
  Leaf leaf;
  std::list<BaseMessage> messages;
  ASSERT_TRUE(Convert<Leaf>(value, &leaf, messages));
  EXPECT_EQ(leaf.text, "t");
  ASSERT_TRUE(leaf.unknownFields);
  EXPECT_EQ(leaf.unknownFields->name(), "unknownFields");
  std::list<std::string> names;
  for (auto const& field : leaf.unknownFields->fields()) {
    names.emplace_back(field.first);
    EXPECT_EQ(field.second, extra);
  }
  EXPECT_EQ(names, (std::list<std::string>{"a_first", "g_middle", "zz_last"}));

  // As many fields as declared, but one of them undeclared in place of a missing optional.
  auto ping = StructValue::GetInstance("com.norval.hyrn.test.ping");
  ping->SetField("pung", extra);
  Ping native_ping;
  ASSERT_TRUE(Convert<Ping>(ping, &native_ping, messages));
  EXPECT_FALSE(native_ping.pong);
  ASSERT_TRUE(native_ping.unknownFields);
  ASSERT_EQ(native_ping.unknownFields->fields().size(), 1U);
  EXPECT_EQ(native_ping.unknownFields->fields().begin()->first, "pung");

  // The declared name in text of its own, not the generated code's, is still declared.
  auto named = StructValue::GetInstance("com.norval.hyrn.test.ping");
  named->SetField(std::string("pong"), OptionalValue::GetInstance());
  Ping named_ping;
  ASSERT_TRUE(Convert<Ping>(named, &named_ping, messages));
  EXPECT_FALSE(named_ping.pong);
  EXPECT_FALSE(named_ping.unknownFields);
}

// The conversion's steps point into the source tree instead of sharing its values; what the
// object keeps of the tree (dynamic members, dynamic map values, unknown fields) must be shared
// so that it outlives the tree.
TEST(ValueToNative, WhatTheObjectKeepsOfTheSourceOutlivesIt) {
  auto payload = LeafValue("kept");
  AllKinds native;
  std::list<BaseMessage> messages;
  {
    AllKinds source;
    source.leaf = std::make_shared<Leaf>();
    source.message = std::make_shared<LocalizableMessage>();
    source.anything = DynamicStructure(payload);
    source.maybe_anything = DynamicStructure(payload);
    source.dynamic_by_name["k"] = DynamicStructure(payload);
    ValuePtr value;
    ASSERT_TRUE(ToValue(source, &value, messages));
    std::const_pointer_cast<StructValue>(std::static_pointer_cast<StructValue const>(value))
        ->SetField("x_unknown", payload);
    ASSERT_TRUE(Convert<AllKinds>(value, &native, messages));
  }
  payload.reset();  // the object alone holds the leaf now
  ASSERT_TRUE(native.maybe_anything && native.unknownFields);
  for (ValuePtr const& kept :
       {native.anything.value(), native.maybe_anything->value(),
        native.dynamic_by_name.at("k").value(), native.unknownFields->fields().at("x_unknown")}) {
    ASSERT_TRUE(kept);
    EXPECT_TRUE(Equal(*kept, *LeafValue("kept")));
  }
  // The map's entry started as the default dynamic structure, which all defaults share: it was
  // replaced, not filled in.
  auto const& empty = static_cast<StructValue const&>(*DynamicStructure().value());
  EXPECT_EQ(empty.name(), "emptyDynStr");
  EXPECT_TRUE(empty.fields().empty());
}

}  // namespace
}  // namespace Ormi::Data
