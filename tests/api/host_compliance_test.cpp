// A fully populated scan result travels native -> value -> native -> value without loss,
// validates against its own definition, and a missing required part is reported by name.
#include "com/norval/hyrn/settings_daemon/settings_daemon.h"

#include <list>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace {

namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
using ::Com::Norval::Ormi::Std::LocalizableMessage;
using ::Ormi::DateTime;
using ::Ormi::Data::StringValue;
using ::Ormi::Data::StructValue;
using ::Ormi::Data::ValuePtr;
using Compliance = std::shared_ptr<Sd::HostCompliance const>;

DateTime At(int day, int hour) {
  DateTime time;
  EXPECT_TRUE(DateTime::FromFields(2026, 11, day, hour, 30, 15, 250, &time));
  return time;
}

// Gives `native` one field its type does not declare, holding a string or a structure.
template <typename T>
std::shared_ptr<T> WithUnknown(std::shared_ptr<T> native, std::string const& field,
                               ValuePtr value) {
  native->unknownFields = StructValue::GetInstance("unknownFields");
  native->unknownFields->SetField(field, std::move(value));
  return native;
}

ValuePtr Text(std::string text) { return StringValue::GetInstance(std::move(text)); }

std::shared_ptr<LocalizableMessage const> Localizable(std::string id, std::list<std::string> args) {
  auto message = std::make_shared<LocalizableMessage>();
  message->id = std::move(id);
  message->default_message = "Host {1} needs {2}.";
  message->args = std::move(args);
  return WithUnknown(message, "severity_hint", Text("high"));
}

std::shared_ptr<Sd::Notifications const> Notes() {
  auto first = std::make_shared<Sd::Notification>();
  first->id = "scan.reboot";
  first->time = At(3, 9);
  first->message = Localizable("com.norval.scan.reboot", {"host-7", "a reboot"});
  first->resolution = Localizable("com.norval.scan.reboot.fix", {"host-7", "maintenance"});
  auto second = WithUnknown(std::make_shared<Sd::Notification>(), "origin", Text("daemon"));
  second->id = "scan.info";
  second->message = Localizable("com.norval.scan.info", {});
  auto notes = std::make_shared<Sd::Notifications>();
  notes->info = std::list<std::shared_ptr<Sd::Notification const>>{first, second};
  notes->warnings.emplace();  // set but empty, distinct from unset "errors"
  return notes;
}

std::shared_ptr<Sd::HardwareSupportPackageCompliance const> HardwareSupport() {
  auto details = std::make_shared<Sd::HardwareModuleDetails>();
  details->component_class = Sd::HardwareModuleClass(Sd::HardwareModuleClass::_UNKNOWN, "FPGA");
  details->description = std::string("accelerator card");
  auto firmware = std::make_shared<Sd::HardwareModuleFirmwareInfo>();
  firmware->version = "4.2.1";
  auto module =
      WithUnknown(std::make_shared<Sd::HardwareModuleFirmwareCompliance>(), "slot", Text("3"));
  module->status = Sd::ComplianceStatus::INCOMPATIBLE;
  module->details = details;
  module->current = firmware;
  module->notifications = Notes();
  auto package = std::make_shared<Sd::HardwareSupportPackageInfo>();
  package->pkg = "vendor-hsp";
  package->version = "2.0";
  auto compliance = std::make_shared<Sd::HardwareSupportPackageCompliance>();
  compliance->status = Sd::ComplianceStatus::NON_COMPLIANT;
  compliance->target = package;
  compliance->hardware_modules = {{"nic-0", module}};
  compliance->notifications = std::make_shared<Sd::Notifications>();
  return compliance;
}

