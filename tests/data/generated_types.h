// Every generated structure and enumeration (standard bindings, the four API packages and the
// test shapes) as one list of GoogleTest types, for typed tests over all of them.
#pragma once

#include <gtest/gtest.h>

#include "com/norval/hyrn/host_settings/host_settings_types.h"
#include "com/norval/hyrn/hosts/hosts_types.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_types.h"
#include "com/norval/hyrn/software/software_types.h"
#include "com/norval/hyrn/test/test_shapes_types.h"
#include "com/norval/ormi/std/errors/errors_types.h"
#include "com/norval/ormi/std/std_types.h"
#include "ormi/data/type_list.h"

namespace Ormi::Data::Testing {

// Concatenates type lists into the list of GoogleTest types.
template <typename... Lists>
struct Concat;
template <typename... T>
struct Concat<TypeList<T...>> {
  using type = ::testing::Types<T...>;
};
template <typename... A, typename... B, typename... Rest>
struct Concat<TypeList<A...>, TypeList<B...>, Rest...> : Concat<TypeList<A..., B...>, Rest...> {};

namespace Api = ::Com::Norval::Hyrn;
namespace Std = ::Com::Norval::Ormi::Std;

using AllGeneratedTypes =
    Concat<Std::AllStructures, Std::Errors::AllStructures, Api::HostSettings::AllStructures,
           Api::Hosts::AllStructures, Api::SettingsDaemon::AllStructures,
           Api::Software::AllStructures, Api::Test::AllStructures,
           Api::SettingsDaemon::AllEnumerations, Api::Test::AllEnumerations>::type;

}  // namespace Ormi::Data::Testing
