// Reading the plain JSON form. A text in the plain form of every part is read in one pass from
// the parser's events (plain_json_read_direct.cpp). Any other text is read here: Boost.JSON
// parses it, then an explicit stack walks the JSON tree beside the definition and builds the
// value, filling each container's slots in place, or says what is wrong.
#include "ormi/data/plain_json.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include <boost/json.hpp>

#include "json_detail.h"
#include "ormi/data/value_arena.h"
#include "plain_json_rules.h"
#include "value_path.h"

namespace Ormi::Data {
namespace {

namespace json = boost::json;

constexpr std::size_t kMaxMessages = 100;  // bounds the work spent on a badly broken text

std::string Quoted(json::string_view text) { return "\"" + std::string(text) + "\""; }

// What a JSON node is, for messages.
char const* Got(json::value const& node) {
  switch (node.kind()) {
    case json::kind::null:
      return "null";
    case json::kind::bool_:
      return "a boolean";
    case json::kind::string:
      return "a string";
    case json::kind::array:
      return "an array";
    case json::kind::object:
      return "an object";
    default:
      return "a number";
  }
}

// What the plain form of `definition` is, for messages.
std::string Expected(DataDefinition const& definition) {
  switch (definition.kind()) {
    case DefinitionKind::kScalar:
      switch (Detail::ScalarKindOf(definition)) {
        case ValueKind::kVoid:
          return "null";
        case ValueKind::kInteger:
          return "an integer";
        case ValueKind::kDouble:
          return R"(a number, "NaN", "Infinity" or "-Infinity")";
        case ValueKind::kBoolean:
          return "true or false";
        case ValueKind::kBlob:
          return "a string of base64";
        case ValueKind::kDateTime:
          return "a date-time string such as \"2026-12-06T08:35:27.123Z\"";
        default:  // a string or a secret
          return "a string";
      }
    case DefinitionKind::kOptional:
      return "null or an array of one value";
    case DefinitionKind::kList:
      return Detail::MapValueOf(static_cast<ListDefinition const&>(definition))
                 ? "an object (a map)"
                 : "an array";
    case DefinitionKind::kStructure:
    case DefinitionKind::kStructRef:
      return "an object (structure " +
             Quoted(Detail::StructureOf(definition) ? Detail::StructureOf(definition)->name()
                                                    : "") +
             ")";
    case DefinitionKind::kDynamicStructure:
      break;
  }
  return R"(a structure in the canonical JSON form, {"$struct": name, "fields": {...}})";
}

// One JSON node to read as a value of a definition, the slot that receives it, its path, and
// whether null would also have done (the node is the value of a set optional).
struct Task {
  json::value const* json;
  DataDefinition const* definition;
  ValuePtr* slot;
  std::size_t path;
  bool or_null;
};

// The quick walk keeps no paths and stops at the first problem without a message; a text it
// does not read is read again by the explaining walk, which says what is wrong and where.
class PlainReader {
 public:
  // The quick walk.
  PlainReader() = default;
  // The explaining walk.
  explicit PlainReader(std::list<BaseMessage>& messages)
      : messages_(&messages), paths_(std::string()), limit_(kMaxMessages) {}

  bool Run(json::value const& root, DataDefinition const& definition, ValuePtr* out) {
    tasks_.push_back({&root, &definition, out, Detail::ValuePaths::kRoot, false});
    while (!tasks_.empty() && problems_ < limit_) {
      Task const task = tasks_.back();
      tasks_.pop_back();
      Read(task);
    }
    return problems_ == 0;
  }

 private:
  void Read(Task const& task) {
    if (!task.definition) return Problem(task.path, "the definition describes nothing here");
    switch (task.definition->kind()) {
      case DefinitionKind::kOptional:
        return ReadOptional(static_cast<OptionalDefinition const&>(*task.definition), task);
      case DefinitionKind::kList:
        return ReadList(static_cast<ListDefinition const&>(*task.definition), task);
      case DefinitionKind::kStructure:
      case DefinitionKind::kStructRef:
        return ReadStructure(task);
      case DefinitionKind::kDynamicStructure:
        return ReadCanonicalStructure(task, nullptr);
      default:
        return ReadScalar(task);
    }
  }

  void ReadScalar(Task const& task) {
    json::value const& node = *task.json;
    switch (Detail::ScalarKindOf(*task.definition)) {
      case ValueKind::kVoid:
        if (node.is_null()) return Store(task, VoidValue::GetInstance());
        break;
      case ValueKind::kInteger:
        if (node.is_number()) return ReadInteger(node, task);
        break;
      case ValueKind::kDouble:
        if (node.is_number() || node.is_string()) return ReadDouble(node, task);
        break;
      case ValueKind::kBoolean:
        if (node.is_bool()) return Store(task, BooleanValue::GetInstance(node.get_bool()));
        break;
      default:
        if (node.is_string()) return ReadText(node.get_string(), task);
    }
    Mismatch(task);
  }

