// The checks a connection applies to its peer and to each request head.
#include "session.h"

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "ormi/data/error_names.h"

namespace Ormi::Transport::Detail {
namespace {

boost::optional<DispatchResponse> Refusal(char const* error_name, BaseMessage message) {
  return Dispatcher::ErrorResponse(error_name, std::move(message));
}

// The host of a Host header value, without port and brackets.
std::string HostName(boost::string_view value) {
  if (!value.empty() && value.front() == '[') {
    return std::string(value.substr(1, value.find(']') - 1));
  }
  std::size_t const colon = value.find(':');
  return std::string(colon == boost::string_view::npos ? value : value.substr(0, colon));
}

// "localhost" or a loopback address literal.
bool IsLoopbackName(std::string const& host) {
  if (beast::iequals(host, "localhost")) return true;
  boost::system::error_code error;
  auto const address = asio::ip::make_address(host, error);
  return !error && address.is_loopback();
}

// Compares in time that does not depend on where the texts differ.
bool SameToken(boost::string_view given, std::string const& token) {
  if (given.size() != token.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < token.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ token[i]);
  }
  return difference == 0;
}

boost::optional<DispatchResponse> CheckToken(Shared const& shared, boost::string_view value) {
  constexpr boost::string_view kScheme = "Bearer ";
  if (value.empty())
    return Refusal(Data::ErrorName::kUnauthenticated, Message<CoreTag>(MessageId::kTokenMissing));
  if (value.size() < kScheme.size() || !beast::iequals(value.substr(0, kScheme.size()), kScheme) ||
      !SameToken(value.substr(kScheme.size()), shared.token)) {
    return Refusal(Data::ErrorName::kUnauthenticated, Message<CoreTag>(MessageId::kTokenInvalid));
  }
  return boost::none;
}

// Hex digit value, or -1.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes percent-escapes ("%24" for '$'); false on a broken escape.
bool PercentDecode(boost::string_view text, std::string* out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out->push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return false;
    int const high = HexValue(text[i + 1]);
    int const low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return false;
    out->push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return true;
}

// "/<service>/<operation>", an optional query ignored.
bool SplitPath(boost::string_view target, Head* head) {
  boost::string_view path = target.substr(0, target.find('?'));
  if (path.empty() || path.front() != '/') return false;
  path.remove_prefix(1);
  std::size_t const slash = path.find('/');
  if (slash == boost::string_view::npos) return false;
  std::string service;
  std::string operation;
  if (!PercentDecode(path.substr(0, slash), &service) ||
      !PercentDecode(path.substr(slash + 1), &operation) || service.empty() || operation.empty() ||
      service.find('/') != std::string::npos || operation.find('/') != std::string::npos) {
    return false;
  }
  head->service = std::move(service);
  head->operation = std::move(operation);
  return true;
}

// The call's time: the request's timeout header, at most the largest allowed, or the default.
bool ReadTimeout(ServerLimits const& limits, boost::string_view value, Milliseconds* timeout) {
  if (value.empty()) {
    *timeout = limits.call_timeout;
    return true;
  }
  if (value.size() > 12 || value.find_first_not_of("0123456789") != boost::string_view::npos) {
    return false;
  }
  Milliseconds const asked{std::strtoll(std::string(value).c_str(), nullptr, 10)};
  *timeout = std::min(asked, limits.max_call_timeout);
  return true;
}

boost::optional<DispatchResponse> CheckOrigin(Shared const& shared,
                                              http::request<http::string_body> const& request) {
  auto const origin = request.find(http::field::origin);
  if (origin == request.end()) return boost::none;
  auto const& allowed = shared.options.allowed_origins;
  if (std::find(allowed.begin(), allowed.end(), origin->value()) != allowed.end()) {
    return boost::none;
  }
  return Refusal(Data::ErrorName::kUnauthenticated,
                 Message<CoreTag>(MessageId::kOriginRefused, Quoted(origin->value())));
}

}  // namespace

Shared::Shared(ServerOptions server_options, std::shared_ptr<InProcess::Registry const> registry,
               std::shared_ptr<InProcess::Executor> run)
    : options(std::move(server_options)),
      executor(run ? std::move(run) : std::make_shared<InProcess::InlineExecutor>()),
      dispatcher(std::move(registry), executor,
                 Data::JsonLimits{options.limits.max_json_depth, options.limits.max_body_bytes},
                 options.localizer),
      token(options.token),
      own_uid(static_cast<std::int64_t>(::geteuid())) {}

void Shared::Add(std::shared_ptr<SessionBase> const& session) {
  std::lock_guard<std::mutex> const lock(mutex);
  sessions.remove_if([](std::weak_ptr<SessionBase> const& entry) { return entry.expired(); });
  sessions.push_back(session);
}

void Shared::Count(std::size_t Shared::*counter, int change) {
  {
    std::lock_guard<std::mutex> const lock(mutex);
    this->*counter = change > 0 ? this->*counter + 1 : this->*counter - 1;
  }
  changed.notify_all();
}

