// Lines for check_plain_json_schema.py: for one part (input or output) of an operation, a JSON
// Schema of its plain JSON form, the plain JSON of random valid values, and broken payloads made
// from them (a field left out, an unknown field, a value of the wrong type or form), each with
// what was broken. Every payload is also read here: a valid one must read, a broken one must be
// refused, so the reader and the schema are held to the same answer.
#pragma once

#include <functional>
#include <iostream>
#include <list>
#include <string>
#include <utility>

#include <boost/json.hpp>

#include "ormi/data/plain_json.h"

namespace Ormi::Data::Testing {

namespace json = boost::json;

inline constexpr unsigned kValidPerPart = 10;

inline DataDefinition const* Resolve(DataDefinition const* definition) {
  if (definition && definition->kind() == DefinitionKind::kStructRef) {
    return static_cast<StructRefDefinition const&>(*definition).target().get();
  }
  return definition;
}

inline bool IsMap(ListDefinition const& list) {
  auto const* entry = Resolve(list.element().get());
  return entry && entry->kind() == DefinitionKind::kStructure &&
         static_cast<StructDefinition const&>(*entry).name() == "map-entry";
}

// The value kind a scalar definition accepts; kReserved for any other definition.
inline ValueKind ScalarKind(DataDefinition const& definition) {
  return definition.kind() == DefinitionKind::kScalar
             ? static_cast<ScalarDefinition const&>(definition).valueKind()
             : ValueKind::kReserved;
}

// A JSON value that the plain form of `definition` never is.
inline json::value WrongFor(DataDefinition const& definition) {
  if (definition.kind() == DefinitionKind::kOptional) {
    return WrongFor(*static_cast<OptionalDefinition const&>(definition).element());
  }
  switch (ScalarKind(definition)) {
    case ValueKind::kString:
    case ValueKind::kSecret:
    case ValueKind::kDateTime:
    case ValueKind::kBlob:
      return 12;
    default:
      return "wrong";
  }
}

// Breaks a payload in place, one way at a time, walking the structures it holds.
class Breaker {
 public:
  using Emit = std::function<void(std::string const& why)>;
  explicit Breaker(Emit emit) : emit_(std::move(emit)) {}

  void Walk(json::value& node, DataDefinition const& definition, std::string const& path) {
    DataDefinition const* resolved = Resolve(&definition);
    if (!resolved) return;
    switch (resolved->kind()) {
      case DefinitionKind::kStructure:
        if (node.is_object()) {
          BreakStructure(node.get_object(), static_cast<StructDefinition const&>(*resolved), path);
        }
        return;
      case DefinitionKind::kOptional: {
        auto const& optional = static_cast<OptionalDefinition const&>(*resolved);
        auto const& element = *optional.element();
        bool const wrapped =
            element.kind() == DefinitionKind::kOptional || ScalarKind(element) == ValueKind::kVoid;
        if (wrapped && node.is_array() && !node.get_array().empty()) {
          Walk(node.get_array()[0], element, path);
        } else if (!wrapped && !node.is_null()) {
          Walk(node, element, path);
        }
        return;
      }
      case DefinitionKind::kList:
        WalkList(node, static_cast<ListDefinition const&>(*resolved), path);
        return;
      default:
        return;
    }
  }

 private:
  // The first element of a list, the first value of a map.
  void WalkList(json::value& node, ListDefinition const& list, std::string const& path) {
    if (IsMap(list) && node.is_object() && !node.get_object().empty()) {
      auto const& entry = static_cast<StructDefinition const&>(*Resolve(list.element().get()));
      auto& first = *node.get_object().begin();
      Walk(first.value(), *entry.fields().at("value"),
           path + "[\"" + std::string(first.key()) + "\"]");
    } else if (!IsMap(list) && node.is_array() && !node.get_array().empty()) {
      Walk(node.get_array()[0], *list.element(), path + "[0]");
    }
  }

  void BreakStructure(json::object& object, StructDefinition const& definition,
                      std::string const& path) {
    object["no_such_field"] = 1;
    emit_("unknown field at " + path);
    object.erase("no_such_field");
    for (auto const& field : definition.fields()) {
      std::string const at = path + "." + field.first;
      json::value* member = object.if_contains(field.first);
      if (!member) continue;
      json::value const kept = *member;
      if (field.second->kind() != DefinitionKind::kOptional) {
        object.erase(field.first);
        emit_("missing " + at);
        object[field.first] = kept;
        member = object.if_contains(field.first);
      }
      BreakValue(*member, *field.second, at);
      Walk(*member, *field.second, at);
    }
  }

  // A value of the wrong JSON type, and for texts of a fixed form one of the wrong form.
  void BreakValue(json::value& member, DataDefinition const& definition, std::string const& at) {
    json::value const kept = member;
    member = WrongFor(definition);
    emit_("wrong type at " + at);
    DataDefinition const* inner = &definition;
    while (inner->kind() == DefinitionKind::kOptional) {
      inner = static_cast<OptionalDefinition const&>(*inner).element().get();
    }
    if (ScalarKind(*inner) == ValueKind::kDateTime) {
      member = "2026-12-06 08:35:27Z";
      emit_("date-time of the wrong form at " + at);
    } else if (ScalarKind(*inner) == ValueKind::kBlob) {
      member = "not base64!";
      emit_("blob of the wrong form at " + at);
    }
    member = kept;
  }

  Emit emit_;
};

inline std::string Describe(std::list<Ormi::BaseMessage> const& messages) {
  std::string text;
  for (auto const& message : messages) text += message.defaultMessage + "; ";
  return text;
}

// Writes one line for one part (input or output) of an operation, checked against `schema`
// (JSON text; the schema of `definition`); false when the reader disagrees.
inline bool WritePart(std::string const& name, DefinitionPtr const& definition,
                      std::function<ValuePtr(unsigned)> const& make, std::string const& schema) {
  bool agreed = true;
  json::array valid;
  json::array broken;
  for (unsigned seed = 1; seed <= kValidPerPart; ++seed) {
    std::list<Ormi::BaseMessage> messages;
    std::string text;
    ValuePtr const value = make(seed);
    if (!value || !ToPlainJson(*value, *definition, &text, messages)) {
      std::cerr << name << ": seed " << seed << " gives no plain JSON: " << Describe(messages)
                << "\n";
      return false;
    }
    ValuePtr back;
    if (!FromPlainJson(text, *definition, &back, messages)) {
      std::cerr << name << ": the reader refuses a valid payload: " << Describe(messages) << "\n";
      agreed = false;
    }
    json::value payload = json::parse(text);
    valid.push_back(payload);
    if (seed > 2) continue;  // the broken payloads come from the first two
    auto const emit = [&](std::string const& why) {
      std::string const text = json::serialize(payload);
      ValuePtr ignored;
      std::list<Ormi::BaseMessage> problems;
      if (FromPlainJson(text, *definition, &ignored, problems)) {
        std::cerr << name << ": the reader accepts a payload with " << why << ": " << text << "\n";
        agreed = false;
      }
      broken.push_back(
          json::object{{"why", why}, {"reader", Describe(problems)}, {"payload", payload}});
    };
    Breaker(emit).Walk(payload, *definition, "");
    if (seed == 1) {
      payload = WrongFor(*definition);
      emit("wrong type at the top level");
    }
  }
  json::object line{{"name", name},
                    {"schema", json::parse(schema)},
                    {"valid", std::move(valid)},
                    {"broken", std::move(broken)}};
  std::cout << json::serialize(line) << "\n";
  return agreed;
}

}  // namespace Ormi::Data::Testing
