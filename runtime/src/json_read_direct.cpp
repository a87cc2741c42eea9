// Reading canonical JSON in one pass: values are built from the parser's events, with no
// intermediate JSON tree.
//
// This reader takes only text in the form ToJson writes: the tag of an object first, a
// structure's name before its fields, field names in strictly increasing order, every tag with
// the one value it takes. On anything else (an error, another order, a repeated key, a tag it
// does not read) it gives up without a message, and the tree reader (json_read.cpp), which
// accepts every order and says what is wrong, reads the text instead. What both read, they
// read to the same value.
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "json_one_pass.h"
#include "value_arena.h"

namespace Ormi::Data::Detail {
namespace {

namespace json = boost::json;

// What a tagged object stands for, known from its first key.
enum class Tag : unsigned char {
  kUnknown,
  kStruct,
  kError,
  kOptional,
  kVoid,
  kMap,
  kDouble,
  kSecret,
  kBlob,
  kDateTime
};

// The key of each tag, by its number; "$list" is not among them: the tree reader takes it.
constexpr char const* kTagKeys[] = {"",     "$struct", "$error",  "$optional", "$void",
                                    "$map", "$double", "$secret", "$blob",     "$datetime"};

static_assert(std::size(kTagKeys) == static_cast<std::size_t>(Tag::kDateTime) + 1,
              "one key for every tag");

Tag TagOf(json::string_view key) {
  for (std::size_t i = 1; i < std::size(kTagKeys); ++i) {
    if (key == kTagKeys[i]) return static_cast<Tag>(i);
  }
  return Tag::kUnknown;
}

// An open array or object. Elements and fields are gathered on the reader's stacks from
// `base` on and become a value when their container ends, so it is sized once.
struct Frame {
  enum class Kind : unsigned char { kArray, kObject, kFields };
  Kind kind = Kind::kArray;
  Tag tag = Tag::kUnknown;  // of a tagged object
  ListKind list_kind = ListKind::kPlain;
  unsigned char keys = 0;  // keys of a tagged object so far; 3 once a structure's fields begin
  std::size_t base = 0;    // first entry of `values_` (and of `keys_`) that is this frame's
  std::size_t key_base = 0;
  ValuePtr result;                          // the value a tagged object stands for, once known
  std::shared_ptr<CompoundValue> compound;  // the same, for a structure or an error
};

class DirectBuilder : public OnePassHandler {
 public:
  // The value read, once the document ended.
  ValuePtr Release() { return std::move(root_); }

  bool on_object_begin(json::error_code& ec) {
    if (!frames_.empty() && frames_.back().kind == Frame::Kind::kObject) {
      Frame& parent = frames_.back();
      if (IsCompound(parent.tag) && parent.keys == 2) {
        parent.keys = 3;
        return Push(Frame::Kind::kFields, ListKind::kPlain);
      }
      if (!TakesValue(parent, Tag::kOptional)) return GiveUp(ec);
    }
    return Push(Frame::Kind::kObject, ListKind::kPlain);
  }

  bool on_object_end(std::size_t /*n*/, json::error_code& ec) {
    Frame& frame = frames_.back();
    if (frame.kind == Frame::Kind::kFields) return EndFields(ec);
    bool const complete = IsCompound(frame.tag) ? frame.keys == 3 : frame.keys == 1;
    if (!complete || !frame.result) return GiveUp(ec);
    ValuePtr value = std::move(frame.result);
    frames_.pop_back();
    return Deliver(std::move(value), ec);
  }

  bool on_array_begin(json::error_code& ec) {
    ListKind list_kind = ListKind::kPlain;
    if (!frames_.empty() && frames_.back().kind == Frame::Kind::kObject) {
      Frame const& parent = frames_.back();
      if (TakesValue(parent, Tag::kMap)) {
        list_kind = ListKind::kMap;
      } else if (!TakesValue(parent, Tag::kOptional)) {
        return GiveUp(ec);
      }
    }
    return Push(Frame::Kind::kArray, list_kind);
  }

  bool on_array_end(std::size_t /*n*/, json::error_code& ec) {
    Frame const& frame = frames_.back();
    auto list = ListValue::GetInstance(frame.list_kind);
    list->Reserve(values_.size() - frame.base);
    for (std::size_t i = frame.base; i < values_.size(); ++i) list->Append(std::move(values_[i]));
    values_.resize(frame.base);
    frames_.pop_back();
    return Deliver(std::move(list), ec);
  }

  bool on_key(json::string_view s, std::size_t /*n*/, json::error_code& ec) {
    json::string_view const key = Whole(s);
    Frame& frame = frames_.back();
    if (frame.kind == Frame::Kind::kFields) return AddKey(frame, key, ec);
    if (frame.keys == 0) frame.tag = TagOf(key);
    bool const ok = frame.keys == 0 ? frame.tag != Tag::kUnknown
                                    : frame.keys == 1 && frame.compound && key == "fields";
    PartDone();
    if (!ok) return GiveUp(ec);
    ++frame.keys;
    return true;
  }

  bool on_string(json::string_view s, std::size_t /*n*/, json::error_code& ec) {
    json::string_view const text = Whole(s);
    bool const ok = ValuePosition() ? Deliver(StringValue::GetInstance(std::string(text)), ec)
                                    : TaggedString(frames_.back(), text);
    PartDone();
    return ok || GiveUp(ec);
  }

  bool on_int64(std::int64_t i, json::string_view /*s*/, json::error_code& ec) {
    NumberDone();
    if (ValuePosition()) return Deliver(IntegerValue::GetInstance(i), ec);
    return SetDouble(static_cast<double>(i), ec);
  }

