#include "service/Packets.h"

#include <soci/sqlite3/soci-sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "host/DateTime.h"

namespace service {

using nlohmann::json;
// SOCI declares the SQLite API inside a namespace of its own.
using namespace sqlite_api;

namespace {

// The field part of a packet depends on the record alone, yet building it allocates a node per
// attribute of every field: a small read spent most of its time here. Tables are kept by
// address and checked against their contents, so a table built on the stack never gets the
// fields of another that lived at the same address before it.
struct CachedFields {
  std::vector<std::tuple<std::string, host::FieldType, int>> signature;
  json packet;
  std::shared_ptr<const host::DataPacket::Layout> layout;
};

bool sameFields(const CachedFields& c, const std::vector<host::FieldDef>& fields) {
  if (c.signature.size() != fields.size()) return false;
  for (size_t i = 0; i < fields.size(); ++i) {
    const auto& [name, type, size] = c.signature[i];
    if (type != fields[i].type || size != fields[i].size || name != fields[i].name) return false;
  }
  return true;
}

std::mutex cacheMutex;

// Under cacheMutex.
CachedFields& cachedFields(const std::vector<host::FieldDef>& fields) {
  static std::unordered_map<const void*, CachedFields> cache;
  // Records are a handful of static tables; tables made per call would only ever add entries.
  if (cache.size() > 64 && !cache.count(&fields)) cache.clear();
  CachedFields& c = cache[&fields];
  if (!sameFields(c, fields)) {
    c.signature.clear();
    for (const auto& f : fields) c.signature.emplace_back(f.name, f.type, f.size);
    c.packet = host::packetFieldsJson(fields);
    c.layout = host::DataPacket::layout(json{{"fields", c.packet}});
  }
  return c;
}

}  // namespace

json packetFields(const std::vector<host::FieldDef>& fields) {
  std::lock_guard lock(cacheMutex);
  return cachedFields(fields).packet;
}

std::shared_ptr<const host::DataPacket::Layout> packetLayout(
    const std::vector<host::FieldDef>& fields) {
  std::lock_guard lock(cacheMutex);
  return cachedFields(fields).layout;
}

namespace {

std::string doubleText(double d) {
  return json(d).dump();
}

std::optional<std::string> textOf(const soci::row& r, size_t i) {
  switch (r.get_properties(i).get_data_type()) {
    case soci::dt_string:
      return r.get<std::string>(i);
    case soci::dt_double:
      return doubleText(r.get<double>(i));
    case soci::dt_integer:
      return std::to_string(r.get<int>(i));
    case soci::dt_long_long:
      return std::to_string(r.get<long long>(i));
    case soci::dt_unsigned_long_long:
      return std::to_string(r.get<unsigned long long>(i));
    default:
      return std::nullopt;
  }
}

std::optional<double> numberOfText(const std::string& s) {
  char* end = nullptr;
  double d = std::strtod(s.c_str(), &end);
  if (s.empty() || end != s.c_str() + s.size()) return std::nullopt;
  return d;
}

std::optional<double> numberOf(const soci::row& r, size_t i) {
  switch (r.get_properties(i).get_data_type()) {
    case soci::dt_double:
      return r.get<double>(i);
    case soci::dt_integer:
      return static_cast<double>(r.get<int>(i));
    case soci::dt_long_long:
      return static_cast<double>(r.get<long long>(i));
    case soci::dt_unsigned_long_long:
      return static_cast<double>(r.get<unsigned long long>(i));
    case soci::dt_string:
      return numberOfText(r.get<std::string>(i));
    default:
      return std::nullopt;
  }
}

// A double as a whole number, or nothing when it is out of the 64-bit range (converting it
// would be undefined).
std::optional<int64_t> wholeOf(double d) {
  if (!(d > -9.2e18 && d < 9.2e18)) return std::nullopt;
  return static_cast<int64_t>(d);
}

bool isoDigits(const std::string& s, std::initializer_list<size_t> dashes) {
  for (size_t k = 0; k < s.size(); ++k) {
    const bool dash = std::find(dashes.begin(), dashes.end(), k) != dashes.end();
    if (dash ? s[k] != '-' : (s[k] < '0' || s[k] > '9')) return false;
  }
  return true;
}

std::optional<host::DateTime> dateOf(const soci::row& r, size_t i,
                                     std::optional<std::string>& text) {
  if (r.get_properties(i).get_data_type() == soci::dt_date) {
    std::tm t = r.get<std::tm>(i);
    auto d = host::DateTime::fromYmdHms(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                                        t.tm_min, t.tm_sec);
    return (t.tm_hour || t.tm_min || t.tm_sec) ? d : d.dateOnly();
  }
  text = textOf(r, i);
  if (!text) return std::nullopt;
  return host::DateTime::parseIso(*text);
}

bool isTrue(std::string_view t) {
  return t == "1" || t == "S" || t == "true";
}
bool isTrue(const std::optional<std::string>& t) {
  return t && isTrue(std::string_view(*t));
}

// A row's cells converted to their fields' types, handed to a sink: the JSON array of a tree
// packet or the packed row of a DataPacket.
template <class Sink>
void convertRow(const soci::row& r, const std::vector<host::FieldDef>& fields, Sink& out) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (r.get_indicator(i) == soci::i_null) {
      out.null();
      continue;
    }
    switch (fields[i].type) {
      case host::FieldType::Float: {
        auto n = numberOf(r, i);
        n ? out.number(*n) : out.null();
        break;
      }
      case host::FieldType::Integer: {
        auto n = numberOf(r, i);
        auto whole = n ? wholeOf(*n) : std::nullopt;
        whole ? out.integer(*whole) : out.null();
        break;
      }
      case host::FieldType::Boolean:
        out.boolean(isTrue(textOf(r, i)));
        break;
      case host::FieldType::Date: {
        std::optional<std::string> text;
        auto d = dateOf(r, i, text);
        d ? out.date(*d, text) : out.null();
        break;
      }
      default: {
        auto t = textOf(r, i);
        t ? out.text(std::move(*t)) : out.null();
        break;
      }
    }
  }
}

