// The server: listeners on unix sockets and TCP addresses, the I/O threads, the token, and a
// graceful stop.
#include "ormi/transport/server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include "connection.h"

namespace Ormi::Transport {
namespace {

using Detail::Clock;
using Detail::Connection;
using Detail::Gate;
using Detail::Shared;
using Detail::Socket;
namespace asio = boost::asio;
using Acceptor = asio::basic_socket_acceptor<asio::generic::stream_protocol>;
using Generic = asio::generic::stream_protocol;

constexpr auto kCloseGrace = std::chrono::seconds(2);
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);

// An accept that failed for lack of descriptors (or of the memory for one), which passes
// when others are freed.
bool OutOfDescriptors(boost::system::error_code const& error) {
  return error == asio::error::no_descriptors || error == asio::error::no_buffer_space ||
         error == asio::error::no_memory ||
         error == boost::system::errc::too_many_files_open_in_system;
}

BaseMessage ListenFailed(Address const& address, std::string const& reason) {
  return Message<CoreTag>(MessageId::kListenFailed, address.ToString(), reason);
}

// Makes the missing folders of `path`'s parent, each one only its owner can enter.
void MakeParentFolders(std::string const& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    std::string const folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return;
  }
}

// Removes a unix socket nobody answers on. False with a message when a server answers on it
// or something other than a socket is in the way.
bool ClearStaleSocket(Address const& address, std::list<BaseMessage>& messages) {
  struct stat status {};
  if (::lstat(address.path().c_str(), &status) != 0) return true;
  if (!S_ISSOCK(status.st_mode)) {
    messages.push_back(ListenFailed(address, "a file that is not a socket is in the way"));
    return false;
  }
  asio::io_context io;
  asio::local::stream_protocol::socket probe(io);
  boost::system::error_code error;
  probe.connect(asio::local::stream_protocol::endpoint(address.path()), error);
  if (!error) {
    messages.push_back(Message<CoreTag>(MessageId::kAddressInUse, address.path()));
    return false;
  }
  if (error != asio::error::connection_refused) {  // perhaps live, but not ours to judge
    messages.push_back(ListenFailed(address, error.message()));
    return false;
  }
  ::unlink(address.path().c_str());
  return true;
}

std::uint16_t PortOf(Generic::endpoint const& endpoint) {
  asio::ip::tcp::endpoint tcp;
  std::memcpy(tcp.data(), endpoint.data(), std::min<std::size_t>(endpoint.size(), tcp.capacity()));
  return tcp.port();
}

// A random token of 32 bytes, as hex.
std::string RandomToken() {
  std::random_device device;
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string token;
  for (int i = 0; i < 32; ++i) {
    unsigned const byte = device() & 0xFFU;
    token.push_back(kDigits[byte >> 4U]);
    token.push_back(kDigits[byte & 0xFU]);
  }
  return token;
}

bool WriteTokenFile(std::string const& path, std::string const& token,
                    std::list<BaseMessage>& messages) {
  int const fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  bool written = fd >= 0 && ::fchmod(fd, 0600) == 0 &&
                 ::write(fd, token.data(), token.size()) == static_cast<ssize_t>(token.size());
  std::string const reason = std::strerror(errno);
  if (fd >= 0) written = ::close(fd) == 0 && written;
  if (!written) messages.push_back(Message<CoreTag>(MessageId::kTokenFileFailed, path, reason));
  return written;
}

// One I/O context per I/O thread: a connection lives on one of them, so its handlers never
// contend with another thread for a context's queue, and an answer given on its thread needs
// no hand-off (a context run by one thread runs a connection's handlers one at a time).
class IoContexts {
 public:
  explicit IoContexts(std::size_t count) {
    for (std::size_t i = 0; i < std::max<std::size_t>(1, count); ++i) {
      contexts_.push_back(std::make_unique<asio::io_context>(1));
      guards_.emplace_back(contexts_.back()->get_executor());  // run until Stop
    }
  }
  asio::io_context& first() { return *contexts_.front(); }
  // The context of the next connection, in turn.
  asio::io_context& Next() { return *contexts_[next_++ % contexts_.size()]; }
  std::size_t size() const { return contexts_.size(); }
  asio::io_context& operator[](std::size_t i) { return *contexts_[i]; }
  void Stop() {
    for (auto& context : contexts_) context->stop();
  }

