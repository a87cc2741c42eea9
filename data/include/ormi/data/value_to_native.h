// Dynamic values to native objects.
//
// The mirror of the native-to-value conversion, on the same kind of work list. It is lenient
// where the shape of a value is only a matter of representation: an empty string stands for an
// absent structure, list, map or optional; a scalar for a one-element list; a structure or a
// list of "map-entry" structures for a map; an unrecognised enumeration string for _UNKNOWN
// with the string kept. Type mismatches are reported as messages.
#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include "ormi/data/base_native.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/data/native_shape.h"
#include "ormi/data/struct_type_info.h"
#include "ormi/data/type_info.h"
#include "ormi/data/value.h"
#include "ormi/message.h"

namespace Ormi::Data {
namespace Detail {

// The text of a string value (kind 5); null for any other value.
std::string const* StringOf(ValuePtr const& value);

// The value as a structure when it may stand for one (TakenAsStructure); null otherwise.
CompoundValue const* CompoundOf(ValuePtr const& value);

// A field's place among its structure's declared names in byte-wise order, or kNoRank.
inline constexpr std::size_t kNoRank = static_cast<std::size_t>(-1);

// The slot of the field `name` of `value`, looked for first at `rank`; null when there is
// none, with the runtime's message appended to `messages` unless that is null.
ValuePtr const* FieldSlot(CompoundValue const& value, std::string_view name, std::size_t rank,
                          std::list<BaseMessage>* messages);

// Reads a map key that is not a string value (a string key is copied as it is): as Value reads
// a string, so a date-time gives its text; a missing value appends "ormi.data.invalid.type".
bool ReadKey(ValuePtr const& value, std::string* out, std::list<BaseMessage>& messages);

}  // namespace Detail

// A work item's source is the slot that holds the value: the root the caller passed, a field
// of a structure, an element of a list or the inner value of an optional. The caller holds the
// tree for the whole conversion and nothing changes it meanwhile, so every slot stays where it
// is and holds its value; an item need not share the value's ownership, which would cost an
// atomic increment and decrement per value.
class ValueToNativeAdapter {
 public:
  struct WorkList;
  using Slot = ValuePtr const*;
  using Entry = BasicAdaptEntry<Slot, NativePtr, std::list<BaseMessage>, WorkList>;
  using Method = Entry::Method;

  // The work list of one conversion.
  struct WorkList {
    // `source` must outlive the conversion: a slot of the tree being converted.
    void Push(ValuePtr const& source, Method method, NativePtr destination) {
      items.push_back(Entry{&source, method, destination});
    }
    // Records `message` (when given) and drops every queued step: the conversion ends here.
    void Stop(std::list<BaseMessage>& messages, boost::optional<BaseMessage> message = {});

    WorkStack<Entry> items;  // its capacity stays for the whole conversion
  };

  // Fills the native object at `destination` from `source` with `method`
  // (AdaptMethod<T>::Get(&object)). True exactly when no message was appended; on false the
  // object is partly filled and must not be used.
  static bool Adapt(ValuePtr const& source, Method const& method, NativePtr const& destination,
                    std::list<BaseMessage>& messages);

  // The conversion step for native type `T`; the argument only selects the type.
  template <typename T>
  struct AdaptMethod {
    static Method Get(T const* /*unused*/ = nullptr);
  };

  // Fills one structure; handed to the structure's `AdapterHelper::AddFields`. Any value that
  // may stand for a structure (a structure, an error value, kind 15) is read as one.
  template <typename Compound>
  class CompoundHelper {
    static_assert(std::is_same_v<Compound, StructValue>, "structures are read from structures");

   public:
    // A string source must be empty (an absent structure); other sources must be structures.
    CompoundHelper(ValuePtr const& source, WorkList& work, std::list<BaseMessage>& messages);

    // Whether the fields can be read: a structure value and no message since construction.
    bool usable() const { return value_ && messages_.size() == count_; }
    // The structure value read from; null when the source stood for an absent structure.
    CompoundValue const* value() const { return value_; }
    std::list<BaseMessage>& messages() const { return messages_; }

    // Visits the fields of `native` from this helper's structure value.
    template <typename T>
    void AddFields(T* native) {
      T::AdapterHelper::AddFields(*this, native);
    }

