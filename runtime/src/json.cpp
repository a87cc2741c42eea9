// Writing the canonical JSON form of values and definitions with an explicit stack.
#include "ormi/data/json.h"

#include <cmath>
#include <vector>

#include <boost/json.hpp>

namespace Ormi {
namespace Data {
namespace {

std::string Quote(std::string const& text) {
  return boost::json::serialize(boost::json::string_view(text.data(), text.size()));
}

std::string Base64(std::string const& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::size_t const n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t chunk = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      chunk = chunk << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(chunk >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return out;
}

std::string DoubleText(double value) {
  if (std::isnan(value)) return "\"NaN\"";
  if (std::isinf(value)) return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  return boost::json::serialize(boost::json::value(value));
}

// A step of the writer: either text to append or a node (value or definition) to expand.
template <typename Node>
struct Step {
  Node const* node;
  std::string text;
};

template <typename Node>
class Writer {
 public:
  std::string Run(Node const& root) {
    steps_.push_back({&root, std::string()});
    while (!steps_.empty()) {
      Step<Node> step = std::move(steps_.back());
      steps_.pop_back();
      if (step.node) {
        Expand(*step.node);
      } else {
        out_ += step.text;
      }
    }
    return std::move(out_);
  }

 private:
  void Expand(Node const& node);

  // Queues `parts` so that they are written in the given order.
  void Then(std::vector<Step<Node>> parts) {
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
      steps_.push_back(std::move(*part));
    }
  }
  static Step<Node> Text(std::string text) { return {nullptr, std::move(text)}; }
  static Step<Node> Child(Node const* node) { return {node, node ? std::string() : "null"}; }

  // "[" children "]" or "{" key: child, ... "}", queued in order.
  template <typename Range, typename Key>
  void Sequence(char const* open, Range const& range, Key key, char const* close) {
    std::vector<Step<Node>> parts{Text(open)};
    bool first = true;
    for (auto const& item : range) {
      parts.push_back(Text((first ? "" : ",") + key(item)));
      parts.push_back(Child(item.second));
      first = false;
    }
    parts.push_back(Text(close));
    Then(std::move(parts));
  }

  std::vector<Step<Node>> steps_;
  std::string out_;
};

// A list's elements as (unused, element) pairs, so that lists and maps share Sequence.
std::vector<std::pair<int, DataValue const*>> Elements(ListValue const& list) {
  std::vector<std::pair<int, DataValue const*>> result;
  result.reserve(list.elements().size());
  for (ValuePtr const& element : list.elements()) result.emplace_back(0, element.get());
  return result;
}

template <typename Map>
auto Pointers(Map const& fields) {
  std::vector<std::pair<std::string, decltype(fields.begin()->second.get())>> result;
  for (auto const& field : fields) result.emplace_back(field.first, field.second.get());
  return result;
}

template <typename Pair>
std::string NoKey(Pair const&) {
  return std::string();
}
template <typename Pair>
std::string FieldKey(Pair const& field) {
  return Quote(field.first) + ":";
}

template <>
void Writer<DataValue>::Expand(DataValue const& value) {
  auto const tagged = [this](char const* tag, std::string const& text) {
    out_ += std::string("{\"") + tag + "\":" + text + "}";
  };
  switch (value.kind()) {
    case ValueKind::kVoid:
      return tagged("$void", "null");
    case ValueKind::kInteger:
      out_ += std::to_string(static_cast<IntegerValue const&>(value).value());
      return;
    case ValueKind::kDouble:
      return tagged("$double", DoubleText(static_cast<DoubleValue const&>(value).value()));
    case ValueKind::kBoolean:
      out_ += static_cast<BooleanValue const&>(value).value() ? "true" : "false";
      return;
    case ValueKind::kBlob:
      return tagged("$blob", Quote(Base64(static_cast<BlobValue const&>(value).value())));
    case ValueKind::kString:
      out_ += Quote(static_cast<StringValue const&>(value).value());
      return;
    case ValueKind::kDateTime:
      return tagged("$datetime", Quote(static_cast<StringValue const&>(value).value()));
    case ValueKind::kSecret:
      return tagged("$secret", Quote(static_cast<SecretValue const&>(value).value()));
    case ValueKind::kOptional: {
      auto const& optional = static_cast<OptionalValue const&>(value);
      if (!optional.isSet()) return tagged("$optional", "null");
      return Then({Text("{\"$optional\":"), Child(optional.value().get()), Text("}")});
    }
    case ValueKind::kList: {
      auto const& list = static_cast<ListValue const&>(value);
      auto const elements = Elements(list);
      if (list.listKind() == ListValue::kPlainList) {
        return Sequence("[", elements, NoKey<std::pair<int, DataValue const*>>, "]");
      }
      std::string const close = list.listKind() == ListValue::kMapList
                                    ? "]}"
                                    : "],\"kind\":" + std::to_string(list.listKind()) + "}";
      std::string const open =
          list.listKind() == ListValue::kMapList ? "{\"$map\":[" : "{\"$list\":[";
      return Sequence(open.c_str(), elements, NoKey<std::pair<int, DataValue const*>>,
                      close.c_str());
    }
    case ValueKind::kStructure:
    case ValueKind::kError: {
      auto const& compound = static_cast<CompoundValue const&>(value);
      char const* tag = value.kind() == ValueKind::kError ? "{\"$error\":" : "{\"$struct\":";
      auto const fields = Pointers(compound.fields());
      return Sequence((tag + Quote(compound.name()) + ",\"fields\":{").c_str(), fields,
                      FieldKey<std::pair<std::string, DataValue const*>>, "}}");
    }
    default:
      out_ += "null";
  }
}

char const* ScalarDefinitionName(int kind) {
  switch (kind) {
    case DefinitionKind::kVoid:
      return "void";
    case DefinitionKind::kInteger:
      return "integer";
    case DefinitionKind::kDouble:
      return "double";
    case DefinitionKind::kBoolean:
      return "boolean";
    case DefinitionKind::kBlob:
      return "blob";
    case DefinitionKind::kString:
      return "string";
    case DefinitionKind::kSecret:
      return "secret";
    case DefinitionKind::kDateTime:
      return "date-time";
    case DefinitionKind::kDynamicStructure:
      return "dynamic-structure";
    default:
      return nullptr;
  }
}

template <>
void Writer<DataDefinition>::Expand(DataDefinition const& definition) {
  switch (definition.kind()) {
    case DefinitionKind::kOptional:
      return Then({Text("{\"$optional\":"),
                   Child(static_cast<OptionalDefinition const&>(definition).element().get()),
                   Text("}")});
    case DefinitionKind::kList:
      return Then({Text("{\"$list\":"),
                   Child(static_cast<ListDefinition const&>(definition).element().get()),
                   Text("}")});
    case DefinitionKind::kStructure: {
      auto const& structure = static_cast<StructDefinition const&>(definition);
      auto const fields = Pointers(structure.fields());
      return Sequence(("{\"$struct\":" + Quote(structure.name()) + ",\"fields\":{").c_str(), fields,
                      FieldKey<std::pair<std::string, DataDefinition const*>>, "}}");
    }
    case DefinitionKind::kStructRef:
      out_ +=
          "{\"$ref\":" + Quote(static_cast<StructRefDefinition const&>(definition).name()) + "}";
      return;
    default: {
      char const* name = ScalarDefinitionName(definition.kind());
      out_ += name ? Quote(name) : "null";
    }
  }
}

}  // namespace

std::string ToJson(DataValue const& value) { return Writer<DataValue>().Run(value); }

std::string ToJson(DataDefinition const& definition) {
  return Writer<DataDefinition>().Run(definition);
}

}  // namespace Data
}  // namespace Ormi
