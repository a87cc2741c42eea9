// Values: construction, typed reads, field lookup, error values and iterative teardown.
#include "ormi/data/value.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "fast_tls.h"
#include "value_arena.h"

namespace Ormi::Data {
namespace {

constexpr char kLocalizableMessage[] = "com.norval.ormi.std.localizable_message";

template <typename T>
struct KindOf;
template <>
struct KindOf<bool> {
  static constexpr ValueKind kKind = ValueKind::kBoolean;
};
template <>
struct KindOf<std::int64_t> {
  static constexpr ValueKind kKind = ValueKind::kInteger;
};
template <>
struct KindOf<double> {
  static constexpr ValueKind kKind = ValueKind::kDouble;
};

bool Mismatch(ValueKind expected, ValueKind actual, std::list<BaseMessage>& messages) {
  messages.push_back(
      Message<CoreTag>(MessageId::kValueTypeMismatch, KindName(expected), KindName(actual)));
  return false;
}

bool BadCast(std::string const& text, ValueKind target, std::list<BaseMessage>& messages) {
  messages.push_back(Message<CoreTag>(MessageId::kBadCast, text, KindName(target)));
  return false;
}

// Reads a value of exactly `T`'s kind through the concrete class `V`.
template <typename T, typename V>
bool ReadExact(DataValue const& value, T* out, std::list<BaseMessage>& messages) {
  if (value.kind() != KindOf<T>::kKind) return Mismatch(KindOf<T>::kKind, value.kind(), messages);
  *out = static_cast<V const&>(value).value();
  return true;
}

ValuePtr LocalizableMessageValue(BaseMessage const& message) {
  auto result = StructValue::GetInstance(kLocalizableMessage);
  result->SetField("id", StringValue::GetInstance(message.id));
  result->SetField("default_message", StringValue::GetInstance(message.defaultMessage));
  auto args = ListValue::GetInstance(ListKind::kPlain);
  for (std::string const& arg : message.args) args->Append(StringValue::GetInstance(arg));
  result->SetField("args", std::move(args));
  return result;
}

// The text of a string field, or "" when the field is absent or not a string.
std::string StringField(CompoundValue const& value, std::string const& name) {
  auto const found = value.fields().find(name);
  if (found == value.fields().end() || !found->second) return {};
  std::list<BaseMessage> ignored;
  std::string text;
  found->second->Value(&text, ignored);
  return text;
}

// The stack of pending children a thread keeps between teardowns.
struct PendingChildren {
  std::vector<ValuePtr> entries;
};

constexpr std::size_t kKeptPendingCapacity = 16384;  // entries kept between teardowns

}  // namespace

class TreeReleaser {
 public:
  // Releases the children of `value` through `pending`, handling only the entries it adds.
  static void Release(DataValue& value, std::vector<ValuePtr>& pending) {
    std::size_t const base = pending.size();
    value.MoveChildrenTo(pending);
    while (pending.size() > base) {
      ValuePtr child = std::move(pending.back());
      pending.pop_back();
      if (child && child.use_count() == 1) {
        // The only owner may take the parts of a value that was built mutable.
        const_cast<DataValue&>(*child).MoveChildrenTo(pending);
      }
    }
  }
};

void DataValue::ReleaseChildren() {
  // Children that only this tree holds give up their own children before they are
  // destroyed, so each destructor sees no children and the depth never reaches the stack.
  // The stack of pending children is kept per thread, so that tearing down a large tree does
  // not grow (and reallocate) a fresh one each time; a destructor run from within the loop
  // handles only the entries above those it found. Values destroyed after the thread's stack
  // (statics, at its end) use a stack of their own.
  PendingChildren* const pending = Detail::ThreadKept<PendingChildren>::Get();
  if (!pending) {
    std::vector<ValuePtr> own;
    return TreeReleaser::Release(*this, own);
  }
  TreeReleaser::Release(*this, pending->entries);
  auto& entries = pending->entries;
  if (entries.empty() && entries.capacity() > kKeptPendingCapacity) {
    std::vector<ValuePtr>().swap(entries);
  }
}

template <>
ValuePtr DataValue::Create<std::string>(std::string const& native) {
  return Detail::MakeValue<StringValue>(native);  // one copy, into the value
}
template <>
ValuePtr DataValue::Create<bool>(bool const& native) {
  return BooleanValue::GetInstance(native);
}
template <>
ValuePtr DataValue::Create<DateTime>(DateTime const& native) {
  return DateTimeValue::GetInstance(native);
}
template <>
ValuePtr DataValue::Create<Void>(Void const& /*native*/) {
  return VoidValue::GetInstance();
}
template <>
ValuePtr DataValue::Create<std::int64_t>(std::int64_t const& native) {
  return IntegerValue::GetInstance(native);
}
template <>
ValuePtr DataValue::Create<double>(double const& native) {
  return DoubleValue::GetInstance(native);
}

template <>
bool DataValue::Value<std::string>(std::string* out, std::list<BaseMessage>& messages) const {
  // A date-time is also read as its text form.
  ValueKind const actual = kind();
  if (actual != ValueKind::kString && actual != ValueKind::kDateTime) {
    return Mismatch(ValueKind::kString, actual, messages);
  }
  *out = static_cast<StringValue const&>(*this).value();
  return true;
}
template <>
bool DataValue::Value<bool>(bool* out, std::list<BaseMessage>& messages) const {
  return ReadExact<bool, BooleanValue>(*this, out, messages);
}
template <>
bool DataValue::Value<DateTime>(DateTime* out, std::list<BaseMessage>& messages) const {
  if (kind() != ValueKind::kDateTime) return Mismatch(ValueKind::kDateTime, kind(), messages);
  *out = static_cast<DateTimeValue const&>(*this).dateTime();
  return true;
}
template <>
bool DataValue::Value<Void>(Void* /*out*/, std::list<BaseMessage>& messages) const {
  return kind() == ValueKind::kVoid || Mismatch(ValueKind::kVoid, kind(), messages);
}
template <>
bool DataValue::Value<std::int64_t>(std::int64_t* out, std::list<BaseMessage>& messages) const {
  return ReadExact<std::int64_t, IntegerValue>(*this, out, messages);
}
template <>
bool DataValue::Value<double>(double* out, std::list<BaseMessage>& messages) const {
  return ReadExact<double, DoubleValue>(*this, out, messages);
}

template <>
bool DataValue::Cast<std::string>(std::string* out, std::list<BaseMessage>& messages) const {
  return Value(out, messages);
}
template <>
bool DataValue::Cast<std::int64_t>(std::int64_t* out, std::list<BaseMessage>& messages) const {
  if (kind() != ValueKind::kString) return Value(out, messages);
  std::string const& text = static_cast<StringValue const&>(*this).value();
  std::int64_t number = 0;
  auto const read = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || read.ec != std::errc() || read.ptr != text.data() + text.size()) {
    return BadCast(text, ValueKind::kInteger, messages);
  }
  *out = number;
  return true;
}
template <>
bool DataValue::Cast<bool>(bool* out, std::list<BaseMessage>& messages) const {
  if (kind() != ValueKind::kString) return Value(out, messages);
  std::string const& text = static_cast<StringValue const&>(*this).value();
  if (text != "true" && text != "false") return BadCast(text, ValueKind::kBoolean, messages);
  *out = text == "true";
  return true;
}
template <>
bool DataValue::Cast<DateTime>(DateTime* out, std::list<BaseMessage>& messages) const {
  if (kind() != ValueKind::kString) return Value(out, messages);
  std::string const& text = static_cast<StringValue const&>(*this).value();
  return DateTime::Parse(text, out) || BadCast(text, ValueKind::kDateTime, messages);
}
template <>
bool DataValue::Cast<Void>(Void* out, std::list<BaseMessage>& messages) const {
  if (kind() != ValueKind::kString) return Value(out, messages);
  std::string const& text = static_cast<StringValue const&>(*this).value();
  return text.empty() || BadCast(text, ValueKind::kVoid, messages);
}

