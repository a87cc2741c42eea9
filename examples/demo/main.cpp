// The demo: the example provider's fourteen services bound and registered in a registry, and
// a client that calls every operation through stubs over a channel: the in-process channel,
// or with --unix-socket the HTTP channel to a server of the registry on a unix socket in a
// temporary folder. Prints a transcript of each call and ends with "<N> calls, <M> failures";
// exits 0 only when every call answered as expected and every operation was called.
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <iostream>
#include <list>
#include <memory>
#include <set>
#include <string>

#include "com/norval/hyrn/host_settings/host_settings_services.h"
#include "com/norval/hyrn/hosts/hosts_services.h"
#include "com/norval/hyrn/settings_daemon/settings_daemon_services.h"
#include "com/norval/hyrn/software/software_services.h"
#include "demo/calls.h"
#include "demo/transcript.h"
#include "ormi/binding/operation_list.h"
#include "ormi/in_process/connector.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/server.h"
#include "provider/provider.h"

namespace {

// "<service> <name it is called under>" of every generated operation.
std::set<std::string> AllOperations() {
  std::set<std::string> all;
  auto add = [&all](auto service) {
    using Service = decltype(service);
    std::string const id = Ormi::Data::TypeInfo<typename Service::AsyncServiceInterface>::name();
    Ormi::Binding::ForEach(typename Service::Operations{}, [&](auto entry) {
      using Method = typename decltype(entry)::MethodType;
      if constexpr (Method::kTask) {
        all.insert(id + " " + Method::taskMethodName());
      } else {
        all.insert(id + " " + Method::methodName());
      }
    });
  };
  Ormi::Binding::ForEach(Com::Norval::Hyrn::HostSettings::AllServices{}, add);
  Ormi::Binding::ForEach(Com::Norval::Hyrn::Hosts::AllServices{}, add);
  Ormi::Binding::ForEach(Com::Norval::Hyrn::SettingsDaemon::AllServices{}, add);
  Ormi::Binding::ForEach(Com::Norval::Hyrn::Software::AllServices{}, add);
  return all;
}

// A server of the registry on a unix socket in a folder of its own, removed with it.
class SocketServer {
 public:
  SocketServer(std::shared_ptr<Ormi::InProcess::Registry> const& registry,
               std::shared_ptr<Ormi::InProcess::Executor> const& executor) {
    char pattern[] = "/tmp/hyrn-demo-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    folder_ = pattern;
    address_ = Ormi::Transport::Address::Unix(folder_ + "/hyrnd.sock");
    Ormi::Transport::ServerOptions options;
    options.listen = {address_};
    server_ = std::make_unique<Ormi::Transport::Server>(registry, executor, std::move(options));
    std::list<Ormi::BaseMessage> messages;
    started_ = server_->Start(messages);
    for (auto const& message : messages) std::cerr << message.defaultMessage << "\n";
  }
  SocketServer(SocketServer const&) = delete;
  SocketServer& operator=(SocketServer const&) = delete;
  ~SocketServer() {
    if (server_) server_->Stop();
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  bool started() const { return started_; }
  Ormi::Transport::Address const& address() const { return address_; }

 private:
  std::string folder_;
  Ormi::Transport::Address address_;
  std::unique_ptr<Ormi::Transport::Server> server_;
  bool started_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  bool const over_socket = argc == 2 && std::strcmp(argv[1], "--unix-socket") == 0;
  if (argc > 1 && !over_socket) {
    std::cerr << "usage: " << argv[0] << " [--unix-socket]\n";
    return 2;
  }
  auto model = std::make_shared<Example::HostModel>();
  Example::AddSampleHosts(*model);
  // Calls are served on two threads; task work runs on a thread of its own.
  auto calls = std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(2);
  auto work = std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(1);
  Example::Provider const provider(model, "host-01", work);
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  if (!provider.RegisterAll(*registry)) {
    std::cerr << "could not register the services\n";
    return 1;
  }
  std::unique_ptr<SocketServer> server;
  std::shared_ptr<Ormi::Stub::AsyncApiStub> channel;
  if (over_socket) {
    server = std::make_unique<SocketServer>(registry, calls);
    if (!server->started()) return 1;
    channel = std::make_shared<Ormi::Transport::Channel>(server->address(),
                                                         Ormi::Transport::ClientOptions{});
  } else {
    channel = std::make_shared<Ormi::InProcess::Channel>(registry, calls);
  }

  std::cout << "The example provider serves hosts host-01 (its own host), host-02 and host-03.\n"
               "Each call shows its arguments and its result or error as canonical JSON.\n";
  Demo::Transcript transcript(std::cout, provider.tasks());
  Demo::RunCalls(transcript, channel);
  channel.reset();
  server.reset();
  calls->Drain();
  work->Drain();
  return transcript.Summary(AllOperations()) ? 0 : 1;
}
