// The base of every native structure: the fields of an incoming value that the structure
// does not declare, kept so that they survive a round trip.
#pragma once

#include <memory>

#include "ormi/data/value.h"

namespace Ormi::Data {

class BaseNative {
 public:
  // A structure value named "unknownFields" holding the undeclared fields; null when the
  // structure has none.
  std::shared_ptr<StructValue> unknownFields;
};

}  // namespace Ormi::Data
