// The server's life: a graceful stop, a socket path that is stale, live or not a socket,
// many concurrent callers, and calls from curl, a client written elsewhere.
#include "ormi/transport/server.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <thread>

#include "ormi/transport/codec.h"
#include "transport_support.h"

namespace TransportTest {
namespace {

// Holds each call of Get by its key until the test answers it.
class Held {
 public:
  explicit Held(FakeKeys& keys) {
    keys.get = [this](std::string const& key, ::BindingTest::Result<std::string> const& result) {
      std::lock_guard<std::mutex> const lock(mutex_);
      results_.emplace(key, result);
      changed_.notify_all();
    };
  }
  bool WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return results_.size() >= count; });
  }
  void Answer(std::string const& key) {
    std::lock_guard<std::mutex> const lock(mutex_);
    results_.at(key).SetResult("value-" + key);
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::string, ::BindingTest::Result<std::string>> results_;
};

TEST(GracefulStop, CallsInFlightFinishUntilTheDrainDeadlineTheRestAreAnsweredUnavailable) {
  TempDir dir;
  ServerOptions options;
  options.limits.drain_timeout = 1s;
  KeysServer server({Address::Unix(dir.Path("k.sock"))}, options);
  Held held(*server.keys);
  ASSERT_TRUE(server.Start());
  int const idle = Connect(server.address());
  int const finishing = Connect(server.address());
  int const stuck = Connect(server.address());
  int const sending = Connect(server.address());  // sends half a header, then nothing
  std::string const half = "POST " + std::string(kGet) + " HTTP/1.1\r\nHost: localhost\r\n";
  ::send(sending, half.data(), half.size(), MSG_NOSIGNAL);
  auto const ask = [](int fd, char const* key) {
    std::string const request = Post(kGet, KeyBody(key));
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  };
  ask(idle, "i");
  ASSERT_TRUE(held.WaitFor(1));
  held.Answer("i");
  ASSERT_EQ(ParseResponses(ReadAnswers(idle, 1, 5s)).size(), 1U);  // then kept alive, idle
  ask(finishing, "a");
  ask(stuck, "b");
  ASSERT_TRUE(held.WaitFor(3));

  auto const start = Clock::now();
  std::thread stopper([&] { server.server->Stop(); });
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(Connect(server.address()), -1);  // no new connections
  EXPECT_TRUE(EndsWithin(idle, 500ms)) << "an idle kept-alive connection stayed open";
  held.Answer("a");
  auto const finished = ParseResponses(ReadAnswers(finishing, 1, 5s));
  ASSERT_EQ(finished.size(), 1U);
  EXPECT_EQ(finished[0].body(), R"("value-a")");
  EXPECT_FALSE(finished[0].keep_alive());
  auto const unavailable = ParseResponses(ReadAnswers(stuck, 1, 5s));
  ASSERT_EQ(unavailable.size(), 1U);
  EXPECT_EQ(unavailable[0].result_int(), 503U);
  EXPECT_EQ(FirstMessageId(unavailable[0]), Ids::kServerStopping);
  stopper.join();
  // Closed when the drain ended, not left open.
  EXPECT_TRUE(EndsWithin(sending, 100ms)) << "a connection that was sending a request stayed open";
  EXPECT_GE(Clock::now() - start, 950ms);
  EXPECT_LT(Clock::now() - start, 3s);
  EXPECT_FALSE(std::ifstream(dir.Path("k.sock")).good());  // the socket file is removed
  ::close(sending);
  ::close(idle);
  ::close(finishing);
  ::close(stuck);
}

TEST(SocketPath, AStaleSocketIsReplacedALiveOneAndOtherFilesAreNot) {
  TempDir dir;
  std::string const path = dir.Path("k.sock");
  {  // a socket file nobody listens on any more
    int const fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
  }
  KeysServer first({Address::Unix(path)});
  AnswerWithKey(*first.keys);
  ASSERT_TRUE(first.Start());

  KeysServer second({Address::Unix(path)});
  std::list<::Ormi::BaseMessage> messages;
  EXPECT_FALSE(second.server->Start(messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, Ids::kAddressInUse);
  auto channel = std::make_shared<Channel>(first.address(), ClientOptions{});
  EXPECT_EQ(CallGet(channel, "a").value, boost::optional<std::string>("value-a"));

  std::ofstream(dir.Path("file")) << "keep me";
  KeysServer third({Address::Unix(dir.Path("file"))});
  messages.clear();
  EXPECT_FALSE(third.server->Start(messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, Ids::kListenFailed);
  std::string kept;
  std::getline(std::ifstream(dir.Path("file")), kept);
  EXPECT_EQ(kept, "keep me");
}

// Start serves all of its addresses or none: when a later one cannot be bound, the unix
// socket already made for an earlier one is closed and its file removed.
TEST(SocketPath, AStartThatFailsOnALaterAddressLeavesNothingServed) {
  TempDir dir;
  int const taken = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof bound;
  ASSERT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&bound), sizeof bound), 0);
  ASSERT_EQ(::listen(taken, 1), 0);
  ASSERT_EQ(::getsockname(taken, reinterpret_cast<sockaddr*>(&bound), &size), 0);

  std::string const path = dir.Path("k.sock");
  KeysServer server({Address::Unix(path), Address::Tcp("127.0.0.1", ntohs(bound.sin_port))});
  std::list<::Ormi::BaseMessage> messages;
  EXPECT_FALSE(server.server->Start(messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, Ids::kListenFailed);
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
  EXPECT_LT(Connect(Address::Unix(path)), 0);
  ::close(taken);
}

