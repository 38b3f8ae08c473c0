#include "host/ClientDatasetRows.h"

namespace host::packed {

std::vector<Value> decodeRow(std::string_view row, size_t fields) {
  std::vector<Value> out;
  out.reserve(fields);
  CellCursor cells(row);
  for (size_t i = 0; i < fields; ++i) out.push_back(cellValue(cells.next()));
  return out;
}

void encodeValue(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Value::Kind::Null:
      out.push_back(static_cast<char>(kNull));
      break;
    case Value::Kind::Text:
      putText(out, v.text());
      break;
    case Value::Kind::Integer:
      out.push_back(static_cast<char>(kInt));
      putRaw<int64_t>(out, v.asInteger());
      break;
    case Value::Kind::Float:
      out.push_back(static_cast<char>(kFloat));
      putRaw<double>(out, v.asDouble());
      break;
    case Value::Kind::Boolean:
      out.push_back(static_cast<char>(v.asBoolean() ? kTrue : kFalse));
      break;
    case Value::Kind::Date:
      putDate(out, v.asDate());
      break;
  }
}

std::string encodeRow(const std::vector<Value>& values) {
  // encoded in a reused buffer, then copied once at its exact size: a row string that grew
  // by doubling would carry up to twice its bytes for as long as the row lives
  static thread_local std::string scratch;
  scratch.clear();
  for (const auto& v : values) encodeValue(scratch, v);
  return std::string(scratch);
}

nlohmann::json rowJson(std::string_view row, size_t fields) {
  nlohmann::json out = nlohmann::json::array();
  auto& arr = out.get_ref<nlohmann::json::array_t&>();
  arr.reserve(fields);
  CellCursor cells(row);
  for (size_t i = 0; i < fields; ++i) {
    const Cell c = cells.next();
    switch (c.tag) {
      case kText:
        arr.emplace_back(std::string(c.text));
        break;
      case kInt:
        arr.emplace_back(c.integer);
        break;
      case kFloat:
        arr.emplace_back(c.real);
        break;
      case kFalse:
        arr.emplace_back(false);
        break;
      case kTrue:
        arr.emplace_back(true);
        break;
      case kDate:
      case kDateTime: {
        std::string iso;
        isoInto(iso, c.days, c.ms, c.tag == kDateTime);
        arr.emplace_back(std::move(iso));
        break;
      }
      default:
        arr.emplace_back(nullptr);
        break;
    }
  }
  return out;
}

}  // namespace host::packed
