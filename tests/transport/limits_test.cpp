// Every limit of the server at its value and one past it: header and body bytes, JSON
// nesting, open connections, calls in flight, and the times a peer may take.
#include "ormi/transport/options.h"

#include <gtest/gtest.h>

#include <atomic>
#include <list>
#include <memory>
#include <string>
#include <thread>

#include "transport_support.h"

namespace TransportTest {
namespace {

// A request whose header fields (after the request line, up to and with the blank line) are
// exactly `size` bytes.
std::string RequestWithHeaderOf(std::size_t size) {
  std::string const body = KeyBody("a");
  std::string const base = Post(kGet, body, "X-Pad: \r\n");
  std::size_t const header = base.size() - body.size() - (base.find("\r\n") + 2);
  return Post(kGet, body, "X-Pad: " + std::string(size - header, 'p') + "\r\n");
}

// The canonical body of a Get input with an extra field nested `levels` lists deep; the
// structure itself takes two levels.
std::string NestedBody(std::size_t levels) {
  return R"({"$struct":"com.norval.ormi.operation_input","fields":{"key":"a","x":)" +
         std::string(levels, '[') + std::string(levels, ']') + "}}";
}

class Limits : public ::testing::Test {
 protected:
  void Serve(ServerOptions options) {
    server = std::make_unique<KeysServer>(std::vector<Address>{Address::Unix(dir.Path("k.sock"))},
                                          std::move(options));
    AnswerWithKey(*server->keys);
    ASSERT_TRUE(server->Start());
  }
  unsigned StatusOf(std::string const& bytes, std::string* message_id = nullptr) {
    auto const responses = Exchange(server->address(), bytes);
    if (responses.empty()) return 0;
    if (message_id != nullptr) *message_id = FirstMessageId(responses[0]);
    return responses[0].result_int();
  }

