#include "ormi/data/base_native.h"

#include <algorithm>

namespace Ormi::Data {

void BaseNative::AdapterHelper::AddUnknownFields(BaseNative const& native,
                                                 std::shared_ptr<StructValue>& value) {
  if (!native.unknownFields) return;
  for (auto const& field : native.unknownFields->fields()) {
    value->SetField(field.first, field.second);
  }
}

namespace {

boost::string_view NameOf(CompoundValue::Fields::value_type const& field) {
  return {field.first.data(), field.first.size()};
}

}  // namespace

// A merge of two sorted sequences: the value's fields and the declared names.
void BaseNative::AdapterHelper::MergeUnknownFields(boost::string_view const* names,
                                                   std::size_t count, CompoundValue const& value,
                                                   std::shared_ptr<StructValue>& unknown) {
  boost::string_view const* const end = names + count;
  // A field named by the generated code shares the declared name's text, which SameName
  // tells at once.
  auto const same_name = [](boost::string_view name, auto const& field) {
    return FieldMap::SameName(field.first, std::string_view(name.data(), name.size()));
  };
  // Mostly the value holds exactly the declared names: one comparison per field tells.
  if (value.fields().size() == count && std::equal(names, end, value.fields().begin(), same_name)) {
    return;
  }
  for (auto const& field : value.fields()) {
    boost::string_view const field_name = NameOf(field);
    names = std::find_if(names, end, [&](boost::string_view name) { return name >= field_name; });
    if (names != end && *names == field_name) continue;
    if (!unknown) unknown = StructValue::GetInstance("unknownFields");
    unknown->SetField(field.first, field.second);
  }
}

}  // namespace Ormi::Data
