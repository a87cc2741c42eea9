// Reading the plain JSON form in one pass: values are built from the parser's events beside
// the definition, with no intermediate JSON tree.
//
// This reader takes the shapes a value of the definition has when every part is given in its
// plain form: declared fields only (in any order), integers as JSON integers. On anything else
// (a member the structure does not declare, such as "$unknown" or "$error"; a dynamic
// structure; an integer written 3.0; a key twice; any mismatch) it gives up without a message,
// and the tree reader (plain_json_read.cpp), which takes every form and says what is wrong,
// reads the text instead. What both read, they read to the same value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "json_one_pass.h"
#include "plain_json_rules.h"

namespace Ormi::Data::Detail {
namespace {

namespace json = boost::json;

// Where the next JSON value goes, and the definition it is read as.
struct Target {
  DataDefinition const* definition;
  ValuePtr* slot;
};

// An open array or object and the value it fills.
struct Frame {
  enum class Kind : unsigned char { kStructure, kList, kMap, kWrapped };
  Kind kind = Kind::kStructure;
  // The definition of a list's elements, a map's values or a wrapped optional's value.
  DataDefinition const* element = nullptr;
  StructDefinition const* structure = nullptr;
  CompoundValue* compound = nullptr;              // the structure being filled
  ListValue* list = nullptr;                      // the list or map being filled
  ValuePtr* wrapped = nullptr;                    // the slot of a wrapped optional's value
  StructDefinition::Fields::const_iterator next;  // the declared field looked at first
  std::size_t count = 0;                          // declared fields or wrapped values read
  std::size_t keys = 0;                           // a map's first key in `map_keys_`
};

class PlainBuilder : public OnePassHandler {
 public:
  PlainBuilder(DataDefinition const& definition, ValuePtr* out) : document_{&definition, out} {}

  bool on_object_begin(json::error_code& ec) {
    Target target{};
    if (!Next(false, false, &target)) return GiveUp(ec);
    if (target.slot == nullptr) return true;
    if (StructDefinition const* structure = StructureOf(*target.definition)) {
      auto value = StructValue::GetInstance(structure->name());
      value->ReserveFields(structure->fields().size());
      Frame& frame = Push(Frame::Kind::kStructure);
      frame.structure = structure;
      frame.compound = value.get();
      frame.next = structure->fields().begin();
      *target.slot = std::move(value);
      return true;
    }
    DataDefinition const* map_value = target.definition->kind() == DefinitionKind::kList
                                          ? MapValueOf(AsList(*target.definition))
                                          : nullptr;
    if (!map_value) return GiveUp(ec);
    auto map = ListValue::GetInstance(ListKind::kMap);
    Frame& frame = Push(Frame::Kind::kMap);
    frame.element = map_value;
    frame.list = map.get();
    frame.keys = map_keys_.size();
    *target.slot = std::move(map);
    return true;
  }

  bool on_object_end(std::size_t /*n*/, json::error_code& ec) {
    Frame const& frame = frames_.back();
    bool const complete =
        frame.kind == Frame::Kind::kStructure ? AddMissing(frame) : !RepeatedKey(frame.keys);
    if (frame.kind == Frame::Kind::kMap) map_keys_.resize(frame.keys);
    frames_.pop_back();
    return complete || GiveUp(ec);
  }

  bool on_array_begin(json::error_code& ec) {
    Target target{};
    if (!Next(false, true, &target)) return GiveUp(ec);
    if (target.slot == nullptr) return true;
    if (target.definition->kind() != DefinitionKind::kList ||
        MapValueOf(AsList(*target.definition))) {
      return GiveUp(ec);
    }
    auto list = ListValue::GetInstance(ListKind::kPlain);
    Frame& frame = Push(Frame::Kind::kList);
    frame.element = AsList(*target.definition).element().get();
    frame.list = list.get();
    *target.slot = std::move(list);
    return true;
  }

  bool on_array_end(std::size_t /*n*/, json::error_code& ec) {
    bool const complete = frames_.back().kind != Frame::Kind::kWrapped || frames_.back().count == 1;
    frames_.pop_back();
    return complete || GiveUp(ec);
  }

  bool on_key(json::string_view s, std::size_t /*n*/, json::error_code& ec) {
    json::string_view const key = Whole(s);
    Frame& frame = frames_.back();
    bool const ok =
        frame.kind == Frame::Kind::kStructure ? FieldKey(frame, key) : EntryKey(frame, key);
    PartDone();
    return ok || GiveUp(ec);
  }

  bool on_string(json::string_view s, std::size_t /*n*/, json::error_code& ec) {
    json::string_view const text = Whole(s);
    Target target{};
    bool const ok = Next(false, false, &target) && target.slot && Text(target, text);
    PartDone();
    return ok || GiveUp(ec);
  }

  bool on_int64(std::int64_t i, json::string_view /*s*/, json::error_code& ec) {
    NumberDone();
    Target target{};
    if (!Next(false, false, &target) || !target.slot) return GiveUp(ec);
    switch (ScalarKindOf(*target.definition)) {
      case ValueKind::kInteger:
        return Store(target, IntegerValue::GetInstance(i));
      case ValueKind::kDouble:
        return Store(target, DoubleValue::GetInstance(static_cast<double>(i)));
      default:
        return GiveUp(ec);
    }
  }

  bool on_uint64(std::uint64_t u, json::string_view /*s*/, json::error_code& ec) {
    NumberDone();
    return Scalar(ValueKind::kDouble, DoubleValue::GetInstance(static_cast<double>(u)), ec);
  }

  bool on_double(double d, json::string_view s, json::error_code& ec) {
    return Scalar(ValueKind::kDouble, DoubleValue::GetInstance(Rounded(s, d)), ec);
  }

