#include "ormi/services/registry_introspection.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <boost/json.hpp>

#include "data/operation_table.h"
#include "introspection_support.h"
#include "ormi/data/error_names.h"
#include "ormi/data/plain_json.h"
#include "ormi/in_process/connector.h"
#include "ormi/message.h"
#include "ormi/provider/method_signal.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/server.h"

namespace IntrospectionTest {
namespace {

namespace V1 = ::Com::Norval::Ormi::Introspection::V1;
namespace json = boost::json;
using Ormi::Services::IntrospectionSvc;
using Description = std::shared_ptr<V1::OperationDescription const>;
using Structures = std::map<std::string, V1::StructureDescription const*>;

std::set<std::string> const kWords = {"optional", "list", "map",  "string", "bool", "datetime",
                                      "dynamic",  "void", "long", "double", "blob", "secret"};

// The structure names a type expression writes.
std::set<std::string> NamesIn(std::string const& type) {
  std::set<std::string> names;
  std::string token;
  for (char const c : type + " ") {
    if (c == '<' || c == '>' || c == ',' || c == ' ') {
      if (!token.empty() && kWords.count(token) == 0) names.insert(token);
      token.clear();
    } else {
      token += c;
    }
  }
  return names;
}

// A plain JSON skeleton of a value of `type`, built from the description alone: every field
// present with a value of its type; optional, list and map parts filled once unless that would
// enter a structure being filled already.
class Skeleton {
 public:
  explicit Skeleton(Structures const& structures) : structures_(structures) {}

  json::value Of(std::string const& type) {
    std::size_t at = 0;
    return Parse(type, at);
  }

 private:
  json::value Parse(std::string const& type, std::size_t& at) {
    std::size_t const end = type.find_first_of("<>,", at);
    std::string const word = type.substr(at, end - at);
    at = end;
    if (word == "optional" || word == "list" || word == "map") {
      at += 1;  // '<'
      if (word == "map") at += std::string("string, ").size();
      json::value inner = Parse(type, at);
      at += 1;  // '>'
      bool const empty = inner.is_null() && word != "optional";
      if (word == "optional") return inner;
      if (word == "list") return empty ? json::array() : json::array{inner};
      return empty ? json::object() : json::object{{"k", inner}};
    }
    if (word == "string" || word == "secret" || word == "blob") return "";
    if (word == "bool") return false;
    if (word == "datetime") return "2026-12-06T08:35:27.123Z";
    if (word == "long") return 3;
    if (word == "double") return 0.5;
    if (word == "void") return nullptr;
    if (word == "dynamic") return json::object{{"$struct", "example"}, {"fields", json::object()}};
    return Structure(word);
  }

  // null when `name` is being filled already (a structure that contains itself).
  json::value Structure(std::string const& name) {
    auto const found = structures_.find(name);
    EXPECT_NE(found, structures_.end()) << name;
    if (found == structures_.end() || !filling_.insert(name).second) return nullptr;
    json::object object;
    for (auto const& field : found->second->fields) object[field->name] = Of(field->type);
    filling_.erase(name);
    return object;
  }

  Structures const& structures_;
  std::set<std::string> filling_;
};

class IntrospectionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(registry_, nullptr); }

  Description Describe(std::string const& service, std::string const& operation) {
    auto const outcome = Await<IntrospectionSvc::DescribeMethod>(
        [&](auto const& result) { stub_.Describe(service, operation, nullptr, result); });
    EXPECT_EQ(outcome.error, nullptr) << service << " " << operation;
    return outcome.value ? *outcome.value : nullptr;
  }

  int api_services_ = 0;
  std::shared_ptr<Ormi::InProcess::Registry> const registry_ = FullRegistry(&api_services_);
  IntrospectionSvc::AsyncServiceStub stub_{std::make_shared<Ormi::InProcess::Channel>(
      registry_, std::make_shared<Ormi::InProcess::InlineExecutor>())};
};

TEST_F(IntrospectionTest, ListsEveryServiceWithItsOperationsAndTaskNames) {
  ASSERT_EQ(api_services_, 14);
  auto const outcome =
      Await<IntrospectionSvc::ListMethod>([&](auto const& result) { stub_.List(nullptr, result); });
  ASSERT_TRUE(outcome.value);
  std::map<std::string, std::vector<std::string>> listed;  // service to "name/call_name[/task]"
  for (auto const& service : *outcome.value) {
    auto& operations = listed[service->id];
    for (auto const& op : service->operations) {
      operations.push_back(op->name + "/" + op->call_name + (op->task ? "/task" : ""));
    }
  }
  // Every generated operation, under its name and call name, in slot order; and nothing else
  // but the introspection service itself.
  std::map<std::string, std::vector<std::string>> expected;
  for (auto const& operation : Ormi::Data::Testing::AllOperations()) {
    expected[operation.service].push_back(
        operation.operation + "/" + operation.operation +
        (operation.task ? std::string("$task/task") : std::string()));
  }
  EXPECT_EQ(listed.size(), expected.size() + 1);
  for (auto const& service : expected) {
    EXPECT_EQ(listed[service.first], service.second) << service.first;
  }
  EXPECT_EQ(listed["com.norval.hyrn.settings_daemon.software"],
            (std::vector<std::string>{"apply/apply$task/task", "scan/scan$task/task"}));
  EXPECT_EQ(listed["com.norval.ormi.introspection.v1"],
            (std::vector<std::string>{"list/list", "describe/describe", "schema/schema"}));
}

