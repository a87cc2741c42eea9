// The table of paths into a value.
#include "value_path.h"

#include <utility>

namespace Ormi::Data::Detail {

ValuePaths::ValuePaths(std::string root) : root_(std::move(root)) {
  nodes_.push_back({kRoot, Type::kRoot, {}, 0});
}

ValuePaths ValuePaths::None() { return ValuePaths(NoneTag{}); }

std::size_t ValuePaths::Add(Node node) {
  nodes_.push_back(node);
  return nodes_.size() - 1;
}

std::string ValuePaths::Text(std::size_t path) const {
  if (!keeps_) return root_;
  std::vector<Node const*> chain;
  for (std::size_t at = path; at != kRoot; at = nodes_[at].parent) chain.push_back(&nodes_[at]);
  std::string text = root_;
  for (auto node = chain.rbegin(); node != chain.rend(); ++node) {
    Node const& step = **node;
    if (step.type == Type::kField) {
      if (!text.empty()) text += '.';
      text.append(step.name.data(), step.name.size());
    } else if (step.type == Type::kIndex) {
      text += "[" + std::to_string(step.index) + "]";
    } else {
      text += "[\"" + std::string(step.name) + "\"]";
    }
  }
  return text;
}

}  // namespace Ormi::Data::Detail
