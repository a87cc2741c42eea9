// The peers work on the same data as our conversions: the plain structures hold exactly what
// our value holds, and the deep copy is an independent tree equal to the original.
#include "plain_types.h"

#include <list>
#include <string>

#include <gtest/gtest.h>

#include "deep_copy.h"
#include "ormi/data/convert.h"
#include "workload.h"

namespace HyrnBench {
namespace {

using Ormi::BaseMessage;
using Ormi::Data::ValuePtr;

template <typename T>
ValuePtr Convert(T const& native) {
  ValuePtr value;
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Ormi::Data::ToValue(native, &value, messages));
  return value;
}

TEST(PlainJsonTest, ValueBecomesTheJsonOfItsPlainStructure) {
  auto spec = std::make_shared<Sd::SoftwareSpec>();
  auto base_image = std::make_shared<Sd::BaseImageSpec>();
  base_image->version = "8.0";
  spec->base_image = base_image;
  spec->components.emplace();
  spec->components->emplace("b", boost::none);
  spec->components->emplace("a", std::string("1.0"));
  boost::json::value const json = Plain::ToJson(*Convert(*spec));
  EXPECT_EQ(json, boost::json::parse(R"({"base_image":{"version":"8.0"},"add_on":null,
      "components":{"a":"1.0","b":null},"solutions":null,"hardware_support":null})"));
}

TEST(PlainJsonTest, DateTimeAndEnumerationsTravelAsText) {
  auto note = std::make_shared<Sd::Notification>();
  note->id = "n";
  note->time = Ormi::DateTime::FromMillisecondsSinceEpoch(1500);
  note->message = std::make_shared<Com::Norval::Ormi::Std::LocalizableMessage>();
  boost::json::value const json = Plain::ToJson(*Convert(*note));
  EXPECT_EQ(json.at("time"), "1970-01-01T00:00:01.500Z");
  auto const plain = boost::json::value_to<Plain::Notification>(json);
  EXPECT_EQ(plain.time.milliseconds, 1500);
  EXPECT_FALSE(plain.resolution);
  EXPECT_EQ(boost::json::value_from(plain), json);

  boost::json::value bad = json;
  bad.as_object()["time"] = "yesterday";
  EXPECT_ANY_THROW(boost::json::value_to<Plain::Notification>(bad));
  EXPECT_EQ(boost::json::value_from(Plain::ComponentSource::HARDWARE_SUPPORT_PACKAGE),
            "HARDWARE_SUPPORT_PACKAGE");
}

TEST(PlainJsonTest, PlainStructuresHoldTheSameDataAsOurValues) {
  ValuePtr const host = Convert(*MakeHostCompliance(20));
  boost::json::value const host_json = Plain::ToJson(*host);
  auto const plain_host = boost::json::value_to<Plain::HostCompliance>(host_json);
  EXPECT_EQ(boost::json::value_from(plain_host), host_json);
  EXPECT_EQ(plain_host.components.size(), 20U);
  EXPECT_EQ(plain_host.components.at("component-00003").target->version, "1.4.0-1");
  EXPECT_EQ(plain_host.impact, Plain::ComplianceImpact::REBOOT_REQUIRED);

  ValuePtr const spec = Convert(*MakeSoftwareSpec(20));
  boost::json::value const spec_json = Plain::ToJson(*spec);
  auto const plain_spec = boost::json::value_to<Plain::SoftwareSpec>(spec_json);
  EXPECT_EQ(boost::json::value_from(plain_spec), spec_json);
  EXPECT_FALSE(plain_spec.components->at("component-00014"));
  EXPECT_EQ(plain_spec.hardware_support->packages.size(), 2U);
}

TEST(DeepCopyTest, CopyIsEqualAndSharesNoStructure) {
  auto const original = MakeHostCompliance(20);
  auto const copy = DeepCopy(*original);
  EXPECT_TRUE(Ormi::Data::Equal(*Convert(*original), *Convert(*copy)));
  EXPECT_NE(copy->notifications, original->notifications);
  auto const& component = copy->components.at("component-00000");
  EXPECT_NE(component, original->components.at("component-00000"));
  EXPECT_NE(
      component->notifications->warnings->front()->resolution,
      original->components.at("component-00000")->notifications->warnings->front()->resolution);
  EXPECT_NE(copy->hardware_support->begin()->second->hardware_modules.begin()->second,
            original->hardware_support->begin()->second->hardware_modules.begin()->second);

  auto const spec = MakeSoftwareSpec(20);
  auto const spec_copy = DeepCopy(*spec);
  EXPECT_TRUE(Ormi::Data::Equal(*Convert(*spec), *Convert(*spec_copy)));
  EXPECT_NE(spec_copy->solutions->begin()->second, spec->solutions->begin()->second);
}

TEST(DeepCopyTest, UnsetMembersStayUnset) {
  Sd::ComponentCompliance original;
  original.notifications = std::make_shared<Sd::Notifications>();
  auto const copy = DeepCopy(original);
  EXPECT_FALSE(copy->current || copy->target || copy->current_source || copy->target_source);
  EXPECT_FALSE(copy->notifications->info);
  EXPECT_EQ(copy->status, original.status);
}

}  // namespace
}  // namespace HyrnBench
