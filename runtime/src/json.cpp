// Writing the canonical JSON form of values and definitions with an explicit stack.
#include "ormi/data/json.h"

#include <cmath>
#include <iterator>
#include <vector>

#include <boost/json.hpp>

#include "json_detail.h"
#include "json_writer.h"

namespace Ormi::Data {
namespace Detail {

std::string QuoteJson(boost::string_view text) {
  return boost::json::serialize(boost::json::string_view(text.data(), text.size()));
}

std::string EncodeBase64(std::string const& bytes) {
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

}  // namespace Detail
namespace {

using Detail::QuoteJson;

template <typename Node>
using Writer = Detail::StepWriter<Node const*>;

// open child close
template <typename Node>
void Wrap(Writer<Node>& writer, std::string const& open, Node const* child, char const* close) {
  writer.Write(open);
  writer.QueueText(close);
  writer.Queue(child);
}

// open element,element,... close
template <typename Node, typename Slots>
void Elements(Writer<Node>& writer, std::string const& open, Slots const& slots,
              std::string close) {
  writer.Write(open);
  writer.QueueText(std::move(close));
  for (std::size_t i = slots.size(); i-- > 0;) {
    writer.Queue(slots[i].get());
    if (i > 0) writer.QueueText(",");
  }
}

// open "name":field,... close, in name order
template <typename Node, typename Map>
void Fields(Writer<Node>& writer, std::string const& open, Map const& fields, char const* close) {
  writer.Write(open);
  writer.QueueText(close);
  for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
    writer.Queue(field->second.get());
    bool const first = std::next(field) == fields.rend();
    writer.QueueText((first ? "" : ",") + QuoteJson(field->first) + ":");
  }
}

void ExpandList(Writer<DataValue>& writer, ListValue const& list) {
  if (list.listKind() == ListKind::kPlain) return Elements(writer, "[", list.elements(), "]");
  if (list.listKind() == ListKind::kMap) {
    return Elements(writer, "{\"$map\":[", list.elements(), "]}");
  }
  Elements(writer, "{\"$list\":[", list.elements(),
           "],\"kind\":" + std::to_string(static_cast<int>(list.listKind())) + "}");
}

// Writes one value; a slot without a value (which a finished tree should not have) as null.
void ExpandValue(Writer<DataValue>& writer, DataValue const* node) {
  if (!node) return writer.Write("null");
  DataValue const& value = *node;
  auto const tagged = [&writer](char const* tag, std::string const& text) {
    writer.Write(std::string("{\"") + tag + "\":" + text + "}");
  };
  switch (value.kind()) {
    case ValueKind::kVoid:
      return tagged("$void", "null");
    case ValueKind::kInteger:
      return writer.Write(std::to_string(static_cast<IntegerValue const&>(value).value()));
    case ValueKind::kDouble:
      return tagged("$double", Detail::DoubleText(static_cast<DoubleValue const&>(value).value()));
    case ValueKind::kBoolean:
      return writer.Write(static_cast<BooleanValue const&>(value).value() ? "true" : "false");
    case ValueKind::kBlob:
      return tagged("$blob",
                    QuoteJson(Detail::EncodeBase64(static_cast<BlobValue const&>(value).value())));
    case ValueKind::kString:
      return writer.Write(QuoteJson(static_cast<StringValue const&>(value).value()));
    case ValueKind::kDateTime:
      return tagged("$datetime", QuoteJson(static_cast<StringValue const&>(value).value()));
    case ValueKind::kSecret:
      return tagged("$secret", QuoteJson(static_cast<SecretValue const&>(value).value()));
    case ValueKind::kOptional: {
      auto const& optional = static_cast<OptionalValue const&>(value);
      if (!optional.isSet()) return tagged("$optional", "null");
      return Wrap(writer, "{\"$optional\":", optional.value().get(), "}");
    }
    case ValueKind::kList:
      return ExpandList(writer, static_cast<ListValue const&>(value));
    case ValueKind::kStructure:
    case ValueKind::kError: {
      auto const& compound = static_cast<CompoundValue const&>(value);
      char const* tag = value.kind() == ValueKind::kError ? "{\"$error\":" : "{\"$struct\":";
      return Fields(writer, tag + QuoteJson(compound.name()) + ",\"fields\":{", compound.fields(),
                    "}}");
    }
    default:
      writer.Write("null");
  }
}

void ExpandDefinition(Writer<DataDefinition>& writer, DataDefinition const* node) {
  if (!node) return writer.Write("null");
  DataDefinition const& definition = *node;
  switch (definition.kind()) {
    case DefinitionKind::kOptional:
      return Wrap(writer, "{\"$optional\":",
                  static_cast<OptionalDefinition const&>(definition).element().get(), "}");
    case DefinitionKind::kList:
      return Wrap(writer,
                  "{\"$list\":", static_cast<ListDefinition const&>(definition).element().get(),
                  "}");
    case DefinitionKind::kStructure: {
      auto const& structure = static_cast<StructDefinition const&>(definition);
      return Fields(writer, "{\"$struct\":" + QuoteJson(structure.name()) + ",\"fields\":{",
                    structure.fields(), "}}");
    }
    case DefinitionKind::kStructRef:
      return writer.Write(
          "{\"$ref\":" + QuoteJson(static_cast<StructRefDefinition const&>(definition).name()) +
          "}");
    case DefinitionKind::kDynamicStructure:
      return writer.Write(QuoteJson("dynamic-structure"));
    case DefinitionKind::kScalar:
      return writer.Write(
          QuoteJson(KindName(static_cast<ScalarDefinition const&>(definition).valueKind())));
  }
}

template <typename Node, typename Expand>
std::string Write(Node const& root, Expand expand) {
  Writer<Node> writer;
  writer.Run(&root, [&](Node const* node) { return expand(writer, node), true; });
  return writer.Take();
}

}  // namespace

std::string ToJson(DataValue const& value) { return Write(value, ExpandValue); }

std::string ToJson(DataDefinition const& definition) { return Write(definition, ExpandDefinition); }

}  // namespace Ormi::Data
