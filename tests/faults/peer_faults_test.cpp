// Callers that vanish: a client process killed in the middle of a call, and one killed while
// it waits for the task it started.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "fault_support.h"
#include "held_executor.h"
#include "ormi/services/tasks.h"
#include "provider/host_model.h"
#include "provider/provider.h"

namespace FaultTest {
namespace {

using ::BindingTest::Result;

// Holds every Get until its call is cancelled, then lets go of it.
class HoldsUntilCancelled {
 public:
  explicit HoldsUntilCancelled(::BindingTest::FakeKeys& keys) {
    keys.get = [this](std::string const& /*key*/, Result<std::string> const& result) {
      auto const activation = ::BindingTest::FakeKeys::CallingActivation();
      {
        std::lock_guard<std::mutex> const lock(mutex_);
        held_.push_back(result);
        activation_ = activation;
      }
      changed_.notify_all();
      activation->cancellation()->OnCancel([this] {
        {
          std::lock_guard<std::mutex> const lock(mutex_);
          ++cancelled_;
          held_.clear();
        }
        changed_.notify_all();
      });
    };
  }
  bool WaitHeld() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 10s, [this] { return !held_.empty(); });
  }
  bool WaitCancelled() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 10s, [this] { return cancelled_ > 0; });
  }
  std::weak_ptr<::Ormi::Core::AsyncActivation> activation() {
    std::lock_guard<std::mutex> const lock(mutex_);
    return activation_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Result<std::string>> held_;
  std::weak_ptr<::Ormi::Core::AsyncActivation> activation_;
  int cancelled_ = 0;
};

// The server cancels the call of a client killed mid-call, logs it with status 0, lets go of
// everything the call held (its descriptor, its activation) and goes on serving.
TEST(ClientKilled, TheCallIsCancelledLoggedItsResourcesFreedAndServingGoesOn) {
  TempDir dir;
  std::mutex log_mutex;
  std::vector<::Ormi::Transport::CallRecord> log;
  ::Ormi::Transport::ServerOptions options;
  options.call_log = [&](::Ormi::Transport::CallRecord const& record) {
    std::lock_guard<std::mutex> const lock(log_mutex);
    log.push_back(record);
  };
  ::TransportTest::KeysServer server({Address::Unix(dir.Path("k.sock"))}, options);
  HoldsUntilCancelled provider(*server.keys);
  ASSERT_TRUE(server.Start());
  Address const address = server.address();
  // Each server I/O thread opens its event descriptors when its first connection comes;
  // connections that come and go first leave the count at its lasting level.
  for (int i = 0; i < 4; ++i) ::close(::TransportTest::Connect(address));
  int const base = SettledDescriptors();

  std::string const request =
      ::TransportTest::Post(::TransportTest::kGet, ::TransportTest::KeyBody("held"));
  pid_t const client = ::fork();
  if (client == 0) {  // only async-signal-safe calls here
    int const fd = ::TransportTest::Connect(address);
    if (fd >= 0) ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    for (;;) ::pause();
  }
  ASSERT_GT(client, 0);
  ASSERT_TRUE(provider.WaitHeld());
  EXPECT_EQ(SettledDescriptors(), base + 1);  // the client's connection
  server.keys->lastActivation.reset();        // the provider's record is not the server's hold
  auto const activation = provider.activation();

  ::kill(client, SIGKILL);
  ::waitpid(client, nullptr, 0);
  EXPECT_TRUE(provider.WaitCancelled());
  for (auto const end = Clock::now() + 5s;
       Clock::now() < end && (OpenDescriptors() != base || !activation.expired());) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(OpenDescriptors(), base);
  EXPECT_TRUE(activation.expired());
  {
    std::lock_guard<std::mutex> const lock(log_mutex);
    ASSERT_EQ(log.size(), 1U);
    EXPECT_EQ(log[0].operation, "get");
    EXPECT_EQ(log[0].status, 0U);
  }

  ::TransportTest::AnswerWithKey(*server.keys);
  auto channel = std::make_shared<Channel>(address, ClientOptions{});
  EXPECT_EQ(::TransportTest::CallGet(channel, "a").value, boost::optional<std::string>("value-a"));
}

using ::TestSupport::HeldExecutor;

// hyrn starts a scan and waits for it; killed while the task runs, it takes nothing with it:
// the task finishes and another client reads its result through the tasks service.
TEST(CallerKilled, ItsRunningTaskFinishesAndAnotherClientReadsTheResult) {
  TempDir dir;
  std::string const socket = dir.Path("tasks.sock");
  auto work = std::make_shared<HeldExecutor>();
  auto store = std::make_shared<::Ormi::Tasks::Store>();
  auto registry = std::make_shared<::Ormi::InProcess::Registry>();
  auto model = std::make_shared<Example::HostModel>();
  Example::AddSampleHosts(*model);
  ASSERT_TRUE(Example::Provider(model, "host-01", work, store).RegisterAll(*registry));
  ASSERT_TRUE(registry->Register(::Ormi::Services::BindTasksService(store)));
  ::Ormi::Transport::ServerOptions options;
  options.listen = {Address::Unix(socket)};
  auto const calls = std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(2);
  ::Ormi::Transport::Server server(registry, calls, options);
  std::list<::Ormi::BaseMessage> messages;
  ASSERT_TRUE(server.Start(messages));

  std::string const scan =
      R"({"scan_spec":{"software_spec":{"base_image":{"version":"8.0.3"}},"depots":["main"]}})";
  ChildServer hyrn({HYRN_PATH, "--connect", "unix:" + socket, "call",
                    "com.norval.hyrn.settings_daemon.software/scan$task", "--wait", "-d", scan},
                   dir.Path("hyrn.log"));
  ASSERT_TRUE(hyrn.Start(socket));
  for (auto const end = Clock::now() + 10s; Clock::now() < end && store->List({}).empty();) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_EQ(store->List({}).size(), 1U) << hyrn.Log();
  std::this_thread::sleep_for(300ms);  // hyrn now waits for the task
  ASSERT_TRUE(hyrn.Running()) << hyrn.Log();
  hyrn.Kill();
  std::string const id = store->List({}).front().id;
  EXPECT_EQ(store->List({}).front().state, ::Ormi::Tasks::TaskState::kRunning);

  ASSERT_EQ(work->RunHeld(), 1U);
  using TasksSvc = ::Com::Norval::Ormi::TasksSvc;
  using Info = std::shared_ptr<::Com::Norval::Ormi::Tasks::TaskInfo const>;
  Outcomes<Info> outcomes;
  auto const other = std::make_shared<Channel>(Address::Unix(socket), ClientOptions{});
  TasksSvc::AsyncServiceStub(other).Wait(id, 5000, nullptr,
                                         outcomes.Expect<TasksSvc::WaitMethod::ResultType>());
  ASSERT_TRUE(outcomes.WaitAll(10s));
  auto const outcome = outcomes.Snapshot().front();
  ASSERT_TRUE(outcome.last && *outcome.last) << outcome.error;
  EXPECT_EQ((*outcome.last)->state, ::Com::Norval::Ormi::Tasks::TaskState::SUCCEEDED);
  EXPECT_TRUE((*outcome.last)->result);  // the scan's compliance report
  EXPECT_EQ(store->List({}).front().state, ::Ormi::Tasks::TaskState::kSucceeded);
  server.Stop();
}

}  // namespace
}  // namespace FaultTest
