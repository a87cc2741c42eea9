// Generic access to a service's operations. Every generated service class has
// `using Operations = ::Ormi::Data::TypeList<OperationEntry<...>...>;` in slot order, so code
// that treats all operations alike (table-driven tests, fakes, adapters) needs no per-service
// list of its own.
#pragma once

#include <cstddef>

#include "hyrn/data/type_list.h"

namespace Ormi {
namespace Binding {

// One operation of a service: its method class, the interface's member function for it and
// the builder that binds it.
template <typename Method, auto Member, typename Builder>
struct OperationEntry {
  using MethodType = Method;
  using BuilderType = Builder;
  static constexpr auto kMember = Member;
};

// Calls `visit(T{})` for each type T of a TypeList, in order: the entries of `Operations`, or
// the services of a package's `AllServices`.
template <typename... T, typename Visit>
void ForEach(Data::TypeList<T...> /*types*/, Visit&& visit) {
  (visit(T{}), ...);
}

// The number of types in a TypeList.
template <typename List>
struct TypeCount;
template <typename... T>
struct TypeCount<Data::TypeList<T...>> {
  static constexpr std::size_t value = sizeof...(T);
};

}  // namespace Binding
}  // namespace Ormi
