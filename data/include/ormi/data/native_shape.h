// The shape of a native type as the adapters see it, and the work item they queue.
//
// Every adapter picks its conversion step for a native type `T` from `NativeTraits<T>`: a
// structure is any type with a nested `AdapterHelper`, an enumeration any type with a nested
// `Strings` table; shared pointers, optional pointers, optionals, lists and string-keyed maps
// are recognised by their template; std::string, bool, DateTime and Void are primitives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include <boost/container/small_vector.hpp>
#include <boost/optional.hpp>

#include "ormi/data/dynamic_structure.h"
#include "ormi/types.h"

namespace Ormi {

// Untyped pointers to the native object a work item reads from or writes to.
using NativeConstPtr = void const*;
using NativePtr = void*;

namespace Data {

enum class NativeShape {
  kStructure,    // a generated structure (has AdapterHelper)
  kEnumeration,  // a generated enumeration (has Strings)
  kPrimitive,    // std::string, bool, std::int64_t, DateTime, Void
  kDynamic,      // DynamicStructure
  kSharedPtr,    // std::shared_ptr<S const>: a required structure
  kOptionalPtr,  // OptionalPtr<S const>: an optional structure
  kOptional,     // boost::optional<X>
  kList,         // std::list<X>
  kMap,          // std::map<std::string, X>
};

namespace Detail {

template <typename T, typename = void>
struct HasAdapterHelper : std::false_type {};
template <typename T>
struct HasAdapterHelper<T, std::void_t<typename T::AdapterHelper>> : std::true_type {};
template <typename T, typename = void>
struct HasStrings : std::false_type {};
template <typename T>
struct HasStrings<T, std::void_t<typename T::Strings>> : std::true_type {};

// The shape of a type that is not a container; `Element` is the type itself.
template <NativeShape S, typename E = void>
struct Shaped {
  static constexpr NativeShape kShape = S;
  using Element = E;
};

}  // namespace Detail

// `kShape` of a native type, and `Element`: the structure of a (optional) structure pointer,
// the contained type of an optional, list or map, and void for the others.
template <typename T, typename = void>
struct NativeTraits {
  static_assert(sizeof(T) == 0, "this native type has no data binding");
};
template <typename T>
struct NativeTraits<T, std::enable_if_t<Detail::HasAdapterHelper<T>::value>>
    : Detail::Shaped<NativeShape::kStructure> {};
template <typename T>
struct NativeTraits<T, std::enable_if_t<Detail::HasStrings<T>::value>>
    : Detail::Shaped<NativeShape::kEnumeration> {};
template <typename S>
struct NativeTraits<std::shared_ptr<S const>> : Detail::Shaped<NativeShape::kSharedPtr, S> {};
template <typename S>
struct NativeTraits<OptionalPtr<S const>> : Detail::Shaped<NativeShape::kOptionalPtr, S> {};
template <typename X>
struct NativeTraits<boost::optional<X>> : Detail::Shaped<NativeShape::kOptional, X> {};
template <typename X>
struct NativeTraits<std::list<X>> : Detail::Shaped<NativeShape::kList, X> {};
template <typename X>
struct NativeTraits<std::map<std::string, X>> : Detail::Shaped<NativeShape::kMap, X> {};
template <>
struct NativeTraits<std::string> : Detail::Shaped<NativeShape::kPrimitive> {};
template <>
struct NativeTraits<bool> : Detail::Shaped<NativeShape::kPrimitive> {};
template <>
struct NativeTraits<std::int64_t> : Detail::Shaped<NativeShape::kPrimitive> {};
template <>
struct NativeTraits<DateTime> : Detail::Shaped<NativeShape::kPrimitive> {};
template <>
struct NativeTraits<Void> : Detail::Shaped<NativeShape::kPrimitive> {};
template <>
struct NativeTraits<DynamicStructure> : Detail::Shaped<NativeShape::kDynamic> {};

template <typename T>
inline constexpr NativeShape kShapeOf = NativeTraits<T>::kShape;

template <typename T>
using ElementOf = typename NativeTraits<T>::Element;

namespace Detail {

// How many wire names an enumeration's null-ended `Strings::values` holds.
template <typename E>
constexpr std::size_t WireNameCount() {
  std::size_t count = 0;
  while (E::Strings::values[count] != nullptr) ++count;
  return count;
}

template <typename E, std::size_t... I>
constexpr std::array<std::string_view, sizeof...(I)> WireNamesOf(
    std::index_sequence<I...> /*indices*/) {
  return {{std::string_view(E::Strings::values[I])...}};
}

}  // namespace Detail

// The wire names of a generated enumeration, by enumerator (the last is "_UNKNOWN"), with
// their lengths counted when compiling: a name is compared and copied without measuring it.
template <typename E>
inline constexpr auto kWireNames =
    Detail::WireNamesOf<E>(std::make_index_sequence<Detail::WireNameCount<E>()>());

// Whether a member of type `M` is an optional field.
template <typename M>
inline constexpr bool kIsOptionalMember =
    kShapeOf<M> == NativeShape::kOptional || kShapeOf<M> == NativeShape::kOptionalPtr;

namespace Detail {

// The conversion step for native type `T` of an adapter between native objects and values.
// Both directions name their steps alike, so one chain over the shape serves both.
template <typename Adapter, typename T>
typename Adapter::Method ValueStepOf() {
  using X = ElementOf<T>;
  constexpr NativeShape kShape = kShapeOf<T>;
  if constexpr (kShape == NativeShape::kStructure) {
    return &Adapter::template StructMethod<T>;
  } else if constexpr (kShape == NativeShape::kEnumeration) {
    return &Adapter::template EnumMethod<T>;
  } else if constexpr (kShape == NativeShape::kPrimitive) {
    return &Adapter::template PrimitiveMethod<T>;
  } else if constexpr (kShape == NativeShape::kDynamic) {
    return &Adapter::DynamicMethod;
  } else if constexpr (kShape == NativeShape::kSharedPtr) {
    return &Adapter::template SharedPtrMethod<X>;
  } else if constexpr (kShape == NativeShape::kOptionalPtr || kShape == NativeShape::kOptional) {
    return &Adapter::template OptionalBeginMethod<T>;
  } else if constexpr (kShape == NativeShape::kList) {
    return &Adapter::template ListBeginMethod<X>;
  } else {
    static_assert(kShape == NativeShape::kMap);
    return &Adapter::template MapBeginMethod<X>;
  }
}

}  // namespace Detail

// One step of a conversion: what to convert, how, and where the result goes.
template <typename Source, typename Destination, typename Messages, typename Work>
struct BasicAdaptEntry {
  using Method = void (*)(Source const& source, Destination const& destination, Work& work,
                          Messages& messages);
  Source source;
  Method method;
  Destination destination;
};

// The stack of queued steps of one conversion. The steps of a call's arguments and answers,
// and those of a map or list of a few hundred entries (all queued at once), fit in place:
// 6 KiB of the converting thread's stack. Such a conversion allocates no work list; growing
// one from fewer places took three or four allocations of rising size.
template <typename Entry>
using WorkStack = boost::container::small_vector<Entry, 256>;

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
