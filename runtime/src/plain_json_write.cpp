// Writing the plain JSON form of a validated value, with an explicit stack of open containers.
#include "ormi/data/plain_json.h"

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include <boost/container/small_vector.hpp>

#include "json_detail.h"
#include "json_writer.h"
#include "plain_json_rules.h"
#include "validation.h"
#include "value_path.h"

namespace Ormi::Data {
namespace {

using Detail::QuoteJson;

// The shortest text that reads back as the same double, in the plain notation where that is
// shorter (0.5, 1, 1e+300); NaN and the infinities as strings.
std::string Number(double value) {
  if (!std::isfinite(value)) return Detail::DoubleText(value);
  char text[32];
  char* end = std::to_chars(text, text + sizeof text, value).ptr;
  return {text, end};
}

// A part of the value to write, the definition it was validated against and its path.
struct Item {
  DataValue const* value = nullptr;
  DataDefinition const* definition = nullptr;
  std::size_t path = Detail::ValuePaths::kRoot;
};

// Writes a value against its definition. The quick walk checks each part as validation does
// (Detail::Matches, every declared field there) as it writes it, keeps no paths and says
// nothing: a value it does not write is validated, and one that passes is written again by the
// explaining walk, which trusts validation and names where the value cannot be written.
//
// A part is written when its turn comes: a scalar at once, a container by opening it and
// keeping a frame of what is left of it (its next child) on an explicit stack. The innermost
// open container writes its next child, or closes.
class PlainWriter {
 public:
  // The quick walk.
  PlainWriter() = default;
  // The explaining walk, of a value that passed validation.
  explicit PlainWriter(std::list<BaseMessage>& messages)
      : messages_(&messages), paths_(std::string()) {}

  bool Run(DataValue const& value, DataDefinition const& definition, std::string* out) {
    bool written = Visit({&value, &definition, Detail::ValuePaths::kRoot});
    while (written && !frames_.empty()) written = Next();
    if (!written) return false;
    *out = text_.Take();
    return true;
  }

 private:
  using Declared = StructDefinition::Declared const*;

  // An open container and what is left of it. The constructor sets what every frame reads;
  // the function that opens a frame sets what its kind reads, and the rest stays unset, so
  // that opening a container does not clear the whole frame.
  struct Frame {
    enum class Kind : unsigned char { kStructure, kList, kMap, kClose };
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init): see above
    Frame(Kind kind_in, std::size_t path_in) : kind(kind_in), path(path_in) {}

    Kind kind;
    bool first = true;  // no child written yet
    std::size_t path;
    // A structure: its present fields and the declared ones, paired as they are written, and
    // where in unknown_ the canonical text of the fields the definition does not declare
    // begins, gathered on the way.
    FieldMap::const_iterator present;
    FieldMap::const_iterator present_end;
    Declared declared;
    Declared declared_end;
    std::size_t unknown;
    // A list's elements, and the definition of a list's elements or of a map's values.
    ValueSlots const* elements;
    DataDefinition const* element;
    // The next element or entry. A map's entries are entries_ from `begin` to the end: the
    // maps inside it close, and give theirs up, before its next entry is written.
    std::size_t begin;
    std::size_t next;
    // kClose: a set optional written as [value], closed after its value.
  };

  // Writes the next child of the innermost open container, or closes it.
  bool Next() {
    switch (frames_.back().kind) {
      case Frame::Kind::kStructure:
        return NextField();
      case Frame::Kind::kList:
        return NextElement();
      case Frame::Kind::kMap:
        return NextEntry();
      case Frame::Kind::kClose:
        text_.Put(']');
        frames_.pop_back();
        return true;
    }
    return false;
  }

  // Writes `item`, opening it when it is a container. Each kind is asked for once (a value's
  // is a virtual call). A set optional is unwrapped here, as many layers as it has.
  bool Visit(Item item) {
    for (;;) {
      if (Checks() && !(item.value && item.definition)) return false;
      DataValue const& value = *item.value;
      DataDefinition const& definition = *item.definition;
      DefinitionKind const definition_kind = definition.kind();
      ValueKind const value_kind = value.kind();
      StructDefinition const* structure = nullptr;
      if (Checks() &&
          !Detail::Matches(definition, definition_kind, value, value_kind, &structure)) {
        return false;
      }
      // The definition cannot tell these apart in plain JSON: they keep their canonical form.
      if (value_kind == ValueKind::kError || definition_kind == DefinitionKind::kDynamicStructure) {
        if (Checks() && !WholeErrorIsValid(definition, value)) return false;
        text_.Write(ToJson(value));
        return true;
      }
      switch (definition_kind) {
        case DefinitionKind::kStructure:
        case DefinitionKind::kStructRef:
          if (!structure) structure = Detail::StructureOf(definition);  // the explaining walk
          OpenStructure(*structure, static_cast<CompoundValue const&>(value), item.path);
          return true;
        case DefinitionKind::kOptional: {
          auto const& optional = static_cast<OptionalValue const&>(value);
          auto const& optional_definition = static_cast<OptionalDefinition const&>(definition);
          if (!optional.isSet()) {
            text_.Write("null");
            return true;
          }
          if (Detail::WrapsValue(optional_definition)) {
            text_.Put('[');
            frames_.emplace_back(Frame::Kind::kClose, item.path);
          }
          item = {optional.value().get(), optional_definition.element().get(), item.path};
          continue;
        }
        case DefinitionKind::kList:
          return OpenList(static_cast<ListDefinition const&>(definition),
                          static_cast<ListValue const&>(value), item.path);
        default:
          WriteScalar(value, value_kind);
          return true;
      }
    }
  }

