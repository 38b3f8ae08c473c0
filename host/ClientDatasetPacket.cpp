#include "host/ClientDatasetPacket.h"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "host/ClientDatasetRows.h"

namespace host {

using nlohmann::json;

namespace packed {

std::vector<FieldDef> parseFields(const json& packet) {
  if (!packet.is_object()) throw std::invalid_argument("data packet: not a JSON object");
  if (!packet.contains("fields") || !packet["fields"].is_array()) {
    throw std::invalid_argument("data packet: \"fields\" is missing or not an array");
  }
  std::vector<FieldDef> out;
  size_t i = 0;
  for (const auto& f : packet["fields"]) {
    const std::string where = fmt::format("data packet: field {}", i++);
    if (!f.is_object()) throw std::invalid_argument(where + ": not an object");
    FieldDef d;
    auto text = [&](const char* key, std::string& target, bool required) {
      if (!f.contains(key)) {
        if (required) throw std::invalid_argument(fmt::format("{}: \"{}\" is missing", where, key));
        return;
      }
      if (!f[key].is_string())
        throw std::invalid_argument(fmt::format("{}: \"{}\" is not a text", where, key));
      target = f[key].get<std::string>();
    };
    auto number = [&](const char* key, int& target) {
      if (!f.contains(key)) return;
      if (!f[key].is_number_integer()) {
        throw std::invalid_argument(fmt::format("{}: \"{}\" is not a whole number", where, key));
      }
      target = f[key].get<int>();
    };
    auto flag = [&](const char* key, bool& target) {
      if (!f.contains(key)) return;
      if (!f[key].is_boolean())
        throw std::invalid_argument(fmt::format("{}: \"{}\" is not true or false", where, key));
      target = f[key].get<bool>();
    };
    text("name", d.name, true);
    if (d.name.empty()) throw std::invalid_argument(where + ": the name is empty");
    std::string type;
    text("type", type, true);
    try {
      d.type = fieldTypeFromCode(type);
    } catch (const std::invalid_argument& e) {
      throw std::invalid_argument(fmt::format("{} ({}): {}", where, d.name, e.what()));
    }
    number("size", d.size);
    if (d.type == FieldType::String && d.size <= 0) {
      throw std::invalid_argument(
          fmt::format("{} ({}): a text field needs a positive size", where, d.name));
    }
    text("label", d.displayLabel, false);
    text("format", d.displayFormat, false);
    text("mask", d.editMask, false);
    flag("fixedWidth", d.fixedWidth);
    flag("visible", d.visible);
    number("width", d.displayWidth);
    for (const auto& other : out) {
      if (sameName(other.name, d.name))
        throw std::invalid_argument(fmt::format("data packet: field {} appears twice", d.name));
    }
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace packed

using namespace packed;

// --- building

std::shared_ptr<const DataPacket::Layout> DataPacket::layout(json head) {
  auto out = std::make_shared<Layout>();
  out->fields = parseFields(head);
  out->fieldsText = head.at("fields").dump();
  head.erase("rows");
  out->head = std::move(head);
  return out;
}

DataPacket::DataPacket(std::shared_ptr<const Layout> layout) : layout_(std::move(layout)) {}

void DataPacket::put(FieldType expected, bool alsoFloat) {
  const auto& fields = layout_->fields;
  if (cell_ >= fields.size())
    throw std::invalid_argument(
        fmt::format("data packet: row {} has more than {} values", rows_.size(), fields.size()));
  const FieldType t = fields[cell_].type;
  const bool text = expected == FieldType::String;
  if (!(t == expected || (text && t == FieldType::Memo) || (alsoFloat && t == FieldType::Float))) {
    throw std::invalid_argument(fmt::format("data packet: row {}, field {}: a value of type {}",
                                            rows_.size(), fields[cell_].name, fieldTypeCode(t)));
  }
  ++cell_;
}

void DataPacket::addNull() {
  if (cell_ >= fields().size()) put(FieldType::String);  // throws: a cell too many
  ++cell_;
  building_.push_back(static_cast<char>(kNull));
}

void DataPacket::addText(std::string_view s) {
  put(FieldType::String);
  putText(building_, s);
}

void DataPacket::addInteger(int64_t i) {
  if (cell_ < fields().size() && fields()[cell_].type == FieldType::Float) {
    addFloat(static_cast<double>(i));
    return;
  }
  put(FieldType::Integer);
  building_.push_back(static_cast<char>(kInt));
  putRaw<int64_t>(building_, i);
}

void DataPacket::addFloat(double d) {
  put(FieldType::Float);
  if (!std::isfinite(d)) {
    building_.push_back(static_cast<char>(kNull));
    return;
  }
  building_.push_back(static_cast<char>(kFloat));
  putRaw<double>(building_, d);
}

void DataPacket::addBoolean(bool b) {
  put(FieldType::Boolean);
  building_.push_back(static_cast<char>(b ? kTrue : kFalse));
}

void DataPacket::addDate(const DateTime& d) {
  put(FieldType::Date);
  putDate(building_, d);
}

bool DataPacket::addIsoDate(std::string_view iso) {
  auto d = parseIsoFast(iso);
  if (!d) return false;
  addDate(*d);
  return true;
}

void DataPacket::endRow() {
  if (cell_ != fields().size())
    throw std::invalid_argument(fmt::format("data packet: row {} has {} of {} values", rows_.size(),
                                            cell_, fields().size()));
  rows_.emplace_back(building_);  // at its exact size: the buffer is reused
  building_.clear();
  cell_ = 0;
}

// --- JSON

json DataPacket::toJson() const {
  json out = layout_->head;
  json rows = json::array();
  auto& arr = rows.get_ref<json::array_t&>();
  arr.reserve(rows_.size());
  for (const auto& r : rows_) arr.push_back(rowJson(r, fields().size()));
  out["rows"] = std::move(rows);
  return out;
}

namespace {

// The bytes a JSON text cannot carry as they are.
constexpr auto kEscaped = [] {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[static_cast<size_t>(c)] = true;
  t['"'] = t['\\'] = true;
  return t;
}();

void writeString(ByteSink& out, std::string_view s) {
  if (!utf8Chars(s)) throw std::invalid_argument("data packet: a text is not valid UTF-8");
  out.push_back('"');
  size_t plain = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (!kEscaped[c]) continue;
    out.append(s.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default:
        out.append(fmt::format("\\u{:04x}", c));
        break;
    }
  }
  out.append(s.data() + plain, s.size() - plain);
  out.push_back('"');
}

void writeRow(ByteSink& out, const std::string& row, size_t fields) {
  char buf[40];
  CellCursor cells(row);
  out.push_back('[');
  for (size_t i = 0; i < fields; ++i) {
    if (i) out.push_back(',');
    const Cell c = cells.next();
    switch (c.tag) {
      case kText:
        writeString(out, c.text);
        break;
      case kInt: {
        auto r = std::to_chars(buf, buf + sizeof buf, c.integer);
        out.append(buf, static_cast<size_t>(r.ptr - buf));
        break;
      }
      case kFloat: {
        auto r = std::to_chars(buf, buf + sizeof buf, c.real);
        out.append(buf, static_cast<size_t>(r.ptr - buf));
        // A whole double keeps its ".0", so a reader tells it from an integer.
        if (std::string_view(buf, static_cast<size_t>(r.ptr - buf)).find_first_of(".en") ==
            std::string_view::npos)
          out.append(".0");
        break;
      }
      case kFalse:
        out.append("false");
        break;
      case kTrue:
        out.append("true");
        break;
      case kDate:
      case kDateTime: {
        buf[0] = '"';
        const size_t n = isoChars(buf + 1, c.days, c.ms, c.tag == kDateTime);
        buf[n + 1] = '"';
        out.append(buf, n + 2);
        break;
      }
      default:
        out.append("null");
        break;
    }
  }
  out.push_back(']');
}

}  // namespace

void DataPacket::writeJson(std::string& text) const {
  // Room for the whole text at once (growing a buffer of megabytes by doubling copies it
  // again and again): a cell's JSON is its packed bytes and a few more, "null," for the
  // one-byte tag of a null.
  size_t packedBytes = 0;
  for (const auto& r : rows_) packedBytes += r.size();
  ByteSink out(text, text.size());
  out.reserve(layout_->fieldsText.size() + packedBytes + 5 * fields().size() * rows_.size() + 64);
  // "fields" before "rows": a reader needs the fields to type the rows as they stream by.
  out.append("{\"fields\":");
  out.append(layout_->fieldsText);
  out.append(",\"rows\":[");
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (i) out.push_back(',');
    writeRow(out, rows_[i], fields().size());
  }
  out.push_back(']');
  for (const auto& [key, value] : layout_->head.items()) {
    if (key == "fields") continue;
    out.push_back(',');
    writeString(out, key);
    out.push_back(':');
    out.append(value.dump());
  }
  out.push_back('}');
  out.finish();
}

// --- reading

size_t jsonValueEnd(std::string_view s, size_t pos) {
  constexpr size_t npos = std::string_view::npos;
  auto blank = [&](size_t i) {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    return i;
  };
  size_t i = blank(pos);
  if (i >= s.size()) return npos;
  int depth = 0;
  do {
    const char c = s[i];
    if (c == '"') {
      for (++i; i < s.size() && s[i] != '"'; ++i)
        if (s[i] == '\\') ++i;
      if (i >= s.size()) return npos;
      ++i;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxJsonNesting) return npos;
      ++i;
    } else if (c == '}' || c == ']') {
      if (--depth < 0) return npos;
      ++i;
    } else if (depth > 0) {
      ++i;
    } else {
      // a scalar at the top: up to the next delimiter
      while (i < s.size() && s[i] != ',' && s[i] != '}' && s[i] != ']' && s[i] != ' ' &&
             s[i] != '\n' && s[i] != '\r' && s[i] != '\t')
        ++i;
    }
  } while (depth > 0 && i < s.size());
  return depth == 0 ? i : npos;
}

namespace {

constexpr size_t kMaxSideMember = 64 << 10;

// The quick reader: the text of a packet whose rows are plain typed arrays. Every method
// answers false for anything it does not take, and the tree parser gets the text instead.
class PacketReader {
 public:
  explicit PacketReader(std::string_view s, size_t pos) : s_(s), i_(pos) {}
  size_t pos() const { return i_; }

