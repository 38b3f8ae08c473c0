#include "service/Packets.h"

#include <charconv>
#include <cstdlib>

#include "host/DateTime.h"

namespace service {

using nlohmann::json;

json packetFields(const std::vector<host::FieldDef>& fields) {
  json out = json::array();
  for (const auto& f : fields) {
    json d{{"name", f.name}, {"type", host::fieldTypeCode(f.type)}};
    if (f.type == host::FieldType::String) d["size"] = f.size;
    out.push_back(std::move(d));
  }
  return out;
}

namespace {

json textOf(const soci::row& r, size_t i) {
  switch (r.get_properties(i).get_data_type()) {
    case soci::dt_string: return r.get<std::string>(i);
    case soci::dt_double: return json(r.get<double>(i)).dump();
    case soci::dt_integer: return std::to_string(r.get<int>(i));
    case soci::dt_long_long: return std::to_string(r.get<long long>(i));
    case soci::dt_unsigned_long_long: return std::to_string(r.get<unsigned long long>(i));
    default: return nullptr;
  }
}

json numberOf(const soci::row& r, size_t i) {
  switch (r.get_properties(i).get_data_type()) {
    case soci::dt_double: return r.get<double>(i);
    case soci::dt_integer: return static_cast<double>(r.get<int>(i));
    case soci::dt_long_long: return static_cast<double>(r.get<long long>(i));
    case soci::dt_unsigned_long_long: return static_cast<double>(r.get<unsigned long long>(i));
    case soci::dt_string: {
      const std::string s = r.get<std::string>(i);
      char* end = nullptr;
      double d = std::strtod(s.c_str(), &end);
      if (s.empty() || end != s.c_str() + s.size()) return nullptr;
      return d;
    }
    default: return nullptr;
  }
}

json dateOf(const soci::row& r, size_t i) {
  if (r.get_properties(i).get_data_type() == soci::dt_date) {
    std::tm t = r.get<std::tm>(i);
    auto d = host::DateTime::fromYmdHms(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                                        t.tm_min, t.tm_sec);
    return (t.tm_hour || t.tm_min || t.tm_sec) ? d.iso() : d.dateOnly().iso();
  }
  json s = textOf(r, i);
  if (!s.is_string()) return nullptr;
  auto d = host::DateTime::parseIso(s.get<std::string>());
  return d ? json(d->iso()) : json(nullptr);
}

}  // namespace

json packetRow(const soci::row& r, const std::vector<host::FieldDef>& fields) {
  json row = json::array();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (r.get_indicator(i) == soci::i_null) {
      row.push_back(nullptr);
      continue;
    }
    switch (fields[i].type) {
      case host::FieldType::Float: row.push_back(numberOf(r, i)); break;
      case host::FieldType::Integer: {
        json n = numberOf(r, i);
        row.push_back(n.is_null() ? n : json(static_cast<int64_t>(n.get<double>())));
        break;
      }
      case host::FieldType::Boolean: {
        json t = textOf(r, i);
        row.push_back(t.is_string() && (t == "1" || t == "S" || t == "true"));
        break;
      }
      case host::FieldType::Date: row.push_back(dateOf(r, i)); break;
      default: row.push_back(textOf(r, i)); break;
    }
  }
  return row;
}

json packetFromRows(soci::rowset<soci::row>& rows, const std::vector<host::FieldDef>& fields) {
  json out{{"fields", packetFields(fields)}, {"rows", json::array()}};
  json& data = out["rows"];
  for (const soci::row& r : rows) data.push_back(packetRow(r, fields));
  return out;
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
