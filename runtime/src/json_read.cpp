// Reading the canonical JSON form of values: the text is parsed into a Boost.JSON tree
// (json_parse.cpp), then an explicit stack turns the tree into values, filling each
// container's slots in place. Text in the exact form ToJson writes takes a shorter road
// (json_read_direct.cpp); this reader takes every other order and words the messages.
#include "ormi/data/json.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <boost/json.hpp>

#include "json_detail.h"
#include "value_arena.h"

namespace Ormi::Data {
namespace {

namespace json = boost::json;
using Detail::Fail;

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// One step of the path of a JSON node, for messages: the index of its parent's step and what
// the step is. A task carries its own step; the steps of the containers whose children are
// queued live in one table, so a task refers to its parent's by index rather than copying its
// whole path (which would make deep documents cost the square of their depth). A step refers
// to the field name in the parsed tree and becomes text only when a message needs it.
struct PathStep {
  enum class Kind : unsigned char { kRoot, kField, kIndex, kOptional };
  std::size_t parent;
  Kind kind;
  json::string_view name;  // the root's name or the field's
  std::size_t index;       // the element's
};

// One JSON node to turn into a value, the slot that receives it and its path's last step.
struct Task {
  json::value const* json;
  ValuePtr* slot;
  PathStep step;
};

// The members of an object that tell what it stands for, found in one pass over its keys.
struct Tags {
  json::value const* name = nullptr;    // "$struct" or "$error"
  bool is_error = false;                // "$error" is present
  json::value const* fields = nullptr;  // "fields"
  json::value const* list = nullptr;    // "$list"
  json::value const* kind = nullptr;    // "kind"

  explicit Tags(json::object const& object) {
    for (auto const& entry : object) {
      json::string_view const key = entry.key();
      if (key == "fields") {
        fields = &entry.value();
      } else if (key == "kind") {
        kind = &entry.value();
      } else if (key.empty() || key[0] != '$') {
        continue;
      } else if (key == "$error") {
        name = &entry.value();
        is_error = true;
      } else if (key == "$struct") {
        if (!is_error) name = &entry.value();
      } else if (key == "$list") {
        list = &entry.value();
      }
    }
  }
};

class Reader {
 public:
  explicit Reader(std::list<BaseMessage>& messages) : messages_(messages) {}

  bool Run(json::value const& root, std::string root_name, ValuePtr* out) {
    root_name_ = std::move(root_name);
    tasks_.push_back({&root, out, {kNoParent, PathStep::Kind::kRoot, root_name_, 0}});
    while (!tasks_.empty()) {
      Task const task = tasks_.back();
      tasks_.pop_back();
      if (!Read(task)) return false;
    }
    return true;
  }

 private:
  bool Read(Task const& task) {
    json::value const& node = *task.json;
    switch (node.kind()) {
      case json::kind::string:
        *task.slot = StringValue::GetInstance(std::string(node.get_string()));
        return true;
      case json::kind::bool_:
        *task.slot = BooleanValue::GetInstance(node.get_bool());
        return true;
      case json::kind::int64:
        *task.slot = IntegerValue::GetInstance(node.get_int64());
        return true;
      case json::kind::uint64:
        return Invalid(task, "integer out of range");
      case json::kind::double_:
        return Invalid(task,
                       "a number with a fraction or exponent must be written as "
                       "{\"$double\": number}");
      case json::kind::null:
        return Invalid(task, "null is not a value (void is {\"$void\": null})");
      case json::kind::array:
        return ReadList(node.get_array(), ListKind::kPlain, task);
      case json::kind::object:
        return ReadObject(node.get_object(), task);
    }
    return Invalid(task, "unknown JSON kind");
  }

  bool ReadObject(json::object const& object, Task const& task) {
    Tags const tags(object);
    if (tags.name) return ReadCompound(object, tags, task);
    if (tags.list) return ReadOtherList(object, tags, task);
    if (object.size() != 1) return Invalid(task, "not a tagged value");
    auto const& entry = *object.begin();
    json::value const& inner = entry.value();
    json::string_view const tag = entry.key();
    if (tag == "$void")
      return inner.is_null() ? Store(task, VoidValue::GetInstance())
                             : Invalid(task, "$void takes null");
    if (tag == "$optional") return ReadOptional(inner, task);
    if (tag == "$map") {
      return inner.is_array() ? ReadList(inner.get_array(), ListKind::kMap, task)
                              : Invalid(task, "$map takes an array");
    }
    if (tag == "$double") return ReadDouble(inner, task);
    if (tag != "$secret" && tag != "$blob" && tag != "$datetime") {
      return Invalid(task, "unknown tag " + std::string(tag));
    }
    if (!inner.is_string()) return Invalid(task, std::string(tag) + " takes a string");
    return ReadTaggedString(tag, inner.get_string(), task);
  }

