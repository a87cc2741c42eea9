#include "ormi/data/plain_json.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "sample_values.h"
#include "small_stack.h"

namespace Ormi::Data {
namespace {

using Testing::MapEntry;

DefinitionPtr Optional(DefinitionPtr element) {
  return OptionalDefinition::GetInstance(std::move(element));
}
DefinitionPtr List(DefinitionPtr element) {
  return ListDefinition::GetInstance(std::move(element));
}
DefinitionPtr Map(DefinitionPtr value) {
  return List(StructDefinition::GetInstance(
      "map-entry", {{"key", StringDefinition::GetInstance()}, {"value", std::move(value)}}));
}

// One field of every definition kind.
std::shared_ptr<StructDefinition const> Spec() {
  return StructDefinition::GetInstance(
      "spec", {{"anything", DynamicStructureDefinition::GetInstance()},
               {"components", Map(Optional(StringDefinition::GetInstance()))},
               {"count", IntegerDefinition::GetInstance()},
               {"data", BlobDefinition::GetInstance()},
               {"enabled", BooleanDefinition::GetInstance()},
               {"maybe", Optional(Optional(StringDefinition::GetInstance()))},
               {"nothing", Optional(VoidDefinition::GetInstance())},
               {"password", SecretDefinition::GetInstance()},
               {"ratio", DoubleDefinition::GetInstance()},
               {"tags", List(StringDefinition::GetInstance())},
               {"version", Optional(StringDefinition::GetInstance())},
               {"when", DateTimeDefinition::GetInstance()}});
}

// A tree node that contains itself through an optional and a list.
struct NodeDefinition {
  NodeDefinition() {
    auto const ref = StructRefDefinition::GetInstance("node");
    node = StructDefinition::GetInstance("node", {{"name", StringDefinition::GetInstance()},
                                                  {"child", Optional(ref)},
                                                  {"children", List(ref)}});
    ref->SetTarget(node);
  }
  std::shared_ptr<StructDefinition const> node;
};

ValuePtr Some(ValuePtr value) { return OptionalValue::GetInstance(std::move(value)); }
ValuePtr Text(std::string text) { return StringValue::GetInstance(std::move(text)); }

DateTime When(char const* text) {
  DateTime date_time;
  EXPECT_TRUE(DateTime::Parse(text, &date_time)) << text;
  return date_time;
}

// A value of Spec(); `change` adjusts it before it is returned.
ValuePtr SpecValue(std::function<void(StructValue&)> const& change = {}) {
  auto spec = StructValue::GetInstance("spec");
  auto anything = StructValue::GetInstance("extra");
  anything->SetField("n", IntegerValue::GetInstance(1));
  spec->SetField("anything", anything);
  auto components = ListValue::GetInstance(ListKind::kMap);
  components->Append(MapEntry("c1", Some(Text("v1"))));
  components->Append(MapEntry("c2", OptionalValue::GetInstance()));
  spec->SetField("components", components);
  spec->SetField("count", IntegerValue::GetInstance(-42));
  spec->SetField("data", BlobValue::GetInstance(std::string("\0\xff", 2)));
  spec->SetField("enabled", BooleanValue::GetInstance(true));
  spec->SetField("maybe", Some(Some(Text("x"))));
  spec->SetField("nothing", OptionalValue::GetInstance());
  spec->SetField("password", SecretValue::GetInstance("hunter2"));
  spec->SetField("ratio", DoubleValue::GetInstance(0.5));
  auto tags = ListValue::GetInstance();
  tags->Append(Text("a"));
  tags->Append(Text(""));
  spec->SetField("tags", tags);
  spec->SetField("version", OptionalValue::GetInstance());
  spec->SetField("when", DateTimeValue::GetInstance(When("2026-12-06T08:35:27.123Z")));
  if (change) change(*spec);
  return spec;
}

std::string Texts(std::list<BaseMessage> const& messages) {
  std::string text;
  for (auto const& message : messages) text += message.id + ": " + message.defaultMessage + "\n";
  return text;
}

std::string Write(DataValue const& value, DataDefinition const& definition) {
  std::list<BaseMessage> messages;
  std::string text;
  EXPECT_TRUE(ToPlainJson(value, definition, &text, messages)) << Texts(messages);
  return text;
}

// Reads `text`; the value, or null with the messages in `problems`.
ValuePtr Read(std::string const& text, DataDefinition const& definition,
              std::string* problems = nullptr, JsonLimits const& limits = {}) {
  std::list<BaseMessage> messages;
  ValuePtr value;
  bool const ok = FromPlainJson(text, definition, &value, messages, limits);
  EXPECT_EQ(ok, messages.empty()) << Texts(messages);
  EXPECT_EQ(ok, value != nullptr);
  if (problems) *problems = Texts(messages);
  return value;
}

// Writes, reads back, checks the value read is equal and valid, and that it writes the same.
void ExpectRoundTrip(DataValue const& value, DataDefinition const& definition) {
  std::string const text = Write(value, definition);
  std::string problems;
  ValuePtr const back = Read(text, definition, &problems);
  ASSERT_NE(back, nullptr) << text << "\n" << problems;
  EXPECT_TRUE(Equal(value, *back)) << text << "\n" << ToJson(value) << "\n" << ToJson(*back);
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Validate(definition, *back, messages)) << Texts(messages);
  EXPECT_EQ(Write(*back, definition), text);
}

TEST(PlainJson, WritesTheDocumentedForm) {
  EXPECT_EQ(Write(*SpecValue(), *Spec()),
            R"({"anything":{"$struct":"extra","fields":{"n":1}},)"
            R"("components":{"c1":"v1","c2":null},"count":-42,"data":"AP8=","enabled":true,)"
            R"("maybe":["x"],"nothing":null,"password":"hunter2","ratio":0.5,"tags":["a",""],)"
            R"("version":null,"when":"2026-12-06T08:35:27.123Z"})");
}

// Each case is one part of a value that a careless mapping would lose or confuse.
TEST(PlainJson, EdgeValuesRoundTrip) {
  auto const spec = Spec();
  auto const set = [](char const* field, ValuePtr const& value) {
    return SpecValue([=](StructValue& s) { s.SetField(field, value); });
  };
  auto escaped = ListValue::GetInstance(ListKind::kMap);
  for (char const* key : {"quote\"back\\slash", "line\nfeed", "\xc3\xa9\xe2\x82\xac", "", "$x"}) {
    escaped->Append(MapEntry(key, Some(Text(key))));
  }
  auto error_anything = ErrorValue::Create("e.not_found", {{"a.b", "Not found: x.", {"x"}}});
  // Before, among and after the declared fields in name order.
  auto unknown = SpecValue([](StructValue& s) {
    s.SetField("a_new", IntegerValue::GetInstance(1));
    s.SetField("o_new", Text("o"));
    s.SetField("x_new", ListValue::GetInstance(static_cast<ListKind>(7)));
    s.SetField("y_new", DateTimeValue::GetInstance(When("2001-02-03T04:05:06.007Z")));
  });
  std::vector<std::pair<char const*, ValuePtr>> const cases = {
      {"map keys needing escapes", set("components", escaped)},
      {"empty map", set("components", ListValue::GetInstance(ListKind::kMap))},
      {"empty list", set("tags", ListValue::GetInstance())},
      {"unicode and control text", set("tags",
                                       [] {
                                         auto tags = ListValue::GetInstance();
                                         tags->Append(Text("\xf0\x9f\x99\x82 \x01\t\"\\/"));
                                         return tags;
                                       }())},
      {"set empty string", set("version", Some(Text("")))},
      {"optional of optional, set and unset", set("maybe", Some(OptionalValue::GetInstance()))},
      {"optional of optional, unset", set("maybe", OptionalValue::GetInstance())},
      {"optional of void, set", set("nothing", Some(VoidValue::GetInstance()))},
      {"integer minimum", set("count", IntegerValue::GetInstance(INT64_MIN))},
      {"integer maximum", set("count", IntegerValue::GetInstance(INT64_MAX))},
      {"double fraction", set("ratio", DoubleValue::GetInstance(0.1))},
      {"double large", set("ratio", DoubleValue::GetInstance(1.7976931348623157e308))},
      {"double whole", set("ratio", DoubleValue::GetInstance(1e15))},
      {"double NaN", set("ratio", DoubleValue::GetInstance(std::nan("")))},
      {"double -infinity",
       set("ratio", DoubleValue::GetInstance(-std::numeric_limits<double>::infinity()))},
      {"empty blob", set("data", BlobValue::GetInstance(""))},
      {"date-time without fraction",
       set("when", DateTimeValue::GetInstance(When("0001-01-01T00:00:00Z")))},
      {"dynamic structure holding every kind", set("anything",
                                                   [] {
                                                     auto any = StructValue::GetInstance("any");
                                                     for (auto const& sample :
                                                          Testing::SampleValues())
                                                       any->SetField(sample.first, sample.second);
                                                     return any;
                                                   }())},
      {"error as a dynamic structure", set("anything", error_anything)},
      {"fields the definition does not declare", unknown},
  };
  for (auto const& c : cases) {
    SCOPED_TRACE(c.first);
    ExpectRoundTrip(*c.second, *spec);
  }
}

// Declared names are written as keys made when the definition is built: each is escaped like
// any text, whatever its length, and reads back as the same field.
TEST(PlainJson, DeclaredNamesNeedingEscapesRoundTrip) {
  std::string const long_name(40, 'n');
  std::vector<std::string> const names = {"",     "quote\"back\\slash",   "line\nfeed",
                                          "\x01", "\xc3\xa9\xe2\x82\xac", long_name};
  StructDefinition::Fields fields;
  auto const value = StructValue::GetInstance("odd");
  for (std::size_t i = 0; i < names.size(); ++i) {
    fields[names[i]] = IntegerDefinition::GetInstance();
    value->SetField(names[i], IntegerValue::GetInstance(static_cast<std::int64_t>(i)));
  }
  auto const odd = StructDefinition::GetInstance("odd", std::move(fields));
  EXPECT_EQ(Write(*value, *odd), R"({"":0,"\u0001":3,"line\nfeed":2,)" + ("\"" + long_name) +
                                     R"(":5,"quote\"back\\slash":1,)"
                                     "\"\xc3\xa9\xe2\x82\xac\":4}");
  ExpectRoundTrip(*value, *odd);
}

