// The two body codecs: the canonical form, and the plain form driven by the definitions.
#include "ormi/transport/codec.h"

#include <locale>

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/trim.hpp>

#include "ormi/data/json.h"
#include "ormi/data/plain_json.h"
#include "ormi/transport/wire.h"

namespace Ormi::Transport {
namespace {

// The lossless form of any value; definitions are not needed.
class CanonicalCodec final : public BodyCodec {
 public:
  char const* mediaType() const override { return kCanonicalMediaType; }
  bool Encode(Data::DataValue const& value, Data::DataDefinition const& /*definition*/,
              std::string* out, std::list<BaseMessage>& /*messages*/) const override {
    out->clear();
    Data::AppendJson(value, out);
    return true;
  }
  bool Decode(boost::string_view text, Data::DataDefinition const& /*definition*/,
              Data::ValuePtr* out, std::list<BaseMessage>& messages,
              Data::JsonLimits const& limits) const override {
    return Data::FromJson(text, out, messages, limits);
  }
};

class PlainCodec final : public BodyCodec {
 public:
  char const* mediaType() const override { return kPlainMediaType; }
  bool Encode(Data::DataValue const& value, Data::DataDefinition const& definition,
              std::string* out, std::list<BaseMessage>& messages) const override {
    return Data::ToPlainJson(value, definition, out, messages);
  }
  bool Decode(boost::string_view text, Data::DataDefinition const& definition, Data::ValuePtr* out,
              std::list<BaseMessage>& messages, Data::JsonLimits const& limits) const override {
    return Data::FromPlainJson(text, definition, out, messages, limits);
  }
};

struct Codecs {
  CanonicalCodec canonical;
  PlainCodec plain;
};

Codecs const& AllCodecs() {
  static Codecs const codecs;
  return codecs;
}

}  // namespace

std::string MediaTypeOf(boost::string_view content_type) {
  std::string type(content_type.substr(0, content_type.find(';')));
  boost::algorithm::trim_if(type, boost::algorithm::is_any_of(" \t"));
  boost::algorithm::to_lower(type, std::locale::classic());
  return type;
}

BodyCodec const* FindCodec(boost::string_view content_type) {
  std::string const type = MediaTypeOf(content_type);
  Codecs const& codecs = AllCodecs();
  if (type == codecs.canonical.mediaType()) return &codecs.canonical;
  if (type == codecs.plain.mediaType()) return &codecs.plain;
  return nullptr;
}

std::string SupportedMediaTypes() {
  return std::string(kPlainMediaType) + ", " + kCanonicalMediaType;
}

}  // namespace Ormi::Transport
