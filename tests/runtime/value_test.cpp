#include "ormi/data/value.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ormi/data/value_arena.h"
#include "sample_values.h"

namespace Ormi::Data {
namespace {

// In an arena scope or not; a list's chunks are then placed in the arena, and the list is
// read and released after the scope has ended.
TEST(ValueSlots, KeepTheirAddressWhileManyAreAdded) {
  for (bool const in_arena : {false, true}) {
    std::shared_ptr<StructValue> structure;
    std::shared_ptr<ListValue> list;
    {
      std::unique_ptr<ValueArenaScope> scope;
      if (in_arena) scope = std::make_unique<ValueArenaScope>();
      structure = StructValue::GetInstance("s");
      ValuePtr& field = structure->FieldSlot("m");
      list = ListValue::GetInstance();
      ValuePtr& element = list->AppendSlot();
      for (int i = 0; i < 10000; ++i) {
        structure->FieldSlot("f" + std::to_string(i)) = IntegerValue::GetInstance(i);
        list->Append(IntegerValue::GetInstance(i));
      }
      field = StringValue::GetInstance("field");
      element = StringValue::GetInstance("element");
    }

    std::list<BaseMessage> messages;
    ValuePtr read;
    ASSERT_TRUE(structure->GetField("m", &read, messages));
    std::string text;
    EXPECT_TRUE(read->Value(&text, messages));
    EXPECT_EQ(text, "field");
    EXPECT_TRUE(list->elements().front()->Value(&text, messages));
    EXPECT_EQ(text, "element");
    ASSERT_EQ(list->elements().size(), 10001u);
    EXPECT_EQ(static_cast<IntegerValue const&>(*list->elements()[10000]).value(), 9999);
    EXPECT_TRUE(messages.empty());
  }
}

// Reserved room that turns out too small, and a second reservation made part-way, must neither
// move a slot nor lose the name order.
TEST(ValueSlots, ReservedStorageKeepsAddressesAndOrderWhenOutgrown) {
  auto structure = StructValue::GetInstance("s");
  auto list = ListValue::GetInstance();
  structure->ReserveFields(3);
  list->Reserve(3);
  std::vector<ValuePtr*> field_slots;
  std::vector<ValuePtr*> element_slots;
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) {
    names.push_back("field_" + std::to_string((i * 17) % 40));  // not in name order
    if (i == 5) structure->ReserveFields(12);
    field_slots.push_back(&structure->FieldSlot(names.back()));
    element_slots.push_back(&list->AppendSlot());
  }
  for (int i = 0; i < 40; ++i) {
    *field_slots[i] = IntegerValue::GetInstance(i);
    *element_slots[i] = IntegerValue::GetInstance(i);
  }
  EXPECT_EQ(&structure->FieldSlot(names[7]), field_slots[7]);  // found, not added again
  ASSERT_EQ(structure->fields().size(), 40u);
  ASSERT_EQ(list->elements().size(), 40u);
  std::sort(names.begin(), names.end());
  std::vector<std::string> order;
  for (auto const& field : structure->fields()) order.emplace_back(field.first);
  EXPECT_EQ(order, names);
  EXPECT_EQ(structure->fields().find("field_40"), structure->fields().end());
  EXPECT_THROW(structure->fields().at("field_x"), std::out_of_range);
  for (int i = 0; i < 40; ++i) {
    auto const& field = static_cast<IntegerValue const&>(
        *structure->fields().at("field_" + std::to_string((i * 17) % 40)));
    auto const& element = static_cast<IntegerValue const&>(*list->elements()[i]);
    EXPECT_EQ(field.value(), i);
    EXPECT_EQ(element.value(), i);
  }
}

// Declared fields placed by their place in name order: the map reads as empty until the last
// is in, then as if each had been added by name; unknown fields added afterwards fall in
// between. With or without room reserved, in an arena or not. On a map that already holds
// fields, placing is adding by name.
TEST(ValueSlots, PlacedFieldsReadInNameOrderOnceAllAreIn) {
  static constexpr char const* kDeclared[] = {"name", "enabled", "state", "level", "count"};
  static constexpr std::size_t kPlaces[] = {3, 1, 4, 2, 0};
  constexpr std::size_t kCount = 5;
  for (bool const in_arena : {false, true}) {
    for (bool const reserved : {false, true}) {
      std::unique_ptr<ValueArenaScope> scope;
      if (in_arena) scope = std::make_unique<ValueArenaScope>();
      auto structure = StructValue::GetInstance("s");
      if (reserved) structure->ReserveFields(kCount + 2);
      std::vector<ValuePtr*> slots;
      for (std::size_t i = 0; i < kCount; ++i) {
        EXPECT_TRUE(structure->fields().empty()) << i;
        slots.push_back(&structure->PlaceLastingField(kDeclared[i], kPlaces[i], kCount));
      }
      for (std::size_t i = 0; i < kCount; ++i) *slots[i] = IntegerValue::GetInstance(int64_t(i));
      structure->SetField("extra", IntegerValue::GetInstance(10));
      structure->SetField("zzz", IntegerValue::GetInstance(11));
      std::vector<std::string> names;
      for (auto const& field : structure->fields()) names.emplace_back(field.first);
      EXPECT_EQ(names, (std::vector<std::string>{"count", "enabled", "extra", "level", "name",
                                                 "state", "zzz"}));
      for (std::size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(&structure->FieldSlot(kDeclared[i]), slots[i]) << kDeclared[i];
      }
      // Now that it holds fields, a placement finds the field by its name.
      EXPECT_EQ(&structure->PlaceLastingField("level", 0, kCount), slots[3]);
      EXPECT_EQ(structure->fields().size(), kCount + 2);
    }
  }
}

// Copied names must outlive the text they were given in, whether they went to room reserved
// for them, to a block's name room or spilled into pieces (long names, many fields), in an
// arena or not; a lasting name is referred to, not copied, and is found by other text that
// spells it.
TEST(ValueFieldNames, CopiesOutliveTheirSourceAndLastingNamesAreShared) {
  static constexpr char kLasting[] = "lasting_field";
  std::vector<std::string> given;
  std::size_t given_bytes = 0;
  for (int i = 0; i < 300; ++i) {
    // Lengths from 1 to 40, so that some names overflow any room left.
    given.push_back(std::string(1 + (i * 7) % 40, static_cast<char>('a' + i % 26)) +
                    std::to_string(i));
    given_bytes += given.back().size();
  }
  for (bool const in_arena : {false, true}) {
    for (bool const reserved : {false, true}) {
      std::shared_ptr<StructValue> structure;
      {
        std::unique_ptr<ValueArenaScope> scope;
        if (in_arena) scope = std::make_unique<ValueArenaScope>();
        structure = StructValue::GetInstance("s");
        if (reserved) structure->ReserveFields(given.size() + 1, given_bytes);
        structure->LastingFieldSlot(kLasting) = IntegerValue::GetInstance(-1);
        for (std::size_t i = 0; i < given.size(); ++i) {
          std::string name = given[i];
          structure->FieldSlot(name) = IntegerValue::GetInstance(static_cast<int64_t>(i));
          std::fill(name.begin(), name.end(), '#');  // the source text changes after the copy
        }
      }
      std::vector<std::string> expected = given;
      expected.emplace_back(kLasting);
      std::sort(expected.begin(), expected.end());
      std::vector<std::string> names;
      for (auto const& field : structure->fields()) names.emplace_back(field.first);
      EXPECT_EQ(names, expected) << "in arena: " << in_arena << ", reserved: " << reserved;
      auto const found = structure->fields().find(std::string(kLasting));
      ASSERT_NE(found, structure->fields().end());
      EXPECT_EQ(found->first.data(), kLasting);
      EXPECT_EQ(&structure->LastingFieldSlot(kLasting), &structure->FieldSlot("lasting_field"));
    }
  }
}

TEST(ValueFields, GetFieldReportsNameAndStructure) {
  auto structure = StructValue::GetInstance("com.example.spec");
  structure->SetField("host", StringValue::GetInstance("h"));
  std::list<BaseMessage> messages;
  ValuePtr read = StringValue::GetInstance("untouched");
  EXPECT_FALSE(structure->GetField("port", &read, messages));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages.front().id, "ormi.data.field.not.found");
  EXPECT_EQ(messages.front().args, (std::list<std::string>{"port", "com.example.spec"}));
  EXPECT_EQ(messages.front().defaultMessage, "Field port not found in structure com.example.spec.");
  EXPECT_EQ(read->kind(), ValueKind::kString);  // unchanged on failure
  EXPECT_TRUE(structure->GetField("host", &read, messages));
  EXPECT_EQ(messages.size(), 1u);
  // Fields are kept in name order whatever the insertion order.
  structure->SetField("a", VoidValue::GetInstance());
  EXPECT_EQ(structure->fields().begin()->first, "a");
}

