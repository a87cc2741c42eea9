// Writing the plain JSON form of a validated value, with an explicit stack.
#include "ormi/data/plain_json.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "json_detail.h"
#include "json_writer.h"
#include "plain_json_rules.h"
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
// (Detail::Matches, every declared field there) before writing it, keeps no paths and says
// nothing: a value it does not write is validated, and one that passes is written again by the
// explaining walk, which trusts validation and names where the value cannot be written.
class PlainWriter {
 public:
  // The quick walk.
  PlainWriter() = default;
  // The explaining walk, of a value that passed validation.
  explicit PlainWriter(std::list<BaseMessage>& messages)
      : messages_(&messages), paths_(std::string()) {}

  bool Run(DataValue const& value, DataDefinition const& definition, std::string* out) {
    if (!writer_.Run({&value, &definition}, [this](Item const& item) { return Expand(item); })) {
      return false;
    }
    *out = writer_.Take();
    return true;
  }

 private:
  // Each kind is asked for once: they are virtual calls, and there are several per part.
  bool Expand(Item const& item) {
    if (Checks() && !(item.value && item.definition)) return false;
    DataValue const& value = *item.value;
    DataDefinition const& definition = *item.definition;
    DefinitionKind const definition_kind = definition.kind();
    ValueKind const value_kind = value.kind();
    StructDefinition const* structure = nullptr;
    if (Checks() && !Detail::Matches(definition, definition_kind, value, value_kind, &structure)) {
      return false;
    }
    // The definition cannot tell these apart in plain JSON: they keep their canonical form.
    if (value_kind == ValueKind::kError || definition_kind == DefinitionKind::kDynamicStructure) {
      if (Checks() && !WholeErrorIsValid(definition, value)) return false;
      writer_.Write(ToJson(value));
      return true;
    }
    switch (definition_kind) {
      case DefinitionKind::kStructure:
      case DefinitionKind::kStructRef:
        if (!structure) structure = Detail::StructureOf(definition);  // the explaining walk
        return WriteStructure(*structure, static_cast<CompoundValue const&>(value), item.path);
      case DefinitionKind::kOptional:
        WriteOptional(static_cast<OptionalDefinition const&>(definition),
                      static_cast<OptionalValue const&>(value), item.path);
        return true;
      case DefinitionKind::kList:
        return WriteList(static_cast<ListDefinition const&>(definition),
                         static_cast<ListValue const&>(value), item.path);
      default:
        WriteScalar(value, value_kind);
        return true;
    }
  }

  // The quick walk checks; the explaining walk follows validation.
  bool Checks() const { return messages_ == nullptr; }

  // An error value in a structure's place is written whole, so its fields are checked here.
  static bool WholeErrorIsValid(DataDefinition const& definition, DataValue const& value) {
    if (value.kind() != ValueKind::kError) return true;
    std::list<BaseMessage> ignored;
    return Validate(definition, value, ignored);
  }

  void WriteScalar(DataValue const& value, ValueKind kind) {
    switch (kind) {
      case ValueKind::kInteger: {
        char text[24];
        char* const end =
            std::to_chars(text, text + sizeof text, static_cast<IntegerValue const&>(value).value())
                .ptr;
        return writer_.Write(boost::string_view(text, static_cast<std::size_t>(end - text)));
      }
      case ValueKind::kDouble:
        return writer_.Write(Number(static_cast<DoubleValue const&>(value).value()));
      case ValueKind::kBoolean:
        return writer_.Write(static_cast<BooleanValue const&>(value).value() ? "true" : "false");
      case ValueKind::kBlob:
        return writer_.WriteQuoted(
            Detail::EncodeBase64(static_cast<BlobValue const&>(value).value()));
      case ValueKind::kString:
      case ValueKind::kDateTime:
        return writer_.WriteQuoted(static_cast<StringValue const&>(value).value());
      case ValueKind::kSecret:
        return writer_.WriteQuoted(static_cast<SecretValue const&>(value).value());
      default:  // void
        return writer_.Write("null");
    }
  }

  void WriteOptional(OptionalDefinition const& definition, OptionalValue const& optional,
                     std::size_t path) {
    if (!optional.isSet()) return writer_.Write("null");
    bool const wrap = Detail::WrapsValue(definition);
    if (wrap) {
      writer_.Write("[");
      writer_.QueueText("]");
    }
    writer_.Queue({optional.value().get(), definition.element().get(), path});
  }

  bool WriteList(ListDefinition const& definition, ListValue const& list, std::size_t path) {
    DataDefinition const* map_value = Detail::MapValueOf(definition);
    if (map_value) return WriteMap(*map_value, list, path);
    auto const& elements = list.elements();
    writer_.Write("[");
    writer_.QueueText("]");
    for (std::size_t i = elements.size(); i-- > 0;) {
      Detail::Prefetch(elements[i].get());
      writer_.QueueElement({elements[i].get(), definition.element().get(), paths_.Index(path, i)},
                           i == 0);
    }
    return true;
  }

