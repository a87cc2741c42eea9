// The client channel: deadlines per channel and per call, cancellation reaching the provider,
// and every way a call can fail on the road arriving as an error value, never as a hang.
#include "ormi/transport/channel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport_support.h"

namespace TransportTest {
namespace {

std::string FirstId(::Ormi::ErrorPtr const& error) {
  auto const ids = ::BindingTest::MessageIds(error);
  return ids.empty() ? "" : ids.front();
}

// Holds the calls of Get without answering, and records when each is cancelled. The server's
// callbacks see what it records through a weak reference: a cancellation that comes after this
// object is gone (the server stopping after the test) finds nothing to record, and the held
// calls, which hold their activations, do not keep their own callbacks alive.
class NeverAnswers {
 public:
  explicit NeverAnswers(FakeKeys& keys) {
    std::weak_ptr<State> const weak = state_;
    keys.get = [weak](std::string const& /*key*/,
                      ::BindingTest::Result<std::string> const& result) {
      auto const state = weak.lock();
      if (!state) return;
      auto const activation = FakeKeys::CallingActivation();
      std::lock_guard<std::mutex> const lock(state->mutex);
      state->held.push_back(result);
      state->changed.notify_all();
      activation->cancellation()->OnCancel([weak] {
        auto const state = weak.lock();
        if (!state) return;
        std::lock_guard<std::mutex> const inner(state->mutex);
        ++state->cancelled;
        state->changed.notify_all();
      });
    };
  }
  // Waits until `count` calls were cancelled.
  bool WaitCancelled(int count) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, 5s, [&] { return state_->cancelled >= count; });
  }
  std::size_t Held() {
    std::lock_guard<std::mutex> const lock(state_->mutex);
    return state_->held.size();
  }
  // Waits until `count` calls are held.
  bool WaitHeld(std::size_t count) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    return state_->changed.wait_for(lock, 5s, [&] { return state_->held.size() >= count; });
  }
  // Answers every held call now, after its deadline.
  void AnswerLate() {
    std::lock_guard<std::mutex> const lock(state_->mutex);
    for (auto const& result : state_->held) result.SetResult("late");
    state_->held.clear();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<::BindingTest::Result<std::string>> held;
    int cancelled = 0;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// A server whose Get holds its calls unanswered, and a channel to it.
struct HoldingServer {
  explicit HoldingServer(ClientOptions const& options)
      : started(server.Start()), channel(std::make_shared<Channel>(server.address(), options)) {}
  TempDir dir;
  KeysServer server{{Address::Unix(dir.Path("k.sock"))}};
  NeverAnswers provider{*server.keys};
  bool started = false;
  std::shared_ptr<Channel> channel;
};

TEST(Deadlines, ACallEndsTimedOutAtItsDeadlineAndTheProviderSeesTheCancellation) {
  ClientOptions options;
  options.default_timeout = 300ms;
  HoldingServer held(options);
  ASSERT_TRUE(held.started);
  auto& channel = held.channel;
  auto& provider = held.provider;

  auto start = Clock::now();
  auto outcome = CallGet(channel, "a");  // the channel's default
  EXPECT_EQ(::BindingTest::NameOf(outcome.error), Names::kTimedOut);
  EXPECT_EQ(FirstId(outcome.error), Ids::kDeadlinePassed);
  EXPECT_GE(Clock::now() - start, 290ms);
  EXPECT_LT(Clock::now() - start, 2300ms);

  auto activation = std::make_shared<::Ormi::Core::AsyncActivation>();
  activation->SetDeadline(Clock::now() + 150ms);  // the call's own, shorter
  start = Clock::now();
  outcome = CallGet(channel, "b", activation);
  EXPECT_EQ(::BindingTest::NameOf(outcome.error), Names::kTimedOut);
  EXPECT_LT(Clock::now() - start, 2150ms);
  EXPECT_TRUE(provider.WaitCancelled(2));

  provider.AnswerLate();  // dropped: no one waits any more
  AnswerWithKey(*held.server.keys);
  EXPECT_EQ(CallGet(channel, "c").value, boost::optional<std::string>("value-c"));
}

TEST(Deadlines, TheServerAnswersTimedOutAtTheRequestedTimeAndAGonePeerCancels) {
  TempDir dir;
  ::Ormi::Transport::ServerOptions options;
  options.limits.max_call_timeout = 300ms;
  KeysServer server({Address::Unix(dir.Path("k.sock"))}, options);
  NeverAnswers provider(*server.keys);
  ASSERT_TRUE(server.Start());
  // A timeout within the largest allowed is kept; a longer one is cut to it.
  for (char const* asked : {"Ormi-Timeout: 200\r\n", "Ormi-Timeout: 60000\r\n"}) {
    auto const start = Clock::now();
    auto const responses =
        Exchange(server.address(), Post("/com.norval.hyrn.test.keys/get", KeyBody("a"), asked));
    ASSERT_EQ(responses.size(), 1U) << asked;
    EXPECT_EQ(responses[0].result_int(), 504U) << asked;
    EXPECT_EQ(FirstMessageId(responses[0]), Ids::kDeadlinePassed) << asked;
    EXPECT_GE(Clock::now() - start, 190ms) << asked;
    EXPECT_LT(Clock::now() - start, 2300ms) << asked;
  }
  EXPECT_TRUE(provider.WaitCancelled(2));

  // A client that sends a call and disconnects cancels it.
  int const fd = Connect(server.address());
  std::string const request = Post("/com.norval.hyrn.test.keys/get", KeyBody("b"));
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::this_thread::sleep_for(100ms);
  ::close(fd);
  EXPECT_TRUE(provider.WaitCancelled(2));
}

// A channel opens at most `max_connections` connections to its address; a call beyond them
// waits until one comes free and then goes out on it.
TEST(Pool, ACallBeyondTheConnectionLimitWaitsForOneToComeFree) {
  ClientOptions options;
  options.max_connections = 2;
  HoldingServer held(options);
  ASSERT_TRUE(held.started);
  auto& channel = held.channel;
  auto& provider = held.provider;
  std::vector<std::future<GetOutcome>> calls;
  for (char const* key : {"a", "b", "c"}) {
    calls.push_back(
        std::async(std::launch::async, [&channel, key] { return CallGet(channel, key); }));
  }
  ASSERT_TRUE(provider.WaitHeld(2));
  std::this_thread::sleep_for(200ms);  // time enough for a third connection, were there one
  EXPECT_EQ(provider.Held(), 2U);
  provider.AnswerLate();
  EXPECT_TRUE(provider.WaitHeld(1));  // the third, on a connection the first two freed
  provider.AnswerLate();
  for (auto& call : calls) EXPECT_EQ(call.get().value, boost::optional<std::string>("late"));
}

// A peer on a unix socket that serves one connection with `serve` and closes it.
class FakePeer {
 public:
  FakePeer(std::string const& path, std::function<void(int)> serve)
      : listener_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(listener_, 4), 0);
    thread_ = std::thread([this, serve = std::move(serve)] {
      int const fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      serve(fd);
      ::close(fd);
    });
  }
  ~FakePeer() {
    thread_.join();
    ::close(listener_);
  }
  FakePeer(FakePeer const&) = delete;
  FakePeer& operator=(FakePeer const&) = delete;

 private:
  int listener_ = -1;
  std::thread thread_;
};