// Values without state are shared: one void value, one of each boolean.
std::shared_ptr<VoidValue> VoidValue::GetInstance() {
  static auto const kVoid = std::make_shared<VoidValue>();
  return kVoid;
}
std::shared_ptr<IntegerValue> IntegerValue::GetInstance(std::int64_t value) {
  return Detail::MakeValue<IntegerValue>(value);
}
std::shared_ptr<DoubleValue> DoubleValue::GetInstance(double value) {
  return Detail::MakeValue<DoubleValue>(value);
}
std::shared_ptr<BooleanValue> BooleanValue::GetInstance(bool value) {
  static auto const kFalse = std::make_shared<BooleanValue>(false);
  static auto const kTrue = std::make_shared<BooleanValue>(true);
  return value ? kTrue : kFalse;
}
std::shared_ptr<BlobValue> BlobValue::GetInstance(std::string bytes) {
  return Detail::MakeValue<BlobValue>(std::move(bytes));
}
std::shared_ptr<StringValue> StringValue::GetInstance(std::string value) {
  return Detail::MakeValue<StringValue>(std::move(value));
}
std::shared_ptr<DateTimeValue> DateTimeValue::GetInstance(DateTime value) {
  return Detail::MakeValue<DateTimeValue>(value);
}
std::shared_ptr<SecretValue> SecretValue::GetInstance(std::string value) {
  return Detail::MakeValue<SecretValue>(std::move(value));
}
std::shared_ptr<OptionalValue> OptionalValue::GetInstance() {
  return Detail::MakeValue<OptionalValue>();
}
std::shared_ptr<OptionalValue> OptionalValue::GetInstance(ValuePtr value) {
  auto result = Detail::MakeValue<OptionalValue>();
  result->value(std::move(value));
  return result;
}
std::shared_ptr<ListValue> ListValue::GetInstance(ListKind list_kind) {
  return Detail::MakeValue<ListValue>(list_kind);
}
std::shared_ptr<StructValue> StructValue::GetInstance(std::string name) {
  return Detail::MakeValue<StructValue>(std::move(name));
}
std::shared_ptr<StructValue> StructValue::GetInstance(LastingName name) {
  return Detail::MakeValue<StructValue>(name);
}