std::shared_ptr<Sd::ComponentCompliance const> Component(bool with_target) {
  auto details = std::make_shared<Sd::ComponentDetails>();
  details->display_name = "Network driver";
  details->vendor = "Norval";
  auto current = std::make_shared<Sd::ComponentInfo>();
  current->version = std::string("1.0-1");
  current->details = details;
  auto compliance = std::make_shared<Sd::ComponentCompliance>();
  compliance->status = Sd::ComplianceStatus::COMPLIANT;
  compliance->current = current;
  compliance->current_source = Sd::ComponentSource(Sd::ComponentSource::BASE_IMAGE);
  if (with_target) {
    compliance->target = std::make_shared<Sd::ComponentInfo>();
    compliance->target_source = Sd::ComponentSource(Sd::ComponentSource::_UNKNOWN, "DEPOT");
  }
  compliance->notifications = Notes();
  return compliance;
}

std::shared_ptr<Sd::SolutionCompliance const> Solution() {
  auto part = std::make_shared<Sd::SolutionComponentSpec>();
  part->component = "agent";
  auto part_details = std::make_shared<Sd::SolutionComponentDetails>();
  part_details->component = "agent";
  part_details->display_name = "Agent";
  part_details->display_version = std::string("7");
  part_details->vendor = "Norval";
  auto details = std::make_shared<Sd::SolutionDetails>();
  details->display_name = "Monitoring";
  details->display_version = "7.0";
  details->components = {part_details};
  auto info = std::make_shared<Sd::SolutionInfo>();
  info->details = details;
  info->version = "7.0.0";
  info->components = {part, part};
  auto compliance = std::make_shared<Sd::SolutionCompliance>();
  compliance->status = Sd::ComplianceStatus(Sd::ComplianceStatus::_UNKNOWN, "compliant");
  compliance->target = info;
  compliance->notifications = std::make_shared<Sd::Notifications>();
  return compliance;
}

std::shared_ptr<Sd::BaseImageCompliance const> BaseImage() {
  auto details = std::make_shared<Sd::BaseImageDetails>();
  details->display_name = "Base";
  details->display_version = "8.0.2";
  details->release_date = At(1, 0);
  auto current = std::make_shared<Sd::BaseImageInfo>();
  current->details = details;
  current->version = "8.0.2-1";
  auto target = std::make_shared<Sd::BaseImageInfo>();
  target->version = "8.0.3-0";
  auto compliance = std::make_shared<Sd::BaseImageCompliance>();
  compliance->status = Sd::ComplianceStatus::NON_COMPLIANT;
  compliance->current = current;
  compliance->target = target;
  compliance->notifications = std::make_shared<Sd::Notifications>();
  return compliance;
}

std::shared_ptr<Sd::AddOnCompliance const> AddOn() {
  auto details = std::make_shared<Sd::AddOnDetails>();
  details->display_name = "Vendor add-on";
  details->vendor = "Norval";
  details->display_version = "1";
  auto target = std::make_shared<Sd::AddOnInfo>();
  target->details = details;
  target->name = "vendor-addon";
  target->version = "1.0";
  auto compliance = WithUnknown(std::make_shared<Sd::AddOnCompliance>(), "reason", Text("new"));
  compliance->status = Sd::ComplianceStatus::NON_COMPLIANT;
  compliance->target = target;
  compliance->notifications = std::make_shared<Sd::Notifications>();
  return compliance;
}

std::shared_ptr<Sd::HostCompliance> FullCompliance() {
  auto nested = StructValue::GetInstance("com.norval.hyrn.settings_daemon.scan_origin");
  nested->SetField("daemon", Text("hyrn-settingsd"));
  auto host = WithUnknown(std::make_shared<Sd::HostCompliance>(), "origin", nested);
  host->impact = Sd::ComplianceImpact::REBOOT_REQUIRED;
  host->status = Sd::ComplianceStatus(Sd::ComplianceStatus::_UNKNOWN, "PARTIALLY_COMPLIANT");
  host->notifications = Notes();
  host->scan_time = At(6, 8);
  host->commit = std::string("commit-42");
  host->base_image = BaseImage();
  host->add_on = AddOn();
  host->hardware_support.emplace();
  host->hardware_support->emplace("hsm-1", HardwareSupport());
  host->components = {{"net-driver", Component(true)}, {"storage", Component(false)}};
  host->solutions = {{"monitoring", Solution()}};
  return host;
}

