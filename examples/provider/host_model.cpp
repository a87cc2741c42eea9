#include "provider/host_model.h"

#include "ormi/data/value.h"

namespace Example {

void HostModel::Add(std::string const& name, Host host) {
  std::lock_guard<std::mutex> const lock(mutex_);
  hosts_[name] = std::move(host);
}

namespace {

::Ormi::DateTime Date(int year, int month, int day) {
  ::Ormi::DateTime date;
  ::Ormi::DateTime::FromFields(year, month, day, 0, 0, 0, 0, &date);
  return date;
}

::Ormi::Data::DynamicStructure NtpConfig(std::string const& server) {
  auto value = ::Ormi::Data::StructValue::GetInstance("com.norval.hyrn.example.ntp_config");
  value->SetField("server", ::Ormi::Data::StringValue::GetInstance(server));
  value->SetField("enabled", ::Ormi::Data::BooleanValue::GetInstance(true));
  return ::Ormi::Data::DynamicStructure(value);
}

BaseImage Image(std::string const& version, std::string const& display, ::Ormi::DateTime date) {
  return BaseImage{version,
                   "Hyrn",
                   display,
                   "Norval",
                   "Hyrn base image " + version,
                   "The operating system image of the host.",
                   date};
}

InstalledComponent Component(std::string const& version, std::string const& name,
                             std::string const& vendor, ComponentSource::Enum source) {
  return InstalledComponent{
      version, name, version, vendor, name, name + " for the host.", ComponentSource(source)};
}

// The settings daemon's own host: out of date in several parts.
Host FirstHost() {
  Host host;
  host.desired.hyrn = "8.0.3";
  host.desired.components = {{"net-driver", std::string("2.1.0")},
                             {"storage-plugin", std::string("1.4.2")},
                             {"legacy-agent", boost::none}};
  host.desired.depots = {{"main", "https://depot.example/main"}};
  host.desired.config["ntp"]["primary"] = NtpConfig("ntp1.example");

  InstalledSoftware& installed = host.installed;
  installed.base_image = Image("8.0.2", "8.0 Update 2", Date(2025, 3, 12));
  installed.add_on = AddOn{"vendor-pack", "3.1", "Vendor Pack", "3.1", "Acme Servers"};
  installed.components = {
      {"base-tools", Component("8.0.2", "Base Tools", "Norval", ComponentSource::BASE_IMAGE)},
      {"net-driver", Component("2.0.5", "Network Driver", "Acme NICs", ComponentSource::USER)},
      {"storage-plugin",
       Component("1.4.2", "Storage Plugin", "Acme Storage", ComponentSource::SOLUTION)},
      {"legacy-agent", Component("0.9", "Legacy Agent", "Old Co", ComponentSource::USER)},
      {"vendor-monitor",
       Component("3.1.0", "Vendor Monitor", "Acme Servers", ComponentSource::ADD_ON)}};
  installed.solutions = {{"storage-suite", Solution{"1.4", {"storage-plugin"}}}};
  installed.hardware_support = {{"acme-hsm", HardwarePackage{"firmware-bundle", "2025.01"}}};
  installed.parcels = {{"p-net", "net-driver-parcel", "2.0.5", false},
                       {"p-diag", "diagnostics", "1.2", true},
                       {"p-mon", "vendor-monitor-parcel", "3.1.0", false}};
  return host;
}

Host SecondHost() {
  Host host;
  host.desired.hyrn = "8.0.3";
  host.desired.components = {{"net-driver", std::string("2.1.0")}};
  host.installed.base_image = Image("8.0.3", "8.0 Update 3", Date(2025, 9, 30));
  host.installed.components = {
      {"net-driver", Component("2.1.0", "Network Driver", "Acme NICs", ComponentSource::USER)}};
  return host;
}

Host ThirdHost() {
  Host host;
  host.desired.hyrn = "7.0.3";
  host.desired.depots = {{"archive", "https://depot.example/archive"}};
  host.installed.base_image = Image("7.0.3", "7.0 Update 3", Date(2022, 11, 8));
  return host;
}

}  // namespace

void AddSampleHosts(HostModel& model) {
  model.Add("host-01", FirstHost());
  model.Add("host-02", SecondHost());
  model.Add("host-03", ThirdHost());
}

}  // namespace Example
