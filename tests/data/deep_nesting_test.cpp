#include "ormi/data/convert.h"

#include <gtest/gtest.h>

#include "com/norval/hyrn/test/test_shapes.h"

namespace Ormi::Data {
namespace {

using Com::Norval::Hyrn::Test::Node;

constexpr int kDepth = 100000;

// std::shared_ptr destroys a chain recursively, one frame per level; unlinking it from the top
// keeps every destruction shallow. The nodes were created non-const, so the cast is sound.
void ReleaseChain(Node& root) {
  std::shared_ptr<Node const> next = std::move(root.child);
  while (next) {
    std::shared_ptr<Node const> child = std::move(const_cast<Node&>(*next).child);
    next = std::move(child);
  }
}

int ChainLength(Node const& root) {
  int length = 0;
  for (Node const* node = &root; node->child; node = node->child.get()) ++length;
  return length;
}

TEST(DeepNesting, ASelfContainingChainConvertsBothWaysWithoutRecursion) {
  Node root;
  for (int level = 0; level < kDepth; ++level) {
    auto node = std::make_shared<Node>();
    node->name = std::to_string(level);
    node->child = std::move(root.child);
    root.child = std::move(node);
  }
  std::list<BaseMessage> messages;
  ValuePtr value;
  ASSERT_TRUE(ToValue(root, &value, messages));
  DefinitionPtr const definition = DefinitionOf<Node>();
  EXPECT_TRUE(Validate(*definition, *value, messages));

  Node back;
  ASSERT_TRUE(FromValue(value, &back, messages));
  EXPECT_EQ(ChainLength(back), kDepth);
  ValuePtr again;
  ASSERT_TRUE(ToValue(back, &again, messages));
  EXPECT_TRUE(Equal(*value, *again));
  EXPECT_TRUE(messages.empty());
  ReleaseChain(root);
  ReleaseChain(back);
}

}  // namespace
}  // namespace Ormi::Data
