// Native objects to dynamic values.
//
// A conversion runs on a work list used as a stack: a step never converts a child itself; it
// reserves the slot where the child's value goes and queues the child. Children are therefore
// converted in the reverse of the order in which they were queued, and the call depth does not
// grow with the nesting depth of the data.
#pragma once

#include <deque>
#include <list>
#include <memory>
#include <string>
#include <utility>

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

struct Deque;
using NativeToValueEntry =
    BasicAdaptEntry<NativeConstPtr, ValuePtr*, std::list<BaseMessage>, Deque>;

// The work list of one native-to-value conversion.
struct Deque {
  Deque(L10n::RequestLocalizer const& request_localizer, NativeToValueEntry::Method root_method)
      : localizer(request_localizer), root(root_method) {}

  void Push(NativeConstPtr source, NativeToValueEntry::Method method, ValuePtr* destination) {
    items.push_back(NativeToValueEntry{source, method, destination});
  }
  // Records `message` and drops every queued step: the conversion ends here.
  void Fail(BaseMessage message, std::list<BaseMessage>& messages) {
    messages.push_back(std::move(message));
    items.clear();
  }

  std::deque<NativeToValueEntry> items;
  L10n::RequestLocalizer const& localizer;
  NativeToValueEntry::Method root;
};

class NativeToValueAdapter {
 public:
  using Method = NativeToValueEntry::Method;

  // Converts the native object at `source` with `method` (AdaptMethod<T>::Get(&object)) into
  // `*destination`. True exactly when no message was appended; on false the destination may
  // hold a partly built value that must not be used.
  static bool Adapt(NativeConstPtr const& source, Method const& method,
                    ValuePtr* const& destination, std::list<BaseMessage>& messages,
                    L10n::RequestLocalizer const& localizer);

  // The conversion step for native type `T`; the argument only selects the type.
  template <typename T>
  struct AdaptMethod {
    static Method Get(T const* /*unused*/ = nullptr) { return Select<T>(ShapeOf<T>{}); }
  };

  // Fills one structure value; handed to the structure's `AdapterHelper::AddFields`.
  template <typename S>
  class StructHelper {
   public:
    StructHelper(S const& native, std::shared_ptr<StructValue> value, Deque& work)
        : native_(native), value_(std::move(value)), work_(work) {}

    // Reserves the field's slot, so every declared field is present, and queues the member.
    template <typename M>
    void AddField(boost::string_view name, M S::*member) {
      ValuePtr& slot = value_->FieldSlot(std::string(name));
      M const& field = native_.*member;
      work_.Push(&field, AdaptMethod<M>::Get(&field), &slot);
    }

    // Copies the native's unknown fields into the value, sharing their values. Runs after the
    // declared fields are queued and before any of them is converted.
    template <typename Names>
    void AddUnknownFields(Names const& /*known_names*/) {
      BaseNative const& base = native_;
      if (!base.unknownFields) return;
      for (auto const& field : base.unknownFields->fields()) {
        value_->SetField(field.first, field.second);
      }
    }

   private:
    S const& native_;
    std::shared_ptr<StructValue> value_;
    Deque& work_;
  };

  template <typename S>
  static void StructMethod(NativeConstPtr const& source, ValuePtr* const& destination, Deque& work,
                           std::list<BaseMessage>& /*messages*/) {
    auto value = StructValue::GetInstance(TypeInfo<S>::name());
    *destination = value;
    StructHelper<S> helper(*static_cast<S const*>(source), std::move(value), work);
    S::AdapterHelper::AddFields(helper);
  }

