// Parsing JSON text into a Boost.JSON tree with Boost's parser, for both JSON forms.
//
// Boost's parser descends one call per level of nesting, so the depth it may reach is bounded
// by JsonLimits::kMaxDepthCeiling whatever limit a caller sets: deeper text is refused as too
// deep instead of overflowing the stack. The tree is built in the memory resource of `out`.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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

// Finds a key that an open object has twice, allocating nothing per key once its buffers have
// grown. The keys of the open objects are kept one after another in one text; the innermost
// object's keys are the last ones, and only the innermost object gets keys. A new key is
// compared with the object's earlier keys one by one while the object is small, and looked up
// in a hash table of their positions (kept at the end of `table_`) once it is not.
class KeyChecker {
 public:
  void BeginObject() { objects_.push_back({keys_.size(), table_.size(), 0}); }

  void EndObject() {
    Object const object = objects_.back();
    objects_.pop_back();
    if (keys_.size() > object.first_key) text_.resize(keys_[object.first_key].offset);
    keys_.resize(object.first_key);
    table_.resize(object.table);
    key_start_ = text_.size();
  }

  void AddPart(json::string_view part) { text_.append(part.data(), part.size()); }

  // Adds the key whose last part is `part`; false when the innermost object has it already.
  bool Add(json::string_view part) {
    AddPart(part);
    keys_.push_back({key_start_, text_.size() - key_start_});
    key_start_ = text_.size();
    Object& object = objects_.back();
    std::size_t const count = keys_.size() - object.first_key;  // the new one included
    if (object.table_size == 0) {
      for (std::size_t i = object.first_key; i + 1 < keys_.size(); ++i) {
        if (KeyAt(i) == KeyAt(keys_.size() - 1)) return false;
      }
      if (count == kScanned) Rehash(object, kFirstTable);
      return true;
    }
    if (!Insert(object, keys_.size() - 1)) return false;
    if (2 * count > object.table_size) Rehash(object, 2 * object.table_size);
    return true;
  }

  // The key that Add refused.
  std::string Last() const { return std::string(KeyAt(keys_.size() - 1)); }

 private:
  static constexpr std::size_t kScanned = 8;      // keys compared one by one
  static constexpr std::size_t kFirstTable = 32;  // table slots, a power of two

  struct Key {
    std::size_t offset;
    std::size_t size;
  };
  struct Object {
    std::size_t first_key;
    std::size_t table;       // where its table begins in table_
    std::size_t table_size;  // 0 while its keys are scanned
  };

  std::string_view KeyAt(std::size_t i) const {
    return {text_.data() + keys_[i].offset, keys_[i].size};
  }

  // Puts key `i` in the object's table, probing linearly; false when it is there already.
  bool Insert(Object const& object, std::size_t i) {
    std::size_t const mask = object.table_size - 1;
    std::string_view const key = KeyAt(i);
    for (std::size_t slot = std::hash<std::string_view>()(key) & mask;; slot = (slot + 1) & mask) {
      std::size_t& entry = table_[object.table + slot];
      if (entry == 0) {
        entry = i + 1;
        return true;
      }
      if (KeyAt(entry - 1) == key) return false;
    }
  }

  void Rehash(Object& object, std::size_t size) {
    table_.resize(object.table);  // what the enclosing objects hold stays
    table_.resize(object.table + size, 0);
    object.table_size = size;
    for (std::size_t i = object.first_key; i < keys_.size(); ++i) Insert(object, i);
  }

  std::string text_;
  std::vector<Key> keys_;
  std::vector<std::size_t> table_;  // 1 + a key's index, or 0 for an empty slot
  std::vector<Object> objects_;
  std::size_t key_start_ = 0;
};

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
    if (unique_keys_) keys_.BeginObject();
    return true;
  }
  bool on_object_end(std::size_t n, json::error_code& /*ec*/) {
    if (unique_keys_) keys_.EndObject();
    return stack_.push_object(n), true;
  }
  bool on_array_begin(json::error_code& /*ec*/) { return true; }
  bool on_array_end(std::size_t n, json::error_code& /*ec*/) { return stack_.push_array(n), true; }
  bool on_key_part(json::string_view s, std::size_t /*n*/, json::error_code& /*ec*/) {
    if (unique_keys_) keys_.AddPart(s);
    return stack_.push_chars(s), true;
  }
  bool on_key(json::string_view s, std::size_t /*n*/, json::error_code& ec) {
    if (unique_keys_ && !keys_.Add(s)) {
      key_ = keys_.Last();
      duplicate_key_ = true;
      ec = json::error::syntax;
      return false;
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
  KeyChecker keys_;  // of the open objects, when keys must be unique
  std::string key_;  // the key found twice
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
  json::parse_options const options = ParseOptions(limits);
  json::basic_parser<TreeBuilder> parser(options, out->storage(), unique_keys);
  json::error_code error;
  std::size_t const used = parser.write_some(false, text.data(), text.size(), error);
  if (!error && used < text.size()) {
    return Fail(messages, MessageId::kJsonMalformed, Position(text, used),
                std::string("unexpected text after the value"));
  }
  if (error == json::error::too_deep) {
    return Fail(messages, MessageId::kJsonTooDeep, Position(text, used),
                std::to_string(options.max_depth));
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
