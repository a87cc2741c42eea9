#include "ormi/data/value_arena.h"

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ormi/data/json.h"
#include "ormi/data/value.h"

namespace Ormi::Data {
namespace {

// A structure of `n` records, each a structure of a long string (its own allocation), an
// integer and an optional list: enough values to fill many of an arena's blocks.
ValuePtr Records(int n, std::string const& tag) {
  auto records = ListValue::GetInstance();
  for (int i = 0; i < n; ++i) {
    auto record = StructValue::GetInstance("record");
    record->SetField("name", StringValue::GetInstance(tag + " record number " + std::to_string(i)));
    record->SetField("n", IntegerValue::GetInstance(i));
    auto list = ListValue::GetInstance();
    list->Append(BooleanValue::GetInstance(i % 2 == 0));
    record->SetField("more", OptionalValue::GetInstance(list));
    records->Append(record);
  }
  auto root = StructValue::GetInstance("records");
  root->SetField("records", records);
  return root;
}

ValuePtr Element(ValuePtr const& root, std::size_t i) {
  auto const& records = static_cast<CompoundValue const&>(*root).fields().at("records");
  return static_cast<ListValue const&>(*records).elements()[i];
}

// Parts of trees built in scopes, nested or not, stay whole after the scopes end and the rest
// of their trees is destroyed. (Under AddressSanitizer a block given back too early is a
// use after free.)
TEST(ValueArena, KeptPartsOutliveTheScopeAndTheRestOfTheirTree) {
  ValuePtr kept_outer;
  ValuePtr kept_inner;
  std::string outer_text;
  std::string inner_text;
  // Made outside the arena, its field storage grows inside it, then outside again.
  auto grown = StructValue::GetInstance("grown");
  grown->SetField("before", IntegerValue::GetInstance(0));
  {
    ValueArenaScope const scope;
    for (int i = 0; i < 40; ++i) {
      grown->SetField("in " + std::to_string(i), IntegerValue::GetInstance(i));
    }
    ValuePtr outer = Records(3000, "outer");
    {
      ValueArenaScope const nested;
      ValuePtr const inner = Records(50, "inner");
      kept_inner = Element(inner, 49);
      inner_text = ToJson(*kept_inner);
    }
    // Built after the nested scope ended, in the same arena.
    ValuePtr const after = Records(3000, "after");
    kept_outer = Element(outer, 1234);
    outer_text = ToJson(*kept_outer);
  }
  for (int i = 0; i < 40; ++i) grown->SetField("after " + std::to_string(i), Records(1, "x"));
  std::list<BaseMessage> messages;
  ValuePtr field;
  ASSERT_TRUE(grown->GetField("in 39", &field, messages));
  EXPECT_EQ(ToJson(*field), "39");
  EXPECT_EQ(grown->fields().size(), 81u);
  EXPECT_NE(outer_text.find("outer record number 1234"), std::string::npos) << outer_text;
  EXPECT_EQ(ToJson(*kept_outer), outer_text);
  EXPECT_EQ(ToJson(*kept_inner), inner_text);
  kept_outer.reset();
  EXPECT_EQ(ToJson(*kept_inner), inner_text);
}

// Small trees, each in its own arena and dropped out of the order they were built in, take
// the blocks that earlier ones gave back, of every size, and never one that a living tree
// still uses. (Under AddressSanitizer a block handed out twice or as larger than it is shows
// as an overflow or a use after free.)
TEST(ValueArena, SmallTreesReuseGivenBackBlocksOnly) {
  std::vector<std::pair<std::string, ValuePtr>> trees;
  for (int i = 0; i < 120; ++i) {
    {
      ValueArenaScope const scope;
      ValuePtr tree = Records(1 + (i * 7) % 60, "small " + std::to_string(i));
      std::string text = ToJson(*tree);
      trees.emplace_back(std::move(text), std::move(tree));
    }
    if (i % 4 != 0) trees[static_cast<std::size_t>(i * 37 % (i + 1))].second.reset();
  }
  for (auto const& tree : trees) {
    if (tree.second) {
      EXPECT_EQ(ToJson(*tree.second), tree.first);
    }
  }
}

// Trees built in scopes on some threads are read and destroyed on others while their builders
// go on building (and reusing the blocks their own earlier trees gave back).
TEST(ValueArena, TreesMoveBetweenThreads) {
  constexpr int kBuilders = 3;
  constexpr int kRounds = 20;
  std::vector<std::vector<std::pair<std::string, ValuePtr>>> built(kBuilders);
  std::vector<std::thread> threads;
  threads.reserve(kBuilders);
  for (int b = 0; b < kBuilders; ++b) {
    threads.emplace_back([&built, b] {
      for (int round = 0; round < kRounds; ++round) {
        ValueArenaScope const scope;
        ValuePtr tree = Records(200 + round, "builder " + std::to_string(b));
        built[b].emplace_back(ToJson(*tree), std::move(tree));
        // Each builder drops a tree of its own now and then, giving blocks back to itself.
        if (round % 4 == 3) built[b][round - 1].second.reset();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  threads.clear();
  // Each tree is checked and destroyed by a thread that did not build it.
  for (int b = 0; b < kBuilders; ++b) {
    threads.emplace_back([&built, b] {
      auto& trees = built[(b + 1) % kBuilders];
      for (auto& tree : trees) {
        if (!tree.second) continue;
        EXPECT_EQ(ToJson(*tree.second), tree.first);
        tree.second.reset();
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace Ormi::Data
