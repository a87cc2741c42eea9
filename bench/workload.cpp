#include "workload.h"

#include <algorithm>
#include <cstdio>
#include <list>
#include <string>
#include <utility>
#include <vector>

namespace HyrnBench {
namespace {

using ::Com::Norval::Ormi::Std::LocalizableMessage;
using NotificationList = std::list<std::shared_ptr<Sd::Notification const>>;

std::string Name(char const* prefix, std::size_t index) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s-%05zu", prefix, index);
  return buffer;
}

Ormi::DateTime Time(std::size_t index) {
  constexpr std::int64_t kScanEpoch = 1796544927123;  // 2026-12-06T08:15:27.123Z
  return Ormi::DateTime::FromMillisecondsSinceEpoch(kScanEpoch +
                                                    static_cast<std::int64_t>(index) * 1000);
}

std::shared_ptr<LocalizableMessage const> Message(char const* id, std::string subject) {
  auto message = std::make_shared<LocalizableMessage>();
  message->id = id;
  message->default_message = "Component {1} on host {2} needs attention.";
  message->args = {std::move(subject), "host-0001"};
  return message;
}

std::shared_ptr<Sd::Notification const> Note(char const* id, std::string const& subject,
                                             std::size_t index, bool with_resolution) {
  auto note = std::make_shared<Sd::Notification>();
  note->id = id;
  note->time = Time(index);
  note->message = Message("com.norval.hyrn.scan.note", subject);
  if (with_resolution) {
    note->resolution = Message("com.norval.hyrn.scan.note.resolution", subject);
  }
  return note;
}

std::shared_ptr<Sd::Notifications const> Notes(std::string const& subject, std::size_t index,
                                               bool with_warning) {
  auto notes = std::make_shared<Sd::Notifications>();
  notes->info = NotificationList{Note("scan.info", subject, index, false)};
  if (with_warning) {
    notes->warnings = NotificationList{Note("scan.warning", subject, index, true)};
  }
  return notes;
}

std::shared_ptr<Sd::Notifications const> NoNotes() { return std::make_shared<Sd::Notifications>(); }

Sd::ComplianceStatus StatusOf(std::size_t index) {
  static constexpr Sd::ComplianceStatus::Enum kCycle[] = {
      Sd::ComplianceStatus::COMPLIANT, Sd::ComplianceStatus::NON_COMPLIANT,
      Sd::ComplianceStatus::COMPLIANT, Sd::ComplianceStatus::INCOMPATIBLE};
  return kCycle[index % 4];
}

std::shared_ptr<Sd::BaseImageCompliance const> BaseImage() {
  auto details = std::make_shared<Sd::BaseImageDetails>();
  details->display_name = "Base image";
  details->display_version = "8.0 Update 2";
  details->release_date = Time(0);
  auto current = std::make_shared<Sd::BaseImageInfo>();
  current->details = details;
  current->version = "8.0.2-0.0.22380479";
  auto target = std::make_shared<Sd::BaseImageInfo>();
  target->version = "8.0.3-0.0.24022510";
  auto record = std::make_shared<Sd::BaseImageCompliance>();
  record->status = Sd::ComplianceStatus::NON_COMPLIANT;
  record->current = current;
  record->target = target;
  record->notifications = Notes("base-image", 0, true);
  return record;
}

std::shared_ptr<Sd::AddOnInfo const> AddOnInfo(char const* version) {
  auto details = std::make_shared<Sd::AddOnDetails>();
  details->display_name = "Vendor add-on";
  details->vendor = "Norval";
  details->display_version = version;
  auto info = std::make_shared<Sd::AddOnInfo>();
  info->details = details;
  info->name = "vendor-addon";
  info->version = version;
  return info;
}

std::shared_ptr<Sd::AddOnCompliance const> AddOn() {
  auto record = std::make_shared<Sd::AddOnCompliance>();
  record->status = Sd::ComplianceStatus::COMPLIANT;
  record->current = AddOnInfo("1.2.0-1");
  record->target = AddOnInfo("1.2.0-1");
  record->notifications = NoNotes();
  return record;
}

std::shared_ptr<Sd::ComponentCompliance const> Component(std::size_t index) {
  std::string const name = Name("component", index);
  auto details = std::make_shared<Sd::ComponentDetails>();
  details->display_name = "Driver " + name;
  details->vendor = "Norval";
  details->display_version = std::string("1.") + std::to_string(index % 10);
  auto current = std::make_shared<Sd::ComponentInfo>();
  current->version = "1." + std::to_string(index % 10) + ".0-1";
  current->details = details;
  auto target = std::make_shared<Sd::ComponentInfo>();
  target->version = "1." + std::to_string(index % 10 + 1) + ".0-1";
  auto record = std::make_shared<Sd::ComponentCompliance>();
  record->status = StatusOf(index);
  record->current = current;
  record->target = target;
  record->current_source = Sd::ComponentSource(Sd::ComponentSource::BASE_IMAGE);
  record->target_source = Sd::ComponentSource(Sd::ComponentSource::USER);
  record->notifications = index % 2 == 0 ? Notes(name, index, index % 10 == 0) : NoNotes();
  return record;
}

template <typename Part>
std::list<std::shared_ptr<Part const>> SolutionParts(std::size_t solution) {
  std::list<std::shared_ptr<Part const>> parts;
  for (std::size_t k = 0; k < 3; ++k) {
    auto part = std::make_shared<Part>();
    part->component = Name("component", solution * 3 + k);
    parts.push_back(part);
  }
  return parts;
}

std::shared_ptr<Sd::SolutionInfo const> SolutionInfo(std::size_t index, bool with_details) {
  auto info = std::make_shared<Sd::SolutionInfo>();
  info->version = "7.0." + std::to_string(index);
  info->components = SolutionParts<Sd::SolutionComponentSpec>(index);
  if (with_details) {
    auto details = std::make_shared<Sd::SolutionDetails>();
    details->display_name = "Solution " + Name("solution", index);
    details->display_version = "7.0";
    for (auto const& part : SolutionParts<Sd::SolutionComponentDetails>(index)) {
      auto described = std::make_shared<Sd::SolutionComponentDetails>(*part);
      described->display_name = "Agent " + part->component;
      described->vendor = "Norval";
      details->components.push_back(described);
    }
    info->details = details;
  }
  return info;
}

std::shared_ptr<Sd::SolutionCompliance const> Solution(std::size_t index) {
  auto record = std::make_shared<Sd::SolutionCompliance>();
  record->status = StatusOf(index);
  record->current = SolutionInfo(index, true);
  record->target = SolutionInfo(index + 1, false);
  record->notifications = NoNotes();
  return record;
}

std::shared_ptr<Sd::HardwareSupportPackageInfo const> PackageInfo(std::size_t index,
                                                                  char const* version) {
  auto info = std::make_shared<Sd::HardwareSupportPackageInfo>();
  info->pkg = Name("hsp", index);
  info->version = version;
  return info;
}

std::shared_ptr<Sd::HardwareModuleFirmwareCompliance const> Module(std::size_t index) {
  auto details = std::make_shared<Sd::HardwareModuleDetails>();
  details->component_class = Sd::HardwareModuleClass::PCI_DEVICE;
  details->description = "Network adapter " + std::to_string(index);
  auto current = std::make_shared<Sd::HardwareModuleFirmwareInfo>();
  current->version = "14.32.1010";
  auto target = std::make_shared<Sd::HardwareModuleFirmwareInfo>();
  target->version = "14.33.1020";
  auto record = std::make_shared<Sd::HardwareModuleFirmwareCompliance>();
  record->status = Sd::ComplianceStatus::NON_COMPLIANT;
  record->details = details;
  record->current = current;
  record->target = target;
  record->notifications = Notes(Name("module", index), index, false);
  return record;
}

std::shared_ptr<Sd::HardwareSupportPackageCompliance const> Package(std::size_t index) {
  auto record = std::make_shared<Sd::HardwareSupportPackageCompliance>();
  record->status = Sd::ComplianceStatus::NON_COMPLIANT;
  record->current = PackageInfo(index, "2.0.0");
  record->target = PackageInfo(index, "2.1.0");
  record->hardware_modules = {{Name("module", index * 2), Module(index * 2)},
                              {Name("module", index * 2 + 1), Module(index * 2 + 1)}};
  record->notifications = NoNotes();
  return record;
}

std::shared_ptr<Sd::SolutionSpec const> SolutionSpec(std::size_t index) {
  auto spec = std::make_shared<Sd::SolutionSpec>();
  spec->version = "7.0." + std::to_string(index);
  spec->components = SolutionParts<Sd::SolutionComponentSpec>(index);
  return spec;
}

std::shared_ptr<Sd::HardwareSupportSpec const> HardwareSupportSpec(std::size_t count) {
  auto spec = std::make_shared<Sd::HardwareSupportSpec>();
  for (std::size_t i = 0; i < count; ++i) {
    auto package = std::make_shared<Sd::HardwareSupportPackageSpec>();
    package->pkg = Name("hsp", i);
    package->version = std::string("2.1.0");
    spec->packages.emplace(Name("manager", i), package);
  }
  return spec;
}

}  // namespace

