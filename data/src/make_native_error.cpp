#include "ormi/data/make_native_error.h"

namespace Ormi::Data {

std::shared_ptr<ErrorValue const> ToErrorValue(ValuePtr const& value) {
  auto const* structure = dynamic_cast<CompoundValue const*>(value.get());
  if (structure == nullptr) return nullptr;
  auto error = std::make_shared<ErrorValue>(structure->name());
  for (auto const& field : structure->fields()) error->SetField(field.first, field.second);
  return error;
}

}  // namespace Ormi::Data
