#include "host/Value.h"

#include <fmt/format.h>

#include <cmath>
#include <stdexcept>

#include "host/Consiste.h"

namespace host {

const char* kindName(Value::Kind k) {
  switch (k) {
    case Value::Kind::Null:
      return "null";
    case Value::Kind::Text:
      return "text";
    case Value::Kind::Integer:
      return "integer";
    case Value::Kind::Float:
      return "float";
    case Value::Kind::Boolean:
      return "boolean";
    case Value::Kind::Date:
      return "date";
  }
  return "?";
}

std::string Value::asString() const {
  switch (kind()) {
    case Kind::Null:
      return {};
    case Kind::Text:
      return std::get<std::string>(v_);
    case Kind::Integer:
      return std::to_string(std::get<int64_t>(v_));
    case Kind::Float:
      return fmt::format("{}", std::get<double>(v_));
    case Kind::Boolean:
      return std::get<bool>(v_) ? "True" : "False";
    case Kind::Date: {
      const auto& d = std::get<DateTime>(v_);
      return d.hasTime() ? d.format("dd/mm/yyyy hh:nn:ss") : d.format("dd/mm/yyyy");
    }
  }
  return {};
}

double Value::asDouble() const {
  switch (kind()) {
    case Kind::Integer:
      return static_cast<double>(std::get<int64_t>(v_));
    case Kind::Float:
      return std::get<double>(v_);
    case Kind::Boolean:
      return std::get<bool>(v_) ? 1.0 : 0.0;
    case Kind::Text:
      return StrToFloatDef(std::get<std::string>(v_), 0.0);
    case Kind::Date:
      return static_cast<double>(std::get<DateTime>(v_).daysSinceEpoch() + 25569);
    case Kind::Null:
      return 0.0;
  }
  return 0.0;
}

int64_t Value::asInteger() const {
  switch (kind()) {
    case Kind::Integer:
      return std::get<int64_t>(v_);
    case Kind::Float:
      return static_cast<int64_t>(std::llround(std::get<double>(v_)));
    default:
      return static_cast<int64_t>(std::llround(asDouble()));
  }
}

bool Value::asBoolean() const {
  switch (kind()) {
    case Kind::Boolean:
      return std::get<bool>(v_);
    case Kind::Text: {
      const auto& s = std::get<std::string>(v_);
      return s == "True" || s == "true" || s == "S" || s == "1";
    }
    case Kind::Null:
      return false;
    default:
      return asDouble() != 0.0;
  }
}

DateTime Value::asDate() const {
  if (kind() == Kind::Date) return std::get<DateTime>(v_);
  if (kind() == Kind::Text) {
    const auto& s = std::get<std::string>(v_);
    if (auto d = DateTime::parse(s, "dd/mm/yyyy")) return *d;
    if (auto d = DateTime::parseIso(s)) return *d;
  }
  throw std::invalid_argument(fmt::format("'{}' is not a date", asString()));
}

namespace {
int rank(Value::Kind k) {
  switch (k) {
    case Value::Kind::Null:
      return 0;
    case Value::Kind::Integer:
    case Value::Kind::Float:
      return 1;
    case Value::Kind::Text:
      return 2;
    case Value::Kind::Boolean:
      return 3;
    case Value::Kind::Date:
      return 4;
  }
  return 5;
}
}  // namespace

int Value::compare(const Value& a, const Value& b, bool caseInsensitive) {
  const int ra = rank(a.kind());
  const int rb = rank(b.kind());
  if (ra != rb) return ra < rb ? -1 : 1;
  switch (a.kind()) {
    case Kind::Null:
      return 0;
    case Kind::Integer:
      if (b.kind() == Kind::Integer) {
        const auto x = std::get<int64_t>(a.v_);
        const auto y = std::get<int64_t>(b.v_);
        return x < y ? -1 : (x > y ? 1 : 0);
      }
      [[fallthrough]];
    case Kind::Float: {
      const double x = a.asDouble();
      const double y = b.asDouble();
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    case Kind::Text: {
      const auto& x = std::get<std::string>(a.v_);
      const auto& y = std::get<std::string>(b.v_);
      const int c = caseInsensitive ? CompareText(x, y) : x.compare(y);
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case Kind::Boolean: {
      const bool x = std::get<bool>(a.v_);
      const bool y = std::get<bool>(b.v_);
      return x == y ? 0 : (x ? 1 : -1);
    }
    case Kind::Date: {
      const auto& x = std::get<DateTime>(a.v_);
      const auto& y = std::get<DateTime>(b.v_);
      return x < y ? -1 : (y < x ? 1 : 0);
    }
  }
  return 0;
}

}  // namespace host