MapEntrySlots NewMapEntry() {
  static std::string const name = MapEntry::kName;
  auto entry = StructValue::GetInstance(LastingName{&name});
  // Both fields go to their places ("key" sorts first) in one block, without a search.
  ValuePtr* const key = &entry->PlaceLastingField(MapEntry::kKey, 0, 2);
  ValuePtr* const value = &entry->PlaceLastingField(MapEntry::kValue, 1, 2);
  return {std::move(entry), key, value};
}

void VoidValue::Accept(ValueVisitor& visitor) const { visitor.VisitVoid(*this); }
void IntegerValue::Accept(ValueVisitor& visitor) const { visitor.VisitInteger(*this); }
void DoubleValue::Accept(ValueVisitor& visitor) const { visitor.VisitDouble(*this); }
void BooleanValue::Accept(ValueVisitor& visitor) const { visitor.VisitBoolean(*this); }
void BlobValue::Accept(ValueVisitor& visitor) const { visitor.VisitBlob(*this); }
void StringValue::Accept(ValueVisitor& visitor) const { visitor.VisitString(*this); }
void SecretValue::Accept(ValueVisitor& visitor) const { visitor.VisitSecret(*this); }
void OptionalValue::Accept(ValueVisitor& visitor) const { visitor.VisitOptional(*this); }
void ListValue::Accept(ValueVisitor& visitor) const { visitor.VisitList(*this); }
void StructValue::Accept(ValueVisitor& visitor) const { visitor.VisitStruct(*this); }
void ErrorValue::Accept(ValueVisitor& visitor) const { visitor.VisitError(*this); }

ValuePtr& OptionalValue::value(ValuePtr value) {
  set_ = true;
  value_ = std::move(value);
  return value_;
}

void OptionalValue::MoveChildrenTo(std::vector<ValuePtr>& out) {
  if (value_) out.push_back(std::move(value_));
  value_.reset();
}

namespace {

// What precedes a chunk's slots.
struct ChunkHeader {
  Detail::ValueArena* arena;  // the arena it was placed in, or null
};
static_assert(sizeof(ChunkHeader) % alignof(ValuePtr) == 0, "slots follow the header aligned");

std::size_t ChunkBytes(std::size_t count) {
  if (count > (std::numeric_limits<std::size_t>::max() - sizeof(ChunkHeader)) / sizeof(ValuePtr)) {
    throw std::bad_array_new_length();
  }
  return sizeof(ChunkHeader) + count * sizeof(ValuePtr);
}

}  // namespace

ValuePtr* ValueSlots::NewChunk(std::size_t count) {
  Detail::ValueArena* arena = nullptr;
  auto* const header = static_cast<ChunkHeader*>(
      Detail::AllocateStorage(ChunkBytes(count), alignof(ChunkHeader), &arena));
  header->arena = arena;
  auto* const slots = reinterpret_cast<ValuePtr*>(header + 1);
  std::uninitialized_value_construct_n(slots, count);
  return slots;
}

void ValueSlots::DeleteChunk(ValuePtr* slots, std::size_t count) {
  std::destroy_n(slots, count);
  auto* const header = reinterpret_cast<ChunkHeader*>(slots) - 1;
  Detail::FreeStorage(header, ChunkBytes(count), header->arena);
}

