// The settings daemon's two services and the two installed-software listings. They work on
// the provider's own host.
#include <chrono>

#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "com/norval/hyrn/software/software.h"
#include "provider/compliance.h"
#include "provider/service_support.h"

namespace Example {
namespace {

namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
namespace Sw = ::Com::Norval::Hyrn::Software;
using ::Ormi::Void;

::Ormi::DateTime Now() {
  auto const since_epoch = std::chrono::system_clock::now().time_since_epoch();
  return ::Ormi::DateTime::FromMillisecondsSinceEpoch(
      std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch).count());
}

// InvalidArgument unless every depot is one of the host's depots.
Answer<Void> CheckDepots(Host const& host, std::list<std::string> const& depots) {
  for (auto const& depot : depots) {
    if (host.desired.depots.count(depot) == 0) {
      return Fail<Errors::InvalidArgument>(
          Text("apply.depot.unknown", "The host has no depot {1}.", depot));
    }
  }
  return Void();
}

// Runs `work(Host&)` on the provider's own host, as a task of `Method`, after `check(Host&)`
// passed.
template <typename Method, typename R, typename Check, typename Work>
void StartOnLocalHost(ContextPtr const& context, ActivationPtr const& activation,
                      TaskResult<R> const& result, Check check, Work work) {
  auto const checked =
      OnHost<Errors::ServiceUnavailable>(*context->model, context->local_host, std::move(check));
  if (checked.error) {
    result.SetError(*checked.error);
    return;
  }
  context->tasks->Start<Method>(activation, result, [context, work = std::move(work)]() {
    return OnHost<Errors::ServiceUnavailable>(*context->model, context->local_host, work);
  });
}

class Components final : public Sd::ComponentsSvc::AsyncServiceInterface {
 public:
  explicit Components(ContextPtr context) : context_(std::move(context)) {}

  void Apply(std::shared_ptr<Sd::ComponentsSvc::ApplySpec const> const& apply_spec,
             ActivationPtr const& activation, TaskResult<Void> const& result) override {
    if (!apply_spec || apply_spec->components.empty()) {
      result.SetError(EmptyName("component map"));
      return;
    }
    StartOnLocalHost<Sd::ComponentsSvc::ApplyMethod>(
        context_, activation, result, [&](Host& h) { return CheckDepots(h, apply_spec->depots); },
        [apply_spec](Host& h) -> Answer<Void> {
          for (auto const& entry : apply_spec->components) {
            InstalledComponent& component = h.installed.components[entry.first];
            if (component.display_name.empty()) {
              component.display_name = entry.first;
            }
            component.version = entry.second;
            component.display_version = entry.second;
            component.source = ComponentSource(ComponentSource::USER);
          }
          return Void();
        });
  }

 private:
  ContextPtr context_;
};

class Software final : public Sd::SoftwareSvc::AsyncServiceInterface {
 public:
  explicit Software(ContextPtr context) : context_(std::move(context)) {}

  using CompliancePtr = std::shared_ptr<Sd::HostCompliance const>;

  // Refused when a scan finds the specification incompatible with the host.
  void Apply(std::shared_ptr<Sd::SoftwareSvc::ApplySpec const> const& apply_spec,
             ActivationPtr const& activation, TaskResult<Void> const& result) override {
    if (!apply_spec || !apply_spec->software_spec || !apply_spec->software_spec->base_image) {
      result.SetError(EmptyName("software specification"));
      return;
    }
    auto const spec = apply_spec->software_spec;
    StartOnLocalHost<Sd::SoftwareSvc::ApplyMethod>(
        context_, activation, result,
        [&](Host& h) -> Answer<Void> {
          if (CheckCompliance(*spec, h.installed, Now())->status ==
              Sd::ComplianceStatus::INCOMPATIBLE) {
            return Fail<Errors::NotAllowedInCurrentState>(
                Text("apply.incompatible",
                     "The software cannot be applied to the host; scan it for the details."));
          }
          return CheckDepots(h, apply_spec->depots);
        },
        [spec](Host& h) -> Answer<Void> {
          InstallSoftware(*spec, h.installed);
          return Void();
        });
  }

