// hyrn against a daemon serving the example provider on a unix socket: what the server offers
// (golden text), calls with answers on stdout, tasks waited for, errors on stderr as one line
// or as JSON, and one exit code per class of error.
#include "hyrn/cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>

#include <boost/json/parse.hpp>

#include "hyrnd/daemon.h"
#include "ormi/services/tasks.h"
#include "ormi/tasks/store.h"
#include "transport_support.h"

namespace TransportTest {
namespace {

struct Outcome {
  int code;
  std::string out;
  std::string err;
};

class HyrnCli : public ::testing::Test {
 protected:
  void SetUp() override {
    Hyrnd::Options options;
    std::string const listen = "unix:" + dir_.Path("hyrnd.sock");
    char const* argv[] = {"hyrnd",
                          "--listen",
                          listen.c_str(),
                          "--catalogue",
                          HYRN_CATALOGUE_CORE,
                          "--catalogue",
                          HYRN_CATALOGUE_EXAMPLE};
    std::ostringstream parse_errors;
    ASSERT_EQ(Hyrnd::ParseCommandLine(7, argv, &options, parse_errors, parse_errors), -1)
        << parse_errors.str();
    daemon_ = std::make_unique<Hyrnd::Daemon>(options, log_);
    std::ostringstream err;
    ASSERT_TRUE(daemon_->Start(err)) << err.str();
  }

  // Runs hyrn with `arguments` against the daemon, unless they name another server; in
  // English unless they name a locale or ask for the environment's.
  Outcome Hyrn(std::vector<std::string> arguments, std::string const& input = "",
               bool environment_locale = false) {
    if (arguments.front() != "--connect") {
      arguments.insert(arguments.begin(), {"--connect", "unix:" + dir_.Path("hyrnd.sock")});
    }
    if (!environment_locale &&
        std::find(arguments.begin(), arguments.end(), "--locale") == arguments.end()) {
      arguments.insert(arguments.begin(), {"--locale", "C"});
    }
    arguments.insert(arguments.begin(), "hyrn");
    std::vector<char const*> argv;
    argv.reserve(arguments.size());
    for (auto const& argument : arguments) argv.push_back(argument.c_str());
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    int const code = Hyrn::Run(static_cast<int>(argv.size()), argv.data(), {in, out, err});
    return {code, out.str(), err.str()};
  }

