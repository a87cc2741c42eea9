// The fuzzer's input as a source of decisions: each read takes the next bytes, and an
// exhausted input reads as zeros, which every consumer maps to its plainest choice.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace Hyrn {
namespace Fuzz {

class FuzzInput {
 public:
  FuzzInput(std::uint8_t const* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  // Two bytes, little end first.
  std::uint16_t Word() {
    std::uint16_t const low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }

  // Eight bytes as a signed number.
  std::int64_t Integer() {
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= std::uint64_t{Byte()} << (8 * i);
    return static_cast<std::int64_t>(bits);
  }

  // Up to `count` bytes, fewer when the input ends first.
  std::string Bytes(std::size_t count) {
    std::size_t const taken = count < size_ - pos_ ? count : size_ - pos_;
    std::string text(reinterpret_cast<char const*>(data_ + pos_), taken);
    pos_ += taken;
    return text;
  }

  bool empty() const { return pos_ >= size_; }

 private:
  std::uint8_t const* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// Ends the process with a diagnostic when a property of the code under test does not hold;
// libFuzzer and the replay programs both report the abort as a finding.
[[noreturn]] void Fail(char const* what, std::string const& detail);

inline void Require(bool holds, char const* what) {
  if (!holds) Fail(what, std::string());
}

// The same with a diagnostic that is only built when the check fails: `detail()` returns
// a string.
template <typename Detail>
void Require(bool holds, char const* what, Detail const& detail) {
  if (!holds) Fail(what, detail());
}

}  // namespace Fuzz
}  // namespace Hyrn