  // {"key":value,...} in the order of the entries.
  bool WriteMap(DataDefinition const& value_definition, ListValue const& list, std::size_t path) {
    entries_.clear();
    for (auto const& element : list.elements()) {
      // An entry's value is checked when it is written; validation (before the explaining
      // walk) has seen to both.
      std::string const* key = element ? Detail::MapEntryKey(*element) : nullptr;
      if (!key) return false;
      auto const& fields = static_cast<CompoundValue const&>(*element).fields();
      auto const value = fields.find(MapEntry::kValue);
      if (value == fields.end()) return false;
      Detail::Prefetch(value->second.get());
      entries_.push_back({key, value->second.get()});
    }
    if (std::string const* twice = RepeatedKey()) {
      return Unwritable(paths_.Key(path, *twice), "the map has this key twice");
    }
    writer_.Write("{");
    writer_.QueueText("}");
    for (std::size_t i = entries_.size(); i-- > 0;) {
      std::string const& key = *entries_[i].key;
      writer_.QueueMember(key, {entries_[i].value, &value_definition, paths_.Key(path, key)},
                          i == 0);
    }
    return true;
  }

  // The key of the map in entries_ that its entries have twice: the one whose second entry
  // comes first. Null when every key is once. Keys in ascending order (those of a sorted
  // native map) are once each; otherwise entries are sorted by key and then position, so the
  // second of each repeated key follows its first.
  std::string const* RepeatedKey() {
    auto const ascending = [](Entry const& a, Entry const& b) { return *a.key < *b.key; };
    if (std::adjacent_find(entries_.begin(), entries_.end(), std::not_fn(ascending)) ==
        entries_.end()) {
      return nullptr;
    }
    order_.resize(entries_.size());
    for (std::size_t i = 0; i < order_.size(); ++i) order_[i] = i;
    std::sort(order_.begin(), order_.end(), [this](std::size_t a, std::size_t b) {
      int const by_key = entries_[a].key->compare(*entries_[b].key);
      return by_key != 0 ? by_key < 0 : a < b;
    });
    std::size_t second = entries_.size();
    for (std::size_t i = 1; i < order_.size(); ++i) {
      if (*entries_[order_[i]].key == *entries_[order_[i - 1]].key) {
        second = std::min(second, order_[i]);
      }
    }
    return second < entries_.size() ? entries_[second].key : nullptr;
  }

  // {"declared":value,...,"$unknown":{"other":canonical,...}}, declared fields in name order.
  // The value's fields and the declared ones are both in name order: one walk over the two
  // pairs them and finds those the definition does not declare.
  bool WriteStructure(StructDefinition const& definition, CompoundValue const& compound,
                      std::size_t path) {
    auto const& declared = definition.fields();
    fields_.clear();
    std::string unknown;
    auto field = declared.begin();
    for (auto const& present : compound.fields()) {
      int order = 1;  // the declared field's name against the present one's
      for (; field != declared.end(); ++field) {
        order = std::string_view(field->first).compare(present.first);
        if (order >= 0) break;
      }
      if (order == 0) {
        Detail::Prefetch(present.second.get());
        fields_.push_back({&field->first, present.second.get(), field->second.get()});
        continue;
      }
      boost::string_view const name(present.first.data(), present.first.size());
      if (!present.second) return Unwritable(paths_.Field(path, name), "no value");
      unknown += (unknown.empty() ? "" : ",") + QuoteJson(name) + ":" + ToJson(*present.second);
    }
    if (Checks() && fields_.size() != declared.size()) return false;  // a field is missing
    writer_.Write("{");
    writer_.QueueText("}");
    if (!unknown.empty()) {
      writer_.QueueText(writer_.Keep(std::string(declared.empty() ? "" : ",") + "\"" +
                                     Detail::kUnknownFieldsKey + "\":{" + unknown + "}"));
    }
    for (std::size_t i = fields_.size(); i-- > 0;) {
      Field const& f = fields_[i];
      writer_.QueueMember(*f.name, {f.value, f.definition, paths_.Field(path, *f.name)}, i == 0);
    }
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
  struct Field {
    std::string const* name;
    DataValue const* value;
    DataDefinition const* definition;
  };

  std::list<BaseMessage>* messages_ = nullptr;
  Detail::StepWriter<Item> writer_;
  Detail::ValuePaths paths_ = Detail::ValuePaths::None();  // keeps paths when explaining
  // Scratch of WriteMap and WriteStructure, which queue their children and return.
  std::vector<Entry> entries_;
  std::vector<std::size_t> order_;
  std::vector<Field> fields_;
};

}  // namespace

bool ToPlainJson(DataValue const& value, DataDefinition const& definition, std::string* out,
                 std::list<BaseMessage>& messages) {
  return PlainWriter().Run(value, definition, out) ||
         (Validate(definition, value, messages) &&
          PlainWriter(messages).Run(value, definition, out));
}

}  // namespace Ormi::Data
