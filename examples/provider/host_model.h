// The in-memory hosts behind the example provider: per host its desired state (configuration,
// depots, software) and the software installed on it. One mutex guards the whole model.
#pragma once

#include <list>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include <boost/optional.hpp>

#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "ormi/data/dynamic_structure.h"
#include "ormi/types.h"

namespace Example {

using ComponentSource = ::Com::Norval::Hyrn::SettingsDaemon::ComponentSource;

struct InstalledComponent {
  std::string version;
  std::string display_name;
  std::string display_version;
  std::string vendor;
  std::string summary;
  std::string description;
  ComponentSource source = ComponentSource::USER;
};

struct BaseImage {
  std::string version;
  std::string display_name;
  std::string display_version;
  std::string vendor;
  std::string summary;
  std::string description;
  ::Ormi::DateTime release_date;
};

struct AddOn {
  std::string name;
  std::string version;
  std::string display_name;
  std::string display_version;
  std::string vendor;
};

struct Solution {
  std::string version;
  std::list<std::string> components;
};

struct HardwarePackage {
  std::string pkg;
  std::string version;
};

struct Parcel {
  std::string parcel;
  std::string name;
  std::string version;
  bool standalone = false;  // installed on its own, not as part of a component
};

// What is installed on a host.
struct InstalledSoftware {
  BaseImage base_image;
  boost::optional<AddOn> add_on;
  std::map<std::string, InstalledComponent> components;
  std::map<std::string, Solution> solutions;
  std::map<std::string, HardwarePackage> hardware_support;  // by hardware support manager
  std::list<Parcel> parcels;
};

// What the host should run: configuration per component and key, depots by name (their
// URLs), the base image version and the component versions (an unset version: remove it).
struct DesiredState {
  std::map<std::string, std::map<std::string, ::Ormi::Data::DynamicStructure>> config;
  std::map<std::string, std::string> depots;
  std::string hyrn;
  std::map<std::string, boost::optional<std::string>> components;
};

struct Host {
  DesiredState desired;
  InstalledSoftware installed;
};

// The hosts, by name. Every access runs under the model's mutex, so services may be called
// from any thread; callers finish their work on a host before completing any result.
class HostModel {
 public:
  void Add(std::string const& name, Host host);

  // Runs `work(Host&)` on the named host under the lock and returns true; false (and `work`
  // is not run) when there is no such host.
  template <typename Work>
  bool With(std::string const& name, Work&& work) {
    std::lock_guard<std::mutex> const lock(mutex_);
    auto const found = hosts_.find(name);
    if (found == hosts_.end()) {
      return false;
    }
    std::forward<Work>(work)(found->second);
    return true;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, Host> hosts_;
};

// Three sample hosts: "host-01" (the settings daemon's own host, with an add-on, a solution,
// hardware support and parcels), "host-02" and "host-03" (plainer, on other versions).
void AddSampleHosts(HostModel& model);

}  // namespace Example
