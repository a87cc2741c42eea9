#include "ormi/data/native_error.h"

#include <list>
#include <string>

#include "ormi/data/error_names.h"
#include "ormi/message.h"

namespace Ormi::Data {
namespace {

char const kMessagesField[] = "messages";

// `error` with the texts of its messages localized; `error` itself when no text changes.
std::shared_ptr<ErrorValue const> Localized(std::shared_ptr<ErrorValue const> const& error,
                                            L10n::RequestLocalizer const& localizer) {
  if (!localizer.localizer() || localizer.localizer()->empty()) {
    return error;
  }
  std::list<BaseMessage> messages = error->messages();
  bool changed = false;
  for (auto& message : messages) {
    std::string text = localizer.Localize(message);
    changed = changed || text != message.defaultMessage;
    message.defaultMessage = std::move(text);
  }
  if (!changed) {
    return error;
  }
  auto copy = ErrorValue::Create(error->name(), messages);
  for (auto const& field : error->fields()) {
    if (field.first != kMessagesField) {
      copy->SetField(field.first, field.second);
    }
  }
  return copy;
}

}  // namespace

std::shared_ptr<ErrorValue const> NativeError::ToErrorValue(
    L10n::RequestLocalizer const& localizer) const {
  return converter_ ? converter_(localizer) : nullptr;
}

std::shared_ptr<ErrorValue const> NativeErrorHelper::GetError(
    std::shared_ptr<ErrorValue const> const& error, boost::optional<NativeError> const& native,
    L10n::RequestLocalizer const& localizer) {
  std::shared_ptr<ErrorValue const> chosen = error;
  if (!chosen && native) {
    chosen = native->ToErrorValue(localizer);
    if (!chosen) {
      chosen = ErrorValue::Create(ErrorName::kInternalServerError,
                                  {Message<CoreTag>(MessageId::kNativeErrorUnconvertible)});
    }
  }
  return chosen ? Localized(chosen, localizer) : nullptr;
}

}  // namespace Ormi::Data