// Reads a request's header, so that the peer answers after the call was sent, and returns
// what it read.
std::string ReadHeader(int fd) {
  std::string received;
  char chunk[1024];
  while (received.find("\r\n\r\n") == std::string::npos) {
    ssize_t const got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    received.append(chunk, static_cast<std::size_t>(got));
  }
  return received;
}

// Calls one after another go out on one kept-alive connection: a peer that accepts a single
// connection answers both. A connection that the server closed while it idled is not used
// again: the next call opens another.
TEST(Pool, CallsShareAKeptAliveConnectionUntilTheServerClosesIt) {
  TempDir dir;
  ClientOptions options;
  options.default_timeout = 2s;
  {
    FakePeer peer(dir.Path("peer.sock"), [](int fd) {
      for (std::string const value : {R"("one")", R"("two")"}) {
        ReadHeader(fd);
        std::string const answer =
            "HTTP/1.1 200 OK\r\nContent-Type: application/vnd.ormi.value+json\r\n"
            "Content-Length: " +
            std::to_string(value.size()) + "\r\n\r\n" + value;
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
      }
    });
    auto channel = std::make_shared<Channel>(Address::Unix(dir.Path("peer.sock")), options);
    EXPECT_EQ(CallGet(channel, "a").value, boost::optional<std::string>("one"));
    EXPECT_EQ(CallGet(channel, "b").value, boost::optional<std::string>("two"));
  }
  ServerOptions server_options;
  server_options.limits.idle_timeout = 200ms;
  KeysServer server({Address::Unix(dir.Path("k.sock"))}, server_options);
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  auto channel = std::make_shared<Channel>(server.address(), options);
  EXPECT_EQ(CallGet(channel, "c").value, boost::optional<std::string>("value-c"));
  std::this_thread::sleep_for(600ms);  // the server closes the idle connection
  EXPECT_EQ(CallGet(channel, "d").value, boost::optional<std::string>("value-d"));
}

