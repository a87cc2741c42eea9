#include "ormi/services/tasks.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <boost/json.hpp>
#include <boost/optional/optional_io.hpp>

#include "com/norval/hyrn/settings_daemon/settings_daemon.h"
#include "held_executor.h"
#include "hyrn/cli.h"
#include "introspection_support.h"
#include "ormi/data/convert.h"
#include "ormi/data/error_names.h"
#include "ormi/in_process/connector.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/server.h"
#include "provider/host_model.h"
#include "provider/provider.h"

namespace TasksServiceTest {
namespace {

namespace Gen = ::Com::Norval::Ormi::Tasks;
namespace Sd = ::Com::Norval::Hyrn::SettingsDaemon;
namespace json = boost::json;
using ::IntrospectionTest::Await;
using ::IntrospectionTest::Outcome;
using ::Ormi::Transport::Address;
using ::Ormi::Transport::Channel;
using TasksSvc = ::Com::Norval::Ormi::TasksSvc;
using Info = std::shared_ptr<Gen::TaskInfo const>;

constexpr char kSoftware[] = "com.norval.hyrn.settings_daemon.software";
constexpr char kComponents[] = "com.norval.hyrn.settings_daemon.components";

using ::TestSupport::HeldExecutor;

// The example provider (its task work held back) and the tasks service over its store, served
// on a unix socket in a folder of its own.
class TasksOverSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ormi-tasks-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    address_ = Address::Unix(folder_ + "/tasks.sock");
    auto model = std::make_shared<Example::HostModel>();
    Example::AddSampleHosts(*model);
    Example::Provider const provider(model, "host-01", work_, store_);
    ASSERT_TRUE(provider.RegisterAll(*registry_));
    ASSERT_TRUE(registry_->Register(Ormi::Services::BindTasksService(store_)));
    ::Ormi::Transport::ServerOptions options;
    options.listen = {address_};
    server_ = std::make_unique<::Ormi::Transport::Server>(registry_, calls_, std::move(options));
    std::list<::Ormi::BaseMessage> messages;
    ASSERT_TRUE(server_->Start(messages))
        << (messages.empty() ? std::string() : messages.front().defaultMessage);
    channel_ = Connect();
  }

