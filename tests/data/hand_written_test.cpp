// A structure written by hand against the exported field-visiting forms, with no generated code
// of its own, converts both ways, validates and yields its definition like a generated one.
#include "ormi/data/convert.h"

#include <list>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "com/norval/hyrn/test/test_shapes.h"
#include "ormi/data/base_native.h"
#include "ormi/data/definition.h"
#include "ormi/data/json.h"
#include "ormi/data/struct_type_info.h"
#include "ormi/data/value.h"

namespace Example {

using Leaf = ::Com::Norval::Hyrn::Test::Leaf;

struct Shelf : ::Ormi::Data::BaseNative {
  std::string label;
  boost::optional<bool> full;
  std::shared_ptr<Leaf const> leaf;
  std::list<std::string> tags;
  std::map<std::string, std::shared_ptr<Shelf const>> below;

  struct AdapterHelper {
    static constexpr boost::string_view kKnownNames[] = {"below", "full", "label", "leaf", "tags"};

    template <typename Helper>
    static void AddFields(Helper& helper, Shelf const* native,
                          std::shared_ptr<::Ormi::Data::StructValue>& value) {
      helper.AddField("label", &native->label);
      helper.AddField("full", &native->full);
      helper.AddField("leaf", &native->leaf);
      helper.AddField("tags", &native->tags);
      helper.AddField("below", &native->below);
      ::Ormi::Data::BaseNative::AdapterHelper::AddUnknownFields(*native, value);
    }

    template <typename Helper>
    static void AddFields(Helper& helper, Shelf* native) {
      helper.AddFieldInt("label", &native->label, helper.messages());
      helper.AddField("full", &native->full);
      helper.AddField("leaf", &native->leaf);
      helper.AddFieldInt("tags", &native->tags, helper.messages());
      helper.AddField("below", &native->below);
      ::Ormi::Data::BaseNative::AdapterHelper::AddUnknownFields(kKnownNames, helper.value(),
                                                                native->unknownFields);
    }

    template <typename Helper>
    static void AddFields(Helper& helper) {
      helper.template AddField<std::string>("label");
      helper.template AddField<boost::optional<bool>>("full");
      helper.template AddField<std::shared_ptr<Leaf const>>("leaf");
      helper.template AddField<std::list<std::string>>("tags");
      helper.template AddField<std::map<std::string, std::shared_ptr<Shelf const>>>("below");
    }
  };
};

}  // namespace Example

template <>
struct Ormi::Data::TypeInfo<Example::Shelf> : Ormi::Data::StructTypeInfo<Example::Shelf> {
  static std::string name() { return "com.example.shelf"; }
};

namespace Ormi::Data {
namespace {

using Example::Leaf;
using Example::Shelf;

std::shared_ptr<Shelf const> MakeShelf() {
  auto leaf = std::make_shared<Leaf>();
  leaf->text = "oak";
  auto lower = std::make_shared<Shelf>();
  lower->label = "lower";
  lower->leaf = leaf;
  auto upper = std::make_shared<Shelf>();
  upper->label = "upper";
  upper->full = true;
  upper->leaf = leaf;
  upper->tags = {"a", "b"};
  upper->below["lower"] = lower;
  upper->unknownFields = StructValue::GetInstance("unknownFields");
  upper->unknownFields->SetField("colour", DataValue::Create<std::string>("red"));
  return upper;
}

TEST(HandWrittenStructure, ConvertsBothWaysValidatesAndYieldsItsDefinition) {
  auto const shelf = MakeShelf();
  std::list<BaseMessage> messages;
  ValuePtr value;
  ASSERT_TRUE(ToValue(*shelf, &value, messages));
  EXPECT_EQ(
      ToJson(*value),
      R"({"$struct":"com.example.shelf","fields":{"below":{"$map":[{"$struct":"map-entry",)"
      R"("fields":{"key":"lower","value":{"$struct":"com.example.shelf","fields":{"below":)"
      R"({"$map":[]},"full":{"$optional":null},"label":"lower","leaf":{"$struct":)"
      R"("com.norval.hyrn.test.leaf","fields":{"text":"oak"}},"tags":[]}}}}]},"colour":"red",)"
      R"("full":{"$optional":true},"label":"upper","leaf":{"$struct":)"
      R"("com.norval.hyrn.test.leaf","fields":{"text":"oak"}},"tags":["a","b"]}})");

  DefinitionPtr const definition = DefinitionOf<Shelf>();
  EXPECT_EQ(
      ToJson(*definition),
      R"({"$struct":"com.example.shelf","fields":{"below":{"$list":{"$struct":"map-entry",)"
      R"("fields":{"key":"string","value":{"$ref":"com.example.shelf"}}}},"full":)"
      R"({"$optional":"boolean"},"label":"string","leaf":{"$struct":)"
      R"("com.norval.hyrn.test.leaf","fields":{"text":"string"}},"tags":{"$list":"string"}}})");
  EXPECT_TRUE(Validate(*definition, *value, messages));

  Shelf back;
  ASSERT_TRUE(FromValue(value, &back, messages));
  ValuePtr again;
  ASSERT_TRUE(ToValue(back, &again, messages));
  EXPECT_TRUE(Equal(*value, *again));
  ASSERT_TRUE(back.unknownFields);
  EXPECT_EQ(back.unknownFields->fields().size(), 1U);
  EXPECT_TRUE(messages.empty());
}

TEST(HandWrittenStructure, AMissingRequiredFieldIsReportedThroughTheGivenList) {
  auto value = StructValue::GetInstance("com.example.shelf");
  value->SetField("label", DataValue::Create<std::string>("only a label"));
  Shelf shelf;
  std::list<BaseMessage> messages;
  EXPECT_FALSE(FromValue(value, &shelf, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, MessageId::kFieldNotFound);
  EXPECT_EQ(messages.front().args.front(), "leaf");  // the first required field missing
  EXPECT_EQ(shelf.label, "only a label");
}

}  // namespace
}  // namespace Ormi::Data
