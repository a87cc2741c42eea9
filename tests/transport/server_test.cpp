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
#include <thread>

#include "transport_support.h"

namespace TransportTest {
namespace {

// A server of FakeKeys answering "value-<key>", on a unix socket in a folder it makes or on
// loopback TCP, and a channel to it.
class RoundTrip : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    AnswerWithKey(*server.keys);
    ASSERT_TRUE(server.Start());
    ClientOptions options;
    options.token = server.server->token();
    channel = std::make_shared<Channel>(server.address(), options);
  }

  bool const tcp = GetParam();
  TempDir dir;
  KeysServer server{{tcp ? Address::Tcp("127.0.0.1", 0) : Address::Unix(dir.Path("s/keys.sock"))}};
  std::shared_ptr<Channel> channel;
};

// A stub call over the socket reaches the provider, which sees who called, and comes back.
TEST_P(RoundTrip, StubCallCarriesTheAnswerAndTheCaller) {
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
    EXPECT_EQ(caller->gid, static_cast<std::int64_t>(::getegid()));
    EXPECT_EQ(caller->pid, static_cast<std::int64_t>(::getpid()));
  }
  EXPECT_NE(server.keys->lastActivation->deadline(),
            ::Ormi::Core::AsyncActivation::Clock::time_point::max());
}

// Large bodies are written and read in buffers kept from earlier calls: callers at once, each
// sending bodies of other sizes one after another, get back exactly their own key each time.
TEST_P(RoundTrip, LargeBodiesOfEverySizeArriveWholeWhileOthersAreSent) {
  std::vector<std::thread> callers;
  for (char const letter : std::string("abcd")) {
    callers.emplace_back([this, letter] {
      for (std::size_t const kib : {64, 20, 300, 17, 1}) {
        std::string const key(kib * 1024 + static_cast<std::size_t>(letter), letter);
        auto const outcome = CallGet(channel, key);
        EXPECT_EQ(outcome.value, "value-" + key) << letter << " " << kib << " KiB";
      }
    });
  }
  for (auto& caller : callers) caller.join();
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
      {"bytes that are no UTF-8 in the path", Post("/com.norval.\xff\xfe/get", body), 404,
       Ids::kServiceNotFound},
      {"unsupported media type", Post(kGet, body, "", "text/plain"), 400, Ids::kMediaUnsupported},
      {"no media type",
       "POST " + std::string(kGet) + " HTTP/1.1\r\nHost: x\r\n" + length + "\r\n" + body, 400,
       Ids::kMediaMissing},
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
      {"empty operation", Post("/com.norval.hyrn.test.keys/", body), 404, Ids::kPathInvalid},
      {"empty service", Post("//get", body), 404, Ids::kPathInvalid},
      {"an escaped slash in the service", Post("/com.norval%2Fhyrn/get", body), 404,
       Ids::kPathInvalid},
      {"a target in absolute form", Post("http://localhost" + std::string(kGet), body), 404,
       Ids::kPathInvalid},
      {"timeout of thirteen digits", Post(kGet, body, "Ormi-Timeout: 1234567890123\r\n"), 400,
       Ids::kTimeoutInvalid},
  };
  // The in-memory road that the fuzz target drives answers exactly as the socket does.
  ::Ormi::Core::Caller caller;
  caller.transport = "unix";
  caller.uid = static_cast<std::int64_t>(::geteuid());
  for (auto const& c : cases) {
    auto const responses = Exchange(server.address(), c.bytes);
    ASSERT_EQ(responses.size(), 1U) << c.what;
    EXPECT_EQ(responses[0].result_int(), c.status) << c.what << ": " << responses[0].body();
    EXPECT_EQ(FirstMessageId(responses[0]), c.message_id) << c.what << ": " << responses[0].body();
    auto const in_memory = ParseResponses(server.server->ServeBytes(c.bytes, caller));
    ASSERT_EQ(in_memory.size(), 1U) << c.what << " in memory";
    EXPECT_EQ(in_memory[0].result_int(), c.status) << c.what << " in memory";
    EXPECT_EQ(FirstMessageId(in_memory[0]), c.message_id) << c.what << " in memory";
    auto const outcome = CallGet(channel, "still");
    EXPECT_EQ(outcome.value, boost::optional<std::string>("value-still")) << "after " << c.what;
  }
}