void ValueSlots::AddChunk() {
  // Room for the chunk's pointer first, so that a failure leaves no chunk unowned.
  if (more_.size() == more_.capacity()) more_.reserve(std::max<std::size_t>(4, 2 * more_.size()));
  more_.push_back(NewChunk(first_size_ << (more_.size() + 1)));
}

void ValueSlots::clear() {
  for (std::size_t chunk = 0; chunk < more_.size(); ++chunk) {
    DeleteChunk(more_[chunk], first_size_ << (chunk + 1));
  }
  more_.clear();
  if (first_) DeleteChunk(first_, first_size_);
  first_ = nullptr;
  first_size_ = 1;
  size_ = 0;
}

ValuePtr& ListValue::AppendSlot() { return elements_.emplace_back(); }

void ListValue::MoveChildrenTo(std::vector<ValuePtr>& out) {
  for (ValuePtr& element : elements_) {
    if (element) out.push_back(std::move(element));
  }
  elements_.clear();
}

bool CompoundValue::GetField(std::string_view name, ValuePtr* out,
                             std::list<BaseMessage>& messages) const {
  auto const found = fields_.find(name);
  if (found != fields_.end()) {
    *out = found->second;
    return true;
  }
  messages.push_back(Message<CoreTag>(MessageId::kFieldNotFound, std::string(name), *name_));
  return false;
}

void CompoundValue::MoveChildrenTo(std::vector<ValuePtr>& out) { fields_.MoveValuesTo(out); }

std::shared_ptr<ErrorValue> ErrorValue::GetInstance(std::string name) {
  return Create(std::move(name), {});
}

std::shared_ptr<ErrorValue> ErrorValue::Create(std::string name,
                                               std::list<BaseMessage> const& messages) {
  auto result = Detail::MakeValue<ErrorValue>(std::move(name));
  auto list = ListValue::GetInstance(ListKind::kPlain);
  for (BaseMessage const& message : messages) list->Append(LocalizableMessageValue(message));
  result->SetField("messages", std::move(list));
  result->SetField("data", OptionalValue::GetInstance());
  return result;
}

std::list<BaseMessage> ErrorValue::messages() const {
  std::list<BaseMessage> result;
  auto const found = fields().find("messages");
  if (found == fields().end() || !found->second || found->second->kind() != ValueKind::kList) {
    return result;
  }
  for (ValuePtr const& element : static_cast<ListValue const&>(*found->second).elements()) {
    if (!element || element->kind() != ValueKind::kStructure) continue;
    auto const& entry = static_cast<StructValue const&>(*element);
    BaseMessage message{StringField(entry, "id"), StringField(entry, "default_message"), {}};
    auto const args = entry.fields().find("args");
    if (args != entry.fields().end() && args->second && args->second->kind() == ValueKind::kList) {
      for (ValuePtr const& arg : static_cast<ListValue const&>(*args->second).elements()) {
        std::string text;
        std::list<BaseMessage> ignored;
        if (arg && arg->Value(&text, ignored)) message.args.push_back(text);
      }
    }
    result.push_back(std::move(message));
  }
  return result;
}

namespace {

struct KindFacts {
  ValueKind kind;
  char const* name;
  char const* phrase;
};

constexpr KindFacts kKindFacts[] = {
    {ValueKind::kVoid, "void", "void"},
    {ValueKind::kInteger, "integer", "an integer"},
    {ValueKind::kDouble, "double", "a double"},
    {ValueKind::kBoolean, "boolean", "a boolean"},
    {ValueKind::kBlob, "blob", "a blob"},
    {ValueKind::kString, "string", "a string"},
    {ValueKind::kError, "error", "an error"},
    {ValueKind::kSecret, "secret", "a secret"},
    {ValueKind::kList, "list", "a list"},
    {ValueKind::kStructure, "structure", "a structure"},
    {ValueKind::kOptional, "optional", "an optional value"},
    {ValueKind::kDateTime, "date-time", "a date-time"},
};

constexpr KindFacts kUnknownKind{ValueKind::kReserved, "unknown", "a value of an unknown kind"};

KindFacts const& FactsOf(ValueKind kind) {
  for (KindFacts const& facts : kKindFacts) {
    if (facts.kind == kind) return facts;
  }
  return kUnknownKind;
}

}  // namespace

char const* KindName(ValueKind kind) { return FactsOf(kind).name; }
char const* KindPhrase(ValueKind kind) { return FactsOf(kind).phrase; }

bool TakenAsStructure(ValueKind kind) {
  return kind == ValueKind::kStructure || kind == ValueKind::kError || kind == ValueKind::kReserved;
}

}  // namespace Ormi::Data
