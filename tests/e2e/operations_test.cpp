// Every operation of the four API packages, end to end over both roads (in process, and HTTP
// over a unix socket): client stub -> channel -> bound provider -> scripted implementation ->
// back. One table of cases is built from the generated operation lists, so a new operation
// joins by being generated; the expectations it is checked against are written out here.
#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "com/norval/hyrn/hosts/hosts_services.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_services.h"
#include "com/norval/hyrn/software/software_services.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "data/random_filler.h"
#include "e2e_support.h"

namespace E2e {
namespace {

using ::Ormi::Data::DefinitionKind;
using ::Ormi::Data::DefinitionPtr;

constexpr char kInvalidArgument[] = "com.norval.ormi.std.errors.invalid_argument";
constexpr char kInternalServerError[] = "com.norval.ormi.std.errors.internal_server_error";

// One generated operation, with its checks bound to its types.
struct Case {
  std::string service;
  std::string method;
  std::string bound;  // the name it is bound and invoked under
  std::vector<std::string> fields;
  DefinitionPtr input;
  DefinitionPtr output;
  std::list<DefinitionPtr> errors;
  std::function<void(Road road, unsigned seed)> succeeds;
  std::function<void(Road road, std::string const& reported, std::string const& expected)> fails;
  std::function<bool(Road road)> rejects_null_structure;  // false when there is no such parameter
  std::function<void(Road road)> rejects_invalid_input;
};

template <typename Service, typename Entry>
struct Driver {
  using Method = typename Entry::MethodType;
  using Input = typename Method::Input;
  using Handler = ScriptedHandler<Method>;

  static std::string BoundName() {
    if constexpr (Method::kTask) {
      return Method::taskMethodName();
    } else {
      return Method::methodName();
    }
  }

  static std::shared_ptr<Collector> Call(Connector& connector, Input const& input) {
    typename Service::AsyncServiceStub stub(connector.channel);
    auto collector = std::make_shared<Collector>();
    Entry::Call(stub, input, nullptr, ClientResult<Method>(collector));
    EXPECT_TRUE(collector->Wait()) << "no answer";
    return collector;
  }

  static std::shared_ptr<Handler> Serve(Connector& connector, typename Handler::Respond respond) {
    auto handler = std::make_shared<Handler>(std::move(respond));
    EXPECT_TRUE(connector.Serve<Service>(handler));
    return handler;
  }

  static std::shared_ptr<::Ormi::InProcess::ThreadPoolExecutor> Pool() {
    return std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(2);
  }

  // A random input and a random result travel unchanged.
  static void Succeeds(Road road, unsigned seed) {
    ::Ormi::Data::RandomFiller filler(seed);
    Input input;
    filler.Fill(input);
    typename Method::ValueType result{};
    filler.Fill(result);
    std::string const task_id = "task-" + std::to_string(seed);
    auto pool = Pool();
    Connector connector(pool, road);
    auto handler = Serve(connector, [&](typename Method::ResultType const& answer) {
      if constexpr (Method::kTask) {
        answer.SetTaskId(task_id);
      } else {
        answer.SetResult(result);
      }
    });
    auto collector = Call(connector, input);
    pool->Drain();
    EXPECT_EQ(collector->terminal(), 1);
    EXPECT_EQ(NameOf(collector->error()), "<none>");
    ValuePtr const expected =
        Method::kTask ? ::Ormi::Data::DataValue::Create(task_id) : AsValue(result);
    EXPECT_TRUE(SameValue(collector->value(), expected))
        << Json(collector->value()) << "\nexpected " << Json(expected);
    auto const inputs = handler->inputs();
    ASSERT_EQ(inputs.size(), 1U);
    EXPECT_TRUE(SameValue(inputs.front(), AsValue(input)))
        << Json(inputs.front()) << "\nsent " << Json(AsValue(input));
  }

