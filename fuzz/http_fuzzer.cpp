// The server's request path from raw bytes: one connection's bytes go through the HTTP parser,
// the checks and limits, body decoding and dispatch to every API service, over an in-memory
// stream. The first byte picks the peer: a unix peer of the server's own user, a TCP peer, or
// a unix peer of another user. Properties:
//  - everything the server writes is a sequence of complete HTTP responses;
//  - every status is one the status table gives (or 100 Continue);
//  - every answer other than 200 and 100 carries an error value in the canonical form.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <list>
#include <memory>
#include <string>

#include <boost/beast/http.hpp>

#include "api_types.h"
#include "fuzz_input.h"
#include "ormi/data/json.h"
#include "ormi/in_process/connector.h"
#include "ormi/transport/server.h"

namespace {

using Hyrn::Fuzz::Require;
namespace http = boost::beast::http;

// Answers every operation at once: a task with an identifier, any other with its result
// type's default value (which a structure result cannot convert: an internal error).
struct DefaultAnswers {
  template <typename Method>
  void Handle(typename Method::Input const& /*input*/,
              std::shared_ptr<Ormi::Core::AsyncActivation> const& /*activation*/,
              typename Method::ResultType const& result) {
    if constexpr (Method::kTask) {
      result.SetTaskId("task-1");
    } else {
      result.SetResult(typename Method::ValueType{});
    }
  }
};

template <typename... Services>
std::shared_ptr<Ormi::InProcess::Registry> BindAll(Ormi::Data::TypeList<Services...> /*unused*/) {
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  auto handler = std::make_shared<DefaultAnswers>();
  bool const bound =
      (registry->Register(Services::AsyncServiceBinder::BindImplementation(
           std::make_shared<typename Services::template ForwardingImplementation<DefaultAnswers>>(
               handler))) &&
       ...);
  Require(bound, "every service must register");
  return registry;
}

Ormi::Transport::Server& TheServer() {
  static Ormi::Transport::Server server = [] {
    Ormi::Transport::ServerOptions options;
    options.token = "fuzz-token";
    options.limits.max_body_bytes = std::size_t{64} * 1024;
    options.limits.max_json_depth = 64;
    return Ormi::Transport::Server(BindAll(Hyrn::Fuzz::ApiServices{}),
                                   std::make_shared<Ormi::InProcess::InlineExecutor>(), options);
  }();
  return server;
}

Ormi::Core::Caller Peer(std::uint8_t choice) {
  Ormi::Core::Caller caller;
  caller.transport = choice % 3 == 1 ? "tcp" : "unix";
  caller.address = choice % 3 == 1 ? "127.0.0.1:40000" : "/run/fuzz.sock";
  caller.uid = choice % 3 == 2 ? 65534 : static_cast<std::int64_t>(::geteuid());
  return caller;
}

bool KnownStatus(unsigned status) {
  static constexpr unsigned kKnown[] = {100, 200, 400, 401, 404, 409, 500, 503, 504};
  return std::find(std::begin(kKnown), std::end(kKnown), status) != std::end(kKnown);
}

void CheckAnswers(std::string const& written) {
  std::size_t offset = 0;
  while (offset < written.size()) {
    http::response_parser<http::string_body> parser;
    parser.eager(true);
    parser.body_limit(boost::none);
    boost::beast::error_code error;
    offset +=
        parser.put(boost::asio::buffer(written.data() + offset, written.size() - offset), error);
    Require(!error && parser.is_done(), "the server writes complete HTTP responses",
            [&] { return written.substr(offset, 200); });
    auto const& response = parser.get();
    Require(KnownStatus(response.result_int()), "a status from the table",
            [&] { return std::to_string(response.result_int()); });
    if (response.result_int() == 200 || response.result_int() == 100) continue;
    Ormi::Data::ValuePtr value;
    std::list<Ormi::BaseMessage> messages;
    Require(Ormi::Data::FromJson(response.body(), &value, messages) &&
                value->kind() == Ormi::Data::ValueKind::kError,
            "an error answer carries an error value", [&] { return response.body(); });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size == 0) return 0;
  std::string const bytes(reinterpret_cast<char const*>(data) + 1, size - 1);
  CheckAnswers(TheServer().ServeBytes(bytes, Peer(data[0])));
  return 0;
}
