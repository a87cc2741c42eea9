// Checks every generated API structure and enumeration against the expected shape: canonical
// name, fields in declaration order with their optionality, the known-name list and the
// structure metadata. The expectations are written out here, independently of the
// definition files the types are generated from.
#include "com/norval/hyrn/host_settings/host_settings.h"
#include "com/norval/hyrn/hosts/hosts.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "com/norval/hyrn/software/software.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "com/norval/hyrn/host_settings/host_settings_types.h"
#include "com/norval/hyrn/hosts/hosts_types.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_types.h"
#include "com/norval/hyrn/software/software_types.h"

namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
namespace Ho = ::Com::Norval::Hyrn::Hosts;
namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
namespace Sw = ::Com::Norval::Hyrn::Software;
using ::Ormi::Data::TypeInfo;

// Records the definition form of `AddFields`: each field as its wire name with a "?" suffix
// when the member is optional.
class FieldRecorder {
 public:
  template <typename M>
  void AddField(boost::string_view name) {
    fields_.push_back(std::string(name) + (::Ormi::Data::kIsOptionalMember<M> ? "?" : ""));
  }

  std::string fields() const { return Join(fields_); }

  static std::string Join(std::vector<std::string> const& words) {
    std::string joined;
    for (auto const& word : words) {
      joined += (joined.empty() ? "" : " ") + word;
    }
    return joined;
  }

 private:
  std::vector<std::string> fields_;
};

// Drives the from-value form of `AddFields` over a structure value that carries every declared
// field plus one the structure does not declare: only that one may become an unknown field.
// Each field must come with its name's place among the declared names in byte-wise order.
class UnknownFieldProbe {
 public:
  explicit UnknownFieldProbe(std::vector<std::string> const& declared)
      : declared_(declared), value_(::Ormi::Data::StructValue::GetInstance("probe")) {
    auto value = std::const_pointer_cast<::Ormi::Data::CompoundValue>(value_);
    for (auto const& name : declared) value->SetField(name, ::Ormi::Data::VoidValue::GetInstance());
    value->SetField("zz_undeclared", ::Ormi::Data::VoidValue::GetInstance());
  }
  template <typename M>
  void AddField(boost::string_view name, M* /*member*/, std::size_t rank) {
    ASSERT_LT(rank, declared_.size()) << name;
    EXPECT_EQ(declared_[rank], name);
  }
  std::shared_ptr<::Ormi::Data::CompoundValue const> const& value() const { return value_; }

  // The unknown fields that the structure keeps after the visit.
  template <typename T>
  std::string Collect() {
    T native;
    T::AdapterHelper::AddFields(*this, &native);
    std::vector<std::string> names;
    if (native.unknownFields) {
      for (auto const& field : native.unknownFields->fields()) names.emplace_back(field.first);
    }
    return FieldRecorder::Join(names);
  }

 private:
  std::vector<std::string> const& declared_;
  std::shared_ptr<::Ormi::Data::CompoundValue const> value_;
};

// Flattens metadata entries to "path=resource type", in map order; a nested entry's path is
// its parent's path, a dot and its key ("components.key=...").
void FlattenMetadata(::Ormi::Metadata::FieldInfoMap const& fields, std::string const& prefix,
                     std::vector<std::string>& out) {
  for (auto const& entry : fields) {
    std::string const path = prefix + entry.first;
    if (!entry.second->resourceType.empty() || entry.second->fields.empty()) {
      out.push_back(path + "=" + entry.second->resourceType);
    }
    FlattenMetadata(entry.second->fields, path + ".", out);
  }
}

// What one generated type shows, next to what it should show.
struct Case {
  std::string canonical;
  std::string fields;
  std::string metadata;  // "<name>: <entries>", empty for a type without metadata
  std::string gotCanonical;
  std::string gotFields;
  std::vector<std::string> gotKnownNames;
  std::string gotUnknownFields;
  std::string gotMetadata;
};

template <typename T>
Case Struct(std::string canonical, std::string fields) {
  FieldRecorder recorder;
  T::AdapterHelper::AddFields(recorder);
  Case c;
  c.canonical = std::move(canonical);
  c.fields = std::move(fields);
  c.gotCanonical = TypeInfo<T>::name();
  c.gotFields = recorder.fields();
  for (boost::string_view name : T::AdapterHelper::kKnownNames) {
    c.gotKnownNames.emplace_back(name);
  }
  c.gotUnknownFields = UnknownFieldProbe(c.gotKnownNames).Collect<T>();
  return c;
}

