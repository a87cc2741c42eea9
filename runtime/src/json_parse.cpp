// Parsing JSON text into a Boost.JSON tree with Boost's parser, for both JSON forms.
//
// Boost's parser descends one call per level of nesting, so the depth it may reach is bounded
// by JsonLimits::kMaxDepthCeiling whatever limit a caller sets: deeper text is refused as too
// deep instead of overflowing the stack. The tree is built in the memory resource of `out`.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include <boost/json/basic_parser_impl.hpp>
#include <boost/json/value_stack.hpp>

#include "json_detail.h"

namespace Ormi::Data::Detail {
namespace {

namespace json = boost::json;

// "line:column" (both from 1, columns in bytes) of a byte offset.
std::string Position(boost::string_view text, std::size_t offset) {
  std::size_t line = 1;
  std::size_t column = 1;
  for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return std::to_string(line) + ":" + std::to_string(column);
}

// Builds the JSON tree as Boost's own parser does, with two differences: numbers with a
// fraction or an exponent are converted from their text with std::from_chars, which rounds
// correctly (the parser's own conversion can be one unit in the last place off, so a double
// written in its shortest form did not always read back as the same double); and, when asked,
// an object that has a key twice is refused.
class TreeBuilder : public ParserSizes {
 public:
  TreeBuilder(json::storage_ptr storage, bool unique_keys) : unique_keys_(unique_keys) {
    stack_.reset(std::move(storage));
  }
  json::value Release() { return stack_.release(); }
  // The key an object had twice, or null.
  std::string const* duplicateKey() const { return duplicate_key_ ? &key_ : nullptr; }

  bool on_document_begin(json::error_code& /*ec*/) { return true; }
  bool on_document_end(json::error_code& /*ec*/) { return true; }
  bool on_object_begin(json::error_code& /*ec*/) {
    if (unique_keys_) keys_.emplace_back();
    return true;
  }
  bool on_object_end(std::size_t n, json::error_code& /*ec*/) {
    if (unique_keys_) keys_.pop_back();
    return stack_.push_object(n), true;
  }
  bool on_array_begin(json::error_code& /*ec*/) { return true; }
  bool on_array_end(std::size_t n, json::error_code& /*ec*/) { return stack_.push_array(n), true; }
  bool on_key_part(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    if (unique_keys_) key_.append(s.data(), s.size());
    return stack_.push_chars(s), true;
  }
  bool on_key(json::string_view s, std::size_t /*n*/, json::error_code& ec) {
    if (unique_keys_) {
      key_.append(s.data(), s.size());
      if (!keys_.back().insert(key_).second) {
        duplicate_key_ = true;
        ec = json::error::syntax;
        return false;
      }
      key_.clear();
    }
    return stack_.push_key(s), true;
  }
  bool on_string_part(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    return stack_.push_chars(s), true;
  }
  bool on_string(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    return stack_.push_string(s), true;
  }
  bool on_number_part(json::string_view s, json::error_code& /*ec*/) {
    return number_.append(s.data(), s.size()), true;
  }
  bool on_int64(std::int64_t i, json::string_view /*s*/, json::error_code& /*ec*/) {
    number_.clear();
    return stack_.push_int64(i), true;
  }
  bool on_uint64(std::uint64_t u, json::string_view /*s*/, json::error_code& /*ec*/) {
    number_.clear();
    return stack_.push_uint64(u), true;
  }
  bool on_double(double d, json::string_view s, json::error_code& /*ec*/) {
    return stack_.push_double(CorrectlyRounded(number_, s, d)), true;
  }
  bool on_bool(bool b, json::error_code& /*ec*/) { return stack_.push_bool(b), true; }
  bool on_null(json::error_code& /*ec*/) { return stack_.push_null(), true; }
  bool on_comment_part(json::string_view /*s*/, json::error_code& /*ec*/) { return true; }
  bool on_comment(json::string_view /*s*/, json::error_code& /*ec*/) { return true; }

 private:
  json::value_stack stack_;
  std::string number_;  // the parts of a number read so far
  bool unique_keys_;
  std::vector<std::set<std::string>> keys_;  // of each open object, when keys must be unique
  std::string key_;                          // the key being read, or the one found twice
  bool duplicate_key_ = false;
};

}  // namespace

double CorrectlyRounded(std::string& parts, json::string_view last, double parsed) {
  parts.append(last.data(), last.size());
  double precise = parsed;
  std::from_chars(parts.data(), parts.data() + parts.size(), precise);
  parts.clear();
  return precise;
}

bool ParseJson(boost::string_view text, JsonLimits const& limits, bool unique_keys,
               json::value* out, std::list<BaseMessage>& messages) {
  if (text.size() > limits.maxInputBytes) {
    return Fail(messages, MessageId::kJsonTooLarge, std::to_string(text.size()),
                std::to_string(limits.maxInputBytes));
  }
  std::size_t const depth = std::min(limits.maxDepth, JsonLimits::kMaxDepthCeiling);
  json::parse_options options;
  options.max_depth = depth;
  json::basic_parser<TreeBuilder> parser(options, out->storage(), unique_keys);
  json::error_code error;
  std::size_t const used = parser.write_some(false, text.data(), text.size(), error);
  if (!error && used < text.size()) {
    return Fail(messages, MessageId::kJsonMalformed, Position(text, used),
                std::string("unexpected text after the value"));
  }
  if (error == json::error::too_deep) {
    return Fail(messages, MessageId::kJsonTooDeep, Position(text, used), std::to_string(depth));
  }
  if (std::string const* key = parser.handler().duplicateKey()) {
    return Fail(messages, MessageId::kJsonMalformed, Position(text, used),
                "duplicate key " + QuoteJson(*key));
  }
  if (error) {
    return Fail(messages, MessageId::kJsonMalformed, Position(text, used), error.message());
  }
  *out = parser.handler().Release();
  return true;
}

}  // namespace Ormi::Data::Detail