// Each structure writes the fields its definition does not declare under its own "$unknown",
// whether they come before or after a nested structure that has some of its own.
TEST(PlainJson, UndeclaredFieldsStayWithTheirStructure) {
  NodeDefinition const tree;
  auto const node = [](char const* name) {
    auto value = StructValue::GetInstance("node");
    value->SetField("name", Text(name));
    value->SetField("children", ListValue::GetInstance());
    value->SetField("child", OptionalValue::GetInstance());
    return value;
  };
  auto child = node("c");
  child->SetField("b", IntegerValue::GetInstance(2));
  auto parent = node("p");
  parent->SetField("a_x", IntegerValue::GetInstance(1));
  parent->SetField("child", Some(child));
  parent->SetField("z", IntegerValue::GetInstance(3));
  EXPECT_EQ(Write(*parent, *tree.node),
            R"({"child":{"child":null,"children":[],"name":"c","$unknown":{"b":2}},"children":[],)"
            R"("name":"p","$unknown":{"a_x":1,"z":3}})");
  ExpectRoundTrip(*parent, *tree.node);
}

// A dynamic part is written whole, as a text of its own, while the writer's text is open:
// after the writer's text has outgrown its buffer, and again after a smaller text.
TEST(PlainJson, PartsWrittenWholeInsideALargerTextKeepBothTexts) {
  auto const definition = StructDefinition::GetInstance(
      "holder", {{"big", StringDefinition::GetInstance()},
                 {"dynamic", DynamicStructureDefinition::GetInstance()},
                 {"end", StringDefinition::GetInstance()}});
  auto part = StructValue::GetInstance("part");
  part->SetField("inner", Text(std::string(6000, 'i')));
  for (std::size_t const size : {std::size_t{10000}, std::size_t{3}, std::size_t{10000}}) {
    auto holder = StructValue::GetInstance("holder");
    holder->SetField("big", Text(std::string(size, 'b')));
    holder->SetField("dynamic", part);
    holder->SetField("end", Text("end"));
    std::string const text = Write(*holder, *definition);
    EXPECT_EQ(text, R"({"big":")" + std::string(size, 'b') + R"(","dynamic":)" + ToJson(*part) +
                        R"(,"end":"end"})");
    ExpectRoundTrip(*holder, *definition);
  }
}

