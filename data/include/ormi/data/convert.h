// One-call conversions of a native object to a value, back, and to its type definition.
#pragma once

#include <list>

#include "ormi/data/definition.h"
#include "ormi/data/native_to_definition.h"
#include "ormi/data/native_to_value.h"
#include "ormi/data/value.h"
#include "ormi/data/value_to_native.h"
#include "ormi/l10n/localizer.h"
#include "ormi/message.h"

namespace Ormi::Data {

// Converts `native` into `*out`; true exactly when no message was appended.
template <typename T>
bool ToValue(T const& native, ValuePtr* out, std::list<BaseMessage>& messages,
             L10n::RequestLocalizer const& localizer) {
  return NativeToValueAdapter::Adapt(&native, NativeToValueAdapter::AdaptMethod<T>::Get(&native),
                                     out, messages, localizer);
}

// The same with the shared default request localizer.
template <typename T>
bool ToValue(T const& native, ValuePtr* out, std::list<BaseMessage>& messages) {
  return ToValue(native, out, messages, L10n::SharedDefaultRequestLocalizer());
}

// Fills `*out` (normally default-constructed) from `value`; true exactly when no message was
// appended. On false `*out` is partly filled and must not be used.
template <typename T>
bool FromValue(ValuePtr const& value, T* out, std::list<BaseMessage>& messages) {
  return ValueToNativeAdapter::Adapt(value, ValueToNativeAdapter::AdaptMethod<T>::Get(out), out,
                                     messages);
}

// A new definition of `T` on every call.
template <typename T>
DefinitionPtr DefinitionOf() {
  DefinitionPtr definition;
  std::list<BaseMessage> const messages;
  NativeToDefinitionAdapter::Adapt(NativeToDefinitionAdapter::AdaptMethod<T>::Get(), &definition,
                                   messages);
  return definition;
}

}  // namespace Ormi::Data
