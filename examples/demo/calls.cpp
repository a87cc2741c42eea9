#include "demo/calls.h"

#include "com/norval/hyrn/host_settings/host_settings.h"
#include "com/norval/hyrn/hosts/hosts.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "com/norval/hyrn/software/software.h"
#include "ormi/data/value.h"

namespace Demo {
namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
namespace Ho = ::Com::Norval::Hyrn::Hosts;
namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
namespace Sw = ::Com::Norval::Hyrn::Software;
using ChannelPtr = std::shared_ptr<::Ormi::Stub::AsyncApiStub>;
using ::Ormi::Void;
using ::Ormi::Data::DynamicStructure;

constexpr char kNotFound[] = "com.norval.ormi.std.errors.not_found";
constexpr char kAlreadyExists[] = "com.norval.ormi.std.errors.already_exists";
constexpr char kInvalidArgument[] = "com.norval.ormi.std.errors.invalid_argument";
constexpr char kNotAllowed[] = "com.norval.ormi.std.errors.not_allowed_in_current_state";

std::string Show(std::size_t count) { return std::to_string(count); }
template <typename T>
std::string Show(T const& value) {
  return Json(value);
}

// An empty text when `actual` equals `expected`, else what differs.
template <typename T>
std::string Same(std::string const& what, T const& actual, T const& expected) {
  return actual == expected ? "" : what + " is " + Show(actual) + ", expected " + Show(expected);
}

DynamicStructure NtpConfig(std::string const& server) {
  auto value = ::Ormi::Data::StructValue::GetInstance("com.norval.hyrn.example.ntp_config");
  value->SetField("server", ::Ormi::Data::StringValue::GetInstance(server));
  value->SetField("enabled", ::Ormi::Data::BooleanValue::GetInstance(true));
  return DynamicStructure(value);
}

void Configuration(Transcript& t, ChannelPtr const& channel) {
  Hs::ConfigSvc::AsyncServiceStub whole(channel);
  t.Call<Hs::ConfigSvc::GetMethod>(
      {{"host", std::string("host-01")}}, [&](auto const& r) { whole.Get("host-01", nullptr, r); },
      Value<std::shared_ptr<Hs::ConfigSpec const>>(
          [](auto const& spec) { return Same("components", spec->components.size(), size_t{1}); }));

  Hs::Config::Components::KeysSvc::AsyncServiceStub keys(channel);
  using Keys = Hs::Config::Components::KeysSvc;
  std::vector<Arg> const secondary{{"host", std::string("host-01")},
                                   {"component", std::string("ntp")},
                                   {"key", std::string("secondary")}};
  t.Call<Keys::GetMethod>(
      {{"host", std::string("host-01")},
       {"component", std::string("ntp")},
       {"key", std::string("primary")}},
      [&](auto const& r) { keys.Get("host-01", "ntp", "primary", nullptr, r); },
      Value<DynamicStructure>());
  auto config = NtpConfig("ntp2.example");
  t.Call<Keys::SetMethod>(
      {secondary[0], secondary[1], secondary[2], {"config", config}},
      [&](auto const& r) { keys.Set("host-01", "ntp", "secondary", config, nullptr, r); },
      Value<Void>());
  t.Call<Keys::GetMethod>(
      secondary, [&](auto const& r) { keys.Get("host-01", "ntp", "secondary", nullptr, r); },
      Value<DynamicStructure>([&](DynamicStructure const& got) {
        return Same("the configuration", Json(got), Json(config));
      }));
  t.Call<Keys::DeleteMethod>(
      secondary, [&](auto const& r) { keys.Delete("host-01", "ntp", "secondary", nullptr, r); },
      Value<Void>());
  t.Call<Keys::GetMethod>(
      secondary, [&](auto const& r) { keys.Get("host-01", "ntp", "secondary", nullptr, r); },
      Error<DynamicStructure>(kNotFound));
}

void Depots(Transcript& t, ChannelPtr const& channel) {
  Hs::DepotsSvc::AsyncServiceStub depots(channel);
  using List = std::list<std::shared_ptr<Hs::DepotSpec const>>;
  auto count = [](std::size_t n) {
    return Value<List>([n](List const& list) { return Same("the depot count", list.size(), n); });
  };
  t.Call<Hs::DepotsSvc::ListMethod>(
      {{"host", std::string("host-01")}},
      [&](auto const& r) { depots.List("host-01", nullptr, r); }, count(1));
  auto spec = std::make_shared<Hs::DepotsSvc::CreateSpec>();
  spec->name = "updates";
  spec->url = "https://depot.example/updates";
  auto duplicate = std::make_shared<Hs::DepotsSvc::CreateSpec>();
  duplicate->name = "main";
  duplicate->url = "https://mirror.example/main";
  for (auto const& create : {spec, duplicate}) {
    t.Call<Hs::DepotsSvc::CreateMethod>(
        {{"host", std::string("host-01")}, {"spec", create}},
        [&](auto const& r) { depots.Create("host-01", create, nullptr, r); },
        create == spec ? Value<Void>() : Error<Void>(kAlreadyExists));
  }
  t.Call<Hs::DepotsSvc::DeleteMethod>(
      {{"host", std::string("host-01")}, {"name", std::string("nightly")}},
      [&](auto const& r) { depots.Delete("host-01", "nightly", nullptr, r); },
      Error<Void>(kNotFound));
  t.Call<Hs::DepotsSvc::ListMethod>(
      {{"host", std::string("host-01")}},
      [&](auto const& r) { depots.List("host-01", nullptr, r); }, count(2));
}

void DesiredSoftware(Transcript& t, ChannelPtr const& channel) {
  Hs::SoftwareSvc::AsyncServiceStub software(channel);
  t.Call<Hs::SoftwareSvc::GetMethod>(
      {{"host", std::string("host-01")}},
      [&](auto const& r) { software.Get("host-01", nullptr, r); },
      Value<std::shared_ptr<Hs::SoftwareSpec const>>(
          [](auto const& spec) { return Same("hyrn", spec->hyrn, std::string("8.0.3")); }));
  auto spec = std::make_shared<Hs::SoftwareSpec>();
  spec->hyrn = "8.0.3";
  spec->components = {{"net-driver", std::string("2.1.0")},
                      {"storage-plugin", std::string("1.5.0")}};
  t.Call<Hs::SoftwareSvc::SetMethod>(
      {{"host", std::string("host-02")}, {"spec", spec}},
      [&](auto const& r) { software.Set("host-02", spec, nullptr, r); }, Value<Void>());

  using Components = Hs::Software::ComponentsSvc;
  Components::AsyncServiceStub components(channel);
  using Version = boost::optional<std::string>;
  std::vector<Arg> const legacy{{"host", std::string("host-02")},
                                {"component", std::string("legacy-agent")}};
  t.Call<Components::GetMethod>(
      {{"host", std::string("host-02")}, {"component", std::string("storage-plugin")}},
      [&](auto const& r) { components.Get("host-02", "storage-plugin", nullptr, r); },
      Value<Version>([](Version const& v) { return Same("the version", v, Version("1.5.0")); }));
  t.Call<Components::SetMethod>(
      {legacy[0], legacy[1], {"version", Version()}},
      [&](auto const& r) { components.Set("host-02", "legacy-agent", boost::none, nullptr, r); },
      Value<Void>());
  t.Call<Components::DeleteMethod>(
      legacy, [&](auto const& r) { components.Delete("host-02", "legacy-agent", nullptr, r); },
      Value<Void>());
  t.Call<Components::GetMethod>(
      legacy, [&](auto const& r) { components.Get("host-02", "legacy-agent", nullptr, r); },
      Error<Version>(kNotFound));

  Hs::Software::HyrnSvc::AsyncServiceStub hyrn(channel);
  t.Call<Hs::Software::HyrnSvc::SetMethod>(
      {{"host", std::string("host-03")}, {"version", std::string("")}},
      [&](auto const& r) { hyrn.Set("host-03", "", nullptr, r); }, Error<Void>(kInvalidArgument));
  t.Call<Hs::Software::HyrnSvc::SetMethod>(
      {{"host", std::string("host-03")}, {"version", std::string("8.0.3")}},
      [&](auto const& r) { hyrn.Set("host-03", "8.0.3", nullptr, r); }, Value<Void>());
  t.Call<Hs::Software::HyrnSvc::GetMethod>(
      {{"host", std::string("host-03")}}, [&](auto const& r) { hyrn.Get("host-03", nullptr, r); },
      Value<std::string>(
          [](std::string const& v) { return Same("hyrn", v, std::string("8.0.3")); }));
}

void ApplyTasks(Transcript& t, ChannelPtr const& channel) {
  ::Com::Norval::Hyrn::HostSettingsSvc::AsyncServiceStub host_settings(channel);
  using Apply = ::Com::Norval::Hyrn::HostSettingsSvc::ApplyMethod;
  for (std::string const host : {"host-02", "host-09"}) {
    t.Task<Apply>(
        {{"host", host}}, [&](auto const& r) { host_settings.Apply(host, nullptr, r); },
        host == "host-09" ? kNotFound : "");
  }

  Ho::SettingsSvc::AsyncServiceStub settings(channel);
  auto config = std::make_shared<Hs::ConfigSpec>();
  auto ntp = ::Ormi::Data::StructValue::GetInstance("com.norval.hyrn.example.component_config");
  ntp->SetField("primary", NtpConfig("ntp.archive.example").value());
  config->components["ntp"] = DynamicStructure(ntp);
  auto software = std::make_shared<Hs::SoftwareSpec>();
  software->hyrn = "8.0.3";
  software->components = {{"net-driver", std::string("2.1.0")}};
  boost::optional<std::list<std::shared_ptr<Hs::DepotSpec const>>> const depots;
  ::Ormi::OptionalPtr<Hs::ConfigSpec const> const config_arg(config);
  ::Ormi::OptionalPtr<Hs::SoftwareSpec const> const software_arg(software);
  t.Task<Ho::SettingsSvc::SetMethod>({{"host", std::string("host-03")},
                                      {"config_spec", config_arg},
                                      {"software_spec", software_arg},
                                      {"depots", depots}},
                                     [&](auto const& r) {
                                       settings.Set("host-03", config_arg, software_arg, depots,
                                                    nullptr, r);
                                     });
}

void Installed(Transcript& t, ChannelPtr const& channel) {
  using Components = Ho::Software::ComponentsSvc;
  Components::AsyncServiceStub components(channel);
  using Summaries = std::list<std::shared_ptr<Components::Summary const>>;
  t.Call<Components::ListMethod>(
      {{"host", std::string("host-01")}},
      [&](auto const& r) { components.List("host-01", nullptr, r); },
      Value<Summaries>([](Summaries const& l) { return Same("the count", l.size(), size_t{5}); }));
  t.Call<Components::GetMethod>(
      {{"host", std::string("host-01")}, {"component", std::string("net-driver")}},
      [&](auto const& r) { components.Get("host-01", "net-driver", nullptr, r); },
      Value<std::shared_ptr<Components::Info const>>([](auto const& info) {
        return Same("the version", info->version, std::string("2.0.5"));
      }));
  Ho::Software::HyrnSvc::AsyncServiceStub hyrn(channel);
  t.Call<Ho::Software::HyrnSvc::GetMethod>(
      {{"host", std::string("host-01")}}, [&](auto const& r) { hyrn.Get("host-01", nullptr, r); },
      Value<std::shared_ptr<Ho::Software::HyrnSvc::Info const>>([](auto const& info) {
        return Same("the version", info->version, std::string("8.0.2"));
      }));

  Sw::InstalledComponentsSvc::AsyncServiceStub listing(channel);
  t.Call<Sw::InstalledComponentsSvc::ListMethod>(
      {}, [&](auto const& r) { listing.List(nullptr, r); },
      Value<typename Sw::InstalledComponentsSvc::ListMethod::ValueType>());
  Sw::InstalledParcelsSvc::AsyncServiceStub parcels(channel);
  using Parcels = std::list<std::shared_ptr<Sw::InstalledParcelsSvc::ParcelInfo const>>;
  auto standalone = std::make_shared<Sw::InstalledParcelsSvc::FilterSpec>();
  standalone->standalone_parcels_only = true;
  for (::Ormi::OptionalPtr<Sw::InstalledParcelsSvc::FilterSpec const> const& filter :
       {::Ormi::OptionalPtr<Sw::InstalledParcelsSvc::FilterSpec const>(), {standalone}}) {
    std::size_t const expected = filter ? 1 : 3;
    t.Call<Sw::InstalledParcelsSvc::ListMethod>(
        {{"filter", filter}}, [&](auto const& r) { parcels.List(filter, nullptr, r); },
        Value<Parcels>(
            [expected](Parcels const& l) { return Same("the count", l.size(), expected); }));
  }
}

// The software the daemon's host is asked to run: newer base image and add-on, an updated,
// a new and a removed component, and a newer hardware support package.
std::shared_ptr<Sd::SoftwareSpec> RequestedSoftware(std::string const& base_image) {
  auto spec = std::make_shared<Sd::SoftwareSpec>();
  auto image = std::make_shared<Sd::BaseImageSpec>();
  image->version = base_image;
  spec->base_image = image;
  auto add_on = std::make_shared<Sd::AddOnSpec>();
  add_on->name = "vendor-pack";
  add_on->version = "3.2";
  spec->add_on = add_on;
  spec->components =
      std::map<std::string, boost::optional<std::string>>{{"net-driver", std::string("2.1.0")},
                                                          {"legacy-agent", boost::none},
                                                          {"new-agent", std::string("1.0")}};
  auto solution = std::make_shared<Sd::SolutionSpec>();
  solution->version = "1.4";
  auto member = std::make_shared<Sd::SolutionComponentSpec>();
  member->component = "storage-plugin";
  solution->components.push_back(member);
  spec->solutions =
      std::map<std::string, std::shared_ptr<Sd::SolutionSpec const>>{{"storage-suite", solution}};
  auto package = std::make_shared<Sd::HardwareSupportPackageSpec>();
  package->pkg = std::string("firmware-bundle");
  package->version = std::string("2025.06");
  auto hardware = std::make_shared<Sd::HardwareSupportSpec>();
  hardware->packages["acme-hsm"] = package;
  spec->hardware_support = hardware;
  return spec;
}

// A check of a scan's outcome: its overall status and impact.
std::function<std::string(::Ormi::Data::ValuePtr const&)> Expects(
    Sd::ComplianceStatus const& status, Sd::ComplianceImpact const& impact) {
  return [status, impact](::Ormi::Data::ValuePtr const& value) {
    std::shared_ptr<Sd::HostCompliance const> compliance;
    std::list<::Ormi::BaseMessage> messages;
    if (!::Ormi::Data::FromValue(value, &compliance, messages) || !compliance) {
      return std::string("the result is no host compliance");
    }
    std::string const wrong = Same("the status", compliance->status, status);
    return wrong.empty() ? Same("the impact", compliance->impact, impact) : wrong;
  };
}

void Daemon(Transcript& t, ChannelPtr const& channel) {
  Sd::SoftwareSvc::AsyncServiceStub software(channel);
  auto scan = [&](std::shared_ptr<Sd::SoftwareSpec> const& spec, std::string const& depot,
                  std::string const& error, auto check) {
    auto scan_spec = std::make_shared<Sd::SoftwareSvc::ScanSpec>();
    scan_spec->software_spec = spec;
    scan_spec->depots = {depot};
    t.Task<Sd::SoftwareSvc::ScanMethod>(
        {{"scan_spec", scan_spec}}, [&](auto const& r) { software.Scan(scan_spec, nullptr, r); },
        error, check);
  };
  auto apply = [&](std::shared_ptr<Sd::SoftwareSpec> const& spec, std::string const& error) {
    auto apply_spec = std::make_shared<Sd::SoftwareSvc::ApplySpec>();
    apply_spec->software_spec = spec;
    apply_spec->depots = {"main"};
    t.Task<Sd::SoftwareSvc::ApplyMethod>(
        {{"apply_spec", apply_spec}},
        [&](auto const& r) { software.Apply(apply_spec, nullptr, r); }, error);
  };
  auto const requested = RequestedSoftware("8.0.3");
  scan(requested, "main", "",
       Expects(Sd::ComplianceStatus::NON_COMPLIANT, Sd::ComplianceImpact::REBOOT_REQUIRED));
  scan(requested, "nightly", kInvalidArgument, nullptr);
  auto const older = RequestedSoftware("7.0.3");
  scan(older, "main", "",
       Expects(Sd::ComplianceStatus::INCOMPATIBLE, Sd::ComplianceImpact::REBOOT_REQUIRED));
  apply(older, kNotAllowed);
  apply(requested, "");
  scan(requested, "main", "",
       Expects(Sd::ComplianceStatus::COMPLIANT, Sd::ComplianceImpact::NO_IMPACT));

  Sd::ComponentsSvc::AsyncServiceStub components(channel);
  auto apply_spec = std::make_shared<Sd::ComponentsSvc::ApplySpec>();
  apply_spec->components = {{"extra-tool", "0.3"}};
  apply_spec->depots = {"main"};
  t.Task<Sd::ComponentsSvc::ApplyMethod>({{"apply_spec", apply_spec}}, [&](auto const& r) {
    components.Apply(apply_spec, nullptr, r);
  });
}

}  // namespace

void RunCalls(Transcript& transcript, std::shared_ptr<::Ormi::Stub::AsyncApiStub> const& channel) {
  Configuration(transcript, channel);
  Depots(transcript, channel);
  DesiredSoftware(transcript, channel);
  ApplyTasks(transcript, channel);
  Installed(transcript, channel);
  Daemon(transcript, channel);
}

}  // namespace Demo
