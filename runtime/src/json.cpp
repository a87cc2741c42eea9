// Writing the canonical JSON form of values and definitions with an explicit stack.
#include "ormi/data/json.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

#include <boost/json.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fast_tls.h"
#include "json_detail.h"
#include "json_writer.h"

namespace Ormi::Data {
namespace Detail {

namespace {

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

// The high bit of each of the eight bytes of `word` (in memory order) that needs an escape,
// from its "below 0x20" and "equals" tests done on all eight bytes at once. A borrow can set a
// byte above a true one, so only the lowest bit set names a byte for sure.
std::uint64_t EscapeBits(std::uint64_t word) {
  constexpr std::uint64_t kOnes = 0x0101010101010101U;
  constexpr std::uint64_t kHighs = 0x8080808080808080U;
  std::uint64_t const quote = word ^ (kOnes * '"');
  std::uint64_t const backslash = word ^ (kOnes * '\\');
  std::uint64_t const below = (word - kOnes * 0x20) & ~word;
  std::uint64_t const quotes = (quote - kOnes) & ~quote;
  std::uint64_t const backslashes = (backslash - kOnes) & ~backslash;
  return (below | quotes | backslashes) & kHighs;
}

// The letter of the two-byte escape of `c` (\" \\ \b \t \n \f \r), or 0 when `c` is written
// as \u00xx.
char ShortEscape(unsigned char c) {
  switch (c) {
    case '"':
    case '\\':
      return static_cast<char>(c);
    case '\b':
      return 'b';
    case '\t':
      return 't';
    case '\n':
      return 'n';
    case '\f':
      return 'f';
    case '\r':
      return 'r';
    default:
      return 0;
  }
}

char* WriteEscape(char* out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  *out++ = '\\';
  if (char const letter = ShortEscape(c)) {
    *out++ = letter;
    return out;
  }
  *out++ = 'u';
  *out++ = '0';
  *out++ = '0';
  *out++ = kHex[c >> 4U];
  *out++ = kHex[c & 0xFU];
  return out;
}

#if defined(__SSE2__)
// The bits (one per byte, in memory order) of the sixteen bytes at `at` that need an escape.
unsigned EscapeMask16(char const* at) {
  __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(at));
  // Below 0x20, as unsigned bytes: the byte is its own minimum with 0x1f.
  __m128i const control = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x1f)), bytes);
  __m128i const quote = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('"'));
  __m128i const backslash = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\\'));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(control, _mm_or_si128(quote, backslash))));
}
#endif

// The index of the first byte of `text` at or after `from` that needs an escape, or its size.
std::size_t PlainUntil(boost::string_view text, std::size_t from) {
#if defined(__SSE2__)
  for (; text.size() - from >= 16; from += 16) {
    if (unsigned const mask = EscapeMask16(text.data() + from)) {
      return from + static_cast<std::size_t>(__builtin_ctz(mask));
    }
  }
#endif
  // Eight bytes at a time while none needs an escape, then byte by byte.
  for (std::uint64_t word = 0; text.size() - from >= sizeof word; from += sizeof word) {
    std::memcpy(&word, text.data() + from, sizeof word);
    if (std::uint64_t const bits = EscapeBits(word)) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
      return from + static_cast<std::size_t>(__builtin_ctzll(bits)) / 8;
#else
      break;
#endif
    }
  }
  while (from < text.size() && !NeedsEscape(static_cast<unsigned char>(text[from]))) ++from;
  return from;
}

#if defined(__SSE2__)
// Most texts are short and need no escape: such a text is copied at once and the copy tested
// in whole blocks. The bytes past it are set to spaces first, so that a block reads only
// written bytes and those past the text never need an escape. Returns the end of the copy, or
// null when a byte needs an escape.
char* CopyIfPlain(char* out, boost::string_view text) {
  std::size_t const size = text.size();
  std::memset(out + size, ' ', kEscapeScratch);
  CopyShort(out, text.data(), size);
  for (std::size_t at = 0; at < size; at += 16) {
    if (EscapeMask16(out + at) != 0) return nullptr;
  }
  return out + size;
}
#endif

}  // namespace

char* WriteEscapedJson(char* out, boost::string_view text) {
#if defined(__SSE2__)
  if (text.size() <= kShortCopy) {
    if (char* const end = CopyIfPlain(out, text)) return end;
  }
#endif
  for (std::size_t done = 0;;) {
    std::size_t const plain = PlainUntil(text, done);
    std::memcpy(out, text.data() + done, plain - done);
    out += plain - done;
    if (plain == text.size()) return out;
    out = WriteEscape(out, static_cast<unsigned char>(text[plain]));
    done = plain + 1;
  }
}