// The milliseconds a request's header asks for, or -1 without the timeout header.
long long AskedTimeout(std::string const& header) {
  std::string const name = "\r\nOrmi-Timeout: ";
  std::size_t const at = header.find(name);
  return at == std::string::npos ? -1 : std::stoll(header.substr(at + name.size()));
}

// The channel's own deadlines, with a peer that reads each call and never answers: a call
// with an earlier deadline ends at it while one with a later deadline (the channel's default)
// is open, which then ends at its own. Each request tells the server the time it has left.
TEST(Deadlines, TheChannelEndsEachCallAtItsDeadlineWhateverTheOrder) {
  TempDir dir;
  std::string const path = dir.Path("silent.sock");
  int const listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  std::promise<std::string> headers[2];
  std::thread peer([listener, &headers] {
    std::vector<int> held;
    for (auto& header : headers) {
      int const fd = ::accept(listener, nullptr, nullptr);
      if (fd < 0) break;
      header.set_value(ReadHeader(fd));
      held.push_back(fd);
    }
    for (int const fd : held) {  // until the channel closes the connection
      char byte = 0;
      while (::read(fd, &byte, 1) > 0) {
      }
      ::close(fd);
    }
  });
  ClientOptions options;
  options.default_timeout = 3s;
  auto channel = std::make_shared<Channel>(Address::Unix(path), options);

  auto later_outcome = std::async(std::launch::async, [&] { return CallGet(channel, "a"); });
  auto first_header = headers[0].get_future();
  ASSERT_EQ(first_header.wait_for(5s), std::future_status::ready);
  long long const asked = AskedTimeout(first_header.get());
  EXPECT_GT(asked, 2000);
  EXPECT_LE(asked, 3000);
  auto earlier = std::make_shared<::Ormi::Core::AsyncActivation>();
  auto const start = Clock::now();
  earlier->SetDeadline(start + 400ms);
  auto const outcome = CallGet(channel, "b", earlier);
  EXPECT_EQ(::BindingTest::NameOf(outcome.error), Names::kTimedOut);
  EXPECT_LT(Clock::now() - start, 1900ms);  // not at the later call's deadline
  auto second_header = headers[1].get_future();
  ASSERT_EQ(second_header.wait_for(5s), std::future_status::ready);
  long long const asked_second = AskedTimeout(second_header.get());
  EXPECT_GE(asked_second, 0);
  EXPECT_LE(asked_second, 400);
  EXPECT_EQ(later_outcome.wait_for(0s), std::future_status::timeout);
  EXPECT_EQ(::BindingTest::NameOf(later_outcome.get().error), Names::kTimedOut);

  ::shutdown(listener, SHUT_RDWR);  // ends a wait for a connection that never came
  peer.join();
  ::close(listener);
}

TEST(Failures, EachWayACallFailsOnTheRoadIsAnErrorValue) {
  TempDir dir;
  struct {
    char const* what;
    std::function<void(int)> peer;  // null: nobody listens
    char const* error;
    char const* message_id;
  } const cases[] = {
      {"nobody listens", nullptr, Names::kServiceUnavailable, Ids::kConnectFailed},
      {"the server vanishes mid-call", [](int fd) { ReadHeader(fd); }, Names::kServiceUnavailable,
       Ids::kConnectionLost},
      {"an answer that is no value",
       [](int fd) {
         ReadHeader(fd);
         std::string const answer = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello";
         ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
       },
       Names::kInternalServerError, Ids::kResponseInvalid},
      {"an error status without an error value",
       [](int fd) {
         ReadHeader(fd);
         std::string const answer = "HTTP/1.1 500 Oops\r\nContent-Length: 4\r\n\r\n\"no\"";
         ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
       },
       Names::kInternalServerError, Ids::kResponseInvalid},
      {"an answer that is not HTTP",
       [](int fd) {
         ReadHeader(fd);
         ::send(fd, "SSH-2.0\r\n\r\n", 11, MSG_NOSIGNAL);
       },
       Names::kServiceUnavailable, Ids::kConnectionLost},
  };
  int n = 0;
  for (auto const& c : cases) {
    std::string const path = dir.Path("peer" + std::to_string(n++) + ".sock");
    std::unique_ptr<FakePeer> peer;
    if (c.peer) peer = std::make_unique<FakePeer>(path, c.peer);
    auto channel = std::make_shared<Channel>(Address::Unix(path), ClientOptions{});
    auto const outcome = CallGet(channel, "a");
    EXPECT_FALSE(outcome.value) << c.what;
    EXPECT_EQ(::BindingTest::NameOf(outcome.error), c.error) << c.what;
    EXPECT_EQ(FirstId(outcome.error), c.message_id) << c.what;
  }
}

