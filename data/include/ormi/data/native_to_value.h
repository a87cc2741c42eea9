// Native objects to dynamic values.
//
// A conversion runs on a work list used as a stack: a step never converts a child itself; it
// reserves the slot where the child's value goes and queues the child. Children are therefore
// converted in the reverse of the order in which they were queued, and the call depth does not
// grow with the nesting depth of the data.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/utility/string_view.hpp>

#include "ormi/data/base_native.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/data/native_shape.h"
#include "ormi/data/struct_type_info.h"
#include "ormi/data/type_info.h"
#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"
#include "ormi/message.h"

namespace Ormi::Data {
namespace Detail {

// How many fields a structure declares, and where each goes among them in byte-wise name
// order, in the order its `AddFields` gives them; no places when two have one name, and then
// they are added by name.
struct DeclaredPlaces {
  std::size_t count = 0;
  std::vector<std::size_t> places;
};

// Records the names the to-value form of `AddFields` gives.
struct FieldNameRecorder {
  template <typename M>
  void AddField(boost::string_view name, M const* /*member*/) {
    names.push_back(name);
  }
  std::vector<boost::string_view> names;
};

DeclaredPlaces PlacesOf(std::vector<boost::string_view> const& names);

// Worked out once per structure, from the very calls that fill its values.
template <typename T>
DeclaredPlaces const& DeclaredPlacesOf() {
  static DeclaredPlaces const places = [] {
    FieldNameRecorder recorder;
    T const probe{};
    std::shared_ptr<StructValue> none;
    T::AdapterHelper::AddFields(recorder, &probe, none);
    return PlacesOf(recorder.names);
  }();
  return places;
}

// The fields a value of `T` will have: the declared ones and the kept unknown ones.
template <typename T>
std::size_t FieldCountOf(T const& native, std::size_t declared) {
  if constexpr (std::is_base_of_v<BaseNative, T>) {
    if (native.unknownFields) return declared + native.unknownFields->fields().size();
  }
  return declared;
}

}  // namespace Detail

class NativeToValueAdapter {
 public:
  struct WorkList;
  using Entry = BasicAdaptEntry<NativeConstPtr, ValuePtr*, std::list<BaseMessage>, WorkList>;
  using Method = Entry::Method;

  // The work list of one conversion.
  struct WorkList {
    void Push(NativeConstPtr source, Method method, ValuePtr* destination) {
      items.push_back(Entry{source, method, destination});
    }
    // Records `message` and drops every queued step: the conversion ends here.
    void Fail(BaseMessage message, std::list<BaseMessage>& messages) {
      messages.push_back(std::move(message));
      items.clear();
    }

    WorkStack<Entry> items;  // its capacity stays for the whole conversion
  };

  // Converts the native object at `source` with `method` (AdaptMethod<T>::Get(&object)) into
  // `*destination`. True exactly when no message was appended; on false the destination may
  // hold a partly built value that must not be used. No step reads the localizer.
  static bool Adapt(NativeConstPtr const& source, Method const& method,
                    ValuePtr* const& destination, std::list<BaseMessage>& messages,
                    L10n::RequestLocalizer const& localizer);

  // The conversion step for native type `T`; the argument only selects the type.
  template <typename T>
  struct AdaptMethod {
    static Method Get(T const* /*unused*/ = nullptr);
  };

  // Fills one structure value; handed to the structure's `AdapterHelper::AddFields`.
  // Native structures become structure values only.
  template <typename Compound>
  class CompoundHelper {
    static_assert(std::is_same_v<Compound, StructValue>, "structures become structure values");

   public:
    CompoundHelper(std::shared_ptr<StructValue> value, WorkList& work)
        : value_(std::move(value)), work_(work) {}

    // Visits the fields of `native` into this helper's structure value. The declared fields
    // go straight to their places in name order; unknown ones are then added by name.
    template <typename T>
    void AddFields(T const* native) {
      Detail::DeclaredPlaces const& declared = Detail::DeclaredPlacesOf<T>();
      places_ = declared.places.data();
      declared_ = declared.places.size();
      value_->ReserveFields(Detail::FieldCountOf(*native, declared.count));
      T::AdapterHelper::AddFields(*this, native, value_);
    }

