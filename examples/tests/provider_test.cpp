#include "provider/provider.h"

#include <gtest/gtest.h>

#include <chrono>
#include <list>
#include <memory>
#include <string>

#include <boost/optional/optional_io.hpp>
#include <utility>

#include "com/norval/hyrn/host_settings/host_settings.h"
#include "com/norval/hyrn/hosts/hosts.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "com/norval/hyrn/software/software.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"

namespace Example {
namespace {

namespace Hs = ::Com::Norval::Hyrn::HostSettings;
namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
namespace Sw = ::Com::Norval::Hyrn::Software;
using ::Ormi::Void;
constexpr std::chrono::seconds kTaskWait(30);

// The sample hosts served through stubs over an in-process channel; everything runs inline,
// so every answer has arrived when a call returns.
class ProviderTest : public ::testing::Test {
 protected:
  ProviderTest() {
    AddSampleHosts(*model_);
    EXPECT_TRUE(provider_.RegisterAll(*registry_));
  }

  template <typename R>
  struct Reply {
    boost::optional<R> value;
    ::Ormi::ErrorPtr error;
    std::string ErrorName() const { return error ? error->name() : "(none)"; }
  };

  // Calls `start(result)` and returns what the result object received.
  template <typename R, typename Start>
  static Reply<R> Await(Start start) {
    Reply<R> reply;
    int deliveries = 0;
    start(::Ormi::AsyncResult<R>(typename ::Ormi::AsyncResult<R>::Callback(
        [&](boost::optional<R> const& value, ::Ormi::ErrorPtr const& error,
            ::Ormi::Progress const& /*progress*/) {
          ++deliveries;
          reply = Reply<R>{value, error};
        })));
    EXPECT_EQ(deliveries, 1);
    return reply;
  }

  // Starts a task and returns its identifier, or the error's name prefixed by "error: ".
  template <typename R, typename Start>
  static std::string StartTask(Start start) {
    std::string answer = "(no answer)";
    start(::Ormi::AsyncTaskResult<R>(typename ::Ormi::AsyncTaskResult<R>::TaskCallback(
        [&](std::string const& id, ::Ormi::ErrorPtr const& error) {
          answer = error ? "error: " + error->name() : id;
        })));
    return answer;
  }

  std::shared_ptr<Sd::HostCompliance const> ScanOutcome(std::string const& base_image) {
    Sd::SoftwareSvc::AsyncServiceStub stub(channel_);
    auto scan = std::make_shared<Sd::SoftwareSvc::ScanSpec>();
    scan->software_spec = Spec(base_image);
    scan->depots = {"main"};
    std::string const id = StartTask<std::shared_ptr<Sd::HostCompliance const>>(
        [&](auto const& r) { stub.Scan(scan, nullptr, r); });
    auto const outcome = provider_.tasks().Wait(id, kTaskWait);
    std::shared_ptr<Sd::HostCompliance const> compliance;
    std::list<::Ormi::BaseMessage> messages;
    if (!outcome || !outcome->result ||
        !::Ormi::Data::FromValue(outcome->result, &compliance, messages)) {
      ADD_FAILURE() << "no compliance for task " << id;
    }
    return compliance;
  }

  static std::shared_ptr<Sd::SoftwareSpec> Spec(std::string const& base_image) {
    auto spec = std::make_shared<Sd::SoftwareSpec>();
    auto image = std::make_shared<Sd::BaseImageSpec>();
    image->version = base_image;
    spec->base_image = image;
    spec->components =
        std::map<std::string, boost::optional<std::string>>{{"net-driver", std::string("2.1.0")}};
    return spec;
  }

