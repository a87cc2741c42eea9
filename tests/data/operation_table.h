// Every operation of the four API packages and of the test shapes, as one table for
// table-driven tests: the operation's definitions and makers of random input and output values
// (random_filler.h), so that a new operation joins by being generated.
#pragma once

#include <functional>
#include <list>
#include <string>
#include <vector>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "com/norval/hyrn/hosts/hosts_services.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_services.h"
#include "com/norval/hyrn/software/software_services.h"
#include "com/norval/hyrn/test/test_shapes_services.h"
#include "ormi/binding/operation_list.h"
#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "random_filler.h"

namespace Ormi::Data::Testing {

struct OperationCase {
  std::string name;       // "<service> <operation>"
  std::string service;    // the service identifier
  std::string operation;  // the operation's name (without "$task")
  bool task = false;      // a task operation: `output` is the definition of its work's result
  DefinitionPtr input;
  DefinitionPtr output;
  std::list<DefinitionPtr> errors;
  // The value of a random native input or output; null when the conversion failed.
  std::function<ValuePtr(unsigned seed)> input_value;
  std::function<ValuePtr(unsigned seed)> output_value;
};

// The value of a native filled at random from `seed`.
template <typename T>
ValuePtr RandomValue(unsigned seed) {
  T native{};
  RandomFiller(seed).Fill(native);
  ValuePtr value;
  std::list<BaseMessage> messages;
  return ToValue(native, &value, messages) ? value : nullptr;
}

template <typename Service>
void AddOperations(std::vector<OperationCase>& table) {
  Binding::ForEach(typename Service::Operations{}, [&](auto entry) {
    using Method = typename decltype(entry)::MethodType;
    std::string const service = TypeInfo<typename Service::AsyncServiceInterface>::name();
    table.push_back({service + " " + Method::methodName(), service, Method::methodName(),
                     Method::kTask, Method::inputDef(), Method::outputDef(), Method::errorDefs(),
                     &RandomValue<typename Method::Input>,
                     &RandomValue<typename Method::ValueType>});
  });
}

template <typename... Services>
void AddServices(std::vector<OperationCase>& table, TypeList<Services...> /*services*/) {
  (AddOperations<Services>(table), ...);
}

// The table, services in package order, operations in slot order.
inline std::vector<OperationCase> AllOperations() {
  namespace Api = ::Com::Norval::Hyrn;
  std::vector<OperationCase> table;
  AddServices(table, Api::HostSettings::AllServices{});
  AddServices(table, Api::Hosts::AllServices{});
  AddServices(table, Api::SettingsDaemon::AllServices{});
  AddServices(table, Api::Software::AllServices{});
  AddServices(table, Api::Test::AllServices{});
  return table;
}

}  // namespace Ormi::Data::Testing