  bool ReadTaggedString(json::string_view tag, json::string const& text, Task const& task) {
    if (ValuePtr value = Detail::TaggedTextValue(tag, text)) return Store(task, std::move(value));
    if (tag == "$blob") return Invalid(task, "$blob takes base64 text");
    return Invalid(task, "not a date-time: " + std::string(text));
  }

  bool ReadDouble(json::value const& inner, Task const& task) {
    if (inner.is_number()) return Store(task, DoubleValue::GetInstance(inner.to_number<double>()));
    if (!inner.is_string()) return Invalid(task, "$double takes a number");
    ValuePtr named = Detail::ScalarOfText(ValueKind::kDouble, inner.get_string());
    if (named) return Store(task, std::move(named));
    return Invalid(task, R"($double takes a number, "NaN", "Infinity" or "-Infinity")");
  }

  bool ReadOptional(json::value const& inner, Task const& task) {
    auto optional = OptionalValue::GetInstance();
    if (!inner.is_null()) {
      tasks_.push_back(
          {&inner, &optional->value(nullptr), {Parent(task), PathStep::Kind::kOptional, {}, 0}});
    }
    return Store(task, std::move(optional));
  }

  bool ReadList(json::array const& array, ListKind list_kind, Task const& task) {
    auto list = ListValue::GetInstance(list_kind);
    list->Reserve(array.size());
    slots_.clear();
    for (std::size_t i = 0; i < array.size(); ++i) slots_.push_back(&list->AppendSlot());
    // Queued last to first, so that elements are read (and problems found) in order.
    std::size_t const parent = Parent(task);
    for (std::size_t i = array.size(); i-- > 0;) {
      tasks_.push_back({&array[i], slots_[i], {parent, PathStep::Kind::kIndex, {}, i}});
    }
    return Store(task, std::move(list));
  }

  bool ReadOtherList(json::object const& object, Tags const& tags, Task const& task) {
    json::value const* elements = tags.list;
    json::value const* kind = tags.kind;
    if (object.size() != 2 || !elements->is_array() || !kind || !kind->is_int64() ||
        kind->get_int64() < std::numeric_limits<int>::min() ||
        kind->get_int64() > std::numeric_limits<int>::max()) {
      return Invalid(task, "$list takes an array and an integer \"kind\"");
    }
    return ReadList(elements->get_array(), static_cast<ListKind>(kind->get_int64()), task);
  }

  bool ReadCompound(json::object const& object, Tags const& tags, Task const& task) {
    bool const is_error = tags.is_error;
    json::value const* name = tags.name;
    json::value const* fields = tags.fields;
    if (object.size() != 2 || !name->is_string() || !fields || !fields->is_object()) {
      return Invalid(task, "a structure takes a string name and an object \"fields\"");
    }
    std::string text(name->get_string());
    std::shared_ptr<CompoundValue> compound;
    if (is_error) {
      compound = Detail::MakeValue<ErrorValue>(std::move(text));
    } else {
      compound = StructValue::GetInstance(std::move(text));
    }
    // Fields are kept in name order, so tasks are queued in reverse name order.
    std::size_t const parent = Parent(task);
    sorted_.clear();
    std::size_t name_bytes = 0;
    for (auto const& field : fields->get_object()) {
      sorted_.push_back(&field);
      name_bytes += field.key().size();
    }
    compound->ReserveFields(sorted_.size(), name_bytes);
    std::sort(sorted_.begin(), sorted_.end(),
              [](json::key_value_pair const* a, json::key_value_pair const* b) {
                return a->key() < b->key();
              });
    for (auto field = sorted_.rbegin(); field != sorted_.rend(); ++field) {
      json::string_view const key = (*field)->key();
      tasks_.push_back({&(*field)->value(),
                        &compound->FieldSlot(std::string_view(key.data(), key.size())),
                        {parent, PathStep::Kind::kField, key, 0}});
    }
    return Store(task, std::move(compound));
  }

  static bool Store(Task const& task, ValuePtr value) {
    *task.slot = std::move(value);
    return true;
  }

  bool Invalid(Task const& task, std::string const& reason) {
    return Fail(messages_, MessageId::kJsonInvalid, PathOf(task.step), reason);
  }

  // Keeps the step of a container whose children are being queued; its index.
  std::size_t Parent(Task const& task) {
    steps_.push_back(task.step);
    return steps_.size() - 1;
  }

