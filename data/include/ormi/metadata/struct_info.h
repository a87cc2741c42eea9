// Structure metadata: which resource type the identifiers held in a structure's fields
// (or in the keys of its map fields) belong to.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <boost/optional.hpp>

namespace Ormi::Metadata {

struct FieldInfo;
using FieldInfoMap = std::map<std::string, std::shared_ptr<FieldInfo const>>;

struct FieldInfo {
  std::int64_t id = 0;
  bool flag = false;
  std::string resourceType;  // empty when the entry only describes nested parts
  FieldInfoMap fields;       // "key" describes the key of a map field
  boost::optional<std::string> extra;
};

struct StructInfo {
  std::string name;  // the structure's name in interface-definition form
  boost::optional<std::string> extra;
  FieldInfoMap fields;  // only the fields that carry metadata

  // Specialised for every structure that has metadata; each call builds a new object.
  template <typename T>
  static std::shared_ptr<StructInfo> Create();
};

// Builds a `StructInfo` one field at a time.
class StructInfoBuilder {
 public:
  explicit StructInfoBuilder(std::string name) : name_(std::move(name)) {}
  // A field that holds an identifier of `resourceType`.
  StructInfoBuilder& Identifier(std::string const& field, std::string const& resourceType);
  // A map field whose keys are identifiers of `resourceType`.
  StructInfoBuilder& MapKey(std::string const& field, std::string const& resourceType);
  std::shared_ptr<StructInfo> Build() const;

 private:
  std::string name_;
  FieldInfoMap fields_;
};

}  // namespace Ormi::Metadata
