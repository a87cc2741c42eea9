// The pieces of the JSON writers (internal to ormi_core): escaping, the text buffer they write
// to (JsonText), and a writer that never recurses (StepWriter), for the canonical form and the
// schema: an item's opening text is written at once and what follows it (its children,
// separators and closing text) is queued on an explicit stack. Queued text refers to storage
// that outlives the run (literals, the keys of the tree being written), so a step is a few
// words and queuing allocates nothing once the stack has grown.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <forward_list>
#include <string>
#include <type_traits>
#include <utility>

#include <boost/container/small_vector.hpp>
#include <boost/utility/string_view.hpp>

namespace Ormi::Data::Detail {

// Writes `text` escaped as Boost.JSON's serializer escapes a string's contents: `"` and `\`,
// the control characters as \b \t \n \f \r or \u00xx, every other byte as it is. `out` has room
// for the escaped text (EscapedJsonSize, at most kEscapedPerByte * text.size()) and
// kEscapeScratch bytes more, of which those past what it wrote may be overwritten; returns the
// end of what was written.
char* WriteEscapedJson(char* out, boost::string_view text);
// The size of `text` escaped.
std::size_t EscapedJsonSize(boost::string_view text);
constexpr std::size_t kEscapedPerByte = 6;  // the longest escape, \u00xx
constexpr std::size_t kEscapeScratch = 16;  // a short text is copied and tested in 16-byte blocks

// Copies `size` bytes, at most 32, without a call: as two fixed-size copies of the first and
// the last bytes, which overlap, so that only the `size` bytes of `from` are read. Most of
// what a writer copies is a short name, number or literal, for which a call to memcpy costs
// more than the copy.
inline void CopyShort(char* to, char const* from, std::size_t size) {
  auto const two = [&](auto block) {
    std::memcpy(&block, from, sizeof block);
    std::memcpy(to, &block, sizeof block);
    std::memcpy(&block, from + size - sizeof block, sizeof block);
    std::memcpy(to + size - sizeof block, &block, sizeof block);
  };
  struct Block16 {
    char bytes[16];
  };
  if (size >= 16) return two(Block16{});
  if (size >= 8) return two(std::uint64_t{});
  if (size >= 4) return two(std::uint32_t{});
  if (size > 0) {
    to[0] = from[0];
    to[size / 2] = from[size / 2];
    to[size - 1] = from[size - 1];
  }
}
constexpr std::size_t kShortCopy = 32;

// Text written in small pieces. The pieces gather in a fixed buffer that goes to the string in
// one append when it is full, so a piece costs a copy of its bytes rather than a call into the
// string; a piece longer than the buffer goes to the string directly.
//
// A new text is gathered in a string that the thread keeps from one text to the next, and
// copied out to its size at the end: a large text then takes one allocation of its size, rather
// than a string grown by doubling, whose steps can grow the allocator's heap, which gives its
// top back to the system when they are freed and faults the pages in again on the next text.
// A text too large to keep (past 4 MiB) is handed out as it grew, without the copy.
class JsonText {
 public:
  // A new text, in the thread's kept string (unless another text of this thread holds it).
  JsonText();
  // Text written after that already in `out`, into its capacity.
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-member-init): staged_ is written before it is read
  explicit JsonText(std::string out) : out_(std::move(out)) {}
  // Gives the kept string back, emptied.
  ~JsonText();
  JsonText(JsonText const&) = delete;
  JsonText& operator=(JsonText const&) = delete;
  JsonText(JsonText&&) = delete;
  JsonText& operator=(JsonText&&) = delete;

  void Write(boost::string_view text) {
    if (text.size() > kShortCopy || text.size() > kStaged - used_) return WriteLonger(text);
    CopyShort(staged_ + used_, text.data(), text.size());
    used_ += text.size();
  }
  void Put(char c) {
    if (used_ == kStaged) Flush();
    staged_[used_++] = c;
  }
  // An integer in decimal.
  void WriteInteger(std::int64_t value) {
    char text[kIntegerDigits];
    char* const end = std::to_chars(text, text + sizeof text, value).ptr;
    Write(boost::string_view(text, static_cast<std::size_t>(end - text)));
  }
  // `text` as a JSON string: quoted and escaped at once when its longest escaping fits in what
  // is left of the buffer (the usual case), otherwise in pieces.
  void WriteQuoted(boost::string_view text) {
    if (text.size() < kStaged && text.size() * kEscapedPerByte + kEscapeScratch + 2 <= Free()) {
      staged_[used_] = '"';
      char* const end = WriteEscapedJson(staged_ + used_ + 1, text);
      *end = '"';
      used_ = static_cast<std::size_t>(end + 1 - staged_);
      return;
    }
    WriteQuotedInPieces(text);
  }
  // The text written so far; empty afterwards.
  std::string Take();

 private:
  static constexpr std::size_t kStaged = 4096;
  static constexpr std::size_t kIntegerDigits = 20;  // "-9223372036854775808"

  std::size_t Free() const { return kStaged - used_; }

