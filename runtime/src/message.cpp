// The brace formatter, message building, the format error category and the core catalogue
// of default message texts.
#include "ormi/message.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace Ormi {
namespace {

constexpr std::size_t kMaxSelectorDigits = 20;
constexpr unsigned kMaxWidth = 4096;  // bounds the padding a spec may ask for

// A spec of flags, width and precision; anything else is not a valid spec.
struct PrintfSpec {
  std::string flags;
  unsigned width = 0;
  bool hasPrecision = false;
  unsigned precision = 0;
};

// Reads decimal digits at `*pos`, saturating at kMaxWidth.
unsigned ReadBounded(boost::string_view text, std::size_t* pos) {
  unsigned value = 0;
  for (; *pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9'; ++*pos) {
    value = value * 10 + static_cast<unsigned>(text[*pos] - '0');
    if (value > kMaxWidth) value = kMaxWidth;
  }
  return value;
}

// Parses `[-+ #0]*[0-9]*(\.[0-9]*)?`; false for any other spec.
bool ParseSpec(boost::string_view text, PrintfSpec* spec) {
  std::size_t pos = 0;
  for (;
       pos < text.size() && boost::string_view("-+ #0").find(text[pos]) != boost::string_view::npos;
       ++pos) {
    if (spec->flags.find(text[pos]) == std::string::npos) spec->flags += text[pos];
  }
  spec->width = ReadBounded(text, &pos);
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    spec->hasPrecision = true;
    spec->precision = ReadBounded(text, &pos);
  }
  return pos == text.size();
}

// The selector's leading digits (at most 20) as a number; 0 when there are none.
std::size_t ReadSelector(boost::string_view selector) {
  std::size_t value = 0;
  std::size_t const limit = std::min(selector.size(), kMaxSelectorDigits);
  for (std::size_t i = 0; i < limit && selector[i] >= '0' && selector[i] <= '9'; ++i) {
    auto const digit = static_cast<std::size_t>(selector[i] - '0');
    value = value > (SIZE_MAX - digit) / 10 ? SIZE_MAX : value * 10 + digit;
  }
  return value;
}

}  // namespace

char const* FormatCategory::name() const noexcept { return "Ormi Format Error"; }

std::string FormatCategory::message(int code) const {
  switch (code) {
    case 1:
      return "Named argument not found.";
    case 2:
      return "Empty Named specifier found.";
    case 3:
      return "More specifiers than expected.";
    default:
      return "format error";
  }
}

std::error_category const& GetFormatCategory() {
  static FormatCategory const category;
  return category;
}

namespace Detail {

void formatter<std::string, false>::call(std::ostream& out, boost::string_view spec,
                                         void const* argument) {
  std::string const& text = *static_cast<std::string const*>(argument);
  PrintfSpec parsed;
  if (spec.empty() || spec == "s" || !ParseSpec(spec, &parsed)) {
    out << text;
    return;
  }
  // At most 5 flags, 4 digits of width and 4 of precision: the format always fits.
  char format[32];
  std::snprintf(format, sizeof format, parsed.hasPrecision ? "%%%s%u.%us" : "%%%s%us",
                parsed.flags.c_str(), parsed.width, parsed.precision);
  int const length = std::snprintf(nullptr, 0, format, text.c_str());
  if (length < 0) {
    out << text;
    return;
  }
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  std::snprintf(buffer.data(), buffer.size(), format, text.c_str());
  out.write(buffer.data(), length);
}

std::string Format(boost::string_view text, std::string const* arguments, std::size_t count) {
  std::ostringstream out;
  std::size_t handled = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t const brace = text.find_first_of("{}", pos);
    out << text.substr(pos,
                       brace == boost::string_view::npos ? boost::string_view::npos : brace - pos);
    if (brace == boost::string_view::npos) break;
    if (brace + 1 < text.size() && text[brace + 1] == text[brace]) {
      out << text[brace];
      pos = brace + 2;
      continue;
    }
    std::size_t const close = text.find('}', brace + 1);
    if (close == boost::string_view::npos) break;  // an unterminated specifier ends the text
    boost::string_view const inside = text.substr(brace + 1, close - brace - 1);
    std::size_t const colon = inside.find(':');
    boost::string_view const selector = inside.substr(0, colon);
    boost::string_view const spec =
        colon == boost::string_view::npos ? boost::string_view() : inside.substr(colon + 1);
    std::size_t const number = ReadSelector(selector);
    std::size_t const index = number > 0 ? number - 1 : handled;
    if (index >= count) break;
    formatter<std::string, false>::call(out, spec, &arguments[index]);
    ++handled;
    pos = close + 1;
  }
  return out.str();
}

}  // namespace Detail

BaseMessage BuildMessage(std::string const& id, std::string const& text,
                         std::string const* arguments, std::size_t count) {
  BaseMessage message{id, Detail::Format(text, arguments, count), {}};
  for (std::size_t i = 0; i < count; ++i) {
    message.args.push_back(Detail::Format("{1}", &arguments[i], 1));
  }
  return message;
}

