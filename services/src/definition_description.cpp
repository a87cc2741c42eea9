#include "definition_description.h"

#include <list>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace Ormi::Services::Detail {
namespace {

using Data::DataDefinition;
using Data::DefinitionKind;
using Introspection = ::Com::Norval::Ormi::Introspection::V1::StructureDescription;
using Field = ::Com::Norval::Ormi::Introspection::V1::FieldDescription;

// The word for a scalar definition: the definition language's where it has one.
char const* ScalarWord(Data::ValueKind kind) {
  switch (kind) {
    case Data::ValueKind::kString:
      return "string";
    case Data::ValueKind::kBoolean:
      return "bool";
    case Data::ValueKind::kDateTime:
      return "datetime";
    case Data::ValueKind::kVoid:
      return "void";
    case Data::ValueKind::kInteger:
      return "long";
    case Data::ValueKind::kDouble:
      return "double";
    case Data::ValueKind::kBlob:
      return "blob";
    case Data::ValueKind::kSecret:
      return "secret";
    default:
      return "dynamic";
  }
}

Data::StructDefinition const* AsStructure(DataDefinition const* definition) {
  if (definition && definition->kind() == DefinitionKind::kStructRef) {
    // Held by the caller's definition tree for as long as the reference is described.
    auto const target = static_cast<Data::StructRefDefinition const&>(*definition).target();
    return target.get();
  }
  return definition && definition->kind() == DefinitionKind::kStructure
             ? static_cast<Data::StructDefinition const*>(definition)
             : nullptr;
}

// The value definition of a map (a list of "map-entry" structures with a string key), or
// null when `list` is a plain list.
DataDefinition const* MapValue(Data::ListDefinition const& list) {
  auto const* entry = AsStructure(list.element().get());
  if (!entry || entry->name() != Data::MapEntry::kName || entry->fields().size() != 2) {
    return nullptr;
  }
  auto const key = entry->fields().find(Data::MapEntry::kKey);
  auto const value = entry->fields().find(Data::MapEntry::kValue);
  bool const string_key = key != entry->fields().end() && key->second &&
                          key->second->kind() == DefinitionKind::kScalar &&
                          static_cast<Data::ScalarDefinition const&>(*key->second).valueKind() ==
                              Data::ValueKind::kString;
  return string_key && value != entry->fields().end() ? value->second.get() : nullptr;
}

// Whether two structures of one name declare the same field names.
bool SameFields(Data::StructDefinition const& a, Data::StructDefinition const& b) {
  if (a.fields().size() != b.fields().size()) {
    return false;
  }
  auto other = b.fields().begin();
  for (auto const& field : a.fields()) {
    if (field.first != (other++)->first) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string DefinitionDescriber::Describe(DataDefinition const* definition) {
  std::string prefix;
  std::string suffix;
  // Each step peels one wrapper (optional, list, map) off the definition, up to its leaf.
  for (;;) {
    std::string leaf;
    if (!definition) {
      leaf = "void";  // frame-built definitions have no empty slots
    } else if (definition->kind() == DefinitionKind::kOptional) {
      prefix += "optional<";
      suffix.insert(0, ">");
      definition = static_cast<Data::OptionalDefinition const&>(*definition).element().get();
      continue;
    } else if (definition->kind() == DefinitionKind::kList) {
      auto const& list = static_cast<Data::ListDefinition const&>(*definition);
      DataDefinition const* value = MapValue(list);
      prefix += value ? "map<string, " : "list<";
      suffix.insert(0, ">");
      definition = value ? value : list.element().get();
      continue;
    } else {
      leaf = Leaf(*definition);
    }
    return prefix.append(leaf).append(suffix);
  }
}

std::string DefinitionDescriber::Leaf(DataDefinition const& definition) {
  switch (definition.kind()) {
    case DefinitionKind::kStructure:
      return NameOf(static_cast<Data::StructDefinition const&>(definition));
    case DefinitionKind::kStructRef:
      return NameOfReference(static_cast<Data::StructRefDefinition const&>(definition));
    case DefinitionKind::kScalar:
      return ScalarWord(static_cast<Data::ScalarDefinition const&>(definition).valueKind());
    default:
      return "dynamic";
  }
}

std::string DefinitionDescriber::NameOf(Data::StructDefinition const& structure) {
  auto const known = names_.find(&structure);
  if (known != names_.end()) {
    return known->second;
  }
  // The input, output and errors are built separately, so one structure may come as several
  // objects: the same name with the same fields is one structure. A different structure of a
  // name already listed is listed as <name>-2, <name>-3, ...
  std::string name = structure.name();
  for (int suffix = 2;; ++suffix) {
    auto const listed = by_name_.find(name);
    if (listed == by_name_.end()) {
      by_name_.emplace(name, &structure);
      pending_.push_back(&structure);
      break;
    }
    if (SameFields(*listed->second, structure)) {
      break;
    }
    name = structure.name() + "-" + std::to_string(suffix);
  }
  names_.emplace(&structure, name);
  return name;
}

std::string DefinitionDescriber::NameOfReference(Data::StructRefDefinition const& reference) {
  auto const target = reference.target();
  if (target) {
    return NameOf(*target);
  }
  referenced_.insert(reference.name());
  return reference.name();
}

std::list<DefinitionDescriber::StructurePtr> DefinitionDescriber::Structures() {
  while (!pending_.empty()) {
    Data::StructDefinition const& structure = *pending_.front();
    pending_.pop_front();
    auto description = std::make_shared<Introspection>();
    description->name = names_.at(&structure);
    for (auto const& field : structure.fields()) {
      auto described = std::make_shared<Field>();
      described->name = field.first;
      described->type = Describe(field.second.get());
      description->fields.push_back(std::move(described));
    }
    described_.push_back(std::move(description));
  }
  return described_;
}

std::set<std::string> DefinitionDescriber::Unresolved() const {
  std::set<std::string> unresolved;
  for (auto const& name : referenced_) {
    if (by_name_.count(name) == 0) {
      unresolved.insert(name);
    }
  }
  return unresolved;
}

}  // namespace Ormi::Services::Detail
