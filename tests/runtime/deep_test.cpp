// Values nested far deeper than any call stack allows, run on a thread with an 8 MiB stack.
#include "ormi/data/value.h"

#include <gtest/gtest.h>

#include <functional>

#include "ormi/data/definition.h"
#include "ormi/data/json.h"
#include "small_stack.h"

namespace Ormi::Data {
namespace {

constexpr int kDepth = 1000000;

using Testing::OnEightMiBStack;

// A chain of `depth` containers, each holding the next; `wrap` builds one level.
ValuePtr Chain(int depth, ValuePtr leaf, std::function<ValuePtr(ValuePtr)> const& wrap) {
  ValuePtr current = std::move(leaf);
  for (int i = 0; i < depth; ++i) current = wrap(std::move(current));
  return current;
}

ValuePtr InOptional(ValuePtr inner) { return OptionalValue::GetInstance(std::move(inner)); }

ValuePtr InList(ValuePtr inner) {
  auto list = ListValue::GetInstance();
  list->Append(std::move(inner));
  return list;
}

ValuePtr InStruct(ValuePtr inner) {
  auto node = StructValue::GetInstance("node");
  node->SetField("next", OptionalValue::GetInstance(std::move(inner)));
  return node;
}

// Each chain is built once and used for every walk before it is destroyed, to keep the
// test fast under sanitizers.
TEST(Deep, OptionalChainsCompareAndDestroyWithoutRecursion) {
  OnEightMiBStack([] {
    ValuePtr a = Chain(kDepth, IntegerValue::GetInstance(1), InOptional);
    ValuePtr b = Chain(kDepth, IntegerValue::GetInstance(1), InOptional);
    EXPECT_TRUE(Equal(*a, *b));
    b = Chain(kDepth, IntegerValue::GetInstance(2), InOptional);
    EXPECT_FALSE(Equal(*a, *b));
    std::weak_ptr<DataValue const> watch = a;
    a.reset();
    EXPECT_TRUE(watch.expired());
  });
}

TEST(Deep, ListChainsWriteAndReadJsonAndDestroyWithoutRecursion) {
  OnEightMiBStack([] {
    ValuePtr chain = Chain(kDepth, VoidValue::GetInstance(), InList);
    std::string const json = ToJson(*chain);
    EXPECT_EQ(json.size(), std::size_t{kDepth} * 2 + 14);
    EXPECT_EQ(json.substr(kDepth - 2, 18), "[[{\"$void\":null}]]");
    // However high a caller raises the depth limit, the parser stops at its ceiling rather than
    // at the end of the stack; a chain up to the ceiling reads back.
    JsonLimits limits;
    limits.maxDepth = kDepth + 1;
    std::list<BaseMessage> messages;
    ValuePtr back;
    EXPECT_FALSE(FromJson(json, &back, messages, limits));
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages.front().id, MessageId::kJsonTooDeep);
    ValuePtr const shallow =
        Chain(JsonLimits::kMaxDepthCeiling - 1, VoidValue::GetInstance(), InList);
    messages.clear();
    ASSERT_TRUE(FromJson(ToJson(*shallow), &back, messages, limits));
    EXPECT_TRUE(Equal(*shallow, *back));
    std::weak_ptr<DataValue const> watch = chain;
    chain.reset();
    EXPECT_TRUE(watch.expired());
  });
}

TEST(Deep, StructureChainsValidateAndDestroyWithoutRecursion) {
  OnEightMiBStack([] {
    // The innermost "next" holds an integer where a node is expected.
    ValuePtr chain = Chain(kDepth, IntegerValue::GetInstance(1), InStruct);
    auto const ref = StructRefDefinition::GetInstance("node");
    auto const node =
        StructDefinition::GetInstance("node", {{"next", OptionalDefinition::GetInstance(ref)}});
    ref->SetTarget(node);
    std::list<BaseMessage> messages;
    EXPECT_FALSE(Validate(*node, *chain, messages));
    ASSERT_EQ(messages.size(), 1u);
    std::string const& text = messages.front().defaultMessage;
    std::string const problem = ": expected structure \"node\", got an integer";
    EXPECT_EQ(text.size(), std::size_t{kDepth} * 5 - 1 + problem.size());  // "next" per level
    EXPECT_EQ(text.substr(text.size() - problem.size() - 9), "next.next" + problem);
    std::weak_ptr<DataValue const> watch = chain;
    chain.reset();
    EXPECT_TRUE(watch.expired());
  });
}

TEST(Deep, TeardownLeavesSharedSubtreesIntact) {
  OnEightMiBStack([] {
    int const depth = 100000;
    ValuePtr const shared = Chain(depth, StringValue::GetInstance("leaf"), InList);
    ValuePtr first = InOptional(shared);
    ValuePtr const second = InOptional(shared);
    first.reset();
    // Walk the surviving chain down to its leaf.
    DataValue const* at = static_cast<OptionalValue const&>(*second).value().get();
    int levels = 0;
    for (; at->kind() == ValueKind::kList; ++levels) {
      at = static_cast<ListValue const&>(*at).elements().front().get();
    }
    EXPECT_EQ(levels, depth);
    EXPECT_EQ(static_cast<StringValue const&>(*at).value(), "leaf");
  });
}

}  // namespace
}  // namespace Ormi::Data