// A few fields are found by a scan that compares sizes and first bytes before the rest: names
// that agree in either must still be told apart.
TEST(ValueFields, FindTellsApartNamesThatShareSizeOrFirstByte) {
  auto structure = StructValue::GetInstance("s");
  std::vector<std::string> const names{"", "a", "ab", "ac", "ba", "abc", "abd", "x"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    structure->SetField(names[i], IntegerValue::GetInstance(static_cast<std::int64_t>(i)));
  }
  auto const& fields = structure->fields();
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto const found = fields.find(names[i]);
    ASSERT_NE(found, fields.end()) << names[i];
    EXPECT_EQ(found->first, names[i]);
    EXPECT_EQ(static_cast<IntegerValue const&>(*found->second).value(), static_cast<int>(i));
  }
  for (char const* missing : {"b", "bb", "abe", "ca", "xa"}) {
    EXPECT_EQ(fields.find(missing), fields.end()) << missing;
    EXPECT_EQ(fields.find(missing, 1), fields.end()) << missing;
  }
  // A place to look first finds the same field whether it is right, wrong or out of range.
  for (std::size_t i = 0; i < names.size(); ++i) {
    for (std::size_t expected :
         {std::size_t{0}, i, names.size() - 1, names.size(), ~std::size_t{0}}) {
      EXPECT_EQ(fields.find(names[i], expected), fields.find(names[i])) << names[i];
    }
  }
}

