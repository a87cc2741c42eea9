// A plain deep copy of a native API tree: every structure is allocated anew and every member
// copied, with no dynamic values in between. It sets the floor that any conversion of the
// same tree pays for allocation. Structures are walked through their generated field list,
// so one copier serves every type; the walk is ordinary recursion with direct member access.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include "ormi/data/value.h"
#include "ormi/types.h"

namespace HyrnBench {

template <typename T, typename = void>
struct IsStructure : std::false_type {};
template <typename T>
struct IsStructure<T, std::void_t<typename T::AdapterHelper>> : std::true_type {};

// Every overload is declared before any is defined, so that each finds the others whatever
// the nesting of the member types.
template <typename T>
std::enable_if_t<!IsStructure<T>::value> CopyInto(T const& from, T* to);
template <typename T>
std::enable_if_t<IsStructure<T>::value> CopyInto(T const& from, T* to);
template <typename T>
void CopyInto(std::shared_ptr<T const> const& from, std::shared_ptr<T const>* to);
template <typename T>
void CopyInto(Ormi::OptionalPtr<T const> const& from, Ormi::OptionalPtr<T const>* to);
template <typename T>
void CopyInto(boost::optional<T> const& from, boost::optional<T>* to);
template <typename T>
void CopyInto(std::list<T> const& from, std::list<T>* to);
template <typename T>
void CopyInto(std::map<std::string, T> const& from, std::map<std::string, T>* to);

template <typename T>
std::enable_if_t<!IsStructure<T>::value> CopyInto(T const& from, T* to) {
  *to = from;  // strings, enumerations, date-times
}

template <typename T>
void CopyInto(std::shared_ptr<T const> const& from, std::shared_ptr<T const>* to) {
  if (!from) return;
  auto copy = std::make_shared<T>();
  CopyInto(*from, copy.get());
  *to = std::move(copy);
}

template <typename T>
void CopyInto(Ormi::OptionalPtr<T const> const& from, Ormi::OptionalPtr<T const>* to) {
  CopyInto(static_cast<std::shared_ptr<T const> const&>(from),
           static_cast<std::shared_ptr<T const>*>(to));
}

template <typename T>
void CopyInto(boost::optional<T> const& from, boost::optional<T>* to) {
  if (!from) return;
  to->emplace();
  CopyInto(*from, &**to);
}

template <typename T>
void CopyInto(std::list<T> const& from, std::list<T>* to) {
  for (auto const& element : from) CopyInto(element, &to->emplace_back());
}

template <typename T>
void CopyInto(std::map<std::string, T> const& from, std::map<std::string, T>* to) {
  for (auto const& entry : from) {
    CopyInto(entry.second, &to->emplace_hint(to->end(), entry.first, T())->second);
  }
}

// Copies each declared member of one structure, visiting the members of the copy; the source
// member sits at the same offset in the source object. The unknown fields are an immutable
// value and are shared, as the conversions do.
template <typename S>
struct CopyHelper {
  S const& from;
  S& to;

  template <typename M>
  void AddField(boost::string_view /*name*/, M* member, std::size_t /*rank*/) {
    auto const offset = reinterpret_cast<char*>(member) - reinterpret_cast<char*>(&to);
    CopyInto(*reinterpret_cast<M const*>(reinterpret_cast<char const*>(&from) + offset), member);
  }
  // No value to collect unknown fields from: they are shared below instead.
  std::shared_ptr<Ormi::Data::CompoundValue const> value() const { return nullptr; }
};

template <typename T>
std::enable_if_t<IsStructure<T>::value> CopyInto(T const& from, T* to) {
  CopyHelper<T> helper{from, *to};
  T::AdapterHelper::AddFields(helper, to);
  to->unknownFields = from.unknownFields;
}

template <typename T>
std::shared_ptr<T const> DeepCopy(T const& root) {
  auto copy = std::make_shared<T>();
  CopyInto(root, copy.get());
  return copy;
}

}  // namespace HyrnBench