 private:
  std::vector<std::unique_ptr<asio::io_context>> contexts_;
  std::vector<asio::executor_work_guard<asio::io_context::executor_type>> guards_;
  std::atomic<std::size_t> next_{0};
};

// Accepts connections on one address and gives each to a new connection object.
class Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(IoContexts& contexts, std::shared_ptr<Shared> shared, std::shared_ptr<Gate> gate)
      : contexts_(contexts),
        io_(contexts.first()),
        acceptor_(asio::make_strand(io_)),
        retry_(acceptor_.get_executor()),
        shared_(std::move(shared)),
        gate_(std::move(gate)) {}
  ~Listener() { ReleaseReserve(); }
  Listener(Listener const&) = delete;
  Listener& operator=(Listener const&) = delete;

  bool Open(Address const& address, std::list<BaseMessage>& messages) {
    try {
      bool const opened = address.kind() == Address::Kind::kUnix ? OpenUnix(address, messages)
                                                                 : OpenTcp(address, messages);
      if (opened) {
        acceptor_.non_blocking(true);  // shedding connections must not wait for one
        reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      }
      return opened;
    } catch (std::exception const& failure) {
      messages.push_back(ListenFailed(address, failure.what()));
      return false;
    }
  }

  void Accept() {
    next_.emplace(contexts_.Next());
    acceptor_.async_accept(*next_, [self = shared_from_this()](boost::system::error_code error) {
      if (error == asio::error::operation_aborted || !self->acceptor_.is_open()) return;
      if (OutOfDescriptors(error)) return self->Pause(error);
      if (!error) self->OnAccepted(std::move(*self->next_));
      self->Accept();
    });
  }

  // Stops accepting; runs on the listener's strand.
  void Close() {
    boost::system::error_code ignored;
    retry_.cancel();
    acceptor_.close(ignored);
    ReleaseReserve();
  }

  // The strand that runs the accept loop and Close.
  Acceptor::executor_type executor() { return acceptor_.get_executor(); }

  // Removes the socket file when it is still the one this listener made.
  void RemoveSocketFile() const {
    struct stat status {};
    if (address_.kind() == Address::Kind::kUnix && ::lstat(address_.path().c_str(), &status) == 0 &&
        status.st_ino == inode_) {
      ::unlink(address_.path().c_str());
    }
  }

  Address const& address() const { return address_; }

 private:
  bool OpenUnix(Address const& address, std::list<BaseMessage>& messages) {
    MakeParentFolders(address.path());
    if (!ClearStaleSocket(address, messages)) return false;
    acceptor_.open(Generic(AF_UNIX, 0));
    acceptor_.bind(Generic::endpoint(asio::local::stream_protocol::endpoint(address.path())));
    ::chmod(address.path().c_str(), 0600);
    acceptor_.listen();
    struct stat status {};
    if (::lstat(address.path().c_str(), &status) == 0) inode_ = status.st_ino;
    address_ = address;
    return true;
  }

  bool OpenTcp(Address const& address, std::list<BaseMessage>& messages) {
    asio::ip::tcp::resolver resolver(io_);
    auto const results = resolver.resolve(address.host(), std::to_string(address.port()),
                                          asio::ip::tcp::resolver::numeric_service);
    asio::ip::tcp::endpoint const endpoint = results.begin()->endpoint();
    if (!shared_->options.allow_remote && !endpoint.address().is_loopback()) {
      messages.push_back(Message<CoreTag>(MessageId::kAddressNotLoopback, address.ToString(),
                                          SettingName("allow_remote")));
      return false;
    }
    acceptor_.open(Generic(endpoint.protocol().family(), IPPROTO_TCP));
    acceptor_.set_option(asio::socket_base::reuse_address(true));
    acceptor_.bind(Generic::endpoint(endpoint));
    acceptor_.listen();
    address_ = Address::Tcp(endpoint.address().to_string(), PortOf(acceptor_.local_endpoint()));
    return true;
  }

  // Without a descriptor for a new connection, the connections waiting are accepted on the
  // reserve descriptor and closed at once, so that their peers learn now rather than at their
  // deadline; accepting is tried again after a pause. Said once, until it works again.
  void Pause(boost::system::error_code const& error) {
    if (!paused_) {
      Report(Message<CoreTag>(MessageId::kAcceptPaused, address_.ToString(), error.message()));
      paused_ = true;
    }
    if (reserve_ >= 0) {
      ::close(reserve_);
      for (int shed = 0; shed < kShedAtOnce; ++shed) {
        int const fd = ::accept4(acceptor_.native_handle(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) break;
        ::close(fd);
      }
    }
    reserve_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    retry_.expires_after(kAcceptRetry);
    retry_.async_wait([self = shared_from_this()](boost::system::error_code retry_error) {
      if (retry_error || !self->acceptor_.is_open()) return;
      self->Accept();
    });
  }

  void Report(BaseMessage const& message) const {
    if (shared_->options.event_log) shared_->options.event_log(message);
  }

  void ReleaseReserve() {
    if (reserve_ >= 0) ::close(reserve_);
    reserve_ = -1;
  }

  void OnAccepted(Socket socket) {
    if (paused_) Report(Message<CoreTag>(MessageId::kAcceptResumed, address_.ToString()));
    paused_ = false;
    {
      std::lock_guard<std::mutex> const lock(shared_->mutex);
      // Refused connections are answered, up to as many again as the limit; beyond, closed.
      if (shared_->stopping ||
          shared_->connections >= 2 * shared_->options.limits.max_connections) {
        return;
      }
    }
    if (address_.kind() == Address::Kind::kTcp) {
      // Answers are written whole: no reason to hold back small ones.
      boost::system::error_code ignored;
      socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    }
    Core::Caller caller = Detail::CallerOf(socket, address_.path());
    std::make_shared<Connection<Socket>>(std::move(socket), shared_, gate_, std::move(caller))
        ->Start();
  }

  IoContexts& contexts_;
  static constexpr int kShedAtOnce = 64;

  asio::io_context& io_;
  Acceptor acceptor_;
  asio::steady_timer retry_;
  int reserve_ = -1;  // a descriptor kept free for closing connections when none is left
  bool paused_ = false;
  boost::optional<Socket> next_;
  std::shared_ptr<Shared> shared_;
  std::shared_ptr<Gate> gate_;
  Address address_;
  ino_t inode_ = 0;
};

}  // namespace

