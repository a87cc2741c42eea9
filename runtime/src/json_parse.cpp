// Parsing JSON text into a Boost.JSON tree without recursion.
//
// Boost's own parser descends one call per level of nesting (resuming a suspended parse
// rebuilds the same chain of calls), so a document nested deeper than the call stack allows
// overflows it once a caller raises the depth limit. This parser keeps its open arrays and
// objects on an explicit stack and lets Boost's value_stack build the tree, so the depth of a
// document costs heap memory only. It accepts exactly RFC 8259 JSON in UTF-8.
#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <memory>
#include <unordered_set>
#include <vector>

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

// Why a text is no JSON; the parser stops at the first one.
struct Failure {
  std::string reason;
  bool too_deep = false;
};

// An array or object that is open, with the number of its elements or members so far and,
// when keys must be unique, its keys: the first alone, a set from the second on, so that a
// deep chain of one-member objects stays small.
struct Open {
  bool object;
  std::size_t size = 0;
  std::string first_key;
  std::unique_ptr<std::unordered_set<std::string>> keys;

  // False when the object has `key` already.
  bool Add(std::string const& key) {
    if (size == 0) return first_key = key, true;
    if (!keys) {
      keys = std::make_unique<std::unordered_set<std::string>>();
      keys->insert(first_key);
    }
    return keys->insert(key).second;
  }
};

class Parser {
 public:
  Parser(boost::string_view text, JsonLimits const& limits, bool unique_keys,
         json::storage_ptr storage)
      : text_(text), limits_(limits), unique_keys_(unique_keys) {
    stack_.reset(std::move(storage));
  }

  // The document's tree, or the failure with the offset it was found at.
  bool Run(json::value* out, Failure* failure, std::size_t* offset) {
    bool const ok = Document();
    if (!ok) {
      *failure = failure_;
      *offset = at_;
      return false;
    }
    *out = stack_.release();  // the same memory resource: moved, not copied
    return true;
  }

 private:
  // value, then after each value a separator, a closing bracket or the end of the document
  bool Document() {
    for (;;) {
      bool opened = false;
      if (!Value(&opened)) return false;
      if (opened) continue;  // its first element or member follows
      bool more = false;
      if (!Completed(&more)) return false;
      if (!more) return true;
    }
  }

  // After a value: closes the arrays and objects it completes, then either reads the
  // separator before the next value (and its key) and sets `more`, or finds the end.
  bool Completed(bool* more) {
    for (;;) {
      Blanks();
      if (open_.empty()) return Ended() || Fail("unexpected text after the value");
      Open& open = open_.back();
      ++open.size;
      if (!At(open.object ? '}' : ']')) break;
      Close();
    }
    if (!At(',')) return Fail(Unexpected());
    *more = true;
    return !open_.back().object || Key();
  }

  // One value; an array or object that is not empty is only opened (`opened` is set), its
  // elements follow.
  bool Value(bool* opened) {
    Blanks();
    if (Ended()) return Fail("incomplete JSON");
    char const c = text_[at_];
    if (c == '[' || c == '{') return Begin(c == '{', opened);
    if (c == '"') return String() && (stack_.push_string(buffer_), true);
    if (c == '-' || (c >= '0' && c <= '9')) return Number();
    if (Word("true")) return stack_.push_bool(true), true;
    if (Word("false")) return stack_.push_bool(false), true;
    if (Word("null")) return stack_.push_null(), true;
    return Fail("syntax error");
  }

  bool Begin(bool object, bool* opened) {
    if (open_.size() >= limits_.maxDepth) return failure_.too_deep = true, false;
    ++at_;
    open_.push_back({object, 0, {}, nullptr});
    Blanks();
    if (At(object ? '}' : ']')) return Close(), true;
    *opened = true;
    return !object || Key();
  }

  // Closes the innermost open array or object; it becomes a value of the one around it.
  void Close() {
    Open const& open = open_.back();
    if (open.object) {
      stack_.push_object(open.size);
    } else {
      stack_.push_array(open.size);
    }
    open_.pop_back();
  }