TEST(Failures, AnAnswerBeyondTheClientsLimitNamesTheSetting) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("k.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  ClientOptions options;
  options.max_response_bytes = 16;
  auto channel = std::make_shared<Channel>(server.address(), options);
  // The body "value-12345678" with its quotes is 16 bytes.
  EXPECT_EQ(CallGet(channel, "12345678").value, boost::optional<std::string>("value-12345678"));
  auto const outcome = CallGet(channel, "123456789");
  EXPECT_EQ(FirstId(outcome.error), Ids::kResponseTooLarge);
  ASSERT_TRUE(outcome.error && !outcome.error->messages().empty());
  EXPECT_THAT(outcome.error->messages().front().defaultMessage,
              ::testing::HasSubstr("max_response_bytes"));
}

// Calls `operation` of the keys service with the key "a" through the channel itself, without a
// stub; the future gets the call's final result.
std::future<std::shared_ptr<::Ormi::Core::MethodResult const>> InvokeKeys(
    Channel& channel, std::string const& operation) {
  ::Ormi::Data::ValuePtr input;
  std::list<::Ormi::BaseMessage> messages;
  EXPECT_TRUE(::Ormi::Data::FromJson(KeyBody("a"), &input, messages));
  auto answer = std::make_shared<std::promise<std::shared_ptr<::Ormi::Core::MethodResult const>>>();
  channel.Invoke(
      std::make_shared<::Ormi::Core::MethodIdentifier const>(
          std::make_shared<::Ormi::Core::InterfaceIdentifier const>("com.norval.hyrn.test.keys"),
          operation),
      input, nullptr,
      [answer](std::shared_ptr<::Ormi::Core::MethodResult const> const& result,
               ::Ormi::Progress const& /*progress*/, auto&& /*next*/) {
        if (result) answer->set_value(result);
      });
  return answer->get_future();
}

TEST(Failures, ClosingTheChannelAnswersItsOpenCalls) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("k.sock"))});
  NeverAnswers provider(*server.keys);
  ASSERT_TRUE(server.Start());
  auto channel = std::make_unique<Channel>(server.address(), ClientOptions{});
  auto future = InvokeKeys(*channel, "get");
  ASSERT_TRUE(provider.WaitHeld(1));
  channel.reset();
  ASSERT_EQ(future.wait_for(0s), std::future_status::ready);
  auto const result = future.get();
  EXPECT_EQ(::BindingTest::NameOf(result->error()), Names::kServiceUnavailable);
  EXPECT_EQ(FirstId(result->error()), Ids::kConnectionLost);
  EXPECT_TRUE(provider.WaitCancelled(1));  // the server saw the connection go
}

// The channel may lose its last reference inside one of its own callbacks, on its own I/O
// thread: it closes without waiting for itself, and the answer already given stands.
TEST(Failures, TheLastReferenceMayGoInsideTheChannelsOwnCallback) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("k.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  auto holder = std::make_shared<Channel>(server.address(), ClientOptions{});
  Channel* const channel = holder.get();
  std::promise<unsigned> status;
  channel->Post("com.norval.hyrn.test.keys", "get", R"({"key":"a"})",
                ::Ormi::Transport::kPlainMediaType, 0ms,
                [&holder, &status](::Ormi::Transport::RawAnswer const& answer) {
                  holder.reset();
                  status.set_value(answer.status);
                });
  auto future = status.get_future();
  ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
  EXPECT_EQ(future.get(), 200U);
}