std::size_t GroupCount(std::size_t components) { return std::max<std::size_t>(1, components / 10); }

std::shared_ptr<Sd::HostCompliance const> MakeHostCompliance(std::size_t components) {
  auto host = std::make_shared<Sd::HostCompliance>();
  host->impact = Sd::ComplianceImpact::REBOOT_REQUIRED;
  host->status = Sd::ComplianceStatus::NON_COMPLIANT;
  host->notifications = Notes("host-0001", 0, true);
  host->scan_time = Time(0);
  host->commit = std::string("commit-0042");
  host->base_image = BaseImage();
  host->add_on = AddOn();
  host->hardware_support.emplace();
  for (std::size_t i = 0; i < GroupCount(components); ++i) {
    host->hardware_support->emplace(Name("manager", i), Package(i));
    host->solutions.emplace(Name("solution", i), Solution(i));
  }
  for (std::size_t i = 0; i < components; ++i) {
    host->components.emplace(Name("component", i), Component(i));
  }
  return host;
}

std::shared_ptr<Sd::SoftwareSpec const> MakeSoftwareSpec(std::size_t components) {
  auto spec = std::make_shared<Sd::SoftwareSpec>();
  auto base_image = std::make_shared<Sd::BaseImageSpec>();
  base_image->version = "8.0.3-0.0.24022510";
  spec->base_image = base_image;
  auto add_on = std::make_shared<Sd::AddOnSpec>();
  add_on->name = "vendor-addon";
  add_on->version = "1.2.0-1";
  spec->add_on = add_on;
  spec->components.emplace();
  for (std::size_t i = 0; i < components; ++i) {
    boost::optional<std::string> version;
    if (i % 7 != 0) version = "1." + std::to_string(i % 10) + ".0-1";
    spec->components->emplace(Name("component", i), std::move(version));
  }
  spec->solutions.emplace();
  for (std::size_t i = 0; i < GroupCount(components); ++i) {
    spec->solutions->emplace(Name("solution", i), SolutionSpec(i));
  }
  spec->hardware_support = HardwareSupportSpec(GroupCount(components));
  return spec;
}