// An error value where a structure is expected keeps its canonical form.
TEST(PlainJson, ErrorsTravelInTheCanonicalForm) {
  auto const error_definition = StructDefinition::GetInstance(
      "e.not_found", {{"messages", List(DynamicStructureDefinition::GetInstance())},
                      {"data", Optional(DynamicStructureDefinition::GetInstance())}});
  auto const error = ErrorValue::Create("e.not_found", {{"a.b", "Not found: x.", {"x"}}});
  std::string const text = Write(*error, *error_definition);
  EXPECT_EQ(text, ToJson(*error));
  ExpectRoundTrip(*error, *error_definition);

  std::string problems;
  EXPECT_EQ(Read(R"({"$error":"e.other","fields":{}})", *error_definition, &problems), nullptr);
  EXPECT_EQ(problems,
            "ormi.data.validation.failed: : expected structure \"e.not_found\", got error "
            "\"e.other\"\n");
}

TEST(PlainJson, ReadingIsLenientWhereHarmless) {
  auto const spec = Spec();
  // Optional fields left out, members in any order, blanks, whole numbers as doubles and
  // integers written with a fraction or exponent.
  std::string problems;
  ValuePtr const value = Read(R"( { "when" : "2026-12-06T08:35:27.1Z", "tags" : [ ],
      "ratio" : 2, "password" : "", "enabled" : false, "data" : "", "count" : 3.0E2,
      "components" : { }, "anything" : {"fields":{},"$struct":"s"} } )",
                              *spec, &problems);
  ASSERT_NE(value, nullptr) << problems;
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Validate(*spec, *value, messages)) << Texts(messages);
  auto const& fields = static_cast<StructValue const&>(*value).fields();
  for (char const* optional : {"maybe", "nothing", "version"}) {
    EXPECT_FALSE(static_cast<OptionalValue const&>(*fields.at(optional)).isSet()) << optional;
  }
  EXPECT_EQ(static_cast<IntegerValue const&>(*fields.at("count")).value(), 300);
  EXPECT_EQ(static_cast<DoubleValue const&>(*fields.at("ratio")).value(), 2.0);
  EXPECT_EQ(static_cast<StringValue const&>(*fields.at("when")).value(),
            "2026-12-06T08:35:27.100Z");
}