TEST(ValueRead, ValueReadsExactKindsOnly) {
  std::list<BaseMessage> messages;
  std::string text;
  bool flag = false;
  DateTime date_time;
  Void nothing;
  std::int64_t integer = 0;
  double real = 0;
  EXPECT_TRUE(DataValue::Create<std::string>("abc")->Value(&text, messages));
  EXPECT_EQ(text, "abc");
  EXPECT_TRUE(DataValue::Create(true)->Value(&flag, messages));
  EXPECT_TRUE(flag);
  EXPECT_TRUE(DataValue::Create(Void())->Value(&nothing, messages));
  EXPECT_TRUE(DataValue::Create<std::int64_t>(-7)->Value(&integer, messages));
  EXPECT_EQ(integer, -7);
  EXPECT_TRUE(DataValue::Create(2.5)->Value(&real, messages));
  EXPECT_EQ(real, 2.5);
  auto const stamp = DateTime::FromMillisecondsSinceEpoch(1234567);
  auto const date_value = DataValue::Create(stamp);
  EXPECT_TRUE(date_value->Value(&date_time, messages));
  EXPECT_EQ(date_time, stamp);
  // A date-time also reads as its text.
  EXPECT_TRUE(date_value->Value(&text, messages));
  EXPECT_EQ(text, "1970-01-01T00:20:34.567Z");
  EXPECT_TRUE(messages.empty());

  flag = false;
  EXPECT_FALSE(DataValue::Create<std::string>("true")->Value(&flag, messages));
  EXPECT_FALSE(flag);
  EXPECT_FALSE(
      DataValue::Create<std::string>("2026-12-06T08:35:27.123Z")->Value(&date_time, messages));
  EXPECT_FALSE(DataValue::Create(1.0)->Value(&integer, messages));
  EXPECT_FALSE(ListValue::GetInstance()->Value(&text, messages));
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages.front().id, "ormi.data.value.type.mismatch");
  EXPECT_EQ(messages.front().args, (std::list<std::string>{"boolean", "string"}));
  EXPECT_EQ(messages.back().args, (std::list<std::string>{"string", "list"}));
  EXPECT_EQ(messages.back().defaultMessage, "Expected a value of kind string, got list.");
}

