// The three hosts services: a host's whole desired state in one task, and the components and
// base image installed on it.
#include <algorithm>

#include "com/norval/hyrn/hosts/hosts.h"
#include "ormi/data/value.h"
#include "provider/service_support.h"

namespace Example {
namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
namespace Ho = ::Com::Norval::Hyrn::Hosts;
using ::Ormi::Void;
using ::Ormi::Data::DynamicStructure;

using ConfigPtr = ::Ormi::OptionalPtr<Hs::ConfigSpec const>;
using SoftwarePtr = ::Ormi::OptionalPtr<Hs::SoftwareSpec const>;
using DepotList = std::list<std::shared_ptr<Hs::DepotSpec const>>;

bool IsStructure(::Ormi::Data::ValuePtr const& value) {
  return value && value->kind() == ::Ormi::Data::ValueKind::kStructure;
}

// A component's configuration split into its keys: each field must itself be a structure.
bool SplitConfig(DynamicStructure const& config, std::map<std::string, DynamicStructure>* keys) {
  if (!IsStructure(config.value())) {
    return false;
  }
  auto const& fields = static_cast<::Ormi::Data::StructValue const&>(*config.value()).fields();
  if (!std::all_of(fields.begin(), fields.end(),
                   [](auto const& field) { return IsStructure(field.second); })) {
    return false;
  }
  for (auto const& field : fields) {
    (*keys)[std::string(field.first)] = DynamicStructure(field.second);
  }
  return true;
}

using ConfigMap = std::map<std::string, std::map<std::string, DynamicStructure>>;

class Settings final : public Ho::SettingsSvc::AsyncServiceInterface {
 public:
  explicit Settings(ContextPtr context) : context_(std::move(context)) {}

  // Parts left unset stay as they are. The configuration is checked before the task starts.
  void Set(std::string const& host, ConfigPtr const& config_spec, SoftwarePtr const& software_spec,
           boost::optional<DepotList> const& depots, ActivationPtr const& activation,
           TaskResult<Void> const& result) override {
    boost::optional<ConfigMap> config;
    if (config_spec) {
      config.emplace();
      for (auto const& component : config_spec->components) {
        if (!SplitConfig(component.second, &(*config)[component.first])) {
          result.SetError(Fail<Errors::InvalidArgument>(Text(
              "config.not_structure", "The configuration of {1} must be a structure of structures.",
              component.first)));
          return;
        }
      }
    }
    auto const known = OnHost<Errors::InvalidArgument>(
        *context_->model, host, [](Host& /*h*/) -> Answer<Void> { return Void(); });
    if (known.error) {
      result.SetError(*known.error);
      return;
    }
    context_->tasks->Start<Ho::SettingsSvc::SetMethod>(
        activation, result, [context = context_, host, config, software_spec, depots]() {
          return OnHost<Errors::InvalidArgument>(*context->model, host,
                                                 [&](Host& h) -> Answer<Void> {
                                                   Store(h.desired, config, software_spec, depots);
                                                   return Void();
                                                 });
        });
  }

 private:
  static void Store(DesiredState& desired, boost::optional<ConfigMap> const& config,
                    SoftwarePtr const& software, boost::optional<DepotList> const& depots) {
    if (config) {
      desired.config = *config;
    }
    if (software) {
      desired.hyrn = software->hyrn;
      desired.components = software->components;
    }
    if (depots) {
      desired.depots.clear();
      for (auto const& depot : *depots) {
        desired.depots[depot->name] = depot->url;
      }
    }
  }

  ContextPtr context_;
};

class Components final : public Ho::Software::ComponentsSvc::AsyncServiceInterface {
 public:
  explicit Components(ContextPtr context) : context_(std::move(context)) {}

  using InfoPtr = std::shared_ptr<Ho::Software::ComponentsSvc::Info const>;
  using SummaryList = std::list<std::shared_ptr<Ho::Software::ComponentsSvc::Summary const>>;

  void Get(std::string const& host, std::string const& component,
           ActivationPtr const& /*activation*/, Result<InfoPtr> const& result) override {
    if (component.empty()) {
      result.SetError(EmptyName("component"));
      return;
    }
    Complete(result,
             OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<InfoPtr> {
               auto const found = h.installed.components.find(component);
               if (found == h.installed.components.end()) {
                 return Unknown("installed component", component, host);
               }
               auto info = std::make_shared<Ho::Software::ComponentsSvc::Info>();
               info->version = found->second.version;
               info->vendor = found->second.vendor;
               info->summary = found->second.summary;
               info->description = found->second.description;
               return InfoPtr(std::move(info));
             }));
  }

  void List(std::string const& host, ActivationPtr const& /*activation*/,
            Result<SummaryList> const& result) override {
    Complete(result,
             OnHost<Errors::NotFound>(*context_->model, host, [](Host& h) -> Answer<SummaryList> {
               SummaryList list;
               for (auto const& entry : h.installed.components) {
                 auto summary = std::make_shared<Ho::Software::ComponentsSvc::Summary>();
                 summary->component = entry.first;
                 summary->version = entry.second.version;
                 summary->vendor = entry.second.vendor;
                 list.push_back(std::move(summary));
               }
               return list;
             }));
  }

 private:
  ContextPtr context_;
};

class Hyrn final : public Ho::Software::HyrnSvc::AsyncServiceInterface {
 public:
  explicit Hyrn(ContextPtr context) : context_(std::move(context)) {}

  using InfoPtr = std::shared_ptr<Ho::Software::HyrnSvc::Info const>;

  void Get(std::string const& host, ActivationPtr const& /*activation*/,
           Result<InfoPtr> const& result) override {
    Complete(result,
             OnHost<Errors::NotFound>(*context_->model, host, [](Host& h) -> Answer<InfoPtr> {
               auto info = std::make_shared<Ho::Software::HyrnSvc::Info>();
               info->version = h.installed.base_image.version;
               info->vendor = h.installed.base_image.vendor;
               info->summary = h.installed.base_image.summary;
               info->description = h.installed.base_image.description;
               return InfoPtr(std::move(info));
             }));
  }

 private:
  ContextPtr context_;
};

}  // namespace

bool RegisterHosts(ContextPtr const& context, ::Ormi::InProcess::Registry& registry) {
  return Register<Ho::SettingsSvc, Settings>(context, registry) &&
         Register<Ho::Software::ComponentsSvc, Components>(context, registry) &&
         Register<Ho::Software::HyrnSvc, Hyrn>(context, registry);
}

}  // namespace Example
