// The compliance scan: how the software installed on a host compares with a requested
// software specification.
//
// Each part gets a status and, when it differs, adds to the overall impact:
// - base image: same version COMPLIANT; a newer target NON_COMPLIANT, an older one INCOMPATIBLE
//   (no downgrades); either difference needs a reboot;
// - add-on: same name and version (or none on both sides) COMPLIANT, else NON_COMPLIANT;
// - components, over the requested and the installed ones: a requested version is compared
//   like the base image; an unset requested version asks for removal; an installed component
//   the request does not name stays when it came with the base image, the add-on, a solution
//   or a hardware support package, and is to be removed when a user installed it;
// - solutions and hardware support packages, over both sides: equal or NON_COMPLIANT.
// Component, add-on and solution changes need maintenance mode; hardware support packages a
// reboot. Every difference is reported as a notification with a localizable message; the
// overall status is the worst part status.
#pragma once

#include <memory>
#include <string>

#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "ormi/types.h"
#include "provider/host_model.h"

namespace Example {

// Compares `target` with `installed`; `now` becomes the scan time and the notifications' time.
std::shared_ptr<::Com::Norval::Hyrn::SettingsDaemon::HostCompliance const> CheckCompliance(
    ::Com::Norval::Hyrn::SettingsDaemon::SoftwareSpec const& target,
    InstalledSoftware const& installed, ::Ormi::DateTime now);

// Installs `target` the way the daemon's apply does, so that a scan against `target` then
// finds the host compliant: the base image, the add-on, the requested components (an unset
// version removes one; user-installed components the request does not name are removed), and
// the solutions and hardware support packages, which replace the installed ones.
void InstallSoftware(::Com::Norval::Hyrn::SettingsDaemon::SoftwareSpec const& target,
                     InstalledSoftware& installed);

// Orders dotted versions ("8.0.10" after "8.0.2"): parts are compared as numbers when both
// are digits only, as text otherwise; a missing part sorts first. Negative, zero or positive.
int CompareVersions(std::string const& a, std::string const& b);

}  // namespace Example