  // Quoted `text` escaped in pieces whose longest escaping fits in what is left of the buffer.
  // The buffer goes to the string first when a short text, or a good part of a long one, would
  // not fit.
  void WriteQuotedInPieces(boost::string_view text) {
    Put('"');
    while (!text.empty()) {
      std::size_t room = EscapeRoom();
      if (room < std::min(text.size(), kStaged / kEscapedPerByte / 2)) {
        Flush();
        room = EscapeRoom();
      }
      std::size_t const piece = std::min(text.size(), room);
      used_ = static_cast<std::size_t>(WriteEscapedJson(staged_ + used_, text.substr(0, piece)) -
                                       staged_);
      text.remove_prefix(piece);
    }
    Put('"');
  }

  // The most bytes of text that WriteEscapedJson may be given at the end of the buffer.
  std::size_t EscapeRoom() const {
    return Free() > kEscapeScratch ? (Free() - kEscapeScratch) / kEscapedPerByte : 0;
  }

  // Text longer than a short copy or than the room left (in json.cpp).
  void WriteLonger(boost::string_view text);
  void Flush() {
    out_.append(staged_, used_);
    used_ = 0;
  }

  char staged_[kStaged];  // left uninitialised: only the first used_ bytes are ever read
  std::size_t used_ = 0;
  std::string out_;
  bool kept_ = false;  // out_ is the thread's kept string
};

// `Item` is what the caller expands: a node, or a node with its context. Queued steps run last
// in, first out, so an expansion queues its closing text first and its first child last.
template <typename Item>
class StepWriter {
 public:
  StepWriter() = default;
  // Writes after the text already in `out`, using its capacity.
  explicit StepWriter(std::string out) : out_(std::move(out)) {}

  // Expands `root` and everything queued from it: `expand(item)` writes and queues, and
  // returns false to stop. False when an expansion stopped.
  template <typename Expand>
  bool Run(Item root, Expand&& expand) {
    Queue(std::move(root));
    bool finished = true;
    while (finished && !steps_.empty()) {
      // The step is read a field at a time, as it was written (see Push).
      Step& top = steps_.back();
      Kind const kind = top.kind;
      boost::string_view const text(top.text, top.size);
      if (kind == Kind::kText) {
        steps_.pop_back();
        Write(text);
        continue;
      }
      Item item = std::move(top.item);
      steps_.pop_back();
      WritePrefix(kind, text);
      finished = expand(item);
    }
    steps_.clear();
    kept_.clear();
    return finished;
  }

  void Write(boost::string_view text) { out_.Write(text); }
  void WriteQuoted(boost::string_view text) { out_.WriteQuoted(text); }
  void WriteInteger(std::int64_t value) { out_.WriteInteger(value); }
  void Queue(Item item) { Push(Kind::kItem).item = std::move(item); }
  // An element of an array: `item`, after a comma unless `first`.
  void QueueElement(Item item, bool first) {
    Push(first ? Kind::kItem : Kind::kCommaItem).item = std::move(item);
  }
  // A member of an object: `"key":item`, after a comma unless `first`; the key must outlive
  // the run. One step, where a key and its item queued apart would take two.
  void QueueMember(boost::string_view key, Item item, bool first) {
    PushText(first ? Kind::kMember : Kind::kCommaMember, key).item = std::move(item);
  }
  // Text that outlives the run: a literal, or text given to Keep.
  void QueueText(boost::string_view lasting) { PushText(Kind::kText, lasting); }
  // A string would not outlive the run: Keep it first.
  template <typename S, typename = std::enable_if_t<std::is_same_v<std::decay_t<S>, std::string>>>
  void QueueText(S&& text) = delete;
  // Text made for this run, kept by the writer until the run ends.
  boost::string_view Keep(std::string text) { return kept_.emplace_front(std::move(text)); }
  // The text written so far; the writer is empty afterwards.
  std::string Take() { return out_.Take(); }

 private:
  // What a step writes: an item, after nothing, a comma, `"key":` or `,"key":`; or text.
  enum class Kind : unsigned char { kItem, kCommaItem, kMember, kCommaMember, kText };
  struct Step {
    Kind kind = Kind::kItem;
    Item item{};
    char const* text = nullptr;
    std::size_t size = 0;
  };

  // A new step of `kind`, filled in place: a step built aside and copied in is read back in
  // wider loads than it was stored with, which stalls the copy until the stores have retired.
  Step& Push(Kind kind) {
    Step& step = steps_.emplace_back();
    step.kind = kind;
    return step;
  }

  Step& PushText(Kind kind, boost::string_view text) {
    Step& step = Push(kind);
    step.text = text.data();
    step.size = text.size();
    return step;
  }

  // What an item's step writes before the item.
  void WritePrefix(Kind kind, boost::string_view key) {
    switch (kind) {
      case Kind::kCommaItem:
        return out_.Put(',');
      case Kind::kCommaMember:
        out_.Put(',');
        [[fallthrough]];
      case Kind::kMember:
        WriteQuoted(key);
        return out_.Put(':');
      default:
        return;
    }
  }

  // The steps of a small text, and a map of a hundred entries (all queued at once), fit in
  // place, so that most runs allocate no stack.
  boost::container::small_vector<Step, 128> steps_;
  // The texts of Keep, whose addresses stay. An empty list holds no memory.
  std::forward_list<std::string> kept_;
  JsonText out_;
};

}  // namespace Ormi::Data::Detail
