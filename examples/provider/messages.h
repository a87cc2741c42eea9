// Messages of the example provider: localizable messages for notifications, and the standard
// errors it answers with, each carrying one message.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "com/norval/ormi/std/errors/errors.h"
#include "com/norval/ormi/std/std.h"
#include "ormi/data/make_native_error.h"
#include "ormi/message.h"

namespace Example {

using LocalizableMessagePtr = std::shared_ptr<::Com::Norval::Ormi::Std::LocalizableMessage const>;

// A message of the example catalogue: "com.norval.hyrn.example." + `id`, the text filled with
// the arguments ("{1}", "{2}", ...), and the arguments kept for translation.
template <typename... Args>
::Ormi::BaseMessage Text(std::string const& id, std::string const& text, Args&&... args) {
  return ::Ormi::MakeMessage("com.norval.hyrn.example." + id, text, std::forward<Args>(args)...);
}

LocalizableMessagePtr Localizable(::Ormi::BaseMessage const& message);

// A standard error of type `E` (one of Com::Norval::Ormi::Std::Errors) with one message.
template <typename E>
::Ormi::Data::NativeError Fail(::Ormi::BaseMessage const& message) {
  auto error = std::make_shared<E>();
  error->messages.push_back(Localizable(message));
  return ::Ormi::Data::MakeNativeError(std::shared_ptr<E const>(std::move(error)));
}

}  // namespace Example