// Every class of reading error gives one message with the path into the input and what was
// expected there; the value is not stored.
TEST(PlainJson, ReadingErrorsNameThePathAndWhatWasExpected) {
  auto const spec = Spec();
  std::string const valid = Write(*SpecValue(), *spec);
  auto const with = [&](std::string const& from, std::string const& to) {
    std::string text = valid;
    std::size_t const at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  std::string const invalid = "ormi.data.plain.json.invalid: Plain JSON at ";
  struct Case {
    std::string text;
    std::string expected;
  } const cases[] = {
      {"[]", invalid + "the top level: expected an object (structure \"spec\"), got an array"},
      {with("\"count\":-42,", ""), invalid + "count: missing required field"},
      {with("\"enabled\"", "\"enabeld\""),
       invalid +
           "enabeld: unknown field; the fields of structure \"spec\" are anything, "
           "components, count, data, enabled, maybe, nothing, password, ratio, tags, "
           "version, when\n" +
           invalid + "enabled: missing required field"},
      {with(R"("v1")", "1"),
       invalid + R"(components["c1"]: expected a string or null, got a number)"},
      {with(R"(["a",""])", R"(["a",false])"),
       invalid + "tags[1]: expected a string, got a boolean"},
      {with(R"("components":{)", R"("components":[)"),
       "ormi.data.json.malformed: Malformed JSON at 1:68: syntax error"},
      {with(R"("c2")", R"("c1")"),
       R"(ormi.data.json.malformed: Malformed JSON at 1:77: duplicate key "c1")"},
      {with(".123Z", ".123+01:00"),
       invalid + R"(when: not a date-time: "2026-12-06T08:35:27.123+01:00" (expected RFC 3339 in )"
                 R"(UTC, such as "2026-12-06T08:35:27.123Z"))"},
      {with(R"("AP8=")", R"("AP8")"),
       invalid + R"(data: not base64 (padded, standard alphabet): "AP8")"},
      {with("-42", "1.5"), invalid + "count: expected an integer, got a fraction"},
      {with("-42", "9223372036854775808"), invalid + "count: the integer is out of range"},
      {with("0.5", R"("half")"),
       invalid + R"(ratio: expected a number, "NaN", "Infinity" or "-Infinity", got a string)"},
      {with(R"("hunter2")", "null"), invalid + "password: expected a string, got null"},
      {with(R"(["x"])", R"("x")"),
       invalid + "maybe: expected null or an array of one value, got a string"},
      {with(R"("nothing":null)", R"("nothing":[0])"),
       invalid + "nothing: expected null, got a number"},
      {with(R"({"$struct":"extra","fields":{"n":1}})", R"({"n":1})"),
       "ormi.data.json.invalid: JSON at anything is not a value: unknown tag n"},
      {with(R"({"$struct":"extra","fields":{"n":1}})", R"({"$optional":null})"),
       invalid + "anything: expected a structure in the canonical JSON form, got a value of kind "
                 "optional"},
      {with(R"("when")", R"("$unknown":{"count":1},"when")"),
       invalid + R"($unknown.count: a declared field; write it outside "$unknown")"},
      {with(R"("when")", R"("$unknown":{"x":{"$what":1}},"when")"),
       "ormi.data.json.invalid: JSON at $unknown.x is not a value: unknown tag $what"},
  };
  for (auto const& c : cases) {
    std::string problems;
    EXPECT_EQ(Read(c.text, *spec, &problems), nullptr) << c.text;
    EXPECT_EQ(problems, c.expected + "\n") << c.text;
  }

  // Paths run through structures, lists, map keys and optionals.
  NodeDefinition const tree;
  std::string problems;
  EXPECT_EQ(Read(R"({"name":"a","children":[{"name":"b","children":[]},
                   {"name":"c","children":[],"child":{"name":7,"children":{}}}]})",
                 *tree.node, &problems),
            nullptr);
  EXPECT_EQ(problems, invalid + "children[1].child.name: expected a string, got a number\n" +
                          invalid +
                          "children[1].child.children: expected an array, got an object\n");
}

