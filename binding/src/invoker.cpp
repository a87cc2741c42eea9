#include "ormi/stub/invoker.h"

#include "ormi/binding/frame.h"
#include "ormi/core/call.h"
#include "ormi/data/error_names.h"

namespace Ormi::Stub::Detail {

ErrorPtr ResultError(Core::MethodResult const& result) {
  if (result.error()) {
    return result.error();
  }
  if (!result.output()) {
    return Binding::MakeError(Data::ErrorName::kInternalServerError, MessageId::kResultEmpty);
  }
  return nullptr;
}

}  // namespace Ormi::Stub::Detail