boost::optional<DispatchResponse> RefusalFor(Shared& shared, Core::Caller const& caller) {
  if (caller.transport == "unix" && caller.uid != shared.own_uid && caller.uid != 0) {
    auto const& allowed = shared.options.allow_uids;
    if (std::find(allowed.begin(), allowed.end(), caller.uid) == allowed.end()) {
      return Refusal(Data::ErrorName::kUnauthenticated,
                     Message<CoreTag>(MessageId::kPeerRefused, std::to_string(caller.uid),
                                      SettingName("allow_uids")));
    }
  }
  std::lock_guard<std::mutex> const lock(shared.mutex);
  if (shared.connections >= shared.options.limits.max_connections) {
    return Refusal(Data::ErrorName::kServiceUnavailable,
                   Message<CoreTag>(MessageId::kConnectionsExhausted,
                                    std::to_string(shared.options.limits.max_connections),
                                    SettingName("max_connections")));
  }
  return boost::none;
}

boost::optional<DispatchResponse> CheckHead(Shared const& shared, Core::Caller const& caller,
                                            http::request<http::string_body> const& request,
                                            Head* head) {
  if (request.method() != http::verb::post) {
    return Refusal(Data::ErrorName::kInvalidArgument,
                   Message<CoreTag>(MessageId::kMethodNotAllowed, Quoted(request.method_string())));
  }
  bool const tcp = caller.transport == "tcp";
  if (tcp && !IsLoopbackName(HostName(request[http::field::host]))) {
    return Refusal(Data::ErrorName::kUnauthenticated,
                   Message<CoreTag>(MessageId::kHostRefused, Quoted(request[http::field::host])));
  }
  if (auto refusal = CheckOrigin(shared, request)) return refusal;
  if (tcp && shared.options.require_token) {
    if (auto refusal = CheckToken(shared, request[http::field::authorization])) return refusal;
    head->token = true;
  }
  if (!SplitPath(request.target(), head)) {
    return Refusal(Data::ErrorName::kNotFound,
                   Message<CoreTag>(MessageId::kPathInvalid, Quoted(request.target())));
  }
  if (!ReadTimeout(shared.options.limits, request[kTimeoutHeader], &head->timeout)) {
    return Refusal(Data::ErrorName::kInvalidArgument,
                   Message<CoreTag>(MessageId::kTimeoutInvalid, Quoted(request[kTimeoutHeader])));
  }
  head->languages = LanguagesOf(request[http::field::accept_language]);
  return boost::none;
}

std::shared_ptr<L10n::LocaleSpec const> LocaleOf(std::vector<std::string> const& languages) {
  std::vector<L10n::LanguagePreference> preferences;
  preferences.reserve(languages.size());
  for (auto const& language : languages) {
    preferences.push_back(L10n::LocaleHelpers::MakeLanguagePreference(language));
  }
  return std::make_shared<L10n::LocaleSpec const>(std::move(preferences),
                                                  L10n::TimezoneSpec("Etc/UTC"));
}

std::string PeerText(Core::Caller const& caller) {
  if (caller.transport == "unix") {
    return "unix uid=" + std::to_string(caller.uid) + " pid=" + std::to_string(caller.pid);
  }
  return caller.transport + " " + caller.address;
}

Core::Caller CallerOf(Socket& socket, std::string const& local_address) {
  Core::Caller caller;
  int const fd = socket.native_handle();
  boost::system::error_code error;
  auto const local = socket.local_endpoint(error);
  if (!error && local.protocol().family() == AF_UNIX) {
    caller.transport = "unix";
    caller.address = local_address;
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0) {
      caller.uid = credentials.uid;
      caller.gid = credentials.gid;
      caller.pid = credentials.pid;
    }
    return caller;
  }
  caller.transport = "tcp";
  auto const remote = socket.remote_endpoint(error);
  if (!error) {
    asio::ip::tcp::endpoint endpoint;
    std::memcpy(endpoint.data(), remote.data(),
                std::min<std::size_t>(remote.size(), endpoint.capacity()));
    endpoint.resize(remote.size());
    std::ostringstream text;
    text << endpoint;
    caller.address = text.str();
  }
  return caller;
}

void CancelIo(Socket& socket) {
  boost::system::error_code ignored;
  socket.cancel(ignored);
}

void CancelIo(MemoryStream& /*stream*/) {}

void CloseStream(Socket& socket) {
  boost::system::error_code ignored;
  socket.shutdown(Socket::shutdown_both, ignored);
  socket.close(ignored);
}

void CloseStream(MemoryStream& stream) { stream.Close(); }

PeerState StateOfPeer(Socket& socket) {
  char byte = 0;
  ssize_t const received = ::recv(socket.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (received > 0) return PeerState::kSending;
  if (received < 0 && (errno == EAGAIN || errno == EINTR)) {
    return PeerState::kQuiet;
  }
  return PeerState::kGone;
}

}  // namespace Ormi::Transport::Detail
