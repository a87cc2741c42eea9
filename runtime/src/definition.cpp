// Definitions of the native types and the empty dynamic structure.
#include "ormi/data/definition.h"

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

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
    : name_(std::move(name)), fields_(std::move(fields)) {
  // Every key is written escaped into room for its longest escaping, then the text is kept at
  // its size, and the keys are cut from it where it no longer moves.
  std::size_t room = 0;
  for (auto const& field : fields_) {
    room += field.first.size() * Detail::kEscapedPerByte + Detail::kEscapeScratch + 3;
  }
  std::string text(room, '\0');
  std::vector<std::size_t> key_ends;
  key_ends.reserve(fields_.size());
  char* end = text.data();
  for (auto const& field : fields_) {
    *end = '"';
    end = Detail::WriteEscapedJson(end + 1, field.first);
    *end++ = '"';
    *end++ = ':';
    key_ends.push_back(static_cast<std::size_t>(end - text.data()));
  }
  keys_.assign(text.data(), static_cast<std::size_t>(end - text.data()));
  declared_.reserve(fields_.size());
  std::size_t begin = 0;
  for (auto const& field : fields_) {
    std::size_t const key_end = key_ends[declared_.size()];
    declared_.push_back(
        {field.first, field.second.get(), std::string_view(keys_).substr(begin, key_end - begin)});
    begin = key_end;
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