TEST(ValueRead, CastReadsStringForms) {
  std::list<BaseMessage> messages;
  bool flag = true;
  DateTime date_time;
  Void nothing;
  std::string text;
  EXPECT_TRUE(StringValue::GetInstance("false")->Cast(&flag, messages));
  EXPECT_FALSE(flag);
  EXPECT_TRUE(StringValue::GetInstance("2026-12-06T08:35:27.123Z")->Cast(&date_time, messages));
  EXPECT_EQ(date_time.ToString(), "2026-12-06T08:35:27.123Z");
  EXPECT_TRUE(StringValue::GetInstance("")->Cast(&nothing, messages));
  EXPECT_TRUE(BooleanValue::GetInstance(true)->Cast(&flag, messages));  // not a string: as Value
  EXPECT_TRUE(flag);
  EXPECT_TRUE(DateTimeValue::GetInstance(date_time)->Cast(&text, messages));
  EXPECT_TRUE(messages.empty());

  EXPECT_FALSE(StringValue::GetInstance("TRUE")->Cast(&flag, messages));
  EXPECT_FALSE(StringValue::GetInstance("2026-02-30T00:00:00Z")->Cast(&date_time, messages));
  EXPECT_FALSE(StringValue::GetInstance(" ")->Cast(&nothing, messages));
  EXPECT_FALSE(IntegerValue::GetInstance(1)->Cast(&flag, messages));
  EXPECT_FALSE(BooleanValue::GetInstance(true)->Cast(&text, messages));
  ASSERT_EQ(messages.size(), 5u);
  auto message = messages.begin();
  EXPECT_EQ(message->id, "ormi.data.bad.cast");
  EXPECT_EQ(message->args, (std::list<std::string>{"TRUE", "boolean"}));
  EXPECT_EQ((++message)->args, (std::list<std::string>{"2026-02-30T00:00:00Z", "date-time"}));
  EXPECT_EQ((++message)->args, (std::list<std::string>{" ", "void"}));
  EXPECT_EQ((++message)->id, "ormi.data.value.type.mismatch");
  EXPECT_EQ(date_time.ToString(), "2026-12-06T08:35:27.123Z");  // unchanged on failure

  // Only the two words read as a boolean: no other spelling, number or blank.
  for (char const* other : {"True", "1", "0", "yes", "", "true "}) {
    messages.clear();
    flag = true;
    EXPECT_FALSE(StringValue::GetInstance(other)->Cast(&flag, messages)) << other;
    EXPECT_TRUE(flag) << other;
    ASSERT_EQ(messages.size(), 1u) << other;
    EXPECT_EQ(messages.front().args, (std::list<std::string>{other, "boolean"}));
  }
}

// A long reads from its decimal text over the whole 64-bit range and from an integer value;
// text with anything else, or out of range, is refused and leaves the number as it was.
TEST(ValueRead, CastReadsALongFromItsDecimalText) {
  std::list<BaseMessage> messages;
  std::int64_t number = 7;
  EXPECT_TRUE(StringValue::GetInstance("-9223372036854775808")->Cast(&number, messages));
  EXPECT_EQ(number, std::numeric_limits<std::int64_t>::min());
  EXPECT_TRUE(StringValue::GetInstance("9223372036854775807")->Cast(&number, messages));
  EXPECT_EQ(number, std::numeric_limits<std::int64_t>::max());
  EXPECT_TRUE(IntegerValue::GetInstance(-42)->Cast(&number, messages));
  EXPECT_EQ(number, -42);
  EXPECT_TRUE(messages.empty());

  for (char const* text : {"9223372036854775808", "-9223372036854775809", "", " 1", "1 ", "12x",
                           "0x10", "1.5", "1e3"}) {
    messages.clear();
    EXPECT_FALSE(StringValue::GetInstance(text)->Cast(&number, messages)) << text;
    ASSERT_EQ(messages.size(), 1u) << text;
    EXPECT_EQ(messages.front().id, "ormi.data.bad.cast");
    EXPECT_EQ(messages.front().args, (std::list<std::string>{text, "integer"}));
  }
  EXPECT_EQ(number, -42);
  EXPECT_FALSE(BooleanValue::GetInstance(true)->Cast(&number, messages));
}

