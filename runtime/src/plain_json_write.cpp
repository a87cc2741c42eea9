// Writing the plain JSON form of a validated value, with an explicit stack.
#include "ormi/data/plain_json.h"

#include <charconv>
#include <cmath>
#include <unordered_set>
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

// Writes a value that passed validation against the definition, so every part has the kind
// its definition asks for and every declared field is there.
class PlainWriter {
 public:
  explicit PlainWriter(std::list<BaseMessage>& messages) : messages_(messages) {}

  bool Run(DataValue const& value, DataDefinition const& definition, std::string* out) {
    if (!writer_.Run({&value, &definition}, [this](Item const& item) { return Expand(item); })) {
      return false;
    }
    *out = writer_.Take();
    return true;
  }

 private:
  bool Expand(Item const& item) {
    DataValue const& value = *item.value;
    DataDefinition const& definition = *item.definition;
    // The definition cannot tell these apart in plain JSON: they keep their canonical form.
    if (value.kind() == ValueKind::kError ||
        definition.kind() == DefinitionKind::kDynamicStructure) {
      writer_.Write(ToJson(value));
      return true;
    }
    switch (definition.kind()) {
      case DefinitionKind::kStructure:
      case DefinitionKind::kStructRef:
        return WriteStructure(*Detail::StructureOf(definition),
                              static_cast<CompoundValue const&>(value), item.path);
      case DefinitionKind::kOptional:
        WriteOptional(static_cast<OptionalDefinition const&>(definition),
                      static_cast<OptionalValue const&>(value), item.path);
        return true;
      case DefinitionKind::kList:
        return WriteList(static_cast<ListDefinition const&>(definition),
                         static_cast<ListValue const&>(value), item.path);
      default:
        WriteScalar(value);
        return true;
    }
  }

  void WriteScalar(DataValue const& value) {
    switch (value.kind()) {
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
      writer_.Queue({elements[i].get(), definition.element().get(), paths_.Index(path, i)});
      if (i > 0) writer_.QueueText(",");
    }
    return true;
  }

  // {"key":value,...} in the order of the entries.
  bool WriteMap(DataDefinition const& value_definition, ListValue const& list, std::size_t path) {
    std::unordered_set<std::string> keys;
    std::vector<Item> items;
    std::vector<std::string const*> names;
    for (auto const& element : list.elements()) {
      auto const& fields = static_cast<CompoundValue const&>(*element).fields();
      auto const& key = static_cast<StringValue const&>(*fields.at("key")).value();
      std::size_t const at = paths_.Key(path, key);
      if (!keys.insert(key).second) return Unwritable(at, "the map has this key twice");
      items.push_back({fields.at("value").get(), &value_definition, at});
      names.push_back(&key);
    }
    writer_.Write("{");
    writer_.QueueText("}");
    for (std::size_t i = items.size(); i-- > 0;) {
      writer_.Queue(items[i]);
      writer_.QueueKey(*names[i], i == 0);
    }
    return true;
  }

  // {"declared":value,...,"$unknown":{"other":canonical,...}}, declared fields in name order.
  bool WriteStructure(StructDefinition const& definition, CompoundValue const& compound,
                      std::size_t path) {
    std::string unknown;
    for (auto const& field : compound.fields()) {
      if (definition.fields().count(field.first) != 0) continue;
      if (!field.second) return Unwritable(paths_.Field(path, field.first), "no value");
      unknown +=
          (unknown.empty() ? "" : ",") + QuoteJson(field.first) + ":" + ToJson(*field.second);
    }
    writer_.Write("{");
    writer_.QueueText("}");
    auto const& declared = definition.fields();
    if (!unknown.empty()) {
      writer_.QueueText(writer_.Keep(std::string(declared.empty() ? "" : ",") + "\"" +
                                     Detail::kUnknownFieldsKey + "\":{" + unknown + "}"));
    }
    for (auto field = declared.rbegin(); field != declared.rend(); ++field) {
      writer_.Queue({compound.fields().at(field->first).get(), field->second.get(),
                     paths_.Field(path, field->first)});
      writer_.QueueKey(field->first, std::next(field) == declared.rend());
    }
    return true;
  }

  bool Unwritable(std::size_t path, std::string const& reason) {
    std::string const text = paths_.Text(path);
    messages_.push_back(Message<CoreTag>(MessageId::kPlainJsonUnwritable,
                                         text.empty() ? std::string("the top level") : text,
                                         reason));
    return false;
  }

  std::list<BaseMessage>& messages_;
  Detail::StepWriter<Item> writer_;
  Detail::ValuePaths paths_;
};

}  // namespace

bool ToPlainJson(DataValue const& value, DataDefinition const& definition, std::string* out,
                 std::list<BaseMessage>& messages) {
  if (!Validate(definition, value, messages)) return false;
  return PlainWriter(messages).Run(value, definition, out);
}

}  // namespace Ormi::Data