  void blank() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }
  bool take(char c) {
    blank();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool peek(char c) {
    blank();
    return i_ < s_.size() && s_[i_] == c;
  }
  bool word(std::string_view w) {
    if (s_.substr(i_, w.size()) != w) return false;
    i_ += w.size();
    return true;
  }

  /// A JSON string, unescaped into `out`.
  bool string(std::string& out) {
    out.clear();
    if (!take('"')) return false;
    size_t plain = i_;
    for (;;) {
      if (i_ >= s_.size()) return false;
      const auto c = static_cast<unsigned char>(s_[i_]);
      if (c == '"') break;
      if (c < 0x20) return false;
      if (c != '\\') {
        ++i_;
        continue;
      }
      out.append(s_.substr(plain, i_ - plain));
      if (++i_ >= s_.size()) return false;
      switch (s_[i_++]) {
        case '"':
          out.push_back('"');
          break;
        case '\\':
          out.push_back('\\');
          break;
        case '/':
          out.push_back('/');
          break;
        case 'b':
          out.push_back('\b');
          break;
        case 'f':
          out.push_back('\f');
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case 't':
          out.push_back('\t');
          break;
        case 'u': {
          uint32_t cp = 0;
          if (!hex4(cp)) return false;
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            uint32_t lo = 0;
            if (!word("\\u") || !hex4(lo) || lo < 0xDC00 || lo > 0xDFFF) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            return false;
          }
          appendUtf8(out, cp);
          break;
        }
        default:
          return false;
      }
      plain = i_;
    }
    out.append(s_.substr(plain, i_ - plain));
    ++i_;
    return true;
  }