struct JsonSink {
  json::array_t& cells;
  void null() { cells.emplace_back(nullptr); }
  void number(double d) { cells.emplace_back(d); }
  void integer(int64_t i) { cells.emplace_back(i); }
  void boolean(bool b) { cells.emplace_back(b); }
  void text(std::string s) { cells.emplace_back(std::move(s)); }
  void date(const host::DateTime& d, std::optional<std::string>& stored) {
    // Stored dates are nearly all plain "yyyy-mm-dd", which is already the packet's form.
    if (stored && stored->size() == 10 && isoDigits(*stored, {4, 7})) {
      cells.emplace_back(std::move(*stored));
    } else {
      cells.emplace_back(d.iso());
    }
  }
};

struct PackedSink {
  host::DataPacket& packet;
  void null() { packet.addNull(); }
  void number(double d) { packet.addFloat(d); }
  void integer(int64_t i) { packet.addInteger(i); }
  void boolean(bool b) { packet.addBoolean(b); }
  void text(const std::string& s) { packet.addText(s); }
  void date(const host::DateTime& d, const std::optional<std::string>&) { packet.addDate(d); }
};

// The same conversions read off an SQLite statement by each value's storage class. Each
// sqlite3_column_* call takes the connection's mutex; the value is taken once and read
// without it (the statement belongs to this call's session, which no other thread uses).
void convertSqliteRow(sqlite3_stmt* st, const std::vector<host::FieldDef>& fields,
                      host::DataPacket& out) {
  for (size_t i = 0; i < fields.size(); ++i) {
    sqlite3_value* v = sqlite3_column_value(st, static_cast<int>(i));
    const int kind = sqlite3_value_type(v);
    if (kind == SQLITE_NULL || kind == SQLITE_BLOB) {
      out.addNull();
      continue;
    }
    // valid until the statement moves on
    std::string_view text;
    if (kind == SQLITE_TEXT) {
      const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
      text = std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v)));
    }
    switch (fields[i].type) {
      case host::FieldType::Float:
      case host::FieldType::Integer: {
        if (kind == SQLITE_INTEGER && fields[i].type == host::FieldType::Integer) {
          out.addInteger(sqlite3_value_int64(v));
          break;
        }
        const std::optional<double> n =
            kind == SQLITE_TEXT ? numberOfText(std::string(text)) : sqlite3_value_double(v);
        if (!n) {
          out.addNull();
        } else if (fields[i].type == host::FieldType::Integer) {
          auto whole = wholeOf(*n);
          whole ? out.addInteger(*whole) : out.addNull();
        } else {
          out.addFloat(*n);
        }
        break;
      }
      case host::FieldType::Boolean:
        out.addBoolean(kind == SQLITE_INTEGER ? sqlite3_value_int64(v) == 1
                                              : kind == SQLITE_TEXT && isTrue(text));
        break;
      case host::FieldType::Date:
        if (kind != SQLITE_TEXT || !out.addIsoDate(text)) out.addNull();
        break;
      default:
        if (kind == SQLITE_INTEGER) {
          out.addText(std::to_string(sqlite3_value_int64(v)));
        } else if (kind == SQLITE_FLOAT) {
          out.addText(doubleText(sqlite3_value_double(v)));
        } else {
          out.addText(text);
        }
        break;
    }
  }
}

}  // namespace

