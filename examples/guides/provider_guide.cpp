// The provider guide's code (docs/provider-guide.md shows the regions between the snippet
// markers): a service implementation, completing its results, binding and registering it.
// Running it calls the service once through a stub and checks the answers.
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "com/norval/hyrn/host_settings/host_settings.h"
#include "ormi/data/make_native_error.h"
#include "ormi/in_process/connector.h"

// [snippet:implement]
namespace Hs = Com::Norval::Hyrn::HostSettings;
namespace Errors = Com::Norval::Ormi::Std::Errors;

// The base image version of each host, behind host_settings.software.hyrn.
class BaseImageVersions : public Hs::Software::HyrnSvc::AsyncServiceInterface {
 public:
  void Get(std::string const& host,
           std::shared_ptr<Ormi::Core::AsyncActivation> const& /*activation*/,
           Ormi::AsyncResult<std::string> const& result) override {
    std::lock_guard<std::mutex> const lock(mutex_);  // calls may arrive on any thread
    auto const found = versions_.find(host);
    if (found == versions_.end()) {
      result.SetError(NotFound(host));  // one of the errors `get` declares
      return;
    }
    result.SetResult(found->second);  // exactly one completion per call
  }

  void Set(std::string const& host, std::string const& version,
           std::shared_ptr<Ormi::Core::AsyncActivation> const& /*activation*/,
           Ormi::AsyncResult<Ormi::Void> const& result) override {
    result.ReportProgress(Ormi::Progress{0, 2, 1});  // optional, any number of times
    std::lock_guard<std::mutex> const lock(mutex_);
    versions_[host] = version;
    result.SetResult(Ormi::Void());
  }
  // [end]

  // [snippet:native-error]
  // A standard error in its native form, with a message a client can show (or translate).
  static Ormi::Data::NativeError NotFound(std::string const& host) {
    auto message = std::make_shared<Com::Norval::Ormi::Std::LocalizableMessage>();
    message->id = "com.norval.hyrn.example.host.unknown";
    message->default_message = "Host " + host + " is not known.";
    message->args = {host};
    auto error = std::make_shared<Errors::NotFound>();
    error->messages.push_back(message);
    return Ormi::Data::MakeNativeError(std::shared_ptr<Errors::NotFound const>(error));
  }
  // [end]

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> versions_{{"host-01", "8.0.2"}};
};

int main() {
  // [snippet:bind]
  auto registry = std::make_shared<Ormi::InProcess::Registry>();
  auto implementation = std::make_shared<BaseImageVersions>();
  bool const registered = registry->Register(
      Hs::Software::HyrnSvc::AsyncServiceBinder::BindImplementation(implementation));
  // `registered` is false when the service's name is taken already.
  // [end]

  // Call it once through a stub, inline, and check both answers.
  auto channel = std::make_shared<Ormi::InProcess::Channel>(
      registry, std::make_shared<Ormi::InProcess::InlineExecutor>());
  Hs::Software::HyrnSvc::AsyncServiceStub stub(channel);
  std::string version;
  std::string error;
  auto record = [&](boost::optional<std::string> const& value, Ormi::ErrorPtr const& failure,
                    Ormi::Progress const& /*progress*/) {
    version = value.value_or("");
    error = failure ? failure->name() : "";
  };
  stub.Get("host-01", nullptr,
           Ormi::AsyncResult<std::string>(Ormi::AsyncResult<std::string>::Callback(record)));
  bool const found = version == "8.0.2";
  stub.Get("host-99", nullptr,
           Ormi::AsyncResult<std::string>(Ormi::AsyncResult<std::string>::Callback(record)));
  bool const refused = error == "com.norval.ormi.std.errors.not_found";
  std::cout << "registered: " << registered << ", found: " << found << ", refused: " << refused
            << "\n";
  return registered && found && refused ? 0 : 1;
}
