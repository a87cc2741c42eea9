// The body codecs: one per media type, each turning an operation's input, output and error
// values into text and back. The canonical codec carries the lossless form of any value;
// the plain codec maps values to ordinary JSON through the operation's definitions.
#pragma once

#include <list>
#include <memory>
#include <string>

#include <boost/utility/string_view.hpp>

#include "ormi/data/definition.h"
#include "ormi/data/json.h"
#include "ormi/data/value.h"
#include "ormi/message.h"

namespace Ormi::Transport {

class BodyCodec {
 public:
  BodyCodec() = default;
  BodyCodec(BodyCodec const&) = delete;
  BodyCodec& operator=(BodyCodec const&) = delete;
  virtual ~BodyCodec() = default;

  virtual char const* mediaType() const = 0;
  // Writes `value`, which fits `definition`, in place of the text in `out`, whose memory it
  // may reuse. False with messages when it cannot be written.
  virtual bool Encode(Data::DataValue const& value, Data::DataDefinition const& definition,
                      std::string* out, std::list<BaseMessage>& messages) const = 0;
  // Reads a value of `definition`. False with messages, `out` unchanged, on bad text.
  virtual bool Decode(boost::string_view text, Data::DataDefinition const& definition,
                      Data::ValuePtr* out, std::list<BaseMessage>& messages,
                      Data::JsonLimits const& limits) const = 0;
};

// The type of a Content-Type value: up to the first ';', blanks trimmed, lower case; empty
// when the value names none.
std::string MediaTypeOf(boost::string_view content_type);

// The codec of a Content-Type value (parameters such as "; charset=utf-8" are ignored, the
// type is compared without regard to case), or null when none serves it.
BodyCodec const* FindCodec(boost::string_view content_type);

// The media types served, comma-separated, for messages.
std::string SupportedMediaTypes();

}  // namespace Ormi::Transport