  // The comparison runs as the task's work; its result reaches the task's result callback.
  void Scan(std::shared_ptr<Sd::SoftwareSvc::ScanSpec const> const& scan_spec,
            ActivationPtr const& activation, TaskResult<CompliancePtr> const& result) override {
    if (!scan_spec || !scan_spec->software_spec) {
      result.SetError(EmptyName("software specification"));
      return;
    }
    auto const spec = scan_spec->software_spec;
    StartOnLocalHost<Sd::SoftwareSvc::ScanMethod>(
        context_, activation, result, [&](Host& h) { return CheckDepots(h, scan_spec->depots); },
        [spec](Host& h) -> Answer<CompliancePtr> {
          return CheckCompliance(*spec, h.installed, Now());
        });
  }

 private:
  ContextPtr context_;
};

class InstalledComponents final : public Sw::InstalledComponentsSvc::AsyncServiceInterface {
 public:
  explicit InstalledComponents(ContextPtr context) : context_(std::move(context)) {}

  using InfoMap =
      std::map<std::string,
               std::shared_ptr<Sw::InstalledComponentsSvc::InstalledComponentInfo const>>;

  void List(ActivationPtr const& /*activation*/, Result<InfoMap> const& result) override {
    Complete(result,
             OnHost<Errors::ServiceUnavailable>(
                 *context_->model, context_->local_host, [](Host& h) -> Answer<InfoMap> {
                   InfoMap map;
                   for (auto const& entry : h.installed.components) {
                     auto info =
                         std::make_shared<Sw::InstalledComponentsSvc::InstalledComponentInfo>();
                     info->display_name = entry.second.display_name;
                     info->version = entry.second.version;
                     info->display_version = entry.second.display_version;
                     map[entry.first] = std::move(info);
                   }
                   return map;
                 }));
  }

 private:
  ContextPtr context_;
};

class InstalledParcels final : public Sw::InstalledParcelsSvc::AsyncServiceInterface {
 public:
  explicit InstalledParcels(ContextPtr context) : context_(std::move(context)) {}

  using ParcelList = std::list<std::shared_ptr<Sw::InstalledParcelsSvc::ParcelInfo const>>;

  void List(::Ormi::OptionalPtr<Sw::InstalledParcelsSvc::FilterSpec const> const& filter,
            ActivationPtr const& /*activation*/, Result<ParcelList> const& result) override {
    bool const standalone_only = filter && filter->standalone_parcels_only.value_or(false);
    Complete(result, OnHost<Errors::ServiceUnavailable>(
                         *context_->model, context_->local_host,
                         [standalone_only](Host& h) -> Answer<ParcelList> {
                           ParcelList list;
                           for (auto const& parcel : h.installed.parcels) {
                             if (standalone_only && !parcel.standalone) {
                               continue;
                             }
                             auto info = std::make_shared<Sw::InstalledParcelsSvc::ParcelInfo>();
                             info->parcel = parcel.parcel;
                             info->name = parcel.name;
                             info->version = parcel.version;
                             list.push_back(std::move(info));
                           }
                           return list;
                         }));
  }

 private:
  ContextPtr context_;
};

}  // namespace

bool RegisterSettingsDaemon(ContextPtr const& context, ::Ormi::InProcess::Registry& registry) {
  return Register<Sd::ComponentsSvc, Components>(context, registry) &&
         Register<Sd::SoftwareSvc, Software>(context, registry);
}

bool RegisterSoftware(ContextPtr const& context, ::Ormi::InProcess::Registry& registry) {
  return Register<Sw::InstalledComponentsSvc, InstalledComponents>(context, registry) &&
         Register<Sw::InstalledParcelsSvc, InstalledParcels>(context, registry);
}

}  // namespace Example
