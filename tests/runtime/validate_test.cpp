#include "ormi/data/definition.h"

#include <gtest/gtest.h>

#include <vector>

#include "sample_values.h"

namespace Ormi::Data {
namespace {

// The texts of the messages that validation appends.
std::vector<std::string> Problems(DataDefinition const& definition, DataValue const& value,
                                  std::string const& root = "") {
  std::list<BaseMessage> messages;
  bool const ok = Validate(definition, value, messages, root);
  EXPECT_EQ(ok, messages.empty());
  std::vector<std::string> texts;
  for (BaseMessage const& message : messages) {
    EXPECT_EQ(message.id, "ormi.data.validation.failed");
    EXPECT_EQ(message.args, std::list<std::string>{message.defaultMessage});
    texts.push_back(message.defaultMessage);
  }
  return texts;
}

using Texts = std::vector<std::string>;

TEST(Validate, ScalarDefinitionsAcceptExactlyTheirKind) {
  DateTime date_time;
  struct Case {
    DefinitionPtr definition;
    ValuePtr good;
    ValuePtr bad;
    char const* problem;
  } const cases[] = {
      {VoidDefinition::GetInstance(), VoidValue::GetInstance(), StringValue::GetInstance(""),
       ": expected void, got a string"},
      {IntegerDefinition::GetInstance(), IntegerValue::GetInstance(1), DoubleValue::GetInstance(1),
       ": expected an integer, got a double"},
      {DoubleDefinition::GetInstance(), DoubleValue::GetInstance(1), IntegerValue::GetInstance(1),
       ": expected a double, got an integer"},
      {BooleanDefinition::GetInstance(), BooleanValue::GetInstance(false),
       StringValue::GetInstance("false"), ": expected a boolean, got a string"},
      {BlobDefinition::GetInstance(), BlobValue::GetInstance("x"), StringValue::GetInstance("x"),
       ": expected a blob, got a string"},
      {StringDefinition::GetInstance(), StringValue::GetInstance("x"),
       DateTimeValue::GetInstance(date_time), ": expected a string, got a date-time"},
      {SecretDefinition::GetInstance(), SecretValue::GetInstance("x"),
       StringValue::GetInstance("x"), ": expected a secret, got a string"},
      {DateTimeDefinition::GetInstance(), StringValue::GetInstance("2026-12-06T08:35:27Z"),
       StringValue::GetInstance("2026-02-30T00:00:00Z"),
       ": expected a date-time, got the string \"2026-02-30T00:00:00Z\""},
      {DateTimeDefinition::GetInstance(), DateTimeValue::GetInstance(date_time),
       BooleanValue::GetInstance(true), ": expected a date-time, got a boolean"},
      {DynamicStructureDefinition::GetInstance(), ErrorValue::GetInstance("e"),
       ListValue::GetInstance(), ": expected a structure, got a list"},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(Problems(*c.definition, *c.good), Texts{}) << c.problem;
    EXPECT_EQ(Problems(*c.definition, *c.bad), Texts{c.problem});
  }
}

TEST(Validate, ContainersCheckEveryPart) {
  auto const string = StringDefinition::GetInstance();
  auto const optional = OptionalDefinition::GetInstance(string);
  EXPECT_EQ(Problems(*optional, *OptionalValue::GetInstance()), Texts{});
  EXPECT_EQ(Problems(*optional, *OptionalValue::GetInstance(IntegerValue::GetInstance(1)), "x"),
            Texts{"x: expected a string, got an integer"});
  EXPECT_EQ(Problems(*optional, *StringValue::GetInstance("plain")),
            Texts{": expected an optional value, got a string"});

  auto const list_def = ListDefinition::GetInstance(string);
  auto list = ListValue::GetInstance();
  list->Append(StringValue::GetInstance("a"));
  list->Append(BooleanValue::GetInstance(true));
  list->Append(IntegerValue::GetInstance(2));
  EXPECT_EQ(Problems(*list_def, *list, "tags"),
            (Texts{"tags[1]: expected a string, got a boolean",
                   "tags[2]: expected a string, got an integer"}));
  EXPECT_EQ(Problems(*list_def, *ListValue::GetInstance(ListKind::kMap)), Texts{});
}

TEST(Validate, StructuresNeedTheirNameAndEveryField) {
  auto const def = StructDefinition::GetInstance(
      "a.b",
      {{"host", StringDefinition::GetInstance()}, {"port", IntegerDefinition::GetInstance()}});
  auto value = StructValue::GetInstance("a.b");
  value->SetField("host", BooleanValue::GetInstance(true));
  // Unknown fields are accepted, before, between and after the declared ones.
  for (char const* unknown : {"extra", "ip", "zone"}) {
    value->SetField(unknown, VoidValue::GetInstance());
  }
  EXPECT_EQ(Problems(*def, *value),
            (Texts{"host: expected a string, got a boolean", "port: missing field"}));
  EXPECT_EQ(Problems(*def, *StructValue::GetInstance("c.d")),
            Texts{": expected structure \"a.b\", got structure \"c.d\""});
  // A field named like the declared one but for one byte is another field, whatever the
  // byte and the length of the names (short names are compared without memcmp).
  Testing::ForFieldsNamedButForOneByte(
      [](DataDefinition const& one, DataValue const& near, std::string const& declared) {
        EXPECT_EQ(Problems(one, near), Texts{declared + ": missing field"});
      });

  auto list = ListValue::GetInstance();
  for (int i = 0; i < 3; ++i) {
    auto element = StructValue::GetInstance("a.b");
    element->SetField("host", StringValue::GetInstance("h"));
    if (i != 2) element->SetField("port", IntegerValue::GetInstance(i));
    list->Append(element);
  }
  EXPECT_EQ(Problems(*ListDefinition::GetInstance(def), *list), Texts{"[2].port: missing field"});
  // An error value carries fields like a structure and is checked the same way.
  auto const error_def = StructDefinition::GetInstance(
      "com.norval.ormi.std.errors.not_found",
      {{"messages", ListDefinition::GetInstance(DynamicStructureDefinition::GetInstance())},
       {"data", OptionalDefinition::GetInstance(DynamicStructureDefinition::GetInstance())}});
  EXPECT_EQ(Problems(*error_def, *ErrorValue::Create("com.norval.ormi.std.errors.not_found",
                                                     {{"id", "text", {}}})),
            Texts{});
}

TEST(Validate, MapEntriesAreNamedByTheirKey) {
  auto const entry = StructDefinition::GetInstance(
      "map-entry", {{"key", StringDefinition::GetInstance()},
                    {"value", OptionalDefinition::GetInstance(StringDefinition::GetInstance())}});
  auto const spec =
      StructDefinition::GetInstance("spec", {{"components", ListDefinition::GetInstance(entry)}});
  auto components = ListValue::GetInstance(ListKind::kMap);
  components->Append(Testing::MapEntry("c0", OptionalValue::GetInstance()));
  components->Append(Testing::MapEntry("c1", ListValue::GetInstance()));
  auto no_value = StructValue::GetInstance("map-entry");
  no_value->SetField("key", StringValue::GetInstance("c2"));
  components->Append(no_value);
  auto bad_key = StructValue::GetInstance("map-entry");
  bad_key->SetField("key", IntegerValue::GetInstance(3));
  bad_key->SetField("value", OptionalValue::GetInstance());
  components->Append(bad_key);
  auto value = StructValue::GetInstance("spec");
  value->SetField("components", components);
  EXPECT_EQ(Problems(*spec, *value, "spec"),
            (Texts{"spec.components[\"c1\"]: expected an optional value, got a list",
                   "spec.components[\"c2\"].value: missing field",
                   "spec.components[3].key: expected a string, got an integer"}));
}

TEST(Validate, StructRefValidatesRecursiveValues) {
  auto const ref = StructRefDefinition::GetInstance("node");
  EXPECT_EQ(Problems(*ref, *StructValue::GetInstance("node")),
            Texts{": structure reference \"node\" has no target"});
  auto const node = StructDefinition::GetInstance(
      "node",
      {{"name", StringDefinition::GetInstance()}, {"next", OptionalDefinition::GetInstance(ref)}});
  ref->SetTarget(node);

  // name = "n0" -> "n1" -> "n2" (whose name is wrong) -> unset
  ValuePtr tail = OptionalValue::GetInstance();
  for (int i = 2; i >= 0; --i) {
    auto current = StructValue::GetInstance("node");
    current->SetField("name", i == 2 ? ValuePtr(IntegerValue::GetInstance(2))
                                     : StringValue::GetInstance("n" + std::to_string(i)));
    current->SetField("next", tail);
    tail = OptionalValue::GetInstance(current);
  }
  auto const& head = static_cast<OptionalValue const&>(*tail).value();
  EXPECT_EQ(Problems(*node, *head, "root"),
            Texts{"root.next.next.name: expected a string, got an integer"});
  EXPECT_EQ(Problems(*ref, *StructValue::GetInstance("other")),
            Texts{": expected structure \"node\", got structure \"other\""});
}

TEST(Validate, StopsAfterOneHundredProblems) {
  auto list = ListValue::GetInstance();
  for (int i = 0; i < 1000; ++i) list->Append(IntegerValue::GetInstance(i));
  auto const texts = Problems(*ListDefinition::GetInstance(StringDefinition::GetInstance()), *list);
  ASSERT_EQ(texts.size(), 100u);
  EXPECT_EQ(texts.back(), "[99]: expected a string, got an integer");
}

}  // namespace
}  // namespace Ormi::Data
