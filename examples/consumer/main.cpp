// Binds a provider of host_settings.config, calls it through a stub over the in-process
// connector and over HTTP on a unix socket, and prints the answers: the smallest complete use
// of the installed library. Then converts a structure of its own (bookmark.h) both ways and
// prints its definition.
#include <unistd.h>

#include <cstdio>
#include <future>
#include <iostream>
#include <list>
#include <memory>
#include <string>

#include "bookmark.h"
#include "com/norval/hyrn/host_settings/host_settings.h"
#include "ormi/data/convert.h"
#include "ormi/data/definition.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/in_process/connector.h"
#include "ormi/transport/channel.h"
#include "ormi/transport/server.h"

namespace Hs = Com::Norval::Hyrn::HostSettings;

namespace {

class Config final : public Hs::ConfigSvc::AsyncServiceInterface {
 public:
  void Get(std::string const& host, std::shared_ptr<Ormi::Core::AsyncActivation> const&,
           Ormi::AsyncResult<std::shared_ptr<Hs::ConfigSpec const>> const& result) override {
    auto spec = std::make_shared<Hs::ConfigSpec>();
    spec->components["sshd"] = Ormi::Data::DynamicStructure(
        Ormi::Data::StructValue::GetInstance("com.example." + host + ".sshd"));
    result.SetResult(spec);
  }
};

// Calls host_settings.config get for `host` through a stub over `channel`; true when a
// configuration came back, which is printed.
bool CallGet(std::shared_ptr<Ormi::Stub::AsyncApiStub> const& channel, std::string const& host) {
  using Result = Ormi::AsyncResult<std::shared_ptr<Hs::ConfigSpec const>>;
  std::promise<bool> answered;
  Hs::ConfigSvc::AsyncServiceStub stub(channel);
  stub.Get(
      host, nullptr,
      Result(Result::Callback(
          [&answered, &host](boost::optional<std::shared_ptr<Hs::ConfigSpec const>> const& spec,
                             Ormi::ErrorPtr const& error, Ormi::Progress const&) {
            Ormi::Data::ValuePtr value;
            std::list<Ormi::BaseMessage> messages;
            if (!spec || !Ormi::Data::ToValue(*spec, &value, messages)) {
              std::cout << "error: " << (error ? error->name() : "none") << "\n";
              return answered.set_value(false);
            }
            std::cout << "config of " << host << ": " << Ormi::Data::ToJson(*value) << "\n";
            answered.set_value(true);
          })));
  return answered.get_future().get();
}

// Serves the registry on a unix socket in a fresh folder and calls it through the socket.
bool CallOverUnixSocket(std::shared_ptr<Ormi::InProcess::Registry> const& registry) {
  char folder[] = "/tmp/hyrn-consumer-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return false;
  std::string const socket = std::string(folder) + "/hyrnd.sock";
  auto const address = Ormi::Transport::Address::Unix(socket);
  Ormi::Transport::ServerOptions options;
  options.listen = {address};
  Ormi::Transport::Server server(registry, std::make_shared<Ormi::InProcess::ThreadPoolExecutor>(1),
                                 options);
  std::list<Ormi::BaseMessage> messages;
  bool ok = server.Start(messages);
  if (ok) {
    ok = CallGet(
        std::make_shared<Ormi::Transport::Channel>(address, Ormi::Transport::ClientOptions{}),
        "host2");
    server.Stop();
  }
  ::rmdir(folder);
  return ok;
}

// A bookmark with a parent, to value and back; the value must fit the bookmark's definition.
bool RoundTripOwnStructure() {
  auto parent = std::make_shared<Consumer::Bookmark>();
  parent->title = "docs";
  parent->tags = {"reading"};
  Consumer::Bookmark bookmark;
  bookmark.title = "guide";
  bookmark.url = "file:///guide.html";
  bookmark.parent = parent;

  std::list<Ormi::BaseMessage> messages;
  Ormi::Data::ValuePtr value;
  Consumer::Bookmark back;
  Ormi::Data::ValuePtr again;
  auto const definition = Ormi::Data::DefinitionOf<Consumer::Bookmark>();
  bool const ok = Ormi::Data::ToValue(bookmark, &value, messages) &&
                  Ormi::Data::Validate(*definition, *value, messages) &&
                  Ormi::Data::FromValue(value, &back, messages) &&
                  Ormi::Data::ToValue(back, &again, messages) && Ormi::Data::Equal(*value, *again);
  std::cout << "bookmark: " << Ormi::Data::ToJson(*value) << "\n"
            << "its definition: " << Ormi::Data::ToJson(*definition) << "\n";
  return ok;
}

}  // namespace

int main() {
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  registry->Register(
      Hs::ConfigSvc::AsyncServiceBinder::BindImplementation(std::make_shared<Config>()));
  auto channel = std::make_shared<Ormi::InProcess::Channel>(
      registry, std::make_shared<Ormi::InProcess::InlineExecutor>());
  bool const ok =
      CallGet(channel, "host1") && CallOverUnixSocket(registry) && RoundTripOwnStructure();
  return ok ? 0 : 1;
}