class Server::Impl {
 public:
  Impl(std::shared_ptr<InProcess::Registry const> registry,
       std::shared_ptr<InProcess::Executor> executor, ServerOptions options)
      : shared_(
            std::make_shared<Shared>(std::move(options), std::move(registry), std::move(executor))),
        gate_(std::make_shared<Gate>()),
        contexts_(shared_->options.io_threads) {}

  bool Start(std::list<BaseMessage>& messages);
  void Stop();
  std::string ServeBytes(std::string input, Core::Caller const& caller);

  std::vector<Address> const& addresses() const { return addresses_; }
  std::string const& token() const { return shared_->token; }

 private:
  bool PrepareToken(std::list<BaseMessage>& messages);
  void RequestStopAll(bool force);
  template <typename Condition>
  void WaitFor(Condition condition, Clock::duration limit);

  std::shared_ptr<Shared> shared_;
  std::shared_ptr<Gate> gate_;
  IoContexts contexts_;
  std::vector<std::shared_ptr<Listener>> listeners_;
  std::vector<Address> addresses_;
  std::vector<std::thread> threads_;
  std::mutex state_mutex_;
  bool started_ = false;
  bool stopped_ = false;
};

bool Server::Impl::PrepareToken(std::list<BaseMessage>& messages) {
  ServerOptions const& options = shared_->options;
  bool const tcp = std::any_of(options.listen.begin(), options.listen.end(),
                               [](Address const& a) { return a.kind() == Address::Kind::kTcp; });
  if (shared_->token.empty() && tcp && options.require_token) shared_->token = RandomToken();
  return options.token_file.empty() || shared_->token.empty() ||
         WriteTokenFile(options.token_file, shared_->token, messages);
}

