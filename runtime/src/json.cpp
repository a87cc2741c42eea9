// Writing the canonical JSON form of values and definitions with an explicit stack.
#include "ormi/data/json.h"

#include <cmath>
#include <iterator>
#include <vector>

#include <boost/json.hpp>

namespace Ormi::Data {
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

// A step of the writer: a node (value or definition) to expand, or text to append.
template <typename Node>
struct Step {
  Node const* node = nullptr;
  char const* literal = nullptr;
  std::string text;  // used when neither of the above is set
};

// Writes opening text at once and queues children and closing text on a stack, so that
// nesting never deepens the call stack.
template <typename Node>
class Writer {
 public:
  std::string Run(Node const& root) {
    Push(&root);
    while (!steps_.empty()) {
      Step<Node> step = std::move(steps_.back());
      steps_.pop_back();
      if (step.node) {
        Expand(*step.node);
      } else {
        out_ += step.literal ? step.literal : step.text;
      }
    }
    return std::move(out_);
  }

 private:
  void Expand(Node const& node);

  void Push(Node const* child) {
    steps_.push_back(child ? Step<Node>{child, nullptr, {}} : Step<Node>{nullptr, "null", {}});
  }
  void Literal(char const* text) { steps_.push_back({nullptr, text, {}}); }

  // open child close
  void Wrap(std::string const& open, Node const* child, char const* close) {
    out_ += open;
    Literal(close);
    Push(child);
  }

  // open element,element,... close
  template <typename Slots>
  void Elements(std::string const& open, Slots const& slots, std::string close) {
    out_ += open;
    steps_.push_back({nullptr, nullptr, std::move(close)});
    for (std::size_t i = slots.size(); i-- > 0;) {
      Push(slots[i].get());
      if (i > 0) Literal(",");
    }
  }

  // open "name":field,... close, in name order
  template <typename Map>
  void Fields(std::string const& open, Map const& fields, char const* close) {
    out_ += open;
    Literal(close);
    for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
      Push(field->second.get());
      bool const first = std::next(field) == fields.rend();
      steps_.push_back({nullptr, nullptr, (first ? "" : ",") + Quote(field->first) + ":"});
    }
  }

  std::vector<Step<Node>> steps_;
  std::string out_;
};

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
      return Wrap("{\"$optional\":", optional.value().get(), "}");
    }
    case ValueKind::kList: {
      auto const& list = static_cast<ListValue const&>(value);
      if (list.listKind() == ListKind::kPlain) return Elements("[", list.elements(), "]");
      if (list.listKind() == ListKind::kMap) {
        return Elements("{\"$map\":[", list.elements(), "]}");
      }
      return Elements("{\"$list\":[", list.elements(),
                      "],\"kind\":" + std::to_string(static_cast<int>(list.listKind())) + "}");
    }
    case ValueKind::kStructure:
    case ValueKind::kError: {
      auto const& compound = static_cast<CompoundValue const&>(value);
      char const* tag = value.kind() == ValueKind::kError ? "{\"$error\":" : "{\"$struct\":";
      return Fields(tag + Quote(compound.name()) + ",\"fields\":{", compound.fields(), "}}");
    }
    default:
      out_ += "null";
  }
}

template <>
void Writer<DataDefinition>::Expand(DataDefinition const& definition) {
  switch (definition.kind()) {
    case DefinitionKind::kOptional:
      return Wrap("{\"$optional\":",
                  static_cast<OptionalDefinition const&>(definition).element().get(), "}");
    case DefinitionKind::kList:
      return Wrap("{\"$list\":", static_cast<ListDefinition const&>(definition).element().get(),
                  "}");
    case DefinitionKind::kStructure: {
      auto const& structure = static_cast<StructDefinition const&>(definition);
      return Fields("{\"$struct\":" + Quote(structure.name()) + ",\"fields\":{", structure.fields(),
                    "}}");
    }
    case DefinitionKind::kStructRef:
      out_ +=
          "{\"$ref\":" + Quote(static_cast<StructRefDefinition const&>(definition).name()) + "}";
      return;
    case DefinitionKind::kDynamicStructure:
      out_ += Quote("dynamic-structure");
      return;
    case DefinitionKind::kScalar:
      out_ += Quote(KindName(static_cast<ScalarDefinition const&>(definition).valueKind()));
      return;
  }
}

}  // namespace

std::string ToJson(DataValue const& value) { return Writer<DataValue>().Run(value); }

std::string ToJson(DataDefinition const& definition) {
  return Writer<DataDefinition>().Run(definition);
}

}  // namespace Ormi::Data
