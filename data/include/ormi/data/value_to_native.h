// Dynamic values to native objects.
//
// The mirror of the native-to-value conversion, on the same kind of work list. It is lenient
// where the shape of a value is only a matter of representation: an empty string stands for an
// absent structure, list, map or optional; a scalar for a one-element list; a structure or a
// list of "map-entry" structures for a map; an unrecognised enumeration string for _UNKNOWN
// with the string kept. Type mismatches are reported as messages.
#pragma once

#include <cstddef>
#include <deque>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>

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
namespace V2N_internal {

struct StackMapCnt;
using Entry = BasicAdaptEntry<ValuePtr, NativePtr, std::list<BaseMessage>, StackMapCnt>;

// The work list of one value-to-native conversion.
struct StackMapCnt {
  explicit StackMapCnt(Entry::Method root_method) : root(root_method) {}

  void Push(ValuePtr source, Entry::Method method, NativePtr destination) {
    items.push_back(Entry{std::move(source), method, destination});
  }
  // Records `message` (when given) and drops every queued step: the conversion ends here.
  void Stop(std::list<BaseMessage>& messages, boost::optional<BaseMessage> message = {});

  std::deque<Entry> items;
  Entry::Method root;
};

// The kind of `value`, or -1 for no value.
inline int KindOf(ValuePtr const& value) { return value ? value->kind() : -1; }

// The text of a string value (kind 5); null for any other value.
std::string const* StringOf(ValuePtr const& value);

// The value as a structure when it may stand for one (kinds 9, 6 and 15); null otherwise.
std::shared_ptr<CompoundValue const> CompoundOf(ValuePtr const& value);

// Reads a map key: through its text form when the value is a string value; a missing value
// appends "ormi.data.invalid.type".
bool ReadKey(ValuePtr const& value, std::string* out, std::list<BaseMessage>& messages);

// Copies the fields of `value` whose names are not among the sorted `known` names into
// `*unknown` (created as "unknownFields" on the first one), sharing their values.
void MergeUnknownFields(boost::string_view const* known, std::size_t count,
                        CompoundValue const& value, std::shared_ptr<StructValue>* unknown);

BaseMessage InvalidType();
BaseMessage BadCast(std::string const& text);

}  // namespace V2N_internal

class ValueToNativeAdapter {
 public:
  using StackMapCnt = V2N_internal::StackMapCnt;
  using Method = V2N_internal::Entry::Method;

  // Fills the native object at `destination` from `source` with `method`
  // (AdaptMethod<T>::Get(&object)). True exactly when no message was appended; on false the
  // object is partly filled and must not be used.
  static bool Adapt(ValuePtr const& source, Method const& method, NativePtr const& destination,
                    std::list<BaseMessage>& messages);

  // The conversion step for native type `T`; the argument only selects the type.
  template <typename T>
  struct AdaptMethod {
    static Method Get(T const* /*unused*/ = nullptr) { return Select<T>(ShapeOf<T>{}); }
  };

  // Fills one structure; handed to the structure's `AdapterHelper::AddFields`.
  template <typename S>
  class StructHelper {
   public:
    // A string source must be empty (an absent structure); other sources must be structures.
    StructHelper(ValuePtr const& source, S& native, StackMapCnt& work,
                 std::list<BaseMessage>& messages)
        : native_(native), work_(work), messages_(messages), count_(messages.size()) {
      std::string const* text = V2N_internal::StringOf(source);
      value_ = V2N_internal::CompoundOf(source);
      if (text != nullptr && !text->empty()) {
        messages.push_back(V2N_internal::BadCast(*text));
      } else if (text == nullptr && !value_) {
        messages.push_back(V2N_internal::InvalidType());
      }
    }

    // Whether the fields can be read: a structure value and no message since construction.
    bool usable() const { return value_ && messages_.size() == count_; }

