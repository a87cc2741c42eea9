// The server over real unix and loopback TCP sockets: calls through the client channel and
// from raw peers, caller identity, hostile requests, and refusals.
#include "ormi/transport/server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "transport_support.h"

namespace TransportTest {
namespace {

using ::Ormi::Transport::Channel;
using ::Ormi::Transport::ClientOptions;
using ::Ormi::Transport::ServerOptions;
namespace Ids = ::Ormi::Transport::MessageIds;

constexpr char kGet[] = "/com.norval.hyrn.test.keys/get";

void AnswerWithKey(FakeKeys& keys) {
  keys.get = [](std::string const& key, ::BindingTest::Result<std::string> const& result) {
    result.SetResult("value-" + key);
  };
}

class RoundTrip : public ::testing::TestWithParam<bool> {};

// A stub call over the socket reaches the provider, which sees who called, and comes back.
TEST_P(RoundTrip, StubCallCarriesTheAnswerAndTheCaller) {
  TempDir dir;
  bool const tcp = GetParam();
  KeysServer server({tcp ? Address::Tcp("127.0.0.1", 0) : Address::Unix(dir.Path("s/keys.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  ClientOptions options;
  options.token = server.server->token();
  auto channel = std::make_shared<Channel>(server.address(), options);

  auto const outcome = CallGet(channel, "k");
  ASSERT_TRUE(outcome.value) << ::BindingTest::NameOf(outcome.error);
  EXPECT_EQ(*outcome.value, "value-k");
  auto const caller = server.keys->lastActivation->caller();
  ASSERT_TRUE(caller);
  EXPECT_EQ(caller->transport, tcp ? "tcp" : "unix");
  if (tcp) {
    EXPECT_THAT(caller->address, ::testing::StartsWith("127.0.0.1:"));
    EXPECT_TRUE(caller->token);
  } else {
    EXPECT_EQ(caller->uid, static_cast<std::int64_t>(::geteuid()));
    EXPECT_EQ(caller->pid, static_cast<std::int64_t>(::getpid()));
  }
  EXPECT_NE(server.keys->lastActivation->deadline(),
            ::Ormi::Core::AsyncActivation::Clock::time_point::max());
}

INSTANTIATE_TEST_SUITE_P(UnixAndTcp, RoundTrip, ::testing::Values(false, true));

}  // namespace
}  // namespace TransportTest
