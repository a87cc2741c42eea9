// What the provider and client halves of the frame share: the request localizers and the
// errors the frame makes itself.
#pragma once

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
#include "ormi/types.h"

namespace Ormi::Binding {

// The activation's localizer and locale when the localizer is present and not empty and the
// locale is present; the runtime's default request localizer otherwise.
L10n::RequestLocalizer SelectRequestLocalizer(
    std::shared_ptr<Core::AsyncActivation> const& activation);

// The error an answer sends: `error` or, without one, `native` converted, each localized under
// the request localizer of `activation`. Null when there is neither; no localizer is made then.
ErrorPtr ErrorToSend(ErrorPtr const& error, boost::optional<Data::NativeError> const& native,
                     std::shared_ptr<Core::AsyncActivation> const& activation);

// `activation`, or a fresh activation with a new execution context when it is null.
std::shared_ptr<Core::AsyncActivation> EnsureActivation(
    std::shared_ptr<Core::AsyncActivation> const& activation);

// An error value carrying `messages`.
ErrorPtr MakeError(std::string const& name, std::list<BaseMessage> const& messages);
// An error value carrying one message: `message_id` with its default text, no arguments.
ErrorPtr MakeError(std::string const& name, std::string const& message_id);

}  // namespace Ormi::Binding