  /// A JSON string: a view of the text itself when it has no escapes (most do not), else
  /// unescaped into a buffer of the reader's, valid until the next string read.
  bool text(std::string_view& v) {
    blank();
    if (i_ >= s_.size() || s_[i_] != '"') return false;
    for (size_t j = i_ + 1; j < s_.size(); ++j) {
      const auto c = static_cast<unsigned char>(s_[j]);
      if (!kEscaped[c]) continue;
      if (c != '"') break;
      v = s_.substr(i_ + 1, j - i_ - 1);
      i_ = j + 1;
      return true;
    }
    if (!string(text_)) return false;
    v = text_;
    return true;
  }

  /// A JSON number's text, checked against the grammar (no "01", "1.", ".5" or "+1").
  bool number(std::string_view& text, bool& whole) {
    blank();
    const size_t start = i_;
    auto digits = [&] {
      const size_t from = i_;
      while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
      return i_ > from;
    };
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    if (i_ < s_.size() && s_[i_] == '0') {
      ++i_;
    } else if (!digits()) {
      return false;
    }
    whole = true;
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      whole = false;
      if (!digits()) return false;
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      whole = false;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (!digits()) return false;
    }
    text = s_.substr(start, i_ - start);
    return true;
  }

  /// One row: a cell per field, each of its field's type or null.
  bool row(const std::vector<FieldDef>& fields, ByteSink& out) {
    if (!take('[')) return false;
    for (size_t f = 0; f < fields.size(); ++f) {
      if (f && !take(',')) return false;
      if (!cell(fields[f].type, out)) return false;
    }
    return take(']');
  }

