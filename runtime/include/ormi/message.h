// Messages: an id, a text in the default language and the arguments as strings; the
// core catalogue of default texts and the brace formatter that fills them in.
#pragma once

#include <list>
#include <ostream>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

#include <boost/utility/string_view.hpp>

namespace Ormi {

struct BaseMessage {
  std::string id;
  std::string defaultMessage;  // already formatted
  std::list<std::string> args;

  friend bool operator==(BaseMessage const& a, BaseMessage const& b) {
    return a.id == b.id && a.defaultMessage == b.defaultMessage && a.args == b.args;
  }
};

// The error category of the formatter: codes 1 "Named argument not found.",
// 2 "Empty Named specifier found.", 3 "More specifiers than expected.".
class FormatCategory final : public std::error_category {
 public:
  char const* name() const noexcept override;
  std::string message(int code) const override;
};

std::error_category const& GetFormatCategory();

namespace Detail {

template <typename T, bool IsNumeric>
struct formatter;

// Writes one string argument under a format spec: "" or "s" writes it unchanged; a spec
// of flags, width and precision ([-+ #0]*[0-9]*(\.[0-9]*)?) pads or cuts it like printf's
// "%<spec>s"; any other spec is treated as the empty spec.
template <>
struct formatter<std::string, false> {
  static void call(std::ostream& out, boost::string_view spec, void const* argument);
};

// Formats `text` with string arguments: "{n}" or "{n:spec}" selects argument n (from 1),
// "{}" the next one; "{{" and "}}" write one brace. A specifier beyond the arguments ends
// the formatting there.
std::string Format(boost::string_view text, std::string const* arguments, std::size_t count);

}  // namespace Detail

BaseMessage BuildMessage(std::string const& id, std::string const& text,
                         std::string const* arguments, std::size_t count);

// Builds a message: the text formatted with the arguments; each argument's own text in
// the argument list.
template <typename... Args>
BaseMessage MakeMessage(std::string const& id, std::string const& text, Args&&... arguments) {
  // One extra element keeps the array non-empty when there are no arguments.
  std::string const strings[] = {std::string(std::forward<Args>(arguments))..., std::string()};
  return BuildMessage(id, text, strings, sizeof...(Args));
}

// Ids of the messages of the core catalogue, each with its default text there.
struct MessageId {
  static constexpr char kUnsetField[] = "ormi.data.unset.field";
  static constexpr char kUnsetNonOptionalField[] = "ormi.data.unset.non.optional.field";
  static constexpr char kInvalidType[] = "ormi.data.invalid.type";
  static constexpr char kBadCast1[] = "ormi.data.bad.cast1";
  static constexpr char kBadCast[] = "ormi.data.bad.cast";
  static constexpr char kValueTypeMismatch[] = "ormi.data.value.type.mismatch";
  static constexpr char kFieldNotFound[] = "ormi.data.field.not.found";
  static constexpr char kValidationFailed[] = "ormi.data.validation.failed";
  static constexpr char kJsonTooLarge[] = "ormi.data.json.too.large";
  static constexpr char kJsonMalformed[] = "ormi.data.json.malformed";
  static constexpr char kJsonTooDeep[] = "ormi.data.json.too.deep";
  static constexpr char kJsonInvalid[] = "ormi.data.json.invalid";
  static constexpr char kPlainJsonInvalid[] = "ormi.data.plain.json.invalid";
  static constexpr char kPlainJsonUnwritable[] = "ormi.data.plain.json.unwritable";
  static constexpr char kNativeErrorUnconvertible[] = "ormi.data.native.error.unconvertible";
  static constexpr char kNotConnected[] = "ormi.provider.method.signal.not.connected";
  static constexpr char kErrorUndeclared[] = "ormi.provider.error.undeclared";
  static constexpr char kOutputInvalid[] = "ormi.provider.output.invalid";
  static constexpr char kServiceNotFound[] = "ormi.connector.service.not.found";
  static constexpr char kMethodNotFound[] = "ormi.connector.method.not.found";
  static constexpr char kNoChannel[] = "ormi.connector.no.channel";
  static constexpr char kResultEmpty[] = "ormi.stub.result.empty";
  // The HTTP transport: starting a server or a channel, the client and the server side of a
  // call.
  static constexpr char kAddressInvalid[] = "ormi.transport.address.invalid";
  static constexpr char kAddressInUse[] = "ormi.transport.address.in.use";
  static constexpr char kAddressNotLoopback[] = "ormi.transport.address.not.loopback";
  static constexpr char kListenFailed[] = "ormi.transport.listen.failed";
  static constexpr char kTokenFileFailed[] = "ormi.transport.token.file.failed";
  static constexpr char kConnectFailed[] = "ormi.transport.connect.failed";
  static constexpr char kConnectionLost[] = "ormi.transport.connection.lost";
  static constexpr char kDeadlinePassed[] = "ormi.transport.deadline.passed";
  static constexpr char kResponseInvalid[] = "ormi.transport.response.invalid";
  static constexpr char kResponseTooLarge[] = "ormi.transport.response.too.large";
  static constexpr char kRequestMalformed[] = "ormi.transport.request.malformed";
  static constexpr char kHeaderTooLarge[] = "ormi.transport.header.too.large";
  static constexpr char kBodyTooLarge[] = "ormi.transport.body.too.large";
  static constexpr char kHeaderTimeout[] = "ormi.transport.header.timeout";
  static constexpr char kBodyTimeout[] = "ormi.transport.body.timeout";
  static constexpr char kLimitSetting[] = "ormi.transport.limit.setting";
  static constexpr char kMethodNotAllowed[] = "ormi.transport.method.not.allowed";
  static constexpr char kPathInvalid[] = "ormi.transport.path.invalid";
  static constexpr char kOperationsOfService[] = "ormi.transport.operations.of.service";
  static constexpr char kMediaUnsupported[] = "ormi.transport.media.unsupported";
  static constexpr char kMediaMissing[] = "ormi.transport.media.missing";
  static constexpr char kTimeoutInvalid[] = "ormi.transport.timeout.invalid";
  static constexpr char kCallsExhausted[] = "ormi.transport.calls.exhausted";
  static constexpr char kConnectionsExhausted[] = "ormi.transport.connections.exhausted";
  static constexpr char kServerStopping[] = "ormi.transport.server.stopping";
  static constexpr char kPeerRefused[] = "ormi.transport.peer.refused";
  static constexpr char kTokenMissing[] = "ormi.transport.token.missing";
  static constexpr char kTokenInvalid[] = "ormi.transport.token.invalid";
  static constexpr char kHostRefused[] = "ormi.transport.host.refused";
  static constexpr char kOriginRefused[] = "ormi.transport.origin.refused";
  static constexpr char kAnswerUnencodable[] = "ormi.transport.answer.unencodable";
  static constexpr char kProviderFailed[] = "ormi.transport.provider.failed";
  static constexpr char kAcceptPaused[] = "ormi.transport.accept.paused";
  static constexpr char kAcceptResumed[] = "ormi.transport.accept.resumed";
  // The services every server can offer.
  static constexpr char kRegistryGone[] = "ormi.services.registry.gone";
  static constexpr char kDefinitionUnresolved[] = "ormi.services.definition.unresolved";
};

struct CoreTag {};

template <typename Tag>
class Message;

// A message of the core catalogue.
template <>
class Message<CoreTag> : public BaseMessage {
 public:
  // The id with its default text, unformatted, and no arguments.
  explicit Message(std::string const& id) : BaseMessage{id, DefaultMessageForId(id), {}} {}
  // The id with its default text formatted with the arguments.
  template <typename Arg, typename... Args>
  Message(std::string const& id, Arg&& argument, Args&&... more)
      : BaseMessage(MakeMessage(id, DefaultMessageForId(id), std::forward<Arg>(argument),
                                std::forward<Args>(more)...)) {}

  // The default text of `id`; an id the catalogue does not know gets one fixed text.
  static std::string DefaultMessageForId(std::string const& id);
};

}  // namespace Ormi