    // Queues the field's value for the member. A missing required field appends the
    // runtime's message, which skips the structure's later fields; a missing optional field
    // leaves the member unset without a message.
    template <typename M>
    void AddField(boost::string_view name, M S::*member) {
      if (!usable()) return;
      ValuePtr field;
      std::list<BaseMessage> ignored;
      auto& sink = IsOptionalMember<M>::value ? ignored : messages_;
      if (!value_->GetField(std::string(name), &field, sink)) return;
      M& target = native_.*member;
      work_.Push(std::move(field), AdaptMethod<M>::Get(&target), &target);
    }

    // Keeps the fields that the structure does not declare; `known_names` lists the declared
    // names sorted byte-wise.
    template <typename Names>
    void AddUnknownFields(Names const& known_names) {
      if (!value_) return;
      BaseNative& base = native_;
      V2N_internal::MergeUnknownFields(std::data(known_names), std::size(known_names), *value_,
                                       &base.unknownFields);
    }

   private:
    S& native_;
    std::shared_ptr<CompoundValue const> value_;
    StackMapCnt& work_;
    std::list<BaseMessage>& messages_;
    std::size_t count_;
  };

  // A source that cannot stand for a structure leaves only this structure unfilled.
  template <typename S>
  static void StructMethod(ValuePtr const& source, NativePtr const& destination, StackMapCnt& work,
                           std::list<BaseMessage>& messages) {
    StructHelper<S> helper(source, *static_cast<S*>(destination), work, messages);
    if (helper.usable()) S::AdapterHelper::AddFields(helper);
  }

