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

struct Hostile {
  char const* what;
  std::string bytes;
  unsigned status;
  char const* message_id;
};

// Each malformed or hostile request gets a clear error, and meanwhile a client on another
// connection keeps being served.
TEST(HostileRequests, EachGetsAClearErrorWhileOthersAreServed) {
  TempDir dir;
  ServerOptions options;
  options.limits.max_body_bytes = 4096;
  options.limits.max_json_depth = 16;
  KeysServer server({Address::Unix(dir.Path("keys.sock"))}, options);
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  auto channel = std::make_shared<Channel>(server.address(), ClientOptions{});
  std::string const body = KeyBody("a");
  std::string const length = "Content-Length: " + std::to_string(body.size()) + "\r\n";
  std::string const deep =
      R"({"$struct":"com.norval.ormi.operation_input","fields":{"key":"a","x":)" +
      std::string(20, '[') + std::string(20, ']') + "}}";
  Hostile const cases[] = {
      {"wrong method", "GET " + std::string(kGet) + " HTTP/1.1\r\nHost: x\r\n\r\n", 400,
       Ids::kMethodNotAllowed},
      {"root path", Post("/", body), 404, Ids::kPathInvalid},
      {"path without operation", Post("/com.norval.hyrn.test.keys", body), 404, Ids::kPathInvalid},
      {"path too deep", Post("/a/b/c", body), 404, Ids::kPathInvalid},
      {"broken percent escape", Post("/com.norval.hyrn.test.keys/ge%2", body), 404,
       Ids::kPathInvalid},
      {"unknown service", Post("/com.norval.none/get", body), 404, Ids::kServiceNotFound},
      {"unknown operation", Post("/com.norval.hyrn.test.keys/fetch", body), 404,
       Ids::kMethodNotFound},
      {"unsupported media type", Post(kGet, body, "", "text/plain"), 400, Ids::kMediaUnsupported},
      {"no media type",
       "POST " + std::string(kGet) + " HTTP/1.1\r\nHost: x\r\n" + length + "\r\n" + body, 400,
       Ids::kMediaUnsupported},
      {"invalid JSON", Post(kGet, "{\"$struct\""), 400, "ormi.data.json.malformed"},
      {"wrong shape", Post(kGet, "[1,2]"), 400, "ormi.data.validation.failed"},
      {"missing field", Post(kGet, R"({"$struct":"com.norval.ormi.operation_input","fields":{}})"),
       400, "ormi.data.validation.failed"},
      {"JSON nested too deep", Post(kGet, deep), 400, "ormi.data.json.too.deep"},
      {"timeout not a number", Post(kGet, body, "Ormi-Timeout: soon\r\n"), 400,
       Ids::kTimeoutInvalid},
      {"header too large", Post(kGet, body, "X-Pad: " + std::string(9000, 'p') + "\r\n"), 400,
       Ids::kHeaderTooLarge},
      {"body too large", Post(kGet, std::string(5000, ' ')), 400, Ids::kBodyTooLarge},
      {"bad chunking",
       "POST " + std::string(kGet) +
           " HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       400, Ids::kRequestMalformed},
      {"chunks beyond the body limit",
       "POST " + std::string(kGet) +
           " HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: "
           "chunked\r\n\r\n2000\r\n" +
           std::string(0x2000, ' ') + "\r\n0\r\n\r\n",
       400, Ids::kBodyTooLarge},
      {"garbage request line", "HELLO THERE\r\n\r\n", 400, Ids::kRequestMalformed},
      {"bad content length",
       "POST " + std::string(kGet) + " HTTP/1.1\r\nHost: x\r\nContent-Length: ten\r\n\r\n", 400,
       Ids::kRequestMalformed},
      {"conflicting content lengths", Post(kGet, body, "Content-Length: 3\r\n"), 400,
       Ids::kRequestMalformed},
      {"an origin", Post(kGet, body, "Origin: http://example.com\r\n"), 401, Ids::kOriginRefused},
      {"a null byte in the path", Post(std::string(kGet) + std::string(1, '\0'), body), 400,
       Ids::kRequestMalformed},
  };
  for (auto const& c : cases) {
    auto const responses = Exchange(server.address(), c.bytes);
    ASSERT_EQ(responses.size(), 1U) << c.what;
    EXPECT_EQ(responses[0].result_int(), c.status) << c.what << ": " << responses[0].body();
    EXPECT_EQ(FirstMessageId(responses[0]), c.message_id) << c.what << ": " << responses[0].body();
    auto const outcome = CallGet(channel, "still");
    EXPECT_EQ(outcome.value, boost::optional<std::string>("value-still")) << "after " << c.what;
  }
}

// A valid request followed by bytes that are no request: the first is answered, the rest
// refused, and the connection closed.
TEST(HostileRequests, GarbageAfterARequestEndsTheConnection) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("keys.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  auto const responses =
      Exchange(server.address(), Post(kGet, KeyBody("a")) + "\x01\x02garbage\r\n\r\n", 2);
  ASSERT_EQ(responses.size(), 2U);
  EXPECT_EQ(responses[0].body(), R"("value-a")");
  EXPECT_EQ(responses[1].result_int(), 400U);
  EXPECT_FALSE(responses[1].keep_alive());
}

// Early close: a peer that sends half a request and leaves does not disturb the server.
TEST(HostileRequests, APeerThatLeavesMidRequestIsForgotten) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("keys.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  std::string const request = Post(kGet, KeyBody("a"));
  for (std::size_t cut : {std::size_t{5}, request.size() / 2, request.size() - 3}) {
    EXPECT_TRUE(Exchange(server.address(), request.substr(0, cut), 1, 200ms).empty());
  }
  auto const responses = Exchange(server.address(), request);
  ASSERT_EQ(responses.size(), 1U);
  EXPECT_EQ(responses[0].body(), R"("value-a")");
}

}  // namespace
}  // namespace TransportTest