  void TearDown() override {
    channel_.reset();
    if (server_) server_->Stop();
    calls_->Drain();
    work_->DropHeld();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::shared_ptr<Channel> Connect() const {
    return std::make_shared<Channel>(address_, ::Ormi::Transport::ClientOptions{});
  }

  // Starts a task of `Method` through `call(result)`; its identifier, or its error.
  template <typename Method, typename Call>
  static Outcome<std::string> Start(Call&& call) {
    auto const promise = std::make_shared<std::promise<Outcome<std::string>>>();
    auto future = promise->get_future();
    call(typename Method::ResultType(typename Method::ResultType::TaskCallback(
        [promise](std::string const& id, ::Ormi::ErrorPtr const& error) {
          promise->set_value({id, error});
        })));
    return future.wait_for(std::chrono::seconds(10)) == std::future_status::ready
               ? future.get()
               : Outcome<std::string>{};
  }

  // A scan of the provider's host against base image 8.0.3 and net-driver 2.1.0; host-01
  // has 8.0.2 and 2.0.5 installed.
  std::string StartScan(std::shared_ptr<Channel> const& channel) const {
    auto spec = std::make_shared<Sd::SoftwareSvc::ScanSpec>();
    spec->software_spec = NewerSoftware();
    spec->depots = {"main"};
    Sd::SoftwareSvc::AsyncServiceStub stub(channel);
    auto const started = Start<Sd::SoftwareSvc::ScanMethod>(
        [&](auto const& result) { stub.Scan(spec, nullptr, result); });
    EXPECT_EQ(started.error, nullptr);
    return started.value.value_or("");
  }

  std::string StartApply() const {
    auto spec = std::make_shared<Sd::SoftwareSvc::ApplySpec>();
    spec->software_spec = NewerSoftware();
    spec->depots = {"main"};
    Sd::SoftwareSvc::AsyncServiceStub stub(channel_);
    auto const started = Start<Sd::SoftwareSvc::ApplyMethod>(
        [&](auto const& result) { stub.Apply(spec, nullptr, result); });
    EXPECT_EQ(started.error, nullptr);
    return started.value.value_or("");
  }

  std::string StartComponentsApply() const {
    auto spec = std::make_shared<Sd::ComponentsSvc::ApplySpec>();
    spec->components = {{"net-driver", "2.1.0"}};
    spec->depots = {"main"};
    Sd::ComponentsSvc::AsyncServiceStub stub(channel_);
    auto const started = Start<Sd::ComponentsSvc::ApplyMethod>(
        [&](auto const& result) { stub.Apply(spec, nullptr, result); });
    EXPECT_EQ(started.error, nullptr);
    return started.value.value_or("");
  }

  static std::shared_ptr<Sd::SoftwareSpec const> NewerSoftware() {
    auto spec = std::make_shared<Sd::SoftwareSpec>();
    auto base_image = std::make_shared<Sd::BaseImageSpec>();
    base_image->version = "8.0.3";
    spec->base_image = std::move(base_image);
    spec->components =
        std::map<std::string, boost::optional<std::string>>{{"net-driver", std::string("2.1.0")}};
    return spec;
  }

  Outcome<Info> Get(std::string const& id, std::shared_ptr<Channel> const& channel) const {
    TasksSvc::AsyncServiceStub stub(channel);
    return Await<TasksSvc::GetMethod>([&](auto const& result) { stub.Get(id, nullptr, result); });
  }
  Outcome<Info> Get(std::string const& id) const { return Get(id, channel_); }
  Outcome<Info> Wait(std::string const& id, std::int64_t timeout_ms) const {
    TasksSvc::AsyncServiceStub stub(channel_);
    return Await<TasksSvc::WaitMethod>(
        [&](auto const& result) { stub.Wait(id, timeout_ms, nullptr, result); });
  }
  Outcome<Info> Cancel(std::string const& id) const {
    TasksSvc::AsyncServiceStub stub(channel_);
    return Await<TasksSvc::CancelMethod>(
        [&](auto const& result) { stub.Cancel(id, nullptr, result); });
  }
  // The identifiers of the listed tasks, in the order listed.
  std::vector<std::string> List(Gen::TaskFilter const& filter) const {
    TasksSvc::AsyncServiceStub stub(channel_);
    auto const outcome = Await<TasksSvc::ListMethod>([&](auto const& result) {
      stub.List(std::make_shared<Gen::TaskFilter const>(filter), nullptr, result);
    });
    EXPECT_EQ(outcome.error, nullptr);
    std::vector<std::string> ids;
    for (auto const& info : outcome.value.value_or(TasksService::InfoList{})) {
      EXPECT_FALSE(info->result) << info->id;  // lists carry no outcomes
      ids.push_back(info->id);
    }
    return ids;
  }

  // The body of a plain JSON POST to the tasks service, parsed; null when it did not answer 200.
  json::value PostPlain(std::string const& operation, std::string body) const {
    std::promise<::Ormi::Transport::RawAnswer> answered;
    auto answer = answered.get_future();
    channel_->Post("com.norval.ormi.tasks", operation, std::move(body), "application/json",
                   std::chrono::seconds(10), [&answered](::Ormi::Transport::RawAnswer const& raw) {
                     answered.set_value(raw);
                   });
    if (answer.wait_for(std::chrono::seconds(15)) != std::future_status::ready) return nullptr;
    auto const raw = answer.get();
    EXPECT_EQ(raw.status, 200U) << raw.body;
    EXPECT_EQ(raw.media_type, "application/json");
    return raw.status == 200 ? json::parse(raw.body) : json::value();
  }

  using TasksService = ::Ormi::Services::TasksService;

  std::shared_ptr<HeldExecutor> const work_ = std::make_shared<HeldExecutor>();
  std::shared_ptr<::Ormi::Tasks::Store> const store_ = std::make_shared<::Ormi::Tasks::Store>();
  std::shared_ptr<::Ormi::InProcess::Registry> const registry_ =
      std::make_shared<::Ormi::InProcess::Registry>();
  std::shared_ptr<::Ormi::InProcess::ThreadPoolExecutor> const calls_ =
      std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(2);
  std::string folder_;
  Address address_;
  std::unique_ptr<::Ormi::Transport::Server> server_;
  std::shared_ptr<Channel> channel_;
};

std::shared_ptr<Sd::HostCompliance const> ComplianceOf(Info const& info) {
  std::shared_ptr<Sd::HostCompliance const> compliance;
  if (!info || !info->result) return compliance;
  std::list<::Ormi::BaseMessage> messages;
  EXPECT_TRUE(::Ormi::Data::FromValue(info->result->value(), &compliance, messages))
      << (messages.empty() ? std::string() : messages.front().defaultMessage);
  return compliance;
}

TEST_F(TasksOverSocket, AScanRunsAsATaskAndEndsWithTheHostsCompliance) {
  std::string const id = StartScan(channel_);
  ASSERT_FALSE(id.empty());

  // Held back: still running, and a wait without time answers at once.
  auto const running = Wait(id, 0);
  ASSERT_TRUE(running.value) << (running.error ? running.error->name() : "no answer");
  EXPECT_EQ((*running.value)->state, Gen::TaskState::RUNNING);
  EXPECT_EQ((*running.value)->service, kSoftware);
  EXPECT_EQ((*running.value)->operation, "scan$task");
  EXPECT_FALSE((*running.value)->end_time);
  ASSERT_TRUE((*running.value)->caller);
  EXPECT_EQ((*running.value)->caller->transport, "unix");
  EXPECT_EQ((*running.value)->caller->uid, static_cast<std::int64_t>(::getuid()));

  ASSERT_EQ(work_->RunHeld(), 1U);
  auto const done = Wait(id, 5000);
  ASSERT_TRUE(done.value);
  EXPECT_EQ((*done.value)->state, Gen::TaskState::SUCCEEDED);
  EXPECT_EQ((*done.value)->progress->completed, 1);
  EXPECT_TRUE((*done.value)->end_time);

  auto const compliance = ComplianceOf(*done.value);
  ASSERT_NE(compliance, nullptr);
  EXPECT_EQ(compliance->status, Sd::ComplianceStatus::NON_COMPLIANT);
  EXPECT_EQ(compliance->base_image->status, Sd::ComplianceStatus::NON_COMPLIANT);
  EXPECT_EQ(compliance->base_image->current->version, "8.0.2");
  EXPECT_EQ(compliance->base_image->target->version, "8.0.3");
  auto const net_driver = compliance->components.find("net-driver");
  ASSERT_NE(net_driver, compliance->components.end());
  EXPECT_EQ(net_driver->second->status, Sd::ComplianceStatus::NON_COMPLIANT);
  ASSERT_TRUE(net_driver->second->current);
  EXPECT_EQ(net_driver->second->current->version, boost::make_optional(std::string("2.0.5")));

  // `get` tells the same as the wait that saw the end.
  auto const got = Get(id);
  ASSERT_TRUE(got.value);
  EXPECT_EQ((*got.value)->state, Gen::TaskState::SUCCEEDED);
  auto const again = ComplianceOf(*got.value);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->base_image->current->version, "8.0.2");
}

