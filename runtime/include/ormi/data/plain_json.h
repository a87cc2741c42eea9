// The plain JSON form of values, driven by their definitions, and its JSON Schema (described in
// docs/wire.md, "Plain JSON"). Unlike the canonical form (ormi/data/json.h) it carries no tags:
// the definition tells how to read each part, so a person can write it by hand.
#pragma once

#include <list>
#include <string>

#include <boost/utility/string_view.hpp>

#include "ormi/data/definition.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/message.h"

namespace Ormi::Data {

// Writes `value` as the plain JSON text of `definition`: compact, structure fields in name
// order. False, with messages naming the path, when the value does not fit the definition (it
// is validated first) or cannot be written (a map with a key twice); `out` is then unchanged.
// Iterative: the nesting depth of the value does not grow the call stack.
bool ToPlainJson(DataValue const& value, DataDefinition const& definition, std::string* out,
                 std::list<BaseMessage>& messages);

// Reads the plain JSON text of a value of `definition`. On success stores a value that passes
// `Validate` against `definition` and returns true; otherwise appends messages (the position
// of malformed text, or the path into the value and what was expected there) and leaves `out`
// unchanged. Iterative, like the writer; `limits` bound the text as for the canonical form.
bool FromPlainJson(boost::string_view text, DataDefinition const& definition, ValuePtr* out,
                   std::list<BaseMessage>& messages, JsonLimits const& limits = {});

// The JSON Schema (draft 2020-12) of the plain JSON form of `definition`, as compact JSON
// text. Every structure is described once under "$defs" and referred to with "$ref".
std::string ToJsonSchema(DataDefinition const& definition);

}  // namespace Ormi::Data
