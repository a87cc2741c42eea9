// Plain structures equivalent to the scan result and the software specification, described
// with Boost.Describe so that Boost.JSON's value_from / value_to convert them: the peer that a
// user without our bindings would write. Members carry the wire names; nested structures are
// held by value, optional ones in Opt, lists as vectors, maps as std::map (JSON objects).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <boost/describe.hpp>
#include <boost/json.hpp>

#include "ormi/data/value.h"
#include "ormi/types.h"

// BOOST_DESCRIBE_STRUCT takes the (empty) base list as a variadic argument.
#ifdef __clang__
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wgnu-zero-variadic-macro-arguments"
#endif

namespace HyrnBench::Plain {

// An optional member: JSON null when unset. Boost.JSON has no conversion of std::optional in
// this version, so the wrapper brings its own.
template <typename T>
struct Opt : std::optional<T> {
  using std::optional<T>::optional;
};

template <typename T>
void tag_invoke(boost::json::value_from_tag /*tag*/, boost::json::value& out, Opt<T> const& in) {
  if (in) {
    out = boost::json::value_from(*in, out.storage());
  } else {
    out = nullptr;
  }
}

template <typename T>
Opt<T> tag_invoke(boost::json::value_to_tag<Opt<T>> /*tag*/, boost::json::value const& in) {
  if (in.is_null()) return {};
  return Opt<T>(boost::json::value_to<T>(in));
}

// A point in time, written as the same RFC 3339 text as the dynamic date-time value, so both
// sides pay for formatting and parsing.
struct Stamp {
  std::int64_t milliseconds = 0;
};

inline void tag_invoke(boost::json::value_from_tag /*tag*/, boost::json::value& out,
                       Stamp const& in) {
  out = Ormi::DateTime::FromMillisecondsSinceEpoch(in.milliseconds).ToString();
}

inline Stamp tag_invoke(boost::json::value_to_tag<Stamp> /*tag*/, boost::json::value const& in) {
  Ormi::DateTime time;
  if (!Ormi::DateTime::Parse(std::string(in.as_string()), &time)) {
    throw std::invalid_argument("not a date-time");
  }
  return Stamp{time.millisecondsSinceEpoch()};
}

// NOLINTBEGIN(readability-identifier-naming): enumerators keep their wire names.
enum class ComplianceImpact { NO_IMPACT, MAINTENANCE_MODE_REQUIRED, REBOOT_REQUIRED, UNKNOWN };
BOOST_DESCRIBE_ENUM(ComplianceImpact, NO_IMPACT, MAINTENANCE_MODE_REQUIRED, REBOOT_REQUIRED,
                    UNKNOWN)
enum class ComplianceStatus { COMPLIANT, NON_COMPLIANT, INCOMPATIBLE, UNAVAILABLE };
BOOST_DESCRIBE_ENUM(ComplianceStatus, COMPLIANT, NON_COMPLIANT, INCOMPATIBLE, UNAVAILABLE)
enum class HardwareModuleClass { SYSTEM_BIOS, PCI_DEVICE, OTHER };
BOOST_DESCRIBE_ENUM(HardwareModuleClass, SYSTEM_BIOS, PCI_DEVICE, OTHER)
enum class ComponentSource { BASE_IMAGE, ADD_ON, USER, SOLUTION, HARDWARE_SUPPORT_PACKAGE };
BOOST_DESCRIBE_ENUM(ComponentSource, BASE_IMAGE, ADD_ON, USER, SOLUTION, HARDWARE_SUPPORT_PACKAGE)
// NOLINTEND(readability-identifier-naming)

struct LocalizableMessage {
  std::string id;
  std::string default_message;
  std::vector<std::string> args;
};
BOOST_DESCRIBE_STRUCT(LocalizableMessage, (), (id, default_message, args))

struct Notification {
  std::string id;
  Stamp time;
  LocalizableMessage message;
  Opt<LocalizableMessage> resolution;
};
BOOST_DESCRIBE_STRUCT(Notification, (), (id, time, message, resolution))

struct Notifications {
  Opt<std::vector<Notification>> info;
  Opt<std::vector<Notification>> warnings;
  Opt<std::vector<Notification>> errors;
};
BOOST_DESCRIBE_STRUCT(Notifications, (), (info, warnings, errors))

struct BaseImageDetails {
  std::string display_name;
  std::string display_version;
  Stamp release_date;
};
BOOST_DESCRIBE_STRUCT(BaseImageDetails, (), (display_name, display_version, release_date))

struct BaseImageInfo {
  Opt<BaseImageDetails> details;
  std::string version;
};
BOOST_DESCRIBE_STRUCT(BaseImageInfo, (), (details, version))

struct AddOnDetails {
  std::string display_name;
  std::string vendor;
  std::string display_version;
};
BOOST_DESCRIBE_STRUCT(AddOnDetails, (), (display_name, vendor, display_version))

struct AddOnInfo {
  Opt<AddOnDetails> details;
  std::string name;
  std::string version;
};
BOOST_DESCRIBE_STRUCT(AddOnInfo, (), (details, name, version))

struct ComponentDetails {
  std::string display_name;
  std::string vendor;
  Opt<std::string> display_version;
};
BOOST_DESCRIBE_STRUCT(ComponentDetails, (), (display_name, vendor, display_version))

struct ComponentInfo {
  Opt<std::string> version;
  Opt<ComponentDetails> details;
};
BOOST_DESCRIBE_STRUCT(ComponentInfo, (), (version, details))

struct SolutionComponentSpec {
  std::string component;
};
BOOST_DESCRIBE_STRUCT(SolutionComponentSpec, (), (component))

struct SolutionComponentDetails {
  std::string component;
  std::string display_name;
  Opt<std::string> display_version;
  std::string vendor;
};
BOOST_DESCRIBE_STRUCT(SolutionComponentDetails, (),
                      (component, display_name, display_version, vendor))

struct SolutionDetails {
  std::string display_name;
  std::string display_version;
  std::vector<SolutionComponentDetails> components;
};
BOOST_DESCRIBE_STRUCT(SolutionDetails, (), (display_name, display_version, components))

struct SolutionInfo {
  Opt<SolutionDetails> details;
  std::string version;
  std::vector<SolutionComponentSpec> components;
};
BOOST_DESCRIBE_STRUCT(SolutionInfo, (), (details, version, components))

struct HardwareSupportPackageInfo {
  std::string pkg;
  std::string version;
};
BOOST_DESCRIBE_STRUCT(HardwareSupportPackageInfo, (), (pkg, version))

struct BaseImageCompliance {
  ComplianceStatus status{};
  BaseImageInfo current;
  BaseImageInfo target;
  Notifications notifications;
};
BOOST_DESCRIBE_STRUCT(BaseImageCompliance, (), (status, current, target, notifications))

struct AddOnCompliance {
  ComplianceStatus status{};
  Opt<AddOnInfo> current;
  Opt<AddOnInfo> target;
  Notifications notifications;
};
BOOST_DESCRIBE_STRUCT(AddOnCompliance, (), (status, current, target, notifications))

struct ComponentCompliance {
  ComplianceStatus status{};
  Opt<ComponentInfo> current;
  Opt<ComponentInfo> target;
  Opt<ComponentSource> current_source;
  Opt<ComponentSource> target_source;
  Notifications notifications;
};
BOOST_DESCRIBE_STRUCT(ComponentCompliance, (),
                      (status, current, target, current_source, target_source, notifications))

struct SolutionCompliance {
  ComplianceStatus status{};
  Opt<SolutionInfo> current;
  Opt<SolutionInfo> target;
  Notifications notifications;
};
BOOST_DESCRIBE_STRUCT(SolutionCompliance, (), (status, current, target, notifications))

struct HardwareModuleDetails {
  HardwareModuleClass component_class{};
  Opt<std::string> description;
};
BOOST_DESCRIBE_STRUCT(HardwareModuleDetails, (), (component_class, description))

struct HardwareModuleFirmwareInfo {
  std::string version;
};
BOOST_DESCRIBE_STRUCT(HardwareModuleFirmwareInfo, (), (version))

struct HardwareModuleFirmwareCompliance {
  ComplianceStatus status{};
  Opt<HardwareModuleDetails> details;
  Opt<HardwareModuleFirmwareInfo> current;
  Opt<HardwareModuleFirmwareInfo> target;
  Notifications notifications;
};
BOOST_DESCRIBE_STRUCT(HardwareModuleFirmwareCompliance, (),
                      (status, details, current, target, notifications))

struct HardwareSupportPackageCompliance {
  ComplianceStatus status{};
  Opt<HardwareSupportPackageInfo> current;
  Opt<HardwareSupportPackageInfo> target;
  std::map<std::string, HardwareModuleFirmwareCompliance> hardware_modules;
  Notifications notifications;
};
BOOST_DESCRIBE_STRUCT(HardwareSupportPackageCompliance, (),
                      (status, current, target, hardware_modules, notifications))

struct HostCompliance {
  ComplianceImpact impact{};
  ComplianceStatus status{};
  Notifications notifications;
  Stamp scan_time;
  Opt<std::string> commit;
  BaseImageCompliance base_image;
  AddOnCompliance add_on;
  Opt<std::map<std::string, HardwareSupportPackageCompliance>> hardware_support;
  std::map<std::string, ComponentCompliance> components;
  std::map<std::string, SolutionCompliance> solutions;
};
BOOST_DESCRIBE_STRUCT(HostCompliance, (),
                      (impact, status, notifications, scan_time, commit, base_image, add_on,
                       hardware_support, components, solutions))

struct BaseImageSpec {
  std::string version;
};
BOOST_DESCRIBE_STRUCT(BaseImageSpec, (), (version))

struct AddOnSpec {
  std::string name;
  std::string version;
};
BOOST_DESCRIBE_STRUCT(AddOnSpec, (), (name, version))

struct SolutionSpec {
  std::string version;
  std::vector<SolutionComponentSpec> components;
};
BOOST_DESCRIBE_STRUCT(SolutionSpec, (), (version, components))

struct HardwareSupportPackageSpec {
  Opt<std::string> pkg;
  Opt<std::string> version;
};
BOOST_DESCRIBE_STRUCT(HardwareSupportPackageSpec, (), (pkg, version))

struct HardwareSupportSpec {
  std::map<std::string, HardwareSupportPackageSpec> packages;
};
BOOST_DESCRIBE_STRUCT(HardwareSupportSpec, (), (packages))

struct SoftwareSpec {
  BaseImageSpec base_image;
  Opt<AddOnSpec> add_on;
  Opt<std::map<std::string, Opt<std::string>>> components;
  Opt<std::map<std::string, SolutionSpec>> solutions;
  Opt<HardwareSupportSpec> hardware_support;
};
BOOST_DESCRIBE_STRUCT(SoftwareSpec, (),
                      (base_image, add_on, components, solutions, hardware_support))

#ifdef __clang__
#pragma clang diagnostic pop
#endif

// The JSON that a dynamic value stands for, in the shape Boost.JSON gives the plain
// structures above: a structure is an object of its fields, a map an object of its entries,
// a list an array, an unset optional null, a set one its content, a date-time its text.
boost::json::value ToJson(Ormi::Data::DataValue const& value);

}  // namespace HyrnBench::Plain
