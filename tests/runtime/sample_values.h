// Sample values of every kind, shared by the round-trip tests.
#pragma once

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace Ormi::Data::Testing {

inline ValuePtr MapEntry(std::string key, ValuePtr value) {
  auto entry = StructValue::GetInstance("map-entry");
  entry->SetField("key", StringValue::GetInstance(std::move(key)));
  entry->SetField("value", std::move(value));
  return entry;
}

// Calls `check(definition, value, declared)` for structures "one" that declare one integer
// field, named `declared`, and values whose one field is named the same but for one byte: for
// names of 1 to 20 bytes and each position of the byte.
template <typename Check>
void ForFieldsNamedButForOneByte(Check check) {
  for (std::size_t size = 1; size <= 20; ++size) {
    std::string const declared(size, 'n');
    auto const one =
        StructDefinition::GetInstance("one", {{declared, IntegerDefinition::GetInstance()}});
    for (std::size_t at = 0; at < size; ++at) {
      std::string other = declared;
      other[at] = 'm';
      auto near = StructValue::GetInstance("one");
      near->SetField(other, IntegerValue::GetInstance(1));
      check(*one, *near, declared);
    }
  }
}

// A structure touching every container kind and several scalars.
inline ValuePtr NestedSample() {
  auto spec = StructValue::GetInstance("com.norval.hyrn.host_settings.config_spec");
  auto components = ListValue::GetInstance(ListKind::kMap);
  components->Append(MapEntry("c1", OptionalValue::GetInstance(StringValue::GetInstance("v1"))));
  components->Append(MapEntry("c2", OptionalValue::GetInstance()));
  spec->SetField("components", components);
  auto tags = ListValue::GetInstance(ListKind::kPlain);
  tags->Append(StringValue::GetInstance("a"));
  tags->Append(StringValue::GetInstance(""));
  spec->SetField("tags", tags);
  spec->SetField("enabled", BooleanValue::GetInstance(false));
  spec->SetField("empty", StructValue::GetInstance("emptyDynStr"));
  return spec;
}

// One named value of every kind, with the edge cases that a lossy form would lose.
inline std::vector<std::pair<std::string, ValuePtr>> SampleValues() {
  DateTime date_time;
  DateTime::Parse("2026-12-06T08:35:27.123Z", &date_time);
  std::list<BaseMessage> messages{{"ormi.data.invalid.type", "text", {}},
                                  {"x.y", "with \"quotes\"", {"a", "b"}}};
  return {
      {"void", VoidValue::GetInstance()},
      {"integer", IntegerValue::GetInstance(-42)},
      {"integer_max", IntegerValue::GetInstance(std::numeric_limits<std::int64_t>::max())},
      {"integer_min", IntegerValue::GetInstance(std::numeric_limits<std::int64_t>::min())},
      {"double_whole", DoubleValue::GetInstance(1.0)},
      {"double_fraction", DoubleValue::GetInstance(0.1)},
      {"double_nan", DoubleValue::GetInstance(std::nan(""))},
      {"double_inf", DoubleValue::GetInstance(-std::numeric_limits<double>::infinity())},
      {"boolean", BooleanValue::GetInstance(true)},
      {"blob", BlobValue::GetInstance(std::string("\0\xff\x10 ab", 6))},
      {"blob_empty", BlobValue::GetInstance("")},
      {"string", StringValue::GetInstance("line\n\"quoted\" \\ tab\t \xc3\xa9")},
      {"string_empty", StringValue::GetInstance("")},
      {"string_like_tag", StringValue::GetInstance("$void")},
      {"date_time", DateTimeValue::GetInstance(date_time)},
      {"date_text", StringValue::GetInstance("2026-12-06T08:35:27.123Z")},
      {"secret", SecretValue::GetInstance("hunter2")},
      {"optional_unset", OptionalValue::GetInstance()},
      {"optional_void", OptionalValue::GetInstance(VoidValue::GetInstance())},
      {"optional_optional", OptionalValue::GetInstance(OptionalValue::GetInstance())},
      {"list_empty", ListValue::GetInstance(ListKind::kPlain)},
      {"map_empty", ListValue::GetInstance(ListKind::kMap)},
      {"list_other_kind", ListValue::GetInstance(static_cast<ListKind>(7))},
      {"struct_empty", StructValue::GetInstance("")},
      {"error", ErrorValue::Create("com.norval.ormi.std.errors.not_found", messages)},
      {"nested", NestedSample()},
  };
}

}  // namespace Ormi::Data::Testing
