// Plumbing shared by the transport tests: a temporary folder, a server of the generated test
// service (KeysSvc) behind a programmable fake, a client channel to it, a raw HTTP peer that
// sends exactly the bytes it is given, and readers of answers.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/beast/http.hpp>
#include <boost/optional/optional_io.hpp>

#include "binding/test_support.h"
#include "ormi/data/error_names.h"
#include "ormi/data/json.h"
#include "ormi/in_process/connector.h"
#include "ormi/transport/address.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/server.h"
#include "ormi/transport/wire.h"

namespace TransportTest {

using namespace std::chrono_literals;
using ::BindingTest::FakeKeys;
using ::BindingTest::KeysSvc;
using ::Ormi::Transport::Address;
using ::Ormi::Transport::Channel;
using ::Ormi::Transport::ClientOptions;
using ::Ormi::Transport::ServerOptions;
using Ids = ::Ormi::MessageId;
using Names = ::Ormi::Data::ErrorName;
using Clock = std::chrono::steady_clock;
using Response = boost::beast::http::response<boost::beast::http::string_body>;

// A folder removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/hyrn-transport-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(TempDir const&) = delete;
  TempDir& operator=(TempDir const&) = delete;
  std::string Path(std::string const& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The target of KeysSvc's get.
constexpr char kGet[] = "/com.norval.hyrn.test.keys/get";

// The canonical body of a KeysSvc input with a key.
inline std::string KeyBody(std::string const& key) {
  return R"({"$struct":"com.norval.ormi.operation_input","fields":{"key":")" + key + R"("}})";
}

// A POST of `body` to `target` with the given extra header lines ("Name: value\r\n").
inline std::string Post(std::string const& target, std::string const& body,
                        std::string const& headers = "",
                        std::string const& type = ::Ormi::Transport::kCanonicalMediaType) {
  return "POST " + target + " HTTP/1.1\r\nHost: localhost\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers + "\r\n" + body;
}

// Every complete response in `bytes`, in order.
inline std::vector<Response> ParseResponses(std::string const& bytes) {
  std::vector<Response> responses;
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    boost::beast::http::response_parser<boost::beast::http::string_body> parser;
    parser.eager(true);
    parser.body_limit(boost::none);
    boost::beast::error_code error;
    std::size_t const used =
        parser.put(boost::asio::buffer(bytes.data() + offset, bytes.size() - offset), error);
    if (error || !parser.is_done()) break;
    responses.push_back(parser.release());
    offset += used;
  }
  return responses;
}

// A connected blocking socket to a unix or TCP address, or -1.
inline int Connect(Address const& address) {
  if (address.kind() == Address::Kind::kUnix) {
    int const fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un target{};
    target.sun_family = AF_UNIX;
    std::strncpy(target.sun_path, address.path().c_str(), sizeof target.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) return fd;
    ::close(fd);
    return -1;
  }
  int const fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(address.port());
  ::inet_pton(AF_INET, "127.0.0.1", &target.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) return fd;
  ::close(fd);
  return -1;
}

// Reads until `responses` complete answers arrived, the peer closed or `wait` passed.
inline std::string ReadAnswers(int fd, std::size_t responses, std::chrono::milliseconds wait) {
  std::string received;
  auto const end = std::chrono::steady_clock::now() + wait;
  while (ParseResponses(received).size() < responses) {
    auto const left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd ready{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
    char chunk[4096];
    ssize_t const got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    received.append(chunk, static_cast<std::size_t>(got));
  }
  return received;
}

// True when the peer closes the connection, with nothing more to read, within `wait`.
inline bool EndsWithin(int fd, std::chrono::milliseconds wait) {
  pollfd ready{fd, POLLIN, 0};
  char byte = 0;
  return ::poll(&ready, 1, static_cast<int>(wait.count())) == 1 && ::read(fd, &byte, 1) == 0;
}

// Sends `bytes` on a new connection and returns the answers (at most `responses`).
inline std::vector<Response> Exchange(Address const& address, std::string const& bytes,
                                      std::size_t responses = 1,
                                      std::chrono::milliseconds wait = 5s) {
  int const fd = Connect(address);
  if (fd < 0) return {};
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  std::string const received = ReadAnswers(fd, responses, wait);
  ::close(fd);
  return ParseResponses(received);
}

// The error value of an answer's body (canonical form), or null.
inline ::Ormi::ErrorPtr ErrorOf(Response const& response) {
  ::Ormi::Data::ValuePtr value;
  std::list<::Ormi::BaseMessage> messages;
  if (!::Ormi::Data::FromJson(response.body(), &value, messages) ||
      value->kind() != ::Ormi::Data::ValueKind::kError) {
    return nullptr;
  }
  return std::static_pointer_cast<::Ormi::Data::ErrorValue const>(value);
}

// The first message id of an answer's error, or "".
inline std::string FirstMessageId(Response const& response) {
  auto const ids = ::BindingTest::MessageIds(ErrorOf(response));
  return ids.empty() ? "" : ids.front();
}

// Makes Get answer "value-<key>".
inline void AnswerWithKey(FakeKeys& keys) {
  keys.get = [](std::string const& key, ::BindingTest::Result<std::string> const& result) {
    result.SetResult("value-" + key);
  };
}

// A server of a FakeKeys on the given addresses, its provider work on a thread pool.
struct KeysServer {
  explicit KeysServer(std::vector<Address> listen, ::Ormi::Transport::ServerOptions options = {}) {
    registry->Register(KeysSvc::AsyncServiceBinder::BindImplementation(keys));
    options.listen = std::move(listen);
    server = std::make_unique<::Ormi::Transport::Server>(registry, pool, std::move(options));
  }
  bool Start() {
    std::list<::Ormi::BaseMessage> messages;
    bool const started = server->Start(messages);
    for (auto const& message : messages) ADD_FAILURE() << message.defaultMessage;
    return started;
  }
  Address const& address(std::size_t i = 0) const { return server->addresses().at(i); }

  std::shared_ptr<FakeKeys> keys = std::make_shared<FakeKeys>();
  std::shared_ptr<::Ormi::InProcess::Registry> registry =
      std::make_shared<::Ormi::InProcess::Registry>();
  std::shared_ptr<::Ormi::InProcess::ThreadPoolExecutor> pool =
      std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(4);
  std::unique_ptr<::Ormi::Transport::Server> server;
};

// The outcome of one client call of KeysSvc::Get.
struct GetOutcome {
  boost::optional<std::string> value;
  ::Ormi::ErrorPtr error;
};

// Calls Get through a stub over `channel` and waits for the answer (at most `wait`).
inline GetOutcome CallGet(
    std::shared_ptr<::Ormi::Stub::AsyncApiStub> const& channel, std::string const& key,
    std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation = nullptr,
    std::chrono::milliseconds wait = 20s) {
  KeysSvc::AsyncServiceStub stub(channel);
  auto promise = std::make_shared<std::promise<GetOutcome>>();
  auto future = promise->get_future();
  stub.Get(key, activation,
           ::BindingTest::Result<std::string>(::BindingTest::Result<std::string>::Callback(
               [promise](boost::optional<std::string> const& value, ::Ormi::ErrorPtr const& error,
                         ::Ormi::Progress const& /*progress*/) {
                 if (value || error) promise->set_value({value, error});
               })));
  if (future.wait_for(wait) != std::future_status::ready) {
    ADD_FAILURE() << "no answer within " << wait.count() << " ms";
    return {};
  }
  return future.get();
}

}  // namespace TransportTest