TEST_F(TasksOverSocket, ACancelledApplyEndsCancelledAndLeavesTheHostAsItWas) {
  std::string const id = StartApply();
  ASSERT_FALSE(id.empty());
  auto const cancelled = Cancel(id);
  ASSERT_TRUE(cancelled.value);
  EXPECT_TRUE((*cancelled.value)->cancel_requested);
  EXPECT_EQ((*cancelled.value)->state, Gen::TaskState::RUNNING);  // the provider decides

  ASSERT_EQ(work_->RunHeld(), 1U);
  auto const done = Wait(id, 5000);
  ASSERT_TRUE(done.value);
  EXPECT_EQ((*done.value)->state, Gen::TaskState::CANCELLED);
  EXPECT_FALSE((*done.value)->result);
  EXPECT_FALSE((*done.value)->error);
  EXPECT_TRUE((*done.value)->end_time);

  // A later cancel leaves the ended task as it is.
  auto const late = Cancel(id);
  ASSERT_TRUE(late.value);
  EXPECT_EQ((*late.value)->state, Gen::TaskState::CANCELLED);

  // The apply never ran: the host still has its old base image.
  std::string const scan = StartScan(channel_);
  ASSERT_EQ(work_->RunHeld(), 1U);
  auto const compliance = ComplianceOf(Wait(scan, 5000).value.value_or(nullptr));
  ASSERT_NE(compliance, nullptr);
  EXPECT_EQ(compliance->base_image->current->version, "8.0.2");
}

