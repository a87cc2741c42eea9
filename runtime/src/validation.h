// Validation's quick walk on its own (internal to ormi_core).
#pragma once

#include "ormi/data/definition.h"
#include "ormi/data/value.h"

namespace Ormi::Data::Detail {

// Whether `value` passes Validate against `definition`, found by the walk that makes no
// messages: for a caller that discards the messages, or that builds what names the value in
// them only once the value has failed.
bool Fits(DataDefinition const& definition, DataValue const& value);

}  // namespace Ormi::Data::Detail
