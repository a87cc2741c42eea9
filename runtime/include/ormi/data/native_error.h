// Native errors: an error in the native form of the layer that raised it, turned into an
// error value only when it is sent.
#pragma once

#include <functional>
#include <memory>
#include <utility>

#include <boost/optional.hpp>

#include "ormi/data/value.h"
#include "ormi/l10n/localizer.h"

namespace Ormi::Data {

// A type-erased native error: it knows how to make its error value for a request.
class NativeError {
 public:
  using Converter = std::function<std::shared_ptr<ErrorValue const>(L10n::RequestLocalizer const&)>;

  explicit NativeError(Converter converter) : converter_(std::move(converter)) {}

  // The error value; null when the error has no converter.
  std::shared_ptr<ErrorValue const> ToErrorValue(L10n::RequestLocalizer const& localizer) const;

 private:
  Converter converter_;
};

struct NativeErrorHelper {
  // The error to send: `error` when set, else `native` converted, else null. A native error
  // that yields no value becomes "com.norval.ormi.std.errors.internal_server_error" with
  // "ormi.data.native.error.unconvertible": an error was reported, so the call must not look
  // answered without one. The texts of the messages are localized for the request; an error
  // without a localized message is returned as it is.
  static std::shared_ptr<ErrorValue const> GetError(std::shared_ptr<ErrorValue const> const& error,
                                                    boost::optional<NativeError> const& native,
                                                    L10n::RequestLocalizer const& localizer);
};

}  // namespace Ormi::Data
