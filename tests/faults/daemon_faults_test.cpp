// hyrnd as a process meeting faults: killed with calls in flight and started again at the same
// address, its socket path taken, and its descriptors exhausted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "fault_support.h"

namespace FaultTest {
namespace {

using ::Com::Norval::Hyrn::HostSettings::ConfigSpec;
using ::Com::Norval::Hyrn::HostSettings::ConfigSvc;
using Spec = std::shared_ptr<ConfigSpec const>;
using SpecResult = ::BindingTest::Result<Spec>;

std::shared_ptr<::Ormi::Core::AsyncActivation> Within(std::chrono::milliseconds timeout) {
  auto activation = std::make_shared<::Ormi::Core::AsyncActivation>();
  activation->SetDeadline(Clock::now() + timeout);
  return activation;
}

// Calls config/get of host-01 and waits for the answer: the error's name, or "" on success.
std::string GetConfig(std::shared_ptr<Channel> const& channel,
                      std::chrono::milliseconds timeout = 5s) {
  Outcomes<Spec> outcomes;
  ConfigSvc::AsyncServiceStub(channel).Get("host-01", Within(timeout),
                                           outcomes.Expect<SpecResult>());
  if (!outcomes.WaitAll(timeout + 5s)) return "<no answer>";
  auto const outcome = outcomes.Snapshot().front();
  return outcome.value ? "" : outcome.error;
}

ChildServer Hyrnd(TempDir const& dir, std::string const& socket, rlim_t nofile = 0) {
  return ChildServer({HYRND_PATH, "--listen", "unix:" + socket}, dir.Path("log"), nofile);
}

// Calls sent to a daemon that then dies each end once, service-unavailable, before their
// deadline; the same channel is served again by a daemon started at the same address, which
// replaces the socket file the killed one left.
TEST(DaemonKilled, CallsInFlightEndUnavailableAndTheSameChannelIsServedAfterARestart) {
  TempDir dir;
  std::string const socket = dir.Path("hyrnd.sock");
  ChildServer first = Hyrnd(dir, socket);
  ASSERT_TRUE(first.Start(socket)) << first.Log();
  auto channel = std::make_shared<Channel>(Address::Unix(socket), ClientOptions{});
  ASSERT_EQ(GetConfig(channel), "");

  // Stopped, the daemon reads nothing: the calls are surely in flight when it is killed.
  ASSERT_TRUE(first.Freeze());
  constexpr int kCalls = 24;  // more than the channel's connections: some wait for one
  constexpr auto kDeadline = 8s;
  Outcomes<Spec> outcomes;
  for (int i = 0; i < kCalls; ++i) {
    ConfigSvc::AsyncServiceStub(channel).Get("host-01", Within(kDeadline),
                                             outcomes.Expect<SpecResult>());
  }
  std::this_thread::sleep_for(300ms);
  for (auto const& outcome : outcomes.Snapshot()) EXPECT_EQ(outcome.deliveries, 0);
  first.Kill();
  EXPECT_TRUE(WIFSIGNALED(first.status()) && WTERMSIG(first.status()) == SIGKILL);

  ASSERT_TRUE(outcomes.WaitAll(kDeadline + 2s));
  std::this_thread::sleep_for(100ms);  // a second delivery would come now
  for (auto const& outcome : outcomes.Snapshot()) {
    EXPECT_EQ(outcome.deliveries, 1);
    EXPECT_FALSE(outcome.value);
    EXPECT_EQ(outcome.error, Names::kServiceUnavailable);
    EXPECT_LT(outcome.took, kDeadline);
  }
  EXPECT_EQ(GetConfig(channel), Names::kServiceUnavailable);  // nobody listens now

  ChildServer second = Hyrnd(dir, socket);
  ASSERT_TRUE(second.Start(socket)) << second.Log();
  EXPECT_EQ(GetConfig(channel), "");
  EXPECT_EQ(GetConfig(channel), "");  // and again, on the connection kept alive
}

// A second daemon at a live daemon's address refuses to start and says why; the first goes on
// serving. A path taken by a file that is not a socket is refused and the file kept.
TEST(SocketPath, ALiveDaemonIsNeverTakenOverAndAPlainFileIsNotRemoved) {
  TempDir dir;
  std::string const socket = dir.Path("hyrnd.sock");
  ChildServer live = Hyrnd(dir, socket);
  ASSERT_TRUE(live.Start(socket)) << live.Log();

  ChildServer intruder({HYRND_PATH, "--listen", "unix:" + socket}, dir.Path("intruder.log"));
  EXPECT_FALSE(intruder.Start(dir.Path("never")));
  ASSERT_TRUE(intruder.WaitEnded(10s));
  EXPECT_TRUE(WIFEXITED(intruder.status()) && WEXITSTATUS(intruder.status()) == 1);
  EXPECT_THAT(intruder.Log(), ::testing::HasSubstr("is in use by a running server"));
  auto channel = std::make_shared<Channel>(Address::Unix(socket), ClientOptions{});
  EXPECT_EQ(GetConfig(channel), "");
  EXPECT_TRUE(live.Running());

  std::string const plain = dir.Path("plain");
  std::ofstream(plain) << "keep me";
  ChildServer blocked({HYRND_PATH, "--listen", "unix:" + plain}, dir.Path("blocked.log"));
  EXPECT_FALSE(blocked.Start(dir.Path("never")));
  ASSERT_TRUE(blocked.WaitEnded(10s));
  EXPECT_TRUE(WIFEXITED(blocked.status()) && WEXITSTATUS(blocked.status()) == 1);
  EXPECT_THAT(blocked.Log(), ::testing::HasSubstr("not a socket"));
  std::string kept;
  std::getline(std::ifstream(plain), kept);
  EXPECT_EQ(kept, "keep me");
}

// The sanitizers' runtime needs descriptors of its own for its checks (it probes memory
// through a pipe), so out of descriptors it reports errors that are not there.
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define HYRN_TEST_SANITIZED 1
#endif
#endif
#if !defined(HYRN_TEST_SANITIZED) && (defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__))
#define HYRN_TEST_SANITIZED 1
#endif

// Out of descriptors, the daemon says so once and closes new connections at once (their
// calls end unavailable, not at their deadline); a connection it holds goes on being served;
// once descriptors are free it accepts again and says so.
TEST(DescriptorExhaustion, NewConnectionsAreRefusedOldOnesServedAndAcceptingResumes) {
#ifdef HYRN_TEST_SANITIZED
  GTEST_SKIP() << "a sanitized daemon cannot run out of descriptors without false reports";
#endif
  TempDir dir;
  std::string const socket = dir.Path("hyrnd.sock");
  constexpr rlim_t kLimit = 48;
  ChildServer daemon = Hyrnd(dir, socket, kLimit);
  ASSERT_TRUE(daemon.Start(socket)) << daemon.Log();
  Address const address = Address::Unix(socket);
  std::string const list =
      ::TransportTest::Post("/com.norval.ormi.introspection.v1/list", "{}", "", "application/json");
  // Served on a connection accepted before the descriptors ran out.
  int const kept = ::TransportTest::Connect(address);
  ASSERT_GE(kept, 0);
  auto const served_on_kept = [&] {
    if (::send(kept, list.data(), list.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(list.size()))
      return false;
    auto const answers = ::TransportTest::ParseResponses(::TransportTest::ReadAnswers(kept, 1, 5s));
    return answers.size() == 1 && answers[0].result_int() == 200U;
  };
  ASSERT_TRUE(served_on_kept());

  std::vector<int> fillers;
  for (auto const end = Clock::now() + 10s;
       Clock::now() < end && daemon.Log().find("Cannot accept") == std::string::npos;) {
    if (fillers.size() < kLimit) fillers.push_back(::TransportTest::Connect(address));
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_THAT(daemon.Log(), ::testing::HasSubstr("Cannot accept connections on unix:" + socket));

  auto fresh = std::make_shared<Channel>(address, ClientOptions{});
  EXPECT_EQ(GetConfig(fresh, 3s), Names::kServiceUnavailable);

  EXPECT_TRUE(served_on_kept());
  std::string const log = daemon.Log();
  EXPECT_EQ(log.find("Cannot accept"), log.rfind("Cannot accept"));  // said once

  for (int const fd : fillers) ::close(fd);
  std::string outcome = "<not tried>";
  for (auto const end = Clock::now() + 10s; Clock::now() < end && !outcome.empty();) {
    outcome = GetConfig(fresh, 2s);
  }
  EXPECT_EQ(outcome, "");
  EXPECT_THAT(daemon.Log(), ::testing::HasSubstr("Accepting connections on unix:" + socket));
  ::close(kept);
  EXPECT_TRUE(daemon.Running());
}

}  // namespace
}  // namespace FaultTest