  // The implementation reports the error `reported`; the client receives `expected`.
  static void Fails(Road road, std::string const& reported, std::string const& expected) {
    ::Ormi::Data::RandomFiller filler(3);
    Input input;
    filler.Fill(input);
    auto pool = Pool();
    Connector connector(pool, road);
    Serve(connector, [&](typename Method::ResultType const& answer) {
      answer.SetError(::Ormi::Data::ErrorValue::Create(
          reported, {::Ormi::BaseMessage{"e2e.reported", "reported by the implementation", {}}}));
    });
    auto collector = Call(connector, input);
    pool->Drain();
    EXPECT_EQ(collector->terminal(), 1);
    EXPECT_EQ(collector->value(), nullptr);
    EXPECT_EQ(NameOf(collector->error()), expected);
    if (reported == expected) {
      EXPECT_THAT(MessageIds(collector->error()), ::testing::ElementsAre("e2e.reported"));
    }
  }

  // A null required structure parameter fails on the client; nothing reaches the provider.
  static bool RejectsNullStructure(Road road) {
    ::Ormi::Data::RandomFiller filler(7);
    Input input;
    filler.Fill(input);
    if (!ClearRequiredStructure(input)) return false;
    auto pool = Pool();
    Connector connector(pool, road);
    auto handler = Serve(connector, [](typename Method::ResultType const& /*answer*/) {});
    auto collector = Call(connector, input);
    pool->Drain();
    EXPECT_EQ(collector->terminal(), 1);
    EXPECT_EQ(NameOf(collector->error()), kInvalidArgument);
    EXPECT_THAT(MessageIds(collector->error()),
                ::testing::Contains("ormi.data.unset.non.optional.field"));
    EXPECT_TRUE(handler->inputs().empty());
    return true;
  }

  // An input value that fails the provider's validation, sent straight through the channel:
  // a structure without its fields, or for an operation without parameters no structure.
  static void RejectsInvalidInput(Road road) {
    auto pool = Pool();
    Connector connector(pool, road);
    auto handler = Serve(connector, [](typename Method::ResultType const& /*answer*/) {});
    ValuePtr const input = FieldNames<Input>().empty()
                               ? ::Ormi::Data::DataValue::Create(std::string("not a structure"))
                               : ValuePtr(::Ormi::Data::StructValue::GetInstance(
                                     ::Ormi::Data::TypeInfo<::Ormi::OperationInput>::name()));
    auto const interface_identifier = std::make_shared<::Ormi::Core::InterfaceIdentifier const>(
        ::Ormi::Data::TypeInfo<typename Service::AsyncServiceInterface>::name());
    auto collector = std::make_shared<Collector>();
    connector.channel->Invoke(
        std::make_shared<::Ormi::Core::MethodIdentifier const>(interface_identifier, BoundName()),
        input, nullptr,
        [collector](std::shared_ptr<::Ormi::Core::MethodResult const> const& result,
                    ::Ormi::Progress const& /*progress*/, auto&& /*next*/) {
          if (result) collector->Complete(result->output(), result->error());
        });
    EXPECT_TRUE(collector->Wait()) << "no answer";
    pool->Drain();
    EXPECT_EQ(collector->terminal(), 1);
    EXPECT_EQ(NameOf(collector->error()), kInvalidArgument);
    EXPECT_TRUE(handler->inputs().empty());
  }

