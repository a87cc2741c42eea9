#include "plain_types.h"

namespace HyrnBench::Plain {
namespace {

using Ormi::Data::DataValue;
using Ormi::Data::ValueKind;

boost::json::value StructToJson(Ormi::Data::CompoundValue const& value) {
  boost::json::object out;
  for (auto const& field : value.fields()) out.emplace(field.first, ToJson(*field.second));
  return out;
}

// A map arrives as a list of "map-entry" structures; it becomes an object keyed by "key".
boost::json::value ListToJson(Ormi::Data::ListValue const& value) {
  if (value.listKind() == Ormi::Data::ListKind::kMap) {
    boost::json::object out;
    for (auto const& element : value.elements()) {
      auto const& entry = static_cast<Ormi::Data::StructValue const&>(*element);
      auto const& key = static_cast<Ormi::Data::StringValue const&>(*entry.fields().at("key"));
      out.emplace(key.value(), ToJson(*entry.fields().at("value")));
    }
    return out;
  }
  boost::json::array out;
  for (auto const& element : value.elements()) out.push_back(ToJson(*element));
  return out;
}

}  // namespace

boost::json::value ToJson(DataValue const& value) {
  switch (value.kind()) {
    case ValueKind::kString:
    case ValueKind::kDateTime:
      return boost::json::string(static_cast<Ormi::Data::StringValue const&>(value).value());
    case ValueKind::kBoolean:
      return static_cast<Ormi::Data::BooleanValue const&>(value).value();
    case ValueKind::kInteger:
      return static_cast<Ormi::Data::IntegerValue const&>(value).value();
    case ValueKind::kOptional: {
      auto const& optional = static_cast<Ormi::Data::OptionalValue const&>(value);
      return optional.isSet() ? ToJson(*optional.value()) : boost::json::value(nullptr);
    }
    case ValueKind::kList:
      return ListToJson(static_cast<Ormi::Data::ListValue const&>(value));
    case ValueKind::kStructure:
    case ValueKind::kError:
      return StructToJson(static_cast<Ormi::Data::CompoundValue const&>(value));
    default:
      throw std::invalid_argument(std::string("no JSON form for a ") +
                                  Ormi::Data::KindName(value.kind()));
  }
}

}  // namespace HyrnBench::Plain