TEST_F(TasksOverSocket, ATaskOutlivesTheChannelThatStartedIt) {
  auto starter = Connect();
  std::string const id = StartScan(starter);
  ASSERT_FALSE(id.empty());
  starter.reset();
  ASSERT_EQ(work_->RunHeld(), 1U);

  auto const other = Connect();
  auto const got = Get(id, other);
  ASSERT_TRUE(got.value);
  EXPECT_EQ((*got.value)->state, Gen::TaskState::SUCCEEDED);
  EXPECT_NE(ComplianceOf(*got.value), nullptr);
}

TEST_F(TasksOverSocket, AnUnknownTaskIsNotFoundForEveryOperation) {
  for (auto const& outcome : {Get("task-404"), Wait("task-404", 0), Cancel("task-404")}) {
    EXPECT_FALSE(outcome.value);
    ASSERT_NE(outcome.error, nullptr);
    EXPECT_EQ(outcome.error->name(), ::Ormi::Data::ErrorName::kNotFound);
  }
}

TEST_F(TasksOverSocket, ListFiltersByStateServiceAndOperation) {
  std::string const scan = StartScan(channel_);
  ASSERT_EQ(work_->RunHeld(), 1U);
  ASSERT_TRUE(Wait(scan, 5000).value);
  std::string const apply = StartApply();
  std::string const components = StartComponentsApply();

  auto const filter = [](boost::optional<Gen::TaskState> state,
                         boost::optional<std::string> service,
                         boost::optional<std::string> operation) {
    Gen::TaskFilter out;
    out.state = std::move(state);
    out.service = std::move(service);
    out.operation = std::move(operation);
    return out;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(List(filter({}, {}, {})), (V{scan, apply, components}));
  EXPECT_EQ(List(filter(Gen::TaskState(Gen::TaskState::RUNNING), {}, {})), (V{apply, components}));
  EXPECT_EQ(List(filter(Gen::TaskState(Gen::TaskState::SUCCEEDED), {}, {})), (V{scan}));
  EXPECT_EQ(List(filter({}, std::string(kSoftware), {})), (V{scan, apply}));
  EXPECT_EQ(List(filter({}, {}, std::string("apply$task"))), (V{apply, components}));
  EXPECT_EQ(List(filter({}, std::string(kComponents), std::string("apply$task"))), (V{components}));
  EXPECT_EQ(List(filter(Gen::TaskState(Gen::TaskState::SUCCEEDED), std::string(kComponents), {})),
            V{});
}

// The plain JSON answer writes the task's result with the definition of the work's result:
// enumerations as their names, structures as objects keyed by wire names, nothing canonical.
TEST_F(TasksOverSocket, PlainJsonShowsTheResultInItsOwnPlainForm) {
  std::string const scan = StartScan(channel_);
  std::string const apply = StartComponentsApply();
  ASSERT_EQ(work_->RunHeld(), 2U);
  ASSERT_TRUE(Wait(apply, 5000).value);

  auto const got = PostPlain("get", json::serialize(json::object{{"task", scan}}));
  ASSERT_TRUE(got.is_object()) << got;
  EXPECT_EQ(got.at("state"), "SUCCEEDED");
  auto const& result = got.at("result");
  ASSERT_TRUE(result.is_object()) << result;
  EXPECT_EQ(result.at("status"), "NON_COMPLIANT");
  EXPECT_EQ(result.at("base_image").at("current").at("version"), "8.0.2");
  EXPECT_EQ(result.at("components").at("net-driver").at("status"), "NON_COMPLIANT");
  EXPECT_EQ(json::serialize(result).find('$'), std::string::npos) << result;

  auto const waited = PostPlain("wait", json::serialize(json::object{{"task", scan}}));
  ASSERT_TRUE(waited.is_object()) << waited;
  EXPECT_EQ(waited.at("result"), result);

  auto const void_task = PostPlain("get", json::serialize(json::object{{"task", apply}}));
  ASSERT_TRUE(void_task.is_object()) << void_task;
  EXPECT_EQ(void_task.at("state"), "SUCCEEDED");
  EXPECT_TRUE(void_task.at("result").is_null()) << void_task;
}

// A wait blocked in the server answers when the work ends on another thread.
TEST_F(TasksOverSocket, AWaitingCallAnswersWhenTheTaskEnds) {
  std::string const id = StartScan(channel_);
  ASSERT_FALSE(id.empty());
  auto waiting = std::async(std::launch::async, [&] { return Wait(id, 15000); });
  ASSERT_EQ(work_->RunHeld(), 1U);
  auto const done = waiting.get();
  ASSERT_TRUE(done.value);
  EXPECT_EQ((*done.value)->state, Gen::TaskState::SUCCEEDED);
}

// hyrn against work that does not end: `call --wait` gives up at --timeout with timed-out and
// says the task goes on; `task cancel` asks it to stop, and `task wait` sees it cancelled.
TEST_F(TasksOverSocket, HyrnGivesUpWaitingAtItsTimeoutAndTheTaskGoesOn) {
  auto hyrn = [this](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"hyrn", "--connect", address_.ToString()});
    std::vector<char const*> argv;
    argv.reserve(arguments.size());
    for (auto const& argument : arguments) argv.push_back(argument.c_str());
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    int const code = Hyrn::Run(static_cast<int>(argv.size()), argv.data(), {in, out, err});
    return std::make_pair(code, out.str() + err.str());
  };
  auto const waited =
      hyrn({"--timeout", "300", "call", std::string(kComponents) + "/apply$task", "--wait", "-d",
            R"({"apply_spec":{"components":{"extra-tool":"0.3"},"depots":["main"]}})"});
  EXPECT_EQ(waited.first, Hyrn::kTimedOut) << waited.second;
  EXPECT_THAT(waited.second, ::testing::HasSubstr("had not ended"));
  auto const running = store_->List({});
  ASSERT_EQ(running.size(), 1U);
  EXPECT_EQ(running[0].state, ::Ormi::Tasks::TaskState::kRunning);

  auto const cancelled = hyrn({"task", "cancel", running[0].id});
  EXPECT_EQ(cancelled.first, Hyrn::kSuccess) << cancelled.second;
  EXPECT_THAT(cancelled.second, ::testing::HasSubstr("\"cancel_requested\": true"));
  ASSERT_EQ(work_->RunHeld(), 1U);
  auto const ended = hyrn({"task", "wait", running[0].id});
  EXPECT_EQ(ended.first, Hyrn::kSuccess) << ended.second;
  EXPECT_THAT(ended.second, ::testing::HasSubstr("\"state\": \"CANCELLED\""));
}