json packetRow(const soci::row& r, const std::vector<host::FieldDef>& fields) {
  json row = json::array();
  auto& cells = row.get_ref<json::array_t&>();
  cells.reserve(fields.size());
  JsonSink sink{cells};
  convertRow(r, fields, sink);
  return row;
}

json packetFromRows(soci::rowset<soci::row>& rows, const std::vector<host::FieldDef>& fields) {
  json data = json::array();
  for (const soci::row& r : rows) data.push_back(packetRow(r, fields));
  json out = json::object();
  out["fields"] = packetFields(fields);
  out["rows"] = std::move(data);
  return out;
}

void packedRow(const soci::row& r, const std::vector<host::FieldDef>& fields,
               host::DataPacket& packet) {
  PackedSink sink{packet};
  convertRow(r, fields, sink);
  packet.endRow();
}

host::DataPacket packedFromRows(soci::rowset<soci::row>& rows,
                                const std::vector<host::FieldDef>& fields) {
  host::DataPacket packet(packetLayout(fields));
  for (const soci::row& r : rows) packedRow(r, fields, packet);
  return packet;
}

host::DataPacket packedFromSqlite(soci::session& sql, const std::string& text,
                                  const std::vector<host::Value>& values,
                                  const std::vector<host::FieldDef>& fields) {
  auto* be = static_cast<soci::sqlite3_session_backend*>(sql.get_backend());
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(be->conn_, text.c_str(), static_cast<int>(text.size()), &st, nullptr) !=
      SQLITE_OK) {
    throw soci::soci_error(std::string("cannot prepare the query: ") + sqlite3_errmsg(be->conn_));
  }
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> owned(st, sqlite3_finalize);
  if (static_cast<size_t>(sqlite3_bind_parameter_count(st)) != values.size())
    throw soci::soci_error("the query's parameters and the values given differ in number");
  // Bound as runBound binds them through SOCI.
  for (size_t k = 0; k < values.size(); ++k) {
    const int at = static_cast<int>(k) + 1;
    const host::Value& v = values[k];
    std::string t;
    switch (v.kind()) {
      case host::Value::Kind::Null:
        sqlite3_bind_null(st, at);
        continue;
      case host::Value::Kind::Integer:
        sqlite3_bind_int64(st, at, v.asInteger());
        continue;
      case host::Value::Kind::Float:
        sqlite3_bind_double(st, at, v.asDouble());
        continue;
      case host::Value::Kind::Date:
        t = v.asDate().iso();
        break;
      case host::Value::Kind::Boolean:
        t = v.asBoolean() ? "S" : "N";
        break;
      default:
        t = v.asString();
        break;
    }
    sqlite3_bind_text(st, at, t.data(), static_cast<int>(t.size()), SQLITE_TRANSIENT);
  }
  if (static_cast<size_t>(sqlite3_column_count(st)) < fields.size())
    throw soci::soci_error("the query gives fewer columns than the packet has fields");
  host::DataPacket packet(packetLayout(fields));
  for (;;) {
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE) break;
    if (rc != SQLITE_ROW)
      throw soci::soci_error(std::string("the query failed: ") + sqlite3_errmsg(be->conn_));
    convertSqliteRow(st, fields, packet);
    packet.endRow();
  }
  return packet;
}

std::string selectList(const std::vector<host::FieldDef>& fields,
                       const std::function<std::string(const std::string&)>& exprOf) {
  std::string out;
  for (const auto& f : fields) {
    if (!out.empty()) out += ", ";
    out += exprOf(f.name);
    out += " AS ";
    out += f.name;
  }
  return out;
}

}  // namespace service