// A text in the plain form of every part is read in one pass; any other goes to the tree
// reader, which an undeclared member such as an empty "$unknown" forces. Both must read the
// same texts to the same values, and refuse the same texts.
TEST(PlainJson, TheOnePassReaderAgreesWithTheTreeReader) {
  auto fields = Spec()->fields();
  fields.erase("anything");  // a dynamic structure is left to the tree reader
  NodeDefinition const tree;
  fields.emplace("node", Optional(tree.node));
  auto const spec = StructDefinition::GetInstance("spec", fields);
  auto const through_tree = [](std::string text) {
    return text.insert(text.find('{') + 1, R"("$unknown":{},)");
  };
  std::string const long_text(5000, 'x');
  std::string const escaped = [] {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "\\n\\u00e9";
    return text;
  }();
  std::string const valid[] = {
      R"({"components":{"c1":"v1","c2":null},"count":-42,"data":"AP8=","enabled":true,)"
      R"("maybe":["x"],"nothing":null,"password":"hunter2","ratio":0.5,"tags":["a",""],)"
      R"("version":null,"when":"2026-12-06T08:35:27.123Z"})",
      // Another order, optionals left out or set to what may itself be null, keys out of
      // order, integers and large unsigned numbers for a double, named doubles.
      R"( { "when" : "0001-01-01T00:00:00Z", "tags" : [ ], "ratio" : 18446744073709551615,
        "password" : "", "enabled" : false, "data" : "", "count" : -9223372036854775808,
        "components" : { "b" : "1", "a" : null, "" : "" }, "maybe" : [null],
        "nothing" : [null] } )",
      R"({"components":{},"count":9223372036854775807,"data":"AAECAw==","enabled":true,)"
      R"("maybe":null,"password":"\u0000\"","ratio":"-Infinity","tags":[")" +
          long_text + R"(",")" + escaped +
          R"("],"when":"2026-12-06T08:35:27.1Z",)"
          R"("node":{"name":"a","child":{"name":"b","children":[]},)"
          R"("children":[{"name":"c","children":[{"name":"d","children":[]}]}]}})",
      R"({"count":0,"data":"","enabled":true,"password":"","ratio":"NaN","tags":[],)"
      R"("when":"2026-12-06T08:35:27Z",")" +
          escaped + R"(":1})",
  };
  for (std::size_t i = 0; i + 1 < std::size(valid); ++i) {
    SCOPED_TRACE(valid[i]);
    std::string problems;
    ValuePtr const one_pass = Read(valid[i], *spec, &problems);
    ASSERT_NE(one_pass, nullptr) << problems;
    ValuePtr const from_tree = Read(through_tree(valid[i]), *spec, &problems);
    ASSERT_NE(from_tree, nullptr) << problems;
    EXPECT_TRUE(Equal(*one_pass, *from_tree)) << ToJson(*one_pass) << "\n" << ToJson(*from_tree);
  }
  std::string const& base = valid[0];
  auto const with = [&](std::string const& from, std::string const& to) {
    std::string text = base;
    return text.replace(text.find(from), from.size(), to);
  };
  std::string const refused[] = {
      valid[std::size(valid) - 1],  // a member no structure declares
      with(R"("c2")", R"("c1")"),
      with(R"("count":-42,)", R"("count":-42,"count":-42,)"),
      with(R"("count":-42,)", ""),
      with("-42", "9223372036854775808"),
      with("-42", "1.5"),
      with("-42", R"("1")"),
      with(R"(["x"])", "[]"),
      with(R"(["x"])", R"(["x","y"])"),
      with(R"(["x"])", R"("x")"),
      with(R"("nothing":null)", R"("nothing":[0])"),
      with("true", "null"),
      with(R"("AP8=")", R"("AP8")"),
      with(".123Z", ".123+01:00"),
      with("0.5", R"("half")"),
      with(R"(["a",""])", R"({"a":""})"),
      with(R"({"c1":"v1","c2":null})", R"(["v1"])"),
      with(R"("version":null)", R"("version":{})"),
      with(R"("version":null)", R"("node":{"name":"a","children":[],"child":[]})"),
  };
  for (std::string const& text : refused) {
    EXPECT_EQ(Read(text, *spec), nullptr) << text;
  }
}