// The description of every operation names only structures it lists, lists each once, and is
// enough to write an input (and an output or work result) that the operation's own definition
// reads: a client needs no local definition files.
TEST_F(IntrospectionTest, EveryOperationsDescriptionIsClosedAndEnoughForASkeleton) {
  int described = 0;
  for (auto const& operation : Ormi::Data::Testing::AllOperations()) {
    Description const description = Describe(operation.service, operation.operation);
    ASSERT_NE(description, nullptr);
    SCOPED_TRACE(operation.name);
    Structures structures;
    std::set<std::string> named = NamesIn(description->input);
    for (auto const& structure : description->structures) {
      EXPECT_TRUE(structures.emplace(structure->name, structure.get()).second)
          << "listed twice: " << structure->name;
      for (auto const& field : structure->fields) {
        auto const more = NamesIn(field->type);
        named.insert(more.begin(), more.end());
      }
    }
    for (std::string const& type : description->errors) named.merge(NamesIn(type));
    named.merge(NamesIn(description->output));
    if (description->work_result) named.merge(NamesIn(*description->work_result));
    for (auto const& name : named) EXPECT_EQ(structures.count(name), 1U) << "dangling: " << name;
    ASSERT_FALSE(description->structures.empty());
    EXPECT_EQ(description->structures.front()->name, description->input);
    EXPECT_EQ(description->errors.size(), operation.errors.size());
    EXPECT_EQ(description->operation->task, operation.task);
    EXPECT_EQ(description->work_result.has_value(), operation.task);

    // A task call answers with its identifier; the work result is the operation's result.
    std::string const answered = operation.task ? *description->work_result : description->output;
    if (operation.task) {
      EXPECT_EQ(description->output, "string");
    }
    Skeleton skeleton(structures);
    std::list<Ormi::BaseMessage> messages;
    Ormi::Data::ValuePtr read;
    std::string const input = json::serialize(skeleton.Of(description->input));
    EXPECT_TRUE(Ormi::Data::FromPlainJson(input, *operation.input, &read, messages))
        << input << "\n"
        << (messages.empty() ? "" : messages.front().defaultMessage);
    std::string const output = json::serialize(skeleton.Of(answered));
    EXPECT_TRUE(Ormi::Data::FromPlainJson(output, *operation.output, &read, messages))
        << output << "\n"
        << (messages.empty() ? "" : messages.front().defaultMessage);
    ++described;
  }
  EXPECT_GT(described, 24);

  // Facts a client relies on, on known operations: a task's work result, a map, an optional
  // structure, and a structure that contains itself.
  auto const scan = Describe("com.norval.hyrn.settings_daemon.software", "scan$task");
  ASSERT_NE(scan, nullptr);
  EXPECT_EQ(scan->operation->name, "scan");
  EXPECT_EQ(*scan->work_result, "com.norval.hyrn.settings_daemon.host_compliance");
  EXPECT_EQ(scan->errors.front().rfind("com.norval.ormi.std.errors.", 0), 0U);
  auto const deep = Describe("com.norval.hyrn.test.shapes.deep", "get");
  ASSERT_NE(deep, nullptr);
  std::map<std::string, std::string> node;
  for (auto const& structure : deep->structures) {
    if (structure->name != "com.norval.hyrn.test.node") continue;
    for (auto const& field : structure->fields) node[field->name] = field->type;
  }
  EXPECT_EQ(node["child"], "optional<com.norval.hyrn.test.node>");
  EXPECT_EQ(node["children"], "list<com.norval.hyrn.test.node>");
  EXPECT_EQ(node["by_name"], "map<string, com.norval.hyrn.test.node>");
}