    // Queues the field's value for the member. A missing optional field leaves the member
    // unset without a message; a missing required field is reported as AddFieldInt reports it.
    // `rank`, the name's place among the declared names in byte-wise order (the generated
    // structures give it), is where the field is looked for first.
    template <typename M>
    void AddField(boost::string_view name, M* member, std::size_t rank = Detail::kNoRank) {
      Queue(name, member, rank, kIsOptionalMember<M> ? nullptr : &messages_);
    }

    // Queues a required field's value for the member. A missing field appends the runtime's
    // message to `messages`, which skips the structure's later fields.
    template <typename M>
    void AddFieldInt(boost::string_view name, M* member, std::list<BaseMessage>& messages) {
      Queue(name, member, Detail::kNoRank, &messages);
    }

   private:
    template <typename M>
    void Queue(boost::string_view name, M* member, std::size_t rank, std::list<BaseMessage>* sink) {
      if (!usable()) return;
      ValuePtr const* field =
          Detail::FieldSlot(*value_, std::string_view(name.data(), name.size()), rank, sink);
      if (field != nullptr) work_.Push(*field, AdaptMethod<M>::Get(member), member);
    }

    CompoundValue const* value_;
    WorkList& work_;
    std::list<BaseMessage>& messages_;
    std::size_t count_;
  };

  // A source that cannot stand for a structure leaves only this structure unfilled.
  template <typename S>
  static void StructMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                           std::list<BaseMessage>& messages) {
    ValuePtr const& source = *slot;
    CompoundHelper<StructValue> helper(source, work, messages);
    if (helper.usable()) helper.AddFields(static_cast<S*>(destination));
  }