// The channel sends the names of a call's method as path segments, so that any name reaches
// the server as it is: one with a space gets the server's answer for that name.
TEST(Failures, AMethodNameWithASpaceReachesTheServerAsItIs) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("k.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  Channel channel(server.address(), ClientOptions{});
  auto future = InvokeKeys(channel, "get it");
  ASSERT_EQ(future.wait_for(20s), std::future_status::ready);
  auto const error = future.get()->error();
  EXPECT_EQ(::BindingTest::NameOf(error), Names::kNotFound);
  ASSERT_TRUE(error && !error->messages().empty());
  EXPECT_EQ(error->messages().front().id, Ids::kMethodNotFound);
  EXPECT_EQ(error->messages().front().args,
            (std::list<std::string>{"com.norval.hyrn.test.keys", "get it"}));
}

// A client reads the TCP token from the file the server wrote, or from one a person wrote
// with a line end after it.
TEST(Tokens, TheClientReadsTheTokenFromAFile) {
  TempDir dir;
  ServerOptions server_options;
  server_options.token_file = dir.Path("token");
  KeysServer server({Address::Tcp("127.0.0.1", 0)}, server_options);
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  std::ofstream(dir.Path("token.txt")) << server.server->token() << "\r\n";
  for (auto const& file : {dir.Path("token"), dir.Path("token.txt")}) {
    ClientOptions options;
    options.token_file = file;
    auto const outcome = CallGet(std::make_shared<Channel>(server.address(), options), "t");
    EXPECT_EQ(outcome.value, boost::optional<std::string>("value-t"))
        << file << ": " << ::BindingTest::NameOf(outcome.error);
  }
}

// Sends `body` with Post and waits for the answer.
::Ormi::Transport::RawAnswer PostAndWait(Channel& channel, std::string const& service,
                                         std::string const& operation, std::string const& body,
                                         ::Ormi::Transport::Milliseconds timeout = 0ms) {
  std::promise<::Ormi::Transport::RawAnswer> answer;
  channel.Post(service, operation, body, ::Ormi::Transport::kPlainMediaType, timeout,
               [&answer](::Ormi::Transport::RawAnswer const& raw) { answer.set_value(raw); });
  auto future = answer.get_future();
  if (future.wait_for(20s) != std::future_status::ready) {
    ADD_FAILURE() << "no answer";
    return {};
  }
  return future.get();
}

// Bodies the caller wrote travel as they are; answers come back as the server sent them,
// names are encoded into the path, and the road's failures are error values as for stubs.
TEST(RawPosts, CarryTheCallersBodyAndTheServersAnswer) {
  TempDir dir;
  KeysServer server({Address::Unix(dir.Path("k.sock"))});
  AnswerWithKey(*server.keys);
  ASSERT_TRUE(server.Start());
  Channel channel(server.address(), ClientOptions{});
  std::string const service = "com.norval.hyrn.test.keys";

  auto answer = PostAndWait(channel, service, "get", R"({"key":"a"})");
  EXPECT_EQ(answer.status, 200U);
  EXPECT_EQ(answer.body, R"("value-a")");
  EXPECT_THAT(answer.media_type, ::testing::StartsWith(::Ormi::Transport::kPlainMediaType));
  EXPECT_EQ(answer.failure, nullptr);

  answer = PostAndWait(channel, service, "get", R"({"key":1})");
  EXPECT_EQ(answer.status, 400U);
  EXPECT_THAT(answer.body, ::testing::HasSubstr(Names::kInvalidArgument));

  // A space in a name is part of the name, not the end of the request line.
  answer = PostAndWait(channel, service, "get it", R"({"key":"a"})");
  EXPECT_EQ(answer.status, 404U);
  EXPECT_THAT(answer.body, ::testing::HasSubstr(Ids::kMethodNotFound));
  EXPECT_THAT(answer.body, ::testing::HasSubstr("The operations of " + service + " are: get"));

  NeverAnswers provider(*server.keys);
  answer = PostAndWait(channel, service, "get", R"({"key":"a"})", 100ms);
  // Client and server share the deadline: either side may end the call first.
  if (answer.status == 0U) {
    EXPECT_EQ(::BindingTest::NameOf(answer.failure), Names::kTimedOut);
  } else {
    EXPECT_EQ(answer.status, 504U);
    EXPECT_THAT(answer.body, ::testing::HasSubstr(Names::kTimedOut));
  }
  EXPECT_TRUE(provider.WaitHeld(1));  // and the call had reached the provider

  Channel nobody(Address::Unix(dir.Path("none.sock")), ClientOptions{});
  answer = PostAndWait(nobody, service, "get", R"({"key":"a"})");
  EXPECT_EQ(answer.status, 0U);
  EXPECT_EQ(FirstId(answer.failure), Ids::kConnectFailed);
}

}  // namespace
}  // namespace TransportTest
