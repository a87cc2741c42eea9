#include "value_generator.h"

#include <algorithm>
#include <cstdint>

namespace Hyrn::Fuzz {
namespace {

using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)

// Bounds the recursion of the generator itself; deeper values come from `Nest`, which loops.
constexpr int kMaxDepth = 24;
constexpr std::uint8_t kDeviate = 0xF0;  // bytes at or above this deviate
constexpr char kMapEntry[] = "map-entry";

ValuePtr String(std::string text) { return StringValue::GetInstance(std::move(text)); }

// A field named and filled from the input, in that order (argument evaluation order is
// unspecified, and the same input must give the same value with every compiler).
template <typename Fill>
void AddField(CompoundValue& value, std::string const& name, Fill const& fill) {
  value.SetField(name, fill());
}

}  // namespace

ValuePtr ValueGenerator::Make(DataDefinition const& definition, int depth) {
  std::uint8_t const choice = input_.Byte();
  if (choice >= kDeviate) return Deviate(definition, choice - kDeviate, depth);
  return Conform(definition, depth);
}

ValuePtr ValueGenerator::Conform(DataDefinition const& definition, int depth) {
  switch (definition.kind()) {
    case DefinitionKind::kOptional:
      return Optional(static_cast<OptionalDefinition const&>(definition), depth);
    case DefinitionKind::kList:
      return List(static_cast<ListDefinition const&>(definition), depth);
    case DefinitionKind::kStructure:
      return Struct(static_cast<StructDefinition const&>(definition), false, depth);
    case DefinitionKind::kStructRef: {
      auto const target = static_cast<StructRefDefinition const&>(definition).target();
      if (!target || depth > kMaxDepth) return String("");  // an absent structure
      return Struct(*target, false, depth);
    }
    case DefinitionKind::kDynamicStructure: {
      auto value = StructValue::GetInstance(Text());
      for (std::uint8_t n = input_.Byte() % 4; n > 0; --n)
        AddField(*value, Text(), [&] { return Any(depth + 1); });
      return value;
    }
    case DefinitionKind::kScalar:
      return Scalar(static_cast<ScalarDefinition const&>(definition).valueKind(), depth);
  }
  return Any(depth);
}

ValuePtr ValueGenerator::Scalar(ValueKind kind, int depth) {
  switch (kind) {
    case ValueKind::kString:
      return String(Text());
    case ValueKind::kDateTime:
      return DateTime();
    case ValueKind::kBoolean:
      return BooleanValue::GetInstance((input_.Byte() & 1) != 0);
    case ValueKind::kInteger:
      return IntegerValue::GetInstance(input_.Integer());
    case ValueKind::kVoid:
      return VoidValue::GetInstance();
    default:
      return Any(depth);
  }
}

ValuePtr ValueGenerator::Deviate(DataDefinition const& definition, int selector, int depth) {
  if (depth > kMaxDepth) return String("");
  switch (selector) {
    case 0:
      return String("");
    case 1:
      return String(Text());
    case 2:  // an optional around what was expected, once or more
      return Nest(Conform(definition, depth + 1));
    case 3:
      return VoidValue::GetInstance();
    case 4:
      return OptionalValue::GetInstance();
    case 5: {  // one element standing for the expected value
      auto list = ListValue::GetInstance();
      list->Append(Conform(definition, depth + 1));
      return list;
    }
    case 6:
      if (definition.kind() == DefinitionKind::kStructure) {
        return Struct(static_cast<StructDefinition const&>(definition), true, depth);
      }
      return ErrorValue::GetInstance(Text());
    case 7:
      if (definition.kind() == DefinitionKind::kStructure) {
        auto value = Struct(static_cast<StructDefinition const&>(definition), false, depth);
        auto renamed = StructValue::GetInstance(Text());
        for (auto const& field : value->fields()) renamed->SetField(field.first, field.second);
        return renamed;
      }
      return StructValue::GetInstance(Text());
    case 8:
      return IntegerValue::GetInstance(input_.Integer());
    case 9:
      return DateTime();
    case 10:
      return Nest(Any(depth + 1));
    default:
      return Any(depth);
  }
}

std::shared_ptr<CompoundValue> ValueGenerator::Struct(StructDefinition const& definition,
                                                      bool as_error, int depth) {
  std::shared_ptr<CompoundValue> value;
  if (as_error) {
    value = std::make_shared<ErrorValue>(definition.name());
  } else {
    value = StructValue::GetInstance(definition.name());
  }
  for (auto const& field : definition.fields()) {
    if (input_.Byte() == 0xFF) continue;  // a missing field
    value->SetField(field.first, Make(*field.second, depth + 1));
  }
  for (std::uint8_t extra = input_.Byte() % 4; extra > 0; --extra) {
    AddField(*value, Text(), [&] { return Any(depth + 1); });
  }
  return value;
}

ValuePtr ValueGenerator::List(ListDefinition const& definition, int depth) {
  DataDefinition const& element = *definition.element();
  if (element.kind() == DefinitionKind::kStructure &&
      static_cast<StructDefinition const&>(element).name() == kMapEntry) {
    return MapEntries(static_cast<StructDefinition const&>(element), depth);
  }
  auto list = ListValue::GetInstance();
  if (depth > kMaxDepth) return list;
  for (std::uint8_t n = input_.Byte() % 5; n > 0; --n) list->Append(Make(element, depth + 1));
  return list;
}