TEST_F(IntrospectionTest, UnknownNamesAndAGoneRegistryAreErrors) {
  auto const service = Await<IntrospectionSvc::DescribeMethod>(
      [&](auto const& result) { stub_.Describe("com.nothing", "get", nullptr, result); });
  ASSERT_NE(service.error, nullptr);
  EXPECT_EQ(service.error->name(), Ormi::Data::ErrorName::kNotFound);
  EXPECT_EQ(service.error->messages().front().id, Ormi::MessageId::kServiceNotFound);
  auto const operation = Await<IntrospectionSvc::SchemaMethod>([&](auto const& result) {
    stub_.Schema("com.norval.hyrn.host_settings", "apply$tas", nullptr, result);
  });
  ASSERT_NE(operation.error, nullptr);
  EXPECT_EQ(operation.error->messages().front().id, Ormi::MessageId::kMethodNotFound);
  // A plain name finds a task operation, as its call name does.
  EXPECT_NE(Describe("com.norval.hyrn.host_settings", "apply"), nullptr);

  std::weak_ptr<Ormi::InProcess::Registry const> gone;
  {
    auto registry = std::make_shared<Ormi::InProcess::Registry>();
    gone = registry;
  }
  Ormi::Services::RegistryIntrospection orphan(gone);
  auto const listed = Await<IntrospectionSvc::ListMethod>(
      [&](auto const& result) { orphan.List(nullptr, result); });
  ASSERT_NE(listed.error, nullptr);
  EXPECT_EQ(listed.error->name(), Ormi::Data::ErrorName::kServiceUnavailable);
  EXPECT_FALSE(Ormi::Services::RegisterIntrospection(registry_)) << "registered twice";
  EXPECT_FALSE(Ormi::Services::RegisterIntrospection(nullptr));
}

// Hand-made definitions: two different structures of one name are told apart, and a
// reference whose target is gone is no answer but an internal error.
TEST_F(IntrospectionTest, NameClashesAndGoneReferences) {
  using namespace Ormi::Data;  // NOLINT(google-build-using-namespace)
  auto const string = StringDefinition::GetInstance();
  auto const input = StructDefinition::GetInstance(
      "in", {{"a", StructDefinition::GetInstance("s", {{"x", string}})}});
  auto const output = StructDefinition::GetInstance("s", {{"y", string}});
  auto const broken =
      StructDefinition::GetInstance("in", {{"a", StructRefDefinition::GetInstance("gone")}});
  auto const method = [](std::string name, DefinitionPtr in, DefinitionPtr out) {
    return Ormi::Provider::AsyncApiMethodSignal::Create(std::move(name), std::move(in),
                                                        std::move(out), {}, nullptr);
  };
  ASSERT_TRUE(registry_->Register(Ormi::Provider::AsyncApiInterface::GetInstance(
      std::make_shared<Ormi::Core::InterfaceIdentifier const>("hand.made"),
      {method("clash", input, output), method("broken", broken, string)})));

  auto const clash = Describe("hand.made", "clash");
  ASSERT_NE(clash, nullptr);
  // The output is named before the input's fields are described, so it keeps the name.
  EXPECT_EQ(clash->output, "s");
  EXPECT_EQ(clash->structures.front()->fields.front()->type, "s-2");
  std::vector<std::string> listed;
  for (auto const& structure : clash->structures) {
    listed.push_back(structure->name + "{" + structure->fields.front()->name + "}");
  }
  EXPECT_EQ(listed, (std::vector<std::string>{"in{a}", "s{y}", "s-2{x}"}));
  EXPECT_FALSE(clash->operation->task);

  auto const gone = Await<IntrospectionSvc::DescribeMethod>(
      [&](auto const& result) { stub_.Describe("hand.made", "broken", nullptr, result); });
  ASSERT_NE(gone.error, nullptr);
  EXPECT_EQ(gone.error->name(), ErrorName::kInternalServerError);
  EXPECT_EQ(gone.error->messages().front().id, Ormi::MessageId::kDefinitionUnresolved);
}

// The answers travel over a unix socket to a generated stub over the transport's channel.
TEST_F(IntrospectionTest, AnswersOverAUnixSocket) {
  char pattern[] = "/tmp/hyrn-introspection-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  std::string const folder = pattern;
  auto const address = Ormi::Transport::Address::Unix(folder + "/s.sock");
  Ormi::Transport::ServerOptions options;
  options.listen = {address};
  Ormi::Transport::Server server(registry_,
                                 std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(2), options);
  std::list<Ormi::BaseMessage> messages;
  ASSERT_TRUE(server.Start(messages));
  {
    IntrospectionSvc::AsyncServiceStub remote(
        std::make_shared<Ormi::Transport::Channel>(address, Ormi::Transport::ClientOptions{}));
    auto const listed = Await<IntrospectionSvc::ListMethod>(
        [&](auto const& result) { remote.List(nullptr, result); });
    ASSERT_TRUE(listed.value);
    EXPECT_EQ(listed.value->size(), registry_->List().size());
    auto const described = Await<IntrospectionSvc::DescribeMethod>([&](auto const& result) {
      remote.Describe("com.norval.hyrn.settings_daemon.software", "scan", nullptr, result);
    });
    ASSERT_TRUE(described.value);
    EXPECT_EQ((*described.value)->operation->call_name, "scan$task");
    EXPECT_EQ(*(*described.value)->work_result, "com.norval.hyrn.settings_daemon.host_compliance");
    auto const missing = Await<IntrospectionSvc::SchemaMethod>([&](auto const& result) {
      remote.Schema("com.norval.hyrn.hosts", "get", nullptr, result);
    });
    ASSERT_NE(missing.error, nullptr);
    EXPECT_EQ(missing.error->name(), Ormi::Data::ErrorName::kNotFound);
  }
  server.Stop();
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace IntrospectionTest
