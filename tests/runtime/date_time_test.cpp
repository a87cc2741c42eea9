#include "ormi/types.h"

#include <gtest/gtest.h>

#include <string>

namespace Ormi {
namespace {

std::string RoundTrip(std::string const& text) {
  DateTime parsed;
  if (!DateTime::Parse(text, &parsed)) return "rejected";
  return parsed.ToString();
}

TEST(DateTimeText, RoundTripsAndNormalisesFractions) {
  for (char const* text :
       {"2026-12-06T08:35:27.123Z", "1970-01-01T00:00:00.000Z", "0001-01-01T00:00:00.000Z",
        "9999-12-31T23:59:59.999Z", "2000-02-29T12:00:00.001Z", "1969-12-31T23:59:59.999Z"}) {
    EXPECT_EQ(RoundTrip(text), text);
  }
  EXPECT_EQ(RoundTrip("2026-12-06T08:35:27Z"), "2026-12-06T08:35:27.000Z");
  EXPECT_EQ(RoundTrip("2026-12-06T08:35:27.5Z"), "2026-12-06T08:35:27.500Z");
  EXPECT_EQ(RoundTrip("2026-12-06T08:35:27.123456789Z"), "2026-12-06T08:35:27.123Z");
  EXPECT_EQ(DateTime().ToString(), "1970-01-01T00:00:00.000Z");
}

TEST(DateTimeText, RejectsImpossibleDatesAndBadSyntax) {
  for (char const* text : {"2026-13-01T00:00:00Z",
                           "2026-00-01T00:00:00Z",
                           "2026-02-30T00:00:00Z",
                           "2025-02-29T00:00:00Z",
                           "1900-02-29T00:00:00Z",
                           "2026-04-31T00:00:00Z",
                           "2026-01-00T00:00:00Z",
                           "2026-01-01T25:00:00Z",
                           "2026-01-01T24:00:00Z",
                           "2026-01-01T00:60:00Z",
                           "2026-01-01T00:00:61Z",
                           "2026-01-01T00:00:60Z",
                           "0000-01-01T00:00:00Z",
                           "",
                           "garbage",
                           "2026-01-01",
                           "2026-01-01T00:00:00",
                           "2026-01-01T00:00:00+00:00",
                           "2026-01-01T00:00:00z",
                           "2026-01-01t00:00:00Z",
                           "2026-01-01T00:00:00.Z",
                           "2026-01-01T00:00:00.1234567890Z",
                           "2026-01-01T00:00:00Zx",
                           "2026-01-01T00:00:00Z ",
                           " 2026-01-01T00:00:00Z",
                           "+026-01-01T00:00:00Z",
                           "2026-1-01T00:00:00Z",
                           "20260101T000000Z"}) {
    EXPECT_EQ(RoundTrip(text), "rejected") << text;
  }
  DateTime kept = DateTime::FromMillisecondsSinceEpoch(5);
  EXPECT_FALSE(DateTime::Parse("2026-02-30T00:00:00Z", &kept));
  EXPECT_EQ(kept.millisecondsSinceEpoch(), 5);
}

TEST(DateTimeFields, MatchEpochArithmetic) {
  DateTime value;
  ASSERT_TRUE(DateTime::FromFields(2000, 3, 1, 0, 0, 0, 0, &value));
  EXPECT_EQ(value.millisecondsSinceEpoch(), 951868800000);
  ASSERT_TRUE(DateTime::FromFields(1, 1, 1, 0, 0, 0, 0, &value));
  EXPECT_EQ(value.millisecondsSinceEpoch(), -62135596800000);
  EXPECT_FALSE(DateTime::FromFields(2024, 2, 30, 0, 0, 0, 0, &value));
  EXPECT_FALSE(DateTime::FromFields(2024, 1, 1, 0, 0, 0, 1000, &value));
  EXPECT_FALSE(DateTime::FromFields(10000, 1, 1, 0, 0, 0, 0, &value));
  // Each day of a leap year and a common year round-trips through the text form.
  for (std::int64_t day = 0; day < 731; ++day) {
    auto const start = DateTime::FromMillisecondsSinceEpoch((10957 + day) * 86400000 + 3723004);
    DateTime parsed;
    ASSERT_TRUE(DateTime::Parse(start.ToString(), &parsed)) << start.ToString();
    EXPECT_EQ(parsed, start);
  }
  // Out-of-range instants are clamped to the first and last representable millisecond.
  EXPECT_EQ(DateTime::FromMillisecondsSinceEpoch(INT64_MIN).ToString(), "0001-01-01T00:00:00.000Z");
  EXPECT_EQ(DateTime::FromMillisecondsSinceEpoch(INT64_MAX).ToString(), "9999-12-31T23:59:59.999Z");
}

}  // namespace
}  // namespace Ormi
