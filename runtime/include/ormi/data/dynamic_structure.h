// A structure of arbitrary fields, held as a shared structure value.
#pragma once

#include <memory>

#include "ormi/data/value.h"

namespace Ormi::Data {

class DynamicStructure {
 public:
  // An empty structure value named "emptyDynStr", one shared by all default instances.
  DynamicStructure();
  explicit DynamicStructure(std::shared_ptr<DataValue const> value) : value_(std::move(value)) {}

  // The held value; null only when a caller stored a null value.
  std::shared_ptr<DataValue const> const& value() const { return value_; }
  void SetValue(std::shared_ptr<DataValue const> value) { value_ = std::move(value); }

 private:
  std::shared_ptr<DataValue const> value_;
};

}  // namespace Ormi::Data
