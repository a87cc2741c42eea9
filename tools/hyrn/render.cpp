#include "render.h"

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <boost/json/object.hpp>
#include <boost/json/string.hpp>

namespace Hyrn::Detail {
namespace {

namespace json = boost::json;

std::string Text(json::value const& value, char const* key) {
  auto const* object = value.if_object();
  auto const* member = object ? object->if_contains(key) : nullptr;
  auto const* text = member ? member->if_string() : nullptr;
  return text ? std::string(*text) : std::string();
}

json::array const& Items(json::value const& value, char const* key) {
  static json::array const kNone;
  auto const* object = value.if_object();
  auto const* member = object ? object->if_contains(key) : nullptr;
  auto const* array = member ? member->if_array() : nullptr;
  return array ? *array : kNone;
}

// The fields of each structure of a description: name -> [(field, type)].
using Structures = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

Structures StructuresOf(json::value const& description) {
  Structures structures;
  for (auto const& structure : Items(description, "structures")) {
    auto& fields = structures[Text(structure, "name")];
    for (auto const& field : Items(structure, "fields")) {
      fields.emplace_back(Text(field, "name"), Text(field, "type"));
    }
  }
  return structures;
}

// Splits "list<T>", "optional<T>" and "map<string, T>" into their word and T; false for a
// scalar word or a structure name.
bool Unwrap(std::string const& type, std::string* word, std::string* inner) {
  std::size_t const open = type.find('<');
  if (open == std::string::npos || type.back() != '>') return false;
  *word = type.substr(0, open);
  *inner = type.substr(open + 1, type.size() - open - 2);
  if (*word == "map") {
    std::size_t const comma = inner->find(", ");
    if (comma == std::string::npos) return false;
    *inner = inner->substr(comma + 2);
  }
  return true;
}

// The structure a type expression comes down to, or "" for a scalar word.
std::string Leaf(std::string type) {
  std::string word;
  std::string inner;
  while (Unwrap(type, &word, &inner)) type = inner;
  return type;
}

// The structures that values of `types` may hold, directly or through other structures.
std::set<std::string> Reachable(Structures const& structures,
                                std::vector<std::string> const& types) {
  std::set<std::string> reached;
  std::vector<std::string> pending;
  pending.reserve(types.size());
  for (auto const& type : types) pending.push_back(Leaf(type));
  while (!pending.empty()) {
    std::string const name = pending.back();
    pending.pop_back();
    auto const structure = structures.find(name);
    if (structure == structures.end() || !reached.insert(name).second) continue;
    for (auto const& field : structure->second) pending.push_back(Leaf(field.second));
  }
  return reached;
}

class Skeleton {
 public:
  explicit Skeleton(Structures structures) : structures_(std::move(structures)) {}

  json::value Of(std::string const& type) {
    std::string word;
    std::string inner;
    if (Unwrap(type, &word, &inner)) {
      if (word == "list") return json::array{Of(inner)};
      if (word == "map") return json::object{{"<key>", Of(inner)}};
      return Of(inner);  // an optional: its value
    }
    auto const structure = structures_.find(type);
    if (structure == structures_.end()) {
      return type == "dynamic" ? json::value(json::object()) : json::value("<" + type + ">");
    }
    if (!open_.insert(type).second) return nullptr;  // it contains itself
    json::object object;
    for (auto const& field : structure->second) object[field.first] = Of(field.second);
    open_.erase(type);
    return object;
  }

 private:
  Structures structures_;
  std::set<std::string> open_;
};

}  // namespace

std::string ListText(json::value const& services) {
  std::ostringstream text;
  auto const* list = services.if_array();
  if (!list) return text.str();
  for (auto const& service : *list) {
    text << Text(service, "id") << "\n";
    for (auto const& operation : Items(service, "operations")) {
      text << "  " << Text(operation, "name");
      std::string const call_name = Text(operation, "call_name");
      if (call_name != Text(operation, "name")) text << " (task: " << call_name << ")";
      text << "\n";
    }
  }
  return text.str();
}

std::string DescriptionText(json::value const& description) {
  std::ostringstream text;
  auto const& operation = description.as_object().at("operation");
  text << Text(description, "service") << "/" << Text(operation, "call_name") << "\n";
  Structures const structures = StructuresOf(description);
  auto const input = structures.find(Text(description, "input"));
  text << "  input:";
  if (input == structures.end() || input->second.empty()) text << " none";
  text << "\n";
  if (input != structures.end()) {
    for (auto const& field : input->second) {
      text << "    " << field.first << ": " << field.second << "\n";
    }
  }
  text << "  output: " << Text(description, "output") << "\n";
  std::string const work_result = Text(description, "work_result");
  if (!work_result.empty()) text << "  work result: " << work_result << "\n";
  text << "  errors:";
  char const* separator = " ";
  for (auto const& error : Items(description, "errors")) {
    text << separator << (error.is_string() ? std::string(error.get_string()) : "");
    separator = ", ";
  }
  text << "\n";
  // The structures of the input's fields, the output and the work result; the errors'
  // structures all have the standard fields and are left out.
  std::vector<std::string> types = {Text(description, "output"), work_result};
  if (input != structures.end()) {
    for (auto const& field : input->second) types.push_back(field.second);
  }
  for (auto const& name : Reachable(structures, types)) {
    text << "  " << name << "\n";
    for (auto const& field : structures.at(name)) {
      text << "    " << field.first << ": " << field.second << "\n";
    }
  }
  return text.str();
}

json::value InputTemplate(json::value const& description) {
  return Skeleton(StructuresOf(description)).Of(Text(description, "input"));
}

}  // namespace Hyrn::Detail
