// Deterministic, scalable inputs for the benchmarks: a scan result (HostCompliance) and a
// software specification of a chosen size, and a count of the nodes of a value tree.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "com/norval/hyrn/host_settings/host_settings.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "ormi/data/value.h"

namespace HyrnBench {

namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;

// The number of solutions and of hardware support packages that go with `components`
// components: a tenth of them, at least one.
std::size_t GroupCount(std::size_t components);

// A scan result with `components` component records, GroupCount(components) solution and
// hardware support package records (two hardware modules each), and notifications on the
// host, on every second component and on every hardware module. The same size always gives
// the same tree.
std::shared_ptr<Sd::HostCompliance const> MakeHostCompliance(std::size_t components);

// A software specification with `components` components (every seventh without a version),
// GroupCount(components) solutions of three components each and as many hardware support
// packages.
std::shared_ptr<Sd::SoftwareSpec const> MakeSoftwareSpec(std::size_t components);

// The scan input around MakeSoftwareSpec(components), with two depots.
std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> MakeScanSpec(std::size_t components);

// The answer of the small call benchmarks: the configuration of one host, three components
// with three string settings each.
struct ComponentSettings {
  std::string name;
  std::vector<std::pair<std::string, std::string>> settings;
};
std::vector<ComponentSettings> const& SmallConfig();
constexpr char kSmallConfigHost[] = "host-0001";
// A host whose configuration has this many components like SmallConfig()'s (about 270 KB
// of answer), for the calls with a large answer.
constexpr char kLargeConfigHost[] = "host-large";
constexpr std::size_t kLargeConfigComponents = 2000;

// SmallConfig() as our native configuration: each component's settings are a structure value.
std::shared_ptr<::Com::Norval::Hyrn::HostSettings::ConfigSpec const> MakeConfigSpec();
// The same with `components` components.
std::shared_ptr<::Com::Norval::Hyrn::HostSettings::ConfigSpec const> MakeConfigSpec(
    std::size_t components);

// The number of values in the tree under `root`, `root` included.
std::size_t CountValueNodes(Ormi::Data::DataValue const& root);

}  // namespace HyrnBench