// A Start that cannot be completed says why and serves nothing: a token file that cannot be
// written, a socket whose folder cannot be made; and a server starts only once.
TEST(SocketPath, AStartThatCannotBeCompletedSaysWhy) {
  TempDir dir;
  ServerOptions options;
  options.token_file = dir.Path("missing/token");
  KeysServer tokenless({Address::Unix(dir.Path("t.sock")), Address::Tcp("127.0.0.1", 0)}, options);
  std::list<::Ormi::BaseMessage> messages;
  EXPECT_FALSE(tokenless.server->Start(messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, Ids::kTokenFileFailed);
  EXPECT_NE(::access(dir.Path("t.sock").c_str(), F_OK), 0);

  std::ofstream(dir.Path("file")) << "not a folder";
  KeysServer folderless({Address::Unix(dir.Path("file/k.sock"))});
  messages.clear();
  EXPECT_FALSE(folderless.server->Start(messages));
  ASSERT_EQ(messages.size(), 1U);
  EXPECT_EQ(messages.front().id, Ids::kListenFailed);

  KeysServer once({Address::Unix(dir.Path("once.sock"))});
  ASSERT_TRUE(once.Start());
  messages.clear();
  EXPECT_FALSE(once.server->Start(messages));
  AnswerWithKey(*once.keys);
  auto const outcome = CallGet(std::make_shared<Channel>(once.address(), ClientOptions{}), "o");
  EXPECT_EQ(outcome.value, boost::optional<std::string>("value-o"));
}

// Many callers on one channel at once, over unix and TCP; each gets its own answer.
TEST(Concurrency, ManyCallersShareAChannelAndEachGetsItsOwnAnswer) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("k.sock")), Address::Tcp("127.0.0.1", 0)});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  ClientOptions options;
  options.max_connections = 3;
  options.io_threads = 2;
  options.token = server.server->token();
  for (std::size_t a = 0; a < 2; ++a) {
    // Over TCP, answers are decoded and delivered on an executor of the caller's.
    if (a == 1)
      options.callback_executor = std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(2);
    auto channel = std::make_shared<Channel>(server.address(a), options);
    std::atomic<int> right{0};
    std::vector<std::thread> callers;
    callers.reserve(6);
    for (int t = 0; t < 6; ++t) {
      callers.emplace_back([&, t] {
        for (int i = 0; i < 25; ++i) {
          std::string const key = std::to_string(t) + "-" + std::to_string(i);
          if (CallGet(channel, key).value == boost::optional<std::string>("value-" + key)) ++right;
        }
      });
    }
    for (auto& caller : callers) caller.join();
    EXPECT_EQ(right.load(), 150) << server.address(a).ToString();
  }
}

// Runs a command and returns what it prints.
std::string RunCommand(std::string const& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[4096];
  for (std::size_t got = 0; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    output.append(chunk, got);
  ::pclose(pipe);
  return output;
}

class CurlCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string(HYRN_CURL).empty() || ::access(HYRN_CURL, X_OK) != 0) {
      GTEST_SKIP() << "curl is not installed";
    }
    server = std::make_unique<KeysServer>(
        std::vector<Address>{Address::Unix(dir.Path("k.sock")), Address::Tcp("127.0.0.1", 0)});
    AnswerWithKey(*server->keys);
    ASSERT_TRUE(server->Start());
  }
  // curl's output: the body, a line break and the status.
  std::string Curl(std::string const& arguments, std::string const& type, std::string const& body,
                   std::string const& url) {
    std::ofstream(dir.Path("body")) << body;
    return RunCommand(std::string(HYRN_CURL) + " -s -S " + arguments +
                      " -H 'Content-Type: " + type + "' --data-binary @" + dir.Path("body") +
                      " -w '\\n%{http_code}' '" + url + "'");
  }

  TempDir dir;
  std::unique_ptr<KeysServer> server;
};

TEST_F(CurlCalls, CallsOverTheUnixSocketAndTcpInTheCanonicalForm) {
  std::string const canonical = ::Ormi::Transport::kCanonicalMediaType;
  std::string const unix_socket = "--unix-socket " + dir.Path("k.sock");
  EXPECT_EQ(
      Curl(unix_socket, canonical, KeyBody("k"), "http://localhost/com.norval.hyrn.test.keys/get"),
      "\"value-k\"\n200");
  std::string const missing = Curl(unix_socket, canonical, KeyBody("k"),
                                   "http://localhost/com.norval.hyrn.test.keys/fetch");
  EXPECT_THAT(missing, ::testing::HasSubstr(Ids::kMethodNotFound));
  EXPECT_THAT(missing, ::testing::EndsWith("\n404"));
  std::string const tcp = "-H 'Authorization: Bearer " + server->server->token() + "'";
  EXPECT_EQ(Curl(tcp, canonical, KeyBody("t"),
                 "http://localhost:" + std::to_string(server->address(1).port()) +
                     "/com.norval.hyrn.test.keys/get"),
            "\"value-t\"\n200");
}

TEST_F(CurlCalls, CallsWithPlainJson) {
  EXPECT_EQ(Curl("--unix-socket " + dir.Path("k.sock"), ::Ormi::Transport::kPlainMediaType,
                 R"({"key":"k"})", "http://localhost/com.norval.hyrn.test.keys/get"),
            "\"value-k\"\n200");
}

}  // namespace
}  // namespace TransportTest
