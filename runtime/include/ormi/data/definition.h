// Type definitions that values are validated against.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>

#include "ormi/data/value.h"
#include "ormi/message.h"
#include "ormi/types.h"

namespace Ormi::Data {

class DynamicStructure;

struct DefinitionKind {
  enum : int {
    kVoid,
    kInteger,
    kDouble,
    kBoolean,
    kBlob,
    kString,
    kSecret,
    kDateTime,
    kOptional,
    kList,
    kStructure,
    kStructRef,
    kDynamicStructure,
  };
};

using DefinitionPtr = std::shared_ptr<class DataDefinition const>;

class DataDefinition {
 public:
  DataDefinition() = default;
  DataDefinition(DataDefinition const&) = delete;
  DataDefinition& operator=(DataDefinition const&) = delete;
  virtual ~DataDefinition() = default;

  virtual int kind() const = 0;

  // The definition of a native type: std::string, bool, DateTime, Void, DynamicStructure.
  template <typename T>
  static DefinitionPtr Create();
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
DefinitionPtr DataDefinition::Create<DynamicStructure>();

// A definition with no parameters: one class per scalar kind.
template <int Kind>
class ScalarDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<ScalarDefinition> GetInstance() {
    return std::make_shared<ScalarDefinition>();
  }
  int kind() const override { return Kind; }
};

using VoidDefinition = ScalarDefinition<DefinitionKind::kVoid>;
using IntegerDefinition = ScalarDefinition<DefinitionKind::kInteger>;
using DoubleDefinition = ScalarDefinition<DefinitionKind::kDouble>;
using BooleanDefinition = ScalarDefinition<DefinitionKind::kBoolean>;
using BlobDefinition = ScalarDefinition<DefinitionKind::kBlob>;
using StringDefinition = ScalarDefinition<DefinitionKind::kString>;
using SecretDefinition = ScalarDefinition<DefinitionKind::kSecret>;
using DateTimeDefinition = ScalarDefinition<DefinitionKind::kDateTime>;
// Any structure value, whatever its name and fields.
using DynamicStructureDefinition = ScalarDefinition<DefinitionKind::kDynamicStructure>;

class OptionalDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<OptionalDefinition> GetInstance(DefinitionPtr element);
  explicit OptionalDefinition(DefinitionPtr element) : element_(std::move(element)) {}
  int kind() const override { return DefinitionKind::kOptional; }
  DefinitionPtr const& element() const { return element_; }

 private:
  DefinitionPtr element_;
};

// A list; it also accepts the list of "map-entry" structures that represents a map.
class ListDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<ListDefinition> GetInstance(DefinitionPtr element);
  explicit ListDefinition(DefinitionPtr element) : element_(std::move(element)) {}
  int kind() const override { return DefinitionKind::kList; }
  DefinitionPtr const& element() const { return element_; }

 private:
  DefinitionPtr element_;
};

// A structure: its name and its fields in name order. A value must carry every field;
// fields it carries beyond them are accepted (they are kept as unknown fields).
class StructDefinition final : public DataDefinition {
 public:
  using Fields = std::map<std::string, DefinitionPtr>;
  static std::shared_ptr<StructDefinition> GetInstance(std::string name, Fields fields);
  StructDefinition(std::string name, Fields fields)
      : name_(std::move(name)), fields_(std::move(fields)) {}
  int kind() const override { return DefinitionKind::kStructure; }
  std::string const& name() const { return name_; }
  Fields const& fields() const { return fields_; }

 private:
  std::string name_;
  Fields fields_;
};

// A reference to a structure definition by name, for a structure that contains itself.
// The target is given after it is built; the reference does not keep it alive, so that a
// self-containing definition is no ownership cycle.
class StructRefDefinition final : public DataDefinition {
 public:
  static std::shared_ptr<StructRefDefinition> GetInstance(std::string name);
  explicit StructRefDefinition(std::string name) : name_(std::move(name)) {}
  int kind() const override { return DefinitionKind::kStructRef; }
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
