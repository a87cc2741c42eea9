// The benchmark inputs have the promised size and content, are the same on every call, and
// convert and validate cleanly; the node count counts every value once.
#include "workload.h"

#include <list>
#include <string>

#include <gtest/gtest.h>

#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace HyrnBench {
namespace {

using Ormi::BaseMessage;
using Ormi::Data::ListKind;
using Ormi::Data::ListValue;
using Ormi::Data::OptionalValue;
using Ormi::Data::StringValue;
using Ormi::Data::StructValue;
using Ormi::Data::ValuePtr;

template <typename T>
ValuePtr Convert(T const& native) {
  ValuePtr value;
  std::list<BaseMessage> messages;
  EXPECT_TRUE(Ormi::Data::ToValue(native, &value, messages));
  EXPECT_TRUE(messages.empty());
  return value;
}

TEST(WorkloadTest, InputsHaveTheRequestedSizes) {
  EXPECT_EQ(GroupCount(5), 1U);
  EXPECT_EQ(GroupCount(10), 1U);
  EXPECT_EQ(GroupCount(10000), 1000U);
  for (std::size_t n : {10U, 100U}) {
    auto const host = MakeHostCompliance(n);
    EXPECT_EQ(host->components.size(), n);
    EXPECT_EQ(host->solutions.size(), GroupCount(n));
    ASSERT_TRUE(host->hardware_support);
    EXPECT_EQ(host->hardware_support->size(), GroupCount(n));
    EXPECT_EQ(host->hardware_support->begin()->second->hardware_modules.size(), 2U);

    auto const spec = MakeSoftwareSpec(n);
    ASSERT_TRUE(spec->components && spec->solutions && spec->hardware_support);
    EXPECT_EQ(spec->components->size(), n);
    EXPECT_EQ(spec->solutions->size(), GroupCount(n));
    EXPECT_EQ(spec->hardware_support->packages.size(), GroupCount(n));
    EXPECT_EQ(spec->solutions->begin()->second->components.size(), 3U);
    EXPECT_FALSE(spec->components->at("component-00000"));  // every seventh has no version
    EXPECT_TRUE(spec->components->at("component-00001"));

    auto const scan = MakeScanSpec(n);
    EXPECT_EQ(scan->depots.size(), 2U);
    EXPECT_EQ(scan->software_spec->components->size(), n);
  }
}

TEST(WorkloadTest, ScanResultCarriesNotificationsWhereDocumented) {
  auto const host = MakeHostCompliance(10);
  ASSERT_TRUE(host->notifications->info && host->notifications->warnings);
  auto const& first = host->components.at("component-00000")->notifications;
  ASSERT_TRUE(first->info && first->warnings);  // index 0: info and a warning
  EXPECT_TRUE(first->warnings->front()->resolution);
  auto const& second = host->components.at("component-00001")->notifications;
  EXPECT_FALSE(second->info || second->warnings || second->errors);
  auto const& third = host->components.at("component-00002")->notifications;
  EXPECT_TRUE(third->info && !third->warnings);
  auto const& module = host->hardware_support->begin()->second->hardware_modules.begin()->second;
  EXPECT_TRUE(module->notifications->info);
}

TEST(WorkloadTest, SameSizeGivesEqualTreesThatValidate) {
  ValuePtr const host = Convert(*MakeHostCompliance(100));
  EXPECT_TRUE(Ormi::Data::Equal(*host, *Convert(*MakeHostCompliance(100))));
  EXPECT_FALSE(Ormi::Data::Equal(*host, *Convert(*MakeHostCompliance(10))));
  ValuePtr const scan = Convert(*MakeScanSpec(100));
  EXPECT_TRUE(Ormi::Data::Equal(*scan, *Convert(*MakeScanSpec(100))));

  std::list<BaseMessage> messages;
  EXPECT_TRUE(
      Ormi::Data::Validate(*Ormi::Data::DefinitionOf<Sd::HostCompliance>(), *host, messages));
  EXPECT_TRUE(Ormi::Data::Validate(*Ormi::Data::DefinitionOf<Sd::SoftwareSvc::ScanSpec>(), *scan,
                                   messages));
  EXPECT_TRUE(messages.empty());
}

TEST(WorkloadTest, SmallConfigurationMatchesTheGrpcPeersAnswer) {
  auto const config = MakeConfigSpec();
  ASSERT_EQ(config->components.size(), SmallConfig().size());
  for (auto const& component : SmallConfig()) {
    auto const& value = config->components.at(component.name).value();
    auto const& fields = static_cast<StructValue const&>(*value).fields();
    ASSERT_EQ(fields.size(), component.settings.size());
    for (auto const& setting : component.settings) {
      EXPECT_EQ(static_cast<StringValue const&>(*fields.at(setting.first)).value(), setting.second);
    }
  }
  ValuePtr const value = Convert(*config);
  // structure, map list, then per component: entry, key, settings structure, three strings
  EXPECT_EQ(CountValueNodes(*value), 1 + 1 + 3 * (1 + 1 + 1 + 3));
}

TEST(WorkloadTest, NodeCountCountsEveryValueOnceAndGrowsWithTheInput) {
  // structure { a: "x", b: optional(list["1", "2"]), c: unset optional, d: empty map }
  auto list = ListValue::GetInstance();
  list->Append(StringValue::GetInstance("1"));
  list->Append(StringValue::GetInstance("2"));
  auto root = StructValue::GetInstance("s");
  root->SetField("a", StringValue::GetInstance("x"));
  root->SetField("b", OptionalValue::GetInstance(list));
  root->SetField("c", OptionalValue::GetInstance());
  root->SetField("d", ListValue::GetInstance(ListKind::kMap));
  EXPECT_EQ(CountValueNodes(*root), 8U);
  EXPECT_EQ(CountValueNodes(*list), 3U);

  // Every further hundred components adds the same number of values: growth is linear.
  std::size_t const c100 = CountValueNodes(*Convert(*MakeHostCompliance(100)));
  std::size_t const c200 = CountValueNodes(*Convert(*MakeHostCompliance(200)));
  std::size_t const c300 = CountValueNodes(*Convert(*MakeHostCompliance(300)));
  EXPECT_GT(c200, c100);
  EXPECT_EQ(c300 - c200, c200 - c100);
}

}  // namespace
}  // namespace HyrnBench