std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> MakeScanSpec(std::size_t components) {
  auto scan = std::make_shared<Sd::SoftwareSvc::ScanSpec>();
  scan->software_spec = MakeSoftwareSpec(components);
  scan->depots = {"https://depot.example/main/index.xml", "/var/depots/local/index.xml"};
  return scan;
}

namespace {

std::vector<ComponentSettings> Config(std::size_t count) {
  std::vector<ComponentSettings> components;
  for (std::size_t i = 0; i < count; ++i) {
    components.push_back({Name("component", i),
                          {{"log_level", "info"},
                           {"max_sessions", std::to_string(16 << (i % 3))},
                           {"endpoint", "https://host-0001.example:" + std::to_string(8443 + i)}}});
  }
  return components;
}

std::shared_ptr<::Com::Norval::Hyrn::HostSettings::ConfigSpec const> MakeConfigSpec(
    std::vector<ComponentSettings> const& components) {
  auto config = std::make_shared<::Com::Norval::Hyrn::HostSettings::ConfigSpec>();
  for (auto const& component : components) {
    auto settings = Ormi::Data::StructValue::GetInstance("com.norval.hyrn.bench.component_config");
    for (auto const& setting : component.settings) {
      settings->SetField(setting.first, Ormi::Data::StringValue::GetInstance(setting.second));
    }
    config->components.emplace(component.name, Ormi::Data::DynamicStructure(settings));
  }
  return config;
}

}  // namespace

std::vector<ComponentSettings> const& SmallConfig() {
  static std::vector<ComponentSettings> const config = Config(3);
  return config;
}

std::shared_ptr<::Com::Norval::Hyrn::HostSettings::ConfigSpec const> MakeConfigSpec() {
  return MakeConfigSpec(SmallConfig());
}

std::shared_ptr<::Com::Norval::Hyrn::HostSettings::ConfigSpec const> MakeConfigSpec(
    std::size_t components) {
  return MakeConfigSpec(Config(components));
}

std::size_t CountValueNodes(Ormi::Data::DataValue const& root) {
  using Ormi::Data::DataValue;
  using Ormi::Data::ValueKind;
  std::size_t count = 0;
  std::vector<DataValue const*> pending{&root};
  while (!pending.empty()) {
    DataValue const* value = pending.back();
    pending.pop_back();
    ++count;
    switch (value->kind()) {
      case ValueKind::kStructure:
      case ValueKind::kError:
        for (auto const& field : static_cast<Ormi::Data::CompoundValue const*>(value)->fields()) {
          if (field.second) pending.push_back(field.second.get());
        }
        break;
      case ValueKind::kList:
        for (auto const& element : static_cast<Ormi::Data::ListValue const*>(value)->elements()) {
          if (element) pending.push_back(element.get());
        }
        break;
      case ValueKind::kOptional: {
        auto const& inner = static_cast<Ormi::Data::OptionalValue const*>(value)->value();
        if (inner) pending.push_back(inner.get());
        break;
      }
      default:
        break;
    }
  }
  return count;
}

}  // namespace HyrnBench
