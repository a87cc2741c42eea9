// Date-times: calendar arithmetic on days since 1970-01-01 and the RFC 3339 text form.
#include "ormi/types.h"

#include <string>

namespace Ormi {
namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerDay = 86400 * kMsPerSecond;
constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the given proleptic Gregorian date; years are counted in eras of
// 400 years that start on 1 March, so the leap day is the last day of a year.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  std::int64_t const era = (year >= 0 ? year : year - 399) / 400;
  std::int64_t const year_of_era = year - era * 400;
  std::int64_t const day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  std::int64_t const day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

struct Civil {
  std::int64_t year;
  int month;
  int day;
};

Civil CivilFromDays(std::int64_t days) {
  days += 719468;
  std::int64_t const era = (days >= 0 ? days : days - 146096) / 146097;
  std::int64_t const day_of_era = days - era * 146097;
  std::int64_t const year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  std::int64_t const day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  std::int64_t const shifted_month = (5 * day_of_year + 2) / 153;
  int const day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  int const month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

std::int64_t MinMilliseconds() { return DaysFromCivil(kMinYear, 1, 1) * kMsPerDay; }
std::int64_t MaxMilliseconds() { return DaysFromCivil(kMaxYear + 1, 1, 1) * kMsPerDay - 1; }

// Writes `value` as exactly `count` decimal digits at `out`.
void PutDigits(char* out, int count, int value) {
  for (int i = count - 1; i >= 0; --i, value /= 10) out[i] = static_cast<char>('0' + value % 10);
}

// Reads exactly `count` decimal digits at `pos`; false when any is not a digit.
bool ReadDigits(std::string const& text, std::size_t pos, std::size_t count, int* out) {
  if (pos + count > text.size()) return false;
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  *out = value;
  return true;
}

bool Expect(std::string const& text, std::size_t pos, char c) {
  return pos < text.size() && text[pos] == c;
}

// Reads ".f" with 1 to 9 digits at `*pos` (if present) as milliseconds, truncating.
bool ReadFraction(std::string const& text, std::size_t* pos, int* millisecond) {
  *millisecond = 0;
  if (!Expect(text, *pos, '.')) return true;
  std::size_t digits = 0;
  int scale = 100;
  for (++*pos; *pos < text.size() && text[*pos] >= '0' && text[*pos] <= '9'; ++*pos, ++digits) {
    *millisecond += (text[*pos] - '0') * scale;
    scale /= 10;
  }
  return digits >= 1 && digits <= 9;
}

}  // namespace

bool DateTime::FromFields(int year, int month, int day, int hour, int minute, int second,
                          int millisecond, DateTime* out) {
  if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
      second < 0 || second > 59 || millisecond < 0 || millisecond > 999) {
    return false;
  }
  std::int64_t const seconds = (hour * 60 + minute) * 60 + second;
  out->milliseconds_ =
      DaysFromCivil(year, month, day) * kMsPerDay + seconds * kMsPerSecond + millisecond;
  return true;
}

DateTime DateTime::FromMillisecondsSinceEpoch(std::int64_t milliseconds) {
  DateTime result;
  result.milliseconds_ =
      milliseconds < MinMilliseconds()
          ? MinMilliseconds()
          : (milliseconds > MaxMilliseconds() ? MaxMilliseconds() : milliseconds);
  return result;
}

bool DateTime::Parse(std::string const& text, DateTime* out) {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  bool const fields =
      ReadDigits(text, 0, 4, &year) && Expect(text, 4, '-') && ReadDigits(text, 5, 2, &month) &&
      Expect(text, 7, '-') && ReadDigits(text, 8, 2, &day) && Expect(text, 10, 'T') &&
      ReadDigits(text, 11, 2, &hour) && Expect(text, 13, ':') && ReadDigits(text, 14, 2, &minute) &&
      Expect(text, 16, ':') && ReadDigits(text, 17, 2, &second);
  std::size_t pos = 19;
  if (!fields || !ReadFraction(text, &pos, &millisecond) || !Expect(text, pos, 'Z') ||
      pos + 1 != text.size()) {
    return false;
  }
  return FromFields(year, month, day, hour, minute, second, millisecond, out);
}

std::string DateTime::ToString() const {
  std::int64_t days = milliseconds_ / kMsPerDay;
  std::int64_t rest = milliseconds_ % kMsPerDay;
  if (rest < 0) {
    rest += kMsPerDay;
    --days;
  }
  Civil const date = CivilFromDays(days);
  auto const seconds = static_cast<int>(rest / kMsPerSecond);
  // Years are kept within 1 to 9999, so every field has a fixed width.
  std::string text = "0000-00-00T00:00:00.000Z";
  PutDigits(text.data(), 4, static_cast<int>(date.year));
  PutDigits(&text[5], 2, date.month);
  PutDigits(&text[8], 2, date.day);
  PutDigits(&text[11], 2, seconds / 3600);
  PutDigits(&text[14], 2, seconds / 60 % 60);
  PutDigits(&text[17], 2, seconds % 60);
  PutDigits(&text[20], 3, static_cast<int>(rest % kMsPerSecond));
  return text;
}

}  // namespace Ormi