// A key an object has twice is refused, however many keys the object has (few are compared one
// by one, more through a table), and only within its own object: an enclosing object's keys
// are kept while an inner one is read, and the same key in two objects is no repeat.
TEST(PlainJson, KeysTwiceInOneObjectAreFoundAtEverySizeAndDepth) {
  auto const maps = Map(Optional(Map(IntegerDefinition::GetInstance())));
  auto const key = [](std::size_t i) { return "key" + std::to_string(100 + i); };
  auto const object = [&](std::size_t count, std::string const& inner, std::size_t inner_at) {
    std::string text = "{";
    for (std::size_t i = 0; i < count; ++i) {
      text += (i == 0 ? "\"" : ",\"") + key(i) + "\":" + (i == inner_at ? inner : "null");
    }
    return text + "}";
  };
  auto const inner = [&](std::size_t count) {
    std::string text = "{";
    for (std::size_t i = 0; i < count; ++i) {
      text += (i == 0 ? "\"" : ",\"") + key(i) + "\":" + std::to_string(i);
    }
    return text + "}";
  };
  for (std::size_t const count : {1U, 7U, 8U, 9U, 12U, 31U, 40U, 200U}) {
    // The inner object last: the outer object's repeat comes right after it.
    std::size_t const inner_at = count % 2 == 0 ? count - 1 : count / 2;
    std::string const text = object(count, inner(count), inner_at);
    std::string problems;
    ValuePtr const value = Read(text, *maps, &problems);
    ASSERT_NE(value, nullptr) << count << ": " << problems;
    EXPECT_EQ(static_cast<ListValue const&>(*value).elements().size(), count);
    for (std::size_t const twice : {std::size_t{0}, count / 2, count - 1}) {
      std::string const repeat = ",\"" + key(twice) + "\":null}";
      std::string const outer_twice = text.substr(0, text.size() - 1) + repeat;
      EXPECT_EQ(Read(outer_twice, *maps, &problems), nullptr) << count << " " << twice;
      EXPECT_NE(problems.find("duplicate key \"" + key(twice) + "\""), std::string::npos)
          << count << " " << twice << ": " << problems;
      std::string const inner_twice =
          inner(count).substr(0, inner(count).size() - 1) + ",\"" + key(twice) + "\":1}";
      std::string const in_inner = object(count, inner_twice, inner_at);
      EXPECT_EQ(Read(in_inner, *maps, &problems), nullptr) << count << " " << twice;
      EXPECT_NE(problems.find("duplicate key \"" + key(twice) + "\""), std::string::npos)
          << count << " " << twice << ": " << problems;
    }
  }
  std::string problems;
  EXPECT_EQ(Read(R"({"k0":null,"k\u0030":null})", *maps, &problems), nullptr);
  EXPECT_NE(problems.find(R"(duplicate key "k0")"), std::string::npos) << problems;
}

