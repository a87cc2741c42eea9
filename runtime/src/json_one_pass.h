// What the one-pass readers of both JSON forms share (internal to ormi_core): the handler
// events they treat alike, and running Boost.JSON's parser over a whole text within the limits.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

#include <boost/json/basic_parser_impl.hpp>

#include "json_detail.h"

namespace Ormi::Data::Detail {

// The base of a one-pass reader's handler: keys, strings and numbers that the parser hands
// over in parts are gathered until whole; comments and the document's ends need nothing.
// A handler that meets what it does not read gives up, which stops the parser.
class OnePassHandler : public ParserSizes {
 public:
  bool on_document_begin(boost::json::error_code& /*ec*/) { return true; }
  bool on_document_end(boost::json::error_code& /*ec*/) { return true; }
  bool on_key_part(boost::json::string_view s, std::size_t /*n*/, boost::json::error_code& /*ec*/) {
    return part_.append(s.data(), s.size()), true;
  }
  bool on_string_part(boost::json::string_view s, std::size_t /*n*/,
                      boost::json::error_code& /*ec*/) {
    return part_.append(s.data(), s.size()), true;
  }
  bool on_number_part(boost::json::string_view s, boost::json::error_code& /*ec*/) {
    return number_.append(s.data(), s.size()), true;
  }
  bool on_comment_part(boost::json::string_view /*s*/, boost::json::error_code& /*ec*/) {
    return true;
  }
  bool on_comment(boost::json::string_view /*s*/, boost::json::error_code& /*ec*/) { return true; }

 protected:
  static bool GiveUp(boost::json::error_code& ec) {
    ec = boost::json::error::syntax;
    return false;
  }

  // The text of a key or string whose last part is `last`; PartDone once it is used.
  boost::json::string_view Whole(boost::json::string_view last) {
    if (part_.empty()) return last;
    part_.append(last.data(), last.size());
    return part_;
  }
  void PartDone() { part_.clear(); }

  // The double of a number with a fraction or exponent whose last part is `last`, correctly
  // rounded (`parsed` is the parser's own conversion); NumberDone for any other number.
  double Rounded(boost::json::string_view last, double parsed) {
    return CorrectlyRounded(number_, last, parsed);
  }
  void NumberDone() { number_.clear(); }

 private:
  std::string part_;    // the parts of a key or string read so far
  std::string number_;  // the parts of a number read so far
};

// Parses all of `text` within `limits` with a `Handler` made of `args`. False when the text is
// too large, is not one JSON document or the handler gave up; otherwise what `done(handler)`
// returns, which takes the value read.
template <typename Handler, typename Done, typename... Args>
bool ParseInOnePass(boost::string_view text, JsonLimits const& limits, Done&& done,
                    Args&&... args) {
  if (text.size() > limits.maxInputBytes) return false;
  boost::json::basic_parser<Handler> parser(ParseOptions(limits), std::forward<Args>(args)...);
  boost::json::error_code error;
  std::size_t const used = parser.write_some(false, text.data(), text.size(), error);
  return !error && used == text.size() && std::forward<Done>(done)(parser.handler());
}

}  // namespace Ormi::Data::Detail
