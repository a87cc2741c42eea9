#include "ormi/data/native_to_definition.h"

#include <gtest/gtest.h>

#include "com/norval/hyrn/test/test_shapes.h"
#include "ormi/data/convert.h"

namespace Ormi::Data {
namespace {

using Com::Norval::Hyrn::Test::AllKinds;
using Com::Norval::Hyrn::Test::Node;
using Com::Norval::Hyrn::Test::Ping;
using Holder = Com::Norval::Hyrn::Test::Shapes::DeepSvc::Holder;

template <typename T>
DefinitionPtr Build() {
  return DefinitionOf<T>();
}

StructDefinition const& Struct(DefinitionPtr const& definition) {
  return dynamic_cast<StructDefinition const&>(*definition);
}
DefinitionPtr const& Field(DefinitionPtr const& definition, std::string const& name) {
  return Struct(definition).fields().at(name);
}
ValueKind Scalar(DefinitionPtr const& definition) {
  return dynamic_cast<ScalarDefinition const&>(*definition).valueKind();
}
DefinitionPtr const& Element(DefinitionPtr const& definition) {
  if (auto const* list = dynamic_cast<ListDefinition const*>(definition.get())) {
    return list->element();
  }
  return dynamic_cast<OptionalDefinition const&>(*definition).element();
}
StructRefDefinition const& Ref(DefinitionPtr const& definition) {
  return dynamic_cast<StructRefDefinition const&>(*definition);
}

TEST(NativeToDefinition, FieldsContainersAndEnumerationsGetTheirDefinitions) {
  DefinitionPtr const shapes = Build<AllKinds>();
  EXPECT_EQ(Struct(shapes).name(), "com.norval.hyrn.test.all_kinds");
  EXPECT_EQ(Struct(shapes).fields().size(), 24U);
  EXPECT_EQ(Scalar(Field(shapes, "when")), ValueKind::kDateTime);
  EXPECT_EQ(Scalar(Field(shapes, "count")), ValueKind::kInteger);
  EXPECT_EQ(Scalar(Element(Field(shapes, "maybe_count"))), ValueKind::kInteger);
  EXPECT_EQ(Scalar(Element(Field(shapes, "counts"))), ValueKind::kInteger);
  EXPECT_EQ(Scalar(Field(shapes, "colour")), ValueKind::kString);
  EXPECT_EQ(Scalar(Element(Field(shapes, "maybe_colour"))), ValueKind::kString);
  EXPECT_EQ(Field(shapes, "anything")->kind(), DefinitionKind::kDynamicStructure);
  EXPECT_EQ(Struct(Element(Field(shapes, "leaves"))).name(), "com.norval.hyrn.test.leaf");

  DefinitionPtr const& entry = Element(Field(shapes, "maybe_text_by_name"));
  EXPECT_EQ(Struct(entry).name(), "map-entry");
  EXPECT_EQ(Scalar(Field(entry, "key")), ValueKind::kString);
  EXPECT_EQ(Scalar(Element(Field(entry, "value"))), ValueKind::kString);
}

TEST(NativeToDefinition, AStructureIsBuiltOncePerCallAndAnewOnTheNext) {
  DefinitionPtr const first = Build<AllKinds>();
  DefinitionPtr const leaf = Field(first, "leaf");
  EXPECT_EQ(Element(Field(first, "maybe_leaf")), leaf);
  EXPECT_EQ(Element(Field(first, "leaves")), leaf);
  EXPECT_EQ(Field(Element(Field(first, "leaf_by_name")), "value"), leaf);
  EXPECT_NE(Field(Build<AllKinds>(), "leaf"), leaf);
}

TEST(NativeToDefinition, StructuresContainingThemselvesReferToTheirFinishedDefinition) {
  DefinitionPtr const node = Build<Node>();
  ASSERT_EQ(node->kind(), DefinitionKind::kStructure);
  EXPECT_EQ(Ref(Element(Field(node, "child"))).name(), "com.norval.hyrn.test.node");
  EXPECT_EQ(Ref(Element(Field(node, "child"))).target(), node);
  EXPECT_EQ(Ref(Element(Field(node, "children"))).target(), node);
  EXPECT_EQ(Ref(Field(Element(Field(node, "by_name")), "value")).target(), node);

  // Through another structure: only the inner occurrence of Ping is a reference.
  DefinitionPtr const ping = Build<Ping>();
  DefinitionPtr const& pong = Element(Field(ping, "pong"));
  EXPECT_EQ(Struct(pong).name(), "com.norval.hyrn.test.pong");
  EXPECT_EQ(Ref(Element(Field(pong, "ping"))).target(), ping);

  // The outermost occurrence is always the full definition.
  EXPECT_EQ(Field(Build<Holder>(), "root")->kind(), DefinitionKind::kStructure);
}

}  // namespace
}  // namespace Ormi::Data
