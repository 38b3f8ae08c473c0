#pragma once
// The row codec: the packed row form shared by ClientDataset and DataPacket, so that a packet
// built in the service or read off the wire becomes a dataset's rows without being encoded
// twice. Rows are written with the put* functions and encodeRow, and read with one cursor
// type, CellCursor. Internal to host/: nothing outside ClientDataset*.cpp includes it.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/ClientDataset.h"
#include "host/DateTime.h"
#include "host/Value.h"

namespace host::packed {

// ---------------------------------------------------------------------------------------
// Packed rows. A row is one byte string: per field a tag, then the payload. 100,000 rows
// of 40 fields held as Value objects would take 40 bytes a cell before any text; packed,
// a boleto row takes a few hundred bytes.
enum Tag : uint8_t { kNull = 0, kText, kInt, kFloat, kFalse, kTrue, kDate, kDateTime };

/// Bytes appended to a std::string through a cursor of its own: the row codec writes a
/// byte or two per cell, and std::string's push_back and append are calls into the library
/// that cost more than the byte. Holds the string at a size of its choosing while it writes;
/// finish(), or the sink's end, gives it its written size.
class ByteSink {
 public:
  /// Writes from `at` on (the string's bytes before it stay).
  ByteSink(std::string& s, size_t at) : s_(s), n_(at) {
    if (s_.size() < at) s_.resize(at);
  }
  ByteSink(const ByteSink&) = delete;
  ByteSink& operator=(const ByteSink&) = delete;
  ~ByteSink() { finish(); }
  void reserve(size_t bytes) {
    if (n_ + bytes > s_.size()) s_.resize(n_ + bytes);
  }
  void push_back(char c) {
    if (n_ == s_.size()) grow(1);
    s_.data()[n_++] = c;
  }
  void append(const char* p, size_t k) {
    if (n_ + k > s_.size()) grow(k);
    std::memcpy(s_.data() + n_, p, k);
    n_ += k;
  }
  void append(std::string_view v) { append(v.data(), v.size()); }
  size_t size() const { return n_; }
  const char* data() const { return s_.data(); }
  /// Writes from `at` on again, as if nothing had been written there.
  void rewind(size_t at) { n_ = std::min(at, s_.size()); }
  /// The string at the size written (also when the sink ends).
  void finish() { s_.resize(n_); }

 private:
  void grow(size_t k) { s_.resize(std::max(2 * s_.size(), n_ + k)); }
  std::string& s_;
  size_t n_;
};

template <class Out>
inline void putVarint(Out& out, uint64_t v) {
  while (v >= 0x80) {
    out.push_back(static_cast<char>((v & 0x7F) | 0x80));
    v >>= 7;
  }
  out.push_back(static_cast<char>(v));
}

inline uint64_t getVarint(const char*& p) {
  uint64_t v = 0;
  int shift = 0;
  for (;;) {
    const auto b = static_cast<uint8_t>(*p++);
    v |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) return v;
    shift += 7;
  }
}

template <typename T, class Out>
inline void putRaw(Out& out, T v) {
  char buf[sizeof(T)];
  std::memcpy(buf, &v, sizeof(T));
  out.append(buf, sizeof(T));
}

template <typename T>
inline T getRaw(const char*& p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  p += sizeof(T);
  return v;
}

inline int32_t msOfDay(const DateTime& d) {
  return ((d.hour() * 60 + d.minute()) * 60 + d.second()) * 1000 + d.millisecond();
}

template <class Out>
inline void putText(Out& out, std::string_view s) {
  out.push_back(static_cast<char>(kText));
  putVarint(out, s.size());
  out.append(s.data(), s.size());
}

template <class Out>
inline void putDate(Out& out, const DateTime& d) {
  out.push_back(static_cast<char>(d.hasTime() ? kDateTime : kDate));
  putRaw<int32_t>(out, static_cast<int32_t>(d.daysSinceEpoch()));
  if (d.hasTime()) putRaw<int32_t>(out, msOfDay(d));
}

/// One cell of a packed row as a CellCursor reads it: its tag and the payload that tag
/// carries (the other members stay zero).
struct Cell {
  Tag tag = kNull;
  std::string_view text;  ///< kText: the bytes, pointing into the row
  int64_t integer = 0;    ///< kInt
  double real = 0;        ///< kFloat
  int32_t days = 0;       ///< kDate, kDateTime: days since 1970-01-01
  int32_t ms = 0;         ///< kDateTime: milliseconds after midnight
};

/// Walks the cells of one packed row in field order. The one place that knows how a cell is
/// laid out after its tag: every reader of packed rows goes through it. The row must outlive
/// the cursor and the cells it hands out.
class CellCursor {
 public:
  explicit CellCursor(std::string_view row) : p_(row.data()) {}

  /// The tag of the cell under the cursor, which stays where it is.
  Tag tag() const { return static_cast<Tag>(static_cast<uint8_t>(*p_)); }

  /// Passes the cell under the cursor without decoding it.
  void skip() {
    switch (static_cast<uint8_t>(*p_++)) {
      case kText:
        p_ += getVarint(p_);
        break;
      case kInt:
      case kFloat:
      case kDateTime:
        p_ += 8;
        break;
      case kDate:
        p_ += 4;
        break;
      default:
        break;
    }
  }
  void skip(size_t cells) {
    for (size_t i = 0; i < cells; ++i) skip();
  }

