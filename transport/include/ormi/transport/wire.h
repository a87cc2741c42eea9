// The facts of the HTTP wire in one place: media types, header names, the names of the
// standard errors, the status each of them is answered with, and the message ids of the
// transport (their default texts are in the core catalogue). docs/wire.md describes them.
#pragma once

#include <string>
#include <utility>

#include <boost/utility/string_view.hpp>

#include "ormi/message.h"

namespace Ormi::Transport {

// The lossless canonical JSON form of values (ormi/data/json.h); what the C++ channel sends.
inline constexpr char kCanonicalMediaType[] = "application/vnd.ormi.value+json";
// The plain JSON mapping driven by the operation's definitions.
inline constexpr char kPlainMediaType[] = "application/json";

// The call's remaining time in milliseconds, sent by the client.
inline constexpr char kTimeoutHeader[] = "Ormi-Timeout";
// Seconds a client should wait before trying again after a service-unavailable answer.
inline constexpr unsigned kRetryAfterSeconds = 1;

namespace ErrorNames {
inline constexpr char kError[] = "com.norval.ormi.std.errors.error";
inline constexpr char kAlreadyExists[] = "com.norval.ormi.std.errors.already_exists";
inline constexpr char kInternalServerError[] = "com.norval.ormi.std.errors.internal_server_error";
inline constexpr char kInvalidArgument[] = "com.norval.ormi.std.errors.invalid_argument";
inline constexpr char kNotAllowedInCurrentState[] =
    "com.norval.ormi.std.errors.not_allowed_in_current_state";
inline constexpr char kNotFound[] = "com.norval.ormi.std.errors.not_found";
inline constexpr char kServiceUnavailable[] = "com.norval.ormi.std.errors.service_unavailable";
inline constexpr char kTimedOut[] = "com.norval.ormi.std.errors.timed_out";
inline constexpr char kUnauthenticated[] = "com.norval.ormi.std.errors.unauthenticated";
}  // namespace ErrorNames

// The HTTP status an error of that name is answered with: invalid_argument 400,
// unauthenticated 401, not_found 404, already_exists and not_allowed_in_current_state 409,
// service_unavailable 503, timed_out 504; error, internal_server_error and any other name 500.
unsigned StatusForError(boost::string_view error_name);

namespace MessageIds {
// Starting a server or a channel.
inline constexpr char kAddressInvalid[] = "ormi.transport.address.invalid";
inline constexpr char kAddressInUse[] = "ormi.transport.address.in.use";
inline constexpr char kAddressNotLoopback[] = "ormi.transport.address.not.loopback";
inline constexpr char kListenFailed[] = "ormi.transport.listen.failed";
inline constexpr char kTokenFileFailed[] = "ormi.transport.token.file.failed";
// The client side of a call.
inline constexpr char kConnectFailed[] = "ormi.transport.connect.failed";
inline constexpr char kConnectionLost[] = "ormi.transport.connection.lost";
inline constexpr char kDeadlinePassed[] = "ormi.transport.deadline.passed";
inline constexpr char kResponseInvalid[] = "ormi.transport.response.invalid";
inline constexpr char kResponseTooLarge[] = "ormi.transport.response.too.large";
// The server side of a call.
inline constexpr char kRequestMalformed[] = "ormi.transport.request.malformed";
inline constexpr char kHeaderTooLarge[] = "ormi.transport.header.too.large";
inline constexpr char kBodyTooLarge[] = "ormi.transport.body.too.large";
inline constexpr char kHeaderTimeout[] = "ormi.transport.header.timeout";
inline constexpr char kBodyTimeout[] = "ormi.transport.body.timeout";
inline constexpr char kMethodNotAllowed[] = "ormi.transport.method.not.allowed";
inline constexpr char kPathInvalid[] = "ormi.transport.path.invalid";
inline constexpr char kMediaUnsupported[] = "ormi.transport.media.unsupported";
inline constexpr char kTimeoutInvalid[] = "ormi.transport.timeout.invalid";
inline constexpr char kCallsExhausted[] = "ormi.transport.calls.exhausted";
inline constexpr char kConnectionsExhausted[] = "ormi.transport.connections.exhausted";
inline constexpr char kServerStopping[] = "ormi.transport.server.stopping";
inline constexpr char kPeerRefused[] = "ormi.transport.peer.refused";
inline constexpr char kTokenMissing[] = "ormi.transport.token.missing";
inline constexpr char kTokenInvalid[] = "ormi.transport.token.invalid";
inline constexpr char kHostRefused[] = "ormi.transport.host.refused";
inline constexpr char kOriginRefused[] = "ormi.transport.origin.refused";
inline constexpr char kAnswerUnencodable[] = "ormi.transport.answer.unencodable";
// Routing, shared with the in-process connector.
inline constexpr char kServiceNotFound[] = "ormi.connector.service.not.found";
inline constexpr char kMethodNotFound[] = "ormi.connector.method.not.found";
}  // namespace MessageIds

// Text of a request quoted in a message: printable ASCII as it is, every other byte as
// "\xHH", so that an answer's error value is valid UTF-8 whatever the request held.
std::string Quoted(boost::string_view text);

// A message of the core catalogue with its arguments filled in.
template <typename... Args>
BaseMessage CatalogueMessage(char const* id, Args&&... arguments) {
  return MakeMessage(id, Message<CoreTag>::DefaultMessageForId(id),
                     std::forward<Args>(arguments)...);
}

}  // namespace Ormi::Transport
