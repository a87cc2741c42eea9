// The dynamic value model: immutable-once-built trees of shared values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "ormi/data/field_map.h"
#include "ormi/message.h"
#include "ormi/types.h"

namespace Ormi::Data {

class ValueVisitor;

// The kinds of values, by the runtime's kind numbers. An error value (6) carries named fields
// like a structure; 15 is reserved and no value of this runtime has it.
enum class ValueKind : int {
  kVoid = 0,
  kInteger = 1,
  kDouble = 2,
  kBoolean = 3,
  kBlob = 4,
  kString = 5,
  kError = 6,
  kSecret = 7,
  kList = 8,
  kStructure = 9,
  kOptional = 10,
  kDateTime = 11,
  kReserved = 15,
};

// Facts about each kind, all from one table: a short name for messages and the JSON form
// ("string", "date-time"), and the phrase that names a value of the kind ("a string").
char const* KindName(ValueKind kind);
char const* KindPhrase(ValueKind kind);
// Whether a value of `kind` is read where a structure is expected (structure, error, 15).
bool TakenAsStructure(ValueKind kind);

// The structure that carries one entry of a map ("map-entry" with "key" and "value").
struct MapEntry {
  static constexpr char kName[] = "map-entry";
  static constexpr char kKey[] = "key";
  static constexpr char kValue[] = "value";
};

using ValuePtr = std::shared_ptr<class DataValue const>;

namespace Detail {
// Asks for a value's memory ahead of its turn. The nodes of a tree lie apart on the heap, and
// a walk that queues a container's children reads them only later.
inline void Prefetch(void const* node) { __builtin_prefetch(node); }
}  // namespace Detail

class DataValue {
 public:
  DataValue() = default;
  DataValue(DataValue const&) = delete;
  DataValue& operator=(DataValue const&) = delete;
  virtual ~DataValue() = default;

  virtual ValueKind kind() const = 0;
  virtual void Accept(ValueVisitor& visitor) const = 0;

  // A value of the native `T`: std::string, bool, DateTime, Void, std::int64_t, double.
  template <typename T>
  static ValuePtr Create(T const& native);

  // Reads a value of exactly the kind that `T` maps to. On a mismatch appends
  // "ormi.data.value.type.mismatch" and returns false, leaving `out` unchanged.
  template <typename T>
  bool Value(T* out, std::list<BaseMessage>& messages) const;

  // Like `Value`, but a string value may also stand for the other kinds through its text
  // form ("true"/"false", a date-time text, the empty string for Void).
  template <typename T>
  bool Cast(T* out, std::list<BaseMessage>& messages) const;