  template <typename S>
  static void SharedPtrMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                              Deque& work, std::list<BaseMessage>& messages) {
    auto const& pointer = *static_cast<std::shared_ptr<S const> const*>(source);
    if (!pointer) {
      work.Fail(Message<CoreTag>("ormi.data.unset.non.optional.field", TypeInfo<S>::name()),
                messages);
      return;
    }
    work.Push(pointer.get(), &StructMethod<S>, destination);
  }

  // An unset optional becomes an empty optional value; a set one gets a slot for its value.
  template <typename Optional, typename X>
  static void OptionalBeginMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                                  Deque& work, std::list<BaseMessage>& /*messages*/) {
    auto const& optional = *static_cast<Optional const*>(source);
    auto value = OptionalValue::GetInstance();
    *destination = value;
    if (!optional) return;
    X const& contained = *optional;
    work.Push(&contained, AdaptMethod<X>::Get(&contained), &value->value(nullptr));
  }

  template <typename X>
  static void ListBeginMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                              Deque& work, std::list<BaseMessage>& /*messages*/) {
    auto value = ListValue::GetInstance(ListValue::kPlainList);
    for (X const& element : *static_cast<std::list<X> const*>(source)) {
      work.Push(&element, AdaptMethod<X>::Get(&element), &value->AppendSlot());
    }
    *destination = std::move(value);
  }

  // A map becomes a list of "map-entry" structures with the fields "key" and "value", in
  // ascending key order.
  template <typename X>
  static void MapBeginMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                             Deque& work, std::list<BaseMessage>& /*messages*/) {
    auto value = ListValue::GetInstance(ListValue::kMapList);
    *destination = value;
    for (auto const& entry : *static_cast<std::map<std::string, X> const*>(source)) {
      auto map_entry = StructValue::GetInstance("map-entry");
      work.Push(&entry.first, &PrimitiveMethod<std::string>, &map_entry->FieldSlot("key"));
      work.Push(&entry.second, AdaptMethod<X>::Get(&entry.second), &map_entry->FieldSlot("value"));
      value->Append(std::move(map_entry));
    }
  }

  // The wire name of the enumerator, or the kept text of an unrecognised one.
  template <typename E>
  static void EnumMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                         Deque& /*work*/, std::list<BaseMessage>& /*messages*/) {
    auto const& native = *static_cast<E const*>(source);
    bool const kept = native.value() == E::_UNKNOWN && !native.unknownText().empty();
    *destination = StringValue::GetInstance(kept ? native.unknownText()
                                                 : std::string(E::Strings::values[native.value()]));
  }

  template <typename T>
  static void PrimitiveMethod(NativeConstPtr const& source, ValuePtr* const& destination,
                              Deque& /*work*/, std::list<BaseMessage>& /*messages*/) {
    *destination = DataValue::Create<T>(*static_cast<T const*>(source));
  }

  // A dynamic structure's value is shared, not copied.
  static void NullMethod(NativeConstPtr const& source, ValuePtr* const& destination, Deque& work,
                         std::list<BaseMessage>& messages);

 private:
  template <typename T>
  static Method Select(StructureShape /*unused*/) {
    return &StructMethod<T>;
  }
  template <typename T>
  static Method Select(EnumerationShape /*unused*/) {
    return &EnumMethod<T>;
  }
  template <typename T>
  static Method Select(PrimitiveShape /*unused*/) {
    return &PrimitiveMethod<T>;
  }
  template <typename T>
  static Method Select(DynamicShape /*unused*/) {
    return &NullMethod;
  }
  template <typename T, typename S>
  static Method Select(SharedPtrShape<S> /*unused*/) {
    return &SharedPtrMethod<S>;
  }
  template <typename T, typename S>
  static Method Select(OptionalPtrShape<S> /*unused*/) {
    return &OptionalBeginMethod<T, S>;
  }
  template <typename T, typename X>
  static Method Select(OptionalShape<X> /*unused*/) {
    return &OptionalBeginMethod<T, X>;
  }
  template <typename T, typename X>
  static Method Select(ListShape<X> /*unused*/) {
    return &ListBeginMethod<X>;
  }
  template <typename T, typename X>
  static Method Select(MapShape<X> /*unused*/) {
    return &MapBeginMethod<X>;
  }
};

}  // namespace Ormi::Data
