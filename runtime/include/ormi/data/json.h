// The canonical JSON form of values and definitions (described in docs/json.md).
#pragma once

#include <cstddef>
#include <list>
#include <string>

#include <boost/utility/string_view.hpp>

#include "ormi/data/definition.h"
#include "ormi/data/value.h"
#include "ormi/message.h"

namespace Ormi::Data {

// Bounds on the input that FromJson and FromPlainJson accept.
struct JsonLimits {
  // The parser takes stack space for each level of nesting, so no limit reaches deeper than
  // this: a deeper text is refused as too deep, never read at the cost of the stack.
  static constexpr std::size_t kMaxDepthCeiling = 4096;

  // Deepest nesting of JSON arrays and objects (at most kMaxDepthCeiling). A structure takes
  // two levels (the tagged object and its "fields"), an optional, a map or a tagged scalar one,
  // a plain list one.
  std::size_t maxDepth = 512;
  // Largest input in bytes.
  std::size_t maxInputBytes = std::size_t{64} * 1024 * 1024;
};

// The canonical JSON text of a value: compact, fields in name order, so equal values give
// equal text. Iterative: the nesting depth of the value does not grow the call stack.
std::string ToJson(DataValue const& value);
// Appends the canonical JSON text of `value` to `out`: a caller that writes many values can
// give the same buffer each time and keep its memory.
void AppendJson(DataValue const& value, std::string* out);

// Reads the canonical JSON text of a value. On success stores it in `out` and returns
// true; otherwise appends messages (with the position of malformed text) and leaves `out`
// unchanged.
bool FromJson(boost::string_view text, ValuePtr* out, std::list<BaseMessage>& messages,
              JsonLimits const& limits = {});

// The JSON text of a definition; a structure reference is written by name only.
std::string ToJson(DataDefinition const& definition);

}  // namespace Ormi::Data