  template <typename S>
  static void SharedPtrMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                              std::list<BaseMessage>& /*messages*/) {
    ValuePtr const& source = *slot;
    std::shared_ptr<S> native = TypeInfo<S>::defaultInstance(source);
    *static_cast<std::shared_ptr<S const>*>(destination) = native;
    work.Push(source, &StructMethod<S>, native.get());
  }

  // Sets a native optional and returns its contained object, with that object's step.
  template <typename Optional>
  struct OptionalAccess;
  template <typename X>
  struct OptionalAccess<boost::optional<X>> {
    static NativePtr Set(boost::optional<X>& optional, ValuePtr const& /*value*/) {
      optional.emplace();
      return &*optional;
    }
    static Method ContainedMethod() { return AdaptMethod<X>::Get(); }
  };
  template <typename S>
  struct OptionalAccess<OptionalPtr<S const>> {
    static NativePtr Set(OptionalPtr<S const>& optional, ValuePtr const& value) {
      std::shared_ptr<S> native = TypeInfo<S>::defaultInstance(value);
      optional = native;
      return native.get();
    }
    static Method ContainedMethod() { return &StructMethod<S>; }
  };

  // Sets the optional and queues `value` for the contained object.
  template <typename Optional>
  static void SetOptional(ValuePtr const& value, Optional& optional, WorkList& work) {
    NativePtr contained = OptionalAccess<Optional>::Set(optional, value);
    work.Push(value, OptionalAccess<Optional>::ContainedMethod(), contained);
  }

  // Decides set-ness by the kind of the value: void and an empty optional leave the native
  // optional unset; an optional value gives its inner value; any other value stands for a set
  // optional and its own conversion reports a mismatch.
  template <typename Optional>
  class OptionalVisitor final : public ValueVisitor {
   public:
    OptionalVisitor(ValuePtr const& source, Optional& optional, WorkList& work)
        : source_(source), optional_(optional), work_(work) {}
    void VisitVoid(VoidValue const& /*value*/) override {}
    void VisitInteger(IntegerValue const& /*value*/) override { SetSource(); }
    void VisitDouble(DoubleValue const& /*value*/) override { SetSource(); }
    void VisitBoolean(BooleanValue const& /*value*/) override { SetSource(); }
    void VisitBlob(BlobValue const& /*value*/) override { SetSource(); }
    void VisitString(StringValue const& /*value*/) override { SetSource(); }
    void VisitSecret(SecretValue const& /*value*/) override { SetSource(); }
    void VisitError(ErrorValue const& /*value*/) override { SetSource(); }
    void VisitOptional(OptionalValue const& value) override {
      if (value.isSet() && value.value()) SetOptional(value.value(), optional_, work_);
    }
    void VisitList(ListValue const& /*value*/) override { SetSource(); }
    void VisitStruct(StructValue const& /*value*/) override { SetSource(); }

   private:
    void SetSource() { SetOptional(source_, optional_, work_); }
    ValuePtr const& source_;
    Optional& optional_;
    WorkList& work_;
  };

  template <typename Optional>
  static void OptionalBeginMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                                  std::list<BaseMessage>& /*messages*/) {
    ValuePtr const& source = *slot;
    auto& optional = *static_cast<Optional*>(destination);
    if (std::string const* text = Detail::StringOf(source)) {
      if (!text->empty()) SetOptional(source, optional, work);
      return;
    }
    if (!source) return;
    OptionalVisitor<Optional> visitor(source, optional, work);
    source->Accept(visitor);
  }

  template <typename X>
  static void ListBeginMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                              std::list<BaseMessage>& messages) {
    ValuePtr const& source = *slot;
    auto& list = *static_cast<std::list<X>*>(destination);
    if (std::string const* text = Detail::StringOf(source)) {
      list.clear();
      if (!text->empty()) AppendElement(source, list, work);
      return;
    }
    if (!source || source->kind() != ValueKind::kList) {
      work.Stop(messages, Message<CoreTag>(MessageId::kInvalidType));
      return;
    }
    list.clear();
    for (ValuePtr const& element : static_cast<ListValue const&>(*source).elements()) {
      Detail::Prefetch(element.get());  // read when its step is taken, after the queueing
      AppendElement(element, list, work);
    }
  }

  // Fills a map from a structure (its fields) or from a list of "map-entry" structures.
  template <typename Map>
  class MapVisitor final : public ValueVisitor {
   public:
    MapVisitor(Map& map, WorkList& work, std::list<BaseMessage>& messages)
        : map_(map), work_(work), messages_(messages) {}
    void VisitVoid(VoidValue const& /*value*/) override {}
    void VisitInteger(IntegerValue const& /*value*/) override {}
    void VisitDouble(DoubleValue const& /*value*/) override {}
    void VisitBoolean(BooleanValue const& /*value*/) override {}
    void VisitBlob(BlobValue const& /*value*/) override {}
    void VisitString(StringValue const& /*value*/) override {}
    void VisitSecret(SecretValue const& /*value*/) override {}
    void VisitError(ErrorValue const& /*value*/) override {}
    void VisitOptional(OptionalValue const& /*value*/) override {}
    void VisitList(ListValue const& value) override {
      visited_ = true;
      map_.clear();
      // Each entry is read as it is reached, so the next one is asked for ahead.
      auto const& elements = value.elements();
      for (std::size_t i = 0; i < elements.size(); ++i) {
        if (i + 1 < elements.size()) Detail::Prefetch(elements[i + 1].get());
        if (!AddEntry(elements[i])) return;
      }
    }
    void VisitStruct(StructValue const& value) override {
      visited_ = true;
      map_.clear();
      for (auto const& field : value.fields()) Insert(field.first, field.second);
    }
    bool visited() const { return visited_; }

   private:
    // Adds one "map-entry" element; false when the conversion stopped.
    bool AddEntry(ValuePtr const& element) {
      if (!element || element->kind() != ValueKind::kStructure) {
        work_.Stop(messages_, Message<CoreTag>(MessageId::kInvalidType));
        return false;
      }
      auto const& entry = static_cast<CompoundValue const&>(*element);
      // "key" and "value" are an entry's first and second names in byte order.
      ValuePtr const* key = Detail::FieldSlot(entry, MapEntry::kKey, 0, &messages_);
      ValuePtr const* mapped =
          key != nullptr ? Detail::FieldSlot(entry, MapEntry::kValue, 1, &messages_) : nullptr;
      if (mapped == nullptr) {
        work_.Stop(messages_);
        return false;
      }
      // A string key is copied into the map's node as it is made.
      if (std::string const* text = Detail::StringOf(*key)) {
        Insert(*text, *mapped);
        return true;
      }
      std::string text;
      if (!Detail::ReadKey(*key, &text, messages_)) {
        work_.Stop(messages_);
        return false;
      }
      Insert(std::move(text), *mapped);
      return true;
    }
    // An existing key keeps its node; the last queued entry is converted first, so the first
    // entry of a list with a repeated key decides the mapped value. Keys mostly come in order
    // (a structure's fields are, and so are the entries written from a map), so each is first
    // tried at the end, which costs one comparison instead of a search. (`try_emplace` would
    // compare twice; a node made for a repeated key is dropped.)
    template <typename Key>
    void Insert(Key&& key, ValuePtr const& value) {
      Detail::Prefetch(value.get());  // read when its step is taken
      auto& mapped =
          map_.emplace_hint(map_.end(), std::piecewise_construct,
                            std::forward_as_tuple(std::forward<Key>(key)), std::forward_as_tuple())
              ->second;
      work_.Push(value, AdaptMethod<typename Map::mapped_type>::Get(&mapped), &mapped);
    }
    Map& map_;
    WorkList& work_;
    std::list<BaseMessage>& messages_;
    bool visited_ = false;
  };

  template <typename X>
  static void MapBeginMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                             std::list<BaseMessage>& messages) {
    ValuePtr const& source = *slot;
    using Map = std::map<std::string, X>;
    auto& map = *static_cast<Map*>(destination);
    if (std::string const* text = Detail::StringOf(source)) {
      if (text->empty()) {
        map.clear();
      } else {
        work.Stop(messages, Message<CoreTag>(MessageId::kBadCast1, *text));
      }
      return;
    }
    MapVisitor<Map> visitor(map, work, messages);
    if (source) source->Accept(visitor);
    if (!visitor.visited()) work.Stop(messages, Message<CoreTag>(MessageId::kInvalidType));
  }

  // A wire name gives its enumerator; any other string gives _UNKNOWN with the string kept. A
  // string value's text is compared where it lies, and copied only when it is kept.
  template <typename E>
  static void EnumMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                         std::list<BaseMessage>& messages) {
    ValuePtr const& source = *slot;
    if (std::string const* text = Detail::StringOf(source)) {
      SetEnum(*text, *static_cast<E*>(destination));
      return;
    }
    std::string text;
    if (ReadValue(source, &text, work, messages)) SetEnum(text, *static_cast<E*>(destination));
  }

  // A string value is read through its text form, any other value as it is.
  template <typename T>
  static void PrimitiveMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                              std::list<BaseMessage>& messages) {
    ValuePtr const& source = *slot;
    auto* native = static_cast<T*>(destination);
    if (!source) {
      work.Stop(messages, Message<CoreTag>(MessageId::kInvalidType));
    } else if (!(source->kind() == ValueKind::kString ? source->Cast<T>(native, messages)
                                                      : source->Value<T>(native, messages))) {
      work.Stop(messages);
    }
  }

  // Any value is accepted and shared, not copied.
  static void DynamicMethod(Slot const& slot, NativePtr const& destination, WorkList& work,
                            std::list<BaseMessage>& messages);

 private:
  // Reads `source` as a string; on failure stops the conversion.
  static bool ReadValue(ValuePtr const& source, std::string* out, WorkList& work,
                        std::list<BaseMessage>& messages);

  // The enumerator whose wire name is `text`, or _UNKNOWN keeping `text`.
  template <typename E>
  static void SetEnum(std::string const& text, E& native) {
    auto const& names = kWireNames<E>;
    for (std::size_t index = 0; index < names.size(); ++index) {
      if (names[index] == text) {
        native = E(static_cast<typename E::Enum>(index));
        return;
      }
    }
    native = E(E::_UNKNOWN, text);
  }

  template <typename X>
  static void AppendElement(ValuePtr const& value, std::list<X>& list, WorkList& work) {
    X& element = list.emplace_back();
    work.Push(value, AdaptMethod<X>::Get(&element), &element);
  }
};

template <typename Compound>
ValueToNativeAdapter::CompoundHelper<Compound>::CompoundHelper(ValuePtr const& source,
                                                               WorkList& work,
                                                               std::list<BaseMessage>& messages)
    : value_(Detail::CompoundOf(source)),
      work_(work),
      messages_(messages),
      count_(messages.size()) {
  std::string const* text = Detail::StringOf(source);
  if (text != nullptr && !text->empty()) {
    messages.push_back(Message<CoreTag>(MessageId::kBadCast1, *text));
  } else if (text == nullptr && !value_) {
    messages.push_back(Message<CoreTag>(MessageId::kInvalidType));
  }
}

template <typename T>
ValueToNativeAdapter::Method ValueToNativeAdapter::AdaptMethod<T>::Get(T const* /*unused*/) {
  return Detail::ValueStepOf<ValueToNativeAdapter, T>();
}

}  // namespace Ormi::Data