  std::shared_ptr<HostModel> model_ = std::make_shared<HostModel>();
  std::shared_ptr<::Ormi::InProcess::Executor> inline_ =
      std::make_shared<::Ormi::InProcess::InlineExecutor>();
  Provider provider_{model_, "host-01", inline_};
  std::shared_ptr<::Ormi::InProcess::Registry> registry_ =
      std::make_shared<::Ormi::InProcess::Registry>();
  std::shared_ptr<::Ormi::Stub::AsyncApiStub> channel_ =
      std::make_shared<::Ormi::InProcess::Channel>(registry_, inline_);
};

TEST_F(ProviderTest, RegistersFourteenServicesOnce) {
  ::Ormi::InProcess::Registry again;
  EXPECT_TRUE(provider_.RegisterAll(again));
  EXPECT_FALSE(provider_.RegisterAll(again));  // names taken
  EXPECT_TRUE(registry_->Find("com.norval.hyrn.software.installed_parcels"));
  EXPECT_TRUE(registry_->Find("com.norval.hyrn.host_settings"));
}

TEST_F(ProviderTest, AnswersWithTheErrorsTheOperationsDeclare) {
  Hs::Config::Components::KeysSvc::AsyncServiceStub keys(channel_);
  Hs::DepotsSvc::AsyncServiceStub depots(channel_);
  Hs::ConfigSvc::AsyncServiceStub config(channel_);
  auto main = std::make_shared<Hs::DepotsSvc::CreateSpec>();
  main->name = "main";
  main->url = "https://elsewhere.example";
  auto nameless = std::make_shared<Hs::DepotsSvc::CreateSpec>();
  nameless->url = "https://elsewhere.example";

  EXPECT_EQ(Await<::Ormi::Data::DynamicStructure>([&](auto const& r) {
              keys.Get("host-01", "ntp", "nope", nullptr, r);
            }).ErrorName(),
            "com.norval.ormi.std.errors.not_found");
  EXPECT_EQ(
      Await<Void>([&](auto const& r) { depots.Create("host-01", main, nullptr, r); }).ErrorName(),
      "com.norval.ormi.std.errors.already_exists");
  EXPECT_EQ(Await<Void>([&](auto const& r) {
              depots.Create("host-01", nameless, nullptr, r);
            }).ErrorName(),
            "com.norval.ormi.std.errors.invalid_argument");
  // Listing declares no NotFound: an unknown host is out of the service's reach.
  EXPECT_EQ(Await<std::list<std::shared_ptr<Hs::DepotSpec const>>>([&](auto const& r) {
              depots.List("host-99", nullptr, r);
            }).ErrorName(),
            "com.norval.ormi.std.errors.service_unavailable");
  EXPECT_EQ(Await<std::shared_ptr<Hs::ConfigSpec const>>([&](auto const& r) {
              config.Get("host-99", nullptr, r);
            }).ErrorName(),
            "com.norval.ormi.std.errors.not_found");
  auto const error =
      Await<Void>([&](auto const& r) { depots.Delete("host-01", "gone", nullptr, r); }).error;
  ASSERT_TRUE(error);
  ASSERT_EQ(error->messages().size(), 1U);
  EXPECT_EQ(error->messages().front().defaultMessage, "Host host-01 has no depot gone.");
}

TEST_F(ProviderTest, WritesAreReadBack) {
  Hs::Config::Components::KeysSvc::AsyncServiceStub keys(channel_);
  auto value = ::Ormi::Data::StructValue::GetInstance("cfg");
  value->SetField("level", ::Ormi::Data::StringValue::GetInstance("debug"));
  ::Ormi::Data::DynamicStructure const config(value);
  EXPECT_FALSE(Await<Void>([&](auto const& r) {
                 keys.Set("host-01", "net-driver", "log", config, nullptr, r);
               }).error);
  auto const read = Await<::Ormi::Data::DynamicStructure>(
      [&](auto const& r) { keys.Get("host-01", "net-driver", "log", nullptr, r); });
  ASSERT_TRUE(read.value);
  EXPECT_TRUE(::Ormi::Data::Equal(*read.value->value(), *value));
  // A component the host does not know cannot be configured.
  EXPECT_EQ(Await<Void>([&](auto const& r) {
              keys.Set("host-01", "unknown", "log", config, nullptr, r);
            }).ErrorName(),
            "com.norval.ormi.std.errors.not_found");

  Hs::Software::ComponentsSvc::AsyncServiceStub components(channel_);
  EXPECT_FALSE(Await<Void>([&](auto const& r) {
                 components.Set("host-02", "extra", boost::none, nullptr, r);
               }).error);
  auto const version = Await<boost::optional<std::string>>(
      [&](auto const& r) { components.Get("host-02", "extra", nullptr, r); });
  ASSERT_TRUE(version.value);
  EXPECT_FALSE(*version.value);  // stored unset
}

TEST_F(ProviderTest, TasksAnswerWithAnIdentifierAndKeepTheOutcome) {
  auto const before = ScanOutcome("8.0.3");
  ASSERT_TRUE(before);
  EXPECT_EQ(before->status, Sd::ComplianceStatus(Sd::ComplianceStatus::NON_COMPLIANT));
  EXPECT_EQ(before->impact, Sd::ComplianceImpact(Sd::ComplianceImpact::REBOOT_REQUIRED));

  Sd::SoftwareSvc::AsyncServiceStub stub(channel_);
  auto apply = std::make_shared<Sd::SoftwareSvc::ApplySpec>();
  apply->depots = {"main"};
  apply->software_spec = Spec("7.0.0");
  EXPECT_EQ(StartTask<Void>([&](auto const& r) { stub.Apply(apply, nullptr, r); }),
            "error: com.norval.ormi.std.errors.not_allowed_in_current_state");
  apply->software_spec = Spec("8.0.3");
  std::string const id = StartTask<Void>([&](auto const& r) { stub.Apply(apply, nullptr, r); });
  auto const applied = provider_.tasks().Wait(id, kTaskWait);
  ASSERT_TRUE(applied);
  EXPECT_FALSE(applied->error);

  auto const after = ScanOutcome("8.0.3");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, Sd::ComplianceStatus(Sd::ComplianceStatus::COMPLIANT));
  EXPECT_FALSE(provider_.tasks().Wait("task-999", kTaskWait));

