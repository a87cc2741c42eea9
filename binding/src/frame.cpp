#include "ormi/binding/frame.h"

#include <list>
#include <memory>
#include <string>

#include <boost/optional.hpp>

#include "ormi/async_result.h"
#include "ormi/core/call.h"
#include "ormi/data/native_error.h"
#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"
#include "ormi/message.h"

namespace Ormi {
namespace Binding {

L10n::RequestLocalizer SelectRequestLocalizer(
    std::shared_ptr<Core::AsyncActivation> const& activation) {
  if (activation && activation->localizer() && !activation->localizer()->empty() &&
      activation->localeSpec()) {
    return {activation->localizer(), *activation->localeSpec()};
  }
  return L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
}

ErrorPtr ErrorToSend(ErrorPtr const& error, boost::optional<Data::NativeError> const& native,
                     std::shared_ptr<Core::AsyncActivation> const& activation) {
  if (!error && !native) return nullptr;
  return Data::NativeErrorHelper::GetError(error, native, SelectRequestLocalizer(activation));
}

std::shared_ptr<Core::AsyncActivation> EnsureActivation(
    std::shared_ptr<Core::AsyncActivation> const& activation) {
  if (activation) {
    return activation;
  }
  return std::make_shared<Core::AsyncActivation>();
}

ErrorPtr MakeError(std::string const& name, std::list<BaseMessage> const& messages) {
  return Data::ErrorValue::Create(name, messages);
}

ErrorPtr MakeError(std::string const& name, std::string const& message_id) {
  return MakeError(name, std::list<BaseMessage>{Message<CoreTag>(message_id)});
}

}  // namespace Binding

namespace Detail {

ErrorPtr MergeNativeError(ErrorPtr const& error, boost::optional<Data::NativeError> const& native) {
  return Data::NativeErrorHelper::GetError(
      error, native, L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer());
}

}  // namespace Detail
}  // namespace Ormi
