#include "ormi/data/definition.h"

#include <gtest/gtest.h>

#include "ormi/data/dynamic_structure.h"

namespace Ormi::Data {
namespace {

TEST(Definition, StructRefResolvesWithoutOwningItsTarget) {
  auto const ref = StructRefDefinition::GetInstance("node");
  EXPECT_EQ(ref->target(), nullptr);
  std::weak_ptr<StructDefinition const> watch;
  {
    auto const node =
        StructDefinition::GetInstance("node", {{"next", OptionalDefinition::GetInstance(ref)}});
    ref->SetTarget(node);
    EXPECT_EQ(ref->target(), node);
    watch = node;
  }
  // The self-containing definition is freed once its last owner goes.
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(ref->target(), nullptr);
}

TEST(DynamicStructureValue, DefaultsToAnEmptyNamedStructure) {
  DynamicStructure const empty;
  ASSERT_NE(empty.value(), nullptr);
  ASSERT_EQ(empty.value()->kind(), ValueKind::kStructure);
  auto const& structure = static_cast<StructValue const&>(*empty.value());
  EXPECT_EQ(structure.name(), "emptyDynStr");
  EXPECT_TRUE(structure.fields().empty());
}

}  // namespace
}  // namespace Ormi::Data
