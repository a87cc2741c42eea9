// Binds a provider of host_settings.config, calls it through a stub over the in-process
// connector and prints the answer: the smallest complete use of the installed library. Then
// converts a structure of its own (bookmark.h) both ways and prints its definition.
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

  bool answered = false;
  Hs::ConfigSvc::AsyncServiceStub stub(channel);
  stub.Get("host1", nullptr,
           Ormi::AsyncResult<std::shared_ptr<Hs::ConfigSpec const>>(
               Ormi::AsyncResult<std::shared_ptr<Hs::ConfigSpec const>>::Callback(
                   [&answered](boost::optional<std::shared_ptr<Hs::ConfigSpec const>> const& spec,
                               Ormi::ErrorPtr const& error, Ormi::Progress const&) {
                     if (!spec) {
                       std::cout << "error: " << (error ? error->name() : "none") << "\n";
                       return;
                     }
                     Ormi::Data::ValuePtr value;
                     std::list<Ormi::BaseMessage> messages;
                     answered = Ormi::Data::ToValue(*spec, &value, messages);
                     std::cout << "config of host1: " << Ormi::Data::ToJson(*value) << "\n";
                   })));
  return answered && RoundTripOwnStructure() ? 0 : 1;
}