  template <typename S>
  static void SharedPtrMethod(ValuePtr const& source, NativePtr const& destination,
                              StackMapCnt& work, std::list<BaseMessage>& /*messages*/) {
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
  static void SetOptional(ValuePtr const& value, Optional& optional, StackMapCnt& work) {
    NativePtr contained = OptionalAccess<Optional>::Set(optional, value);
    work.Push(value, OptionalAccess<Optional>::ContainedMethod(), contained);
  }

  // Decides set-ness by the kind of the value: void and an empty optional leave the native
  // optional unset; an optional value gives its inner value; any other value stands for a set
  // optional and its own conversion reports a mismatch.
  template <typename Optional>
  class OptionalVisitor final : public ValueVisitor {
   public:
    OptionalVisitor(ValuePtr source, Optional& optional, StackMapCnt& work)
        : source_(std::move(source)), optional_(optional), work_(work) {}
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
    ValuePtr source_;
    Optional& optional_;
    StackMapCnt& work_;
  };

  template <typename Optional>
  static void OptionalBeginMethod(ValuePtr const& source, NativePtr const& destination,
                                  StackMapCnt& work, std::list<BaseMessage>& /*messages*/) {
    auto& optional = *static_cast<Optional*>(destination);
    if (std::string const* text = V2N_internal::StringOf(source)) {
      if (!text->empty()) SetOptional(source, optional, work);
      return;
    }
    if (!source) return;
    OptionalVisitor<Optional> visitor(source, optional, work);
    source->Accept(visitor);
  }

  template <typename X>
  static void ListBeginMethod(ValuePtr const& source, NativePtr const& destination,
                              StackMapCnt& work, std::list<BaseMessage>& messages) {
    auto& list = *static_cast<std::list<X>*>(destination);
    if (std::string const* text = V2N_internal::StringOf(source)) {
      list.clear();
      if (!text->empty()) AppendElement(source, list, work);
      return;
    }
    if (V2N_internal::KindOf(source) != ValueKind::kList) {
      work.Stop(messages, V2N_internal::InvalidType());
      return;
    }
    list.clear();
    for (ValuePtr const& element : static_cast<ListValue const&>(*source).elements()) {
      AppendElement(element, list, work);
    }
  }

  // Fills a map from a structure (its fields) or from a list of "map-entry" structures.
  template <typename Map>
  class MapVisitor final : public ValueVisitor {
   public:
    MapVisitor(Map& map, StackMapCnt& work, std::list<BaseMessage>& messages)
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
      for (ValuePtr const& element : value.elements()) {
        if (!AddEntry(element)) return;
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
      if (V2N_internal::KindOf(element) != ValueKind::kStructure) {
        work_.Stop(messages_, V2N_internal::InvalidType());
        return false;
      }
      auto const& entry = static_cast<CompoundValue const&>(*element);
      ValuePtr key;
      ValuePtr mapped;
      std::string text;
      if (!entry.GetField("key", &key, messages_) || !entry.GetField("value", &mapped, messages_) ||
          !V2N_internal::ReadKey(key, &text, messages_)) {
        work_.Stop(messages_);
        return false;
      }
      Insert(text, mapped);
      return true;
    }
    // An existing key keeps its node; the last queued entry is converted first, so the first
    // entry of a list with a repeated key decides the mapped value.
    void Insert(std::string const& key, ValuePtr const& value) {
      auto& mapped = map_[key];
      work_.Push(value, AdaptMethod<typename Map::mapped_type>::Get(&mapped), &mapped);
    }
    Map& map_;
    StackMapCnt& work_;
    std::list<BaseMessage>& messages_;
    bool visited_ = false;
  };

  template <typename X>
  static void MapBeginMethod(ValuePtr const& source, NativePtr const& destination,
                             StackMapCnt& work, std::list<BaseMessage>& messages) {
    using Map = std::map<std::string, X>;
    auto& map = *static_cast<Map*>(destination);
    if (std::string const* text = V2N_internal::StringOf(source)) {
      if (text->empty()) {
        map.clear();
      } else {
        work.Stop(messages, V2N_internal::BadCast(*text));
      }
      return;
    }
    MapVisitor<Map> visitor(map, work, messages);
    if (source) source->Accept(visitor);
    if (!visitor.visited()) work.Stop(messages, V2N_internal::InvalidType());
  }

  // A wire name gives its enumerator; any other string gives _UNKNOWN with the string kept.
  template <typename E>
  static void EnumMethod(ValuePtr const& source, NativePtr const& destination, StackMapCnt& work,
                         std::list<BaseMessage>& messages) {
    std::string text;
    if (!ReadValue(source, &text, work, messages)) return;
    for (int index = 0; E::Strings::values[index] != nullptr; ++index) {
      if (text == E::Strings::values[index]) {
        *static_cast<E*>(destination) = E(static_cast<typename E::Enum>(index));
        return;
      }
    }
    *static_cast<E*>(destination) = E(E::_UNKNOWN, std::move(text));
  }

  // A string value is read through its text form, any other value as it is.
  template <typename T>
  static void PrimitiveMethod(ValuePtr const& source, NativePtr const& destination,
                              StackMapCnt& work, std::list<BaseMessage>& messages) {
    auto* native = static_cast<T*>(destination);
    if (!source) {
      work.Stop(messages, V2N_internal::InvalidType());
    } else if (!(source->kind() == ValueKind::kString ? source->Cast<T>(native, messages)
                                                      : source->Value<T>(native, messages))) {
      work.Stop(messages);
    }
  }

  // Any value is accepted and shared, not copied.
  static void NullMethod(ValuePtr const& source, NativePtr const& destination, StackMapCnt& work,
                         std::list<BaseMessage>& messages);

 private:
  // Reads `source` as a string; on failure stops the conversion.
  static bool ReadValue(ValuePtr const& source, std::string* out, StackMapCnt& work,
                        std::list<BaseMessage>& messages);

  template <typename X>
  static void AppendElement(ValuePtr const& value, std::list<X>& list, StackMapCnt& work) {
    X& element = list.emplace_back();
    work.Push(value, AdaptMethod<X>::Get(&element), &element);
  }

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
    return &OptionalBeginMethod<T>;
  }
  template <typename T, typename X>
  static Method Select(OptionalShape<X> /*unused*/) {
    return &OptionalBeginMethod<T>;
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
