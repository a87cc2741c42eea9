// The client channel: a strand owns the pool of connections and the calls; each call gets a
// connection (kept-alive, new, or after a wait for one) and one delivery, and one timer
// watches the deadlines of all open calls.
#include "ormi/transport/channel.h"

#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http.hpp>
#include <boost/optional.hpp>

#include "ormi/data/error_names.h"
#include "ormi/data/json.h"
#include "ormi/transport/buffer_pool.h"
#include "ormi/transport/wire.h"

#include "body_buffers.h"

namespace Ormi::Transport {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using Generic = asio::generic::stream_protocol;
using Clock = std::chrono::steady_clock;
using ResultPtr = std::shared_ptr<Core::MethodResult const>;

Progress const kTerminal{0, 1, 1};

struct PooledConnection {
  explicit PooledConnection(asio::any_io_executor const& executor) : socket(executor) {}
  Generic::socket socket;
  beast::flat_buffer buffer;
  Clock::time_point idle_since;
};
using ConnectionPtr = std::shared_ptr<PooledConnection>;

using Response = http::response<http::string_body>;

// How a call ended: the server's response, or the error value of what went wrong on the way.
struct Ending {
  boost::optional<Response> response;
  std::shared_ptr<Data::ErrorValue const> failure;
};

struct ClientCall {
  std::string target;
  std::string media_type = kCanonicalMediaType;
  std::string body;  // moved into `request` when the call is sent, which happens once
  Clock::time_point deadline;
  Milliseconds timeout{0};      // from the call's start to its deadline
  std::string accept_language;  // empty: no Accept-Language header
  // Hands the ending to the caller; runs once, off the strand when there is a callback executor.
  std::function<void(Ending)> end;
  http::request<http::string_body> request;
  boost::optional<http::response_parser<http::string_body>> parser;
  ConnectionPtr connection;
  bool done = false;
};
using CallPtr = std::shared_ptr<ClientCall>;

Ending Failure(char const* error_name, BaseMessage message) {
  return {boost::none, Data::ErrorValue::Create(error_name, {std::move(message)})};
}

ResultPtr ErrorResult(std::shared_ptr<Data::ErrorValue const> error) {
  return std::make_shared<Core::MethodResult const>(nullptr, std::move(error), true);
}

ResultPtr ErrorResult(char const* error_name, BaseMessage message) {
  return ErrorResult(Data::ErrorValue::Create(error_name, {std::move(message)}));
}

// The result of a response for a stub: the decoded output or error value.
ResultPtr DecodeResult(Response const& response, Data::JsonLimits const& limits,
                       std::string const& address) {
  Data::ValuePtr value;
  std::list<BaseMessage> messages;
  if (!Data::FromJson(response.body(), &value, messages, limits)) {
    return ErrorResult(Data::ErrorName::kInternalServerError,
                       Message<CoreTag>(MessageId::kResponseInvalid, address,
                                        messages.empty() ? "" : messages.front().defaultMessage));
  }
  if (response.result_int() == 200) {
    return std::make_shared<Core::MethodResult const>(value, nullptr, true);
  }
  if (value->kind() != Data::ValueKind::kError) {
    return ErrorResult(Data::ErrorName::kInternalServerError,
                       Message<CoreTag>(MessageId::kResponseInvalid, address,
                                        "status " + std::to_string(response.result_int()) +
                                            " without an error value"));
  }
  return ErrorResult(std::static_pointer_cast<Data::ErrorValue const>(value));
}

// The request target of an operation: "/<service>/<operation>", each name one segment, its
// unreserved bytes and '$' as they are and every other byte percent-encoded.
std::string RequestTarget(std::string const& service, std::string const& operation) {
  static char const kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(service.size() + operation.size() + 2);
  for (std::string const* name : {&service, &operation}) {
    out += '/';
    for (unsigned char const c : *name) {
      if (std::isalnum(c) != 0 || c == '.' || c == '_' || c == '-' || c == '~' || c == '$') {
        out += static_cast<char>(c);
      } else {
        out += '%';
        out += kHex[c >> 4U];
        out += kHex[c & 0xFU];
      }
    }
  }
  return out;
}

// True when a pooled connection can carry another call: open, quiet, not idle too long.
bool Usable(PooledConnection& connection, Milliseconds idle_limit) {
  if (!connection.socket.is_open() || Clock::now() - connection.idle_since > idle_limit) {
    return false;
  }
  char byte = 0;
  ssize_t const received =
      ::recv(connection.socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return received < 0 && errno == EAGAIN;
}

std::string ReadToken(ClientOptions const& options) {
  if (!options.token.empty() || options.token_file.empty()) return options.token;
  std::ifstream file(options.token_file);
  std::string token((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  while (!token.empty() && (token.back() == '\n' || token.back() == '\r')) token.pop_back();
  return token;
}

}  // namespace

class Channel::Impl : public std::enable_shared_from_this<Impl> {
 public:
  Impl(Address address, ClientOptions options)
      : strand_(asio::make_strand(io_)),
        deadline_timer_(strand_),
        work_(asio::make_work_guard(io_)),
        address_(std::move(address)),
        options_(std::move(options)),
        token_(ReadToken(options_)),
        accept_language_(AcceptLanguage(options_.languages)) {
    Resolve();
  }

  void StartThreads() {
    std::size_t const count = std::max<std::size_t>(1, options_.io_threads);
    for (std::size_t i = 0; i < count; ++i) {
      threads_.emplace_back([self = shared_from_this()] { self->io_.run(); });
    }
  }

  // A call that finds a kept-alive connection free is written from the caller's thread, so
  // that the request leaves without waiting for the I/O thread; the strand learns of the call
  // afterwards, for its deadline. Any other call goes to the strand, which finds it one.
  void Submit(CallPtr call) {
    if (auto connection = TakeIdle()) {
      call->connection = std::move(connection);
      Send(call);
      asio::post(strand_,
                 [self = shared_from_this(), call = std::move(call)] { self->Adopt(call); });
      return;
    }
    asio::post(strand_, [self = shared_from_this(), call = std::move(call)] { self->Begin(call); });
  }

  void Shutdown();
  Milliseconds defaultTimeout() const { return options_.default_timeout; }
  Data::JsonLimits answerLimits() const {
    return {options_.max_json_depth, options_.max_response_bytes};
  }
  std::string address() const { return address_.ToString(); }
  std::shared_ptr<BufferPool> const& bodies() const { return bodies_; }
  // The header naming the languages of `activation`'s locale, or the channel's when it has none.
  std::string AcceptLanguageFor(Core::AsyncActivation const* activation) const;

 private:
  void Resolve();
  ConnectionPtr TakeIdle();
  void Begin(CallPtr const& call);
  void Watch(CallPtr const& call);
  void Adopt(CallPtr const& call);
  void EndClosed(CallPtr const& call);
  void WatchDeadline(Clock::time_point deadline);
  void OnDeadlines();
  void TimeOut(CallPtr const& call);
  void Acquire(CallPtr const& call);
  void Connect(CallPtr const& call);
  void Send(CallPtr const& call);
  void ReadAnswer(CallPtr const& call);
  void OnResponse(CallPtr const& call, beast::error_code error);
  void Release(ConnectionPtr const& connection, bool reusable);
  void Lost(CallPtr const& call, beast::error_code error);
  void Finish(CallPtr const& call, Ending ending);

  asio::io_context io_;
  asio::strand<asio::io_context::executor_type> strand_;
  // Set for the earliest deadline of the open calls, or later (it then waits again).
  asio::steady_timer deadline_timer_;
  bool timer_waiting_ = false;
  boost::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  std::vector<std::thread> threads_;
  Address address_;
  ClientOptions options_;
  std::string token_;
  std::string accept_language_;
  Generic::endpoint endpoint_;
  std::string resolve_error_;
  // Request and answer bodies, given back once written or decoded.
  std::shared_ptr<BufferPool> bodies_ =
      std::make_shared<BufferPool>(Detail::kChannelKeptBodies, Detail::kKeptBodyBytes);
  // Kept-alive connections without a call, and whether the channel is closed: the strand and
  // callers take connections; only the strand gives them back and closes.
  std::mutex idle_mutex_;
  std::vector<ConnectionPtr> idle_;
  bool closed_ = false;
  // Owned by the strand.
  std::deque<CallPtr> waiting_;
  std::size_t open_ = 0;
  std::set<CallPtr> active_;
};

void Channel::Impl::Resolve() {
  if (address_.kind() == Address::Kind::kUnix) {
    try {
      endpoint_ = Generic::endpoint(asio::local::stream_protocol::endpoint(address_.path()));
    } catch (std::exception const& failure) {
      resolve_error_ = failure.what();
    }
    return;
  }
  boost::system::error_code error;
  asio::ip::tcp::resolver resolver(io_);
  auto const results = resolver.resolve(address_.host(), std::to_string(address_.port()),
                                        asio::ip::tcp::resolver::numeric_service, error);
  if (error || results.empty()) {
    resolve_error_ = error ? error.message() : "no address found";
    return;
  }
  endpoint_ = Generic::endpoint(results.begin()->endpoint());
}

// A kept-alive connection fit for another call, or null. Connections found unfit are closed.
ConnectionPtr Channel::Impl::TakeIdle() {
  std::vector<ConnectionPtr> unfit;
  ConnectionPtr connection;
  {
    std::lock_guard<std::mutex> const lock(idle_mutex_);
    while (!closed_ && !idle_.empty()) {
      ConnectionPtr candidate = std::move(idle_.back());
      idle_.pop_back();
      if (Usable(*candidate, options_.idle_timeout)) {
        connection = std::move(candidate);
        break;
      }
      unfit.push_back(std::move(candidate));
    }
  }
  for (auto& stale : unfit) {
    asio::post(strand_, [self = shared_from_this(), stale = std::move(stale)] {
      self->Release(stale, false);
    });
  }
  return connection;
}

void Channel::Impl::Begin(CallPtr const& call) {
  if (closed_) return EndClosed(call);
  Watch(call);
  Acquire(call);
}

// A call sent from the caller's thread: watched from now on, or ended when the channel closed
// meanwhile.
void Channel::Impl::Adopt(CallPtr const& call) {
  if (call->done) return;
  if (!closed_) return Watch(call);
  EndClosed(call);
}

// Ends a call because the channel closed; its connection's pending operation ends with it.
void Channel::Impl::EndClosed(CallPtr const& call) {
  Finish(call, Failure(Data::ErrorName::kServiceUnavailable,
                       Message<CoreTag>(MessageId::kConnectionLost, address_.ToString(),
                                        "the channel is closed")));
  boost::system::error_code ignored;
  if (call->connection) call->connection->socket.close(ignored);
}

// The call's deadline is watched from now on.
void Channel::Impl::Watch(CallPtr const& call) {
  active_.insert(call);
  WatchDeadline(call->deadline);
}

// Moves the timer only when `deadline` comes before the time it is set for: calls usually
// start in the order of their deadlines, so most leave it alone.
void Channel::Impl::WatchDeadline(Clock::time_point deadline) {
  if (timer_waiting_ && deadline_timer_.expiry() <= deadline) return;
  deadline_timer_.expires_at(deadline);  // a wait set for later ends with operation_aborted
  timer_waiting_ = true;
  deadline_timer_.async_wait([self = shared_from_this()](beast::error_code error) {
    if (error) return;
    self->timer_waiting_ = false;
    self->OnDeadlines();
  });
}

// Ends the calls whose deadline passed and waits for the next deadline.
void Channel::Impl::OnDeadlines() {
  auto const now = Clock::now();
  auto next = Clock::time_point::max();
  for (auto it = active_.begin(); it != active_.end();) {
    CallPtr const call = *it++;  // TimeOut removes it from active_
    if (call->deadline <= now) {
      TimeOut(call);
    } else {
      next = std::min(next, call->deadline);
    }
  }
  if (next != Clock::time_point::max()) WatchDeadline(next);
}

void Channel::Impl::TimeOut(CallPtr const& call) {
  Finish(call, Failure(Data::ErrorName::kTimedOut,
                       Message<CoreTag>(MessageId::kDeadlinePassed,
                                        std::to_string(call->timeout.count()))));
  if (call->connection) {
    boost::system::error_code ignored;
    call->connection->socket.close(ignored);  // the pending operation ends and releases it
  }
}

void Channel::Impl::Acquire(CallPtr const& call) {
  if (auto connection = TakeIdle()) {
    call->connection = std::move(connection);
    return Send(call);
  }
  if (open_ < std::max<std::size_t>(1, options_.max_connections)) {
    ++open_;
    call->connection = std::make_shared<PooledConnection>(strand_);
    return Connect(call);
  }
  waiting_.push_back(call);
}

void Channel::Impl::Connect(CallPtr const& call) {
  if (!resolve_error_.empty()) {
    auto connection = std::move(call->connection);
    Release(connection, false);
    return Finish(call, Failure(Data::ErrorName::kServiceUnavailable,
                                Message<CoreTag>(MessageId::kConnectFailed, address_.ToString(),
                                                 resolve_error_)));
  }
  call->connection->socket.async_connect(
      endpoint_, [self = shared_from_this(), call](beast::error_code error) {
        if (!error && !call->done) {
          if (self->address_.kind() == Address::Kind::kTcp) {
            // Requests and answers are written whole: no reason to hold back small ones.
            boost::system::error_code ignored;
            call->connection->socket.set_option(asio::ip::tcp::no_delay(true), ignored);
          }
          return self->Send(call);
        }
        auto connection = std::move(call->connection);
        self->Release(connection, false);
        if (error) {
          self->Finish(call, Failure(Data::ErrorName::kServiceUnavailable,
                                     Message<CoreTag>(MessageId::kConnectFailed,
                                                      self->address_.ToString(), error.message())));
        }
      });
}

std::string Channel::Impl::AcceptLanguageFor(Core::AsyncActivation const* activation) const {
  if (activation == nullptr || !activation->localeSpec()) return accept_language_;
  std::vector<std::string> languages;
  for (auto const& preference : activation->localeSpec()->languages()) {
    languages.push_back(preference.language());
  }
  return AcceptLanguage(languages);
}

void Channel::Impl::Send(CallPtr const& call) {
  auto const remaining =
      std::chrono::ceil<Milliseconds>(std::max(call->deadline - Clock::now(), Clock::duration(0)));
  auto& request = call->request;
  request = {};
  request.method(http::verb::post);
  request.target(call->target);
  request.version(11);
  request.set(http::field::host, "localhost");
  request.set(http::field::content_type, call->media_type);
  request.set(kTimeoutHeader, std::to_string(remaining.count()));
  if (!token_.empty()) request.set(http::field::authorization, "Bearer " + token_);
  if (!call->accept_language.empty()) {
    request.set(http::field::accept_language, call->accept_language);
  }
  request.keep_alive(true);
  request.body() = std::move(call->body);
  request.prepare_payload();
  http::async_write(call->connection->socket, request,
                    [self = shared_from_this(), call](beast::error_code error, std::size_t) {
                      self->bodies_->Give(std::move(call->request.body()));
                      if (error || call->done) return self->OnResponse(call, error);
                      self->ReadAnswer(call);
                    });
}

// Reads the header first, so that a large body can be read in large reads into a kept buffer.
void Channel::Impl::ReadAnswer(CallPtr const& call) {
  call->parser.emplace();
  call->parser->body_limit(options_.max_response_bytes);
  auto& connection = *call->connection;
  http::async_read_header(connection.socket, connection.buffer, *call->parser,
                          [self = shared_from_this(), call](beast::error_code error, std::size_t) {
                            if (error || call->done) return self->OnResponse(call, error);
                            auto& parser = *call->parser;
                            Detail::PrepareForBody(parser.content_length(), parser.get().body(),
                                                   call->connection->buffer, *self->bodies_);
                            http::async_read(
                                call->connection->socket, call->connection->buffer, parser,
                                [self, call](beast::error_code read_error, std::size_t) {
                                  self->OnResponse(call, read_error);
                                });
                          });
}

void Channel::Impl::OnResponse(CallPtr const& call, beast::error_code error) {
  ConnectionPtr const connection = std::move(call->connection);
  if (call->done) return Release(connection, false);
  if (error == http::error::body_limit) {
    Release(connection, false);
    return Finish(call, Failure(Data::ErrorName::kInternalServerError,
                                Message<CoreTag>(MessageId::kResponseTooLarge,
                                                 std::to_string(options_.max_response_bytes),
                                                 SettingName("max_response_bytes"))));
  }
  if (error) {
    Release(connection, false);
    return Lost(call, error);
  }
  Response response = call->parser->release();
  Release(connection, response.keep_alive());
  Finish(call, {std::move(response), nullptr});
}

void Channel::Impl::Release(ConnectionPtr const& connection, bool reusable) {
  if (!closed_ && reusable && connection->socket.is_open()) {
    while (!waiting_.empty()) {
      CallPtr next = std::move(waiting_.front());
      waiting_.pop_front();
      if (next->done) continue;
      next->connection = connection;
      return Send(next);
    }
    connection->idle_since = Clock::now();
    std::lock_guard<std::mutex> const lock(idle_mutex_);
    idle_.push_back(connection);
    return;
  }
  boost::system::error_code ignored;
  connection->socket.close(ignored);
  --open_;
  while (!closed_ && !waiting_.empty()) {
    CallPtr next = std::move(waiting_.front());
    waiting_.pop_front();
    if (!next->done) return Acquire(next);
  }
}

void Channel::Impl::Lost(CallPtr const& call, beast::error_code error) {
  Finish(call, Failure(Data::ErrorName::kServiceUnavailable,
                       Message<CoreTag>(MessageId::kConnectionLost, address_.ToString(),
                                        error.message())));
}

// Ends a call on the strand; what runs the caller's function (perhaps another executor)
// gets only the function and the ending, nothing of the I/O context.
void Channel::Impl::Finish(CallPtr const& call, Ending ending) {
  if (call->done) return;
  call->done = true;
  active_.erase(call);
  auto deliver = [end = std::move(call->end), ending = std::move(ending)]() mutable {
    end(std::move(ending));
  };
  if (options_.callback_executor) return options_.callback_executor->Post(std::move(deliver));
  deliver();
}

void Channel::Impl::Shutdown() {
  asio::post(strand_, [self = shared_from_this()] {
    std::vector<ConnectionPtr> idle;
    {
      std::lock_guard<std::mutex> const lock(self->idle_mutex_);
      self->closed_ = true;
      idle.swap(self->idle_);
    }
    self->deadline_timer_.cancel();
    std::set<CallPtr> const open = self->active_;
    for (auto const& call : open) self->EndClosed(call);
    for (auto const& connection : idle) {
      boost::system::error_code ignored;
      connection->socket.close(ignored);
    }
    self->waiting_.clear();
  });
  work_.reset();
  for (auto& thread : threads_) {
    if (thread.get_id() == std::this_thread::get_id()) {
      thread.detach();
    } else {
      thread.join();
    }
  }
}

Channel::Channel(Address address, ClientOptions options)
    : impl_(std::make_shared<Impl>(std::move(address), std::move(options))) {
  impl_->StartThreads();
}

Channel::~Channel() {
  try {
    impl_->Shutdown();
  } catch (...) {  // a thread that cannot be joined: nothing is left to undo
  }
}

void Channel::Invoke(std::shared_ptr<Core::MethodIdentifier const> const& method,
                     Data::ValuePtr const& input,
                     std::shared_ptr<Core::AsyncActivation> const& activation,
                     ResultFunction const& result) {
  if (!result) throw std::bad_function_call();
  auto call = std::make_shared<ClientCall>();
  static std::string const kNone;
  call->target = RequestTarget(
      method && method->interfaceIdentifier() ? method->interfaceIdentifier()->name() : kNone,
      method ? method->name() : kNone);
  call->body = impl_->bodies()->Take();
  if (input) Data::AppendJson(*input, &call->body);
  auto const now = Clock::now();
  call->deadline = activation && activation->deadline() != Clock::time_point::max()
                       ? activation->deadline()
                       : now + impl_->defaultTimeout();
  call->timeout =
      std::chrono::ceil<Milliseconds>(std::max(call->deadline - now, Clock::duration(0)));
  call->accept_language = impl_->AcceptLanguageFor(activation.get());
  call->end = [callback = Core::AsyncApiResultCb(result), limits = impl_->answerLimits(),
               address = impl_->address(), bodies = impl_->bodies()](Ending ending) {
    if (ending.failure) return callback(ErrorResult(std::move(ending.failure)), kTerminal, nullptr);
    auto const decoded = DecodeResult(*ending.response, limits, address);
    bodies->Give(std::move(ending.response->body()));
    callback(decoded, kTerminal, nullptr);
  };
  impl_->Submit(std::move(call));
}

void Channel::Post(std::string const& service, std::string const& operation, std::string body,
                   std::string const& media_type, Milliseconds timeout, RawResultFunction result) {
  if (!result) throw std::bad_function_call();
  auto call = std::make_shared<ClientCall>();
  call->target = RequestTarget(service, operation);
  call->media_type = media_type;
  call->body = std::move(body);
  call->timeout = timeout.count() > 0 ? timeout : impl_->defaultTimeout();
  call->deadline = Clock::now() + call->timeout;
  call->accept_language = impl_->AcceptLanguageFor(nullptr);
  call->end = [result = std::move(result), bodies = impl_->bodies()](Ending ending) {
    RawAnswer answer;
    if (ending.response) {
      answer.status = ending.response->result_int();
      answer.media_type = std::string((*ending.response)[http::field::content_type]);
      answer.body = std::move(ending.response->body());
    }
    answer.failure = std::move(ending.failure);
    result(answer);
    bodies->Give(std::move(answer.body));
  };
  impl_->Submit(std::move(call));
}

}  // namespace Ormi::Transport
