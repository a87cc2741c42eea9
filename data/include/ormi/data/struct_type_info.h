// Type information of native structures and enumerations.
#pragma once

#include <memory>

#include "ormi/data/type_info.h"
#include "ormi/data/value.h"

namespace Ormi::Data {

// The default-instance half of `TypeInfo<T>` for a structure; the specialisation of each
// structure adds `name()`.
template <typename T>
struct StructTypeInfo {
  // A default-constructed `T`; the value it will be filled from is not used.
  static std::shared_ptr<T> defaultInstance(ValuePtr const& /*value*/ = nullptr) {
    return std::make_shared<T>();
  }
};

}  // namespace Ormi::Data