  // The quick walk checks; the explaining walk follows validation.
  bool Checks() const { return messages_ == nullptr; }

  // An error value in a structure's place is written whole, so its fields are checked here.
  static bool WholeErrorIsValid(DataDefinition const& definition, DataValue const& value) {
    return value.kind() != ValueKind::kError || Detail::Fits(definition, value);
  }

  void WriteScalar(DataValue const& value, ValueKind kind) {
    switch (kind) {
      case ValueKind::kInteger:
        return text_.WriteInteger(static_cast<IntegerValue const&>(value).value());
      case ValueKind::kDouble:
        return text_.Write(Number(static_cast<DoubleValue const&>(value).value()));
      case ValueKind::kBoolean:
        return text_.Write(static_cast<BooleanValue const&>(value).value() ? "true" : "false");
      case ValueKind::kBlob:
        return text_.WriteQuoted(
            Detail::EncodeBase64(static_cast<BlobValue const&>(value).value()));
      case ValueKind::kString:
      case ValueKind::kDateTime:
        return text_.WriteQuoted(static_cast<StringValue const&>(value).value());
      case ValueKind::kSecret:
        return text_.WriteQuoted(static_cast<SecretValue const&>(value).value());
      default:  // void
        return text_.Write("null");
    }
  }

  // `,` before every child but the first, and `"key":` before a member.
  void WritePrefix(Frame& frame) {
    if (!frame.first) text_.Put(',');
    frame.first = false;
  }
  void WriteKey(Frame& frame, boost::string_view key) {
    WritePrefix(frame);
    text_.WriteQuoted(key);
    text_.Put(':');
  }

  bool OpenList(ListDefinition const& definition, ListValue const& list, std::size_t path) {
    DataDefinition const* map_value = Detail::MapValueOf(definition);
    if (map_value) return OpenMap(*map_value, list, path);
    text_.Put('[');
    Frame& frame = frames_.emplace_back(Frame::Kind::kList, path);
    frame.elements = &list.elements();
    frame.element = definition.element().get();
    frame.next = 0;
    return true;
  }

  bool NextElement() {
    Frame& frame = frames_.back();
    std::size_t const count = frame.elements->size();
    if (frame.next == count) {
      text_.Put(']');
      frames_.pop_back();
      return true;
    }
    std::size_t const index = frame.next++;
    if (frame.next < count) Detail::Prefetch((*frame.elements)[frame.next].get());
    Item const child{(*frame.elements)[index].get(), frame.element,
                     paths_.Index(frame.path, index)};
    WritePrefix(frame);
    return Visit(child);  // may open a frame: `frame` is not used after it
  }

  // {"key":value,...} in the order of the entries, which are gathered first to find a key
  // they have twice.
  bool OpenMap(DataDefinition const& value_definition, ListValue const& list, std::size_t path) {
    std::size_t const begin = entries_.size();
    for (auto const& element : list.elements()) {
      // An entry's value is checked when it is written; validation (before the explaining
      // walk) has seen to both.
      auto const parts = element ? Detail::PartsOfMapEntry(*element) : Detail::MapEntryParts{};
      if (!parts.key || !parts.value) return false;
      Detail::Prefetch(parts.value);
      entries_.push_back({parts.key, parts.value});
    }
    if (std::string const* twice = RepeatedKey(begin)) {
      return Unwritable(paths_.Key(path, *twice), "the map has this key twice");
    }
    text_.Put('{');
    Frame& frame = frames_.emplace_back(Frame::Kind::kMap, path);
    frame.element = &value_definition;
    frame.begin = begin;
    frame.next = begin;
    return true;
  }

  bool NextEntry() {
    Frame& frame = frames_.back();
    if (frame.next == entries_.size()) {
      text_.Put('}');
      entries_.resize(frame.begin);
      frames_.pop_back();
      return true;
    }
    Entry const entry = entries_[frame.next++];
    WriteKey(frame, *entry.key);
    return Visit({entry.value, frame.element, paths_.Key(frame.path, *entry.key)});
  }

