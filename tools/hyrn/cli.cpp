#include "hyrn/cli.h"

#include <fstream>
#include <functional>
#include <future>
#include <istream>
#include <iterator>
#include <list>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

#include "ormi/data/error_names.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/transport/address.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/wire.h"

namespace Hyrn {
namespace {

namespace json = boost::json;
using Ormi::Transport::Address;
using Ormi::Transport::RawAnswer;

// What every command shares: where to call, for how long, and how to print errors.
struct Context {
  explicit Context(Streams const& io) : streams(io) {}
  Streams const& streams;
  std::string connect = Address::DaemonDefault().ToString();
  std::int64_t timeout_ms = 30'000;
  std::string token_file;
  bool json_errors = false;
};

// A command: its subcommand, whose options CLI11 parses into the command's own state, and
// what runs when it is the one chosen.
struct Command {
  CLI::App* subcommand;
  std::function<int(Context&)> run;
};

// JSON with two spaces per level; text that is no JSON as it is.
void PrintPretty(std::string const& text, std::ostream& out) {
  json::parse_options options;
  options.max_depth = 4096;
  boost::system::error_code error;
  json::value const value = json::parse(text, error, {}, options);
  if (error) {
    out << text << "\n";
    return;
  }
  struct Printer {
    std::ostream& out;
    void Print(json::value const& v, int indent) {
      std::string const pad(static_cast<std::size_t>(indent + 2), ' ');
      if (v.is_object() && !v.get_object().empty()) {
        out << "{";
        char const* separator = "\n";
        for (auto const& member : v.get_object()) {
          out << separator << pad << json::serialize(json::string(member.key())) << ": ";
          Print(member.value(), indent + 2);
          separator = ",\n";
        }
        out << "\n" << std::string(static_cast<std::size_t>(indent), ' ') << "}";
      } else if (v.is_array() && !v.get_array().empty()) {
        out << "[";
        char const* separator = "\n";
        for (auto const& element : v.get_array()) {
          out << separator << pad;
          Print(element, indent + 2);
          separator = ",\n";
        }
        out << "\n" << std::string(static_cast<std::size_t>(indent), ' ') << "]";
      } else {
        out << json::serialize(v);
      }
    }
  };
  Printer{out}.Print(value, 0);
  out << "\n";
}

// One line: "hyrn: <error name>: <message>; <message>", or the error value as JSON.
ExitCode ReportError(Ormi::Data::ErrorValue const& error, Context const& context) {
  if (context.json_errors) {
    PrintPretty(Ormi::Data::ToJson(error), context.streams.err);
  } else {
    context.streams.err << "hyrn: " << error.name();
    char const* separator = ": ";
    for (auto const& message : error.messages()) {
      context.streams.err << separator << message.defaultMessage;
      separator = "; ";
    }
    context.streams.err << "\n";
  }
  return ExitCodeForError(error.name());
}

// Prints an answer: the output on stdout, an error on stderr; returns the exit code.
int Report(RawAnswer const& answer, Context const& context) {
  if (answer.failure) return ReportError(*answer.failure, context);
  if (answer.status == 200) {
    PrintPretty(answer.body, context.streams.out);
    return kSuccess;
  }
  Ormi::Data::ValuePtr value;
  std::list<Ormi::BaseMessage> messages;
  if (Ormi::Data::FromJson(answer.body, &value, messages) &&
      value->kind() == Ormi::Data::ValueKind::kError) {
    return ReportError(static_cast<Ormi::Data::ErrorValue const&>(*value), context);
  }
  context.streams.err << "hyrn: status " << answer.status
                      << " without an error value: " << answer.body << "\n";
  return kFailed;
}

// Sends one call and waits for its answer (the channel ends every call by its deadline).
RawAnswer Post(Context const& context, Address const& address, std::string const& service,
               std::string const& operation, std::string body, char const* media_type) {
  Ormi::Transport::ClientOptions options;
  options.token_file = context.token_file;
  options.max_connections = 1;
  Ormi::Transport::Channel channel(address, options);
  std::promise<RawAnswer> answered;
  channel.Post(service, operation, std::move(body), media_type,
               Ormi::Transport::Milliseconds(context.timeout_ms),
               [&answered](RawAnswer const& answer) { answered.set_value(answer); });
  return answered.get_future().get();
}

// Reads the text of -d: the text itself, "@FILE", or "@-" for standard input.
bool ReadData(std::string const& data, std::istream& in, std::string* out, std::string* reason) {
  if (data.empty() || data[0] != '@') {
    *out = data;
    return true;
  }
  std::string const path = data.substr(1);
  if (path == "-") {
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *reason = "cannot read " + path;
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

// "SERVICE/OPERATION", split at the last slash.
bool SplitTarget(std::string const& target, std::string* service, std::string* operation) {
  std::size_t const slash = target.rfind('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == target.size()) return false;
  *service = target.substr(0, slash);
  *operation = target.substr(slash + 1);
  return true;
}

bool ReadAddress(Context const& context, Address* address) {
  std::string reason;
  if (Address::Parse(context.connect, address, &reason)) return true;
  context.streams.err << "hyrn: --connect " << context.connect << ": " << reason << "\n";
  return false;
}

Command AddCall(CLI::App& app) {
  struct State {
    std::string target;
    std::string data = "{}";
    bool canonical = false;
  };
  auto state = std::make_shared<State>();
  CLI::App* call = app.add_subcommand("call", "Call SERVICE/OPERATION with an input in JSON");
  call->add_option("target", state->target, "SERVICE/OPERATION (a task operation as NAME$task)")
      ->required();
  call->add_option("-d,--data", state->data,
                   "The input: JSON text, @FILE, or @- for standard input (default {})");
  call->add_flag("--canonical", state->canonical,
                 "Send the input and print the answer in the lossless canonical form");
  return {call, [state](Context& context) -> int {
            std::string service;
            std::string operation;
            if (!SplitTarget(state->target, &service, &operation)) {
              context.streams.err << "hyrn: call " << state->target
                                  << ": expected SERVICE/OPERATION\n";
              return kUsage;
            }
            std::string body;
            std::string reason;
            if (!ReadData(state->data, context.streams.in, &body, &reason)) {
              context.streams.err << "hyrn: -d " << state->data << ": " << reason << "\n";
              return kUsage;
            }
            Address address;
            if (!ReadAddress(context, &address)) return kUsage;
            char const* const media_type = state->canonical ? Ormi::Transport::kCanonicalMediaType
                                                            : Ormi::Transport::kPlainMediaType;
            return Report(Post(context, address, service, operation, std::move(body), media_type),
                          context);
          }};
}

}  // namespace

ExitCode ExitCodeForError(std::string const& error_name) {
  using Names = Ormi::Data::ErrorName;
  static std::map<std::string, ExitCode> const kCodes = {
      {Names::kInvalidArgument, kInvalidArgument},
      {Names::kNotFound, kNotFound},
      {Names::kAlreadyExists, kConflict},
      {Names::kNotAllowedInCurrentState, kConflict},
      {Names::kUnauthenticated, kUnauthenticated},
      {Names::kServiceUnavailable, kUnavailable},
      {Names::kTimedOut, kTimedOut},
  };
  auto const found = kCodes.find(error_name);
  return found == kCodes.end() ? kFailed : found->second;
}

int Run(int argc, char const* const* argv, Streams const& streams) {
  Context context(streams);
  CLI::App app("Calls the services of a running server.", "hyrn");
  app.add_option("--connect", context.connect, "unix:PATH or tcp:HOST:PORT of the server")
      ->capture_default_str();
  app.add_option("--timeout", context.timeout_ms, "Deadline of each call in milliseconds")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_option("--token-file", context.token_file, "The bearer token for TCP, from hyrnd");
  app.add_flag("--json", context.json_errors, "Errors as JSON error values on stderr");
  app.require_subcommand(1);
  app.footer(
      "Exit codes: 0 success, 1 other error, 2 usage, 3 invalid argument, 4 not found, "
      "5 conflict (already exists, not allowed in the current state), 6 unauthenticated, "
      "7 unavailable, 8 timed out.");
  std::vector<Command> const commands = {AddCall(app)};
  try {
    app.parse(argc, argv);
  } catch (CLI::ParseError const& error) {
    return app.exit(error, streams.out, streams.err) == 0 ? kSuccess : kUsage;
  }
  for (auto const& command : commands) {
    if (command.subcommand->parsed()) return command.run(context);
  }
  return kUsage;
}

}  // namespace Hyrn
