#include "ormi/metadata/struct_info.h"

namespace Ormi::Metadata {
namespace {

std::shared_ptr<FieldInfo const> MakeFieldInfo(std::string resourceType, FieldInfoMap fields) {
  auto info = std::make_shared<FieldInfo>();
  info->resourceType = std::move(resourceType);
  info->fields = std::move(fields);
  return info;
}

}  // namespace

StructInfoBuilder& StructInfoBuilder::Identifier(std::string const& field,
                                                 std::string const& resourceType) {
  fields_[field] = MakeFieldInfo(resourceType, {});
  return *this;
}

StructInfoBuilder& StructInfoBuilder::MapKey(std::string const& field,
                                             std::string const& resourceType) {
  FieldInfoMap key{{"key", MakeFieldInfo(resourceType, {})}};
  fields_[field] = MakeFieldInfo("", key);
  return *this;
}

std::shared_ptr<StructInfo> StructInfoBuilder::Build() const {
  auto info = std::make_shared<StructInfo>();
  info->name = name_;
  info->fields = fields_;
  return info;
}

}  // namespace Ormi::Metadata
