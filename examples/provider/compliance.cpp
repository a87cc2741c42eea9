#include "provider/compliance.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <iterator>
#include <list>
#include <map>
#include <set>
#include <vector>

#include "provider/messages.h"

namespace Example {
namespace {

namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
using Status = Sd::ComplianceStatus;
using Impact = Sd::ComplianceImpact;
using ::Ormi::BaseMessage;

std::vector<std::string> SplitVersion(std::string const& version) {
  std::vector<std::string> parts(1);
  for (char const c : version) {
    if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

bool IsNumber(std::string const& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

int Sign(int value) { return (value > 0) - (value < 0); }

// Numbers of any length: without leading zeros, the longer one is larger.
int ComparePart(std::string const& a, std::string const& b) {
  if (!IsNumber(a) || !IsNumber(b)) {
    return Sign(a.compare(b));
  }
  std::string const x = a.substr(std::min(a.find_first_not_of('0'), a.size()));
  std::string const y = b.substr(std::min(b.find_first_not_of('0'), b.size()));
  if (x.size() != y.size()) {
    return x.size() < y.size() ? -1 : 1;
  }
  return Sign(x.compare(y));
}

// COMPLIANT when equal, NON_COMPLIANT when the target is newer, INCOMPATIBLE when older.
Status::Enum VersionStatus(std::string const& current, std::string const& target) {
  int const order = CompareVersions(current, target);
  if (order == 0) {
    return Status::COMPLIANT;
  }
  return order < 0 ? Status::NON_COMPLIANT : Status::INCOMPATIBLE;
}

template <typename Map>
std::set<std::string> KeysOf(Map const& map) {
  std::set<std::string> keys;
  for (auto const& entry : map) {
    keys.insert(entry.first);
  }
  return keys;
}

template <typename Map>
typename Map::mapped_type const* Find(Map const& map, std::string const& key) {
  auto const found = map.find(key);
  return found == map.end() ? nullptr : &found->second;
}

// The notifications of one part of a scan, or of the host.
class Notes {
 public:
  explicit Notes(::Ormi::DateTime time) : time_(time) {}

  void Info(BaseMessage const& message) { Add(info_, message, nullptr); }
  void Warning(BaseMessage const& message) { Add(warnings_, message, nullptr); }
  void Error(BaseMessage const& message, BaseMessage const& resolution) {
    Add(errors_, message, &resolution);
  }

  // Empty kinds stay unset.
  std::shared_ptr<Sd::Notifications const> Build() const {
    auto notifications = std::make_shared<Sd::Notifications>();
    auto const set = [](List const& list, boost::optional<List>& out) {
      if (!list.empty()) {
        out = list;
      }
    };
    set(info_, notifications->info);
    set(warnings_, notifications->warnings);
    set(errors_, notifications->errors);
    return notifications;
  }

 private:
  using List = std::list<std::shared_ptr<Sd::Notification const>>;

  void Add(List& list, BaseMessage const& message, BaseMessage const* resolution) const {
    auto notification = std::make_shared<Sd::Notification>();
    notification->id = message.id;
    notification->time = time_;
    notification->message = Localizable(message);
    if (resolution != nullptr) {
      notification->resolution = Localizable(*resolution);
    }
    list.push_back(std::move(notification));
  }

  ::Ormi::DateTime time_;
  List info_;
  List warnings_;
  List errors_;
};

// Describes a version difference of a base image or a component (`what`: "base_image" or
// "component"; `name`: how the text names it). Nothing when the versions agree.
void NoteVersions(Notes& notes, std::string const& what, std::string const& name,
                  std::string const* current, std::string const& target, Status::Enum status) {
  if (status == Status::COMPLIANT) {
    return;
  }
  if (current == nullptr) {
    notes.Info(Text("compliance." + what + ".missing",
                    "{1} is not installed; version {2} is requested.", name, target));
  } else if (status == Status::NON_COMPLIANT) {
    notes.Info(Text("compliance." + what + ".update",
                    "{1}: version {2} is installed, version {3} is requested.", name, *current,
                    target));
  } else {
    notes.Error(Text("compliance." + what + ".downgrade",
                     "{1}: the requested version {2} is older than the installed version {3}; "
                     "downgrades are not supported.",
                     name, target, *current),
                Text("compliance." + what + ".downgrade.resolution",
                     "Request version {1} or later.", *current));
  }
}

std::shared_ptr<Sd::ComponentInfo const> ComponentInfoOf(InstalledComponent const& component) {
  auto details = std::make_shared<Sd::ComponentDetails>();
  details->display_name = component.display_name;
  details->vendor = component.vendor;
  details->display_version = component.display_version;
  auto info = std::make_shared<Sd::ComponentInfo>();
  info->version = component.version;
  info->details = std::move(details);
  return info;
}

std::shared_ptr<Sd::SolutionInfo const> SolutionInfoOf(std::string const& version,
                                                       std::list<std::string> const& components) {
  auto info = std::make_shared<Sd::SolutionInfo>();
  info->version = version;
  for (auto const& component : components) {
    auto spec = std::make_shared<Sd::SolutionComponentSpec>();
    spec->component = component;
    info->components.push_back(std::move(spec));
  }
  return info;
}

std::list<std::string> ComponentNames(Sd::SolutionSpec const& solution) {
  std::list<std::string> names;
  for (auto const& component : solution.components) {
    names.push_back(component ? component->component : std::string());
  }
  return names;
}

std::shared_ptr<Sd::HardwareSupportPackageInfo const> PackageInfoOf(HardwarePackage const& p) {
  auto info = std::make_shared<Sd::HardwareSupportPackageInfo>();
  info->pkg = p.pkg;
  info->version = p.version;
  return info;
}

using SolutionMap = std::map<std::string, std::shared_ptr<Sd::SolutionSpec const>>;

void InstallComponents(Sd::SoftwareSpec const& target,
                       std::map<std::string, InstalledComponent>& components) {
  std::map<std::string, boost::optional<std::string>> const none;
  auto const& requested = target.components ? *target.components : none;
  for (auto it = components.begin(); it != components.end();) {
    bool const unrequested =
        requested.count(it->first) == 0 && it->second.source.value() == ComponentSource::USER;
    it = unrequested ? components.erase(it) : std::next(it);
  }
  for (auto const& entry : requested) {
    if (!entry.second) {
      components.erase(entry.first);
      continue;
    }
    InstalledComponent& component = components[entry.first];
    if (component.display_name.empty()) {
      component.display_name = entry.first;
    }
    component.version = *entry.second;
    component.display_version = *entry.second;
    component.source = ComponentSource(ComponentSource::USER);
  }
}

// Walks the parts of one scan and keeps the overall status and impact.
class Scanner {
 public:
  Scanner(InstalledSoftware const& installed, ::Ormi::DateTime now)
      : installed_(installed), now_(now) {}

  std::shared_ptr<Sd::HostCompliance const> Run(Sd::SoftwareSpec const& target) {
    auto result = std::make_shared<Sd::HostCompliance>();
    result->scan_time = now_;
    result->base_image = BaseImagePart(target.base_image ? target.base_image->version : "");
    result->add_on = AddOnPart(target.add_on.get());
    ComponentParts(target, result->components);
    SolutionParts(target, result->solutions);
    HardwareParts(target, result->hardware_support);
    result->status = status_;
    result->impact = impact_;
    result->notifications = HostNotes();
    return result;
  }

 private:
  // Counts one part: its status joins the overall status, its impact (when it differs) the
  // overall impact. Statuses and impacts are declared from mildest to worst.
  Status::Enum Count(Status::Enum status, Impact::Enum impact) {
    ++parts_;
    if (status != Status::COMPLIANT) {
      ++differing_;
      status_ = std::max(status_, status);
      impact_ = std::max(impact_, impact);
    }
    return status;
  }

  std::shared_ptr<Sd::BaseImageCompliance const> BaseImagePart(std::string const& target) {
    BaseImage const& current = installed_.base_image;
    auto details = std::make_shared<Sd::BaseImageDetails>();
    details->display_name = current.display_name;
    details->display_version = current.display_version;
    details->release_date = current.release_date;
    auto current_info = std::make_shared<Sd::BaseImageInfo>();
    current_info->version = current.version;
    current_info->details = std::move(details);
    auto target_info = std::make_shared<Sd::BaseImageInfo>();
    target_info->version = target;

    auto part = std::make_shared<Sd::BaseImageCompliance>();
    part->current = std::move(current_info);
    part->target = std::move(target_info);
    part->status = Count(VersionStatus(current.version, target), Impact::REBOOT_REQUIRED);
    Notes notes(now_);
    NoteVersions(notes, "base_image", "The base image", &current.version, target,
                 part->status.value());
    part->notifications = notes.Build();
    return part;
  }

  std::shared_ptr<Sd::AddOnCompliance const> AddOnPart(Sd::AddOnSpec const* target) {
    auto part = std::make_shared<Sd::AddOnCompliance>();
    AddOn const* current = installed_.add_on.get_ptr();
    if (current != nullptr) {
      auto details = std::make_shared<Sd::AddOnDetails>();
      details->display_name = current->display_name;
      details->vendor = current->vendor;
      details->display_version = current->display_version;
      auto info = std::make_shared<Sd::AddOnInfo>();
      info->name = current->name;
      info->version = current->version;
      info->details = std::move(details);
      part->current = std::move(info);
    }
    if (target != nullptr) {
      auto info = std::make_shared<Sd::AddOnInfo>();
      info->name = target->name;
      info->version = target->version;
      part->target = std::move(info);
    }
    bool const same = (current == nullptr && target == nullptr) ||
                      (current != nullptr && target != nullptr && current->name == target->name &&
                       current->version == target->version);
    part->status =
        Count(same ? Status::COMPLIANT : Status::NON_COMPLIANT, Impact::MAINTENANCE_MODE_REQUIRED);
    Notes notes(now_);
    if (!same) {
      notes.Info(Text("compliance.add_on.differs",
                      "The add-on {1} {2} is installed; {3} {4} is requested.",
                      current ? current->name : "(none)", current ? current->version : "",
                      target ? target->name : "(none)", target ? target->version : ""));
    }
    part->notifications = notes.Build();
    return part;
  }

  void ComponentParts(Sd::SoftwareSpec const& target,
                      std::map<std::string, std::shared_ptr<Sd::ComponentCompliance const>>& out) {
    std::map<std::string, boost::optional<std::string>> const none;
    auto const& requested = target.components ? *target.components : none;
    std::set<std::string> ids = KeysOf(requested);
    std::set<std::string> const installed = KeysOf(installed_.components);
    ids.insert(installed.begin(), installed.end());
    for (auto const& id : ids) {
      out[id] = ComponentPart(id, Find(requested, id));
    }
  }

  // `requested`: null when the request does not name the component; an unset version asks
  // for its removal.
  std::shared_ptr<Sd::ComponentCompliance const> ComponentPart(
      std::string const& id, boost::optional<std::string> const* requested) {
    auto part = std::make_shared<Sd::ComponentCompliance>();
    InstalledComponent const* current = Find(installed_.components, id);
    if (current != nullptr) {
      part->current = ComponentInfoOf(*current);
      part->current_source = current->source;
    }
    Notes notes(now_);
    Status::Enum status = Status::COMPLIANT;
    if (requested == nullptr) {
      status = Unrequested(*current, *part, notes);
    } else if (!*requested) {
      status = current == nullptr ? Status::COMPLIANT : Status::NON_COMPLIANT;
      if (current != nullptr) {
        notes.Info(Text("compliance.component.remove", "Component {1} {2} is to be removed.", id,
                        current->version));
      }
    } else {
      auto info = std::make_shared<Sd::ComponentInfo>();
      info->version = **requested;
      part->target = std::move(info);
      part->target_source = ComponentSource(ComponentSource::USER);
      status = current ? VersionStatus(current->version, **requested) : Status::NON_COMPLIANT;
      NoteVersions(notes, "component", "Component " + id, current ? &current->version : nullptr,
                   **requested, status);
    }
    part->status = Count(status, Impact::MAINTENANCE_MODE_REQUIRED);
    part->notifications = notes.Build();
    return part;
  }

  // An installed component the request does not name: kept when it came with something
  // else, removed when a user installed it.
  static Status::Enum Unrequested(InstalledComponent const& current, Sd::ComponentCompliance& part,
                                  Notes& notes) {
    if (current.source.value() != ComponentSource::USER) {
      part.target = part.current;
      part.target_source = current.source;
      return Status::COMPLIANT;
    }
    notes.Warning(Text("compliance.component.unrequested",
                       "Component {1} {2} was installed by a user and is not in the requested "
                       "software; it will be removed.",
                       current.display_name, current.version));
    return Status::NON_COMPLIANT;
  }

  void SolutionParts(Sd::SoftwareSpec const& target,
                     std::map<std::string, std::shared_ptr<Sd::SolutionCompliance const>>& out) {
    std::map<std::string, std::shared_ptr<Sd::SolutionSpec const>> const none;
    auto const& requested = target.solutions ? *target.solutions : none;
    std::set<std::string> ids = KeysOf(requested);
    std::set<std::string> const installed = KeysOf(installed_.solutions);
    ids.insert(installed.begin(), installed.end());
    for (auto const& id : ids) {
      auto const* wanted = Find(requested, id);
      out[id] = SolutionPart(id, wanted ? wanted->get() : nullptr);
    }
  }

  std::shared_ptr<Sd::SolutionCompliance const> SolutionPart(std::string const& id,
                                                             Sd::SolutionSpec const* target) {
    auto part = std::make_shared<Sd::SolutionCompliance>();
    Solution const* current = Find(installed_.solutions, id);
    if (current != nullptr) {
      part->current = SolutionInfoOf(current->version, current->components);
    }
    if (target != nullptr) {
      part->target = SolutionInfoOf(target->version, ComponentNames(*target));
    }
    bool const same = current != nullptr && target != nullptr &&
                      current->version == target->version &&
                      current->components == ComponentNames(*target);
    part->status =
        Count(same ? Status::COMPLIANT : Status::NON_COMPLIANT, Impact::MAINTENANCE_MODE_REQUIRED);
    Notes notes(now_);
    if (!same) {
      notes.Info(Text("compliance.solution.differs",
                      "Solution {1}: version {2} is installed, version {3} is requested.", id,
                      current ? current->version : "(none)", target ? target->version : "(none)"));
    }
    part->notifications = notes.Build();
    return part;
  }

  void HardwareParts(
      Sd::SoftwareSpec const& target,
      boost::optional<std::map<std::string,
                               std::shared_ptr<Sd::HardwareSupportPackageCompliance const>>>& out) {
    std::map<std::string, std::shared_ptr<Sd::HardwareSupportPackageSpec const>> const none;
    auto const& requested = target.hardware_support ? target.hardware_support->packages : none;
    std::set<std::string> managers = KeysOf(requested);
    std::set<std::string> const installed = KeysOf(installed_.hardware_support);
    managers.insert(installed.begin(), installed.end());
    if (managers.empty()) {
      return;
    }
    out.emplace();
    for (auto const& manager : managers) {
      auto const* wanted = Find(requested, manager);
      (*out)[manager] = HardwarePart(manager, wanted ? wanted->get() : nullptr);
    }
  }

  std::shared_ptr<Sd::HardwareSupportPackageCompliance const> HardwarePart(
      std::string const& manager, Sd::HardwareSupportPackageSpec const* target) {
    auto part = std::make_shared<Sd::HardwareSupportPackageCompliance>();
    HardwarePackage const* current = Find(installed_.hardware_support, manager);
    boost::optional<HardwarePackage> wanted;
    if (target != nullptr && target->pkg) {
      wanted = HardwarePackage{*target->pkg, target->version.value_or("")};
      part->target = PackageInfoOf(*wanted);
    }
    if (current != nullptr) {
      part->current = PackageInfoOf(*current);
    }
    bool const same = (current == nullptr && !wanted) ||
                      (current != nullptr && wanted && current->pkg == wanted->pkg &&
                       current->version == wanted->version);
    part->status = Count(same ? Status::COMPLIANT : Status::NON_COMPLIANT, Impact::REBOOT_REQUIRED);
    Notes notes(now_);
    if (!same) {
      notes.Info(Text("compliance.hardware_support.differs",
                      "Hardware support of {1}: {2} is installed, {3} is requested.", manager,
                      current ? current->pkg + " " + current->version : "(none)",
                      wanted ? wanted->pkg + " " + wanted->version : "(none)"));
    }
    part->notifications = notes.Build();
    return part;
  }

  std::shared_ptr<Sd::Notifications const> HostNotes() const {
    Notes notes(now_);
    if (differing_ == 0) {
      notes.Info(Text("compliance.host.compliant", "The host runs the requested software."));
    } else {
      notes.Warning(Text("compliance.host.differs",
                         "{1} of {2} parts of the host's software differ from the request.",
                         std::to_string(differing_), std::to_string(parts_)));
    }
    if (status_ == Status::INCOMPATIBLE) {
      notes.Error(Text("compliance.host.incompatible",
                       "The requested software cannot be applied to this host."),
                  Text("compliance.host.incompatible.resolution",
                       "Fix the parts reported as incompatible and scan again."));
    }
    return notes.Build();
  }

  InstalledSoftware const& installed_;
  ::Ormi::DateTime now_;
  Status::Enum status_ = Status::COMPLIANT;
  Impact::Enum impact_ = Impact::NO_IMPACT;
  std::size_t parts_ = 0;
  std::size_t differing_ = 0;
};

}  // namespace

int CompareVersions(std::string const& a, std::string const& b) {
  std::vector<std::string> const x = SplitVersion(a);
  std::vector<std::string> const y = SplitVersion(b);
  for (std::size_t i = 0; i < std::min(x.size(), y.size()); ++i) {
    int const order = ComparePart(x[i], y[i]);
    if (order != 0) {
      return order;
    }
  }
  return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

void InstallSoftware(Sd::SoftwareSpec const& target, InstalledSoftware& installed) {
  std::string const version = target.base_image ? target.base_image->version : "";
  installed.base_image.version = version;
  installed.base_image.display_version = version;
  installed.add_on = boost::none;
  if (target.add_on) {
    installed.add_on = AddOn{target.add_on->name, target.add_on->version, target.add_on->name,
                             target.add_on->version, ""};
  }
  InstallComponents(target, installed.components);
  installed.solutions.clear();
  for (auto const& solution : target.solutions.value_or(SolutionMap())) {
    installed.solutions[solution.first] =
        Solution{solution.second->version, ComponentNames(*solution.second)};
  }
  installed.hardware_support.clear();
  if (target.hardware_support) {
    for (auto const& package : target.hardware_support->packages) {
      if (package.second->pkg) {
        installed.hardware_support[package.first] =
            HardwarePackage{*package.second->pkg, package.second->version.value_or("")};
      }
    }
  }
}

std::shared_ptr<Sd::HostCompliance const> CheckCompliance(Sd::SoftwareSpec const& target,
                                                          InstalledSoftware const& installed,
                                                          ::Ormi::DateTime now) {
  return Scanner(installed, now).Run(target);
}

}  // namespace Example