// A map as a list of "map-entry" structures, or as a structure whose fields are the entries;
// keys repeat now and then.
ValuePtr ValueGenerator::MapEntries(StructDefinition const& entry, int depth) {
  auto const mapped = entry.fields().find("value");
  std::uint8_t const shape = input_.Byte();
  std::uint8_t const count = depth > kMaxDepth ? 0 : (shape >> 1) % 5;
  if ((shape & 1) != 0) {
    auto fields = StructValue::GetInstance(Text());
    for (std::uint8_t n = count; n > 0; --n)
      AddField(*fields, Text(), [&] { return Make(*mapped->second, depth); });
    return fields;
  }
  auto list = ListValue::GetInstance(ListKind::kMap);
  std::string key;
  for (std::uint8_t n = count; n > 0; --n) {
    auto item = StructValue::GetInstance(kMapEntry);
    if ((input_.Byte() & 3) != 3) key = Text();  // else the previous key again
    item->SetField("key", String(key));
    item->SetField("value", Make(*mapped->second, depth + 1));
    list->Append(item);
  }
  return list;
}

ValuePtr ValueGenerator::Optional(OptionalDefinition const& definition, int depth) {
  switch (depth > kMaxDepth ? 0 : input_.Byte() % 4) {
    case 0:
      return OptionalValue::GetInstance();
    case 1:  // a plain value stands for a set optional
      return Make(*definition.element(), depth + 1);
    default:
      return OptionalValue::GetInstance(Make(*definition.element(), depth + 1));
  }
}

ValuePtr ValueGenerator::DateTime() {
  switch (input_.Byte() % 3) {
    case 0:
      return DateTimeValue::GetInstance(
          Ormi::DateTime::FromMillisecondsSinceEpoch(input_.Integer()));
    case 1:
      return String(Ormi::DateTime::FromMillisecondsSinceEpoch(input_.Integer()).ToString());
    default:
      return String(Text());
  }
}

// Any value at all, of every kind.
ValuePtr ValueGenerator::Any(int depth) {
  std::uint8_t const kind = depth > kMaxDepth ? 0 : input_.Byte() % 13;
  switch (kind) {
    case 0:
      return String(Text());
    case 1:
      return IntegerValue::GetInstance(input_.Integer());
    case 2:
      return DoubleValue::GetInstance(static_cast<double>(input_.Integer()) / 7.0);
    case 3:
      return BooleanValue::GetInstance((input_.Byte() & 1) != 0);
    case 4:
      return BlobValue::GetInstance(Text());
    case 5:
      return SecretValue::GetInstance(Text());
    case 6:
      return VoidValue::GetInstance();
    case 7:
      return DateTime();
    case 8:
      return input_.Byte() % 2 == 0 ? OptionalValue::GetInstance()
                                    : OptionalValue::GetInstance(Any(depth + 1));
    case 9: {
      auto list = ListValue::GetInstance(static_cast<ListKind>(input_.Byte() % 4));
      for (std::uint8_t n = input_.Byte() % 4; n > 0; --n) list->Append(Any(depth + 1));
      return list;
    }
    case 10:
    case 11: {
      std::shared_ptr<CompoundValue> value;
      if (kind == 10) {
        value = StructValue::GetInstance(Text());
      } else {
        value = std::make_shared<ErrorValue>(Text());
      }
      for (std::uint8_t n = input_.Byte() % 4; n > 0; --n)
        AddField(*value, Text(), [&] { return Any(depth + 1); });
      return value;
    }
    default:
      return Nest(String(Text()));
  }
}

// Wraps `leaf` in a chain of optionals, lists, structures or map entries, built in a loop;
// the chain takes what it asks for from the value's nesting budget.
ValuePtr ValueGenerator::Nest(ValuePtr leaf) {
  std::uint8_t const shape = input_.Byte();
  std::size_t const levels = std::size_t{1} + (input_.Word() % kMaxNesting);
  std::size_t const count = std::min((shape & 0x80) != 0 ? levels : levels % 8, nesting_left_);
  nesting_left_ -= count;
  ValuePtr value = std::move(leaf);
  for (std::size_t level = 0; level < count; ++level) {
    switch ((shape + level * ((shape >> 2) & 1)) % 4) {
      case 0:
        value = OptionalValue::GetInstance(std::move(value));
        break;
      case 1: {
        auto list = ListValue::GetInstance();
        list->Append(std::move(value));
        value = std::move(list);
        break;
      }
      case 2: {
        auto node = StructValue::GetInstance("node");
        node->SetField("child", std::move(value));
        value = std::move(node);
        break;
      }
      default: {
        auto map = ListValue::GetInstance(ListKind::kMap);
        auto item = StructValue::GetInstance(kMapEntry);
        item->SetField("key", String("k"));
        item->SetField("value", std::move(value));
        map->Append(std::move(item));
        value = std::move(map);
      }
    }
  }
  return value;
}

// A string: a short run of raw input bytes, or (top bit set) a dictionary entry.
std::string ValueGenerator::Text() {
  std::uint8_t const head = input_.Byte();
  if ((head & 0x80) != 0 && !dictionary_.empty()) {
    return dictionary_[(head & 0x7F) % dictionary_.size()];
  }
  return input_.Bytes(head % 32);
}

}  // namespace Hyrn::Fuzz
