#include "records/Rpc.h"

#include <fmt/format.h>

#include "host/Consiste.h"
#include "host/Errors.h"
#include "records/Methods.h"

namespace rpc {

const char* kindName(Kind k) {
  switch (k) {
    case Kind::Text:
      return "text";
    case Kind::Number:
      return "a number";
    case Kind::Integer:
      return "an integer";
    case Kind::Boolean:
      return "a boolean";
    case Kind::Date:
      return "a date";
    case Kind::Packet:
      return "a data packet";
    case Kind::PacketOrNull:
      return "a data packet or null";
    case Kind::Any:
      return "any value";
  }
  return "?";
}

const std::vector<MethodDecl>& declarations() {
  static const std::vector<MethodDecl> all = Declared::describeAll();
  return all;
}

namespace detail {

std::string padded(const std::string& text, int width) {
  // Characters, not bytes: field sizes count what the operator typed.
  const size_t length = host::Utf8Length(text);
  if (text.empty() || width <= 0 || length >= static_cast<size_t>(width)) return text;
  return std::string(static_cast<size_t>(width) - length, '0') + text;
}

remote::Variant toWire(const std::string& v) {
  return remote::Variant(v);
}
remote::Variant toWire(double v) {
  return remote::Variant(v);
}
remote::Variant toWire(int64_t v) {
  return remote::Variant(v);
}
remote::Variant toWire(bool v) {
  return remote::Variant(v);
}
remote::Variant toWire(const std::optional<host::DateTime>& v) {
  return v ? remote::Variant(*v) : remote::Variant();
}
remote::Variant toWire(const remote::Variant& v) {
  return v;
}

// The service has checked each value against its kind; null stands for the kind's empty
// value, as the checks read it.
void fromWire(const remote::Variant& w, std::string& v) {
  v = w.isNull() ? std::string() : w.asString();
}
void fromWire(const remote::Variant& w, double& v) {
  v = w.isNull() ? 0.0 : w.asDouble();
}
void fromWire(const remote::Variant& w, int64_t& v) {
  v = w.isNull() ? 0 : w.asInteger();
}
void fromWire(const remote::Variant& w, bool& v) {
  v = !w.isNull() && w.asBoolean();
}
void fromWire(const remote::Variant& w, std::optional<host::DateTime>& v) {
  if (w.isNull()) {
    v.reset();
  } else {
    v = w.value().asDate();
  }
}
void fromWire(const remote::Variant& w, remote::Variant& v) {
  v = w;
}

void checkObject(const remote::Connection& conn, const Method& m) {
  if (conn.serverName() != m.object)
    throw host::InvariantError(fmt::format("{} is a method of {}, called on a connection to {}",
                                           m.name, m.object, conn.serverName()));
}

}  // namespace detail
}  // namespace rpc