TEST(ValueError, CarriesMessagesAsLocalizableMessages) {
  std::list<BaseMessage> const sent{{"a.b", "First.", {}}, {"c.d", "Second x.", {"x", "y"}}};
  auto const error = ErrorValue::Create("com.norval.ormi.std.errors.not_found", sent);
  EXPECT_EQ(error->kind(), ValueKind::kError);
  EXPECT_EQ(error->messages(), sent);

  std::list<BaseMessage> messages;
  ValuePtr list;
  ASSERT_TRUE(error->GetField("messages", &list, messages));
  auto const& elements = static_cast<ListValue const&>(*list).elements();
  ASSERT_EQ(elements.size(), 2u);
  auto const& second = static_cast<StructValue const&>(*elements.back());
  EXPECT_EQ(second.name(), "com.norval.ormi.std.localizable_message");
  ValuePtr args;
  ASSERT_TRUE(second.GetField("args", &args, messages));
  EXPECT_EQ(static_cast<ListValue const&>(*args).listKind(), ListKind::kPlain);
  ValuePtr data;
  ASSERT_TRUE(error->GetField("data", &data, messages));
  EXPECT_FALSE(static_cast<OptionalValue const&>(*data).isSet());

  auto const empty = ErrorValue::GetInstance("com.norval.ormi.std.errors.error");
  EXPECT_TRUE(empty->messages().empty());
  EXPECT_TRUE(empty->HasField("messages") && empty->HasField("data"));
}

// Records which visit operation a value calls.
class KindRecorder : public ValueVisitor {
 public:
  std::string seen;
  void VisitVoid(VoidValue const&) override { seen = "void"; }
  void VisitInteger(IntegerValue const&) override { seen = "integer"; }
  void VisitDouble(DoubleValue const&) override { seen = "double"; }
  void VisitBoolean(BooleanValue const&) override { seen = "boolean"; }
  void VisitBlob(BlobValue const&) override { seen = "blob"; }
  void VisitString(StringValue const&) override { seen = "string"; }
  void VisitSecret(SecretValue const&) override { seen = "secret"; }
  void VisitError(ErrorValue const&) override { seen = "error"; }
  void VisitOptional(OptionalValue const&) override { seen = "optional"; }
  void VisitList(ListValue const&) override { seen = "list"; }
  void VisitStruct(StructValue const&) override { seen = "structure"; }
};

TEST(ValueKinds, AcceptCallsTheVisitOfItsKind) {
  for (auto const& sample : Testing::SampleValues()) {
    KindRecorder recorder;
    sample.second->Accept(recorder);
    // A date-time is visited as a string, every other kind under its own name.
    ValueKind const kind = sample.second->kind();
    EXPECT_EQ(recorder.seen, KindName(kind == ValueKind::kDateTime ? ValueKind::kString : kind))
        << sample.first;
  }
  // The runtime's kind numbers.
  EXPECT_EQ(static_cast<int>(StringValue::GetInstance("")->kind()), 5);
  EXPECT_EQ(static_cast<int>(ListValue::GetInstance()->kind()), 8);
  EXPECT_EQ(static_cast<int>(StructValue::GetInstance("")->kind()), 9);
  EXPECT_EQ(static_cast<int>(ErrorValue::GetInstance("e")->kind()), 6);
  EXPECT_STREQ(KindName(ValueKind::kReserved), "unknown");
}

TEST(ValueEqual, ComparesDeeply) {
  auto const samples = Testing::SampleValues();
  auto const again = Testing::SampleValues();
  for (std::size_t i = 0; i < samples.size(); ++i) {
    for (std::size_t j = 0; j < samples.size(); ++j) {
      EXPECT_EQ(Equal(*samples[i].second, *again[j].second), i == j)
          << samples[i].first << " vs " << again[j].first;
    }
  }
  // One changed leaf deep inside makes the trees differ.
  auto const a = Testing::NestedSample();
  auto b = std::const_pointer_cast<DataValue>(Testing::NestedSample());
  auto& b_struct = static_cast<StructValue&>(*b);
  auto tags = ListValue::GetInstance();
  tags->Append(StringValue::GetInstance("a"));
  tags->Append(StringValue::GetInstance("x"));
  b_struct.SetField("tags", tags);
  EXPECT_FALSE(Equal(*a, *b));
  // The same value under another field name makes the structures differ.
  auto const holding = [](char const* field) {
    auto structure = StructValue::GetInstance("s");
    structure->SetField(field, IntegerValue::GetInstance(1));
    return structure;
  };
  EXPECT_TRUE(Equal(*holding("a"), *holding("a")));
  EXPECT_FALSE(Equal(*holding("a"), *holding("b")));
}

}  // namespace
}  // namespace Ormi::Data