  // Any number with an integral value in range: 3, 3.0 and 3e0 are the same integer.
  void ReadInteger(json::value const& node, Task const& task) {
    if (node.is_int64()) return Store(task, IntegerValue::GetInstance(node.get_int64()));
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    double const number = node.is_double() ? node.get_double() : kLimit;
    if (number >= -kLimit && number < kLimit && std::trunc(number) == number) {
      return Store(task, IntegerValue::GetInstance(static_cast<std::int64_t>(number)));
    }
    Problem(task.path, std::trunc(number) == number ? "the integer is out of range"
                                                    : "expected an integer, got a fraction");
  }

  void ReadDouble(json::value const& node, Task const& task) {
    if (node.is_number()) return Store(task, DoubleValue::GetInstance(node.to_number<double>()));
    ValuePtr named = Detail::ScalarOfText(ValueKind::kDouble, node.get_string());
    if (named) return Store(task, std::move(named));
    Mismatch(task);
  }

  // A string, a secret, a date-time or a blob.
  void ReadText(json::string const& text, Task const& task) {
    ValueKind const kind = Detail::ScalarKindOf(*task.definition);
    ValuePtr value = Detail::ScalarOfText(kind, text);
    if (value) return Store(task, std::move(value));
    if (kind == ValueKind::kDateTime) {
      return Problem(task.path, "not a date-time: " + Quoted(text) +
                                    " (expected RFC 3339 in UTC, such as "
                                    "\"2026-12-06T08:35:27.123Z\")");
    }
    Problem(task.path, "not base64 (padded, standard alphabet): " + Quoted(text));
  }

  void ReadOptional(OptionalDefinition const& definition, Task const& task) {
    json::value const& node = *task.json;
    auto optional = OptionalValue::GetInstance();
    if (!node.is_null()) {
      json::value const* inner = &node;
      if (Detail::WrapsValue(definition)) {
        if (!node.is_array() || node.get_array().size() != 1) return Mismatch(task);
        inner = node.get_array().data();
      }
      tasks_.push_back({inner, definition.element().get(), &optional->value(nullptr), task.path,
                        inner == &node});
    }
    Store(task, std::move(optional));
  }

  void ReadList(ListDefinition const& definition, Task const& task) {
    DataDefinition const* map_value = Detail::MapValueOf(definition);
    if (map_value) return ReadMap(*map_value, task);
    if (!task.json->is_array()) return Mismatch(task);
    json::array const& array = task.json->get_array();
    auto list = ListValue::GetInstance(ListKind::kPlain);
    std::vector<ValuePtr*> slots;
    slots.reserve(array.size());
    for (std::size_t i = 0; i < array.size(); ++i) slots.push_back(&list->AppendSlot());
    // Queued last to first, so that elements are read (and problems found) in order.
    for (std::size_t i = array.size(); i-- > 0;) {
      tasks_.push_back(
          {&array[i], definition.element().get(), slots[i], paths_.Index(task.path, i), false});
    }
    Store(task, std::move(list));
  }

  void ReadMap(DataDefinition const& value_definition, Task const& task) {
    if (!task.json->is_object()) return Mismatch(task);
    json::object const& object = task.json->get_object();
    auto map = ListValue::GetInstance(ListKind::kMap);
    std::vector<Task> entries;
    entries.reserve(object.size());
    for (auto const& member : object) {
      auto entry = NewMapEntry();
      *entry.key = StringValue::GetInstance(std::string(member.key()));
      entries.push_back({&member.value(), &value_definition, entry.value,
                         paths_.Key(task.path, member.key()), false});
      map->Append(std::move(entry.entry));
    }
    tasks_.insert(tasks_.end(), entries.rbegin(), entries.rend());
    Store(task, std::move(map));
  }

  void ReadStructure(Task const& task) {
    StructDefinition const* definition = Detail::StructureOf(*task.definition);
    if (!definition) {
      return Problem(task.path,
                     "the definition refers to structure " +
                         Quoted(static_cast<StructRefDefinition const&>(*task.definition).name()) +
                         ", which it does not define");
    }
    if (!task.json->is_object()) return Mismatch(task);
    json::object const& object = task.json->get_object();
    if (object.contains(Detail::kErrorKey)) return ReadCanonicalStructure(task, definition);
    auto structure = StructValue::GetInstance(definition->name());
    auto const& declared_fields = definition->fields();
    std::size_t const first = tasks_.size();  // this structure's fields' tasks from here on
    // Members usually come in the declared order (the writer's): each is looked for first
    // where the last one was found.
    auto next = declared_fields.begin();
    for (auto const& member : object) {
      std::string_view const name(member.key().data(), member.key().size());
      auto declared = next;
      if (declared == declared_fields.end() || declared->first != name) {
        declared = declared_fields.find(std::string(name));
      }
      std::size_t const path = paths_.Field(task.path, member.key());
      if (declared != declared_fields.end()) {
        next = std::next(declared);
        tasks_.push_back(
            {&member.value(), declared->second.get(), &structure->FieldSlot(name), path, false});
      } else if (name == Detail::kUnknownFieldsKey) {
        ReadUnknownFields(member.value(), *definition, *structure, path);
      } else {
        Problem(path, "unknown field; " + Known(*definition));
      }
    }
    // Keys are unique, so when as many members as declared fields were found, none is missing.
    if (tasks_.size() - first != declared_fields.size()) AddMissing(*definition, task, *structure);
    // Last to first, so that fields are read (and problems found) in the object's order.
    std::reverse(tasks_.begin() + static_cast<std::ptrdiff_t>(first), tasks_.end());
    Store(task, std::move(structure));
  }

