// Pieces of the canonical JSON form that the plain JSON form reuses (internal to ormi_core).
#pragma once

#include <algorithm>
#include <cstddef>
#include <list>
#include <string>
#include <utility>

#include <boost/json/parse_options.hpp>
#include <boost/json/string_view.hpp>
#include <boost/json/value.hpp>
#include <boost/utility/string_view.hpp>

#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/message.h"

namespace Ormi::Data::Detail {

// Appends the message `id` of the core catalogue with `args`; false.
template <typename... Args>
bool Fail(std::list<BaseMessage>& messages, std::string const& id, Args&&... args) {
  messages.push_back(Message<CoreTag>(id, std::forward<Args>(args)...));
  return false;
}

// `text` as a JSON string, quoted and escaped.
std::string QuoteJson(boost::string_view text);

// Padded base64 in the standard alphabet, and back; decoding is false on any other text.
std::string EncodeBase64(std::string const& bytes);
bool DecodeBase64(boost::json::string_view text, std::string* out);

// The scalar of `kind` that a JSON string stands for: the text itself for a string or a
// secret, a date-time, the bytes of base64 for a blob, or the double that "NaN", "Infinity" or
// "-Infinity" names. Null when the text is none of these, or `kind` takes no string.
ValuePtr ScalarOfText(ValueKind kind, boost::json::string_view text);

// The same for the scalar under the tag "$secret", "$blob", "$datetime" or "$double" of the
// canonical form; null for another tag.
ValuePtr TaggedTextValue(boost::json::string_view tag, boost::json::string_view text);

// The double of a number's text: the parts read so far in `parts` (cleared afterwards) and
// `last`. Converted with std::from_chars, which rounds correctly; the parser's own `parsed`
// can be one unit in the last place off. Out of range leaves `parsed` (an infinity or zero).
double CorrectlyRounded(std::string& parts, boost::json::string_view last, double parsed);

// A double in the shortest form that reads back the same; NaN and the infinities as the JSON
// strings "NaN", "Infinity" and "-Infinity".
std::string DoubleText(double value);

// The sizes a handler of Boost.JSON's parser must declare: those of Boost's own containers.
struct ParserSizes {
  static constexpr std::size_t max_object_size = boost::json::object::max_size();
  static constexpr std::size_t max_array_size = boost::json::array::max_size();
  static constexpr std::size_t max_key_size = boost::json::string::max_size();
  static constexpr std::size_t max_string_size = boost::json::string::max_size();
};

// The parser's options within `limits`: the depth at most JsonLimits::kMaxDepthCeiling, since
// the parser takes stack space for each level (see json_parse.cpp).
inline boost::json::parse_options ParseOptions(JsonLimits const& limits) {
  boost::json::parse_options options;
  options.max_depth = std::min(limits.maxDepth, JsonLimits::kMaxDepthCeiling);
  return options;
}

// Parses `text` within `limits` into `out`, allocating from the memory resource `out` has
// (see json_parse.cpp). With `unique_keys`, an object that has a key twice
// is malformed. False with a message (too large, too deep or malformed, with the position)
// otherwise.
bool ParseJson(boost::string_view text, JsonLimits const& limits, bool unique_keys,
               boost::json::value* out, std::list<BaseMessage>& messages);

// Reads canonical JSON text in the exact form ToJson writes, in one pass (json_read_direct.cpp).
// False, with no message and `out` unchanged, for any text it does not read; the tree reader
// then reads that text or says what is wrong with it.
bool ReadCanonicalDirect(boost::string_view text, JsonLimits const& limits, ValuePtr* out);

// Reads a parsed JSON node as the canonical form of a value. `root` names the node in the
// paths of messages ("$" for a whole document).
bool ReadCanonical(boost::json::value const& node, std::string root, ValuePtr* out,
                   std::list<BaseMessage>& messages);

}  // namespace Ormi::Data::Detail
