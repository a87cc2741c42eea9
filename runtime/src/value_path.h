// Paths into a value as validation messages write them: fields joined with ".", list elements
// as [i], map entries as ["key"] (internal to ormi_core). The steps of all paths of one walk
// live in one table, so a walker keeps an index per node rather than a copy of its path.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <boost/utility/string_view.hpp>

namespace Ormi::Data::Detail {

class ValuePaths {
 public:
  static constexpr std::size_t kRoot = 0;

  // `root` names the whole value ("" for none). Names given to the other functions must
  // outlive the table.
  explicit ValuePaths(std::string root = {});

  std::size_t Field(std::size_t parent, boost::string_view name);
  std::size_t Index(std::size_t parent, std::size_t index);
  std::size_t Key(std::size_t parent, boost::string_view key);
  bool IsKey(std::size_t path) const { return nodes_[path].type == Type::kKey; }
  std::string Text(std::size_t path) const;

 private:
  enum class Type { kRoot, kField, kIndex, kKey };
  struct Node {
    std::size_t parent;
    Type type;
    boost::string_view name;
    std::size_t index;
  };
  std::size_t Add(Node node);

  std::string root_;
  std::vector<Node> nodes_;
};

}  // namespace Ormi::Data::Detail
