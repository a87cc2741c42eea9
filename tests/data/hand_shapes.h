// Temporary test structures in the generated form, until the generated test shapes land.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <boost/optional.hpp>
#include <boost/utility/string_view.hpp>

#include "hyrn/data/base_native.h"
#include "hyrn/data/type_info.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/types.h"

namespace Hand {

class Color {
 public:
  enum Enum { RED, GREEN, _UNKNOWN };
  struct Strings {
    static constexpr char const* values[] = {"RED", "GREEN", "_UNKNOWN", nullptr};
  };
  Color() = default;
  Color(Enum value) : value_(value) {}  // NOLINT(google-explicit-constructor)
  Color(Enum value, std::string unknown) : value_(value), unknown_(std::move(unknown)) {}
  Enum value() const { return value_; }
  std::string const& unknownText() const { return unknown_; }

 private:
  Enum value_ = _UNKNOWN;
  std::string unknown_;
};

struct Leaf : Ormi::Data::BaseNative {
  std::string text;
  bool flag = false;
  struct AdapterHelper {
    static constexpr boost::string_view kKnownNames[] = {"flag", "text"};
    template <typename Helper>
    static void AddFields(Helper& helper) {
      helper.AddField("text", &Leaf::text);
      helper.AddField("flag", &Leaf::flag);
      helper.AddUnknownFields(kKnownNames);
    }
  };
};

struct Node : Ormi::Data::BaseNative {
  std::string name;
  Ormi::OptionalPtr<Node const> child;
  struct AdapterHelper {
    static constexpr boost::string_view kKnownNames[] = {"child", "name"};
    template <typename Helper>
    static void AddFields(Helper& helper) {
      helper.AddField("name", &Node::name);
      helper.AddField("child", &Node::child);
      helper.AddUnknownFields(kKnownNames);
    }
  };
};

struct Shapes : Ormi::Data::BaseNative {
  std::string text;
  bool flag = false;
  Ormi::DateTime when;
  Color color;
  boost::optional<Color> maybe_color;
  boost::optional<std::string> maybe_text;
  std::shared_ptr<Leaf const> leaf;
  Ormi::OptionalPtr<Leaf const> maybe_leaf;
  std::list<std::string> texts;
  std::list<std::shared_ptr<Leaf const>> leaves;
  std::map<std::string, std::string> labels;
  std::map<std::string, boost::optional<std::string>> maybe_labels;
  std::map<std::string, std::shared_ptr<Leaf const>> leaf_map;
  std::map<std::string, Ormi::Data::DynamicStructure> dynamics;
  Ormi::Data::DynamicStructure dynamic;
  boost::optional<std::list<std::shared_ptr<Leaf const>>> maybe_leaves;
  std::shared_ptr<Node const> node;
  struct AdapterHelper {
    static constexpr boost::string_view kKnownNames[] = {
        "color",      "dynamic", "dynamics",    "flag",         "labels",     "leaf",
        "leaf_map",   "leaves",  "maybe_color", "maybe_labels", "maybe_leaf", "maybe_leaves",
        "maybe_text", "node",    "text",        "texts",        "when"};
    template <typename Helper>
    static void AddFields(Helper& helper) {
      helper.AddField("text", &Shapes::text);
      helper.AddField("flag", &Shapes::flag);
      helper.AddField("when", &Shapes::when);
      helper.AddField("color", &Shapes::color);
      helper.AddField("maybe_color", &Shapes::maybe_color);
      helper.AddField("maybe_text", &Shapes::maybe_text);
      helper.AddField("leaf", &Shapes::leaf);
      helper.AddField("maybe_leaf", &Shapes::maybe_leaf);
      helper.AddField("texts", &Shapes::texts);
      helper.AddField("leaves", &Shapes::leaves);
      helper.AddField("labels", &Shapes::labels);
      helper.AddField("maybe_labels", &Shapes::maybe_labels);
      helper.AddField("leaf_map", &Shapes::leaf_map);
      helper.AddField("dynamics", &Shapes::dynamics);
      helper.AddField("dynamic", &Shapes::dynamic);
      helper.AddField("maybe_leaves", &Shapes::maybe_leaves);
      helper.AddField("node", &Shapes::node);
      helper.AddUnknownFields(kKnownNames);
    }
  };
};

}  // namespace Hand

namespace Ormi {
namespace Data {
template <>
struct TypeInfo<Hand::Color> {
  static std::string name() { return "hand.color"; }
};
template <>
struct TypeInfo<Hand::Leaf> : StructTypeInfo<Hand::Leaf> {
  static std::string name() { return "hand.leaf"; }
};
template <>
struct TypeInfo<Hand::Node> : StructTypeInfo<Hand::Node> {
  static std::string name() { return "hand.node"; }
};
template <>
struct TypeInfo<Hand::Shapes> : StructTypeInfo<Hand::Shapes> {
  static std::string name() { return "hand.shapes"; }
};
}  // namespace Data
}  // namespace Ormi
