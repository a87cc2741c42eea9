#include "hyrn/cli.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
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
#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>

#include "ormi/data/error_names.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/transport/address.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/wire.h"
#include "render.h"

namespace Hyrn {
namespace {

namespace json = boost::json;
using Ormi::Transport::Address;
using Ormi::Transport::RawAnswer;

constexpr char kIntrospection[] = "com.norval.ormi.introspection.v1";
constexpr char kTasks[] = "com.norval.ormi.tasks";

// What every command shares: where to call, for how long, how to print errors, and the
// channel to the server.
// The language of messages that the environment asks for (LC_ALL, LC_MESSAGES, LANG):
// "de_DE.UTF-8" as "de_DE".
std::string LocaleOfEnvironment() {
  for (char const* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    char const* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      std::string locale = value;
      return locale.substr(0, locale.find_first_of(".@"));
    }
  }
  return {};
}

// "de_DE,en" as {"de_DE", "en"}.
std::vector<std::string> LanguagesOf(std::string const& locale) {
  std::vector<std::string> languages;
  std::string::size_type start = 0;
  while (start <= locale.size()) {
    auto const end = std::min(locale.find(',', start), locale.size());
    if (end > start) languages.push_back(locale.substr(start, end - start));
    start = end + 1;
  }
  return languages;
}

struct Context {
  explicit Context(Streams const& io) : streams(io) {}
  Streams const& streams;
  std::string connect = Address::DaemonDefault().ToString();
  std::int64_t timeout_ms = 30'000;
  std::string token_file;
  std::string locale = LocaleOfEnvironment();
  std::size_t max_response_bytes = Ormi::Transport::ClientOptions{}.max_response_bytes;
  bool json = false;
  std::unique_ptr<Ormi::Transport::Channel> channel;
};

// A command: its subcommand, whose options CLI11 parses into the command's own state, and
// what runs when it is the one chosen.
struct Command {
  CLI::App* subcommand;
  std::function<int(Context&)> run;
};

// Reads the JSON of an answer, as deep as the channel lets answers nest.
bool ParseJson(std::string const& text, json::value* value) {
  json::parse_options options;
  options.max_depth = 4096;
  boost::system::error_code error;
  *value = json::parse(text, error, {}, options);
  return !error;
}

// JSON with two spaces per level; text that is no JSON as it is.
void PrintPretty(std::string const& text, std::ostream& out) {
  json::value value;
  if (!ParseJson(text, &value)) {
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
  if (context.json) {
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

// Reports an error value in its canonical JSON `text`; `what` names where it came from when
// the text is no error value.
int ReportErrorText(std::string const& text, std::string const& what, Context const& context) {
  Ormi::Data::ValuePtr value;
  std::list<Ormi::BaseMessage> messages;
  if (Ormi::Data::FromJson(text, &value, messages) &&
      value->kind() == Ormi::Data::ValueKind::kError) {
    return ReportError(static_cast<Ormi::Data::ErrorValue const&>(*value), context);
  }
  context.streams.err << "hyrn: " << what << " without an error value: " << text << "\n";
  return kFailed;
}

// Prints an answer: the output on stdout, an error on stderr; returns the exit code.
int Report(RawAnswer const& answer, Context const& context) {
  if (answer.failure) return ReportError(*answer.failure, context);
  if (answer.status == 200) {
    PrintPretty(answer.body, context.streams.out);
    return kSuccess;
  }
  return ReportErrorText(answer.body, "status " + std::to_string(answer.status), context);
}

bool ReadAddress(Context const& context, Address* address) {
  std::string reason;
  if (Address::Parse(context.connect, address, &reason)) return true;
  context.streams.err << "hyrn: --connect " << context.connect << ": " << reason << "\n";
  return false;
}

// Sends one call and waits for its answer: the channel ends every call by its deadline,
// `timeout_ms` from now unless `timeout` is given.
RawAnswer Post(Context& context, std::string const& service, std::string const& operation,
               std::string body, char const* media_type,
               Ormi::Transport::Milliseconds timeout = {}) {
  std::promise<RawAnswer> answered;
  context.channel->Post(
      service, operation, std::move(body), media_type,
      timeout.count() > 0 ? timeout : Ormi::Transport::Milliseconds(context.timeout_ms),
      [&answered](RawAnswer const& answer) { answered.set_value(answer); });
  return answered.get_future().get();
}

// Calls an operation with a plain JSON input. On success reads the answer into `answer` and
// returns kSuccess; otherwise reports the error and returns its exit code.
int Ask(Context& context, std::string const& service, std::string const& operation,
        json::value const& input, json::value* answer, Ormi::Transport::Milliseconds timeout = {}) {
  RawAnswer const raw = Post(context, service, operation, json::serialize(input),
                             Ormi::Transport::kPlainMediaType, timeout);
  if (raw.failure || raw.status != 200) return Report(raw, context);
  if (ParseJson(raw.body, answer)) return kSuccess;
  context.streams.err << "hyrn: " << service << "/" << operation
                      << " answered with no JSON: " << raw.body << "\n";
  return kFailed;
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

// Prints a task's progress while it runs: a bar redrawn on standard error when the output is
// a terminal, otherwise a line on standard error each time the progress changes.
class ProgressView {
 public:
  explicit ProgressView(Context const& context) : context_(context) {}
  ~ProgressView() {
    if (drawn_) context_.streams.err << "\n";
  }
  ProgressView(ProgressView const&) = delete;
  ProgressView& operator=(ProgressView const&) = delete;

  void Show(json::value const& task) {
    auto const& progress = task.as_object().at("progress");
    std::int64_t const completed = progress.at("completed").to_number<std::int64_t>();
    std::int64_t const total = progress.at("total").to_number<std::int64_t>();
    std::string const message(progress.at("message").as_string());
    std::string const line = std::to_string(completed) + "/" + std::to_string(total) +
                             (message.empty() ? "" : " " + message);
    if (line == last_) return;
    last_ = line;
    if (!context_.streams.terminal) {
      context_.streams.err << "progress " << line << "\n";
      return;
    }
    constexpr int kWidth = 30;
    int const filled = total > 0 ? static_cast<int>(kWidth * completed / total) : 0;
    context_.streams.err << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
                         << std::string(static_cast<std::size_t>(kWidth - filled), ' ') << "] "
                         << line << "\x1b[K" << std::flush;
    drawn_ = true;
  }

 private:
  Context const& context_;
  std::string last_;
  bool drawn_ = false;
};

// Waits for a task's end, showing its progress, until the deadline of --timeout. On success
// `task` is the ended task's info.
int WaitForTask(Context& context, std::string const& id, json::value* task) {
  using Clock = std::chrono::steady_clock;
  auto const deadline = Clock::now() + std::chrono::milliseconds(context.timeout_ms);
  ProgressView view(context);
  for (;;) {
    auto const left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      context.streams.err << "hyrn: " << Ormi::Data::ErrorName::kTimedOut << ": task " << id
                          << " had not ended when the timeout of " << context.timeout_ms
                          << " ms passed; it goes on (hyrn task wait " << id << ")\n";
      return kTimedOut;
    }
    // Short waits, so that progress shows while the task runs.
    std::int64_t const slice = std::min<std::int64_t>(left.count(), 500);
    int const code = Ask(context, kTasks, "wait", {{"task", id}, {"timeout_ms", slice}}, task,
                         std::chrono::milliseconds(slice + 5'000));
    if (code != kSuccess) return code;
    view.Show(*task);
    if (task->as_object().at("state") != "RUNNING") return kSuccess;
  }
}

// The outcome of an ended task: its result on stdout, or its error or cancellation.
int ReportTask(Context const& context, json::value const& task) {
  auto const& info = task.as_object();
  auto const& state = info.at("state");
  if (state == "SUCCEEDED") {
    auto const& result = info.at("result");
    if (!result.is_null()) PrintPretty(json::serialize(result), context.streams.out);
    return kSuccess;
  }
  if (state == "FAILED" && !info.at("error").is_null()) {
    return ReportErrorText(json::serialize(info.at("error")), "a failed task", context);
  }
  context.streams.err << "hyrn: task " << info.at("id").as_string().c_str() << " ended "
                      << json::serialize(state) << "\n";
  return kFailed;
}

Command AddCall(CLI::App& app) {
  struct State {
    std::string target;
    std::string data = "{}";
    bool canonical = false;
    bool wait = false;
  };
  auto state = std::make_shared<State>();
  CLI::App* call = app.add_subcommand("call", "Call SERVICE/OPERATION with an input in JSON");
  call->add_option("target", state->target, "SERVICE/OPERATION (a task operation as NAME$task)")
      ->required();
  call->add_option("-d,--data", state->data,
                   "The input: JSON text, @FILE, or @- for standard input (default {})");
  call->add_flag("--canonical", state->canonical,
                 "Send the input and print the answer in the lossless canonical form");
  call->add_flag("--wait", state->wait,
                 "For a task operation: wait for the task's end and print its work result");
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
            char const* const media_type = state->canonical ? Ormi::Transport::kCanonicalMediaType
                                                            : Ormi::Transport::kPlainMediaType;
            RawAnswer const answer = Post(context, service, operation, std::move(body), media_type);
            if (!state->wait || answer.failure || answer.status != 200) {
              return Report(answer, context);
            }
            boost::system::error_code error;
            json::value const id = json::parse(answer.body, error);
            if (error || !id.is_string()) {
              context.streams.err << "hyrn: --wait: " << state->target
                                  << " answered no task identifier: " << answer.body << "\n";
              return kUsage;
            }
            json::value task;
            int const code = WaitForTask(context, std::string(id.as_string()), &task);
            return code == kSuccess ? ReportTask(context, task) : code;
          }};
}

Command AddList(CLI::App& app) {
  CLI::App* list = app.add_subcommand("list", "List the services and operations of the server");
  return {list, [](Context& context) -> int {
            json::value services;
            int const code = Ask(context, kIntrospection, "list", json::object(), &services);
            if (code != kSuccess) return code;
            if (context.json) {
              PrintPretty(json::serialize(services), context.streams.out);
            } else {
              context.streams.out << Detail::ListText(services);
            }
            return kSuccess;
          }};
}

// The descriptions of SERVICE/OPERATION, or of every operation of SERVICE.
int Describe(Context& context, std::string const& target, json::array* descriptions) {
  std::string service;
  std::string operation;
  std::vector<std::string> operations;
  if (SplitTarget(target, &service, &operation)) {
    operations.push_back(operation);
  } else {
    json::value services;
    int const code = Ask(context, kIntrospection, "list", json::object(), &services);
    if (code != kSuccess) return code;
    service = target;
    for (auto const& offered : services.as_array()) {
      if (offered.at("id") != json::value(target)) continue;
      for (auto const& op : offered.at("operations").as_array()) {
        operations.emplace_back(op.at("call_name").as_string());
      }
    }
    if (operations.empty()) {
      context.streams.err << "hyrn: " << Ormi::Data::ErrorName::kNotFound
                          << ": the server has no service " << target
                          << "; hyrn list shows the services it has\n";
      return kNotFound;
    }
  }
  for (auto const& name : operations) {
    json::value description;
    int const code = Ask(context, kIntrospection, "describe",
                         {{"service", service}, {"operation", name}}, &description);
    if (code != kSuccess) return code;
    descriptions->push_back(std::move(description));
  }
  return kSuccess;
}

Command AddDescribe(CLI::App& app) {
  auto target = std::make_shared<std::string>();
  CLI::App* describe = app.add_subcommand(
      "describe", "Describe SERVICE/OPERATION, or every operation of SERVICE (--json: as JSON)");
  describe->add_option("target", *target, "SERVICE or SERVICE/OPERATION")->required();
  return {describe, [target](Context& context) -> int {
            json::array descriptions;
            int const code = Describe(context, *target, &descriptions);
            if (code != kSuccess) return code;
            if (context.json) {
              bool const one = target->find('/') != std::string::npos;
              PrintPretty(json::serialize(one ? descriptions.front() : json::value(descriptions)),
                          context.streams.out);
              return kSuccess;
            }
            char const* separator = "";
            for (auto const& description : descriptions) {
              context.streams.out << separator << Detail::DescriptionText(description);
              separator = "\n";
            }
            return kSuccess;
          }};
}

Command AddTemplate(CLI::App& app) {
  auto target = std::make_shared<std::string>();
  CLI::App* command = app.add_subcommand(
      "template", "Print a JSON input of SERVICE/OPERATION with every field and its type");
  command->add_option("target", *target, "SERVICE/OPERATION")->required();
  return {command, [target](Context& context) -> int {
            if (target->find('/') == std::string::npos) {
              context.streams.err << "hyrn: template " << *target
                                  << ": expected SERVICE/OPERATION\n";
              return kUsage;
            }
            json::array descriptions;
            int const code = Describe(context, *target, &descriptions);
            if (code != kSuccess) return code;
            PrintPretty(json::serialize(Detail::InputTemplate(descriptions.front())),
                        context.streams.out);
            return kSuccess;
          }};
}

Command AddTask(CLI::App& app) {
  struct State {
    std::string id;
    std::string state;
    std::string service;
    std::string operation;
  };
  auto state = std::make_shared<State>();
  CLI::App* task = app.add_subcommand("task", "Read, wait for, cancel or list tasks");
  task->require_subcommand(1);
  for (char const* verb : {"get", "wait", "cancel"}) {
    task->add_subcommand(verb, std::string(verb) == "get"    ? "Print a task's state and outcome"
                               : std::string(verb) == "wait" ? "Wait for a task's end (--timeout)"
                                                             : "Ask a running task to stop")
        ->add_option("id", state->id, "The task identifier")
        ->required();
  }
  CLI::App* list = task->add_subcommand("list", "List the tasks the server keeps");
  list->add_option("--state", state->state, "RUNNING, SUCCEEDED, FAILED or CANCELLED");
  list->add_option("--service", state->service, "Only the tasks of this service");
  list->add_option("--operation", state->operation, "Only the tasks of this operation");
  return {task, [task, state](Context& context) -> int {
            json::value answer;
            int code = kSuccess;
            if (task->got_subcommand("wait")) {
              code = WaitForTask(context, state->id, &answer);
            } else if (task->got_subcommand("list")) {
              json::object filter;
              if (!state->state.empty()) filter["state"] = state->state;
              if (!state->service.empty()) filter["service"] = state->service;
              if (!state->operation.empty()) filter["operation"] = state->operation;
              code = Ask(context, kTasks, "list", {{"filter", filter}}, &answer);
            } else {
              char const* const verb = task->got_subcommand("get") ? "get" : "cancel";
              code = Ask(context, kTasks, verb, {{"task", state->id}}, &answer);
            }
            if (code == kSuccess) PrintPretty(json::serialize(answer), context.streams.out);
            return code;
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
  app.fallthrough();  // the options below may also follow the command
  app.add_option("--connect", context.connect, "unix:PATH or tcp:HOST:PORT of the server")
      ->capture_default_str();
  app.add_option("--timeout", context.timeout_ms, "Deadline of each call in milliseconds")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  app.add_option("--token-file", context.token_file, "The bearer token for TCP, from hyrnd");
  app.add_option("--max-response-bytes", context.max_response_bytes, "Largest answer")
      ->capture_default_str();
  app.add_flag("--json", context.json, "Descriptions and errors as JSON");
  app.add_option("--locale", context.locale,
                 "Language of error messages, e.g. de_DE; several as de_DE,en (default: from "
                 "LC_ALL, LC_MESSAGES, LANG)");
  app.require_subcommand(1);
  app.footer(
      "Exit codes: 0 success, 1 other error, 2 usage, 3 invalid argument, 4 not found, "
      "5 conflict (already exists, not allowed in the current state), 6 unauthenticated, "
      "7 unavailable, 8 timed out.");
  std::vector<Command> const commands = {AddList(app), AddDescribe(app), AddTemplate(app),
                                         AddCall(app), AddTask(app)};
  try {
    app.parse(argc, argv);
  } catch (CLI::ParseError const& error) {
    return app.exit(error, streams.out, streams.err) == 0 ? kSuccess : kUsage;
  }
  Address address;
  if (!ReadAddress(context, &address)) return kUsage;
  Ormi::Transport::ClientOptions options;
  options.token_file = context.token_file;
  options.max_connections = 1;
  options.max_response_bytes = context.max_response_bytes;
  options.languages = LanguagesOf(context.locale);
  context.channel = std::make_unique<Ormi::Transport::Channel>(address, options);
  for (auto const& command : commands) {
    if (command.subcommand->parsed()) return command.run(context);
  }
  return kUsage;
}

}  // namespace Hyrn
