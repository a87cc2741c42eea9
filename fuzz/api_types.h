// The API's structures, enumerations, services and operations as lists, a table that runs a check
// for the type at an index, and the dictionary of strings that the value generator draws from.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "com/norval/hyrn/host_settings/host_settings_types.h"
#include "com/norval/hyrn/hosts/hosts_services.h"
#include "com/norval/hyrn/hosts/hosts_types.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_services.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_types.h"
#include "com/norval/hyrn/software/software_services.h"
#include "com/norval/hyrn/software/software_types.h"
#include "fuzz_input.h"
#include "ormi/data/type_list.h"

namespace Hyrn {
namespace Fuzz {

template <typename... Lists>
struct Concat;
template <typename... T>
struct Concat<Ormi::Data::TypeList<T...>> {
  using type = Ormi::Data::TypeList<T...>;
};
template <typename... A, typename... B, typename... Rest>
struct Concat<Ormi::Data::TypeList<A...>, Ormi::Data::TypeList<B...>, Rest...>
    : Concat<Ormi::Data::TypeList<A..., B...>, Rest...> {};

namespace Api = ::Com::Norval::Hyrn;

using ApiStructures =
    Concat<Api::HostSettings::AllStructures, Api::Hosts::AllStructures,
           Api::SettingsDaemon::AllStructures, Api::Software::AllStructures>::type;
using ApiEnumerations =
    Concat<Api::HostSettings::AllEnumerations, Api::Hosts::AllEnumerations,
           Api::SettingsDaemon::AllEnumerations, Api::Software::AllEnumerations>::type;

using ApiServices = Concat<Api::HostSettings::AllServices, Api::Hosts::AllServices,
                           Api::SettingsDaemon::AllServices, Api::Software::AllServices>::type;

// The method classes of every operation of every service (OperationEntry::MethodType).
template <typename... Entries>
Ormi::Data::TypeList<typename Entries::MethodType...> MethodsOf(
    Ormi::Data::TypeList<Entries...> /*unused*/);
template <typename... Services>
typename Concat<decltype(MethodsOf(typename Services::Operations{}))...>::type AllMethodsOf(
    Ormi::Data::TypeList<Services...> /*unused*/);
using ApiMethods = decltype(AllMethodsOf(ApiServices{}));

template <typename... T>
constexpr std::size_t Count(Ormi::Data::TypeList<T...> /*unused*/) {
  return sizeof...(T);
}

// Runs `Check<T>::Run(input)` for the type at `index` (taken modulo the list's length).
template <template <typename> class Check, typename... T>
void RunAt(Ormi::Data::TypeList<T...> /*unused*/, std::size_t index, FuzzInput& input) {
  using Run = void (*)(FuzzInput&);
  static constexpr Run kTable[] = {&Check<T>::Run...};
  kTable[index % sizeof...(T)](input);
}

// Strings that mean something to the conversions: every enumeration wire name, the names
// that values use for their own purposes, date-time texts and their near misses.
std::vector<std::string> const& Dictionary();

}  // namespace Fuzz
}  // namespace Hyrn
