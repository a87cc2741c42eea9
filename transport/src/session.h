// One HTTP connection of the server: reads requests one after the other (kept alive), checks
// each, hands the call to the dispatcher and writes the answer. Works on a socket or on an
// in-memory stream; the checks and limits are the same.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/execution/outstanding_work.hpp>
#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/prefer.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http.hpp>
#include <boost/optional.hpp>

#include "body_buffers.h"
#include "memory_stream.h"
#include "ormi/core/call.h"
#include "ormi/transport/buffer_pool.h"
#include "ormi/transport/dispatcher.h"
#include "ormi/transport/options.h"
#include "ormi/transport/wire.h"

namespace Ormi::Transport::Detail {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using Socket = asio::generic::stream_protocol::socket;
using Clock = std::chrono::steady_clock;

// Lets answers that providers deliver from their own threads reach the I/O threads only
// while these still run; after Close they are dropped. What a provider's thread holds must
// not keep anything of the I/O context (an executor), which may be gone by the time
// the provider lets go of it.
class Gate {
 public:
  // Runs `work` under the gate's lock, unless the gate is closed.
  template <typename Work>
  void Run(Work&& work) {
    std::lock_guard<std::mutex> const lock(mutex_);
    if (open_) std::forward<Work>(work)();
  }
  void Close() {
    std::lock_guard<std::mutex> const lock(mutex_);
    open_ = false;
  }

 private:
  std::mutex mutex_;
  bool open_ = true;
};

class SessionBase {
 public:
  SessionBase() = default;
  SessionBase(SessionBase const&) = delete;
  SessionBase& operator=(SessionBase const&) = delete;
  virtual ~SessionBase() = default;
  // Asks the session to end: an idle one closes now, a call in flight finishes (or, with
  // `force`, is answered "service unavailable"), and no further request is read.
  virtual void RequestStop(bool force) = 0;
};

// What the sessions of one server share.
struct Shared {
  Shared(ServerOptions server_options, std::shared_ptr<InProcess::Registry const> registry,
         std::shared_ptr<InProcess::Executor> run);

  ServerOptions options;
  std::shared_ptr<InProcess::Executor> executor;
  Dispatcher dispatcher;
  std::string token;
  std::int64_t own_uid;
  std::atomic<bool> stopping{false};

  // Open connections and calls in flight; `changed` is notified when either drops.
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t connections = 0;
  std::size_t calls = 0;
  std::list<std::weak_ptr<SessionBase>> sessions;
  // Large request and answer bodies, given back once decoded or written.
  std::shared_ptr<BufferPool> bodies =
      std::make_shared<BufferPool>(kServerKeptBodies, kKeptBodyBytes);

  void Add(std::shared_ptr<SessionBase> const& session);
  void Count(std::size_t Shared::*counter, int change);
};

// The refusal a new connection of this caller gets instead of service, if any: a unix peer
// of a user not allowed, or one connection too many.
boost::optional<DispatchResponse> RefusalFor(Shared& shared, Core::Caller const& caller);

// What a request's head asks for, once it passed the checks.
struct Head {
  std::string service;
  std::string operation;
  Milliseconds timeout{0};
  bool token = false;                  // the request carried the right bearer token
  std::vector<std::string> languages;  // of its Accept-Language header
};

// Checks a request head: method, Host and Origin, bearer token, path, timeout. Returns the
// refusal, or none with `head` filled.
boost::optional<DispatchResponse> CheckHead(Shared const& shared, Core::Caller const& caller,
                                            http::request<http::string_body> const& request,
                                            Head* head);

// The locale of a call whose request named these languages; its time zone is UTC.
std::shared_ptr<L10n::LocaleSpec const> LocaleOf(std::vector<std::string> const& languages);

// "unix uid=1000 pid=42" or "tcp 127.0.0.1:5555".
std::string PeerText(Core::Caller const& caller);
// Who is at the other end of a connected socket.
Core::Caller CallerOf(Socket& socket, std::string const& local_address);

// Ways of the two kinds of stream.
void CancelIo(Socket& socket);
void CancelIo(MemoryStream& stream);
void CloseStream(Socket& socket);
void CloseStream(MemoryStream& stream);
// Calls `gone` when the peer closes the connection while a call runs; a socket only.
template <typename Done>
void WaitForPeerGone(Socket& socket, Done&& done);
template <typename Done>
void WaitForPeerGone(MemoryStream& /*stream*/, Done&& /*done*/) {}
// What a readable socket shows during a call: its end (or a failure), nothing after all, or
// the next request.
enum class PeerState { kGone, kQuiet, kSending };
PeerState StateOfPeer(Socket& socket);
inline PeerState StateOfPeer(MemoryStream& /*stream*/) { return PeerState::kQuiet; }

template <typename Done>
void WaitForPeerGone(Socket& socket, Done&& done) {
  socket.async_wait(Socket::wait_read, std::forward<Done>(done));
}

}  // namespace Ormi::Transport::Detail