template <typename T>
Case Meta(std::string canonical, std::string fields, std::string metadata) {
  Case c = Struct<T>(std::move(canonical), std::move(fields));
  c.metadata = std::move(metadata);
  auto const info = ::Ormi::Metadata::StructInfo::Create<T>();
  std::vector<std::string> entries;
  FlattenMetadata(info->fields, "", entries);
  c.gotMetadata = info->name + ": " + FieldRecorder::Join(entries);
  return c;
}

// The expected known names: the wire names of the fields, sorted byte-wise.
std::vector<std::string> SortedWireNames(std::string const& fields) {
  std::istringstream words(fields);
  std::vector<std::string> names;
  for (std::string word; words >> word;) {
    names.push_back(word.back() == '?' ? word.substr(0, word.size() - 1) : word);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<Case> HostSettingsAndHostsCases() {
  return {
      Meta<Hs::ConfigSpec>("com.norval.hyrn.host_settings.config_spec", "components",
                           "com.norval.hyrn.host_settings.ConfigSpec: "
                           "components.key=com.norval.hyrn.hosts.component"),
      Meta<Hs::DepotSpec>("com.norval.hyrn.host_settings.depot_spec", "name url",
                          "com.norval.hyrn.host_settings.DepotSpec: "
                          "name=com.norval.hyrn.hosts.depot"),
      Meta<Hs::SoftwareSpec>("com.norval.hyrn.host_settings.software_spec", "hyrn components",
                             "com.norval.hyrn.host_settings.SoftwareSpec: "
                             "components.key=com.norval.hyrn.hosts.component"),
      Meta<Hs::DepotsSvc::CreateSpec>("com.norval.hyrn.host_settings.depots.create_spec",
                                      "name url",
                                      "com.norval.hyrn.host_settings.Depots.CreateSpec: "
                                      "name=com.norval.hyrn.hosts.depot"),
      Meta<Ho::Software::ComponentsSvc::Summary>(
          "com.norval.hyrn.hosts.software.components.summary", "component version vendor",
          "com.norval.hyrn.hosts.software.Components.Summary: "
          "component=com.norval.hyrn.hosts.component"),
      Struct<Ho::Software::ComponentsSvc::Info>("com.norval.hyrn.hosts.software.components.info",
                                                "version vendor summary description"),
      Struct<Ho::Software::HyrnSvc::Info>("com.norval.hyrn.hosts.software.hyrn.info",
                                          "version vendor summary description"),
  };
}

std::vector<Case> SettingsDaemonSpecAndInfoCases() {
  std::string const p = "com.norval.hyrn.settings_daemon.";
  std::string const m = "com.norval.hyrn.settings_daemon.";
  std::string const r = "=com.norval.hyrn.settings.";
  return {
      Meta<Sd::SoftwareSpec>(
          p + "software_spec", "base_image add_on? components? solutions? hardware_support?",
          m + "SoftwareSpec: components.key" + r + "component solutions.key" + r + "solution"),
      Struct<Sd::BaseImageSpec>(p + "base_image_spec", "version"),
      Struct<Sd::AddOnSpec>(p + "add_on_spec", "name version"),
      Struct<Sd::SolutionSpec>(p + "solution_spec", "version components"),
      Meta<Sd::SolutionComponentSpec>(p + "solution_component_spec", "component",
                                      m + "SolutionComponentSpec: component" + r + "component"),
      Meta<Sd::HardwareSupportSpec>(
          p + "hardware_support_spec", "packages",
          m + "HardwareSupportSpec: packages.key" + r + "hardware_support.manager"),
      Meta<Sd::HardwareSupportPackageSpec>(
          p + "hardware_support_package_spec", "pkg? version?",
          m + "HardwareSupportPackageSpec: pkg" + r + "hardware_support.package"),
      Meta<Sd::SoftwareInfo>(
          p + "software_info", "base_image add_on? components solutions hardware_support?",
          m + "SoftwareInfo: components.key" + r + "component solutions.key" + r + "solution"),
      Struct<Sd::BaseImageInfo>(p + "base_image_info", "details? version"),
      Struct<Sd::BaseImageDetails>(p + "base_image_details",
                                   "display_name display_version release_date"),
      Struct<Sd::AddOnInfo>(p + "add_on_info", "details? name version"),
      Struct<Sd::AddOnDetails>(p + "add_on_details", "display_name vendor display_version"),
      Struct<Sd::ComponentInfo>(p + "component_info", "version? details?"),
      Struct<Sd::ComponentDetails>(p + "component_details", "display_name vendor display_version?"),
      Struct<Sd::SolutionInfo>(p + "solution_info", "details? version components"),
      Struct<Sd::SolutionDetails>(p + "solution_details",
                                  "display_name display_version components"),
      Meta<Sd::SolutionComponentDetails>(
          p + "solution_component_details", "component display_name display_version? vendor",
          m + "SolutionComponentDetails: component" + r + "component"),
      Meta<Sd::HardwareSupportInfo>(
          p + "hardware_support_info", "packages",
          m + "HardwareSupportInfo: packages.key" + r + "hardware_support.manager"),
      Meta<Sd::HardwareSupportPackageInfo>(
          p + "hardware_support_package_info", "pkg version",
          m + "HardwareSupportPackageInfo: pkg" + r + "hardware_support.package"),
  };
}

std::vector<Case> SettingsDaemonComplianceCases() {
  std::string const p = "com.norval.hyrn.settings_daemon.";
  std::string const m = "com.norval.hyrn.settings_daemon.";
  std::string const r = "=com.norval.hyrn.settings.";
  std::string const record = "status current? target? notifications";
  return {
      Meta<Sd::HostCompliance>(p + "host_compliance",
                               "impact status notifications scan_time commit? base_image add_on "
                               "hardware_support? components solutions",
                               m + "HostCompliance: commit" + r + "commit components.key" + r +
                                   "component hardware_support.key" + r +
                                   "hardware_support.manager solutions.key" + r + "solution"),
      Struct<Sd::BaseImageCompliance>(p + "base_image_compliance",
                                      "status current target notifications"),
      Struct<Sd::AddOnCompliance>(p + "add_on_compliance", record),
      Struct<Sd::ComponentCompliance>(
          p + "component_compliance",
          "status current? target? current_source? target_source? notifications"),
      Struct<Sd::SolutionCompliance>(p + "solution_compliance", record),
      Meta<Sd::HardwareSupportPackageCompliance>(
          p + "hardware_support_package_compliance",
          "status current? target? hardware_modules notifications",
          m + "HardwareSupportPackageCompliance: hardware_modules.key" + r + "hardware_module"),
      Struct<Sd::HardwareModuleFirmwareCompliance>(
          p + "hardware_module_firmware_compliance",
          "status details? current? target? notifications"),
      Struct<Sd::HardwareModuleDetails>(p + "hardware_module_details",
                                        "component_class description?"),
      Struct<Sd::HardwareModuleFirmwareInfo>(p + "hardware_module_firmware_info", "version"),
      Struct<Sd::Notifications>(p + "notifications", "info? warnings? errors?"),
      Struct<Sd::Notification>(p + "notification", "id time message resolution?"),
      Meta<Sd::ComponentsSvc::ApplySpec>(p + "components.apply_spec", "components depots",
                                         m + "Components.ApplySpec: components.key=COMPONENT"),
      Struct<Sd::SoftwareSvc::ApplySpec>(p + "software.apply_spec", "software_spec depots"),
      Struct<Sd::SoftwareSvc::ScanSpec>(p + "software.scan_spec", "software_spec depots"),
  };
}

std::vector<Case> SoftwareCases() {
  std::string const p = "com.norval.hyrn.software.";
  std::string const r = "=com.norval.hyrn.settings.";
  return {
      Struct<Sw::Notification>(p + "notification", "id time message resolution?"),
      Struct<Sw::Notifications>(p + "notifications", "info? warnings? errors?"),
      Meta<Sw::SolutionComponentSpec>(p + "solution_component_spec", "component",
                                      p + "SolutionComponentSpec: component" + r + "component"),
      Struct<Sw::SolutionSpec>(p + "solution_spec", "version components"),
      Struct<Sw::BaseImageSpec>(p + "base_image_spec", "version"),
      Struct<Sw::AddOnSpec>(p + "add_on_spec", "name version"),
      Meta<Sw::SoftwareSpec>(
          p + "software_spec", "base_image add_on? components solutions",
          p + "SoftwareSpec: components.key" + r + "component solutions.key" + r + "solution"),
      Struct<Sw::InstalledComponentsSvc::InstalledComponentInfo>(
          p + "installed_components.installed_component_info",
          "display_name version display_version"),
      Struct<Sw::InstalledParcelsSvc::FilterSpec>(p + "installed_parcels.filter_spec",
                                                  "standalone_parcels_only?"),
      Meta<Sw::InstalledParcelsSvc::ParcelInfo>(
          p + "installed_parcels.parcel_info", "parcel name version",
          p + "InstalledParcels.ParcelInfo: parcel" + r + "parcel"),
  };
}

std::vector<Case> AllCases() {
  std::vector<Case> all;
  for (auto&& group : {HostSettingsAndHostsCases(), SettingsDaemonSpecAndInfoCases(),
                       SettingsDaemonComplianceCases(), SoftwareCases()}) {
    all.insert(all.end(), group.begin(), group.end());
  }
  return all;
}

TEST(ApiTypesTest, EveryStructureHasItsNameFieldsKnownNamesAndMetadata) {
  auto const cases = AllCases();
  ASSERT_EQ(cases.size(), 50U);
  for (auto const& c : cases) {
    SCOPED_TRACE(c.canonical);
    EXPECT_EQ(c.gotCanonical, c.canonical);
    EXPECT_EQ(c.gotFields, c.fields);
    EXPECT_EQ(c.gotKnownNames, SortedWireNames(c.fields));
    EXPECT_EQ(c.gotUnknownFields, "zz_undeclared");
    EXPECT_EQ(c.gotMetadata, c.metadata);
  }
}

template <typename... T>
void CollectNames(::Ormi::Data::TypeList<T...> /*types*/, std::set<std::string>& names) {
  (names.insert(TypeInfo<T>::name()), ...);
}

TEST(ApiTypesTest, PackageTypeListsHoldExactlyTheExpectedStructures) {
  std::set<std::string> generated;
  CollectNames(Hs::AllStructures{}, generated);
  CollectNames(Ho::AllStructures{}, generated);
  CollectNames(Sd::AllStructures{}, generated);
  CollectNames(Sw::AllStructures{}, generated);
  std::set<std::string> expected;
  for (auto const& c : AllCases()) {
    EXPECT_TRUE(expected.insert(c.canonical).second)
        << "canonical name used twice: " << c.canonical;
  }
  EXPECT_EQ(generated, expected);
}

// Expected wire values of an enumeration, in order, and its equality.
template <typename E>
void ExpectEnumeration(std::string const& canonical, std::vector<std::string> const& values) {
  SCOPED_TRACE(canonical);
  EXPECT_EQ(TypeInfo<E>::name(), canonical);
  std::vector<std::string> got;
  for (char const* const* value = E::Strings::values; *value != nullptr; ++value) {
    got.emplace_back(*value);
  }
  auto expected = values;
  expected.emplace_back("_UNKNOWN");
  EXPECT_EQ(got, expected);
  EXPECT_EQ(static_cast<std::size_t>(E::_UNKNOWN), values.size());
  EXPECT_EQ(E().value(), E::_UNKNOWN);
  EXPECT_TRUE(E().unknownText().empty());
  // Equal when both the value and the received text are: two values a newer peer sent are
  // told apart by their text.
  auto const first = static_cast<typename E::Enum>(0);
  auto const second = static_cast<typename E::Enum>(1);
  EXPECT_EQ(E(first), E(first));
  EXPECT_NE(E(first), E(second));
  EXPECT_EQ(E(E::_UNKNOWN, "LATER"), E(E::_UNKNOWN, "LATER"));
  EXPECT_NE(E(E::_UNKNOWN, "LATER"), E(E::_UNKNOWN, "LATEST"));
  EXPECT_NE(E(E::_UNKNOWN, "LATER"), E());
}

TEST(ApiTypesTest, EnumerationsHaveTheirNamesAndWireValuesInOrder) {
  std::string const p = "com.norval.hyrn.settings_daemon.";
  ExpectEnumeration<Sd::ComplianceImpact>(
      p + "compliance_impact",
      {"NO_IMPACT", "MAINTENANCE_MODE_REQUIRED", "REBOOT_REQUIRED", "UNKNOWN"});
  ExpectEnumeration<Sd::ComplianceStatus>(
      p + "compliance_status", {"COMPLIANT", "NON_COMPLIANT", "INCOMPATIBLE", "UNAVAILABLE"});
  ExpectEnumeration<Sd::HardwareModuleClass>(p + "hardware_module_class",
                                             {"SYSTEM_BIOS", "PCI_DEVICE", "OTHER"});
  ExpectEnumeration<Sd::ComponentSource>(
      p + "component_source",
      {"BASE_IMAGE", "ADD_ON", "USER", "SOLUTION", "HARDWARE_SUPPORT_PACKAGE"});

  std::set<std::string> generated;
  CollectNames(Sd::AllEnumerations{}, generated);
  EXPECT_EQ(generated.size(), 4U);
  EXPECT_EQ(generated.count(p + "compliance_status"), 1U);
}

}  // namespace