// What an ordinary HTTP client may send for a valid call: escaped bytes in the path (hex
// digits in either case), a media type in other case with parameters, and "Expect:
// 100-continue" before the body, which gets its interim answer first.
TEST(Requests, EscapesQueriesMediaTypeParametersAndExpectContinueAreUnderstood) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("keys.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  auto const escaped = Exchange(server.address(), Post("/com%2enorval%2Ehyrn.test.keys/g%65t",
                                                       R"({"key":"a"})", "", "application/json"));
  ASSERT_EQ(escaped.size(), 1U);
  EXPECT_EQ(escaped[0].result_int(), 200U) << escaped[0].body();
  EXPECT_EQ(escaped[0].body(), R"("value-a")");

  auto const queried = Exchange(server.address(), Post(std::string(kGet) + "?pretty=1&x=%zz",
                                                       R"({"key":"q"})", "", "application/json"));
  ASSERT_EQ(queried.size(), 1U);
  EXPECT_EQ(queried[0].result_int(), 200U) << queried[0].body();
  EXPECT_EQ(queried[0].body(), R"("value-q")");

  auto const typed = Exchange(server.address(),
                              Post(kGet, R"({"key":"b"})", "", "Application/JSON ; charset=utf-8"));
  ASSERT_EQ(typed.size(), 1U);
  EXPECT_EQ(typed[0].result_int(), 200U) << typed[0].body();
  EXPECT_EQ(typed[0].body(), R"("value-b")");

  auto const continued =
      Exchange(server.address(), Post(kGet, KeyBody("c"), "Expect: 100-continue\r\n"), 2);
  ASSERT_EQ(continued.size(), 2U);
  EXPECT_EQ(continued[0].result_int(), 100U);
  EXPECT_EQ(continued[1].result_int(), 200U);
  EXPECT_EQ(continued[1].body(), R"("value-c")");
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