  static Case Make() {
    return Case{::Ormi::Data::TypeInfo<typename Service::AsyncServiceInterface>::name(),
                Method::methodName(),
                BoundName(),
                FieldNames<Input>(),
                Method::inputDef(),
                Method::outputDef(),
                Method::errorDefs(),
                &Succeeds,
                &Fails,
                &RejectsNullStructure,
                &RejectsInvalidInput};
  }
};

// The table: one case per generated operation, services in package order, operations in
// slot order.
std::vector<Case> const& Cases() {
  static std::vector<Case> const cases = [] {
    std::vector<Case> all;
    ::Ormi::Binding::ForEach(AllServices{}, [&](auto service) {
      using Service = decltype(service);
      ::Ormi::Binding::ForEach(typename Service::Operations{}, [&](auto entry) {
        all.push_back(Driver<Service, decltype(entry)>::Make());
      });
    });
    return all;
  }();
  return cases;
}

std::string Trace(Case const& c) { return c.service + " " + c.bound; }

// A definition as a short text: "string", "optional<string>", "list<name>", "map<string, name>",
// a structure by its name.
std::string Describe(DefinitionPtr const& definition) {
  using ::Ormi::Data::ListDefinition;
  using ::Ormi::Data::OptionalDefinition;
  using ::Ormi::Data::StructDefinition;
  using ::Ormi::Data::ValueKind;
  static std::map<ValueKind, std::string> const scalars = {{ValueKind::kVoid, "void"},
                                                           {ValueKind::kString, "string"},
                                                           {ValueKind::kBoolean, "bool"},
                                                           {ValueKind::kDateTime, "datetime"}};
  switch (definition->kind()) {
    case DefinitionKind::kScalar: {
      auto const kind = static_cast<::Ormi::Data::ScalarDefinition const&>(*definition).valueKind();
      return scalars.count(kind) ? scalars.at(kind) : "?";
    }
    case DefinitionKind::kDynamicStructure:
      return "dynamic";
    case DefinitionKind::kOptional:
      return "optional<" + Describe(static_cast<OptionalDefinition const&>(*definition).element()) +
             ">";
    case DefinitionKind::kList: {
      auto const& element = static_cast<ListDefinition const&>(*definition).element();
      if (element->kind() == DefinitionKind::kStructure &&
          static_cast<StructDefinition const&>(*element).name() == "map-entry") {
        auto const& entry = static_cast<StructDefinition const&>(*element).fields();
        return "map<" + Describe(entry.at("key")) + ", " + Describe(entry.at("value")) + ">";
      }
      return "list<" + Describe(element) + ">";
    }
    case DefinitionKind::kStructure:
      return static_cast<StructDefinition const&>(*definition).name();
    case DefinitionKind::kStructRef:
      return "?";
  }
  return "?";
}

std::string StructureName(DefinitionPtr const& definition) {
  return definition->kind() == DefinitionKind::kStructure
             ? static_cast<::Ormi::Data::StructDefinition const&>(*definition).name()
             : "?";
}

// Expectations, written from the service tables of the four packages.
struct Expected {
  std::string service;
  std::string method;
  std::string bound;
  std::vector<std::string> fields;
  std::string result;
  std::vector<std::string> errors;  // abbreviated, see ErrorName
};

std::string ErrorName(std::string const& abbreviation) {
  static std::map<std::string, std::string> const names = {{"E", "error"},
                                                           {"AE", "already_exists"},
                                                           {"ISE", "internal_server_error"},
                                                           {"IA", "invalid_argument"},
                                                           {"NACS", "not_allowed_in_current_state"},
                                                           {"NF", "not_found"},
                                                           {"SU", "service_unavailable"},
                                                           {"TO", "timed_out"},
                                                           {"UA", "unauthenticated"}};
  return "com.norval.ormi.std.errors." + names.at(abbreviation);
}

std::vector<Expected> const& Table() {
  static std::string const hs = "com.norval.hyrn.host_settings";
  static std::string const sd = "com.norval.hyrn.settings_daemon";
  static std::vector<Expected> const table = {
      {hs, "apply", "apply$task", {"host"}, "void", {"ISE", "IA", "NACS", "NF", "SU", "TO", "UA"}},
      {hs + ".config", "get", "get", {"host"}, hs + ".config_spec", {"ISE", "NF", "SU", "UA"}},
      {hs + ".config.components.keys",
       "get",
       "get",
       {"host", "component", "key"},
       "dynamic",
       {"ISE", "NF", "SU", "UA"}},
      {hs + ".config.components.keys",
       "set",
       "set",
       {"host", "component", "key", "config"},
       "void",
       {"ISE", "IA", "NF", "SU", "UA"}},
      {hs + ".config.components.keys",
       "delete",
       "delete",
       {"host", "component", "key"},
       "void",
       {"ISE", "NF", "SU", "UA"}},
      {hs + ".depots",
       "list",
       "list",
       {"host"},
       "list<" + hs + ".depot_spec>",
       {"UA", "SU", "ISE"}},
      {hs + ".depots",
       "create",
       "create",
       {"host", "spec"},
       "void",
       {"UA", "IA", "AE", "ISE", "SU"}},
      {hs + ".depots",
       "delete",
       "delete",
       {"host", "name"},
       "void",
       {"UA", "IA", "NF", "ISE", "SU"}},
      {hs + ".software", "get", "get", {"host"}, hs + ".software_spec", {"ISE", "NF", "SU", "UA"}},
      {hs + ".software", "set", "set", {"host", "spec"}, "void", {"ISE", "IA", "NF", "SU", "UA"}},
      {hs + ".software.components",
       "get",
       "get",
       {"host", "component"},
       "optional<string>",
       {"ISE", "IA", "NF", "SU", "UA"}},
      {hs + ".software.components",
       "set",
       "set",
       {"host", "component", "version"},
       "void",
       {"IA", "ISE", "NF", "SU", "UA"}},
      {hs + ".software.components",
       "delete",
       "delete",
       {"host", "component"},
       "void",
       {"IA", "ISE", "NF", "SU", "UA"}},
      {hs + ".software.hyrn", "get", "get", {"host"}, "string", {"ISE", "NF", "SU", "UA"}},
      {hs + ".software.hyrn",
       "set",
       "set",
       {"host", "version"},
       "void",
       {"IA", "ISE", "NF", "SU", "UA"}},
      {"com.norval.hyrn.hosts.settings",
       "set",
       "set$task",
       {"host", "config_spec", "software_spec", "depots"},
       "void",
       {"ISE", "IA", "NACS", "SU", "TO", "UA"}},
      {"com.norval.hyrn.hosts.software.components",
       "get",
       "get",
       {"host", "component"},
       "com.norval.hyrn.hosts.software.components.info",
       {"ISE", "IA", "NF", "SU", "UA"}},
      {"com.norval.hyrn.hosts.software.components",
       "list",
       "list",
       {"host"},
       "list<com.norval.hyrn.hosts.software.components.summary>",
       {"ISE", "NF", "SU", "UA"}},
      {"com.norval.hyrn.hosts.software.hyrn",
       "get",
       "get",
       {"host"},
       "com.norval.hyrn.hosts.software.hyrn.info",
       {"ISE", "NF", "SU", "UA"}},
      {sd + ".components",
       "apply",
       "apply$task",
       {"apply_spec"},
       "void",
       {"ISE", "IA", "NACS", "SU", "TO", "UA"}},
      {sd + ".software",
       "apply",
       "apply$task",
       {"apply_spec"},
       "void",
       {"ISE", "IA", "NACS", "SU", "TO", "UA"}},
      {sd + ".software",
       "scan",
       "scan$task",
       {"scan_spec"},
       sd + ".host_compliance",
       {"ISE", "IA", "NACS", "SU", "UA"}},
      {"com.norval.hyrn.software.installed_components",
       "list",
       "list",
       {},
       "map<string, com.norval.hyrn.software.installed_components.installed_component_info>",
       {"ISE", "SU", "UA"}},
      {"com.norval.hyrn.software.installed_parcels",
       "list",
       "list",
       {"filter"},
       "list<com.norval.hyrn.software.installed_parcels.parcel_info>",
       {"E", "SU", "UA"}},
  };
  return table;
}

TEST(GeneratedOperations, MatchTheServiceTables) {
  auto const& cases = Cases();
  auto const& table = Table();
  ASSERT_EQ(cases.size(), 24U);
  ASSERT_EQ(table.size(), cases.size());
  std::set<std::string> services;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    Case const& c = cases[i];
    Expected const& e = table[i];
    SCOPED_TRACE(Trace(c));
    services.insert(c.service);
    EXPECT_EQ(c.service, e.service);
    EXPECT_EQ(c.method, e.method);
    EXPECT_EQ(c.bound, e.bound);
    EXPECT_EQ(c.fields, e.fields);
    EXPECT_EQ(Describe(c.output), e.result);
    std::vector<std::string> errors;
    for (auto const& error : c.errors) errors.push_back(StructureName(error));
    std::vector<std::string> expected_errors;
    for (auto const& error : e.errors) expected_errors.push_back(ErrorName(error));
    EXPECT_EQ(errors, expected_errors);
    // The input definition: the operation-input name and exactly the parameters.
    ASSERT_EQ(c.input->kind(), DefinitionKind::kStructure);
    auto const& input = static_cast<::Ormi::Data::StructDefinition const&>(*c.input);
    EXPECT_EQ(input.name(), ::Ormi::Data::TypeInfo<::Ormi::OperationInput>::name());
    std::vector<std::string> input_fields;
    for (auto const& field : input.fields()) input_fields.push_back(field.first);
    std::vector<std::string> sorted = e.fields;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(input_fields, sorted);
  }
  EXPECT_EQ(services.size(), 14U);
}

TEST(GeneratedOperations, BindExactlyTheirMethodsInSlotOrder) {
  int services = 0;
  ::Ormi::Binding::ForEach(AllServices{}, [&](auto service) {
    using Service = decltype(service);
    ++services;
    std::string const id = ::Ormi::Data::TypeInfo<typename Service::AsyncServiceInterface>::name();
    SCOPED_TRACE(id);
    std::vector<std::string> expected;
    for (auto const& e : Table()) {
      if (e.service == id) expected.push_back(e.bound);
    }
    using Implementation = typename Service::template ForwardingImplementation<UnexpectedCalls>;
    auto const bound = Service::AsyncServiceBinder::BindImplementation(
        std::make_shared<Implementation>(std::make_shared<UnexpectedCalls>()));
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->identifier()->name(), id);
    std::vector<std::string> names;
    for (auto const& method : bound->methods()) {
      names.push_back(method->methodName());
      if (method->methodName().find('$') != std::string::npos) {
        EXPECT_EQ(Describe(method->outputDefinition()), "string");
      }
    }
    EXPECT_EQ(names, expected);
  });
  EXPECT_EQ(services, 14);
}

