#pragma once
// The variant value that fields, key lists and remote arguments carry.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/DateTime.h"

namespace host {

/// null | text | integer | float | boolean | date. Null is distinct from empty text and from 0.
class Value {
 public:
  enum class Kind { Null, Text, Integer, Float, Boolean, Date };

  Value() = default;
  Value(std::nullptr_t) {}
  Value(std::string s) : v_(std::move(s)) {}
  Value(std::string_view s) : v_(std::string(s)) {}
  Value(const char* s) : v_(std::string(s)) {}
  Value(int i) : v_(static_cast<int64_t>(i)) {}
  Value(int64_t i) : v_(i) {}
  Value(double d) : v_(d) {}
  Value(bool b) : v_(b) {}
  Value(DateTime d) : v_(d) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isText() const { return kind() == Kind::Text; }
  bool isNumber() const { return kind() == Kind::Integer || kind() == Kind::Float; }

  /// Text of the value: "" for null, decimal numbers with a dot, "True"/"False",
  /// dates as "dd/mm/yyyy" (with " hh:nn:ss" when a time is carried).
  std::string asString() const;
  /// Number of the value: 0 for null and for text that is not a number.
  double asDouble() const;
  int64_t asInteger() const;
  bool asBoolean() const;
  /// The date; throws std::invalid_argument for a value that is not a date
  /// (text is read as "dd/mm/yyyy" or "yyyy-mm-dd").
  DateTime asDate() const;

  /// Direct access; throws std::bad_variant_access on the wrong kind.
  const std::string& text() const { return std::get<std::string>(v_); }

  /// Equal kind and equal content (1 and 1.0 differ; null equals only null).
  bool operator==(const Value& o) const { return v_ == o.v_; }
  /// Orders for sorting: null first, then numbers, texts, booleans, dates.
  /// Numbers compare by value whatever their kind.
  static int compare(const Value& a, const Value& b, bool caseInsensitive = false);

 private:
  std::variant<std::monostate, std::string, int64_t, double, bool, DateTime> v_;
};

const char* kindName(Value::Kind k);

}  // namespace host