  // "key": of the innermost open object.
  bool Key() {
    Blanks();
    if (Ended()) return Fail("incomplete JSON");
    if (text_[at_] != '"') return Fail("syntax error");
    std::size_t const start = at_;
    if (!String()) return false;
    if (unique_keys_ && !open_.back().Add(buffer_)) {
      at_ = start;
      return Fail("duplicate key " + QuoteJson(buffer_));
    }
    stack_.push_key(buffer_);
    Blanks();
    return At(':') || Fail(Unexpected());
  }

  // The string at `at_`, unescaped into `buffer_`.
  bool String() {
    ++at_;
    buffer_.clear();
    for (;;) {
      if (Ended()) return Fail("incomplete JSON");
      auto const c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') break;
      if (c < 0x20) return Fail("illegal control character");
      if (c == '\\') {
        if (!Escape()) return false;
      } else if (c < 0x80) {
        buffer_ += static_cast<char>(c);
        ++at_;
      } else if (!Utf8()) {
        return Fail("invalid UTF-8");
      }
    }
    ++at_;
    return true;
  }

  bool Escape() {
    if (++at_ >= text_.size()) return Fail("incomplete JSON");
    char const c = text_[at_++];
    static constexpr char kFrom[] = "\"\\/bfnrt";
    static constexpr char kTo[] = "\"\\/\b\f\n\r\t";
    for (std::size_t i = 0; kFrom[i] != '\0'; ++i) {
      if (c == kFrom[i]) return buffer_ += kTo[i], true;
    }
    if (c != 'u') return --at_, Fail("invalid escape");
    std::uint32_t code = 0;
    if (!Hex(&code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return Fail("lone surrogate in an escape");
    if (code >= 0xD800 && code <= 0xDBFF) {
      std::uint32_t low = 0;
      if (text_.substr(at_, 2) != "\\u") return Fail("lone surrogate in an escape");
      at_ += 2;
      if (!Hex(&low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return Fail("lone surrogate in an escape");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(code);
    return true;
  }

  // Four hexadecimal digits.
  bool Hex(std::uint32_t* code) {
    for (int i = 0; i < 4; ++i, ++at_) {
      if (Ended()) return Fail("incomplete JSON");
      char const c = text_[at_];
      int const digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return Fail("expected a hexadecimal digit");
      *code = *code << 4 | static_cast<std::uint32_t>(digit);
    }
    return true;
  }

  void AppendUtf8(std::uint32_t code) {
    if (code < 0x80) {
      buffer_ += static_cast<char>(code);
    } else if (code < 0x800) {
      buffer_ += static_cast<char>(0xC0 | code >> 6);
      buffer_ += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      buffer_ += static_cast<char>(0xE0 | code >> 12);
      buffer_ += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      buffer_ += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      buffer_ += static_cast<char>(0xF0 | code >> 18);
      buffer_ += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      buffer_ += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      buffer_ += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // One multi-byte UTF-8 character: no overlong forms, no surrogates, nothing past U+10FFFF.
  bool Utf8() {
    auto const byte = [this](std::size_t i) {
      return at_ + i < text_.size() ? static_cast<unsigned char>(text_[at_ + i]) : 0u;
    };
    unsigned const lead = byte(0);
    std::size_t const length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4) return false;
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      if ((byte(i) & 0xC0) != 0x80) return false;
      code = code << 6 | (byte(i) & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    buffer_.append(text_.data() + at_, length);
    at_ += length;
    return true;
  }

  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  bool Number() {
    std::size_t const start = at_;
    At('-');
    if (!At('0') && Digits() == 0) return Fail(Unexpected());
    bool const whole = Ended() || (text_[at_] != '.' && text_[at_] != 'e' && text_[at_] != 'E');
    if (At('.') && Digits() == 0) return Fail(Unexpected());
    if (At('e') || At('E')) {
      if (!At('+')) At('-');
      std::size_t const digits = at_;
      int exponent = 0;
      if (Digits() == 0) return Fail(Unexpected());
      if (std::from_chars(text_.data() + digits, text_.data() + at_, exponent).ec != std::errc()) {
        at_ = digits;
        return Fail("exponent overflow");  // beyond 32 bits, as Boost's own parser has it
      }
    }
    PushNumber(text_.data() + start, text_.data() + at_, whole);
    return true;
  }

  // An int64 or uint64 when the number is whole and fits, otherwise the nearest double
  // (std::from_chars rounds correctly).
  void PushNumber(char const* first, char const* last, bool whole) {
    if (whole) {
      std::int64_t integer = 0;
      if (std::from_chars(first, last, integer).ec == std::errc()) {
        return stack_.push_int64(integer);
      }
      std::uint64_t unsigned_integer = 0;
      if (*first != '-' && std::from_chars(first, last, unsigned_integer).ec == std::errc()) {
        return stack_.push_uint64(unsigned_integer);
      }
    }
    double number = 0;
    if (std::from_chars(first, last, number).ec == std::errc::result_out_of_range) {
      number = OutOfRange(first, last);
    }
    stack_.push_double(number);
  }

  // What a number too large or too small for a double becomes: an infinity, or zero.
  static double OutOfRange(char const* first, char const* last) {
    boost::string_view const text(first, static_cast<std::size_t>(last - first));
    std::size_t const mark = text.find_first_of("eE");
    long exponent = 0;  // fits: Number refuses exponents beyond 32 bits
    if (mark != boost::string_view::npos) {
      std::from_chars(first + mark + 1 + (first[mark + 1] == '+' ? 1 : 0), last, exponent);
    }
    // The place of the first significant digit, counted from the decimal point.
    boost::string_view const mantissa = text.substr(0, mark);
    std::size_t const point = std::min(mantissa.find('.'), mantissa.size());
    std::size_t const significant = mantissa.find_first_of("123456789");
    long const place = significant < point ? static_cast<long>(point - significant)
                                           : -static_cast<long>(significant - point);
    double const result = significant != boost::string_view::npos && place + exponent > 0
                              ? std::numeric_limits<double>::infinity()
                              : 0.0;
    return *first == '-' ? -result : result;
  }

  std::size_t Digits() {
    std::size_t const start = at_;
    while (!Ended() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ - start;
  }

  bool Word(boost::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  void Blanks() {
    while (!Ended() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }

  bool At(char c) {
    if (Ended() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool Ended() const { return at_ >= text_.size(); }
  // Why the text at `at_` cannot go on.
  char const* Unexpected() const { return Ended() ? "incomplete JSON" : "syntax error"; }
  bool Fail(std::string reason) {
    failure_.reason = std::move(reason);
    return false;
  }

  boost::string_view text_;
  JsonLimits const& limits_;
  bool unique_keys_;
  std::size_t at_ = 0;
  std::vector<Open> open_;
  json::value_stack stack_;
  std::string buffer_;  // the text of the last string read
  Failure failure_;
};

}  // namespace

bool ParseJson(boost::string_view text, JsonLimits const& limits, bool unique_keys,
               json::value* out, std::list<BaseMessage>& messages) {
  if (text.size() > limits.maxInputBytes) {
    return Fail(messages, "ormi.data.json.too.large", std::to_string(text.size()),
                std::to_string(limits.maxInputBytes));
  }
  Failure failure;
  std::size_t offset = 0;
  if (Parser(text, limits, unique_keys, out->storage()).Run(out, &failure, &offset)) {
    return true;
  }
  if (failure.too_deep) {
    return Fail(messages, "ormi.data.json.too.deep", Position(text, offset),
                std::to_string(limits.maxDepth));
  }
  return Fail(messages, "ormi.data.json.malformed", Position(text, offset), failure.reason);
}

}  // namespace Ormi::Data::Detail