ValuePtr ToValue(Compliance const& native) {
  ValuePtr value;
  std::list<Ormi::BaseMessage> messages;
  EXPECT_TRUE(Ormi::Data::ToValue(native, &value, messages));
  EXPECT_TRUE(messages.empty());
  return value;
}

Compliance FromValue(ValuePtr const& value) {
  Compliance native;
  std::list<Ormi::BaseMessage> messages;
  EXPECT_TRUE(Ormi::Data::FromValue(value, &native, messages));
  EXPECT_TRUE(messages.empty());
  return native;
}

TEST(HostComplianceTest, FullyPopulatedResultSurvivesARoundTrip) {
  ValuePtr const first = ToValue(FullCompliance());
  ASSERT_TRUE(first);
  Compliance const back = FromValue(first);
  ASSERT_TRUE(back);
  ValuePtr const second = ToValue(back);
  ASSERT_TRUE(second);
  EXPECT_TRUE(Ormi::Data::Equal(*first, *second));

  // Kept texts and unknown fields came through the native step, not only the values.
  EXPECT_EQ(back->status.value(), Sd::ComplianceStatus::_UNKNOWN);
  EXPECT_EQ(back->status.unknownText(), "PARTIALLY_COMPLIANT");
  EXPECT_EQ(back->impact, Sd::ComplianceImpact(Sd::ComplianceImpact::REBOOT_REQUIRED));
  ASSERT_TRUE(back->unknownFields);
  EXPECT_TRUE(back->unknownFields->HasField("origin"));
  auto const& module = back->hardware_support->at("hsm-1")->hardware_modules.at("nic-0");
  EXPECT_EQ(module->details->component_class.unknownText(), "FPGA");
  ASSERT_TRUE(module->unknownFields);
  EXPECT_TRUE(module->unknownFields->HasField("slot"));
  auto const& first_note = module->notifications->info->front();
  EXPECT_EQ(first_note->resolution->args, (std::list<std::string>{"host-7", "maintenance"}));
  ASSERT_TRUE(first_note->message->unknownFields);
  EXPECT_TRUE(first_note->message->unknownFields->HasField("severity_hint"));
  EXPECT_TRUE(module->notifications->warnings && module->notifications->warnings->empty());
  EXPECT_FALSE(module->notifications->errors);
  auto const& component = back->components.at("net-driver");
  EXPECT_EQ(component->target_source->unknownText(), "DEPOT");
  EXPECT_FALSE(back->components.at("storage")->target_source);
  EXPECT_EQ(back->base_image->current->details->release_date, At(1, 0));
}

TEST(HostComplianceTest, DefinitionValidatesTheValueAndRejectsAWrongPart) {
  auto const definition = Ormi::Data::DefinitionOf<Compliance>();
  ASSERT_TRUE(definition);
  ValuePtr const value = ToValue(FullCompliance());
  std::list<Ormi::BaseMessage> messages;
  EXPECT_TRUE(Ormi::Data::Validate(*definition, *value, messages));
  EXPECT_TRUE(messages.empty());

  // The same value with "base_image" replaced by a string must not validate.
  auto const& original = static_cast<StructValue const&>(*value);
  auto altered = StructValue::GetInstance(original.name());
  for (auto const& field : original.fields()) {
    altered->SetField(field.first, field.second);
  }
  altered->SetField("base_image", Text("8.0.2-1"));
  EXPECT_FALSE(Ormi::Data::Validate(*definition, *altered, messages));
  EXPECT_FALSE(messages.empty());
}

TEST(HostComplianceTest, MissingBaseImageIsReportedWithTheMissingStructureName) {
  auto broken = FullCompliance();
  broken->base_image = nullptr;
  ValuePtr value;
  std::list<Ormi::BaseMessage> messages;
  EXPECT_FALSE(Ormi::Data::ToValue(Compliance(broken), &value, messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, "ormi.data.unset.non.optional.field");
  EXPECT_EQ(messages.front().args,
            std::list<std::string>{"com.norval.hyrn.settings_daemon.base_image_compliance"});
}

}  // namespace
