// Definitions of the native types and the empty dynamic structure.
#include "ormi/data/definition.h"

#include <cstddef>
#include <memory>
#include <string_view>

#include "json_writer.h"
#include "ormi/data/dynamic_structure.h"

namespace Ormi::Data {

template <>
DefinitionPtr DataDefinition::Create<std::string>() {
  return StringDefinition::GetInstance();
}
template <>
DefinitionPtr DataDefinition::Create<bool>() {
  return BooleanDefinition::GetInstance();
}
template <>
DefinitionPtr DataDefinition::Create<std::int64_t>() {
  return IntegerDefinition::GetInstance();
}
template <>
DefinitionPtr DataDefinition::Create<DateTime>() {
  return DateTimeDefinition::GetInstance();
}
template <>
DefinitionPtr DataDefinition::Create<Void>() {
  return VoidDefinition::GetInstance();
}
template <>
DefinitionPtr DataDefinition::Create<DynamicStructure>() {
  return DynamicStructureDefinition::GetInstance();
}

std::shared_ptr<OptionalDefinition> OptionalDefinition::GetInstance(DefinitionPtr element) {
  return std::make_shared<OptionalDefinition>(std::move(element));
}

std::shared_ptr<ListDefinition> ListDefinition::GetInstance(DefinitionPtr element) {
  return std::make_shared<ListDefinition>(std::move(element));
}

StructDefinition::StructDefinition(std::string name, Fields fields)
    : DataDefinition(DefinitionKind::kStructure),
      name_(std::move(name)),
      fields_(std::move(fields)) {
  if (fields_.empty()) return;
  // The keys are written one after another into text sized for them once, so that they do not
  // move; it keeps the room that escaping may overwrite past the last.
  std::size_t size = 0;
  for (auto const& field : fields_) size += Detail::EscapedJsonSize(field.first) + 3;
  keys_.resize(size + Detail::kEscapeScratch);
  declared_.reserve(fields_.size());
  char* end = keys_.data();
  for (auto const& field : fields_) {
    char* const begin = end;
    *end = '"';
    end = Detail::WriteEscapedJson(end + 1, field.first);
    *end++ = '"';
    *end++ = ':';
    declared_.push_back({field.first, field.second.get(),
                         std::string_view(begin, static_cast<std::size_t>(end - begin))});
  }
}

std::shared_ptr<StructDefinition> StructDefinition::GetInstance(std::string name, Fields fields) {
  return std::make_shared<StructDefinition>(std::move(name), std::move(fields));
}

std::shared_ptr<StructRefDefinition> StructRefDefinition::GetInstance(std::string name) {
  return std::make_shared<StructRefDefinition>(std::move(name));
}

namespace {

// Values cannot change once shared, so every default dynamic structure holds the same empty
// one. A map of dynamic structures makes a default per entry only to replace it; sharing
// spares that allocation. Made outside any value arena, which it would otherwise keep.
ValuePtr const& EmptyDynamicStructure() {
  static ValuePtr const empty = std::make_shared<StructValue const>("emptyDynStr");
  return empty;
}

}  // namespace

DynamicStructure::DynamicStructure() : value_(EmptyDynamicStructure()) {}

}  // namespace Ormi::Data
