// The seven host_settings services: a host's desired state and the task that applies it.
#include "com/norval/hyrn/host_settings/host_settings.h"
#include "ormi/data/value.h"
#include "provider/compliance.h"
#include "provider/service_support.h"

namespace Example {
namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
using ::Ormi::Void;
using ::Ormi::Data::DynamicStructure;

// Makes the installed software match the desired software: the base image version and each
// component with a version; components whose version is unset are removed.
void ApplyDesired(Host& host) {
  if (!host.desired.hyrn.empty()) {
    host.installed.base_image.version = host.desired.hyrn;
    host.installed.base_image.display_version = host.desired.hyrn;
  }
  for (auto const& entry : host.desired.components) {
    if (!entry.second) {
      host.installed.components.erase(entry.first);
      continue;
    }
    InstalledComponent& component = host.installed.components[entry.first];
    if (component.display_name.empty()) {
      component.display_name = entry.first;
    }
    component.version = *entry.second;
    component.display_version = *entry.second;
    component.source = ComponentSource::USER;
  }
}

class HostSettings final : public ::Com::Norval::Hyrn::HostSettingsSvc::AsyncServiceInterface {
 public:
  explicit HostSettings(ContextPtr context) : context_(std::move(context)) {}

  // Refused for a base image older than the installed one: the host cannot go back.
  void Apply(std::string const& host, ActivationPtr const& activation,
             TaskResult<Void> const& result) override {
    if (host.empty()) {
      result.SetError(EmptyName("host name"));
      return;
    }
    auto const check =
        OnHost<Errors::NotFound>(*context_->model, host, [](Host& h) -> Answer<Void> {
          if (!h.desired.hyrn.empty() &&
              CompareVersions(h.desired.hyrn, h.installed.base_image.version) < 0) {
            return Fail<Errors::NotAllowedInCurrentState>(
                Text("apply.downgrade", "The host runs base image {1}; it cannot go back to {2}.",
                     h.installed.base_image.version, h.desired.hyrn));
          }
          return Void();
        });
    if (check.error) {
      result.SetError(*check.error);
      return;
    }
    context_->tasks->Start<::Com::Norval::Hyrn::HostSettingsSvc::ApplyMethod>(
        activation, result, [context = context_, host]() {
          return OnHost<Errors::NotFound>(*context->model, host, [](Host& h) -> Answer<Void> {
            ApplyDesired(h);
            return Void();
          });
        });
  }

 private:
  ContextPtr context_;
};

// A component's configuration as one structure: a field per configuration key.
DynamicStructure ComponentConfig(std::map<std::string, DynamicStructure> const& keys) {
  auto value = ::Ormi::Data::StructValue::GetInstance("com.norval.hyrn.example.component_config");
  for (auto const& key : keys) {
    value->SetField(key.first, key.second.value());
  }
  return DynamicStructure(value);
}

class Config final : public Hs::ConfigSvc::AsyncServiceInterface {
 public:
  explicit Config(ContextPtr context) : context_(std::move(context)) {}

  void Get(std::string const& host, ActivationPtr const& /*activation*/,
           Result<std::shared_ptr<Hs::ConfigSpec const>> const& result) override {
    using R = std::shared_ptr<Hs::ConfigSpec const>;
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [](Host& h) -> Answer<R> {
               auto spec = std::make_shared<Hs::ConfigSpec>();
               for (auto const& component : h.desired.config) {
                 spec->components[component.first] = ComponentConfig(component.second);
               }
               return R(std::move(spec));
             }));
  }

 private:
  ContextPtr context_;
};

bool KnowsComponent(Host const& host, std::string const& component) {
  return host.installed.components.count(component) != 0 ||
         host.desired.components.count(component) != 0 || host.desired.config.count(component);
}

class Keys final : public Hs::Config::Components::KeysSvc::AsyncServiceInterface {
 public:
  explicit Keys(ContextPtr context) : context_(std::move(context)) {}

