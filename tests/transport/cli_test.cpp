// hyrn against a daemon serving the example provider on a unix socket: answers on stdout,
// errors on stderr as one line or as JSON, and one exit code per class of error.
#include "hyrn/cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "hyrnd/daemon.h"
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
    options.server.listen = {Address::Unix(dir_.Path("hyrnd.sock"))};
    daemon_ = std::make_unique<Hyrnd::Daemon>(options, log_);
    std::ostringstream err;
    ASSERT_TRUE(daemon_->Start(err)) << err.str();
  }

  // Runs hyrn with `arguments` against the daemon, unless they name another server.
  Outcome Hyrn(std::vector<std::string> arguments, std::string const& input = "") {
    if (arguments.front() != "--connect") {
      arguments.insert(arguments.begin(), {"--connect", "unix:" + dir_.Path("hyrnd.sock")});
    }
    arguments.insert(arguments.begin(), "hyrn");
    std::vector<char const*> argv;
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

  auto const nobody = Hyrn({"--connect", "unix:" + dir_.Path("none.sock"), "call", kConfigGet});
  EXPECT_EQ(nobody.code, Hyrn::kUnavailable);
  EXPECT_THAT(nobody.err, ::testing::HasSubstr("service_unavailable"));
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
