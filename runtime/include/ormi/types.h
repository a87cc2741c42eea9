// Shared value types of the runtime: the empty result, date-times, optional structure
// pointers, the empty operation input and the progress of a call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include <boost/optional.hpp>

namespace Ormi {

// The result of an operation that returns nothing.
struct Void {
  friend bool operator==(Void, Void) { return true; }
  friend bool operator!=(Void, Void) { return false; }
};

// A point in time in UTC with millisecond precision, years 0001 to 9999.
//
// The text form is RFC 3339 in UTC with exactly three fraction digits,
// "2026-12-06T08:35:27.000Z". `Parse` also accepts no fraction or 1 to 9 fraction digits
// (truncated to milliseconds), only "Z" as the offset, and rejects dates that do not exist
// and leap seconds (":60").
class DateTime {
 public:
  DateTime() = default;  // 1970-01-01T00:00:00.000Z

  // Builds a date-time from calendar fields; false when the fields name no real instant.
  static bool FromFields(int year, int month, int day, int hour, int minute, int second,
                         int millisecond, DateTime* out);
  // Clamped to the supported range of years.
  static DateTime FromMillisecondsSinceEpoch(std::int64_t milliseconds);

  // Reads the text form; on failure returns false and leaves `out` unchanged.
  static bool Parse(std::string const& text, DateTime* out);
  std::string ToString() const;

  std::int64_t millisecondsSinceEpoch() const { return milliseconds_; }

  friend bool operator==(DateTime a, DateTime b) { return a.milliseconds_ == b.milliseconds_; }
  friend bool operator!=(DateTime a, DateTime b) { return !(a == b); }
  friend bool operator<(DateTime a, DateTime b) { return a.milliseconds_ < b.milliseconds_; }

 private:
  std::int64_t milliseconds_ = 0;
};

// A nullable shared pointer used for optional structure members and parameters. It is a
// type of its own so that conversions can tell an optional member from a required one.
template <typename T>
class OptionalPtr : public std::shared_ptr<T> {
 public:
  OptionalPtr() = default;
  OptionalPtr(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)
  template <typename U>
  OptionalPtr(std::shared_ptr<U> pointer)  // NOLINT(google-explicit-constructor)
      : std::shared_ptr<T>(std::move(pointer)) {}
};

template <typename T, typename... Args>
OptionalPtr<T> MakeOptionalPtr(Args&&... args) {
  return std::make_shared<T>(std::forward<Args>(args)...);
}

// The input of an operation that takes no parameters: a structure without fields, in each of
// the three field-visiting forms.
struct OperationInput {
  struct AdapterHelper {
    template <typename Helper, typename Value>
    static void AddFields(Helper& /*helper*/, OperationInput const* /*native*/, Value& /*value*/) {}
    template <typename Helper>
    static void AddFields(Helper& /*helper*/, OperationInput* /*native*/) {}
    template <typename Helper>
    static void AddFields(Helper& /*helper*/) {}
  };
};

// How far a call has come.
struct Progress {
  std::int64_t min = 0;
  std::int64_t max = 1;
  std::int64_t current = 1;

  // {0, 1, 1}: carried by every delivery that ends a call.
  static constexpr Progress Terminal() { return Progress{0, 1, 1}; }
};

}  // namespace Ormi
