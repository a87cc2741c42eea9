#include "render.h"

#include <gtest/gtest.h>

#include <boost/json/parse.hpp>

namespace Hyrn::Detail {
namespace {

// An input that holds one structure in two fields, a structure that holds itself, a dynamic
// structure and each wrapper: every field is filled by its type, and only the structure inside
// itself is null.
TEST(InputTemplate, FillsEveryFieldByItsType) {
  auto const description = boost::json::parse(R"({
    "input": "in",
    "structures": [
      {"name": "in", "fields": [
        {"name": "first", "type": "point"},
        {"name": "second", "type": "optional<point>"},
        {"name": "tree", "type": "node"},
        {"name": "settings", "type": "map<string, dynamic>"},
        {"name": "tags", "type": "list<string>"},
        {"name": "when", "type": "optional<datetime>"}]},
      {"name": "point", "fields": [{"name": "x", "type": "long"}]},
      {"name": "node", "fields": [{"name": "children", "type": "list<node>"}]}]})");
  EXPECT_EQ(InputTemplate(description), boost::json::parse(R"({
    "first": {"x": "<long>"},
    "second": {"x": "<long>"},
    "tree": {"children": [null]},
    "settings": {"<key>": {}},
    "tags": ["<string>"],
    "when": "<datetime>"})"));
}

}  // namespace
}  // namespace Hyrn::Detail
