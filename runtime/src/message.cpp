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
      {"ormi.data.unset.field", "Field {1} is not set."},
      {"ormi.data.unset.non.optional.field", "A required value of type {1} is not set."},
      {"ormi.data.invalid.type", "The value has a type that cannot be used here."},
      {"ormi.data.bad.cast1", "The text \"{1}\" cannot be read as the expected type."},
      {"ormi.data.bad.cast", "The text \"{1}\" cannot be read as a {2} value."},
      {"ormi.data.value.type.mismatch", "Expected a value of kind {1}, got {2}."},
      {"ormi.data.field.not.found", "Field {1} not found in structure {2}."},
      {"ormi.data.validation.failed", "{1}"},
      {"ormi.data.json.too.large", "JSON input of {1} bytes exceeds the limit of {2} bytes."},
      {"ormi.data.json.malformed", "Malformed JSON at {1}: {2}"},
      {"ormi.data.json.too.deep", "JSON nesting at {1} exceeds the limit of {2} levels."},
      {"ormi.data.json.invalid", "JSON at {1} is not a value: {2}"},
      {"ormi.data.native.error.unconvertible", "The reported error could not be converted."},
      {"ormi.provider.method.signal.not.connected", "The operation is not connected."},
      {"ormi.provider.error.undeclared", "The operation reported an undeclared error {1}."},
      {"ormi.provider.output.invalid", "The operation's output is not valid: {1}"},
      {"ormi.connector.service.not.found", "Service {1} is not registered."},
      {"ormi.connector.method.not.found", "Service {1} has no operation {2}."},
      {"ormi.connector.no.channel", "The stub has no channel to send the call."},
      {"ormi.stub.result.empty", "The call's result carries neither an output nor an error."},
      // The HTTP transport (ormi/transport/wire.h keeps these ids).
      {"ormi.transport.address.invalid", "The address {1} is not valid: {2}"},
      {"ormi.transport.address.in.use", "The socket {1} is in use by a running server."},
      {"ormi.transport.address.not.loopback",
       "The address {1} is not a loopback address; set {2} to listen on it."},
      {"ormi.transport.listen.failed", "Cannot listen on {1}: {2}"},
      {"ormi.transport.token.file.failed", "Cannot use the token file {1}: {2}"},
      {"ormi.transport.connect.failed", "Cannot connect to {1}: {2}"},
      {"ormi.transport.connection.lost", "The connection to {1} was lost: {2}"},
      {"ormi.transport.deadline.passed",
       "The call did not complete within its deadline of {1} ms."},
      {"ormi.transport.response.invalid", "The answer from {1} is not valid: {2}"},
      {"ormi.transport.response.too.large",
       "The answer exceeds the limit of {1} bytes; raise it with {2}."},
      {"ormi.transport.request.malformed", "The request is not valid HTTP: {1}"},
      {"ormi.transport.header.too.large",
       "The request header exceeds the limit of {1} bytes; raise it with {2}."},
      {"ormi.transport.body.too.large",
       "The request body exceeds the limit of {1} bytes; raise it with {2}."},
      {"ormi.transport.header.timeout",
       "The request header did not arrive within {1} ms; raise the limit with {2}."},
      {"ormi.transport.body.timeout",
       "The request body did not arrive within {1} ms; raise the limit with {2}."},
      {"ormi.transport.method.not.allowed", "The method {1} is not allowed; calls use POST."},
      {"ormi.transport.path.invalid", "The path {1} does not name a service and an operation."},
      {"ormi.transport.media.unsupported", "The media type {1} is not supported; use one of: {2}."},
      {"ormi.transport.timeout.invalid", "The timeout {1} is not a number of milliseconds."},
      {"ormi.transport.calls.exhausted",
       "The server is already serving {1} calls; raise the limit with {2}."},
      {"ormi.transport.connections.exhausted",
       "The server already has {1} open connections; raise the limit with {2}."},
      {"ormi.transport.server.stopping", "The server is stopping."},
      {"ormi.transport.peer.refused", "User {1} may not call this server; allow it with {2}."},
      {"ormi.transport.token.missing", "The request carries no bearer token."},
      {"ormi.transport.token.invalid", "The request's bearer token is not valid."},
      {"ormi.transport.host.refused", "The host name {1} is not a loopback name."},
      {"ormi.transport.origin.refused", "Requests from the origin {1} are not allowed."},
      {"ormi.transport.answer.unencodable", "The answer cannot be written as {1}: {2}"},
  };
  for (auto const& entry : kCatalogue) {
    if (id == entry[0]) return entry[1];
  }
  return "Unknown message id.";
}

}  // namespace Ormi