  void Get(std::string const& host, std::string const& component, std::string const& key,
           ActivationPtr const& /*activation*/, Result<DynamicStructure> const& result) override {
    Complete(result, OnHost<Errors::NotFound>(
                         *context_->model, host, [&](Host& h) -> Answer<DynamicStructure> {
                           auto const* entry = Find(h, component, key);
                           if (entry == nullptr) {
                             return Unknown("configuration key", component + "/" + key, host);
                           }
                           return *entry;
                         }));
  }

  // The component must be known on the host (installed, wanted or configured already).
  void Set(std::string const& host, std::string const& component, std::string const& key,
           DynamicStructure const& config, ActivationPtr const& /*activation*/,
           Result<Void> const& result) override {
    if (component.empty() || key.empty()) {
      result.SetError(EmptyName(component.empty() ? "component" : "key"));
      return;
    }
    if (!config.value() || config.value()->kind() != ::Ormi::Data::ValueKind::kStructure) {
      result.SetError(Fail<Errors::InvalidArgument>(
          Text("config.not_structure", "The configuration of {1}/{2} must be a structure.",
               component, key)));
      return;
    }
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               if (!KnowsComponent(h, component)) {
                 return Unknown("component", component, host);
               }
               h.desired.config[component][key] = config;
               return Void();
             }));
  }

  void Delete(std::string const& host, std::string const& component, std::string const& key,
              ActivationPtr const& /*activation*/, Result<Void> const& result) override {
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               if (Find(h, component, key) == nullptr) {
                 return Unknown("configuration key", component + "/" + key, host);
               }
               auto& keys = h.desired.config[component];
               keys.erase(key);
               if (keys.empty()) {
                 h.desired.config.erase(component);
               }
               return Void();
             }));
  }

 private:
  static DynamicStructure const* Find(Host const& host, std::string const& component,
                                      std::string const& key) {
    auto const keys = host.desired.config.find(component);
    if (keys == host.desired.config.end()) {
      return nullptr;
    }
    auto const entry = keys->second.find(key);
    return entry == keys->second.end() ? nullptr : &entry->second;
  }

  ContextPtr context_;
};

class Depots final : public Hs::DepotsSvc::AsyncServiceInterface {
 public:
  explicit Depots(ContextPtr context) : context_(std::move(context)) {}

  using DepotList = std::list<std::shared_ptr<Hs::DepotSpec const>>;

  // Declares no NotFound: a host this provider does not know is out of its reach.
  void List(std::string const& host, ActivationPtr const& /*activation*/,
            Result<DepotList> const& result) override {
    Complete(result, OnHost<Errors::ServiceUnavailable>(
                         *context_->model, host, [](Host& h) -> Answer<DepotList> {
                           DepotList depots;
                           for (auto const& depot : h.desired.depots) {
                             auto spec = std::make_shared<Hs::DepotSpec>();
                             spec->name = depot.first;
                             spec->url = depot.second;
                             depots.push_back(std::move(spec));
                           }
                           return depots;
                         }));
  }

  void Create(std::string const& host, std::shared_ptr<Hs::DepotsSvc::CreateSpec const> const& spec,
              ActivationPtr const& /*activation*/, Result<Void> const& result) override {
    if (!spec || spec->name.empty() || spec->url.empty()) {
      result.SetError(EmptyName(spec && !spec->name.empty() ? "depot URL" : "depot name"));
      return;
    }
    Complete(result,
             OnHost<Errors::InvalidArgument>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               if (!h.desired.depots.emplace(spec->name, spec->url).second) {
                 return Fail<Errors::AlreadyExists>(
                     Text("depot.exists", "Host {1} has a depot {2} already.", host, spec->name));
               }
               return Void();
             }));
  }

  void Delete(std::string const& host, std::string const& name, ActivationPtr const& /*activation*/,
              Result<Void> const& result) override {
    if (name.empty()) {
      result.SetError(EmptyName("depot name"));
      return;
    }
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               if (h.desired.depots.erase(name) == 0) {
                 return Unknown("depot", name, host);
               }
               return Void();
             }));
  }

 private:
  ContextPtr context_;
};

