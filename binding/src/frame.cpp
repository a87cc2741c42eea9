#include "ormi/binding/frame.h"

#include <list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <boost/optional.hpp>

#include "ormi/async_result.h"
#include "ormi/core/call.h"
#include "ormi/data/native_error.h"
#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"
#include "ormi/message.h"
#include "ormi/types.h"

namespace Ormi::Binding {

Progress TerminalProgress() { return Progress{0, 1, 1}; }

L10n::RequestLocalizer DefaultRequestLocalizer() {
  std::vector<L10n::LanguagePreference> languages{
      L10n::LocaleHelpers::MakeLanguagePreference("en_US"),
      L10n::LocaleHelpers::MakeLanguagePreference("C")};
  return {std::make_shared<L10n::Localizer>(),
          L10n::LocaleSpec(std::move(languages), L10n::TimezoneSpec("Etc/UTC"))};
}

L10n::RequestLocalizer SelectRequestLocalizer(
    std::shared_ptr<Core::AsyncActivation> const& activation) {
  if (activation && activation->localizer() && !activation->localizer()->empty() &&
      activation->localeSpec()) {
    return {activation->localizer(), *activation->localeSpec()};
  }
  return L10n::RequestLocalizerHelper::GetDefaultRequestLocalizer();
}

std::shared_ptr<Core::AsyncActivation> EnsureActivation(
    std::shared_ptr<Core::AsyncActivation> const& activation) {
  if (activation) {
    return activation;
  }
  return std::make_shared<Core::AsyncActivation>(std::make_shared<Core::ExecutionContext>());
}

ErrorPtr MakeError(std::string const& name, std::list<BaseMessage> const& messages) {
  return Data::ErrorValue::Create(name, messages);
}

ErrorPtr MakeError(std::string const& name, std::string const& message_id) {
  return MakeError(name, std::list<BaseMessage>{Message<CoreTag>(message_id)});
}

ErrorPtr MergeNativeError(ErrorPtr const& error, boost::optional<Data::NativeError> const& native) {
  return Data::NativeErrorHelper::GetError(error, native, DefaultRequestLocalizer());
}

}  // namespace Ormi::Binding
