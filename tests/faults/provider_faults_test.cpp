// Providers that misbehave, served by a process of their own (hyrn_fault_server): each fault
// gives the caller one clear error and leaves the server up, except a second answer, which by
// the binding frame's rule ends the serving process after the first answer went out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fault_support.h"

namespace FaultTest {
namespace {

using ::BindingTest::KeysSvc;
using Answers = Outcomes<std::string>;

class ProviderFaults : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.Start(socket_)) << server_.Log(); }

  // Calls get(key) within `timeout` and waits for its answer and for a second one.
  Answers::Outcome Get(std::string const& key, std::chrono::milliseconds timeout = 2s,
                       std::chrono::milliseconds more = 100ms) {
    auto activation = std::make_shared<::Ormi::Core::AsyncActivation>();
    activation->SetDeadline(Clock::now() + timeout);
    Answers answers;
    KeysSvc::AsyncServiceStub(channel_).Get(key, activation,
                                            answers.Expect<::BindingTest::Result<std::string>>());
    EXPECT_TRUE(answers.WaitAll(timeout + 5s)) << key;
    std::this_thread::sleep_for(more);
    return answers.Snapshot().front();
  }

  TempDir dir_;
  std::string socket_ = dir_.Path("faults.sock");
  ChildServer server_{{HYRN_FAULT_SERVER_PATH, "unix:" + socket_}, dir_.Path("log")};
  std::shared_ptr<Channel> channel_ =
      std::make_shared<Channel>(Address::Unix(socket_), ClientOptions{});
};

TEST_F(ProviderFaults, ThrowingNeverAnsweringAndAnsweringLateEachEndInOneError) {
  auto const thrown = Get("throw");
  EXPECT_EQ(thrown.deliveries, 1);
  EXPECT_EQ(thrown.error, Names::kInternalServerError);
  EXPECT_THAT(thrown.ids, ::testing::ElementsAre(Ids::kProviderFailed));
  EXPECT_THAT(thrown.text, ::testing::HasSubstr("the provider broke down"));
  ASSERT_TRUE(server_.Running()) << server_.Log();
  EXPECT_EQ(Get("a").last, boost::optional<std::string>("value-a"));

  auto const never = Get("never", 300ms);
  EXPECT_EQ(never.deliveries, 1);
  EXPECT_EQ(never.error, Names::kTimedOut);
  EXPECT_LT(never.took, 2s);

  // Answered after 1 s, past its deadline: the caller had its error and hears nothing more.
  auto const late = Get("late", 300ms, 1500ms);
  EXPECT_EQ(late.deliveries, 1);
  EXPECT_EQ(late.error, Names::kTimedOut);
  EXPECT_TRUE(server_.Running()) << server_.Log();
  EXPECT_EQ(Get("b").last, boost::optional<std::string>("value-b"));
}

TEST_F(ProviderFaults, ASecondAnswerEndsTheServerAfterTheFirstReachedTheCaller) {
  auto const twice = Get("twice", 2s, 500ms);
  EXPECT_EQ(twice.deliveries, 1);
  EXPECT_EQ(twice.last, boost::optional<std::string>("first"));
  ASSERT_TRUE(server_.WaitEnded(5s));
  EXPECT_TRUE(WIFSIGNALED(server_.status()) && WTERMSIG(server_.status()) == SIGABRT)
      << server_.status();
  EXPECT_EQ(Get("a").error, Names::kServiceUnavailable);
}

}  // namespace
}  // namespace FaultTest
