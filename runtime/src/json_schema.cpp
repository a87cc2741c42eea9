// The JSON Schema of the plain JSON form, written with an explicit stack like the forms
// themselves. Structures go to "$defs", one entry per structure, so that a structure that
// contains itself is a "$ref" to its own entry.
#include <cctype>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "json_detail.h"
#include "json_writer.h"
#include "ormi/data/plain_json.h"
#include "plain_json_rules.h"

namespace Ormi::Data {
namespace {

using Detail::QuoteJson;

constexpr char kDraft[] = "https://json-schema.org/draft/2020-12/schema";

// What no definition accepts: a reference without target, or a missing definition.
constexpr char kNothing[] = R"({"not":{}})";

constexpr char kCanonicalStructure[] =
    R"({"description":"A structure or error value in the canonical JSON form; its fields are )"
    R"(not described here","type":"object","properties":{"$struct":{"type":"string"},)"
    R"("$error":{"type":"string"},"fields":{"type":"object"}},"required":["fields"],)"
    R"("minProperties":2,"maxProperties":2,"additionalProperties":false})";

char const* ScalarSchema(ValueKind kind) {
  switch (kind) {
    case ValueKind::kVoid:
      return R"({"type":"null"})";
    case ValueKind::kInteger:
      return R"({"type":"integer","minimum":-9223372036854775808,)"
             R"("maximum":9223372036854775807})";
    case ValueKind::kDouble:
      return R"({"anyOf":[{"type":"number"},{"enum":["NaN","Infinity","-Infinity"]}]})";
    case ValueKind::kBoolean:
      return R"({"type":"boolean"})";
    case ValueKind::kBlob:
      return R"({"type":"string","contentEncoding":"base64",)"
             R"("pattern":"^(?:[A-Za-z0-9+/]{4})*(?:[A-Za-z0-9+/]{2}==|[A-Za-z0-9+/]{3}=)?$"})";
    case ValueKind::kString:
      return R"({"type":"string"})";
    case ValueKind::kSecret:
      return R"({"type":"string","description":"A secret"})";
    case ValueKind::kDateTime:
      return R"({"type":"string","format":"date-time",)"
             R"("pattern":"^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}(\\.[0-9]{1,9})?Z$"})";
    default:
      return kNothing;
  }
}

// `text` as a JSON pointer token inside a URI fragment.
std::string PointerToken(std::string const& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string token;
  for (char const c : text) {
    auto const byte = static_cast<unsigned char>(c);
    if (c == '~') {
      token += "~0";
    } else if (c == '/') {
      token += "~1";
    } else if (std::isalnum(byte) || std::string("-._!$&'()*+,;=:@").find(c) != std::string::npos) {
      token += c;
    } else {
      token += std::string("%") + kHex[byte >> 4] + kHex[byte & 15];
    }
  }
  return token;
}

// A definition to describe; `entry` marks a structure's own "$defs" entry, which describes its
// object rather than referring to it.
struct Item {
  DataDefinition const* definition = nullptr;
  bool entry = false;
};

class SchemaWriter {
 public:
  std::string Run(DataDefinition const& root) {
    std::string const schema = Describe({&root, false});
    std::string defs;
    for (std::size_t i = 0; i < entries_.size(); ++i) {  // describing an entry may add entries
      auto const entry = entries_[i];
      std::string const described = Describe({entry.second, true});
      defs += (i == 0 ? "" : ",") + QuoteJson(entry.first) + ":" + described;
    }
    std::string document = std::string(R"({"$schema":")") + kDraft + "\"," + schema.substr(1);
    if (!defs.empty()) document.insert(document.size() - 1, R"(,"$defs":{)" + defs + "}");
    return document;
  }

 private:
  std::string Describe(Item item) {
    writer_.Run(item, [this](Item const& next) { return Expand(next), true; });
    return writer_.Take();
  }

