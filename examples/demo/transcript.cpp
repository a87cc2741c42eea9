#include "demo/transcript.h"

#include <chrono>
#include <sstream>

#include <boost/json.hpp>

namespace Demo {
namespace {

constexpr std::size_t kWidth = 96;
// How long the transcript waits for a task's outcome.
constexpr std::chrono::seconds kTaskWait(30);

void Write(std::ostream& out, boost::json::value const& value, std::size_t indent);

template <typename Container, typename Each>
void WriteContainer(std::ostream& out, Container const& container, char open, char close,
                    std::size_t indent, Each each) {
  out << open;
  bool first = true;
  for (auto const& element : container) {
    out << (first ? "\n" : ",\n") << std::string(indent + 2, ' ');
    each(element);
    first = false;
  }
  out << '\n' << std::string(indent, ' ') << close;
}

void Write(std::ostream& out, boost::json::value const& value, std::size_t indent) {
  std::string const flat = boost::json::serialize(value);
  if (indent + flat.size() <= kWidth || (!value.is_object() && !value.is_array()) ||
      (value.is_object() && value.get_object().empty()) ||
      (value.is_array() && value.get_array().empty())) {
    out << flat;
    return;
  }
  if (value.is_array()) {
    WriteContainer(out, value.get_array(), '[', ']', indent,
                   [&](boost::json::value const& element) { Write(out, element, indent + 2); });
    return;
  }
  WriteContainer(out, value.get_object(), '{', '}', indent,
                 [&](boost::json::key_value_pair const& member) {
                   out << boost::json::serialize(boost::json::string(member.key())) << ": ";
                   Write(out, member.value(), indent + 2);
                 });
}

}  // namespace

std::string Pretty(std::string const& json) {
  boost::json::error_code failed;
  boost::json::value const parsed = boost::json::parse(json, failed);
  if (failed) {
    return json;
  }
  std::ostringstream out;
  Write(out, parsed, 4);
  return out.str();
}

void Transcript::Begin(std::string const& service, std::string const& operation,
                       std::vector<Arg> const& args) {
  ++calls_;
  called_.insert(service + " " + operation);
  out_ << "\n#" << calls_ << " " << service << " " << operation << "\n";
  for (auto const& arg : args) {
    out_ << "    " << arg.name << " = " << Pretty(arg.json) << "\n";
  }
}

bool Transcript::Finish(std::string const& value_json, ::Ormi::ErrorPtr const& error,
                        std::string const& expected_error, std::string const& problem) {
  if (error) {
    out_ << "  error: " << Pretty(::Ormi::Data::ToJson(*error)) << "\n";
  } else {
    out_ << "  result: " << Pretty(value_json) << "\n";
  }
  std::string verdict = problem;
  if (!expected_error.empty() && (!error || error->name() != expected_error)) {
    verdict = "expected the error " + expected_error;
  } else if (expected_error.empty() && error) {
    verdict = "expected a result";
  }
  Judge(verdict);
  if (verdict.empty() && error) {
    out_ << "  (an expected error)\n";
  }
  return verdict.empty();
}

void Transcript::Outcome(std::string const& task_id,
                         std::function<std::string(::Ormi::Data::ValuePtr const&)> const& check) {
  auto const outcome = tasks_.Wait(task_id, kTaskWait);
  if (!outcome) {
    Judge("the provider does not know task " + task_id);
    return;
  }
  if (outcome->state == ::Ormi::Tasks::TaskState::kRunning) {
    Judge("task " + task_id + " did not finish in time");
    return;
  }
  if (outcome->error) {
    out_ << "  task " << task_id << " failed: " << Pretty(::Ormi::Data::ToJson(*outcome->error))
         << "\n";
    Judge("the task failed");
    return;
  }
  out_ << "  task " << task_id << " finished: " << Pretty(::Ormi::Data::ToJson(*outcome->result))
       << "\n";
  Judge(check ? check(outcome->result) : std::string());
}

void Transcript::Judge(std::string const& problem) {
  if (!problem.empty()) {
    ++failures_;
    out_ << "  UNEXPECTED: " << problem << "\n";
  }
}

bool Transcript::Summary(std::set<std::string> const& all_operations) {
  std::size_t missing = 0;
  for (auto const& operation : all_operations) {
    if (called_.count(operation) == 0) {
      out_ << "not exercised: " << operation << "\n";
      ++missing;
    }
  }
  failures_ += static_cast<int>(missing);
  out_ << "\n"
       << all_operations.size() - missing << " of " << all_operations.size()
       << " operations exercised\n"
       << calls_ << " calls, " << failures_ << " failures\n";
  return failures_ == 0;
}

}  // namespace Demo