bool Server::Impl::Start(std::list<BaseMessage>& messages) {
  std::lock_guard<std::mutex> const lock(state_mutex_);
  if (started_) return false;
  for (Address const& address : shared_->options.listen) {
    auto listener = std::make_shared<Listener>(contexts_, shared_, gate_);
    if (!listener->Open(address, messages)) break;
    listeners_.push_back(std::move(listener));
  }
  if (listeners_.size() != shared_->options.listen.size() || !PrepareToken(messages)) {
    for (auto const& listener : listeners_) {
      listener->Close();
      listener->RemoveSocketFile();
    }
    listeners_.clear();
    return false;
  }
  started_ = true;
  for (auto const& listener : listeners_) {
    addresses_.push_back(listener->address());
    listener->Accept();
  }
  for (std::size_t i = 0; i < contexts_.size(); ++i) {
    threads_.emplace_back([this, i] { contexts_[i].run(); });
  }
  return true;
}

void Server::Impl::RequestStopAll(bool force) {
  std::list<std::weak_ptr<Detail::SessionBase>> sessions;
  {
    std::lock_guard<std::mutex> const lock(shared_->mutex);
    sessions = shared_->sessions;
  }
  for (auto const& weak : sessions) {
    if (auto session = weak.lock()) session->RequestStop(force);
  }
}

template <typename Condition>
void Server::Impl::WaitFor(Condition condition, Clock::duration limit) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->changed.wait_for(lock, limit, [&] { return condition(*shared_); });
}

void Server::Impl::Stop() {
  std::lock_guard<std::mutex> const lock(state_mutex_);
  if (!started_ || stopped_) return;
  stopped_ = true;
  shared_->stopping = true;
  for (auto const& listener : listeners_) {
    asio::post(listener->executor(), [listener] { listener->Close(); });
  }
  RequestStopAll(false);
  WaitFor([](Shared const& shared) { return shared.calls == 0; },
          shared_->options.limits.drain_timeout);
  RequestStopAll(true);
  WaitFor([](Shared const& shared) { return shared.connections == 0; }, kCloseGrace);
  gate_->Close();
  contexts_.Stop();
  for (auto& thread : threads_) thread.join();
  threads_.clear();
  for (auto const& listener : listeners_) listener->RemoveSocketFile();
}

std::string Server::Impl::ServeBytes(std::string input, Core::Caller const& caller) {
  asio::io_context io;
  auto output = std::make_shared<std::string>();
  auto gate = std::make_shared<Gate>();
  std::make_shared<Connection<Detail::MemoryStream>>(
      Detail::MemoryStream(io.get_executor(), std::move(input), output), shared_, gate, caller)
      ->Start();
  io.run();
  gate->Close();
  return *output;
}

Server::Server(std::shared_ptr<InProcess::Registry const> registry,
               std::shared_ptr<InProcess::Executor> executor, ServerOptions options)
    : impl_(std::make_shared<Impl>(std::move(registry), std::move(executor), std::move(options))) {}

Server::~Server() {
  try {
    impl_->Stop();
  } catch (...) {  // a thread that cannot be joined: nothing is left to undo
  }
}

bool Server::Start(std::list<BaseMessage>& messages) { return impl_->Start(messages); }
void Server::Stop() { impl_->Stop(); }
std::vector<Address> const& Server::addresses() const { return impl_->addresses(); }
std::string const& Server::token() const { return impl_->token(); }
std::string Server::ServeBytes(std::string input, Core::Caller const& caller) {
  return impl_->ServeBytes(std::move(input), caller);
}

}  // namespace Ormi::Transport