class OperationsOverEachRoad : public ::testing::TestWithParam<Road> {};

TEST_P(OperationsOverEachRoad, ClientReceivesTheImplementationsResult) {
  unsigned seed = 1;
  for (auto const& c : Cases()) {
    SCOPED_TRACE(Trace(c));
    for (int round = 0; round < 3; ++round) c.succeeds(GetParam(), seed++);
  }
}

TEST_P(OperationsOverEachRoad, ClientReceivesEveryDeclaredErrorByName) {
  for (std::size_t i = 0; i < Cases().size(); ++i) {
    SCOPED_TRACE(Trace(Cases()[i]));
    for (auto const& error : Table()[i].errors) {
      Cases()[i].fails(GetParam(), ErrorName(error), ErrorName(error));
    }
  }
}

// An error outside the operation's list reaches the client as the runtime's
// internal-server-error; "scan$task" is among the operations that do not declare TimedOut.
TEST_P(OperationsOverEachRoad, UndeclaredErrorsBecomeInternalServerError) {
  std::vector<std::string> const candidates = {"TO", "AE", "E", "NACS"};
  int with_timed_out = 0;
  for (std::size_t i = 0; i < Cases().size(); ++i) {
    SCOPED_TRACE(Trace(Cases()[i]));
    auto const& declared = Table()[i].errors;
    auto const undeclared = std::find_if(candidates.begin(), candidates.end(), [&](auto const& a) {
      return std::find(declared.begin(), declared.end(), a) == declared.end();
    });
    ASSERT_NE(undeclared, candidates.end());
    if (*undeclared == "TO") ++with_timed_out;
    Cases()[i].fails(GetParam(), ErrorName(*undeclared), kInternalServerError);
  }
  EXPECT_EQ(with_timed_out, 20);  // every operation but the four that declare TimedOut
}

TEST_P(OperationsOverEachRoad, InputsThatFailConversionAreRejected) {
  std::vector<std::string> with_structure;
  for (auto const& c : Cases()) {
    SCOPED_TRACE(Trace(c));
    if (c.rejects_null_structure(GetParam())) with_structure.push_back(c.service + " " + c.method);
    c.rejects_invalid_input(GetParam());
  }
  EXPECT_THAT(with_structure,
              ::testing::ElementsAre("com.norval.hyrn.host_settings.depots create",
                                     "com.norval.hyrn.host_settings.software set",
                                     "com.norval.hyrn.settings_daemon.components apply",
                                     "com.norval.hyrn.settings_daemon.software apply",
                                     "com.norval.hyrn.settings_daemon.software scan"));
}

INSTANTIATE_TEST_SUITE_P(Roads, OperationsOverEachRoad,
                         ::testing::Values(Road::kInProcess, Road::kUnixSocket), RoadName);

}  // namespace
}  // namespace E2e