    // Reserves the field's slot, so every declared field is present, and queues the member.
    // `name` is static text (the generated code's literal), which the field refers to.
    template <typename M>
    void AddField(boost::string_view name, M const* member) {
      std::string_view const text(name.data(), name.size());
      ValuePtr& slot = next_ < declared_
                           ? value_->PlaceLastingField(text, places_[next_++], declared_)
                           : value_->LastingFieldSlot(text);
      work_.Push(member, AdaptMethod<M>::Get(member), &slot);
    }

   private:
    std::shared_ptr<StructValue> value_;
    WorkList& work_;
    std::size_t const* places_ = nullptr;
    std::size_t declared_ = 0;
    std::size_t next_ = 0;
  };

  template <typename S>
  static void StructMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                           WorkList& work, std::list<BaseMessage>& /*messages*/) {
    static std::string const name = TypeInfo<S>::name();
    auto value = StructValue::GetInstance(LastingName{&name});
    *destination = value;
    CompoundHelper<StructValue>(std::move(value), work).AddFields(static_cast<S const*>(source));
  }

  template <typename S>
  static void SharedPtrMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                              WorkList& work, std::list<BaseMessage>& messages) {
    auto const& pointer = *static_cast<std::shared_ptr<S const> const*>(source);
    if (!pointer) {
      work.Fail(Message<CoreTag>(MessageId::kUnsetNonOptionalField, TypeInfo<S>::name()), messages);
      return;
    }
    work.Push(pointer.get(), &StructMethod<S>, destination);
  }

  // An unset optional becomes an empty optional value; a set one gets a slot for its value.
  template <typename Optional>
  static void OptionalBeginMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                                  WorkList& work, std::list<BaseMessage>& /*messages*/) {
    using X = ElementOf<Optional>;
    auto const& optional = *static_cast<Optional const*>(source);
    auto value = OptionalValue::GetInstance();
    *destination = value;
    if (!optional) return;
    X const& contained = *optional;
    work.Push(&contained, AdaptMethod<X>::Get(&contained), &value->value(nullptr));
  }

  template <typename X>
  static void ListBeginMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                              WorkList& work, std::list<BaseMessage>& /*messages*/) {
    auto const& list = *static_cast<std::list<X> const*>(source);
    auto value = ListValue::GetInstance(ListKind::kPlain);
    value->Reserve(list.size());
    for (X const& element : list) {
      work.Push(&element, AdaptMethod<X>::Get(&element), &value->AppendSlot());
    }
    *destination = std::move(value);
  }

  // A map becomes a list of "map-entry" structures with the fields "key" and "value", in
  // ascending key order.
  template <typename X>
  static void MapBeginMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                             WorkList& work, std::list<BaseMessage>& /*messages*/) {
    auto const& map = *static_cast<std::map<std::string, X> const*>(source);
    auto value = ListValue::GetInstance(ListKind::kMap);
    value->Reserve(map.size());
    *destination = value;
    for (auto const& entry : map) {
      auto map_entry = NewMapEntry();
      work.Push(&entry.first, &PrimitiveMethod<std::string>, map_entry.key);
      work.Push(&entry.second, AdaptMethod<X>::Get(&entry.second), map_entry.value);
      value->Append(std::move(map_entry.entry));
    }
  }

  // The wire name of the enumerator, or the kept text of an unrecognised one.
  template <typename E>
  static void EnumMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                         WorkList& /*work*/, std::list<BaseMessage>& /*messages*/) {
    auto const& native = *static_cast<E const*>(source);
    bool const kept = native.value() == E::_UNKNOWN && !native.unknownText().empty();
    *destination = StringValue::GetInstance(kept ? native.unknownText()
                                                 : std::string(kWireNames<E>[native.value()]));
  }

  template <typename T>
  static void PrimitiveMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                              WorkList& /*work*/, std::list<BaseMessage>& /*messages*/) {
    *destination = DataValue::Create<T>(*static_cast<T const*>(source));
  }

  // A dynamic structure's value is shared, not copied.
  static void DynamicMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                            WorkList& work, std::list<BaseMessage>& messages);
};

template <typename T>
NativeToValueAdapter::Method NativeToValueAdapter::AdaptMethod<T>::Get(T const* /*unused*/) {
  return Detail::ValueStepOf<NativeToValueAdapter, T>();
}

}  // namespace Ormi::Data
