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

// A merge of two sorted sequences: the value's fields and the declared names.
void BaseNative::AdapterHelper::MergeUnknownFields(boost::string_view const* names,
                                                   std::size_t count, CompoundValue const& value,
                                                   std::shared_ptr<StructValue>& unknown) {
  boost::string_view const* const end = names + count;
  auto const same_name = [](boost::string_view name, auto const& field) {
    return name == field.first;
  };
  // Mostly the value holds exactly the declared names: one comparison per field tells.
  if (value.fields().size() == count && std::equal(names, end, value.fields().begin(), same_name)) {
    return;
  }
  for (auto const& field : value.fields()) {
    names = std::find_if(names, end, [&](boost::string_view name) { return name >= field.first; });
    if (names != end && *names == field.first) continue;
    if (!unknown) unknown = StructValue::GetInstance("unknownFields");
    unknown->SetField(field.first, field.second);
  }
}

}  // namespace Ormi::Data