  // The key that the entries of a map (entries_ from `begin`) have twice: the one whose second
  // entry comes first. Null when every key is once.
  std::string const* RepeatedKey(std::size_t begin) {
    std::size_t const second = Detail::SecondOfRepeatedKey(
        entries_, begin, [](Entry const& entry) -> std::string const& { return *entry.key; },
        order_);
    return second < entries_.size() ? entries_[second].key : nullptr;
  }

  // {"declared":value,...,"$unknown":{"other":canonical,...}}, declared fields in name order.
  void OpenStructure(StructDefinition const& definition, CompoundValue const& compound,
                     std::size_t path) {
    text_.Put('{');
    Frame& frame = frames_.emplace_back(Frame::Kind::kStructure, path);
    frame.present = compound.fields().begin();
    frame.present_end = compound.fields().end();
    frame.declared = definition.declared().data();
    frame.declared_end = frame.declared + definition.declared().size();
    frame.unknown = unknown_.size();
  }

  // The value's fields and the declared ones are both in name order: one walk over the two
  // pairs them, and finds those the definition does not declare and (in the quick walk) a
  // declared one that is missing.
  bool NextField() {
    Frame& frame = frames_.back();
    for (; frame.present != frame.present_end; ++frame.present) {
      auto const& present = *frame.present;
      int order = 1;  // the declared field's name against the present one's
      for (; frame.declared != frame.declared_end; ++frame.declared) {
        order = Detail::SameText(frame.declared->name, present.first)
                    ? 0
                    : frame.declared->name.compare(present.first);
        if (order >= 0) break;
        if (Checks()) return false;  // a declared field is missing
      }
      if (order == 0) break;
      if (!AddUnknown(frame, present.first, present.second.get())) return false;
    }
    if (frame.present == frame.present_end) return CloseStructure(frame);
    if (std::next(frame.present) != frame.present_end) {
      Detail::Prefetch(std::next(frame.present)->second.get());
    }
    boost::string_view const name(frame.declared->name.data(), frame.declared->name.size());
    Item const child{frame.present->second.get(), frame.declared->definition,
                     paths_.Field(frame.path, name)};
    WritePrefix(frame);
    text_.Write({frame.declared->key.data(), frame.declared->key.size()});
    ++frame.present;
    ++frame.declared;
    return Visit(child);  // may open a frame: `frame` is not used after it
  }

  bool AddUnknown(Frame& frame, std::string_view name, DataValue const* value) {
    boost::string_view const text(name.data(), name.size());
    if (!value) return Unwritable(paths_.Field(frame.path, text), "no value");
    if (unknown_.size() > frame.unknown) unknown_ += ',';
    unknown_ += QuoteJson(text);
    unknown_ += ':';
    AppendJson(*value, &unknown_);
    return true;
  }

  bool CloseStructure(Frame& frame) {
    if (Checks() && frame.declared != frame.declared_end) return false;  // a field is missing
    // The structures inside this one have closed and taken their unknown fields' text off.
    if (unknown_.size() > frame.unknown) {
      WriteKey(frame, Detail::kUnknownFieldsKey);
      text_.Put('{');
      text_.Write(boost::string_view(unknown_).substr(frame.unknown));
      text_.Put('}');
      unknown_.resize(frame.unknown);
    }
    text_.Put('}');
    frames_.pop_back();
    return true;
  }

  bool Unwritable(std::size_t path, std::string const& reason) {
    if (!messages_) return false;
    std::string const text = paths_.Text(path);
    messages_->push_back(Message<CoreTag>(MessageId::kPlainJsonUnwritable,
                                          text.empty() ? std::string("the top level") : text,
                                          reason));
    return false;
  }

  struct Entry {
    std::string const* key;
    DataValue const* value;
  };

  std::list<BaseMessage>* messages_ = nullptr;
  Detail::JsonText text_;
  Detail::ValuePaths paths_ = Detail::ValuePaths::None();  // keeps paths when explaining
  // The open containers and the entries of the open maps, each map's after those of the maps
  // it is in. Those of most values fit in place, so that most runs allocate neither.
  boost::container::small_vector<Frame, 16> frames_;
  boost::container::small_vector<Entry, 128> entries_;
  // The canonical text of the open structures' undeclared fields, each structure's after
  // that of the structures it is in.
  std::string unknown_;
  std::vector<std::size_t> order_;  // scratch of RepeatedKey
};

}  // namespace

bool ToPlainJson(DataValue const& value, DataDefinition const& definition, std::string* out,
                 std::list<BaseMessage>& messages) {
  return PlainWriter().Run(value, definition, out) ||
         (Validate(definition, value, messages) &&
          PlainWriter(messages).Run(value, definition, out));
}

}  // namespace Ormi::Data