namespace TransportTest {
namespace {

// Runs a peer as user 65534 that sends `request` to the unix socket at `path`. Exit codes:
// 2 the connection was refused, 3 answered 401 naming the peer refusal, 4 answered 200.
int PeerOfAnotherUser(std::string const& path, std::string const& request) {
  pid_t const child = ::fork();
  if (child == 0) {
    ::alarm(10);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
    int const fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un target{};
    target.sun_family = AF_UNIX;
    std::strncpy(target.sun_path, path.c_str(), sizeof target.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) ::_exit(2);
    if (::write(fd, request.data(), request.size()) < 0) ::_exit(1);
    static char answer[65536];
    std::size_t size = 0;
    for (ssize_t got = 1; got > 0 && size < sizeof answer; size += static_cast<std::size_t>(got)) {
      got = ::read(fd, answer + size, sizeof answer - size);
      if (got < 0) got = 0;
    }
    auto const has = [&](char const* text) {
      return ::memmem(answer, size, text, std::strlen(text)) != nullptr;
    };
    if (has("HTTP/1.1 401") && has(Ids::kPeerRefused)) ::_exit(3);
    ::_exit(has("HTTP/1.1 200") ? 4 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Refusals, AUnixPeerOfAnotherUserIsRefusedUnlessAllowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "running a peer as another user needs root";
  TempDir dir;
  std::string const request = Post(kGet, KeyBody("a"), "Connection: close\r\n");
  KeysServer server({Address::Unix(dir.Path("s/k.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  struct stat status {};
  ASSERT_EQ(::stat(dir.Path("s").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777U, 0700U);  // the folder the server made
  ASSERT_EQ(::stat(dir.Path("s/k.sock").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777U, 0600U);
  ::chmod(dir.Path("").c_str(), 0711);
  ::chmod(dir.Path("s").c_str(), 0711);
  EXPECT_EQ(PeerOfAnotherUser(dir.Path("s/k.sock"), request), 2);  // the socket's mode
  ::chmod(dir.Path("s/k.sock").c_str(), 0666);
  EXPECT_EQ(PeerOfAnotherUser(dir.Path("s/k.sock"), request), 3);  // the peer's credentials

  ServerOptions options;
  options.allow_uids = {65534};
  KeysServer allowing({Address::Unix(dir.Path("s/allowing.sock"))}, options);
  AnswerWithKey(*allowing.keys);
  ASSERT_TRUE(allowing.Start());
  ::chmod(dir.Path("s/allowing.sock").c_str(), 0666);
  EXPECT_EQ(PeerOfAnotherUser(dir.Path("s/allowing.sock"), request), 4);
}

TEST(Refusals, TcpWantsTheTokenALoopbackHostAndNoForeignOrigin) {
  TempDir dir;
  ServerOptions options;
  options.token_file = dir.Path("token");
  options.allowed_origins = {"http://localhost:8000"};
  KeysServer server({Address::Tcp("127.0.0.1", 0)}, options);
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  std::string const token = server.server->token();
  EXPECT_EQ(token.size(), 64U);
  std::ifstream file(dir.Path("token"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), token);
  struct stat status {};
  ASSERT_EQ(::stat(dir.Path("token").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777U, 0600U);

  std::string const body = KeyBody("a");
  std::string const bearer = "Authorization: Bearer " + token + "\r\n";
  auto const with_host = [&](std::string const& host, std::string const& headers) {
    return "POST " + std::string(kGet) + " HTTP/1.1\r\nHost: " + host +
           "\r\nContent-Type: application/vnd.ormi.value+json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + headers + "\r\n" + body;
  };
  struct {
    char const* what;
    std::string bytes;
    unsigned status;
    char const* message_id;
  } const cases[] = {
      {"no token", Post(kGet, body), 401, Ids::kTokenMissing},
      {"wrong token", Post(kGet, body, "Authorization: Bearer " + std::string(64, 'a') + "\r\n"),
       401, Ids::kTokenInvalid},
      {"a shorter wrong token", Post(kGet, body, "Authorization: Bearer abc\r\n"), 401,
       Ids::kTokenInvalid},
      {"another scheme", Post(kGet, body, "Authorization: Basic " + token + "\r\n"), 401,
       Ids::kTokenInvalid},
      {"less than a scheme", Post(kGet, body, "Authorization: Bear\r\n"), 401, Ids::kTokenInvalid},
      {"the token", Post(kGet, body, bearer), 200, ""},
      {"a foreign host", with_host("evil.example", bearer), 401, Ids::kHostRefused},
      {"a foreign host with a port", with_host("evil.example:80", bearer), 401, Ids::kHostRefused},
      {"localhost with a port", with_host("localhost:9", bearer), 200, ""},
      {"localhost in capitals", with_host("LocalHost", bearer), 200, ""},
      {"an IPv6 loopback", with_host("[::1]:9", bearer), 200, ""},
      {"a foreign address", with_host("192.0.2.7:9", bearer), 401, Ids::kHostRefused},
      {"a foreign origin", Post(kGet, body, bearer + "Origin: http://evil.example\r\n"), 401,
       Ids::kOriginRefused},
      {"an allowed origin", Post(kGet, body, bearer + "Origin: http://localhost:8000\r\n"), 200,
       ""},
  };
  for (auto const& c : cases) {
    auto const responses = Exchange(server.address(), c.bytes);
    ASSERT_EQ(responses.size(), 1U) << c.what;
    EXPECT_EQ(responses[0].result_int(), c.status) << c.what << ": " << responses[0].body();
    EXPECT_EQ(FirstMessageId(responses[0]), c.message_id) << c.what;
    if (c.status == 401) {
      EXPECT_EQ(responses[0][boost::beast::http::field::www_authenticate], "Bearer") << c.what;
    }
  }
}

TEST(Refusals, ANonLoopbackAddressNeedsAllowRemote) {
  // A documentation address: not loopback, and not one this machine could listen on.
  KeysServer server({Address::Tcp("192.0.2.1", 0)});
  std::list<::Ormi::BaseMessage> messages;
  EXPECT_FALSE(server.server->Start(messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, Ids::kAddressNotLoopback);
  EXPECT_THAT(messages.front().defaultMessage, ::testing::HasSubstr("allow_remote"));
}

}  // namespace
}  // namespace TransportTest
