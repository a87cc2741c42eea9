// Type information: the canonical name of each native type, and its default instance.
#pragma once

#include <string>

#include "ormi/types.h"

namespace Ormi::Data {

// Specialised for every type that travels as a structure or enumeration:
//   static std::string name();
//   static std::shared_ptr<T> defaultInstance(std::shared_ptr<DataValue const> const&);
template <typename T>
struct TypeInfo;

template <>
struct TypeInfo<OperationInput> {
  // The single name of all operation inputs.
  static std::string name() { return "com.norval.ormi.operation_input"; }
};

}  // namespace Ormi::Data