// Writing checks each part as it goes: whatever validation rejects is not written, and is
// reported as validation reports it.
TEST(PlainJson, WritingChecksTheValueFirst) {
  auto const spec = Spec();
  auto const without = [](char const* name) {
    auto const full = SpecValue();
    auto partial = StructValue::GetInstance("spec");
    for (auto const& field : static_cast<StructValue const&>(*full).fields()) {
      if (field.first != name) partial->SetField(field.first, field.second);
    }
    return partial;
  };
  auto const set = [](char const* name, ValuePtr value) {
    return SpecValue([&](StructValue& s) { s.SetField(name, value); });
  };
  auto const list_of = [](ListKind kind, ValuePtr element) {
    auto list = ListValue::GetInstance(kind);
    list->Append(std::move(element));
    return list;
  };
  auto entry = StructValue::GetInstance("map-entry");  // its key is an integer
  entry->SetField("key", IntegerValue::GetInstance(1));
  entry->SetField("value", Some(Text("v")));
  auto no_value = StructValue::GetInstance("map-entry");
  no_value->SetField("key", Text("c1"));
  auto wrong_error = ErrorValue::GetInstance("spec");  // no field of the definition
  std::vector<std::pair<std::string, ValuePtr>> const invalid = {
      {"a scalar of another kind", set("count", Text("1"))},
      {"a missing field", without("count")},
      {"a field without value", set("ratio", nullptr)},
      {"a string for a dynamic structure", set("anything", Text("x"))},
      {"a string for an optional", set("version", Text("x"))},
      {"an integer for a list", set("tags", IntegerValue::GetInstance(1))},
      {"an element of another kind", set("tags", list_of(ListKind::kPlain, Some(Text("x"))))},
      {"a map element that is no entry", set("components", list_of(ListKind::kMap, Text("x")))},
      {"a map key that is no string", set("components", list_of(ListKind::kMap, entry))},
      {"a map entry without value", set("components", list_of(ListKind::kMap, no_value))},
      {"an unreadable date-time", set("when", Text("yesterday"))},
      {"an integer for a date-time", set("when", IntegerValue::GetInstance(1))},
      {"a structure of another name", StructValue::GetInstance("other")},
      {"an error whose fields do not match", wrong_error},
  };
  for (auto const& [what, value] : invalid) {
    std::list<BaseMessage> expected;
    EXPECT_FALSE(Validate(*spec, *value, expected)) << what;
    std::list<BaseMessage> messages;
    std::string text = "unchanged";
    EXPECT_FALSE(ToPlainJson(*value, *spec, &text, messages)) << what;
    EXPECT_EQ(Texts(messages), Texts(expected)) << what;
    EXPECT_EQ(text, "unchanged") << what;
  }
  std::list<BaseMessage> messages;
  std::string text;
  EXPECT_FALSE(ToPlainJson(*set("count", Text("1")), *spec, &text, messages));
  EXPECT_EQ(Texts(messages),
            "ormi.data.validation.failed: count: expected an integer, got a string\n");
  // A date-time given as a string that reads as one passes, and is written as it is.
  EXPECT_NE(Write(*set("when", Text("2026-12-06T08:35:27Z")), *spec)
                .find(R"("when":"2026-12-06T08:35:27Z")"),
            std::string::npos);

  // A field named like the declared one but for one byte is not written as that field.
  Testing::ForFieldsNamedButForOneByte(
      [&](DataDefinition const& one, DataValue const& near, std::string const& /*declared*/) {
        messages.clear();
        EXPECT_FALSE(ToPlainJson(near, one, &text, messages));
      });

  // An entry with a field besides its key and value: they are found by name wherever the
  // other one puts them.
  for (char const* other : {"a", "l", "z"}) {
    auto wider = StructValue::GetInstance("map-entry");
    wider->SetField("key", Text("c1"));
    wider->SetField("value", Some(Text("v1")));
    wider->SetField(other, Text("x"));
    auto const written = Write(*SpecValue([&](StructValue& s) {
      s.SetField("components", list_of(ListKind::kMap, wider));
    }),
                               *spec);
    EXPECT_NE(written.find(R"("components":{"c1":"v1"})"), std::string::npos) << other;
  }

  // A repeated key, next to its first or apart from it, in ascending order or not.
  for (auto const& keys : std::vector<std::vector<std::string>>{
           {"k", "k"}, {"a", "k", "k"}, {"k", "a", "k"}, {"z", "k", "a", "k"}}) {
    messages.clear();
    text = "unchanged";
    auto twice = ListValue::GetInstance(ListKind::kMap);
    for (auto const& key : keys) twice->Append(MapEntry(key, Some(Text("v"))));
    EXPECT_FALSE(ToPlainJson(*SpecValue([&](StructValue& s) { s.SetField("components", twice); }),
                             *spec, &text, messages));
    EXPECT_EQ(Texts(messages),
              "ormi.data.plain.json.unwritable: The value cannot be written as plain JSON at "
              "components[\"k\"]: the map has this key twice\n");
    EXPECT_EQ(text, "unchanged");
  }
}

// A structure "link" whose one field "next" holds itself through `wrap` (an optional, a list).
std::shared_ptr<StructDefinition const> Link(DefinitionPtr (*wrap)(DefinitionPtr)) {
  auto const ref = StructRefDefinition::GetInstance("link");
  auto link = StructDefinition::GetInstance("link", {{"next", wrap(ref)}});
  ref->SetTarget(link);
  return link;
}

// A chain of `depth` links, each in the optional "next" of the one before: `depth` JSON levels.
ValuePtr Chain(std::size_t depth) {
  ValuePtr next = OptionalValue::GetInstance();
  for (std::size_t i = 1; i < depth; ++i) {
    auto link = StructValue::GetInstance("link");
    link->SetField("next", next);
    next = Some(link);
  }
  auto link = StructValue::GetInstance("link");
  link->SetField("next", next);
  return link;
}