  void Expand(Item const& item) {
    if (!item.definition) return writer_.Write(kNothing);
    DataDefinition const& definition = *item.definition;
    switch (definition.kind()) {
      case DefinitionKind::kStructure:
      case DefinitionKind::kStructRef: {
        StructDefinition const* structure = Detail::StructureOf(definition);
        if (!structure) return writer_.Write(kNothing);
        if (item.entry) return ExpandStructure(*structure);
        return writer_.Write(
            "{\"$ref\":" + QuoteJson("#/$defs/" + PointerToken(EntryName(*structure))) + "}");
      }
      case DefinitionKind::kOptional:
        return ExpandOptional(static_cast<OptionalDefinition const&>(definition));
      case DefinitionKind::kList: {
        auto const& list = static_cast<ListDefinition const&>(definition);
        DataDefinition const* map_value = Detail::MapValueOf(list);
        if (map_value) return Wrap(R"({"type":"object","additionalProperties":)", map_value, "}");
        return Wrap(R"({"type":"array","items":)", list.element().get(), "}");
      }
      case DefinitionKind::kDynamicStructure:
        return writer_.Write(kCanonicalStructure);
      case DefinitionKind::kScalar:
        return writer_.Write(ScalarSchema(Detail::ScalarKindOf(definition)));
    }
  }

  void ExpandOptional(OptionalDefinition const& optional) {
    if (Detail::WrapsValue(optional)) {
      return Wrap(R"({"anyOf":[{"type":"null"},{"type":"array","items":)", optional.element().get(),
                  R"(,"minItems":1,"maxItems":1}]})");
    }
    Wrap(R"({"anyOf":[{"type":"null"},)", optional.element().get(), "]}");
  }

  // An object of the declared fields, each required unless it is optional, and of the fields
  // the structure does not declare, under their own member.
  void ExpandStructure(StructDefinition const& structure) {
    std::string names;
    std::string required;
    for (auto const& field : structure.fields()) {
      names += (names.empty() ? "" : ",") + QuoteJson(field.first);
      if (field.second && field.second->kind() == DefinitionKind::kOptional) continue;
      required += (required.empty() ? "" : ",") + QuoteJson(field.first);
    }
    writer_.Write(R"({"title":)" + QuoteJson(structure.name()) +
                  R"(,"type":"object","properties":{)");
    std::string const undeclared =
        names.empty() ? "" : R"(,"propertyNames":{"not":{"enum":[)" + names + "]}}";
    writer_.QueueText(writer_.Keep(
        std::string(structure.fields().empty() ? "" : ",") + "\"" + Detail::kUnknownFieldsKey +
        R"(":{"description":"Fields the structure does not declare, each in the )"
        R"(canonical JSON form","type":"object")" +
        undeclared + "}},\"required\":[" + required + "],\"additionalProperties\":false}"));
    auto const& fields = structure.fields();
    for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
      writer_.QueueMember(field->first, {field->second.get(), false},
                          std::next(field) == fields.rend());
    }
  }

  void Wrap(char const* open, DataDefinition const* inner, char const* close) {
    writer_.Write(open);
    writer_.QueueText(close);
    writer_.Queue({inner, false});
  }

  // The "$defs" entry of a structure: named after it, or after it and a number when another
  // structure of that name but a different definition has the name already.
  std::string const& EntryName(StructDefinition const& structure) {
    auto const known = names_.find(&structure);
    if (known != names_.end()) return known->second;
    std::string const text = ToJson(structure);
    std::string name = structure.name();
    for (int n = 2;; ++n) {
      auto const taken = texts_.emplace(name, text);
      if (taken.second) entries_.emplace_back(name, &structure);
      if (taken.first->second == text) break;
      name = structure.name() + "-" + std::to_string(n);
    }
    return names_[&structure] = name;
  }

  Detail::StepWriter<Item> writer_;
  std::map<StructDefinition const*, std::string> names_;
  std::map<std::string, std::string> texts_;  // entry name -> canonical text of its definition
  std::vector<std::pair<std::string, StructDefinition const*>> entries_;
};

}  // namespace

std::string ToJsonSchema(DataDefinition const& definition) {
  return SchemaWriter().Run(definition);
}

}  // namespace Ormi::Data
