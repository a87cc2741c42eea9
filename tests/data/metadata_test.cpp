#include "ormi/metadata/struct_info.h"

#include <gtest/gtest.h>

#include "com/norval/hyrn/test/test_shapes.h"

namespace Ormi::Metadata {
namespace {

namespace Sample = Com::Norval::Hyrn::Test;

TEST(Metadata, IdentifierFieldsAndMapKeysNameTheirResourceType) {
  auto const leaf = StructInfo::Create<Sample::Leaf>();
  EXPECT_EQ(leaf->name, "com.norval.hyrn.test.Leaf");
  ASSERT_EQ(leaf->fields.count("text"), 1U);
  EXPECT_EQ(leaf->fields.at("text")->resourceType, "com.norval.hyrn.test.leaf");

  auto const all = StructInfo::Create<Sample::AllKinds>();
  EXPECT_EQ(all->name, "com.norval.hyrn.test.AllKinds");
  ASSERT_EQ(all->fields.size(), 1U);  // only fields that carry metadata
  FieldInfo const& map = *all->fields.at("text_by_name");
  EXPECT_EQ(map.resourceType, "");
  EXPECT_EQ(map.fields.at("key")->resourceType, "com.norval.hyrn.test.leaf");

  auto const holder = StructInfo::Create<Sample::Shapes::DeepSvc::Holder>();
  EXPECT_EQ(holder->name, "com.norval.hyrn.test.shapes.Deep.Holder");
  EXPECT_EQ(holder->fields.at("leaf")->resourceType, "com.norval.hyrn.test.leaf");
  EXPECT_NE(StructInfo::Create<Sample::Leaf>(), leaf);  // a new object on every call
}

}  // namespace
}  // namespace Ormi::Metadata