TEST(PlainJson, LimitsHoldAtTheBoundAndFailOnePast) {
  auto const link = Link(Optional);
  std::string const eight = Write(*Chain(8), *link);
  JsonLimits limits;
  limits.maxDepth = 8;
  std::string problems;
  EXPECT_NE(Read(eight, *link, &problems, limits), nullptr) << problems;
  limits.maxDepth = 7;
  EXPECT_EQ(Read(eight, *link, &problems, limits), nullptr);
  EXPECT_EQ(problems,
            "ormi.data.json.too.deep: JSON nesting at 1:57 exceeds the limit of 7 levels.\n");

  EXPECT_NE(Read(Write(*Chain(512), *link), *link, &problems), nullptr) << problems;
  EXPECT_EQ(Read(Write(*Chain(513), *link), *link, &problems), nullptr);  // 512 by default
  EXPECT_NE(problems.find("limit of 512 levels"), std::string::npos) << problems;

  limits = {};
  limits.maxInputBytes = eight.size();
  EXPECT_NE(Read(eight, *link, &problems, limits), nullptr) << problems;
  limits.maxInputBytes = eight.size() - 1;
  EXPECT_EQ(Read(eight, *link, &problems, limits), nullptr);
  EXPECT_EQ(problems,
            "ormi.data.json.too.large: JSON input of 76 bytes exceeds the limit of 75 "
            "bytes.\n");
}

// A million-deep value is written without recursion; reading it back is refused as too deep
// at the depth ceiling, whatever the limit asks, while a chain within the ceiling reads back.
TEST(PlainJson, MillionDeepValuesWriteAndStayBelowTheDepthCeilingWhenRead) {
  Testing::OnEightMiBStack([] {
    JsonLimits limits;
    limits.maxDepth = std::size_t{1} << 30;
    for (std::size_t const depth : {std::size_t{1000000}, JsonLimits::kMaxDepthCeiling / 2}) {
      struct Shape {
        std::shared_ptr<StructDefinition const> definition;
        ValuePtr innermost;  // "next" of the last link
        std::function<ValuePtr(ValuePtr)> wrap;
        std::size_t size;  // of the text: {"next":null} or {"next":[]} inside each other
      } const shapes[] = {
          {Link(Optional), OptionalValue::GetInstance(), Some, 9 * depth + 4},
          {Link(List), ListValue::GetInstance(),
           [](ValuePtr inner) {
             auto list = ListValue::GetInstance();
             list->Append(std::move(inner));
             return ValuePtr(list);
           },
           11 * depth},
      };
      for (auto const& shape : shapes) {
        ValuePtr next = shape.innermost;
        ValuePtr chain;
        for (std::size_t i = 0; i < depth; ++i) {
          auto link = StructValue::GetInstance("link");
          link->SetField("next", next);
          chain = link;
          next = shape.wrap(std::move(link));
        }
        next.reset();
        std::string const text = Write(*chain, *shape.definition);
        EXPECT_EQ(text.size(), shape.size);
        std::list<BaseMessage> messages;
        ValuePtr back;
        bool const read = FromPlainJson(text, *shape.definition, &back, messages, limits);
        // A link and its optional or list take two levels.
        if (2 * depth > JsonLimits::kMaxDepthCeiling) {
          EXPECT_FALSE(read);
          ASSERT_EQ(messages.size(), 1U);
          EXPECT_EQ(messages.front().id, MessageId::kJsonTooDeep);
          continue;
        }
        ASSERT_TRUE(read) << Texts(messages);
        EXPECT_TRUE(Equal(*chain, *back));
        EXPECT_TRUE(Validate(*shape.definition, *back, messages));
      }
    }
  });
}

// Every structure is one "$defs" entry; two different structures of one name get two.
TEST(PlainJson, SchemaDescribesStructuresOnceAndRefersToThem) {
  NodeDefinition const tree;
  std::string const schema = ToJsonSchema(*tree.node);
  EXPECT_EQ(schema.rfind(R"({"$schema":"https://json-schema.org/draft/2020-12/schema",)"
                         R"("$ref":"#/$defs/node","$defs":{"node":{"title":"node",)",
                         0),
            0u)
      << schema;
  auto const a = StructDefinition::GetInstance("same", {{"x", StringDefinition::GetInstance()}});
  auto const b = StructDefinition::GetInstance("same", {{"y", StringDefinition::GetInstance()}});
  auto const a_again =
      StructDefinition::GetInstance("same", {{"x", StringDefinition::GetInstance()}});
  auto const pair = StructDefinition::GetInstance("pair/~", {{"a", a}, {"b", b}, {"c", a_again}});
  std::string const both = ToJsonSchema(*pair);
  EXPECT_NE(both.find(R"("$ref":"#/$defs/pair~1~0")"), std::string::npos) << both;
  EXPECT_NE(both.find(R"("a":{"$ref":"#/$defs/same"},"b":{"$ref":"#/$defs/same-2"},)"
                      R"("c":{"$ref":"#/$defs/same"})"),
            std::string::npos)
      << both;
  EXPECT_NE(both.find(R"("same-2":{"title":"same")"), std::string::npos) << both;
}

}  // namespace
}  // namespace Ormi::Data