  // Sets the declared optional fields that `task`'s object leaves out to unset, and reports the
  // others.
  void AddMissing(StructDefinition const& definition, Task const& task, StructValue& structure) {
    json::object const& object = task.json->get_object();
    for (auto const& field : definition.fields()) {
      if (object.contains(field.first)) continue;
      if (field.second && field.second->kind() == DefinitionKind::kOptional) {
        structure.SetField(field.first, OptionalValue::GetInstance());
      } else {
        Problem(paths_.Field(task.path, field.first), "missing required field");
      }
    }
  }

  // The fields a structure does not declare, each in the canonical form.
  void ReadUnknownFields(json::value const& node, StructDefinition const& definition,
                         StructValue& structure, std::size_t path) {
    if (!node.is_object()) {
      return Problem(path, std::string("expected an object of fields in the canonical form, got ") +
                               Got(node));
    }
    for (auto const& member : node.get_object()) {
      std::string const name(member.key());
      std::size_t const at = paths_.Field(path, member.key());
      if (definition.fields().count(name) != 0) {
        Problem(at, "a declared field; write it outside " + Quoted(Detail::kUnknownFieldsKey));
      } else if (!Detail::ReadCanonical(member.value(), paths_.Text(at), &structure.FieldSlot(name),
                                        Messages())) {
        ++problems_;
      }
    }
  }

  // A structure or error in the canonical form: any for a dynamic structure; in the place of
  // the structure `error_of`, an error that validates against it.
  void ReadCanonicalStructure(Task const& task, StructDefinition const* error_of) {
    if (!task.json->is_object()) return Mismatch(task);
    std::string const path = paths_.Text(task.path);
    ValuePtr value;
    if (!Detail::ReadCanonical(*task.json, path.empty() ? "$" : path, &value, Messages()) ||
        (error_of && !Validate(*error_of, *value, Messages(), path))) {
      ++problems_;
      return;
    }
    if (value->kind() != ValueKind::kStructure && value->kind() != ValueKind::kError) {
      return Problem(task.path, std::string("expected a structure in the canonical JSON form, got "
                                            "a value of kind ") +
                                    KindName(value->kind()));
    }
    Store(task, std::move(value));
  }

  std::string Known(StructDefinition const& definition) const {
    if (definition.fields().empty()) return "structure " + Quoted(definition.name()) + " has none";
    std::string names;
    for (auto const& field : definition.fields())
      names += (names.empty() ? "" : ", ") + field.first;
    return "the fields of structure " + Quoted(definition.name()) + " are " + names;
  }

  static void Store(Task const& task, ValuePtr value) { *task.slot = std::move(value); }

  void Mismatch(Task const& task) {
    Problem(task.path, "expected " + Expected(*task.definition) + (task.or_null ? " or null" : "") +
                           ", got " + Got(*task.json));
  }

  void Problem(std::size_t path, std::string const& reason) {
    if (problems_++ >= limit_ || !messages_) return;
    std::string const text = paths_.Text(path);
    messages_->push_back(Message<CoreTag>(
        MessageId::kPlainJsonInvalid, text.empty() ? std::string("the top level") : text, reason));
  }

  // Where the readers of canonical parts and validation say what is wrong; the quick walk
  // drops what they say.
  std::list<BaseMessage>& Messages() { return messages_ ? *messages_ : dropped_; }

  std::list<BaseMessage>* const messages_ = nullptr;
  std::list<BaseMessage> dropped_;
  std::vector<Task> tasks_;
  Detail::ValuePaths paths_ = Detail::ValuePaths::None();  // keeps paths when explaining
  std::size_t const limit_ = 1;
  std::size_t problems_ = 0;
};

}  // namespace

bool FromPlainJson(boost::string_view text, DataDefinition const& definition, ValuePtr* out,
                   std::list<BaseMessage>& messages, JsonLimits const& limits) {
  ValueArenaScope const arena;
  if (Detail::ReadPlainDirect(text, limits, definition, out)) return true;
  // The tree is freed all at once with its memory, never node by node, however deep it is.
  json::monotonic_resource memory;
  json::storage_ptr const storage(&memory);
  json::value document(storage);
  if (!Detail::ParseJson(text, limits, true, &document, messages)) return false;
  ValuePtr result;
  if (!PlainReader().Run(document, definition, &result) &&
      !PlainReader(messages).Run(document, definition, &result)) {
    return false;
  }
  *out = std::move(result);
  return true;
}

}  // namespace Ormi::Data