  TempDir dir;
  std::unique_ptr<KeysServer> server;
};

TEST_F(Limits, HeaderBodyAndNestingAtTheLimitAndOnePast) {
  ServerOptions options;
  options.limits.max_header_bytes = 1024;
  options.limits.max_body_bytes = 2048;
  options.limits.max_json_depth = 16;
  Serve(options);
  std::string id;
  EXPECT_EQ(StatusOf(RequestWithHeaderOf(1024)), 200U);
  EXPECT_EQ(StatusOf(RequestWithHeaderOf(1025), &id), 400U);
  EXPECT_EQ(id, Ids::kHeaderTooLarge);

  std::string const body = KeyBody("a");
  EXPECT_EQ(StatusOf(Post(kGet, body + std::string(2048 - body.size(), ' '))), 200U);
  EXPECT_EQ(StatusOf(Post(kGet, body + std::string(2049 - body.size(), ' ')), &id), 400U);
  EXPECT_EQ(id, Ids::kBodyTooLarge);

  EXPECT_EQ(StatusOf(Post(kGet, NestedBody(14))), 200U);
  auto const deep = Exchange(server->address(), Post(kGet, NestedBody(15)));
  ASSERT_EQ(deep.size(), 1U);
  EXPECT_EQ(deep[0].result_int(), 400U);
  // Like every limit's refusal, this one names the setting that raises it.
  auto const error = ErrorOf(deep[0]);
  ASSERT_TRUE(error);
  EXPECT_EQ(::BindingTest::MessageIds(error),
            (std::list<std::string>{"ormi.data.json.too.deep", "ormi.transport.limit.setting"}));
  EXPECT_EQ(error->messages().back().args,
            std::list<std::string>{"max_json_depth (--max-json-depth)"});
}

TEST_F(Limits, OpenConnectionsAtTheLimitAndOnePast) {
  ServerOptions options;
  options.limits.max_connections = 2;
  Serve(options);
  std::string const request = Post(kGet, KeyBody("a"));
  int held[2];
  for (int& fd : held) {
    fd = Connect(server->address());
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    auto const answers = ParseResponses(ReadAnswers(fd, 1, 5s));
    ASSERT_EQ(answers.size(), 1U);
    EXPECT_EQ(answers[0].result_int(), 200U);  // both served, and kept open
  }
  std::string id;
  auto const refused = Exchange(server->address(), request);
  ASSERT_EQ(refused.size(), 1U);
  EXPECT_EQ(refused[0].result_int(), 503U);
  EXPECT_EQ(refused[0][boost::beast::http::field::retry_after], "1");
  EXPECT_EQ(FirstMessageId(refused[0]), Ids::kConnectionsExhausted);
  ::close(held[0]);
  unsigned status = 0;
  for (int attempt = 0; attempt < 100 && status != 200; ++attempt) {
    std::this_thread::sleep_for(20ms);  // until the server has seen the close
    status = StatusOf(request);
  }
  EXPECT_EQ(status, 200U);
  ::close(held[1]);
}

TEST_F(Limits, CallsInFlightAtTheLimitAndOnePast) {
  ServerOptions options;
  options.limits.max_calls_in_flight = 2;
  Serve(options);
  std::mutex mutex;
  std::vector<::BindingTest::Result<std::string>> held;
  server->keys->get = [&](std::string const& /*key*/,
                          ::BindingTest::Result<std::string> const& result) {
    std::lock_guard<std::mutex> const lock(mutex);
    held.push_back(result);
  };
  auto channel = std::make_shared<Channel>(server->address(), ClientOptions{});
  std::vector<std::future<GetOutcome>> calls;
  calls.reserve(2);
  for (int i = 0; i < 2; ++i) {
    calls.push_back(std::async(std::launch::async, [channel] { return CallGet(channel, "a"); }));
  }
  for (int attempt = 0; attempt < 250; ++attempt) {
    std::lock_guard<std::mutex> const lock(mutex);
    if (held.size() == 2) break;
    std::this_thread::sleep_for(20ms);
  }
  std::string id;
  auto const refused = Exchange(server->address(), Post(kGet, KeyBody("b")));
  ASSERT_EQ(refused.size(), 1U);
  EXPECT_EQ(refused[0].result_int(), 503U);
  EXPECT_EQ(refused[0][boost::beast::http::field::retry_after], "1");
  EXPECT_EQ(FirstMessageId(refused[0]), Ids::kCallsExhausted);
  {
    std::lock_guard<std::mutex> const lock(mutex);
    ASSERT_EQ(held.size(), 2U);
    for (auto const& result : held) result.SetResult("late");
  }
  for (auto& call : calls) EXPECT_EQ(call.get().value, boost::optional<std::string>("late"));
}

TEST_F(Limits, SlowSendersAndIdleConnectionsAreCutOff) {
  ServerOptions options;
  options.limits.header_timeout = 300ms;
  options.limits.body_timeout = 300ms;
  options.limits.idle_timeout = 300ms;
  auto const logged = std::make_shared<std::atomic<int>>(0);  // answers begun
  options.call_log = [logged](::Ormi::Transport::CallRecord const& /*record*/) { ++*logged; };
  Serve(options);
  std::string const request = Post(kGet, KeyBody("a"));
  std::size_t const header_end = request.find("\r\n\r\n") + 4;

  // Within the limits, a request sent in pieces is served.
  int fd = Connect(server->address());
  ::send(fd, request.data(), header_end - 10, MSG_NOSIGNAL);
  std::this_thread::sleep_for(100ms);
  ::send(fd, request.data() + header_end - 10, request.size() - header_end + 10, MSG_NOSIGNAL);
  auto answers = ParseResponses(ReadAnswers(fd, 1, 5s));
  ASSERT_EQ(answers.size(), 1U);
  EXPECT_EQ(answers[0].result_int(), 200U);
  // Then the kept-alive connection idles and is closed.
  auto const idle_start = Clock::now();
  EXPECT_EQ(ReadAnswers(fd, 1, 5s), "");
  EXPECT_LT(Clock::now() - idle_start, 3s);
  ::close(fd);

  // A peer that does not read its answer is cut off once writing it takes longer than a body
  // may: it finds part of the answer, then the end of the connection.
  std::string const key(2U << 20U, 'k');
  fd = Connect(server->address());
  std::string const large = Post(kGet, KeyBody(key));
  int const before = logged->load();
  ::send(fd, large.data(), large.size(), MSG_NOSIGNAL);
  for (auto const end = Clock::now() + 5s; logged->load() == before && Clock::now() < end;) {
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(800ms);  // the answer's write began; 300 ms are allowed
  std::string const part = ReadAnswers(fd, 1, 5s);
  EXPECT_GT(part.size(), 0U);
  EXPECT_LT(part.size(), key.size());
  ::close(fd);

  struct Slow {
    std::string sent;
    char const* message_id;
  } const slow[] = {{request.substr(0, header_end - 10), Ids::kHeaderTimeout},
                    {request.substr(0, header_end + 5), Ids::kBodyTimeout}};
  for (auto const& s : slow) {
    auto const start = Clock::now();
    auto const cut = Exchange(server->address(), s.sent, 1, 5s);
    ASSERT_EQ(cut.size(), 1U) << s.message_id;
    EXPECT_EQ(cut[0].result_int(), 504U);
    EXPECT_EQ(FirstMessageId(cut[0]), s.message_id);
    EXPECT_LT(Clock::now() - start, 3s);
  }
}

}  // namespace
}  // namespace TransportTest