 private:
  bool cell(FieldType type, ByteSink& out) {
    blank();
    if (i_ >= s_.size()) return false;
    if (s_[i_] == 'n') {
      if (!word("null")) return false;
      out.push_back(static_cast<char>(kNull));
      return true;
    }
    switch (type) {
      case FieldType::String:
      case FieldType::Memo: {
        // a text that is not UTF-8 makes the whole reply unreadable, as the tree parser says
        std::string_view t;
        if (!text(t) || !utf8Chars(t)) return false;
        putText(out, t);
        return true;
      }
      case FieldType::Date: {
        std::string_view t;
        if (!text(t)) return false;
        auto d = parseIsoFast(t);
        if (!d) return false;
        putDate(out, *d);
        return true;
      }
      case FieldType::Boolean:
        if (word("true")) {
          out.push_back(static_cast<char>(kTrue));
          return true;
        }
        if (!word("false")) return false;
        out.push_back(static_cast<char>(kFalse));
        return true;
      case FieldType::Float: {
        std::string_view t;
        bool whole = false;
        double d = 0;
        if (!number(t, whole)) return false;
        auto r = std::from_chars(t.data(), t.data() + t.size(), d);
        if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return false;
        out.push_back(static_cast<char>(kFloat));
        putRaw<double>(out, d);
        return true;
      }
      case FieldType::Integer: {
        std::string_view t;
        bool whole = false;
        int64_t v = 0;
        if (!number(t, whole) || !whole) return false;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (r.ec != std::errc() || r.ptr != t.data() + t.size()) return false;
        out.push_back(static_cast<char>(kInt));
        putRaw<int64_t>(out, v);
        return true;
      }
    }
    return false;
  }

  bool hex4(uint32_t& v) {
    if (i_ + 4 > s_.size()) return false;
    auto r = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, v, 16);
    if (r.ptr != s_.data() + i_ + 4) return false;
    i_ += 4;
    return true;
  }

  static void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }

  std::string_view s_;
  size_t i_;
  std::string text_;
};

}  // namespace

namespace {

// The layout of a "fields" text, kept from the last packet this thread read: replies to the
// same method carry the same fields, and parsing them cost more than the rows of a small read.
std::shared_ptr<const DataPacket::Layout> fieldsLayout(std::string_view text) {
  thread_local std::string lastText;
  thread_local std::shared_ptr<const DataPacket::Layout> last;
  if (!last || text != lastText) {
    last = DataPacket::layout(json{{"fields", json::parse(text)}});
    lastText.assign(text);
  }
  return last;
}

}  // namespace

std::optional<DataPacket> DataPacket::readJson(std::string_view text, size_t pos, size_t& end) {
  try {
    PacketReader in(text, pos);
    if (!in.take('{')) return std::nullopt;
    json others = json::object();  // members but "fields" and "rows"
    std::shared_ptr<const Layout> fields;
    std::optional<DataPacket> out;
    std::string key;
    bool first = true;
    while (!in.take('}')) {
      if (!first && !in.take(',')) return std::nullopt;
      first = false;
      if (!in.string(key) || !in.take(':') || others.contains(key)) return std::nullopt;
      if (key == "rows") {
        if (out || !fields) return std::nullopt;
        out.emplace(fields);
        if (!in.take('[')) return std::nullopt;
        std::string buffer;
        ByteSink row(buffer, 0);
        bool firstRow = true;
        while (!in.take(']')) {
          if (!firstRow && !in.take(',')) return std::nullopt;
          firstRow = false;
          row.rewind(0);
          if (!in.row(fields->fields, row)) return std::nullopt;
          out->rows_.emplace_back(row.data(), row.size());
        }
        continue;
      }
      in.blank();
      const size_t from = in.pos();
      const size_t to = jsonValueEnd(text, from);
      if (to == std::string_view::npos) return std::nullopt;
      // Members beside the rows are small (an empty change log); a big one is left to the
      // tree reader, which weighs what its tree would cost before building it.
      if (key != "fields" && to - from > kMaxSideMember) return std::nullopt;
      if (key == "fields") {
        if (fields) return std::nullopt;
        fields = fieldsLayout(text.substr(from, to - from));
      } else {
        json value = json::parse(text.substr(from, to - from));
        // Only the tree keeps a change log.
        if (key == "changes" && !(value.is_array() && value.empty())) return std::nullopt;
        others[key] = std::move(value);
      }
      in = PacketReader(text, to);
    }
    if (!out) return std::nullopt;
    if (!others.empty()) {
      auto whole = std::make_shared<Layout>(*fields);
      whole->head.update(others);
      out->layout_ = std::move(whole);
    }
    end = in.pos();
    return out;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

json packetFieldsJson(const std::vector<FieldDef>& fields) {
  json out = json::array();
  for (const auto& f : fields) {
    json d = json::object();
    d["name"] = f.name;
    d["type"] = fieldTypeCode(f.type);
    if (f.type == FieldType::String) d["size"] = f.size;
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace host
