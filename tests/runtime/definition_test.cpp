#include "ormi/data/definition.h"

#include <gtest/gtest.h>

#include "ormi/data/dynamic_structure.h"

namespace Ormi::Data {
namespace {

TEST(Definition, CreateGivesTheDefinitionOfEachNativeType) {
  EXPECT_EQ(DataDefinition::Create<std::string>()->kind(), DefinitionKind::kString);
  EXPECT_EQ(DataDefinition::Create<bool>()->kind(), DefinitionKind::kBoolean);
  EXPECT_EQ(DataDefinition::Create<DateTime>()->kind(), DefinitionKind::kDateTime);
  EXPECT_EQ(DataDefinition::Create<Void>()->kind(), DefinitionKind::kVoid);
  EXPECT_EQ(DataDefinition::Create<DynamicStructure>()->kind(), DefinitionKind::kDynamicStructure);
}

TEST(Definition, CompositesKeepTheirParts) {
  auto const element = StringDefinition::GetInstance();
  auto const optional = OptionalDefinition::GetInstance(element);
  auto const list = ListDefinition::GetInstance(optional);
  EXPECT_EQ(list->element(), optional);
  EXPECT_EQ(optional->element(), element);
  auto const structure =
      StructDefinition::GetInstance("a.b", {{"z", element}, {"a", list}, {"m", optional}});
  EXPECT_EQ(structure->name(), "a.b");
  ASSERT_EQ(structure->fields().size(), 3u);
  EXPECT_EQ(structure->fields().begin()->first, "a");  // name order
  EXPECT_EQ(structure->fields().at("z"), element);
}

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
