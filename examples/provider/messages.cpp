#include "provider/messages.h"

namespace Example {

LocalizableMessagePtr Localizable(::Ormi::BaseMessage const& message) {
  auto localizable = std::make_shared<::Com::Norval::Ormi::Std::LocalizableMessage>();
  localizable->id = message.id;
  localizable->default_message = message.defaultMessage;
  localizable->args = message.args;
  return localizable;
}

}  // namespace Example
