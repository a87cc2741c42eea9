// The facts of the HTTP wire in one place: media types, header names and the status each
// standard error is answered with (the errors' names are Data::ErrorName, the transport's
// message ids MessageId, with their texts in the core catalogue). docs/wire.md describes them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <boost/utility/string_view.hpp>

#include "ormi/message.h"

namespace Ormi::Transport {

// The lossless canonical JSON form of values (ormi/data/json.h); what the C++ channel sends.
inline constexpr char kCanonicalMediaType[] = "application/vnd.ormi.value+json";
// The plain JSON mapping driven by the operation's definitions.
inline constexpr char kPlainMediaType[] = "application/json";

// The call's remaining time in milliseconds, sent by the client.
inline constexpr char kTimeoutHeader[] = "Ormi-Timeout";
// The caller's preferred languages go in the standard Accept-Language header ("de-DE, en;q=0.9").

// Seconds a client should wait before trying again after a service-unavailable answer.
inline constexpr unsigned kRetryAfterSeconds = 1;

// The HTTP status an error of that name is answered with: invalid_argument 400,
// unauthenticated 401, not_found 404, already_exists and not_allowed_in_current_state 409,
// service_unavailable 503, timed_out 504; error, internal_server_error and any other name 500.
unsigned StatusForError(boost::string_view error_name);

// The languages of an Accept-Language header, most preferred first, in the catalogues' form
// ("de_DE"): ordered by their weight, those of weight 0, "*" and malformed entries left out,
// at most 16.
std::vector<std::string> LanguagesOf(boost::string_view accept_language);
// The Accept-Language header naming `languages` ("de_DE", "en") in that order of preference;
// "C" and "POSIX", which name no language, are left out.
std::string AcceptLanguage(std::vector<std::string> const& languages);

// Text of a request quoted in a message: printable ASCII as it is, every other byte as
// "\xHH", so that an answer's error value is valid UTF-8 whatever the request held.
std::string Quoted(boost::string_view text);

}  // namespace Ormi::Transport
