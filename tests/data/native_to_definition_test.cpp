#include "hyrn/data/native_to_definition.h"

#include <gtest/gtest.h>

#include "hand_shapes.h"

namespace Ormi {
namespace Data {
namespace {

using Hand::Node;
using Hand::Shapes;

template <typename T>
DefinitionPtr Build() {
  DefinitionPtr definition;
  std::list<BaseMessage> const messages;
  NativeToDefinitionAdapter::Adapt(NativeToDefinitionAdapter::AdaptMethod<T>::Get(), &definition,
                                   messages);
  return definition;
}

StructDefinition const& Struct(DefinitionPtr const& definition) {
  return dynamic_cast<StructDefinition const&>(*definition);
}
DefinitionPtr const& Field(DefinitionPtr const& definition, std::string const& name) {
  return Struct(definition).fields().at(name);
}
DefinitionPtr const& Element(DefinitionPtr const& definition) {
  if (auto const* list = dynamic_cast<ListDefinition const*>(definition.get())) {
    return list->element();
  }
  return dynamic_cast<OptionalDefinition const&>(*definition).element();
}

TEST(NativeToDefinition, FieldsContainersAndEnumerationsGetTheirDefinitions) {
  DefinitionPtr const shapes = Build<Shapes>();
  EXPECT_EQ(Struct(shapes).name(), "hand.shapes");
  EXPECT_EQ(Struct(shapes).fields().size(), 17U);
  EXPECT_EQ(Field(shapes, "when")->kind(), DefinitionKind::kDateTime);
  EXPECT_EQ(Field(shapes, "color")->kind(), DefinitionKind::kString);
  EXPECT_EQ(Element(Field(shapes, "maybe_color"))->kind(), DefinitionKind::kString);
  EXPECT_EQ(Field(shapes, "dynamic")->kind(), DefinitionKind::kDynamicStructure);
  EXPECT_EQ(Struct(Element(Field(shapes, "leaves"))).name(), "hand.leaf");

  DefinitionPtr const& entry = Element(Field(shapes, "maybe_labels"));
  EXPECT_EQ(Struct(entry).name(), "map-entry");
  EXPECT_EQ(Field(entry, "key")->kind(), DefinitionKind::kString);
  EXPECT_EQ(Element(Field(entry, "value"))->kind(), DefinitionKind::kString);
}

TEST(NativeToDefinition, AStructureIsBuiltOncePerCallAndAnewOnTheNext) {
  DefinitionPtr const first = Build<Shapes>();
  DefinitionPtr const leaf = Field(first, "leaf");
  EXPECT_EQ(Element(Field(first, "maybe_leaf")), leaf);
  EXPECT_EQ(Element(Field(first, "leaves")), leaf);
  EXPECT_EQ(Field(Element(Field(first, "leaf_map")), "value"), leaf);
  EXPECT_NE(Field(Build<Shapes>(), "leaf"), leaf);
}

TEST(NativeToDefinition, ASelfContainingStructureRefersToItsFinishedDefinition) {
  DefinitionPtr const node = Build<Node>();
  ASSERT_EQ(node->kind(), DefinitionKind::kStructure);
  auto const& ref = dynamic_cast<StructRefDefinition const&>(*Element(Field(node, "child")));
  EXPECT_EQ(ref.name(), "hand.node");
  EXPECT_EQ(ref.target(), node);
  // Through an enclosing structure, the outer occurrence is the full definition.
  EXPECT_EQ(Field(Build<Shapes>(), "node")->kind(), DefinitionKind::kStructure);
}

}  // namespace
}  // namespace Data
}  // namespace Ormi