  TempDir dir_;
  std::ostringstream log_;
  std::unique_ptr<Hyrnd::Daemon> daemon_;
};

constexpr char kConfigGet[] = "com.norval.hyrn.host_settings.config/get";

TEST_F(HyrnCli, CallsWithJsonFromTheLineAFileOrStandardInput) {
  auto const inline_json = Hyrn({"call", kConfigGet, "-d", R"({"host":"host-01"})"});
  EXPECT_EQ(inline_json.code, Hyrn::kSuccess) << inline_json.err;
  EXPECT_THAT(inline_json.out, ::testing::HasSubstr("\"server\": \"ntp1.example\""));
  EXPECT_EQ(inline_json.err, "");

  std::ofstream(dir_.Path("input.json")) << R"({"host":"host-01"})";
  EXPECT_EQ(Hyrn({"call", kConfigGet, "-d", "@" + dir_.Path("input.json")}).out, inline_json.out);
  EXPECT_EQ(Hyrn({"call", kConfigGet, "-d", "@-"}, R"({"host":"host-01"})").out, inline_json.out);

  auto const canonical =
      Hyrn({"call", kConfigGet, "--canonical", "-d",
            R"({"$struct":"com.norval.ormi.operation_input","fields":{"host":"host-01"}})"});
  EXPECT_EQ(canonical.code, Hyrn::kSuccess) << canonical.err;
  EXPECT_THAT(canonical.out, ::testing::HasSubstr("\"$struct\""));
}

TEST_F(HyrnCli, EachClassOfErrorHasItsExitCodeAndALineThatSaysWhere) {
  auto const unknown_host = Hyrn({"call", kConfigGet, "-d", R"({"host":"nohost"})"});
  EXPECT_EQ(unknown_host.code, Hyrn::kNotFound);
  EXPECT_EQ(unknown_host.err,
            "hyrn: com.norval.ormi.std.errors.not_found: Host nohost is not known.\n");
  EXPECT_EQ(unknown_host.out, "");

  auto const wrong_type = Hyrn({"call", kConfigGet, "-d", R"({"host":1})"});
  EXPECT_EQ(wrong_type.code, Hyrn::kInvalidArgument);
  EXPECT_THAT(wrong_type.err, ::testing::HasSubstr("at host: expected a string"));

  auto const malformed = Hyrn({"call", kConfigGet, "-d", R"({"host":)"});
  EXPECT_EQ(malformed.code, Hyrn::kInvalidArgument);
  EXPECT_THAT(malformed.err, ::testing::HasSubstr("Malformed JSON at 1:9"));

  auto const as_json = Hyrn({"--json", "call", kConfigGet, "-d", R"({"host":"nohost"})"});
  EXPECT_EQ(as_json.code, Hyrn::kNotFound);
  EXPECT_THAT(as_json.err,
              ::testing::HasSubstr("\"$error\": \"com.norval.ormi.std.errors.not_found\""));

  EXPECT_EQ(Hyrn({"call", "com.norval.hyrn.host_settings.config/fetch"}).code, Hyrn::kNotFound);
  EXPECT_EQ(Hyrn({"call", "no-slash"}).code, Hyrn::kUsage);
  EXPECT_EQ(Hyrn({"call", kConfigGet, "-d", "@" + dir_.Path("missing.json")}).code, Hyrn::kUsage);
  EXPECT_EQ(Hyrn({"frobnicate"}).code, Hyrn::kUsage);

  // An answer past the client's limit names the option that raises it.
  auto const too_large =
      Hyrn({"--max-response-bytes", "64", "call", kConfigGet, "-d", R"({"host":"host-01"})"});
  EXPECT_EQ(too_large.code, Hyrn::kFailed);
  EXPECT_THAT(too_large.err, ::testing::HasSubstr("limit of 64 bytes"));
  EXPECT_THAT(too_large.err, ::testing::HasSubstr("(--max-response-bytes)"));

  auto const nobody = Hyrn({"--connect", "unix:" + dir_.Path("none.sock"), "call", kConfigGet});
  EXPECT_EQ(nobody.code, Hyrn::kUnavailable);
  EXPECT_THAT(nobody.err, ::testing::HasSubstr("service_unavailable"));
}

// Over TCP, hyrn sends the bearer token from the file hyrnd wrote; without it, the call is
// refused.
TEST_F(HyrnCli, OverTcpTheTokenFromItsFileIsSent) {
  std::string const token_file = dir_.Path("token");
  char const* argv[] = {"hyrnd", "--listen", "tcp:127.0.0.1:0", "--token-file", token_file.c_str()};
  Hyrnd::Options options;
  std::ostringstream err;
  ASSERT_EQ(Hyrnd::ParseCommandLine(5, argv, &options, err, err), -1) << err.str();
  Hyrnd::Daemon tcp_daemon(options, log_);
  ASSERT_TRUE(tcp_daemon.Start(err)) << err.str();
  std::string const tcp = tcp_daemon.server().addresses().at(0).ToString();

  auto const with_token = Hyrn({"--connect", tcp, "--token-file", token_file, "call", kConfigGet,
                                "-d", R"({"host":"host-01"})"});
  EXPECT_EQ(with_token.code, Hyrn::kSuccess) << with_token.err;
  EXPECT_THAT(with_token.out, ::testing::HasSubstr("\"server\": \"ntp1.example\""));
  auto const without = Hyrn({"--connect", tcp, "call", kConfigGet, "-d", R"({"host":"host-01"})"});
  EXPECT_EQ(without.code, Hyrn::kUnauthenticated) << without.err;
  tcp_daemon.Stop();
}

// The daemon answers in the caller's language where its catalogues have a translation: the
// provider's own errors and the transport's alike; otherwise in English.
TEST_F(HyrnCli, ErrorsComeInTheLanguageTheCallerAsksFor) {
  std::vector<std::string> const unknown_host = {"call", kConfigGet, "-d", R"({"host":"nohost"})"};
  auto in = [&](std::string const& locale, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--locale", locale});
    return Hyrn(arguments);
  };
  auto const german = in("de_DE", unknown_host);
  EXPECT_EQ(german.code, Hyrn::kNotFound);
  EXPECT_EQ(german.err,
            "hyrn: com.norval.ormi.std.errors.not_found: Der Host nohost ist nicht bekannt.\n");
  EXPECT_EQ(in("fr_FR,de", unknown_host).err, german.err);
  // Without --locale, the environment's, as locales are usually named there.
  char const* const lc_all = std::getenv("LC_ALL");
  std::string const saved = lc_all != nullptr ? lc_all : "";
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(Hyrn(unknown_host, "", /*environment_locale=*/true).err, german.err);
  if (lc_all != nullptr) {
    ::setenv("LC_ALL", saved.c_str(), 1);
  } else {
    ::unsetenv("LC_ALL");
  }
  EXPECT_EQ(in("fr", unknown_host).err,
            "hyrn: com.norval.ormi.std.errors.not_found: Host nohost is not known.\n");

  auto const wrong_operation = in("de", {"call", "com.norval.hyrn.host_settings.config/fetch"});
  EXPECT_EQ(wrong_operation.code, Hyrn::kNotFound);
  EXPECT_THAT(wrong_operation.err, ::testing::HasSubstr("hat keine Operation"));
  EXPECT_THAT(wrong_operation.err, ::testing::HasSubstr("Die Operationen von"));
}

// A C++ client names its languages in the call's activation, which wins over the channel's.
TEST_F(HyrnCli, AStubCallCarriesTheLocaleOfItsActivation) {
  ::Ormi::Transport::ClientOptions options;
  options.languages = {"en"};
  ::Ormi::Transport::Channel channel(Address::Unix(dir_.Path("hyrnd.sock")), options);
  auto const method = std::make_shared<::Ormi::Core::MethodIdentifier const>(
      std::make_shared<::Ormi::Core::InterfaceIdentifier const>("com.norval.hyrn.nowhere"), "get");
  auto message_of = [&](std::shared_ptr<::Ormi::Core::AsyncActivation> const& activation) {
    std::promise<std::string> text;
    channel.Invoke(method, nullptr, activation,
                   [&](std::shared_ptr<::Ormi::Core::MethodResult const> const& result,
                       ::Ormi::Progress const& /*progress*/, auto&& /*next*/) {
                     text.set_value(result && result->error()
                                        ? result->error()->messages().front().defaultMessage
                                        : "no error");
                   });
    return text.get_future().get();
  };
  auto german = std::make_shared<::Ormi::Core::AsyncActivation>();
  german->SetLocaleSpec(std::make_shared<::Ormi::L10n::LocaleSpec const>(
      std::vector<::Ormi::L10n::LanguagePreference>{::Ormi::L10n::LanguagePreference("de")},
      ::Ormi::L10n::TimezoneSpec("Etc/UTC")));
  EXPECT_EQ(message_of(german), "Der Dienst com.norval.hyrn.nowhere ist nicht registriert.");
  EXPECT_EQ(message_of(nullptr), "Service com.norval.hyrn.nowhere is not registered.");
}

std::string Golden(std::string const& name) {
  std::ifstream file(std::string(HYRN_CLI_GOLDEN_DIR) + "/" + name);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The texts a person reads to find their way; a change of them is deliberate (regenerate the
// files under tests/transport/golden/ with the same commands against a dev hyrnd).
TEST_F(HyrnCli, ListDescribeAndTemplateMatchTheirGoldenText) {
  auto const list = Hyrn({"list"});
  EXPECT_EQ(list.code, Hyrn::kSuccess) << list.err;
  EXPECT_EQ(list.out, Golden("hyrn_list.txt"));
  auto const describe = Hyrn({"describe", "com.norval.hyrn.host_settings.software"});
  EXPECT_EQ(describe.code, Hyrn::kSuccess) << describe.err;
  EXPECT_EQ(describe.out, Golden("hyrn_describe.txt"));
  auto const skeleton = Hyrn({"template", "com.norval.hyrn.settings_daemon.software/scan$task"});
  EXPECT_EQ(skeleton.code, Hyrn::kSuccess) << skeleton.err;
  EXPECT_EQ(skeleton.out, Golden("hyrn_template.json"));

  auto const as_json = Hyrn({"describe", "com.norval.hyrn.hosts.settings/set", "--json"});
  ASSERT_EQ(as_json.code, Hyrn::kSuccess) << as_json.err;
  auto const description = boost::json::parse(as_json.out);
  EXPECT_EQ(description.at("operation").at("call_name"), "set$task");
  EXPECT_FALSE(description.at("structures").as_array().empty());

  EXPECT_EQ(Hyrn({"describe", "com.norval.none"}).code, Hyrn::kNotFound);
  EXPECT_EQ(Hyrn({"template", "com.norval.hyrn.host_settings.config/fetch"}).code, Hyrn::kNotFound);
}

// A scan started and waited for prints its HostCompliance, with the difference between the
// host's installed add-on and the requested specification; the task stays readable.
TEST_F(HyrnCli, CallWithWaitPrintsTheWorkResultAndTheTaskIsKept) {
  std::string const input =
      R"({"scan_spec":{"depots":["main"],"software_spec":{"base_image":{"version":"8.0"},)"
      R"("components":{"ntp":"2.0"}}}})";
  auto const scan =
      Hyrn({"call", "com.norval.hyrn.settings_daemon.software/scan$task", "--wait", "-d", input});
  ASSERT_EQ(scan.code, Hyrn::kSuccess) << scan.err;
  auto const compliance = boost::json::parse(scan.out);
  EXPECT_EQ(compliance.at("status"), "INCOMPATIBLE");
  EXPECT_THAT(scan.out, ::testing::HasSubstr("com.norval.hyrn.example.compliance.add_on.differs"));
  EXPECT_THAT(scan.err, ::testing::HasSubstr("progress 1/1"));

  auto const listed = Hyrn({"task", "list", "--state", "SUCCEEDED"});
  ASSERT_EQ(listed.code, Hyrn::kSuccess) << listed.err;
  auto const tasks = boost::json::parse(listed.out).as_array();
  ASSERT_EQ(tasks.size(), 1U);
  EXPECT_EQ(tasks[0].at("operation"), "scan$task");
  auto const id = std::string(tasks[0].at("id").as_string());
  EXPECT_EQ(Hyrn({"task", "get", id}).code, Hyrn::kSuccess);
  EXPECT_EQ(Hyrn({"task", "wait", id}).code, Hyrn::kSuccess);
  EXPECT_EQ(Hyrn({"task", "get", "task-none"}).code, Hyrn::kNotFound);
}

// A task that fails ends `call --wait` as its error would; one that was cancelled, as a
// failure. The keys server's get answers with the identifier of a task the test ended.
TEST_F(HyrnCli, CallWithWaitEndsAsTheTaskEnded) {
  KeysServer server({Address::Unix(dir_.Path("k.sock"))});
  auto const store = std::make_shared<::Ormi::Tasks::Store>();
  ASSERT_TRUE(server.registry->Register(::Ormi::Services::BindTasksService(store)));
  auto const failed = store->Create({});
  failed.Fail(::Ormi::Data::ErrorValue::Create(
      Names::kAlreadyExists, {::Ormi::BaseMessage{"test.exists", "The depot main exists.", {}}}));
  auto const cancelled = store->Create({});
  cancelled.Cancelled();
  server.keys->get = [&](std::string const& key, ::BindingTest::Result<std::string> const& result) {
    result.SetResult(key == "failed" ? failed.id() : cancelled.id());
  };
  ASSERT_TRUE(server.Start());
  auto const wait_for = [&](char const* key) {
    return Hyrn({"--connect", "unix:" + dir_.Path("k.sock"), "call",
                 "com.norval.hyrn.test.keys/get", "--wait", "-d",
                 std::string(R"({"key":")") + key + R"("})"});
  };
  auto const failure = wait_for("failed");
  EXPECT_EQ(failure.code, Hyrn::kConflict);
  EXPECT_THAT(failure.err, ::testing::HasSubstr("already_exists: The depot main exists."));
  auto const cancellation = wait_for("cancelled");
  EXPECT_EQ(cancellation.code, Hyrn::kFailed);
  EXPECT_THAT(cancellation.err, ::testing::HasSubstr(R"(ended "CANCELLED")"));
}

TEST(HyrnExitCodes, FollowTheErrorsName) {
  using Names = ::Ormi::Data::ErrorName;
  EXPECT_EQ(Hyrn::ExitCodeForError(Names::kAlreadyExists), Hyrn::kConflict);
  EXPECT_EQ(Hyrn::ExitCodeForError(Names::kNotAllowedInCurrentState), Hyrn::kConflict);
  EXPECT_EQ(Hyrn::ExitCodeForError(Names::kUnauthenticated), Hyrn::kUnauthenticated);
  EXPECT_EQ(Hyrn::ExitCodeForError(Names::kTimedOut), Hyrn::kTimedOut);
  EXPECT_EQ(Hyrn::ExitCodeForError(Names::kInternalServerError), Hyrn::kFailed);
  EXPECT_EQ(Hyrn::ExitCodeForError("com.norval.hyrn.other"), Hyrn::kFailed);
}

}  // namespace
}  // namespace TransportTest