std::string Message<CoreTag>::DefaultMessageForId(std::string const& id) {
  // Constant data: nothing is initialised at run time.
  static constexpr char const* kCatalogue[][2] = {
      {MessageId::kUnsetField, "Field {1} is not set."},
      {MessageId::kUnsetNonOptionalField, "A required value of type {1} is not set."},
      {MessageId::kInvalidType, "The value has a type that cannot be used here."},
      {MessageId::kBadCast1, "The text \"{1}\" cannot be read as the expected type."},
      {MessageId::kBadCast, "The text \"{1}\" cannot be read as a {2} value."},
      {MessageId::kValueTypeMismatch, "Expected a value of kind {1}, got {2}."},
      {MessageId::kFieldNotFound, "Field {1} not found in structure {2}."},
      {MessageId::kValidationFailed, "{1}"},
      {MessageId::kJsonTooLarge, "JSON input of {1} bytes exceeds the limit of {2} bytes."},
      {MessageId::kJsonMalformed, "Malformed JSON at {1}: {2}"},
      {MessageId::kJsonTooDeep, "JSON nesting at {1} exceeds the limit of {2} levels."},
      {MessageId::kJsonInvalid, "JSON at {1} is not a value: {2}"},
      {MessageId::kPlainJsonInvalid, "Plain JSON at {1}: {2}"},
      {MessageId::kPlainJsonUnwritable, "The value cannot be written as plain JSON at {1}: {2}"},
      {MessageId::kNativeErrorUnconvertible, "The reported error could not be converted."},
      {MessageId::kNotConnected, "The operation is not connected."},
      {MessageId::kErrorUndeclared, "The operation reported an undeclared error {1}."},
      {MessageId::kOutputInvalid, "The operation's output is not valid: {1}"},
      {MessageId::kServiceNotFound, "Service {1} is not registered."},
      {MessageId::kMethodNotFound, "Service {1} has no operation {2}."},
      {MessageId::kNoChannel, "The stub has no channel to send the call."},
      {MessageId::kResultEmpty, "The call's result carries neither an output nor an error."},
      // The HTTP transport.
      {MessageId::kAddressInvalid, "The address {1} is not valid: {2}"},
      {MessageId::kAddressInUse, "The socket {1} is in use by a running server."},
      {MessageId::kAddressNotLoopback,
       "The address {1} is not a loopback address; set {2} to listen on it."},
      {MessageId::kListenFailed, "Cannot listen on {1}: {2}"},
      {MessageId::kTokenFileFailed, "Cannot use the token file {1}: {2}"},
      {MessageId::kConnectFailed, "Cannot connect to {1}: {2}"},
      {MessageId::kConnectionLost, "The connection to {1} was lost: {2}"},
      {MessageId::kDeadlinePassed, "The call did not complete within its deadline of {1} ms."},
      {MessageId::kResponseInvalid, "The answer from {1} is not valid: {2}"},
      {MessageId::kResponseTooLarge,
       "The answer exceeds the limit of {1} bytes; raise it with {2}."},
      {MessageId::kRequestMalformed, "The request is not valid HTTP: {1}"},
      {MessageId::kHeaderTooLarge,
       "The request header exceeds the limit of {1} bytes; raise it with {2}."},
      {MessageId::kBodyTooLarge,
       "The request body exceeds the limit of {1} bytes; raise it with {2}."},
      {MessageId::kHeaderTimeout,
       "The request header did not arrive within {1} ms; raise the limit with {2}."},
      {MessageId::kBodyTimeout,
       "The request body did not arrive within {1} ms; raise the limit with {2}."},
      {MessageId::kLimitSetting, "Raise the limit with {1}."},
      {MessageId::kMethodNotAllowed, "The method {1} is not allowed; calls use POST."},
      {MessageId::kOperationsOfService, "The operations of {1} are: {2}."},
      {MessageId::kPathInvalid, "The path {1} does not name a service and an operation."},
      {MessageId::kMediaUnsupported, "The media type {1} is not supported; use one of: {2}."},
      {MessageId::kMediaMissing,
       "The request names no media type; send a Content-Type of one of: {1}."},
      {MessageId::kTimeoutInvalid, "The timeout {1} is not a number of milliseconds."},
      {MessageId::kCallsExhausted,
       "The server is already serving {1} calls; raise the limit with {2}."},
      {MessageId::kConnectionsExhausted,
       "The server already has {1} open connections; raise the limit with {2}."},
      {MessageId::kServerStopping, "The server is stopping."},
      {MessageId::kPeerRefused, "User {1} may not call this server; allow it with {2}."},
      {MessageId::kTokenMissing, "The request carries no bearer token."},
      {MessageId::kTokenInvalid, "The request's bearer token is not valid."},
      {MessageId::kHostRefused, "The host name {1} is not a loopback name."},
      {MessageId::kOriginRefused, "Requests from the origin {1} are not allowed."},
      {MessageId::kAnswerUnencodable, "The answer cannot be written as {1}: {2}"},
      {MessageId::kProviderFailed, "The operation failed unexpectedly: {1}"},
      {MessageId::kAcceptPaused,
       "Cannot accept connections on {1}: {2}; new connections are closed until it can again."},
      {MessageId::kAcceptResumed, "Accepting connections on {1} again."},
      {MessageId::kRegistryGone, "The services of this server are no longer available."},
      {MessageId::kDefinitionUnresolved,
       "Operation {2} of service {1} names structure {3}, whose definition is not available."},
  };
  for (auto const& entry : kCatalogue) {
    if (id == entry[0]) return entry[1];
  }
  return "Unknown message id.";
}

}  // namespace Ormi
