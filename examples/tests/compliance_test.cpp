#include "provider/compliance.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include <boost/optional/optional_io.hpp>

namespace Example {
namespace {

namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
using Status = Sd::ComplianceStatus;
using Impact = Sd::ComplianceImpact;

TEST(CompareVersions, OrdersDottedVersionsNumericallyPartByPart) {
  EXPECT_EQ(CompareVersions("8.0.2", "8.0.2"), 0);
  EXPECT_LT(CompareVersions("8.0.2", "8.0.10"), 0);  // not text order
  EXPECT_GT(CompareVersions("10.0", "9.9"), 0);
  EXPECT_EQ(CompareVersions("8.01", "8.1"), 0);                    // leading zeros do not count
  EXPECT_LT(CompareVersions("8.0", "8.0.1"), 0);                   // a missing part sorts first
  EXPECT_LT(CompareVersions("1.0a", "1.0b"), 0);                   // text parts compare as text
  EXPECT_GT(CompareVersions("99999999999999999999.0", "9.0"), 0);  // beyond 64 bits
}

InstalledComponent Installed(std::string const& version, ComponentSource::Enum source) {
  InstalledComponent component;
  component.version = version;
  component.display_name = "display";
  component.source = ComponentSource(source);
  return component;
}

// A host running base image 8.0.2, an add-on, a solution, a hardware package and three
// components of different origins.
InstalledSoftware SampleHost() {
  InstalledSoftware host;
  host.base_image.version = "8.0.2";
  host.add_on = AddOn{"pack", "3.1", "Pack", "3.1", "vendor"};
  host.components = {{"driver", Installed("2.0", ComponentSource::USER)},
                     {"tools", Installed("8.0.2", ComponentSource::BASE_IMAGE)},
                     {"agent", Installed("0.9", ComponentSource::USER)}};
  host.solutions = {{"suite", Solution{"1.4", {"plugin"}}}};
  host.hardware_support = {{"hsm", HardwarePackage{"bundle", "2025.01"}}};
  return host;
}

// The software SampleHost runs, as a specification.
std::shared_ptr<Sd::SoftwareSpec> MatchingSpec() {
  auto spec = std::make_shared<Sd::SoftwareSpec>();
  auto image = std::make_shared<Sd::BaseImageSpec>();
  image->version = "8.0.2";
  spec->base_image = image;
  auto add_on = std::make_shared<Sd::AddOnSpec>();
  add_on->name = "pack";
  add_on->version = "3.1";
  spec->add_on = add_on;
  spec->components = std::map<std::string, boost::optional<std::string>>{
      {"driver", std::string("2.0")}, {"agent", std::string("0.9")}};
  auto solution = std::make_shared<Sd::SolutionSpec>();
  solution->version = "1.4";
  auto member = std::make_shared<Sd::SolutionComponentSpec>();
  member->component = "plugin";
  solution->components.push_back(member);
  spec->solutions =
      std::map<std::string, std::shared_ptr<Sd::SolutionSpec const>>{{"suite", solution}};
  auto package = std::make_shared<Sd::HardwareSupportPackageSpec>();
  package->pkg = std::string("bundle");
  package->version = std::string("2025.01");
  auto hardware = std::make_shared<Sd::HardwareSupportSpec>();
  hardware->packages["hsm"] = package;
  spec->hardware_support = hardware;
  return spec;
}

void SetBaseImage(Sd::SoftwareSpec& spec, std::string const& version) {
  auto image = std::make_shared<Sd::BaseImageSpec>();
  image->version = version;
  spec.base_image = image;
}

std::size_t CountOf(boost::optional<std::list<std::shared_ptr<Sd::Notification const>>> const& l) {
  return l ? l->size() : 0;
}

class CheckComplianceTest : public ::testing::Test {
 protected:
  std::shared_ptr<Sd::HostCompliance const> Scan() const {
    return CheckCompliance(*spec, host, ::Ormi::DateTime::FromMillisecondsSinceEpoch(1000));
  }

