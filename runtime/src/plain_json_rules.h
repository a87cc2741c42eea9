// The rules of the plain JSON form that its writer, its reader and its schema share (internal
// to ormi_core).
#pragma once

#include "ormi/data/definition.h"
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

// When `list` is a map (its elements are "map-entry" structures of a string "key" and a
// "value"), the definition of its values; otherwise null.
inline DataDefinition const* MapValueOf(ListDefinition const& list) {
  StructDefinition const* entry = list.element() ? StructureOf(*list.element()) : nullptr;
  if (!entry || entry->name() != MapEntry::kName || entry->fields().size() != 2) return nullptr;
  auto const key = entry->fields().find(MapEntry::kKey);
  auto const value = entry->fields().find(MapEntry::kValue);
  if (key == entry->fields().end() || !key->second ||
      ScalarKindOf(*key->second) != ValueKind::kString || value == entry->fields().end()) {
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

}  // namespace Ormi::Data::Detail
