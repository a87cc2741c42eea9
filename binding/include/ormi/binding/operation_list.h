// Generic access to a service's operations. Every generated service class has
// `using Operations = ::Ormi::Data::TypeList<OperationEntry<...>...>;` in slot order, so code
// that treats all operations alike (table-driven tests, fakes, adapters) needs no per-service
// list of its own.
#pragma once

#include <cstddef>
#include <memory>

#include "ormi/core/call.h"
#include "ormi/data/type_list.h"
#include "ormi/provider/method_signal.h"

namespace Ormi::Binding {

namespace Detail {

// Calls an interface's member function with the members of an operation's `Input`, in the
// order the operation's builder lists them.
template <typename Builder>
struct CallWithInput;
template <template <typename, typename, typename, typename> class Filter, typename Binder,
          typename Method, auto... Fields>
struct CallWithInput<Provider::BasicMethodBuilder<Filter, Binder, Method, Fields...>> {
  template <typename Target, typename Member>
  static void Call(Target& target, Member member, typename Method::Input const& input,
                   std::shared_ptr<Core::AsyncActivation> const& activation,
                   typename Method::ResultType const& result) {
    (target.*member)((input.*Fields)..., activation, result);
  }
};

}  // namespace Detail

// One operation of a service: its method class, the interface's member function for it and
// the builder that binds it.
template <typename Method, auto Member, typename Builder>
struct OperationEntry {
  using MethodType = Method;
  using BuilderType = Builder;
  static constexpr auto kMember = Member;

  // Calls the operation on `target` (an implementation or a stub) with the fields of `input`.
  template <typename Target>
  static void Call(Target& target, typename Method::Input const& input,
                   std::shared_ptr<Core::AsyncActivation> const& activation,
                   typename Method::ResultType const& result) {
    Detail::CallWithInput<Builder>::Call(target, Member, input, activation, result);
  }
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

}  // namespace Ormi::Binding
