// A server of the test service KeysSvc on a unix socket whose provider misbehaves on request,
// run as a process of its own so that a fault that ends it ends no test:
//   get("throw")  throws instead of answering
//   get("never")  never answers
//   get("twice")  answers, then answers again 200 ms later
//   get("late")   answers 1 s later, whatever the deadline
//   get(other)    answers "value-<key>"
// Usage: hyrn_fault_server unix:PATH. It logs "listening" on stderr once it serves, and runs
// until SIGTERM.
#include <pthread.h>
#include <unistd.h>

#include <csignal>

#include <chrono>
#include <iostream>
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "binding/test_support.h"
#include "ormi/in_process/connector.h"
#include "ormi/transport/server.h"

namespace {

using namespace std::chrono_literals;
using ::BindingTest::Result;

void Misbehave(std::string const& key, Result<std::string> const& result) {
  if (key == "throw") throw std::runtime_error("the provider broke down");
  if (key == "never") return;
  if (key == "twice" || key == "late") {
    std::thread([key, result] {
      if (key == "late") std::this_thread::sleep_for(1s);
      result.SetResult("first");
      if (key != "twice") return;
      std::this_thread::sleep_for(200ms);
      result.SetResult("second");
    }).detach();
    return;
  }
  result.SetResult("value-" + key);
}

}  // namespace

int main(int argc, char** argv) {
  ::Ormi::Transport::Address address;
  std::string reason;
  if (argc != 2 || !::Ormi::Transport::Address::Parse(argv[1], &address, &reason)) {
    std::cerr << "usage: hyrn_fault_server unix:PATH " << reason << "\n";
    return 2;
  }
  sigset_t stop;  // blocked before any thread starts, so that only sigwait sees it
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  auto keys = std::make_shared<::BindingTest::FakeKeys>();
  keys->get = Misbehave;
  auto registry = std::make_shared<::Ormi::InProcess::Registry>();
  registry->Register(::BindingTest::KeysSvc::AsyncServiceBinder::BindImplementation(keys));
  ::Ormi::Transport::ServerOptions options;
  options.listen = {address};
  ::Ormi::Transport::Server server(
      registry, std::make_shared<::Ormi::InProcess::ThreadPoolExecutor>(2), options);
  std::list<::Ormi::BaseMessage> messages;
  if (!server.Start(messages)) {
    for (auto const& message : messages) std::cerr << message.defaultMessage << "\n";
    return 1;
  }
  std::cerr << "listening" << std::endl;
  int received = 0;
  ::sigwait(&stop, &received);
  return 0;
}
