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
  // A table that keeps nothing, for a walk that names no paths: every path is the root, and
  // making it allocates nothing.
  static ValuePaths None();

  bool Keeps() const { return keeps_; }
  // Checked here, so that a walk that keeps nothing pays no call per step.
  std::size_t Field(std::size_t parent, boost::string_view name) {
    return keeps_ ? Add({parent, Type::kField, name, 0}) : kRoot;
  }
  std::size_t Index(std::size_t parent, std::size_t index) {
    return keeps_ ? Add({parent, Type::kIndex, {}, index}) : kRoot;
  }
  std::size_t Key(std::size_t parent, boost::string_view key) {
    return keeps_ ? Add({parent, Type::kKey, key, 0}) : kRoot;
  }
  bool IsKey(std::size_t path) const { return keeps_ && nodes_[path].type == Type::kKey; }
  std::string Text(std::size_t path) const;

 private:
  struct NoneTag {};
  explicit ValuePaths(NoneTag /*unused*/) : keeps_(false) {}

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
  bool keeps_ = true;
};

}  // namespace Ormi::Data::Detail
