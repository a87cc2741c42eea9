// The rules of the plain JSON form that its writer, its reader and its schema share, and the
// test of one part of a value that validation and the writer share (internal to ormi_core).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <boost/utility/string_view.hpp>

#include "ormi/data/definition.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"

namespace Ormi::Data::Detail {

// The member of a structure's object that holds the fields its definition does not declare.
constexpr char kUnknownFieldsKey[] = "$unknown";
// The tag of an error value in the canonical form, which marks an error in a structure's place.
constexpr char kErrorKey[] = "$error";

// The value kind a scalar definition accepts; kReserved for any other definition.
inline ValueKind ScalarKindOf(DataDefinition const& definition) {
  return definition.kind() == DefinitionKind::kScalar
             ? static_cast<ScalarDefinition const&>(definition).valueKind()
             : ValueKind::kReserved;
}

// The structure definition that `definition` stands for: itself, a reference's target, or null
// (another kind, or a reference without target).
inline StructDefinition const* StructureOf(DataDefinition const& definition) {
  if (definition.kind() == DefinitionKind::kStructure) {
    return static_cast<StructDefinition const*>(&definition);
  }
  if (definition.kind() == DefinitionKind::kStructRef) {
    return static_cast<StructRefDefinition const&>(definition).target().get();
  }
  return nullptr;
}

// Whether a string value reads as a date-time.
bool IsDateTimeText(DataValue const& value);

// Whether `value` (of kind `value_kind`) itself is what `definition` (of kind `kind`) asks for,
// its parts aside: the test that validation makes of every part of a value (validate.cpp), and
// the plain writer of each part it writes. A date-time may be given as a string that reads as
// one. For a structure or a reference to one, `*structure` is set to the structure definition.
inline bool Matches(DataDefinition const& definition, DefinitionKind kind, DataValue const& value,
                    ValueKind value_kind, StructDefinition const** structure) {
  switch (kind) {
    case DefinitionKind::kOptional:
      return value_kind == ValueKind::kOptional;
    case DefinitionKind::kList:
      return value_kind == ValueKind::kList;
    case DefinitionKind::kStructure:
    case DefinitionKind::kStructRef:
      *structure = kind == DefinitionKind::kStructure
                       ? static_cast<StructDefinition const*>(&definition)
                       : static_cast<StructRefDefinition const&>(definition).target().get();
      return *structure &&
             (value_kind == ValueKind::kStructure || value_kind == ValueKind::kError) &&
             static_cast<CompoundValue const&>(value).name() == (*structure)->name();
    case DefinitionKind::kDynamicStructure:
      return value_kind == ValueKind::kStructure || value_kind == ValueKind::kError;
    case DefinitionKind::kScalar:
      break;
  }
  ValueKind const wanted = static_cast<ScalarDefinition const&>(definition).valueKind();
  if (wanted == ValueKind::kDateTime && value_kind == ValueKind::kString) {
    return IsDateTimeText(value);
  }
  return value_kind == wanted;
}

// The `Block` (an unsigned integer) made of the bytes at `from`.
template <typename Block>
Block LoadBlock(char const* from) {
  Block block;
  std::memcpy(&block, from, sizeof block);
  return block;
}

// Whether two texts of `size` bytes, from sizeof(Block) to twice that, are equal: compared in
// two overlapping blocks, the first and the last.
template <typename Block>
bool SameBlocks(char const* a, char const* b, std::size_t size) {
  std::size_t const last = size - sizeof(Block);
  return ((LoadBlock<Block>(a) ^ LoadBlock<Block>(b)) |
          (LoadBlock<Block>(a + last) ^ LoadBlock<Block>(b + last))) == 0;
}

// Whether two texts are equal. Field names are short: up to 16 bytes they are compared
// without a call to memcmp.
inline bool SameText(std::string_view a, std::string_view b) {
  std::size_t const size = a.size();
  if (size != b.size()) return false;
  if (size > 16) return std::memcmp(a.data(), b.data(), size) == 0;
  if (size >= 8) return SameBlocks<std::uint64_t>(a.data(), b.data(), size);
  if (size >= 4) return SameBlocks<std::uint32_t>(a.data(), b.data(), size);
  return size == 0 || (a[0] == b[0] && a[size / 2] == b[size / 2] && a[size - 1] == b[size - 1]);
}

// Whether a structure, value or definition, is named as a map entry.
inline bool IsMapEntryName(std::string const& name) { return SameText(name, MapEntry::kName); }

// The key and the value of a map entry: a "map-entry" structure whose "key" is a string. Null
// key (and value) otherwise; the value is null when the entry has none. An entry's two fields
// are looked for first where they lie in name order.
struct MapEntryParts {
  std::string const* key = nullptr;
  DataValue const* value = nullptr;
};
inline MapEntryParts PartsOfMapEntry(DataValue const& element) {
  if (element.kind() != ValueKind::kStructure) return {};
  auto const& entry = static_cast<CompoundValue const&>(element);
  if (!IsMapEntryName(entry.name())) return {};
  auto const& fields = entry.fields();
  bool const in_place = fields.size() == 2 && SameText(fields.begin()[0].first, MapEntry::kKey) &&
                        SameText(fields.begin()[1].first, MapEntry::kValue);
  auto const key = in_place ? fields.begin() : fields.find(MapEntry::kKey);
  auto const value = in_place ? fields.begin() + 1 : fields.find(MapEntry::kValue);
  if (key == fields.end() || !key->second || key->second->kind() != ValueKind::kString) return {};
  return {&static_cast<StringValue const&>(*key->second).value(),
          value != fields.end() ? value->second.get() : nullptr};
}

// When `list` is a map (its elements are "map-entry" structures of a string "key" and a
// "value"), the definition of its values; otherwise null.
inline DataDefinition const* MapValueOf(ListDefinition const& list) {
  StructDefinition const* entry = list.element() ? StructureOf(*list.element()) : nullptr;
  if (!entry || !IsMapEntryName(entry->name()) || entry->fields().size() != 2) return nullptr;
  // Two fields in name order: "key", then "value".
  auto const key = entry->fields().begin();
  auto const value = std::next(key);
  if (!SameText(key->first, MapEntry::kKey) || !SameText(value->first, MapEntry::kValue) ||
      !key->second || ScalarKindOf(*key->second) != ValueKind::kString) {
    return nullptr;
  }
  return value->second.get();
}

// Whether a set optional of `optional` is written as an array of its one value: when the value
// itself may be written null (void, another optional), which would read back as unset.
inline bool WrapsValue(OptionalDefinition const& optional) {
  DataDefinition const* element = optional.element().get();
  return element && (ScalarKindOf(*element) == ValueKind::kVoid ||
                     element->kind() == DefinitionKind::kOptional);
}

// The position of the first of `items` (from `begin` on) whose key an earlier one has, or
// items.size() when every key is once; `key_of(item)` is an item's key, `order` scratch. Keys in
// ascending order (those of a sorted native map, or as the writer writes them) are once each;
// otherwise positions are sorted by key and then position, so the second of each repeated key
// follows its first.
template <typename Items, typename KeyOf>
std::size_t SecondOfRepeatedKey(Items const& items, std::size_t begin, KeyOf key_of,
                                std::vector<std::size_t>& order) {
  using Item = typename Items::value_type;
  auto const first = items.begin() + static_cast<std::ptrdiff_t>(begin);
  auto const ascending = [&](Item const& a, Item const& b) { return key_of(a) < key_of(b); };
  if (std::adjacent_find(first, items.end(), std::not_fn(ascending)) == items.end()) {
    return items.size();
  }
  order.resize(items.size() - begin);
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = begin + i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    int const by_key = key_of(items[a]).compare(key_of(items[b]));
    return by_key != 0 ? by_key < 0 : a < b;
  });
  std::size_t second = items.size();
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (key_of(items[order[i]]) == key_of(items[order[i - 1]])) {
      second = std::min(second, order[i]);
    }
  }
  return second;
}

// Reads plain JSON text in the plain form of every part, in one pass
// (plain_json_read_direct.cpp). False, with no message and `out` unchanged, for any text it does
// not read; the tree reader then reads that text or says what is wrong with it.
bool ReadPlainDirect(boost::string_view text, JsonLimits const& limits,
                     DataDefinition const& definition, ValuePtr* out);

}  // namespace Ormi::Data::Detail