// A wait is cut to the service's longest, and one without a timeout takes the default; either
// answers with the task still running.
TEST(TasksServiceWait, AWaitIsCutToTheLongestAndTakesTheDefaultWithoutATimeout) {
  auto const store = std::make_shared<::Ormi::Tasks::Store>(::Ormi::Tasks::StoreOptions{});
  ::Ormi::Tasks::TaskSpec spec;
  spec.service = kSoftware;
  spec.operation = "scan$task";
  auto const task = store->Create(spec);
  ::Ormi::Services::TasksServiceOptions options;
  options.default_wait = std::chrono::milliseconds(100);
  options.max_wait = std::chrono::milliseconds(300);
  ::Ormi::Services::TasksService service(store, options);
  using Result = ::Ormi::Services::TasksService::Result<Info>;
  for (auto const timeout :
       {boost::optional<std::int64_t>(60000), boost::optional<std::int64_t>()}) {
    Info answer;
    auto const start = std::chrono::steady_clock::now();
    service.Wait(task.id(), timeout, nullptr,
                 Result(Result::Callback(
                     [&answer](auto const& value, auto const& /*error*/, auto const& /*progress*/) {
                       if (value) answer = *value;
                     })));
    auto const took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(answer) << timeout;
    EXPECT_EQ(answer->state, Gen::TaskState::RUNNING) << timeout;
    EXPECT_GE(took, timeout ? std::chrono::milliseconds(290) : std::chrono::milliseconds(90));
    EXPECT_LT(took, std::chrono::milliseconds(2300)) << timeout;
  }
}

}  // namespace
}  // namespace TasksServiceTest
