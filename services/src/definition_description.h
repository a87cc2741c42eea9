// Type expressions of definitions and the structures they name, for the introspection
// service's answers.
#pragma once

#include <deque>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "com/norval/ormi/introspection/v1/introspection.h"
#include "ormi/data/definition.h"

namespace Ormi::Services::Detail {

// Describes definitions as type expressions and collects, each once, every structure they
// name, directly or through other structures. Works from a queue, so neither the nesting of
// a definition nor a structure that contains itself grows the call stack.
class DefinitionDescriber {
 public:
  using StructurePtr =
      std::shared_ptr<::Com::Norval::Ormi::Introspection::V1::StructureDescription const>;

  // The type expression of `definition`. The structures it names are described by the next
  // `Structures()`.
  std::string Describe(Data::DataDefinition const* definition);
  // Every structure named so far, in the order first named, with its fields described.
  std::list<StructurePtr> Structures();
  // Names written in a type expression that no listed structure carries: references whose
  // target is gone. Empty for the definitions the frame builds.
  std::set<std::string> Unresolved() const;

 private:
  // The type expression of a definition that wraps no other: a structure or a scalar.
  std::string Leaf(Data::DataDefinition const& definition);
  std::string NameOf(Data::StructDefinition const& structure);
  std::string NameOfReference(Data::StructRefDefinition const& reference);

  std::map<Data::StructDefinition const*, std::string> names_;  // structure to its listed name
  std::map<std::string, Data::StructDefinition const*> by_name_;
  std::deque<Data::StructDefinition const*> pending_;  // named, fields not yet described
  std::list<StructurePtr> described_;
  std::set<std::string> referenced_;  // names written for references to gone targets
};

}  // namespace Ormi::Services::Detail
