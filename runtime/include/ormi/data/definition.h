// Type definitions that values are validated against.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ormi/data/value.h"
#include "ormi/message.h"
#include "ormi/types.h"

namespace Ormi::Data {

class DynamicStructure;

// The kinds of definitions. A scalar definition accepts values of one value kind.
enum class DefinitionKind : int {
  kScalar,
  kOptional,
  kList,
  kStructure,
  kStructRef,
  kDynamicStructure,
};

using DefinitionPtr = std::shared_ptr<class DataDefinition const>;

class DataDefinition {
 public:
  DataDefinition(DataDefinition const&) = delete;
  DataDefinition& operator=(DataDefinition const&) = delete;
  virtual ~DataDefinition() = default;

  // Kept in the definition rather than asked of its class: the walks over values read it for
  // every part, and a load costs less than a virtual call.
  DefinitionKind kind() const { return kind_; }

  // The definition of a native type: std::string, bool, DateTime, Void, DynamicStructure.
  template <typename T>
  static DefinitionPtr Create();

 protected:
  explicit DataDefinition(DefinitionKind kind) : kind_(kind) {}

 private:
  DefinitionKind kind_;
};

template <>
DefinitionPtr DataDefinition::Create<std::string>();
template <>
DefinitionPtr DataDefinition::Create<bool>();
template <>
DefinitionPtr DataDefinition::Create<DateTime>();
template <>
DefinitionPtr DataDefinition::Create<Void>();
template <>
DefinitionPtr DataDefinition::Create<std::int64_t>();
template <>
DefinitionPtr DataDefinition::Create<DynamicStructure>();

// A definition with no parameters that accepts values of one kind. A date-time definition
// also accepts a string holding a date-time's text form.
class ScalarDefinition : public DataDefinition {
 public:
  explicit ScalarDefinition(ValueKind value_kind)
      : DataDefinition(DefinitionKind::kScalar), value_kind_(value_kind) {}
  ValueKind valueKind() const { return value_kind_; }

 private:
  ValueKind value_kind_;
};

// The scalar definition of one value kind.
template <ValueKind Kind>
class ScalarDefinitionOf final : public ScalarDefinition {
 public:
  static std::shared_ptr<ScalarDefinitionOf> GetInstance() {
    return std::make_shared<ScalarDefinitionOf>();
  }
  ScalarDefinitionOf() : ScalarDefinition(Kind) {}
};

using VoidDefinition = ScalarDefinitionOf<ValueKind::kVoid>;
using IntegerDefinition = ScalarDefinitionOf<ValueKind::kInteger>;
using DoubleDefinition = ScalarDefinitionOf<ValueKind::kDouble>;
using BooleanDefinition = ScalarDefinitionOf<ValueKind::kBoolean>;
using BlobDefinition = ScalarDefinitionOf<ValueKind::kBlob>;
using StringDefinition = ScalarDefinitionOf<ValueKind::kString>;
using SecretDefinition = ScalarDefinitionOf<ValueKind::kSecret>;
using DateTimeDefinition = ScalarDefinitionOf<ValueKind::kDateTime>;

// Any structure value, whatever its name and fields.
class DynamicStructureDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<DynamicStructureDefinition> GetInstance() {
    return std::make_shared<DynamicStructureDefinition>();
  }
  DynamicStructureDefinition() : DataDefinition(DefinitionKind::kDynamicStructure) {}
};

class OptionalDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<OptionalDefinition> GetInstance(DefinitionPtr element);
  explicit OptionalDefinition(DefinitionPtr element)
      : DataDefinition(DefinitionKind::kOptional), element_(std::move(element)) {}
  DefinitionPtr const& element() const { return element_; }

 private:
  DefinitionPtr element_;
};

// A list; it also accepts the list of "map-entry" structures that represents a map.
class ListDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<ListDefinition> GetInstance(DefinitionPtr element);
  explicit ListDefinition(DefinitionPtr element)
      : DataDefinition(DefinitionKind::kList), element_(std::move(element)) {}
  DefinitionPtr const& element() const { return element_; }

 private:
  DefinitionPtr element_;
};

// A structure: its name and its fields in name order. A value must carry every field;
// fields it carries beyond them are accepted (they are kept as unknown fields).
class StructDefinition final : public DataDefinition {
 public:
  using Fields = std::map<std::string, DefinitionPtr>;
  // A declared field as the walks over a value read it: its name, its definition, and the
  // name as a JSON member key, quoted and escaped and followed by its colon (`"name":`).
  struct Declared {
    std::string_view name;
    DataDefinition const* definition;
    std::string_view key;
  };

  static std::shared_ptr<StructDefinition> GetInstance(std::string name, Fields fields);
  StructDefinition(std::string name, Fields fields);
  std::string const& name() const { return name_; }
  Fields const& fields() const { return fields_; }
  // The fields again, in the same order, side by side in one array: the walks that pair a
  // value's fields with the declared ones read it rather than the map's scattered nodes.
  std::vector<Declared> const& declared() const { return declared_; }

 private:
  std::string name_;
  Fields fields_;
  std::vector<Declared> declared_;
  std::string keys_;  // the text of every declared key, one after another, and some room
};

// A reference to a structure definition by name, for a structure that contains itself.
// The target is given after it is built; the reference does not keep it alive, so that a
// self-containing definition is no ownership cycle.
class StructRefDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<StructRefDefinition> GetInstance(std::string name);
  explicit StructRefDefinition(std::string name)
      : DataDefinition(DefinitionKind::kStructRef), name_(std::move(name)) {}
  std::string const& name() const { return name_; }

  void SetTarget(std::shared_ptr<StructDefinition const> const& target) { target_ = target; }
  // The target, or null when none was given or it no longer exists.
  std::shared_ptr<StructDefinition const> target() const { return target_.lock(); }

 private:
  std::string name_;
  std::weak_ptr<StructDefinition const> target_;
};

// Checks `value` against `definition`. Appends one message per problem found
// ("ormi.data.validation.failed", whose text names the path of the offending part, such as
// `spec.components["c1"]: expected an optional value, got a list`) and returns true when
// none was appended. `root` names the checked value in the paths ("" for none).
// Iterative: the nesting depth of the value does not grow the call stack.
bool Validate(DataDefinition const& definition, DataValue const& value,
              std::list<BaseMessage>& messages, std::string const& root = "");

}  // namespace Ormi::Data