  bool on_bool(bool b, json::error_code& ec) {
    return Scalar(ValueKind::kBoolean, BooleanValue::GetInstance(b), ec);
  }

  bool on_null(json::error_code& ec) {
    Target target{};
    if (!Next(true, false, &target)) return GiveUp(ec);
    if (target.slot == nullptr) return true;
    if (ScalarKindOf(*target.definition) != ValueKind::kVoid) return GiveUp(ec);
    return Store(target, VoidValue::GetInstance());
  }

 private:
  static ListDefinition const& AsList(DataDefinition const& definition) {
    return static_cast<ListDefinition const&>(definition);
  }

  static bool Store(Target const& target, ValuePtr value) {
    *target.slot = std::move(value);
    return true;
  }

  Frame& Push(Frame::Kind kind) {
    Frame& frame = frames_.emplace_back();
    frame.kind = kind;
    return frame;
  }

  // Where the JSON value that begins now goes, past the optionals its definition wraps it in:
  // an unset optional for null, a set one otherwise. A set optional whose value could itself
  // be written null is an array of that value; it is opened here, and `target` gets no slot,
  // as it does when the value is complete with the unset optional. False when the value has
  // no place (a second value in a wrapped optional's array, no definition).
  bool Next(bool is_null, bool is_array, Target* target) {
    if (!Place(target)) return false;
    while (target->definition && target->definition->kind() == DefinitionKind::kOptional) {
      auto const& optional = static_cast<OptionalDefinition const&>(*target->definition);
      auto value = OptionalValue::GetInstance();
      ValuePtr* const inner = is_null ? nullptr : &value->value(nullptr);
      *target->slot = std::move(value);
      if (is_null) return target->slot = nullptr, true;
      if (WrapsValue(optional)) {
        if (!is_array) return false;
        Frame& frame = Push(Frame::Kind::kWrapped);
        frame.element = optional.element().get();
        frame.wrapped = inner;
        return target->slot = nullptr, true;
      }
      *target = {optional.element().get(), inner};
    }
    return target->definition != nullptr;
  }

  // The place of the next value in the innermost open container, or the document's.
  bool Place(Target* target) {
    if (frames_.empty()) return *target = document_, true;
    Frame& frame = frames_.back();
    switch (frame.kind) {
      case Frame::Kind::kList:
        *target = {frame.element, &frame.list->AppendSlot()};
        return true;
      case Frame::Kind::kWrapped:
        *target = {frame.element, frame.wrapped};
        return ++frame.count == 1;
      default:  // a structure's field or a map's value, named by the key before it
        *target = pending_;
        return true;
    }
  }

  // A structure's member: one of its declared fields, once.
  bool FieldKey(Frame& frame, json::string_view key) {
    std::string_view const name(key.data(), key.size());
    auto const& fields = frame.structure->fields();
    auto declared = frame.next;
    if (declared == fields.end() || declared->first != name)
      declared = fields.find(std::string(name));
    if (declared == fields.end()) return false;
    frame.next = std::next(declared);
    ValuePtr& slot = frame.compound->FieldSlot(name);
    if (slot) return false;
    ++frame.count;
    pending_ = {declared->second.get(), &slot};
    return true;
  }

  // A map's key: a new entry, whose value comes next.
  bool EntryKey(Frame& frame, json::string_view key) {
    auto entry = NewMapEntry();
    auto key_value = StringValue::GetInstance(std::string(key));
    map_keys_.push_back(&key_value->value());
    *entry.key = std::move(key_value);
    pending_ = {frame.element, entry.value};
    frame.list->Append(std::move(entry.entry));
    return true;
  }

  // Sets the declared optional fields that the structure's object left out to unset; false
  // when a required one is missing.
  static bool AddMissing(Frame const& frame) {
    auto const& fields = frame.structure->fields();
    if (frame.count == fields.size()) return true;
    for (auto const& field : fields) {
      if (frame.compound->HasField(field.first)) continue;
      if (!field.second || field.second->kind() != DefinitionKind::kOptional) return false;
      frame.compound->SetField(field.first, OptionalValue::GetInstance());
    }
    return true;
  }

  // Whether a key of the map whose keys begin at `first` in `map_keys_` is there twice.
  bool RepeatedKey(std::size_t first) {
    return Detail::SecondOfRepeatedKey(
               map_keys_, first, [](std::string const* key) -> std::string const& { return *key; },
               order_) != map_keys_.size();
  }

  // A string as the scalar its definition names.
  static bool Text(Target const& target, json::string_view text) {
    ValuePtr value = ScalarOfText(ScalarKindOf(*target.definition), text);
    return value && Store(target, std::move(value));
  }

  // The next value, when it is a scalar of `kind`.
  bool Scalar(ValueKind kind, ValuePtr value, json::error_code& ec) {
    Target target{};
    if (!Next(false, false, &target) || !target.slot || ScalarKindOf(*target.definition) != kind) {
      return GiveUp(ec);
    }
    return Store(target, std::move(value));
  }

  Target const document_;
  Target pending_{nullptr, nullptr};  // a field's or a map value's, after its key
  std::vector<Frame> frames_;
  std::vector<std::string const*> map_keys_;  // the keys of the open maps
  std::vector<std::size_t> order_;            // scratch of RepeatedKey
};

}  // namespace

bool ReadPlainDirect(boost::string_view text, JsonLimits const& limits,
                     DataDefinition const& definition, ValuePtr* out) {
  ValuePtr value;
  if (!ParseInOnePass<PlainBuilder>(
          text, limits, [&value](PlainBuilder const& /*builder*/) { return value != nullptr; },
          definition, &value)) {
    return false;
  }
  *out = std::move(value);
  return true;
}

}  // namespace Ormi::Data::Detail