  ::Com::Norval::Hyrn::HostSettingsSvc::AsyncServiceStub host_settings(channel_);
  EXPECT_EQ(StartTask<Void>([&](auto const& r) { host_settings.Apply("host-99", nullptr, r); }),
            "error: com.norval.ormi.std.errors.not_found");
}

TEST(TaskRunner, HandsTheOutcomeToTheResultCallbackAndTheStore) {
  TaskRunner tasks(std::make_shared<::Ormi::InProcess::InlineExecutor>(),
                   std::make_shared<::Ormi::Tasks::Store>());
  std::string id;
  boost::optional<std::string> delivered;
  ::Ormi::AsyncTaskResult<std::string> result(
      ::Ormi::AsyncTaskResult<std::string>::TaskCb{
          [&](std::string const& task, ::Ormi::ErrorPtr const& /*error*/) { id = task; }, {}},
      ::Ormi::AsyncTaskResult<std::string>::ResultCb{
          [&](std::string const& value, ::Ormi::ErrorPtr const& /*error*/) { delivered = value; },
          {}});
  tasks.Start<Sd::SoftwareSvc::ScanMethod>(nullptr, result,
                                           [] { return Answer<std::string>(std::string("done")); });
  EXPECT_EQ(delivered, boost::make_optional(std::string("done")));
  auto const outcome = tasks.store()->Get(id);
  ASSERT_TRUE(outcome);
  EXPECT_EQ(outcome->state, ::Ormi::Tasks::TaskState::kSucceeded);
  EXPECT_EQ(outcome->spec.service, "com.norval.hyrn.settings_daemon.software");
  EXPECT_EQ(outcome->spec.operation, "scan$task");
  EXPECT_EQ(::Ormi::Data::ToJson(*outcome->result), "\"done\"");
}

TEST_F(ProviderTest, ParcelFilterKeepsStandaloneParcels) {
  Sw::InstalledParcelsSvc::AsyncServiceStub parcels(channel_);
  using Parcels = std::list<std::shared_ptr<Sw::InstalledParcelsSvc::ParcelInfo const>>;
  auto filter = std::make_shared<Sw::InstalledParcelsSvc::FilterSpec>();
  filter->standalone_parcels_only = true;
  ::Ormi::OptionalPtr<Sw::InstalledParcelsSvc::FilterSpec const> const only(filter);
  auto const all = Await<Parcels>([&](auto const& r) { parcels.List(nullptr, nullptr, r); });
  auto const some = Await<Parcels>([&](auto const& r) { parcels.List(only, nullptr, r); });
  ASSERT_TRUE(all.value && some.value);
  EXPECT_EQ(all.value->size(), 3U);
  ASSERT_EQ(some.value->size(), 1U);
  EXPECT_EQ(some.value->front()->parcel, "p-diag");
}

}  // namespace
}  // namespace Example
