// Native standard errors as the runtime's type-erased native error.
#pragma once

#include <list>
#include <memory>
#include <utility>

#include "ormi/data/native_error.h"
#include "ormi/data/native_to_value.h"
#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"
#include "ormi/message.h"

namespace Ormi::Data {

// The error value holding the fields of `value`, under the same name.
std::shared_ptr<ErrorValue const> ToErrorValue(ValuePtr const& value);

// Wraps a native error structure; when the error is sent, it is converted to an error value
// with the structure's name and fields. An error that cannot be converted gives null.
template <typename E>
NativeError MakeNativeError(std::shared_ptr<E const> error) {
  return NativeError([error = std::move(error)](L10n::RequestLocalizer const& localizer) {
    ValuePtr value;
    std::list<BaseMessage> messages;
    if (!error ||
        !NativeToValueAdapter::Adapt(error.get(), NativeToValueAdapter::AdaptMethod<E>::Get(),
                                     &value, messages, localizer)) {
      return std::shared_ptr<ErrorValue const>();
    }
    return ToErrorValue(value);
  });
}

}  // namespace Ormi::Data
