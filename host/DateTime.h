#pragma once
// Calendar dates with an optional time of day, in the formats the module reads and writes.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host {

/// A proleptic Gregorian date with an optional time of day (milliseconds after midnight).
/// The default value is 1899-12-30 without time, the zero of the host's date arithmetic,
/// but code should say what it means through `isValid` and named constructors.
class DateTime {
 public:
  DateTime() = default;

  /// Builds a date; throws std::invalid_argument when the day does not exist.
  static DateTime fromYmd(int year, int month, int day);
  static DateTime fromYmdHms(int year, int month, int day, int hour, int minute, int second,
                             int millisecond = 0);
  /// Days since 1970-01-01 (negative before).
  static DateTime fromDays(int64_t daysSinceEpoch);
  /// Is y-m-d a day of the calendar?
  static bool validYmd(int year, int month, int day);

  /// Parses `text` laid out as `format`, where the tokens are dd, mm, yyyy, yy, hh, nn, ss, zzz
  /// and every other character must match itself. Returns nothing when the text does not fit
  /// the format or names a day that does not exist.
  static std::optional<DateTime> parse(std::string_view text, std::string_view format);
  /// Parses "yyyy-mm-dd", "yyyy-mm-ddThh:nn:ss[.zzz]" or "yyyy-mm-dd hh:nn:ss".
  static std::optional<DateTime> parseIso(std::string_view text);

  /// Formats with the same tokens as `parse`.
  std::string format(std::string_view format) const;
  /// "yyyy-mm-dd", or "yyyy-mm-ddThh:nn:ss.zzz" when a time is carried.
  std::string iso() const;

  int year() const;
  int month() const;
  int day() const;
  int hour() const { return static_cast<int>(msOfDay_ / 3600000); }
  int minute() const { return static_cast<int>(msOfDay_ / 60000 % 60); }
  int second() const { return static_cast<int>(msOfDay_ / 1000 % 60); }
  int millisecond() const { return static_cast<int>(msOfDay_ % 1000); }
  bool hasTime() const { return hasTime_; }
  /// 1 = Sunday ... 7 = Saturday, as the host numbers weekdays.
  int dayOfWeek() const;

  int64_t daysSinceEpoch() const { return days_; }
  /// The date without its time of day.
  DateTime dateOnly() const { return fromDays(days_); }
  DateTime addDays(int64_t n) const;
  /// Whole days from `other` to this date (times ignored).
  int64_t daysSince(const DateTime& other) const { return days_ - other.days_; }

  bool operator==(const DateTime& o) const { return days_ == o.days_ && msOfDay_ == o.msOfDay_; }
  std::strong_ordering operator<=>(const DateTime& o) const {
    if (auto c = days_ <=> o.days_; c != 0) return c;
    return msOfDay_ <=> o.msOfDay_;
  }

 private:
  int64_t days_ = -25569;  // 1899-12-30
  int64_t msOfDay_ = 0;
  bool hasTime_ = false;
};

/// The injected clock: the command line and the desktop install the system clock once at
/// start (host/Host.h), the service is given one, tests fix it. Durations (time-outs,
/// benchmarks) are measured on a steady clock instead: they are not "today".
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime now() const = 0;
  DateTime today() const { return now().dateOnly(); }
};

/// Local time of the machine.
class SystemClock final : public Clock {
 public:
  DateTime now() const override;
};

/// A clock that always answers the same instant.
class FixedClock final : public Clock {
 public:
  explicit FixedClock(DateTime at) : at_(at) {}
  DateTime now() const override { return at_; }
  void set(DateTime at) { at_ = at; }

 private:
  DateTime at_;
};

}  // namespace host