  // The whole path of a step, built only when a message needs it.
  std::string PathOf(PathStep const& last) const {
    std::vector<PathStep const*> chain{&last};
    for (std::size_t step = last.parent; step != kNoParent; step = steps_[step].parent) {
      chain.push_back(&steps_[step]);
    }
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      PathStep const& segment = **it;
      switch (segment.kind) {
        case PathStep::Kind::kRoot:
          path.append(segment.name.data(), segment.name.size());
          break;
        case PathStep::Kind::kField:
          path += ".fields.";
          path.append(segment.name.data(), segment.name.size());
          break;
        case PathStep::Kind::kIndex:
          path += "[" + std::to_string(segment.index) + "]";
          break;
        case PathStep::Kind::kOptional:
          path += ".$optional";
          break;
      }
    }
    return path;
  }

  static constexpr std::size_t kNoParent = static_cast<std::size_t>(-1);
  std::list<BaseMessage>& messages_;
  std::vector<Task> tasks_;
  std::vector<PathStep> steps_;
  std::string root_name_;
  // Scratch of one list or structure, reused: what they queue is read after they return.
  std::vector<ValuePtr*> slots_;
  std::vector<json::key_value_pair const*> sorted_;
};

}  // namespace

namespace Detail {

ValuePtr ScalarOfText(ValueKind kind, json::string_view text) {
  switch (kind) {
    case ValueKind::kString:
      return StringValue::GetInstance(std::string(text));
    case ValueKind::kSecret:
      return SecretValue::GetInstance(std::string(text));
    case ValueKind::kDateTime: {
      DateTime date_time;
      if (!DateTime::Parse(std::string(text), &date_time)) return nullptr;
      return DateTimeValue::GetInstance(date_time);
    }
    case ValueKind::kBlob: {
      std::string bytes;
      if (!DecodeBase64(text, &bytes)) return nullptr;
      return BlobValue::GetInstance(std::move(bytes));
    }
    case ValueKind::kDouble: {
      double const infinity = std::numeric_limits<double>::infinity();
      if (text == "NaN") return DoubleValue::GetInstance(std::nan(""));
      if (text == "Infinity") return DoubleValue::GetInstance(infinity);
      if (text == "-Infinity") return DoubleValue::GetInstance(-infinity);
      return nullptr;
    }
    default:
      return nullptr;
  }
}

ValuePtr TaggedTextValue(json::string_view tag, json::string_view text) {
  ValueKind const kind = tag == "$secret"     ? ValueKind::kSecret
                         : tag == "$blob"     ? ValueKind::kBlob
                         : tag == "$datetime" ? ValueKind::kDateTime
                         : tag == "$double"   ? ValueKind::kDouble
                                              : ValueKind::kReserved;
  return ScalarOfText(kind, text);
}

// Decodes padded base64; false on any other character or a bad length.
bool DecodeBase64(json::string_view text, std::string* out) {
  std::size_t const size = text.size();
  if (size % 4 != 0) return false;
  std::size_t padding = 0;
  while (padding < 2 && padding < size && text[size - 1 - padding] == '=') ++padding;
  std::string bytes;
  std::uint32_t chunk = 0;
  for (std::size_t i = 0; i < size; ++i) {
    int const digit = i >= size - padding ? 0 : Base64Digit(text[i]);
    if (digit < 0) return false;
    chunk = chunk << 6 | static_cast<std::uint32_t>(digit);
    if (i % 4 == 3) {
      for (int k = 2; k >= 0; --k) bytes += static_cast<char>((chunk >> (8 * k)) & 0xff);
      chunk = 0;
    }
  }
  bytes.resize(bytes.size() - padding);
  *out = std::move(bytes);
  return true;
}

bool ReadCanonical(json::value const& node, std::string root, ValuePtr* out,
                   std::list<BaseMessage>& messages) {
  return Reader(messages).Run(node, std::move(root), out);
}

}  // namespace Detail

bool FromJson(boost::string_view text, ValuePtr* out, std::list<BaseMessage>& messages,
              JsonLimits const& limits) {
  ValueArenaScope const arena;
  // Text as ToJson writes it is read in one pass; any other text, or a fault, through the tree.
  if (Detail::ReadCanonicalDirect(text, limits, out)) return true;
  // The tree is freed all at once with its memory, never node by node, however deep it is.
  json::monotonic_resource memory;
  json::storage_ptr const storage(&memory);
  json::value document(storage);
  if (!Detail::ParseJson(text, limits, false, &document, messages)) return false;
  ValuePtr result;
  if (!Detail::ReadCanonical(document, "$", &result, messages)) return false;
  *out = std::move(result);
  return true;
}

}  // namespace Ormi::Data