 protected:
  friend class TreeReleaser;
  // Moves the direct children out, so that a tree is torn down without recursion.
  virtual void MoveChildrenTo(std::vector<ValuePtr>& /*out*/) {}
  // Runs in the destructor of every value that still has children (a value torn down as part
  // of a tree has given them up already).
  void ReleaseChildren();
};

template <>
ValuePtr DataValue::Create<std::string>(std::string const& native);
template <>
ValuePtr DataValue::Create<bool>(bool const& native);
template <>
ValuePtr DataValue::Create<DateTime>(DateTime const& native);
template <>
ValuePtr DataValue::Create<Void>(Void const& native);
template <>
ValuePtr DataValue::Create<std::int64_t>(std::int64_t const& native);
template <>
ValuePtr DataValue::Create<double>(double const& native);

template <>
bool DataValue::Value<std::string>(std::string* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Value<bool>(bool* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Value<DateTime>(DateTime* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Value<Void>(Void* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Value<std::int64_t>(std::int64_t* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Value<double>(double* out, std::list<BaseMessage>& messages) const;

template <>
bool DataValue::Cast<std::string>(std::string* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Cast<bool>(bool* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Cast<DateTime>(DateTime* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Cast<Void>(Void* out, std::list<BaseMessage>& messages) const;
template <>
bool DataValue::Cast<std::int64_t>(std::int64_t* out, std::list<BaseMessage>& messages) const;

class VoidValue final : public DataValue {
 public:
  static std::shared_ptr<VoidValue> GetInstance();
  ValueKind kind() const override { return ValueKind::kVoid; }
  void Accept(ValueVisitor& visitor) const override;
};

class IntegerValue final : public DataValue {
 public:
  static std::shared_ptr<IntegerValue> GetInstance(std::int64_t value);
  explicit IntegerValue(std::int64_t value) : value_(value) {}
  ValueKind kind() const override { return ValueKind::kInteger; }
  void Accept(ValueVisitor& visitor) const override;
  std::int64_t value() const { return value_; }

 private:
  std::int64_t value_;
};

class DoubleValue final : public DataValue {
 public:
  static std::shared_ptr<DoubleValue> GetInstance(double value);
  explicit DoubleValue(double value) : value_(value) {}
  ValueKind kind() const override { return ValueKind::kDouble; }
  void Accept(ValueVisitor& visitor) const override;
  double value() const { return value_; }

 private:
  double value_;
};

class BooleanValue final : public DataValue {
 public:
  static std::shared_ptr<BooleanValue> GetInstance(bool value);
  explicit BooleanValue(bool value) : value_(value) {}
  ValueKind kind() const override { return ValueKind::kBoolean; }
  void Accept(ValueVisitor& visitor) const override;
  bool value() const { return value_; }

 private:
  bool value_;
};

// Raw bytes.
class BlobValue final : public DataValue {
 public:
  static std::shared_ptr<BlobValue> GetInstance(std::string bytes);
  explicit BlobValue(std::string bytes) : bytes_(std::move(bytes)) {}
  ValueKind kind() const override { return ValueKind::kBlob; }
  void Accept(ValueVisitor& visitor) const override;
  std::string const& value() const { return bytes_; }

 private:
  std::string bytes_;
};

class StringValue : public DataValue {
 public:
  static std::shared_ptr<StringValue> GetInstance(std::string value);
  // A copy or a move straight into the value: the text is not passed on by value first.
  explicit StringValue(std::string const& value) : value_(value) {}
  explicit StringValue(std::string&& value) : value_(std::move(value)) {}
  ValueKind kind() const override { return ValueKind::kString; }
  void Accept(ValueVisitor& visitor) const override;
  std::string const& value() const { return value_; }

 private:
  std::string value_;
};

// A date-time. It is visited as a string (its text form) but keeps its own kind, so that
// a date-time and a string holding the same text stay distinct.
class DateTimeValue final : public StringValue {
 public:
  static std::shared_ptr<DateTimeValue> GetInstance(DateTime value);
  explicit DateTimeValue(DateTime value) : StringValue(value.ToString()), date_time_(value) {}
  ValueKind kind() const override { return ValueKind::kDateTime; }
  DateTime dateTime() const { return date_time_; }

 private:
  DateTime date_time_;
};

// A string that must not be shown; diagnostics print it masked.
class SecretValue final : public DataValue {
 public:
  static std::shared_ptr<SecretValue> GetInstance(std::string value);
  explicit SecretValue(std::string value) : value_(std::move(value)) {}
  ValueKind kind() const override { return ValueKind::kSecret; }
  void Accept(ValueVisitor& visitor) const override;
  std::string const& value() const { return value_; }

 private:
  std::string value_;
};

// An optional value: unset, or set with a value slot.
class OptionalValue final : public DataValue {
 public:
  static std::shared_ptr<OptionalValue> GetInstance();
  static std::shared_ptr<OptionalValue> GetInstance(ValuePtr value);
  OptionalValue() = default;
  ~OptionalValue() override {
    if (value_) ReleaseChildren();
  }
  OptionalValue(OptionalValue const&) = delete;
  OptionalValue& operator=(OptionalValue const&) = delete;
  OptionalValue(OptionalValue&&) = delete;
  OptionalValue& operator=(OptionalValue&&) = delete;
  ValueKind kind() const override { return ValueKind::kOptional; }
  void Accept(ValueVisitor& visitor) const override;

  bool isSet() const { return set_; }
  ValuePtr const& value() const { return value_; }
  // Marks the optional as set, stores `value` and returns the slot that holds it.
  ValuePtr& value(ValuePtr value);

 private:
  void MoveChildrenTo(std::vector<ValuePtr>& out) override;
  bool set_ = false;
  ValuePtr value_;
};

// The element slots of a list. Appending keeps the address of every slot: slots live in
// chunks that never move, a first one of f slots (1 unless reserved) and then chunks of
// 2f, 4f, 8f, ..., so an empty list allocates nothing, a one-element list one slot (a deeply
// nested chain of lists stays small) and a list reserved at its final size one chunk.
// Chunks made while a value arena scope is open are placed in its arena.
class ValueSlots {
 public:
  ValueSlots() = default;
  ~ValueSlots() { clear(); }
  ValueSlots(ValueSlots const&) = delete;
  ValueSlots& operator=(ValueSlots const&) = delete;
  ValueSlots(ValueSlots&&) = delete;
  ValueSlots& operator=(ValueSlots&&) = delete;

  template <bool IsConst>
  class Iterator {
   public:
    using iterator_category = std::bidirectional_iterator_tag;
    using value_type = ValuePtr;
    using difference_type = std::ptrdiff_t;
    using reference = std::conditional_t<IsConst, ValuePtr const&, ValuePtr&>;
    using pointer = std::conditional_t<IsConst, ValuePtr const*, ValuePtr*>;
    using Owner = std::conditional_t<IsConst, ValueSlots const, ValueSlots>;

    Iterator(Owner* slots, std::size_t index) : slots_(slots), index_(index) {}
    reference operator*() const { return (*slots_)[index_]; }
    pointer operator->() const { return &(*slots_)[index_]; }
    Iterator& operator++() { return ++index_, *this; }
    Iterator operator++(int) { return {slots_, index_++}; }
    Iterator& operator--() { return --index_, *this; }
    Iterator operator--(int) { return {slots_, index_--}; }
    friend bool operator==(Iterator a, Iterator b) { return a.index_ == b.index_; }
    friend bool operator!=(Iterator a, Iterator b) { return a.index_ != b.index_; }

   private:
    Owner* slots_;
    std::size_t index_;
  };
  using iterator = Iterator<false>;
  using const_iterator = Iterator<true>;
  using const_reverse_iterator = std::reverse_iterator<const_iterator>;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  ValuePtr& operator[](std::size_t index) { return Locate(index); }
  ValuePtr const& operator[](std::size_t index) const {
    return const_cast<ValueSlots*>(this)->Locate(index);
  }
  ValuePtr const& front() const { return (*this)[0]; }
  ValuePtr const& back() const { return (*this)[size_ - 1]; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_reverse_iterator rbegin() const { return const_reverse_iterator(end()); }
  const_reverse_iterator rend() const { return const_reverse_iterator(begin()); }

  // Sizes the first chunk for `count` slots; only before the first slot is added.
  void reserve(std::size_t count) {
    if (size_ == 0 && !first_ && count > 0) {
      first_ = NewChunk(count);
      first_size_ = count;
    }
  }
  // Appends an empty slot and returns it.
  ValuePtr& emplace_back() {
    if (!first_) first_ = NewChunk(first_size_);
    if (size_ == Capacity()) AddChunk();
    return Locate(size_++);
  }
  void clear();

 private:
  // The slots of the first chunk and of the later ones made so far.
  std::size_t Capacity() const { return first_size_ * ((std::size_t{2} << more_.size()) - 1); }
  // Slot i past the first chunk's f is in later chunk k at offset j - f(2^(k+1) - 2), where
  // j = i - f and k + 1 = floor(log2(j / f + 2)).
  ValuePtr& Locate(std::size_t index) {
    if (index < first_size_) return first_[index];
    std::size_t const j = index - first_size_;
    std::size_t const q = j / first_size_ + 2;
    std::size_t chunk = 0;
    while ((q >> (chunk + 2)) != 0) ++chunk;
    return more_[chunk][j - first_size_ * ((std::size_t{2} << chunk) - 2)];
  }

  // A chunk of `count` empty slots: in the arena of the open scope when there is one, so
  // that a list's storage goes with the values built with it.
  static ValuePtr* NewChunk(std::size_t count);
  static void DeleteChunk(ValuePtr* slots, std::size_t count);
  // Adds the next later chunk, twice the size of the one before.
  void AddChunk();

  ValuePtr* first_ = nullptr;
  std::size_t first_size_ = 1;
  std::vector<ValuePtr*> more_;
  std::size_t size_ = 0;
};

// The kinds of lists, by the runtime's numbers: a plain list, or the "map-entry" structures of
// a map.
enum class ListKind : int { kPlain = 1, kMap = 3 };

// A list of values of one list kind.
class ListValue final : public DataValue {
 public:
  using Elements = ValueSlots;  // appending keeps the address of every element

  static std::shared_ptr<ListValue> GetInstance(ListKind list_kind = ListKind::kPlain);
  explicit ListValue(ListKind list_kind) : list_kind_(list_kind) {}
  ~ListValue() override {
    if (!elements_.empty()) ReleaseChildren();
  }
  ListValue(ListValue const&) = delete;
  ListValue& operator=(ListValue const&) = delete;
  ListValue(ListValue&&) = delete;
  ListValue& operator=(ListValue&&) = delete;
  ValueKind kind() const override { return ValueKind::kList; }
  void Accept(ValueVisitor& visitor) const override;

  ListKind listKind() const { return list_kind_; }
  Elements const& elements() const { return elements_; }
  // Makes room for `count` elements in one piece; only before the first is added.
  void Reserve(std::size_t count) { elements_.reserve(count); }
  // Appends an element slot and returns it.
  ValuePtr& AppendSlot();
  void Append(ValuePtr value) { AppendSlot() = std::move(value); }

 private:
  void MoveChildrenTo(std::vector<ValuePtr>& out) override;
  ListKind list_kind_;
  Elements elements_;
};

// A name that outlives every value given it (a static one), which a structure value refers to
// instead of copying.
struct LastingName {
  std::string const* text;
};

// A named set of fields, kept in name order. A field slot keeps its address while other
// fields are added.
class CompoundValue : public DataValue {
 public:
  using Fields = FieldMap;

  ~CompoundValue() override {
    if (!fields_.empty()) ReleaseChildren();
  }
  CompoundValue(CompoundValue const&) = delete;
  CompoundValue& operator=(CompoundValue const&) = delete;
  CompoundValue(CompoundValue&&) = delete;
  CompoundValue& operator=(CompoundValue&&) = delete;
  std::string const& name() const { return *name_; }
  Fields const& fields() const { return fields_; }

  // Finds or inserts the slot of a field.
  ValuePtr& FieldSlot(std::string_view name) { return fields_[name]; }
  // The same for a name whose text outlives the value (static text, such as a generated wire
  // name), which the field then refers to instead of copying.
  ValuePtr& LastingFieldSlot(std::string_view name) { return fields_.LastingSlot(name); }
  // The slot of a structure's declared field when all of them are added in one go to a value
  // without fields, each with its place among them in byte-wise name order
  // (FieldMap::PlaceLasting).
  ValuePtr& PlaceLastingField(std::string_view name, std::size_t place, std::size_t count) {
    return fields_.PlaceLasting(name, place, count);
  }
  void SetField(std::string_view name, ValuePtr value) { fields_[name] = std::move(value); }
  // True with the field's value, or false with "ormi.data.field.not.found" appended.
  bool GetField(std::string_view name, ValuePtr* out, std::list<BaseMessage>& messages) const;
  bool HasField(std::string_view name) const { return fields_.count(name) != 0; }
  // Makes room for `count` fields in all, so that adding them allocates once; `name_bytes`
  // is the length of the names that FieldSlot will copy, all together.
  void ReserveFields(std::size_t count, std::size_t name_bytes = 0) {
    fields_.reserve(count, name_bytes);
  }

 protected:
  explicit CompoundValue(std::string name) : own_name_(std::move(name)), name_(&own_name_) {}
  explicit CompoundValue(LastingName name) : name_(name.text) {}

 private:
  void MoveChildrenTo(std::vector<ValuePtr>& out) override;
  std::string own_name_;
  std::string const* name_;  // own_name_ or a lasting name
  Fields fields_;
};

class StructValue final : public CompoundValue {
 public:
  static std::shared_ptr<StructValue> GetInstance(std::string name);
  static std::shared_ptr<StructValue> GetInstance(LastingName name);
  explicit StructValue(std::string name) : CompoundValue(std::move(name)) {}
  explicit StructValue(LastingName name) : CompoundValue(name) {}
  ValueKind kind() const override { return ValueKind::kStructure; }
  void Accept(ValueVisitor& visitor) const override;
};

// A new map entry: a structure value named MapEntry::kName (one text for all maps) that holds
// its two fields, MapEntry::kKey and MapEntry::kValue, with empty slots for the caller to fill.
struct MapEntrySlots {
  std::shared_ptr<StructValue> entry;
  ValuePtr* key;
  ValuePtr* value;
};
MapEntrySlots NewMapEntry();

// An error: a structure of one of the error types, named by the error's wire name.
class ErrorValue final : public CompoundValue {
 public:
  // An error with no messages: fields "messages" (an empty list) and "data" (unset).
  static std::shared_ptr<ErrorValue> GetInstance(std::string name);
  // An error whose "messages" field lists the given messages as localizable messages
  // ("com.norval.ormi.std.localizable_message" with "id", "default_message", "args").
  static std::shared_ptr<ErrorValue> Create(std::string name,
                                            std::list<BaseMessage> const& messages);
  explicit ErrorValue(std::string name) : CompoundValue(std::move(name)) {}
  ValueKind kind() const override { return ValueKind::kError; }
  void Accept(ValueVisitor& visitor) const override;

  // The messages carried in the "messages" field, read back.
  std::list<BaseMessage> messages() const;
};

class ValueVisitor {
 public:
  virtual void VisitVoid(VoidValue const& value) = 0;
  virtual void VisitInteger(IntegerValue const& value) = 0;
  virtual void VisitDouble(DoubleValue const& value) = 0;
  virtual void VisitBoolean(BooleanValue const& value) = 0;
  virtual void VisitBlob(BlobValue const& value) = 0;
  virtual void VisitString(StringValue const& value) = 0;
  virtual void VisitSecret(SecretValue const& value) = 0;
  virtual void VisitError(ErrorValue const& value) = 0;
  virtual void VisitOptional(OptionalValue const& value) = 0;
  virtual void VisitList(ListValue const& value) = 0;
  virtual void VisitStruct(StructValue const& value) = 0;
  virtual ~ValueVisitor() = default;
};

// Deep equality of two value trees (kinds, names, fields, elements, set-ness); iterative.
bool Equal(DataValue const& a, DataValue const& b);

}  // namespace Ormi::Data