  InstalledSoftware host = SampleHost();
  std::shared_ptr<Sd::SoftwareSpec> spec = MatchingSpec();
};

TEST_F(CheckComplianceTest, MatchingSoftwareIsCompliantWithoutImpact) {
  auto const result = Scan();
  EXPECT_EQ(result->status, Status(Status::COMPLIANT));
  EXPECT_EQ(result->impact, Impact(Impact::NO_IMPACT));
  EXPECT_EQ(result->scan_time.millisecondsSinceEpoch(), 1000);
  EXPECT_EQ(result->base_image->status, Status(Status::COMPLIANT));
  EXPECT_EQ(result->add_on->status, Status(Status::COMPLIANT));
  ASSERT_EQ(result->components.size(), 3U);
  for (auto const& component : result->components) {
    EXPECT_EQ(component.second->status, Status(Status::COMPLIANT)) << component.first;
  }
  // The base image component is kept although the request does not name it.
  auto const& tools = *result->components.at("tools");
  ASSERT_TRUE(tools.target_source);
  EXPECT_EQ(tools.target_source->value(), ComponentSource::BASE_IMAGE);
  EXPECT_EQ(result->solutions.at("suite")->status, Status(Status::COMPLIANT));
  ASSERT_TRUE(result->hardware_support);
  EXPECT_EQ(result->hardware_support->at("hsm")->status, Status(Status::COMPLIANT));
  EXPECT_EQ(CountOf(result->notifications->warnings), 0U);
  EXPECT_EQ(CountOf(result->notifications->info), 1U);
  EXPECT_EQ(CountOf(result->base_image->notifications->info), 0U);
}

TEST_F(CheckComplianceTest, BaseImageUpgradeNeedsRebootAndDowngradeIsIncompatible) {
  SetBaseImage(*spec, "8.0.10");
  auto const upgrade = Scan();
  EXPECT_EQ(upgrade->base_image->status, Status(Status::NON_COMPLIANT));
  EXPECT_EQ(upgrade->status, Status(Status::NON_COMPLIANT));
  EXPECT_EQ(upgrade->impact, Impact(Impact::REBOOT_REQUIRED));
  EXPECT_EQ(upgrade->base_image->current->version, "8.0.2");
  EXPECT_EQ(upgrade->base_image->target->version, "8.0.10");
  ASSERT_EQ(CountOf(upgrade->base_image->notifications->info), 1U);
  auto const& note = upgrade->base_image->notifications->info->front();
  EXPECT_EQ(note->id, "com.norval.hyrn.example.compliance.base_image.update");
  EXPECT_EQ(note->message->args, (std::list<std::string>{"The base image", "8.0.2", "8.0.10"}));

  SetBaseImage(*spec, "7.0.3");
  auto const downgrade = Scan();
  EXPECT_EQ(downgrade->base_image->status, Status(Status::INCOMPATIBLE));
  EXPECT_EQ(downgrade->status, Status(Status::INCOMPATIBLE));
  ASSERT_EQ(CountOf(downgrade->base_image->notifications->errors), 1U);
  EXPECT_TRUE(downgrade->base_image->notifications->errors->front()->resolution);
  EXPECT_EQ(CountOf(downgrade->notifications->errors), 1U);
}

TEST_F(CheckComplianceTest, ComponentChangesNeedMaintenanceMode) {
  spec->components =
      std::map<std::string, boost::optional<std::string>>{{"driver", std::string("2.1")},  // update
                                                          {"agent", boost::none},        // removal
                                                          {"new", std::string("1.0")}};  // addition
  auto const result = Scan();
  EXPECT_EQ(result->impact, Impact(Impact::MAINTENANCE_MODE_REQUIRED));
  EXPECT_EQ(result->status, Status(Status::NON_COMPLIANT));

  auto const& driver = *result->components.at("driver");
  EXPECT_EQ(driver.status, Status(Status::NON_COMPLIANT));
  EXPECT_EQ(driver.current->version, boost::make_optional(std::string("2.0")));
  EXPECT_EQ(driver.target->version, boost::make_optional(std::string("2.1")));
  ASSERT_TRUE(driver.target_source);
  EXPECT_EQ(driver.target_source->value(), ComponentSource::USER);

  auto const& agent = *result->components.at("agent");
  EXPECT_EQ(agent.status, Status(Status::NON_COMPLIANT));
  EXPECT_FALSE(agent.target);

  auto const& added = *result->components.at("new");
  EXPECT_EQ(added.status, Status(Status::NON_COMPLIANT));
  EXPECT_FALSE(added.current);
  EXPECT_FALSE(added.current_source);
  EXPECT_EQ(CountOf(added.notifications->info), 1U);
  EXPECT_EQ(result->components.at("tools")->status, Status(Status::COMPLIANT));
  // Three of eight parts differ: the three changed components.
  EXPECT_EQ(result->notifications->warnings->front()->message->args,
            (std::list<std::string>{"3", "8"}));
}

TEST_F(CheckComplianceTest, UnrequestedUserComponentIsToBeRemoved) {
  spec->components =
      std::map<std::string, boost::optional<std::string>>{{"driver", std::string("2.0")}};
  auto const result = Scan();
  auto const& agent = *result->components.at("agent");
  EXPECT_EQ(agent.status, Status(Status::NON_COMPLIANT));
  EXPECT_EQ(CountOf(agent.notifications->warnings), 1U);
  EXPECT_EQ(result->components.at("tools")->status, Status(Status::COMPLIANT));
}

TEST_F(CheckComplianceTest, AddOnSolutionAndHardwareDifferences) {
  spec->add_on = nullptr;
  spec->solutions = boost::none;
  auto package = std::make_shared<Sd::HardwareSupportPackageSpec>();
  package->pkg = std::string("bundle");
  package->version = std::string("2025.06");
  auto hardware = std::make_shared<Sd::HardwareSupportSpec>();
  hardware->packages["hsm"] = package;
  spec->hardware_support = hardware;
  auto const result = Scan();
  EXPECT_EQ(result->add_on->status, Status(Status::NON_COMPLIANT));
  EXPECT_TRUE(result->add_on->current);
  EXPECT_FALSE(result->add_on->target);
  EXPECT_EQ(result->solutions.at("suite")->status, Status(Status::NON_COMPLIANT));
  EXPECT_FALSE(result->solutions.at("suite")->target);
  auto const& hsm = *result->hardware_support->at("hsm");
  EXPECT_EQ(hsm.status, Status(Status::NON_COMPLIANT));
  EXPECT_EQ(hsm.target->version, "2025.06");
  EXPECT_EQ(result->impact, Impact(Impact::REBOOT_REQUIRED));  // firmware
}

TEST_F(CheckComplianceTest, HostWithoutHardwareSupportReportsNone) {
  host.hardware_support.clear();
  spec->hardware_support = nullptr;
  EXPECT_FALSE(Scan()->hardware_support);
}

TEST_F(CheckComplianceTest, InstallingTheSpecificationMakesTheHostCompliant) {
  spec = MatchingSpec();
  SetBaseImage(*spec, "8.0.3");
  spec->add_on = nullptr;
  spec->components = std::map<std::string, boost::optional<std::string>>{
      {"driver", std::string("2.1")}, {"new", std::string("1.0")}};  // "agent" unrequested
  spec->solutions = boost::none;
  ASSERT_EQ(Scan()->status, Status(Status::NON_COMPLIANT));

  InstallSoftware(*spec, host);
  EXPECT_EQ(host.base_image.version, "8.0.3");
  EXPECT_FALSE(host.add_on);
  EXPECT_EQ(host.components.count("agent"), 0U);  // a user's, not requested
  EXPECT_EQ(host.components.count("tools"), 1U);  // came with the base image
  EXPECT_EQ(host.components.at("driver").version, "2.1");
  auto const result = Scan();
  EXPECT_EQ(result->status, Status(Status::COMPLIANT));
  EXPECT_EQ(result->impact, Impact(Impact::NO_IMPACT));
}

}  // namespace
}  // namespace Example
