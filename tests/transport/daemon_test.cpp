// hyrnd: its command line, and the daemon as a process: serving the example provider over a
// unix socket, logging each call and stopping on SIGTERM.
#include "hyrnd/daemon.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "ormi/services/registry_introspection.h"
#include "ormi/transport/channel.h"
#include "transport_support.h"

namespace TransportTest {
namespace {

using ::Com::Norval::Hyrn::HostSettings::ConfigSvc;

int Parse(std::vector<char const*> arguments, Hyrnd::Options* options, std::string* err) {
  arguments.insert(arguments.begin(), "hyrnd");
  std::ostringstream out;
  std::ostringstream errors;
  int const code = Hyrnd::ParseCommandLine(static_cast<int>(arguments.size()), arguments.data(),
                                           options, out, errors);
  *err = errors.str();
  return code;
}

TEST(HyrndCommandLine, ReadsAddressesAccessAndLimits) {
  Hyrnd::Options options;
  std::string err;
  ASSERT_EQ(Parse({"--listen", "unix:/tmp/a.sock", "--listen", "tcp:[::1]:8080", "--threads", "3",
                   "--allow-uid", "1000", "--no-token", "--allow-remote", "--workers", "2",
                   "--max-body-bytes", "100", "--header-timeout", "250", "--drain-timeout", "0"},
                  &options, &err),
            -1)
      << err;
  ASSERT_EQ(options.server.listen.size(), 2U);
  EXPECT_EQ(options.server.listen[1].ToString(), "tcp:[::1]:8080");
  EXPECT_EQ(options.server.io_threads, 3U);
  EXPECT_THAT(options.server.allow_uids, ::testing::ElementsAre(1000));
  EXPECT_FALSE(options.server.require_token);
  EXPECT_TRUE(options.server.allow_remote);
  EXPECT_EQ(options.workers, 2U);
  EXPECT_EQ(options.server.limits.max_body_bytes, 100U);
  EXPECT_EQ(options.server.limits.header_timeout, 250ms);
  EXPECT_EQ(options.server.limits.drain_timeout, 0ms);

  Hyrnd::Options defaults;
  ASSERT_EQ(Parse({}, &defaults, &err), -1);
  ASSERT_EQ(defaults.server.listen.size(), 1U);
  EXPECT_EQ(defaults.server.listen[0].ToString(), Address::DaemonDefault().ToString());
  EXPECT_TRUE(defaults.server.require_token);
  EXPECT_FALSE(defaults.server.allow_remote);

  Hyrnd::Options bad;
  EXPECT_EQ(Parse({"--listen", "tcp:localhost"}, &bad, &err), 2);
  EXPECT_THAT(err, ::testing::HasSubstr("HOST:PORT"));
  EXPECT_EQ(Parse({"--max-body-bytes", "lots"}, &bad, &err), 2);
  EXPECT_EQ(Parse({"--help"}, &bad, &err), 0);
}

// --workers N runs the provider's calls on threads of their own, 0 on the thread that read
// the call; a call's log line gives its time, peer, operation, status and duration.
TEST(HyrndCalls, RunWhereTheWorkersSayAndAreLoggedInOneLine) {
  auto const thread_of = [](std::size_t workers) {
    auto const executor = Hyrnd::MakeCallExecutor(workers);
    std::promise<std::thread::id> ran;
    executor->Post([&ran] { ran.set_value(std::this_thread::get_id()); });
    return ran.get_future().get();
  };
  EXPECT_EQ(thread_of(0), std::this_thread::get_id());
  EXPECT_NE(thread_of(2), std::this_thread::get_id());

  ::Ormi::Transport::CallRecord record;
  record.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1'765'000'000'123));
  record.peer = "unix uid=0 pid=7";
  record.service = "com.norval.hyrn.host_settings.config";
  record.operation = "get";
  record.status = 200;
  record.duration = 1234ms;
  EXPECT_EQ(Hyrnd::FormatCallRecord(record),
            "2025-12-06T05:46:40.123Z unix uid=0 pid=7 com.norval.hyrn.host_settings.config/get "
            "200 1234ms");
  record.service.clear();  // refused before its target was read
  record.status = 400;
  EXPECT_THAT(Hyrnd::FormatCallRecord(record), ::testing::HasSubstr(" pid=7 - 400 "));
}

// Starts hyrnd with `arguments`, its standard error going to `log`.
pid_t StartDaemon(std::vector<std::string> arguments, std::string const& log) {
  arguments.insert(arguments.begin(), HYRND_PATH);
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t const child = ::fork();
  if (child == 0) {
    int const fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return child;
}

TEST(HyrndProcess, ServesTheExampleProviderLogsEachCallAndStopsOnSigterm) {
  TempDir dir;
  std::string const socket = dir.Path("run/hyrnd.sock");
  pid_t const daemon = StartDaemon({"--listen", "unix:" + socket}, dir.Path("log"));
  ASSERT_GT(daemon, 0);
  for (int i = 0; i < 250 && ::access(socket.c_str(), F_OK) != 0; ++i) {
    std::this_thread::sleep_for(20ms);
  }
  auto channel = std::make_shared<::Ormi::Transport::Channel>(Address::Unix(socket),
                                                              ::Ormi::Transport::ClientOptions{});
  ConfigSvc::AsyncServiceStub stub(channel);
  std::promise<bool> answered;
  using Spec = std::shared_ptr<::Com::Norval::Hyrn::HostSettings::ConfigSpec const>;
  stub.Get("host-01", nullptr,
           ::BindingTest::Result<Spec>(::BindingTest::Result<Spec>::Callback(
               [&answered](boost::optional<Spec> const& spec, ::Ormi::ErrorPtr const& error,
                           ::Ormi::Progress const& /*progress*/) {
                 if (spec || error) answered.set_value(spec && *spec && !error);
               })));
  auto future = answered.get_future();
  ASSERT_EQ(future.wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(future.get());

  // It offers the introspection service: the fourteen services, the tasks service and itself.
  using Introspection = ::Ormi::Services::IntrospectionSvc;
  using Services = Introspection::ListMethod::ValueType;
  std::promise<std::size_t> listed;
  Introspection::AsyncServiceStub(channel).List(
      nullptr,
      Introspection::ListMethod::ResultType(Introspection::ListMethod::ResultType::Callback(
          [&listed](boost::optional<Services> const& services, ::Ormi::ErrorPtr const& error,
                    ::Ormi::Progress const& /*p*/) {
            if (services || error) listed.set_value(services ? services->size() : 0);
          })));
  auto count = listed.get_future();
  ASSERT_EQ(count.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(count.get(), 16U);

  ::kill(daemon, SIGTERM);
  int status = -1;
  ::waitpid(daemon, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  std::ifstream file(dir.Path("log"));
  std::string const log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_THAT(log, ::testing::ContainsRegex(
                       "Z unix uid=[0-9]+ pid=[0-9]+ com.norval.hyrn.host_settings.config/get 200 "
                       "[0-9]+ms"));
  EXPECT_NE(::access(socket.c_str(), F_OK), 0);  // removed on the way out
}

}  // namespace
}  // namespace TransportTest
