#include "host/DateTime.h"

#include <fmt/format.h>

#include <ctime>
#include <stdexcept>

namespace host {
namespace {

// Howard Hinnant's days-from-civil and civil-from-days algorithms.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Ymd {
  int y;
  int m;
  int d;
};

Ymd civilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

bool startsWith(std::string_view s, size_t pos, std::string_view token) {
  return s.substr(pos, token.size()) == token;
}

// Reads exactly `width` digits at `pos`.
std::optional<int> readDigits(std::string_view text, size_t pos, size_t width) {
  if (pos + width > text.size()) return std::nullopt;
  int v = 0;
  for (size_t i = 0; i < width; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

}  // namespace

bool DateTime::validYmd(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int last = kDays[month - 1];
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month == 2 && leap) last = 29;
  return day <= last;
}

DateTime DateTime::fromYmd(int year, int month, int day) {
  if (!validYmd(year, month, day)) {
    throw std::invalid_argument(fmt::format("no such date: {:04}-{:02}-{:02}", year, month, day));
  }
  return fromDays(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)));
}

DateTime DateTime::fromYmdHms(int year, int month, int day, int hour, int minute, int second,
                              int millisecond) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
      millisecond < 0 || millisecond > 999) {
    throw std::invalid_argument(
        fmt::format("no such time: {:02}:{:02}:{:02}.{:03}", hour, minute, second, millisecond));
  }
  DateTime d = fromYmd(year, month, day);
  d.msOfDay_ = ((hour * 60 + minute) * 60 + second) * 1000LL + millisecond;
  d.hasTime_ = true;
  return d;
}

DateTime DateTime::fromDays(int64_t daysSinceEpoch) {
  DateTime d;
  d.days_ = daysSinceEpoch;
  return d;
}

int DateTime::year() const {
  return civilFromDays(days_).y;
}
int DateTime::month() const {
  return civilFromDays(days_).m;
}
int DateTime::day() const {
  return civilFromDays(days_).d;
}

int DateTime::dayOfWeek() const {
  // 1970-01-01 was a Thursday (5 in the host's numbering).
  const int64_t w = ((days_ % 7) + 7 + 4) % 7;  // 0 = Sunday
  return static_cast<int>(w) + 1;
}

DateTime DateTime::addDays(int64_t n) const {
  DateTime d = *this;
  d.days_ += n;
  return d;
}

std::optional<DateTime> DateTime::parse(std::string_view text, std::string_view format) {
  int y = -1, m = -1, d = -1, h = 0, n = 0, s = 0, z = 0;
  bool time = false;
  size_t ti = 0;
  size_t fi = 0;
  while (fi < format.size()) {
    struct Token {
      std::string_view name;
      int* target;
      bool isTime;
    };
    const Token tokens[] = {{"yyyy", &y, false}, {"zzz", &z, true}, {"yy", &y, false},
                            {"dd", &d, false},   {"mm", &m, false}, {"hh", &h, true},
                            {"nn", &n, true},    {"ss", &s, true}};
    bool matched = false;
    for (const auto& t : tokens) {
      if (startsWith(format, fi, t.name)) {
        auto v = readDigits(text, ti, t.name.size());
        if (!v) return std::nullopt;
        *t.target = *v;
        if (t.name == "yy") *t.target += *v < 50 ? 2000 : 1900;
        time = time || t.isTime;
        ti += t.name.size();
        fi += t.name.size();
        matched = true;
        break;
      }
    }
    if (matched) continue;
    if (ti >= text.size() || text[ti] != format[fi]) return std::nullopt;
    ++ti;
    ++fi;
  }
  if (ti != text.size() || y < 0 || m < 0 || d < 0) return std::nullopt;
  if (!validYmd(y, m, d) || h > 23 || n > 59 || s > 59) return std::nullopt;
  if (time) return fromYmdHms(y, m, d, h, n, s, z);
  return fromYmd(y, m, d);
}

std::optional<DateTime> DateTime::parseIso(std::string_view text) {
  if (text.size() == 10) return parse(text, "yyyy-mm-dd");
  if (text.size() == 19) {
    if (auto v = parse(text, "yyyy-mm-ddThh:nn:ss")) return v;
    return parse(text, "yyyy-mm-dd hh:nn:ss");
  }
  if (text.size() == 23) {
    if (auto v = parse(text, "yyyy-mm-ddThh:nn:ss.zzz")) return v;
    return parse(text, "yyyy-mm-dd hh:nn:ss.zzz");
  }
  return std::nullopt;
}

std::string DateTime::format(std::string_view format) const {
  const Ymd ymd = civilFromDays(days_);
  std::string out;
  out.reserve(format.size() + 4);
  size_t fi = 0;
  while (fi < format.size()) {
    if (startsWith(format, fi, "yyyy")) {
      out += fmt::format("{:04}", ymd.y);
      fi += 4;
    } else if (startsWith(format, fi, "zzz")) {
      out += fmt::format("{:03}", millisecond());
      fi += 3;
    } else if (startsWith(format, fi, "yy")) {
      out += fmt::format("{:02}", ymd.y % 100);
      fi += 2;
    } else if (startsWith(format, fi, "dd")) {
      out += fmt::format("{:02}", ymd.d);
      fi += 2;
    } else if (startsWith(format, fi, "mm")) {
      out += fmt::format("{:02}", ymd.m);
      fi += 2;
    } else if (startsWith(format, fi, "hh")) {
      out += fmt::format("{:02}", hour());
      fi += 2;
    } else if (startsWith(format, fi, "nn")) {
      out += fmt::format("{:02}", minute());
      fi += 2;
    } else if (startsWith(format, fi, "ss")) {
      out += fmt::format("{:02}", second());
      fi += 2;
    } else {
      out += format[fi++];
    }
  }
  return out;
}

std::string DateTime::iso() const {
  return hasTime_ ? format("yyyy-mm-ddThh:nn:ss.zzz") : format("yyyy-mm-dd");
}

DateTime SystemClock::now() const {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateTime::fromYmdHms(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                              tm.tm_sec == 60 ? 59 : tm.tm_sec);
}

}  // namespace host