  bool on_uint64(std::uint64_t u, json::string_view /*s*/, json::error_code& ec) {
    NumberDone();
    return ValuePosition() ? GiveUp(ec) : SetDouble(static_cast<double>(u), ec);
  }

  bool on_double(double d, json::string_view s, json::error_code& ec) {
    double const precise = Rounded(s, d);
    return ValuePosition() ? GiveUp(ec) : SetDouble(precise, ec);
  }

  bool on_bool(bool b, json::error_code& ec) {
    return ValuePosition() ? Deliver(BooleanValue::GetInstance(b), ec) : GiveUp(ec);
  }

  bool on_null(json::error_code& ec) {
    if (frames_.empty()) return GiveUp(ec);
    Frame& frame = frames_.back();
    if (TakesValue(frame, Tag::kVoid)) return frame.result = VoidValue::GetInstance(), true;
    if (TakesValue(frame, Tag::kOptional)) return frame.result = OptionalValue::GetInstance(), true;
    return GiveUp(ec);
  }

 private:
  static bool IsCompound(Tag tag) { return tag == Tag::kStruct || tag == Tag::kError; }

  // Whether `frame` is an object tagged `tag` that still waits for its one value.
  static bool TakesValue(Frame const& frame, Tag tag) {
    return frame.kind == Frame::Kind::kObject && frame.tag == tag && frame.keys == 1 &&
           !frame.result;
  }

  // Whether the next value is one of its own: the document, an element, a field's value or
  // what an optional holds (rather than the scalar of a tag).
  bool ValuePosition() const {
    return frames_.empty() || frames_.back().kind != Frame::Kind::kObject ||
           TakesValue(frames_.back(), Tag::kOptional);
  }

  bool Push(Frame::Kind kind, ListKind list_kind) {
    Frame& frame = frames_.emplace_back();
    frame.kind = kind;
    frame.list_kind = list_kind;
    frame.base = values_.size();
    frame.key_base = keys_.size();
    return true;
  }

  // A value is complete: it goes to the open container, or it is the document's.
  bool Deliver(ValuePtr value, json::error_code& ec) {
    if (frames_.empty()) return root_ = std::move(value), true;
    Frame& frame = frames_.back();
    if (frame.kind != Frame::Kind::kObject) return values_.push_back(std::move(value)), true;
    if (!TakesValue(frame, Tag::kOptional) && !TakesValue(frame, Tag::kMap)) return GiveUp(ec);
    frame.result = frame.tag == Tag::kOptional ? OptionalValue::GetInstance(std::move(value))
                                               : std::move(value);
    return true;
  }

  // The string of a tagged object: a structure's name or a tagged scalar.
  static bool TaggedString(Frame& frame, json::string_view text) {
    if (frame.keys != 1 || frame.result) return false;
    switch (frame.tag) {
      case Tag::kStruct:
        frame.compound = StructValue::GetInstance(std::string(text));
        frame.result = frame.compound;
        return true;
      case Tag::kError:
        frame.compound = MakeValue<ErrorValue>(std::string(text));
        frame.result = frame.compound;
        return true;
      case Tag::kSecret:
      case Tag::kBlob:
      case Tag::kDateTime:
      case Tag::kDouble:
        frame.result = TaggedTextValue(kTagKeys[static_cast<std::size_t>(frame.tag)], text);
        return frame.result != nullptr;
      default:
        return false;
    }
  }

  bool SetDouble(double value, json::error_code& ec) {
    Frame& frame = frames_.back();
    if (!TakesValue(frame, Tag::kDouble)) return GiveUp(ec);
    frame.result = DoubleValue::GetInstance(value);
    return true;
  }

  // A field name, which must follow the frame's last one in name order.
  bool AddKey(Frame const& frame, json::string_view key, json::error_code& ec) {
    if (keys_.size() > frame.key_base && !(KeyAt(keys_.size() - 1) < key)) {
      PartDone();
      return GiveUp(ec);
    }
    keys_.emplace_back(key_text_.size(), key.size());
    key_text_.append(key.data(), key.size());
    PartDone();
    return true;
  }

  json::string_view KeyAt(std::size_t i) const {
    return {key_text_.data() + keys_[i].first, keys_[i].second};
  }

  // The fields of a structure end: they go into the structure value their object began.
  bool EndFields(json::error_code& ec) {
    Frame const fields = std::move(frames_.back());
    frames_.pop_back();
    std::size_t const count = values_.size() - fields.base;
    if (count != keys_.size() - fields.key_base) return GiveUp(ec);
    CompoundValue& compound = *frames_.back().compound;
    std::size_t const name_bytes = count > 0 ? key_text_.size() - keys_[fields.key_base].first : 0;
    compound.ReserveFields(count, name_bytes);
    for (std::size_t i = 0; i < count; ++i) {
      json::string_view const key = KeyAt(fields.key_base + i);
      compound.FieldSlot(std::string_view(key.data(), key.size())) =
          std::move(values_[fields.base + i]);
    }
    if (count > 0) key_text_.resize(keys_[fields.key_base].first);
    keys_.resize(fields.key_base);
    values_.resize(fields.base);
    return true;
  }

  std::vector<Frame> frames_;
  std::vector<ValuePtr> values_;  // elements and field values of the open containers
  std::vector<std::pair<std::size_t, std::size_t>> keys_;  // field names: offset, size
  std::string key_text_;                                   // the text of those names
  ValuePtr root_;
};

}  // namespace

bool ReadCanonicalDirect(boost::string_view text, JsonLimits const& limits, ValuePtr* out) {
  return ParseInOnePass<DirectBuilder>(text, limits, [out](DirectBuilder& builder) {
    ValuePtr value = builder.Release();
    if (!value) return false;
    *out = std::move(value);
    return true;
  });
}

}  // namespace Ormi::Data::Detail
