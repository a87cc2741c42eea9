// The settings of a server and of a client channel, with their defaults (docs/wire.md lists
// them with the daemon's options that set them).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ormi/in_process/connector.h"
#include "ormi/l10n/localizer.h"
#include "ormi/message.h"
#include "ormi/transport/address.h"

namespace Ormi::Transport {

using Milliseconds = std::chrono::milliseconds;

// Bounds on what one peer may make a server do. Each is named in the message of the refusal
// it causes, so that whoever meets it knows which setting raises it.
struct ServerLimits {
  std::size_t max_header_bytes = std::size_t{8} * 1024;
  std::size_t max_body_bytes = std::size_t{16} * 1024 * 1024;
  std::size_t max_json_depth = 512;
  std::size_t max_connections = 256;
  std::size_t max_calls_in_flight = 64;
  Milliseconds header_timeout{10'000};     // from the first byte of a request to its header's end
  Milliseconds body_timeout{30'000};       // from the header's end to the body's end
  Milliseconds idle_timeout{60'000};       // a kept-alive connection without a request
  Milliseconds call_timeout{30'000};       // a call whose request names no timeout
  Milliseconds max_call_timeout{300'000};  // the most a request may ask for
  Milliseconds drain_timeout{10'000};      // how long Stop lets calls in flight finish
};

// One answered request, for a call log.
struct CallRecord {
  std::chrono::system_clock::time_point time;  // when the request was read
  std::string peer;                            // "unix uid=1000 pid=42", "tcp 127.0.0.1:5123"
  std::string service;
  std::string operation;
  unsigned status = 0;
  Milliseconds duration{0};
};

struct ServerOptions {
  std::vector<Address> listen;
  std::size_t io_threads = 2;
  ServerLimits limits;
  // Unix sockets: users who may call besides the server's own user and root.
  std::vector<std::int64_t> allow_uids;
  // TCP: listen on addresses other than loopback ones.
  bool allow_remote = false;
  // TCP: every request must carry "Authorization: Bearer <token>".
  bool require_token = true;
  // The token; when empty and a TCP address is served, a random one is made at Start.
  std::string token;
  // When set, Start writes the token to this file, readable by the owner only.
  std::string token_file;
  // Values of the Origin header that are accepted; a request with any other is refused.
  std::vector<std::string> allowed_origins;
  // Translations of messages: error answers are in the languages a request names in its
  // Accept-Language header, as far as this has templates for them; null: the default texts.
  std::shared_ptr<L10n::Localizer> localizer;
  // Called once per answered request, on an I/O thread; must not block.
  std::function<void(CallRecord const&)> call_log;
  // Called with what the server reports about itself rather than about a call (accepting
  // paused for lack of descriptors, and resumed), on an I/O thread; must not block.
  std::function<void(BaseMessage const&)> event_log;
};

struct ClientOptions {
  Milliseconds default_timeout{30'000};  // for calls whose activation has no deadline
  // Kept-alive connections to the address: a call waits for one when all carry calls. 32
  // lets as many callers call at once; a server takes 256 connections by default.
  std::size_t max_connections = 32;
  std::size_t io_threads = 1;
  std::size_t max_response_bytes = std::size_t{16} * 1024 * 1024;
  std::size_t max_json_depth = 512;
  Milliseconds idle_timeout{30'000};  // an unused connection is closed after this
  std::string token;                  // sent as a bearer token when not empty
  std::string token_file;             // read at construction when `token` is empty
  // Languages the answers' messages should be in ("de_DE", "en"), most preferred first; sent
  // with calls whose activation has no locale.
  std::vector<std::string> languages;
  // Runs the decoding of answers and the caller's result functions; null: the I/O thread,
  // so result functions must then not block.
  std::shared_ptr<InProcess::Executor> callback_executor;
};

// How the message of a refusal names a setting: "max_body_bytes (--max-body-bytes)".
std::string SettingName(std::string const& member);

}  // namespace Ormi::Transport
