// The shape of a native type as the adapters see it, and the work item they queue.
//
// Every adapter picks its conversion step for a native type `T` from `ShapeOf<T>`: a
// structure is any type with a nested `AdapterHelper`, an enumeration any type with a nested
// `Strings` table; shared pointers, optional pointers, optionals, lists and string-keyed maps
// are recognised by their template; std::string, bool, DateTime and Void are primitives.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

#include <boost/optional.hpp>

#include "ormi/data/dynamic_structure.h"
#include "ormi/types.h"

namespace Ormi {

// Untyped pointers to the native object a work item reads from or writes to.
using NativeConstPtr = void const*;
using NativePtr = void*;

namespace Data {

struct StructureShape {};
struct EnumerationShape {};
struct PrimitiveShape {};
struct DynamicShape {};
template <typename S>
struct SharedPtrShape {};  // std::shared_ptr<S const>: a required structure
template <typename S>
struct OptionalPtrShape {};  // OptionalPtr<S const>: an optional structure
template <typename X>
struct OptionalShape {};  // boost::optional<X>
template <typename X>
struct ListShape {};  // std::list<X>
template <typename X>
struct MapShape {};  // std::map<std::string, X>

template <typename T, typename = void>
struct HasAdapterHelper : std::false_type {};
template <typename T>
struct HasAdapterHelper<T, std::void_t<typename T::AdapterHelper>> : std::true_type {};
template <typename T, typename = void>
struct HasStrings : std::false_type {};
template <typename T>
struct HasStrings<T, std::void_t<typename T::Strings>> : std::true_type {};

template <typename T, typename = void>
struct Shape {
  static_assert(sizeof(T) == 0, "this native type has no data binding");
};

template <typename T>
struct Shape<T, std::enable_if_t<HasAdapterHelper<T>::value>> {
  using type = StructureShape;
};
template <typename T>
struct Shape<T, std::enable_if_t<HasStrings<T>::value>> {
  using type = EnumerationShape;
};
template <typename S>
struct Shape<std::shared_ptr<S const>> {
  using type = SharedPtrShape<S>;
};
template <typename S>
struct Shape<OptionalPtr<S const>> {
  using type = OptionalPtrShape<S>;
};
template <typename X>
struct Shape<boost::optional<X>> {
  using type = OptionalShape<X>;
};
template <typename X>
struct Shape<std::list<X>> {
  using type = ListShape<X>;
};
template <typename X>
struct Shape<std::map<std::string, X>> {
  using type = MapShape<X>;
};
template <>
struct Shape<std::string> {
  using type = PrimitiveShape;
};
template <>
struct Shape<bool> {
  using type = PrimitiveShape;
};
template <>
struct Shape<DateTime> {
  using type = PrimitiveShape;
};
template <>
struct Shape<Void> {
  using type = PrimitiveShape;
};
template <>
struct Shape<DynamicStructure> {
  using type = DynamicShape;
};

template <typename T>
using ShapeOf = typename Shape<T>::type;

// Whether a member of type `M` is an optional field.
template <typename M>
struct IsOptionalMember : std::false_type {};
template <typename X>
struct IsOptionalMember<boost::optional<X>> : std::true_type {};
template <typename S>
struct IsOptionalMember<OptionalPtr<S const>> : std::true_type {};

// One step of a conversion: what to convert, how, and where the result goes.
template <typename Source, typename Destination, typename Messages, typename Work>
struct BasicAdaptEntry {
  using Method = void (*)(Source const& source, Destination const& destination, Work& work,
                          Messages& messages);
  Source source;
  Method method;
  Destination destination;
};

// Runs queued steps, last queued first, until none is left. Steps queue their children
// instead of converting them, so the call depth stays flat however deep the data nests.
template <typename Work, typename Messages>
void RunWorkList(Work& work, Messages& messages) {
  while (!work.items.empty()) {
    auto item = std::move(work.items.back());
    work.items.pop_back();
    item.method(item.source, item.destination, work, messages);
  }
}

}  // namespace Data
}  // namespace Ormi