class Software final : public Hs::SoftwareSvc::AsyncServiceInterface {
 public:
  explicit Software(ContextPtr context) : context_(std::move(context)) {}

  using SpecPtr = std::shared_ptr<Hs::SoftwareSpec const>;

  void Get(std::string const& host, ActivationPtr const& /*activation*/,
           Result<SpecPtr> const& result) override {
    Complete(result,
             OnHost<Errors::NotFound>(*context_->model, host, [](Host& h) -> Answer<SpecPtr> {
               auto spec = std::make_shared<Hs::SoftwareSpec>();
               spec->hyrn = h.desired.hyrn;
               spec->components = h.desired.components;
               return SpecPtr(std::move(spec));
             }));
  }

  void Set(std::string const& host, SpecPtr const& spec, ActivationPtr const& /*activation*/,
           Result<Void> const& result) override {
    if (!spec || spec->hyrn.empty()) {
      result.SetError(EmptyName("base image version"));
      return;
    }
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               h.desired.hyrn = spec->hyrn;
               h.desired.components = spec->components;
               return Void();
             }));
  }

 private:
  ContextPtr context_;
};

class Components final : public Hs::Software::ComponentsSvc::AsyncServiceInterface {
 public:
  explicit Components(ContextPtr context) : context_(std::move(context)) {}

  using Version = boost::optional<std::string>;

  void Get(std::string const& host, std::string const& component,
           ActivationPtr const& /*activation*/, Result<Version> const& result) override {
    if (component.empty()) {
      result.SetError(EmptyName("component"));
      return;
    }
    Complete(result,
             OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Version> {
               auto const found = h.desired.components.find(component);
               if (found == h.desired.components.end()) {
                 return Unknown("component", component, host);
               }
               return found->second;
             }));
  }

  void Set(std::string const& host, std::string const& component, Version const& version,
           ActivationPtr const& /*activation*/, Result<Void> const& result) override {
    if (component.empty()) {
      result.SetError(EmptyName("component"));
      return;
    }
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               h.desired.components[component] = version;
               return Void();
             }));
  }

  void Delete(std::string const& host, std::string const& component,
              ActivationPtr const& /*activation*/, Result<Void> const& result) override {
    if (component.empty()) {
      result.SetError(EmptyName("component"));
      return;
    }
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               if (h.desired.components.erase(component) == 0) {
                 return Unknown("component", component, host);
               }
               return Void();
             }));
  }

 private:
  ContextPtr context_;
};

class Hyrn final : public Hs::Software::HyrnSvc::AsyncServiceInterface {
 public:
  explicit Hyrn(ContextPtr context) : context_(std::move(context)) {}

  void Get(std::string const& host, ActivationPtr const& /*activation*/,
           Result<std::string> const& result) override {
    Complete(result,
             OnHost<Errors::NotFound>(*context_->model, host, [](Host& h) -> Answer<std::string> {
               return h.desired.hyrn;
             }));
  }

  void Set(std::string const& host, std::string const& version, ActivationPtr const& /*activation*/,
           Result<Void> const& result) override {
    if (version.empty()) {
      result.SetError(EmptyName("base image version"));
      return;
    }
    Complete(result, OnHost<Errors::NotFound>(*context_->model, host, [&](Host& h) -> Answer<Void> {
               h.desired.hyrn = version;
               return Void();
             }));
  }

 private:
  ContextPtr context_;
};

}  // namespace

bool RegisterHostSettings(ContextPtr const& context, ::Ormi::InProcess::Registry& registry) {
  return Register<::Com::Norval::Hyrn::HostSettingsSvc, HostSettings>(context, registry) &&
         Register<Hs::ConfigSvc, Config>(context, registry) &&
         Register<Hs::Config::Components::KeysSvc, Keys>(context, registry) &&
         Register<Hs::DepotsSvc, Depots>(context, registry) &&
         Register<Hs::SoftwareSvc, Software>(context, registry) &&
         Register<Hs::Software::ComponentsSvc, Components>(context, registry) &&
         Register<Hs::Software::HyrnSvc, Hyrn>(context, registry);
}

}  // namespace Example
