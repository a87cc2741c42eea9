// A compile-time list of types, used to run typed tests over every generated type.
#pragma once

namespace Ormi::Data {

template <typename... T>
struct TypeList {};

}  // namespace Ormi::Data