std::size_t EscapedJsonSize(boost::string_view text) {
  std::size_t size = text.size();
  for (char const c : text) {
    auto const byte = static_cast<unsigned char>(c);
    if (NeedsEscape(byte)) size += ShortEscape(byte) != 0 ? 1 : kEscapedPerByte - 1;
  }
  return size;
}

namespace {

// The string a thread keeps for its next text. A string larger than the largest kept is given
// back, as the transport's buffer pools do.
constexpr std::size_t kMostKeptText = std::size_t{4} << 20U;
struct KeptText {
  std::string text;
};

}  // namespace

// NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init): staged_ is written before it is read
JsonText::JsonText() {
  // A text written while another of this thread is open (a part written whole inside the
  // writer's text) finds the kept string taken, empty, and grows its own. One written as the
  // thread ends, after its kept string is gone, grows its own too.
  KeptText* const kept = ThreadKept<KeptText>::Get();
  kept_ = kept != nullptr;
  if (kept) out_ = std::exchange(kept->text, std::string());
}

JsonText::~JsonText() {
  KeptText* const kept = kept_ ? ThreadKept<KeptText>::Get() : nullptr;
  if (!kept || out_.capacity() > kMostKeptText) return;
  out_.clear();
  kept->text = std::move(out_);
}

std::string JsonText::Take() {
  if (!kept_) {
    Flush();
    return std::exchange(out_, {});
  }
  if (out_.empty()) {  // all of it is still staged
    std::string text(staged_, used_);
    used_ = 0;
    return text;
  }
  Flush();
  // A text too large to keep is handed out as it grew, which spares a copy of its size.
  if (out_.capacity() > kMostKeptText) return std::exchange(out_, {});
  std::string text(out_);  // a copy of its size: out_ stays with the thread
  out_.clear();
  return text;
}

void JsonText::WriteLonger(boost::string_view text) {
  if (text.size() > kStaged - used_) Flush();
  if (text.size() >= kStaged) return static_cast<void>(out_.append(text.data(), text.size()));
  std::memcpy(staged_ + used_, text.data(), text.size());
  used_ += text.size();
}

std::string QuoteJson(boost::string_view text) {
  JsonText out;
  out.WriteQuoted(text);
  return out.Take();
}

std::string EncodeBase64(std::string const& bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::size_t const n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t chunk = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      chunk = chunk << 8 | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(chunk >> (18 - 6 * k)) & 63] : '=';
    }
  }
  return out;
}