  /// Reads the cell under the cursor and passes it.
  Cell next() {
    Cell c;
    c.tag = static_cast<Tag>(static_cast<uint8_t>(*p_++));
    switch (c.tag) {
      case kText: {
        const auto n = static_cast<size_t>(getVarint(p_));
        c.text = std::string_view(p_, n);
        p_ += n;
        break;
      }
      case kInt:
        c.integer = getRaw<int64_t>(p_);
        break;
      case kFloat:
        c.real = getRaw<double>(p_);
        break;
      case kDate:
        c.days = getRaw<int32_t>(p_);
        break;
      case kDateTime:
        c.days = getRaw<int32_t>(p_);
        c.ms = getRaw<int32_t>(p_);
        break;
      default:
        break;
    }
    return c;
  }

 private:
  const char* p_;
};

/// The date a date cell holds.
inline DateTime cellDate(const Cell& c) {
  const DateTime d = DateTime::fromDays(c.days);
  if (c.tag != kDateTime) return d;
  return DateTime::fromYmdHms(d.year(), d.month(), d.day(), c.ms / 3600000, c.ms / 60000 % 60,
                              c.ms / 1000 % 60, c.ms % 1000);
}

/// The value a cell holds.
inline Value cellValue(const Cell& c) {
  switch (c.tag) {
    case kText:
      return Value(std::string(c.text));
    case kInt:
      return Value(c.integer);
    case kFloat:
      return Value(c.real);
    case kFalse:
      return Value(false);
    case kTrue:
      return Value(true);
    case kDate:
    case kDateTime:
      return Value(cellDate(c));
    default:
      return Value();
  }
}

/// The value of field `field` (0-based) of a packed row.
inline Value cellAt(std::string_view row, size_t field) {
  CellCursor c(row);
  c.skip(field);
  return cellValue(c.next());
}

/// Every value of a packed row of `fields` fields.
std::vector<Value> decodeRow(std::string_view row, size_t fields);

/// Appends one value in packed form.
void encodeValue(std::string& out, const Value& v);
/// A row of values in packed form, at its exact size.
std::string encodeRow(const std::vector<Value>& values);

/// A packed row as the JSON array of a packet (dates "yyyy-mm-dd" or with the time).
nlohmann::json rowJson(std::string_view row, size_t fields);

// ASCII-only folding is enough for field names (upper-case column mnemonics).
inline bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

/// Characters of a UTF-8 text, or nothing when the bytes are not UTF-8 (a text read as
/// Latin-1 somewhere would otherwise only fail when the packet is written out).
inline std::optional<size_t> utf8Chars(std::string_view s) {
  size_t n = 0;
  size_t i = 0;
  while (i < s.size()) {
    // Most texts are plain ASCII: eight bytes at a time while no byte has its high bit.
    uint64_t eight = 0;
    if (i + 8 <= s.size() &&
        (std::memcpy(&eight, s.data() + i, 8), eight & 0x8080808080808080u) == 0) {
      i += 8;
      n += 8;
      continue;
    }
    const auto b = static_cast<unsigned char>(s[i]);
    size_t extra = 0;
    unsigned char lo = 0x80;
    unsigned char hi = 0xBF;
    if (b < 0x80) {
      extra = 0;
    } else if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      return std::nullopt;
    }
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= s.size()) return std::nullopt;
      const auto c = static_cast<unsigned char>(s[i + k]);
      if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return std::nullopt;
    }
    i += extra + 1;
    ++n;
  }
  return n;
}

// Packets carry every date of 100,000 rows: these avoid the general date formatter.
/// Writes the date into `buf` (10 characters, or 23 with the time); returns how many.
inline size_t isoChars(char* buf, int32_t days, int32_t ms, bool withTime) {
  const DateTime d = DateTime::fromDays(days);
  auto put = [&](int pos, int width, int v) {
    for (int i = width - 1; i >= 0; --i) {
      buf[pos + i] = static_cast<char>('0' + v % 10);
      v /= 10;
    }
  };
  put(0, 4, d.year());
  buf[4] = '-';
  put(5, 2, d.month());
  buf[7] = '-';
  put(8, 2, d.day());
  if (!withTime) return 10;
  buf[10] = 'T';
  put(11, 2, ms / 3600000);
  buf[13] = ':';
  put(14, 2, ms / 60000 % 60);
  buf[16] = ':';
  put(17, 2, ms / 1000 % 60);
  buf[19] = '.';
  put(20, 3, ms % 1000);
  return 23;
}

inline void isoInto(std::string& out, int32_t days, int32_t ms, bool withTime) {
  char buf[24];
  out.assign(buf, isoChars(buf, days, ms, withTime));
}

inline std::optional<DateTime> parseIsoFast(std::string_view s) {
  auto num = [&](size_t pos, size_t width, int& v) {
    v = 0;
    for (size_t i = pos; i < pos + width; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      v = v * 10 + (s[i] - '0');
    }
    return true;
  };
  int y = 0, m = 0, d = 0, h = 0, n = 0, sec = 0, z = 0;
  if ((s.size() == 10 || s.size() == 23) && s[4] == '-' && s[7] == '-' && num(0, 4, y) &&
      num(5, 2, m) && num(8, 2, d) && DateTime::validYmd(y, m, d)) {
    if (s.size() == 10) return DateTime::fromYmd(y, m, d);
    if (s[10] == 'T' && s[13] == ':' && s[16] == ':' && s[19] == '.' && num(11, 2, h) &&
        num(14, 2, n) && num(17, 2, sec) && num(20, 3, z) && h < 24 && n < 60 && sec < 60) {
      return DateTime::fromYmdHms(y, m, d, h, n, sec, z);
    }
  }
  return DateTime::parseIso(s);
}

/// The field definitions of a packet (its "fields" member), checked: names given and unique,
/// known types, text fields with a positive size. Throws std::invalid_argument.
std::vector<FieldDef> parseFields(const nlohmann::json& packet);

}  // namespace host::packed