std::string DoubleText(double value) {
  if (std::isnan(value)) return "\"NaN\"";
  if (std::isinf(value)) return value > 0 ? "\"Infinity\"" : "\"-Infinity\"";
  return boost::json::serialize(boost::json::value(value));
}

}  // namespace Detail
namespace {

using Detail::QuoteJson;

template <typename Node>
using Writer = Detail::StepWriter<Node const*>;

// open child close
template <typename Node>
void Wrap(Writer<Node>& writer, boost::string_view open, Node const* child, char const* close) {
  writer.Write(open);
  writer.QueueText(close);
  writer.Queue(child);
}

// open element,element,... close
template <typename Node, typename Slots>
void Elements(Writer<Node>& writer, boost::string_view open, Slots const& slots,
              boost::string_view close) {
  writer.Write(open);
  writer.QueueText(close);
  for (std::size_t i = slots.size(); i-- > 0;) {
    Detail::Prefetch(slots[i].get());
    writer.QueueElement(slots[i].get(), i == 0);
  }
}

// tag"name","fields":{"name":field,...}} with the fields in name order
template <typename Node, typename Map>
void Fields(Writer<Node>& writer, char const* tag, std::string const& name, Map const& fields) {
  writer.Write(tag);
  writer.WriteQuoted(name);
  writer.Write(",\"fields\":{");
  writer.QueueText("}}");
  for (auto field = fields.rbegin(); field != fields.rend(); ++field) {
    Detail::Prefetch(field->second.get());
    writer.QueueMember({field->first.data(), field->first.size()}, field->second.get(),
                       std::next(field) == fields.rend());
  }
}

void ExpandList(Writer<DataValue>& writer, ListValue const& list) {
  if (list.listKind() == ListKind::kPlain) return Elements(writer, "[", list.elements(), "]");
  if (list.listKind() == ListKind::kMap) {
    return Elements(writer, "{\"$map\":[", list.elements(), "]}");
  }
  Elements(writer, "{\"$list\":[", list.elements(),
           writer.Keep("],\"kind\":" + std::to_string(static_cast<int>(list.listKind())) + "}"));
}

// {"tag":text}
void Tagged(Writer<DataValue>& writer, boost::string_view tag, boost::string_view text) {
  writer.Write("{\"");
  writer.Write(tag);
  writer.Write("\":");
  writer.Write(text);
  writer.Write("}");
}

// {"tag":"text"}
void TaggedString(Writer<DataValue>& writer, boost::string_view tag, boost::string_view text) {
  writer.Write("{\"");
  writer.Write(tag);
  writer.Write("\":");
  writer.WriteQuoted(text);
  writer.Write("}");
}

// Writes one value; a slot without a value (which a finished tree should not have) as null.
void ExpandValue(Writer<DataValue>& writer, DataValue const* node) {
  if (!node) return writer.Write("null");
  DataValue const& value = *node;
  switch (value.kind()) {
    case ValueKind::kVoid:
      return Tagged(writer, "$void", "null");
    case ValueKind::kInteger:
      return writer.WriteInteger(static_cast<IntegerValue const&>(value).value());
    case ValueKind::kDouble:
      return Tagged(writer, "$double",
                    Detail::DoubleText(static_cast<DoubleValue const&>(value).value()));
    case ValueKind::kBoolean:
      return writer.Write(static_cast<BooleanValue const&>(value).value() ? "true" : "false");
    case ValueKind::kBlob:
      return TaggedString(writer, "$blob",
                          Detail::EncodeBase64(static_cast<BlobValue const&>(value).value()));
    case ValueKind::kString:
      return writer.WriteQuoted(static_cast<StringValue const&>(value).value());
    case ValueKind::kDateTime:
      return TaggedString(writer, "$datetime", static_cast<StringValue const&>(value).value());
    case ValueKind::kSecret:
      return TaggedString(writer, "$secret", static_cast<SecretValue const&>(value).value());
    case ValueKind::kOptional: {
      auto const& optional = static_cast<OptionalValue const&>(value);
      if (!optional.isSet()) return Tagged(writer, "$optional", "null");
      return Wrap(writer, "{\"$optional\":", optional.value().get(), "}");
    }
    case ValueKind::kList:
      return ExpandList(writer, static_cast<ListValue const&>(value));
    case ValueKind::kStructure:
    case ValueKind::kError: {
      auto const& compound = static_cast<CompoundValue const&>(value);
      char const* tag = value.kind() == ValueKind::kError ? "{\"$error\":" : "{\"$struct\":";
      return Fields(writer, tag, compound.name(), compound.fields());
    }
    default:
      writer.Write("null");
  }
}

void ExpandDefinition(Writer<DataDefinition>& writer, DataDefinition const* node) {
  if (!node) return writer.Write("null");
  DataDefinition const& definition = *node;
  switch (definition.kind()) {
    case DefinitionKind::kOptional:
      return Wrap(writer, "{\"$optional\":",
                  static_cast<OptionalDefinition const&>(definition).element().get(), "}");
    case DefinitionKind::kList:
      return Wrap(writer,
                  "{\"$list\":", static_cast<ListDefinition const&>(definition).element().get(),
                  "}");
    case DefinitionKind::kStructure: {
      auto const& structure = static_cast<StructDefinition const&>(definition);
      return Fields(writer, "{\"$struct\":", structure.name(), structure.fields());
    }
    case DefinitionKind::kStructRef:
      return writer.Write(
          "{\"$ref\":" + QuoteJson(static_cast<StructRefDefinition const&>(definition).name()) +
          "}");
    case DefinitionKind::kDynamicStructure:
      return writer.Write(QuoteJson("dynamic-structure"));
    case DefinitionKind::kScalar:
      return writer.Write(
          QuoteJson(KindName(static_cast<ScalarDefinition const&>(definition).valueKind())));
  }
}

template <typename Node, typename Expand>
std::string Write(Writer<Node>& writer, Node const& root, Expand expand) {
  writer.Run(&root, [&](Node const* node) { return expand(writer, node), true; });
  return writer.Take();
}

}  // namespace

std::string ToJson(DataValue const& value) {
  Writer<DataValue> writer;
  return Write(writer, value, ExpandValue);
}

void AppendJson(DataValue const& value, std::string* out) {
  Writer<DataValue> writer(std::move(*out));
  *out = Write(writer, value, ExpandValue);
}

std::string ToJson(DataDefinition const& definition) {
  Writer<DataDefinition> writer;
  return Write(writer, definition, ExpandDefinition);
}

}  // namespace Ormi::Data
