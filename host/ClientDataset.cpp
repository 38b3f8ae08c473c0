#include "host/ClientDataset.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <unordered_map>

#include "host/ClientDatasetPacket.h"
#include "host/ClientDatasetRows.h"
#include "host/Consiste.h"
#include "host/Errors.h"

namespace host {

using nlohmann::json;
using namespace packed;

namespace {

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

DateTime makeDate(int32_t days, int32_t ms, bool withTime) {
  const DateTime d = DateTime::fromDays(days);
  if (!withTime) return d;
  return DateTime::fromYmdHms(d.year(), d.month(), d.day(), ms / 3600000, ms / 60000 % 60,
                              ms / 1000 % 60, ms % 1000);
}

void skipCell(const char*& p) {
  switch (static_cast<uint8_t>(*p++)) {
    case kText: {
      const uint64_t n = getVarint(p);
      p += n;
      break;
    }
    case kInt:
    case kFloat:
      p += 8;
      break;
    case kDate:
      p += 4;
      break;
    case kDateTime:
      p += 8;
      break;
    default:
      break;
  }
}

Value decodeCell(const char*& p) {
  switch (static_cast<uint8_t>(*p++)) {
    case kText: {
      const auto n = static_cast<size_t>(getVarint(p));
      std::string s(p, n);
      p += n;
      return Value(std::move(s));
    }
    case kInt:
      return Value(getRaw<int64_t>(p));
    case kFloat:
      return Value(getRaw<double>(p));
    case kFalse:
      return Value(false);
    case kTrue:
      return Value(true);
    case kDate:
      return Value(makeDate(getRaw<int32_t>(p), 0, false));
    case kDateTime: {
      const auto days = getRaw<int32_t>(p);
      return Value(makeDate(days, getRaw<int32_t>(p), true));
    }
    default:
      return Value();
  }
}

const char* seekCell(const std::string& row, size_t field) {
  const char* p = row.data();
  for (size_t i = 0; i < field; ++i) skipCell(p);
  return p;
}

Value cellAt(const std::string& row, size_t field) {
  const char* p = seekCell(row, field);
  return decodeCell(p);
}

std::vector<Value> decodeRow(const std::string& row, size_t fields) {
  std::vector<Value> out;
  out.reserve(fields);
  const char* p = row.data();
  for (size_t i = 0; i < fields; ++i) out.push_back(decodeCell(p));
  return out;
}

std::vector<std::string> splitKeys(std::string_view keys) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= keys.size()) {
    size_t end = keys.find(';', start);
    if (end == std::string_view::npos) end = keys.size();
    std::string part = AllTrim(keys.substr(start, end - start));
    if (!part.empty()) out.push_back(std::move(part));
    start = end + 1;
  }
  return out;
}

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

enum RowStatus : uint8_t { kUnchanged, kInserted, kModified, kDeleted, kDead };

std::optional<int64_t> parseInteger(std::string_view s) {
  const std::string t = AllTrim(s);
  constexpr int64_t kBad = std::numeric_limits<int64_t>::min();
  const int64_t v = StrToIntDef(t, kBad);
  if (v != kBad) return v;
  // "12,0" or "12.00": a whole number written with decimals
  const double d = StrToFloatDef(t, std::nan(""));
  if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.0e15)
    return static_cast<int64_t>(d);
  return std::nullopt;
}

std::optional<DateTime> parseDateText(std::string_view s) {
  const std::string t = AllTrim(s);
  for (const char* f :
       {"dd/mm/yyyy", "dd/mm/yyyy hh:nn:ss", "dd/mm/yyyy hh:nn", "dd/mm/yyyy hh:nn:ss.zzz"}) {
    if (auto d = DateTime::parse(t, f)) return d;
  }
  return DateTime::parseIso(t);
}

std::optional<bool> parseBoolean(std::string_view s) {
  const std::string t = AllTrim(s);
  for (const char* yes : {"true", "t", "s", "sim", "y", "yes", "1"}) {
    if (SameText(t, yes)) return true;
  }
  for (const char* no : {"false", "f", "n", "nao", "não", "no", "0"}) {
    if (SameText(t, no)) return false;
  }
  return std::nullopt;
}

}  // namespace

const char* fieldTypeCode(FieldType t) {
  switch (t) {
    case FieldType::String:
      return "S";
    case FieldType::Float:
      return "F";
    case FieldType::Date:
      return "D";
    case FieldType::Integer:
      return "I";
    case FieldType::Boolean:
      return "B";
    case FieldType::Memo:
      return "M";
  }
  return "?";
}

FieldType fieldTypeFromCode(std::string_view code) {
  if (code == "S") return FieldType::String;
  if (code == "F") return FieldType::Float;
  if (code == "D") return FieldType::Date;
  if (code == "I") return FieldType::Integer;
  if (code == "B") return FieldType::Boolean;
  if (code == "M") return FieldType::Memo;
  throw std::invalid_argument(
      fmt::format("unknown field type '{}' (expected S, F, D, I, B or M)", code));
}

// ---------------------------------------------------------------------------------------
// Filter expressions: comparisons of a field with a literal, "is [not] null", and, or, not,
// parentheses. Parsed once when set; field names are resolved when the filter is applied.
namespace {

enum class CmpOp { Eq, Ne, Lt, Gt, Le, Ge };

struct FilterNode {
  enum class Kind { And, Or, Not, Compare, IsNull, IsNotNull } kind = Kind::Compare;
  std::unique_ptr<FilterNode> left, right;
  std::string field;
  size_t fieldIndex = 0;
  CmpOp op = CmpOp::Eq;
  Value literal;  // as written
  Value operand;  // converted to the field's type when resolved
};

class FilterParser {
 public:
  explicit FilterParser(std::string_view text) : text_(text) {}

  std::unique_ptr<FilterNode> parse() {
    next();
    if (tok_.kind == Tok::End) fail("the expression is empty");
    auto node = parseOr();
    if (tok_.kind != Tok::End) fail(fmt::format("unexpected '{}'", tok_.text));
    return node;
  }

 private:
  enum class Tok { End, Ident, String, Number, Op, LParen, RParen };
  struct Token {
    Tok kind = Tok::End;
    std::string text;
    size_t pos = 0;
  };

  [[noreturn]] void fail(const std::string& why) const {
    throw std::invalid_argument(
        fmt::format("invalid filter \"{}\": {} at position {}", text_, why, tok_.pos + 1));
  }

  bool isKeyword(const char* kw) const {
    return tok_.kind == Tok::Ident && SameText(tok_.text, kw);
  }

  void next() {
    size_t i = pos_;
    while (i < text_.size() &&
           (text_[i] == ' ' || text_[i] == '\t' || text_[i] == '\r' || text_[i] == '\n'))
      ++i;
    tok_ = Token{};
    tok_.pos = i;
    if (i >= text_.size()) {
      pos_ = i;
      return;
    }
    const char c = text_[i];
    auto isIdentStart = [](char ch) {
      return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || ch == '_';
    };
    auto isIdentChar = [&](char ch) { return isIdentStart(ch) || (ch >= '0' && ch <= '9'); };
    if (isIdentStart(c)) {
      size_t j = i;
      while (j < text_.size() && isIdentChar(text_[j])) ++j;
      tok_.kind = Tok::Ident;
      tok_.text = std::string(text_.substr(i, j - i));
      pos_ = j;
    } else if (c == '[') {
      const size_t j = text_.find(']', i);
      if (j == std::string_view::npos) fail("unterminated field name");
      tok_.kind = Tok::Ident;
      tok_.text = std::string(text_.substr(i + 1, j - i - 1));
      pos_ = j + 1;
    } else if (c == '\'') {
      std::string s;
      size_t j = i + 1;
      for (;;) {
        if (j >= text_.size()) fail("unterminated text");
        if (text_[j] == '\'') {
          if (j + 1 < text_.size() && text_[j + 1] == '\'') {
            s += '\'';
            j += 2;
            continue;
          }
          break;
        }
        s += text_[j++];
      }
      tok_.kind = Tok::String;
      tok_.text = std::move(s);
      pos_ = j + 1;
    } else if ((c >= '0' && c <= '9') || c == '-' || c == '.') {
      size_t j = i + 1;
      while (j < text_.size() && ((text_[j] >= '0' && text_[j] <= '9') || text_[j] == '.')) ++j;
      tok_.kind = Tok::Number;
      tok_.text = std::string(text_.substr(i, j - i));
      pos_ = j;
    } else if (c == '(' || c == ')') {
      tok_.kind = c == '(' ? Tok::LParen : Tok::RParen;
      tok_.text = std::string(1, c);
      pos_ = i + 1;
    } else if (c == '=' || c == '<' || c == '>') {
      size_t j = i + 1;
      if (j < text_.size() && (text_[j] == '=' || (c == '<' && text_[j] == '>'))) ++j;
      tok_.kind = Tok::Op;
      tok_.text = std::string(text_.substr(i, j - i));
      pos_ = j;
    } else {
      fail(fmt::format("unexpected character '{}'", c));
    }
  }

  std::unique_ptr<FilterNode> binary(FilterNode::Kind k, std::unique_ptr<FilterNode> l,
                                     std::unique_ptr<FilterNode> r) {
    auto n = std::make_unique<FilterNode>();
    n->kind = k;
    n->left = std::move(l);
    n->right = std::move(r);
    return n;
  }

  std::unique_ptr<FilterNode> parseOr() {
    auto l = parseAnd();
    while (isKeyword("or")) {
      next();
      l = binary(FilterNode::Kind::Or, std::move(l), parseAnd());
    }
    return l;
  }

  std::unique_ptr<FilterNode> parseAnd() {
    auto l = parseNot();
    while (isKeyword("and")) {
      next();
      l = binary(FilterNode::Kind::And, std::move(l), parseNot());
    }
    return l;
  }

  std::unique_ptr<FilterNode> parseNot() {
    if (isKeyword("not")) {
      next();
      return binary(FilterNode::Kind::Not, parseNot(), nullptr);
    }
    return parsePrimary();
  }

  std::unique_ptr<FilterNode> parsePrimary() {
    if (tok_.kind == Tok::LParen) {
      next();
      auto inner = parseOr();
      if (tok_.kind != Tok::RParen) fail("')' expected");
      next();
      return inner;
    }
    if (tok_.kind != Tok::Ident || isKeyword("and") || isKeyword("or") || isKeyword("is") ||
        isKeyword("null")) {
      fail(tok_.kind == Tok::End ? "a field name expected at the end"
                                 : fmt::format("a field name expected, found '{}'", tok_.text));
    }
    auto n = std::make_unique<FilterNode>();
    n->field = tok_.text;
    next();
    if (isKeyword("is")) {
      next();
      n->kind = FilterNode::Kind::IsNull;
      if (isKeyword("not")) {
        n->kind = FilterNode::Kind::IsNotNull;
        next();
      }
      if (!isKeyword("null")) fail("'null' expected after 'is'");
      next();
      return n;
    }
    if (tok_.kind != Tok::Op) {
      fail(tok_.kind == Tok::End ? "a comparison expected after the field at the end"
                                 : fmt::format("a comparison expected, found '{}'", tok_.text));
    }
    static const std::pair<const char*, CmpOp> kOps[] = {{"=", CmpOp::Eq},  {"<>", CmpOp::Ne},
                                                         {"<", CmpOp::Lt},  {">", CmpOp::Gt},
                                                         {"<=", CmpOp::Le}, {">=", CmpOp::Ge}};
    bool known = false;
    for (const auto& [text, op] : kOps) {
      if (tok_.text == text) {
        n->op = op;
        known = true;
      }
    }
    if (!known) fail(fmt::format("unknown operator '{}'", tok_.text));
    next();
    if (tok_.kind == Tok::String) {
      n->literal = Value(tok_.text);
    } else if (tok_.kind == Tok::Number) {
      if (tok_.text.find('.') != std::string::npos) {
        const double d = StrToFloatDef(tok_.text, std::nan(""));
        if (std::isnan(d)) fail(fmt::format("'{}' is not a number", tok_.text));
        n->literal = Value(d);
      } else {
        constexpr int64_t kBad = std::numeric_limits<int64_t>::min();
        const int64_t v = StrToIntDef(tok_.text, kBad);
        if (v == kBad) fail(fmt::format("'{}' is not a number", tok_.text));
        n->literal = Value(v);
      }
    } else if (isKeyword("null")) {
      fail("use 'is null' to compare with null");
    } else {
      fail(tok_.kind == Tok::End ? "a value expected at the end"
                                 : fmt::format("a value expected, found '{}'", tok_.text));
    }
    next();
    return n;
  }

  std::string_view text_;
  size_t pos_ = 0;
  Token tok_;
};

}  // namespace

// ---------------------------------------------------------------------------------------

struct ClientDataset::Impl {
  struct Row {
    std::string data;      // current values (empty for a logged deletion)
    std::string original;  // values at the last merge, for a modified or deleted row
    RowStatus status = kUnchanged;
  };

  explicit Impl(ClientDataset* s) : self(s) {}

  ClientDataset* self;
  std::vector<FieldDef> defs;
  std::unordered_map<std::string, size_t, NameHash, std::equal_to<>> byName;
  mutable size_t nextGuess = 0;

  DatasetState state = DatasetState::Inactive;
  std::vector<Row> rows;          // slots; a slot number is a row's identity (its bookmark)
  std::vector<uint32_t> natural;  // slots in order of arrival, logged deletions included
  size_t deadInNatural = 0;
  std::vector<uint32_t> view;  // visible slots, in index order, filter applied
  size_t cur = 0;
  bool bof = true;
  bool eof = true;

  std::vector<Value> buf;  // the row being edited or inserted
  bool appending = false;
  int64_t insertBefore = -1;  // slot the inserted row goes before; -1 = at the end

  std::vector<uint32_t> changeOrder;
  bool logChanges = true;

  std::vector<IndexDef> indexes;
  std::string indexName;
  std::string indexFieldNames;
  std::vector<size_t> sortFields;
  bool sortCaseInsensitive = false;

  std::string filterText;
  bool filtered = false;
  std::unique_ptr<FilterNode> filterAst;
  bool filterResolved = false;

  DatasetEvents events;
  int freezeCount = 0;

  uint64_t version = 0;  // bumped on every change of rows or of the view
  // Slots are renumbered when the rows are replaced; a bookmark carries the generation it
  // was taken in, so that an old one finds nothing instead of some other row.
  uint32_t generation = 0;

  // Repeated locates on the same keys use a sorted copy of the view instead of a scan.
  struct LocateCache {
    std::vector<size_t> fields;
    bool caseInsensitive = false;
    uint64_t version = 0;
    bool built = false;
    std::vector<Value> keys;      // per sorted entry, one value per field
    std::vector<uint32_t> order;  // view positions sorted by key (stable)
    // the previous scan, to decide when a cache pays off
    std::vector<size_t> lastFields;
    bool lastCaseInsensitive = false;
    uint64_t lastVersion = ~uint64_t{0};
  };
  mutable LocateCache cache;

  // --- helpers
  std::string label() const { return self->name_.empty() ? std::string("dataset") : self->name_; }

  [[noreturn]] void error(const std::string& what) const {
    throw OperationError(fmt::format("{}: {}", label(), what));
  }

  void fire(DatasetEvents::Handler DatasetEvents::*member) {
    if (freezeCount > 0) return;
    const auto& h = events.*member;
    if (!h) return;
    auto copy = h;  // the handler may detach the events while it runs
    copy(*self);
  }

  void setState(DatasetState s) {
    if (state == s) return;
    state = s;
    fire(&DatasetEvents::onStateChange);
  }

  void checkActive() const {
    if (state == DatasetState::Inactive) error("cannot perform this operation on a closed dataset");
  }

  bool editing() const { return state == DatasetState::Edit || state == DatasetState::Insert; }

  void checkBrowseMode() {
    checkActive();
    if (editing()) self->post();
  }

  void rebuildNames() {
    byName.clear();
    for (size_t i = 0; i < defs.size(); ++i) byName.emplace(defs[i].name, i);
  }

  int find(std::string_view name) const {
    // screens read and fill fields in the same order row after row: try the one after the
    // last found before hashing
    if (nextGuess < defs.size() && defs[nextGuess].name == name)
      return static_cast<int>(nextGuess++);
    if (auto it = byName.find(name);
        it != byName.end() && it->second < defs.size() && defs[it->second].name == name) {
      nextGuess = it->second + 1;
      return static_cast<int>(it->second);
    }
    for (size_t i = 0; i < defs.size(); ++i) {
      if (sameName(defs[i].name, name)) {
        nextGuess = i + 1;
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  size_t require(std::string_view name) const {
    const int i = find(name);
    if (i < 0) error(fmt::format("field '{}' not found", name));
    return static_cast<size_t>(i);
  }

  std::vector<size_t> resolveKeys(std::string_view keys) const {
    std::vector<size_t> out;
    for (const auto& k : splitKeys(keys)) out.push_back(require(k));
    if (out.empty()) error("no key fields given");
    return out;
  }

  bool live(uint32_t slot) const {
    const auto s = rows[slot].status;
    return s == kUnchanged || s == kInserted || s == kModified;
  }

  /// Converts `v` to the field's type; refuses what does not fit (text too long, not a
  /// number, not a date).
  Value convert(size_t field, Value v, bool checkSize) const {
    const FieldDef& def = defs[field];
    if (v.isNull()) return v;
    auto refuse = [&](const char* what) -> Value {
      error(fmt::format("'{}' is not {} for field {}", v.asString(), what, def.name));
    };
    switch (def.type) {
      case FieldType::String:
      case FieldType::Memo: {
        Value t = v.isText() ? std::move(v) : Value(v.asString());
        if (checkSize) {
          const auto chars = utf8Chars(t.text());
          if (!chars) error(fmt::format("the text for field {} is not valid UTF-8", def.name));
          const size_t len = *chars;
          if (def.type == FieldType::String && len > static_cast<size_t>(std::max(def.size, 0))) {
            error(fmt::format("the text for field {} has {} characters, more than its size {}",
                              def.name, len, def.size));
          }
        }
        return t;
      }
      case FieldType::Float:
        switch (v.kind()) {
          case Value::Kind::Float:
            // not-a-number and infinities have no place in a packet (JSON writes them as null)
            if (!std::isfinite(v.asDouble())) return refuse("a finite number");
            return v;
          case Value::Kind::Integer:
            return Value(v.asDouble());
          case Value::Kind::Text: {
            if (EmptyString(v.text())) return Value();
            const double d = StrToFloatDef(v.text(), std::nan(""));
            if (!std::isfinite(d)) return refuse("a number");
            return Value(d);
          }
          default:
            return refuse("a number");
        }
      case FieldType::Integer:
        switch (v.kind()) {
          case Value::Kind::Integer:
            return v;
          case Value::Kind::Float: {
            const double d = v.asDouble();
            if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9.0e18)
              return refuse("a whole number");
            return Value(static_cast<int64_t>(d));
          }
          case Value::Kind::Text: {
            if (EmptyString(v.text())) return Value();
            if (auto i = parseInteger(v.text())) return Value(*i);
            return refuse("a whole number");
          }
          case Value::Kind::Boolean:
            return Value(int64_t{v.asBoolean() ? 1 : 0});
          default:
            return refuse("a whole number");
        }
      case FieldType::Boolean:
        switch (v.kind()) {
          case Value::Kind::Boolean:
            return v;
          case Value::Kind::Integer:
          case Value::Kind::Float:
            return Value(v.asDouble() != 0.0);
          case Value::Kind::Text: {
            if (EmptyString(v.text())) return Value();
            if (auto b = parseBoolean(v.text())) return Value(*b);
            return refuse("a boolean");
          }
          default:
            return refuse("a boolean");
        }
      case FieldType::Date:
        switch (v.kind()) {
          case Value::Kind::Date:
            return v;
          case Value::Kind::Text: {
            if (EmptyString(v.text())) return Value();
            if (auto d = parseDateText(v.text())) return Value(*d);
            return refuse("a date");
          }
          default:
            return refuse("a date");
        }
    }
    return v;
  }

  // --- filter
  void resolveFilter() {
    filterResolved = false;
    if (!filterAst) return;
    std::vector<FilterNode*> stack{filterAst.get()};
    while (!stack.empty()) {
      FilterNode* n = stack.back();
      stack.pop_back();
      if (n->left) stack.push_back(n->left.get());
      if (n->right) stack.push_back(n->right.get());
      if (n->kind == FilterNode::Kind::Compare || n->kind == FilterNode::Kind::IsNull ||
          n->kind == FilterNode::Kind::IsNotNull) {
        const int i = find(n->field);
        if (i < 0) {
          throw std::invalid_argument(fmt::format("invalid filter \"{}\": {} has no field {}",
                                                  filterText, label(), n->field));
        }
        n->fieldIndex = static_cast<size_t>(i);
        if (n->kind == FilterNode::Kind::Compare) {
          try {
            n->operand = convert(n->fieldIndex, n->literal, false);
          } catch (const OperationError& e) {
            throw std::invalid_argument(
                fmt::format("invalid filter \"{}\": {}", filterText, e.what()));
          }
        }
      }
    }
    filterResolved = true;
  }

  bool evalNode(const FilterNode& n, const std::string& row) const {
    switch (n.kind) {
      case FilterNode::Kind::And:
        return evalNode(*n.left, row) && evalNode(*n.right, row);
      case FilterNode::Kind::Or:
        return evalNode(*n.left, row) || evalNode(*n.right, row);
      case FilterNode::Kind::Not:
        return !evalNode(*n.left, row);
      case FilterNode::Kind::IsNull:
        return static_cast<uint8_t>(*seekCell(row, n.fieldIndex)) == kNull;
      case FilterNode::Kind::IsNotNull:
        return static_cast<uint8_t>(*seekCell(row, n.fieldIndex)) != kNull;
      case FilterNode::Kind::Compare: {
        const Value v = cellAt(row, n.fieldIndex);
        if (v.isNull() || n.operand.isNull()) return false;  // null matches only "is null"
        const int c = Value::compare(v, n.operand);
        switch (n.op) {
          case CmpOp::Eq:
            return c == 0;
          case CmpOp::Ne:
            return c != 0;
          case CmpOp::Lt:
            return c < 0;
          case CmpOp::Gt:
            return c > 0;
          case CmpOp::Le:
            return c <= 0;
          case CmpOp::Ge:
            return c >= 0;
        }
      }
    }
    return false;
  }

  bool filterActive() const { return filtered && filterAst && filterResolved; }

  bool passes(uint32_t slot) const {
    return !filterActive() || evalNode(*filterAst, rows[slot].data);
  }

  // --- order
  void resolveSort() {
    sortFields.clear();
    sortCaseInsensitive = false;
    if (!indexName.empty()) {
      auto it = std::find_if(indexes.begin(), indexes.end(),
                             [&](const IndexDef& i) { return sameName(i.name, indexName); });
      if (it == indexes.end()) error(fmt::format("index '{}' not found", indexName));
      sortFields = resolveKeys(it->fields);
      sortCaseInsensitive = it->caseInsensitive;
    } else if (!indexFieldNames.empty()) {
      sortFields = resolveKeys(indexFieldNames);
    }
  }

  int compareKeys(const std::vector<Value>& a, const std::string& rowB) const {
    for (size_t k = 0; k < sortFields.size(); ++k) {
      const int c = Value::compare(a[k], cellAt(rowB, sortFields[k]), sortCaseInsensitive);
      if (c != 0) return c;
    }
    return 0;
  }

  void compactNatural() {
    if (deadInNatural == 0) return;
    std::erase_if(natural, [&](uint32_t s) { return rows[s].status == kDead; });
    deadInNatural = 0;
  }

  void markDead(uint32_t slot) {
    rows[slot].status = kDead;
    std::string().swap(rows[slot].data);
    std::string().swap(rows[slot].original);
    ++deadInNatural;
    if (deadInNatural > 64 && deadInNatural * 2 > natural.size()) compactNatural();
  }

  void rebuildView() {
    ++version;
    view.clear();
    view.reserve(natural.size());
    for (uint32_t s : natural) {
      if (live(s) && passes(s)) view.push_back(s);
    }
    if (sortFields.empty() || view.size() < 2) return;
    const size_t k = sortFields.size();
    std::vector<Value> keys;
    keys.reserve(view.size() * k);
    for (uint32_t s : view) {
      const std::string& r = rows[s].data;
      for (size_t f : sortFields) keys.push_back(cellAt(r, f));
    }
    std::vector<uint32_t> idx(view.size());
    for (uint32_t i = 0; i < idx.size(); ++i) idx[i] = i;
    const bool ci = sortCaseInsensitive;
    std::stable_sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) {
      for (size_t j = 0; j < k; ++j) {
        const int c = Value::compare(keys[a * k + j], keys[b * k + j], ci);
        if (c != 0) return c < 0;
      }
      return false;
    });
    std::vector<uint32_t> sorted(view.size());
    for (size_t i = 0; i < idx.size(); ++i) sorted[i] = view[idx[i]];
    view.swap(sorted);
  }

  /// Whether the row at `pos` of the view still belongs there after its values changed: it
  /// passes the filter and sorts between its neighbours. A row whose sort key did not change
  /// keeps its place among the rows of equal key, so a walk by position meets each row once.
  bool staysAt(size_t pos) {
    const uint32_t slot = view[pos];
    if (!passes(slot)) return false;
    if (sortFields.empty()) return true;
    std::vector<Value> key;
    for (size_t f : sortFields) key.push_back(cellAt(rows[slot].data, f));
    if (pos > 0 && compareKeys(key, rows[view[pos - 1]].data) < 0) return false;
    if (pos + 1 < view.size() && compareKeys(key, rows[view[pos + 1]].data) > 0) return false;
    return true;
  }

  /// Puts a posted row into the view: at its index position, or at `preferred` when there
  /// is no index. Returns the position, or npos when the filter hides it.
  size_t place(uint32_t slot, size_t preferred) {
    ++version;
    if (!passes(slot)) return std::string::npos;
    size_t pos = std::min(preferred, view.size());
    if (!sortFields.empty()) {
      std::vector<Value> key;
      for (size_t f : sortFields) key.push_back(cellAt(rows[slot].data, f));
      size_t lo = 0;
      size_t hi = view.size();
      while (lo < hi) {  // upper bound: after the rows of equal key
        const size_t mid = (lo + hi) / 2;
        if (compareKeys(key, rows[view[mid]].data) < 0)
          hi = mid;
        else
          lo = mid + 1;
      }
      pos = lo;
    }
    view.insert(view.begin() + static_cast<std::ptrdiff_t>(pos), slot);
    return pos;
  }

  void removeFromChangeOrder(uint32_t slot) {
    auto it = std::find(changeOrder.begin(), changeOrder.end(), slot);
    if (it != changeOrder.end()) changeOrder.erase(it);
  }

  void clearRows() {
    rows.clear();
    natural.clear();
    view.clear();
    changeOrder.clear();
    deadInNatural = 0;
    cur = 0;
    bof = eof = true;
    buf.clear();
    ++version;
    ++generation;
  }

  void cursorToFirst() {
    cur = 0;
    bof = true;
    eof = view.empty();
  }

  /// Keeps the cursor on `slot` if it is still visible, else on the first row.
  void cursorTo(int64_t slot) {
    if (slot >= 0) {
      auto it = std::find(view.begin(), view.end(), static_cast<uint32_t>(slot));
      if (it != view.end()) {
        cur = static_cast<size_t>(it - view.begin());
        bof = eof = false;
        return;
      }
    }
    cursorToFirst();
  }

  int64_t currentSlot() const { return view.empty() ? -1 : static_cast<int64_t>(view[cur]); }

  Value current(size_t field) const {
    checkActive();
    if (editing()) return buf[field];
    if (view.empty()) return Value();
    return cellAt(rows[view[cur]].data, field);
  }

  /// First view position whose key fields match; npos when none.
  size_t search(const std::vector<size_t>& fields, const std::vector<Value>& raw,
                const LocateOptions& o) const {
    if (raw.size() != fields.size()) {
      error(fmt::format("locate: {} key fields but {} values", fields.size(), raw.size()));
    }
    std::vector<Value> wanted;
    wanted.reserve(raw.size());
    for (size_t k = 0; k < fields.size(); ++k) wanted.push_back(convert(fields[k], raw[k], false));
    const bool ci = o.caseInsensitive;

    if (!o.partialKey) {
      LocateCache& c = cache;
      if (c.built && c.version == version && c.fields == fields && c.caseInsensitive == ci) {
        return searchCache(wanted);
      }
      if (c.lastVersion == version && c.lastFields == fields && c.lastCaseInsensitive == ci &&
          view.size() > 64) {
        buildCache(fields, ci);
        return searchCache(wanted);
      }
      c.lastFields = fields;
      c.lastCaseInsensitive = ci;
      c.lastVersion = version;
    }

    for (size_t pos = 0; pos < view.size(); ++pos) {
      const std::string& r = rows[view[pos]].data;
      bool match = true;
      for (size_t k = 0; k < fields.size() && match; ++k) {
        const Value v = cellAt(r, fields[k]);
        if (o.partialKey && v.isText() && wanted[k].isText()) {
          const std::string& key = wanted[k].text();
          const std::string head = Utf8Substr(v.text(), 0, Utf8Length(key));
          match = ci ? SameText(head, key) : head == key;
        } else {
          match = Value::compare(v, wanted[k], ci) == 0;
        }
      }
      if (match) return pos;
    }
    return std::string::npos;
  }

  void buildCache(const std::vector<size_t>& fields, bool ci) const {
    LocateCache& c = cache;
    const size_t k = fields.size();
    c.fields = fields;
    c.caseInsensitive = ci;
    c.version = version;
    c.keys.clear();
    c.keys.reserve(view.size() * k);
    for (uint32_t s : view) {
      for (size_t f : fields) c.keys.push_back(cellAt(rows[s].data, f));
    }
    std::vector<uint32_t> idx(view.size());
    for (uint32_t i = 0; i < idx.size(); ++i) idx[i] = i;
    std::stable_sort(idx.begin(), idx.end(), [&](uint32_t a, uint32_t b) {
      for (size_t j = 0; j < k; ++j) {
        const int r = Value::compare(c.keys[a * k + j], c.keys[b * k + j], ci);
        if (r != 0) return r < 0;
      }
      return false;
    });
    // keys laid out in sorted order so that the binary search reads them directly
    std::vector<Value> sortedKeys;
    sortedKeys.reserve(c.keys.size());
    for (uint32_t i : idx) {
      for (size_t j = 0; j < k; ++j) sortedKeys.push_back(std::move(c.keys[i * k + j]));
    }
    c.keys.swap(sortedKeys);
    c.order.swap(idx);
    c.built = true;
  }

  size_t searchCache(const std::vector<Value>& wanted) const {
    const LocateCache& c = cache;
    const size_t k = c.fields.size();
    auto cmp = [&](size_t entry) {
      for (size_t j = 0; j < k; ++j) {
        const int r = Value::compare(c.keys[entry * k + j], wanted[j], c.caseInsensitive);
        if (r != 0) return r;
      }
      return 0;
    };
    size_t lo = 0;
    size_t hi = c.order.size();
    while (lo < hi) {  // lower bound: the first entry not below the key
      const size_t mid = (lo + hi) / 2;
      if (cmp(mid) < 0)
        lo = mid + 1;
      else
        hi = mid;
    }
    if (lo < c.order.size() && cmp(lo) == 0) return c.order[lo];
    return std::string::npos;
  }

  // --- packets
  json fieldsJson() const {
    json out = json::array();
    for (const auto& d : defs) {
      out.push_back({{"name", d.name},
                     {"type", fieldTypeCode(d.type)},
                     {"size", d.size},
                     {"label", d.displayLabel},
                     {"format", d.displayFormat},
                     {"mask", d.editMask},
                     {"fixedWidth", d.fixedWidth},
                     {"visible", d.visible},
                     {"width", d.displayWidth}});
    }
    return out;
  }

  /// Packet of the given slots (live ones become rows) and of the change log entries of
  /// `changed`; positions of logged deletions are taken from the order of `ordered`.
  json packet(const std::vector<uint32_t>& ordered, const std::vector<uint32_t>& changed,
              bool onlyChanged) const {
    json out;
    out["fields"] = fieldsJson();
    json rowsJson = json::array();
    auto& arr = rowsJson.get_ref<json::array_t&>();
    arr.reserve(ordered.size());
    std::unordered_map<uint32_t, size_t> posOf;
    const bool wantPos = !changed.empty();
    for (uint32_t s : ordered) {
      const auto st = rows[s].status;
      if (st == kDead || (onlyChanged && st == kUnchanged)) continue;
      if (wantPos && st != kUnchanged) posOf.emplace(s, arr.size());
      if (st != kDeleted) arr.push_back(rowJson(rows[s].data, defs.size()));
    }
    out["rows"] = std::move(rowsJson);
    json changes = json::array();
    for (uint32_t s : changed) {
      const Row& r = rows[s];
      json c;
      c["kind"] = r.status == kInserted ? "insert" : r.status == kModified ? "modify" : "delete";
      c["row"] = posOf.at(s);
      if (r.status != kInserted) c["original"] = rowJson(r.original, defs.size());
      changes.push_back(std::move(c));
    }
    out["changes"] = std::move(changes);
    return out;
  }

  /// Where a packet row sits, for messages; formatted only when something is wrong.
  struct Where {
    std::string_view prefix;
    size_t index;
    std::string_view suffix;
    std::string str() const { return fmt::format("{} {}{}", prefix, index, suffix); }
  };

  /// For each field of this dataset, the field of a packet with fields `defsIn` that fills
  /// it (-1: none, the value stays null).
  std::vector<int> sourcesOf(const std::vector<FieldDef>& defsIn) const {
    std::vector<int> out(defs.size(), -1);
    for (size_t i = 0; i < defsIn.size(); ++i) {
      const int f = find(defsIn[i].name);
      if (f >= 0) out[static_cast<size_t>(f)] = static_cast<int>(i);
    }
    return out;
  }

  /// Encodes one JSON row of a packet whose fields are `defsIn`. Throws invalid_argument.
  std::string encodeJsonRow(const json& row, const std::vector<FieldDef>& defsIn,
                            const std::vector<int>& sources, const Where& where) const {
    if (!row.is_array() || row.size() != defsIn.size()) {
      throw std::invalid_argument(
          fmt::format("{}: expected an array of {} values", where.str(), defsIn.size()));
    }
    static thread_local std::string out;  // see encodeRow
    out.clear();
    for (size_t f = 0; f < defs.size(); ++f) {
      const int si = sources[f];
      const json* c = si < 0 ? nullptr : &row[static_cast<size_t>(si)];
      if (!c || c->is_null()) {
        out.push_back(static_cast<char>(kNull));
        continue;
      }
      const FieldDef& src = defsIn[static_cast<size_t>(si)];
      const FieldDef& dst = defs[f];
      auto bad = [&](const char* expected) {
        return std::invalid_argument(fmt::format("{}, field {}: expected {}, found {}", where.str(),
                                                 src.name, expected, c->dump()));
      };
      const bool same = src.type == dst.type;
      Value v;
      switch (src.type) {
        case FieldType::String:
        case FieldType::Memo: {
          if (!c->is_string()) throw bad("a text");
          const auto& s = c->get_ref<const std::string&>();
          if (dst.type == FieldType::String || dst.type == FieldType::Memo) {
            const auto chars = utf8Chars(s);
            if (!chars) {
              throw std::invalid_argument(
                  fmt::format("{}, field {}: the text is not valid UTF-8", where.str(), dst.name));
            }
            if (dst.type == FieldType::String) {
              const size_t len = *chars;
              if (len > static_cast<size_t>(std::max(dst.size, 0))) {
                throw std::invalid_argument(
                    fmt::format("{}, field {}: text of {} characters exceeds the size {}",
                                where.str(), dst.name, len, dst.size));
              }
            }
            putText(out, s);
            continue;
          }
          v = Value(s);
          break;
        }
        case FieldType::Float:
          if (!c->is_number()) throw bad("a number");
          if (same) {
            out.push_back(static_cast<char>(kFloat));
            putRaw<double>(out, c->get<double>());
            continue;
          }
          v = Value(c->get<double>());
          break;
        case FieldType::Integer:
          if (!c->is_number_integer() ||
              (c->is_number_unsigned() &&
               c->get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))) {
            throw bad("a whole number");
          }
          v = Value(c->get<int64_t>());
          break;
        case FieldType::Boolean:
          if (!c->is_boolean()) throw bad("true or false");
          v = Value(c->get<bool>());
          break;
        case FieldType::Date: {
          if (!c->is_string()) throw bad("a date \"yyyy-mm-dd\"");
          auto d = parseIsoFast(c->get_ref<const std::string&>());
          if (!d) throw bad("a date \"yyyy-mm-dd\" or \"yyyy-mm-ddThh:nn:ss.zzz\"");
          if (same) {
            putDate(out, *d);
            continue;
          }
          v = Value(*d);
          break;
        }
      }
      if (!same) {
        try {
          v = convert(f, v, true);
        } catch (const OperationError& e) {
          throw std::invalid_argument(fmt::format("{}: {}", where.str(), e.what()));
        }
      }
      encodeValue(out, v);
    }
    return std::string(out);
  }

  /// Checks the texts of a packed row for fields `defs` as encodeJsonRow checks a JSON one.
  void checkTexts(const std::string& row, const Where& where) const {
    const char* p = row.data();
    for (const auto& def : defs) {
      if (static_cast<uint8_t>(*p) != kText) {
        skipCell(p);
        continue;
      }
      ++p;
      const auto n = static_cast<size_t>(getVarint(p));
      const std::string_view s(p, n);
      p += n;
      const auto chars = utf8Chars(s);
      if (!chars) {
        throw std::invalid_argument(
            fmt::format("{}, field {}: the text is not valid UTF-8", where.str(), def.name));
      }
      if (def.type == FieldType::String && *chars > static_cast<size_t>(std::max(def.size, 0))) {
        throw std::invalid_argument(
            fmt::format("{}, field {}: text of {} characters exceeds the size {}", where.str(),
                        def.name, *chars, def.size));
      }
    }
  }

  /// Whether rows packed for fields `in` are rows of this dataset as they are.
  bool sameLayout(const std::vector<FieldDef>& in) const {
    if (in.size() != defs.size()) return false;
    for (size_t i = 0; i < in.size(); ++i) {
      const FieldType a = in[i].type;
      const FieldType b = defs[i].type;
      const bool texts = (a == FieldType::String || a == FieldType::Memo) &&
                         (b == FieldType::String || b == FieldType::Memo);
      if (!sameName(in[i].name, defs[i].name) || (a != b && !texts)) return false;
    }
    return true;
  }

  void beginInsert(bool append) {
    checkBrowseMode();
    fire(&DatasetEvents::beforeInsert);
    fire(&DatasetEvents::beforeScroll);
    appending = append;
    insertBefore = append || view.empty() ? -1 : static_cast<int64_t>(view[cur]);
    buf.assign(defs.size(), Value());
    setState(DatasetState::Insert);
    fire(&DatasetEvents::onNewRecord);
    fire(&DatasetEvents::afterInsert);
    fire(&DatasetEvents::afterScroll);
  }

  /// Replaces the content of `d` (structure and rows) and reopens it, firing the events of a
  /// close and an open. `fill` puts the rows in; nothing changes when it throws.
  template <typename Fill>
  void reload(std::vector<FieldDef> newDefs, Fill fill) {
    Impl& d = *this;
    Impl fresh(d.self);
    fresh.defs = std::move(newDefs);
    fresh.rebuildNames();
    fresh.indexes = d.indexes;
    fresh.indexName = d.indexName;
    fresh.indexFieldNames = d.indexFieldNames;
    fresh.filtered = d.filtered;
    fresh.filterText = d.filterText;
    if (!d.filterText.empty() && !EmptyString(d.filterText))
      fresh.filterAst = FilterParser(d.filterText).parse();
    fill(fresh);
    fresh.resolveSort();
    if (fresh.filtered && fresh.filterAst) fresh.resolveFilter();

    if (d.state != DatasetState::Inactive) {
      d.fire(&DatasetEvents::beforeClose);
      d.buf.clear();
      d.setState(DatasetState::Inactive);
      d.fire(&DatasetEvents::afterClose);
    }
    d.defs = std::move(fresh.defs);
    d.byName = std::move(fresh.byName);
    d.rows = std::move(fresh.rows);
    d.natural = std::move(fresh.natural);
    d.deadInNatural = 0;
    ++d.generation;
    d.changeOrder = std::move(fresh.changeOrder);
    d.sortFields = std::move(fresh.sortFields);
    d.sortCaseInsensitive = fresh.sortCaseInsensitive;
    d.filterAst = std::move(fresh.filterAst);
    d.filterResolved = fresh.filterResolved;
    if (d.filtered && d.filterAst) d.resolveFilter();
    d.rebuildView();
    d.cursorToFirst();
    d.setState(DatasetState::Browse);
    d.fire(&DatasetEvents::afterOpen);
    d.fire(&DatasetEvents::afterScroll);
  }
};

// ---------------------------------------------------------------------------------------
// Field

const FieldDef& Field::def() const {
  return ds_->d_->defs[index_];
}

Value Field::value() const {
  return ds_->d_->current(index_);
}

std::string Field::displayText() const {
  return displayTextOf(def(), value());
}

std::string displayTextOf(const FieldDef& d, const Value& v) {
  if (v.isNull()) return {};
  switch (d.type) {
    case FieldType::Float:
    case FieldType::Integer: {
      if (!d.displayFormat.empty()) return FormatFloat(d.displayFormat, v.asDouble());
      std::string s = v.asString();
      std::replace(s.begin(), s.end(), '.', ',');
      return s;
    }
    case FieldType::Date: {
      if (!d.displayFormat.empty()) return v.asDate().format(LowerCase(d.displayFormat));
      return v.asString();
    }
    default:
      return v.asString();
  }
}

void Field::setValue(Value v) {
  auto& d = *ds_->d_;
  d.checkActive();
  if (!d.editing()) d.error("dataset not in edit or insert mode");
  d.buf[index_] = d.convert(index_, std::move(v), true);
}

// ---------------------------------------------------------------------------------------
// ClientDataset

ClientDataset::ClientDataset(std::string name)
    : name_(std::move(name)), d_(std::make_unique<Impl>(this)) {}
ClientDataset::~ClientDataset() = default;

void ClientDataset::setFieldDefs(std::vector<FieldDef> defs) {
  if (active()) d_->error("cannot change the fields of an open dataset");
  for (size_t i = 0; i < defs.size(); ++i) {
    if (defs[i].name.empty()) d_->error(fmt::format("field {} has no name", i + 1));
    for (size_t j = 0; j < i; ++j) {
      if (sameName(defs[i].name, defs[j].name))
        d_->error(fmt::format("field {} declared twice", defs[i].name));
    }
    if (defs[i].type == FieldType::String && defs[i].size <= 0) {
      d_->error(fmt::format("text field {} needs a positive size", defs[i].name));
    }
  }
  d_->defs = std::move(defs);
  d_->rebuildNames();
}

void ClientDataset::addFieldDef(FieldDef def) {
  auto defs = d_->defs;
  defs.push_back(std::move(def));
  setFieldDefs(std::move(defs));
}

const std::vector<FieldDef>& ClientDataset::fieldDefs() const {
  return d_->defs;
}

FieldDef& ClientDataset::fieldDef(std::string_view name) {
  return d_->defs[d_->require(name)];
}

size_t ClientDataset::fieldCount() const {
  return d_->defs.size();
}

int ClientDataset::fieldIndex(std::string_view name) const {
  return d_->find(name);
}

Field ClientDataset::fieldByName(std::string_view name) {
  return Field(this, d_->require(name));
}

Field ClientDataset::field(size_t index) {
  if (index >= d_->defs.size()) d_->error(fmt::format("no field at position {}", index));
  return Field(this, index);
}

Value ClientDataset::valueOf(std::string_view name) const {
  return d_->current(d_->require(name));
}

void ClientDataset::createDataset() {
  if (d_->defs.empty()) d_->error("no fields defined");
  if (active()) close();
  d_->clearRows();
  open();
}

void ClientDataset::open() {
  if (active()) return;
  if (d_->defs.empty()) d_->error("no fields defined");
  d_->resolveSort();
  if (d_->filtered && d_->filterAst) d_->resolveFilter();
  d_->rebuildView();
  d_->cursorToFirst();
  d_->setState(DatasetState::Browse);
  d_->fire(&DatasetEvents::afterOpen);
  d_->fire(&DatasetEvents::afterScroll);
}

void ClientDataset::close() {
  if (!active()) return;
  d_->fire(&DatasetEvents::beforeClose);
  // as in the host, closing a client dataset lets go of its rows and of its pending edit
  d_->buf.clear();
  d_->setState(DatasetState::Inactive);
  d_->clearRows();
  d_->fire(&DatasetEvents::afterClose);
}

bool ClientDataset::active() const {
  return d_->state != DatasetState::Inactive;
}

DatasetState ClientDataset::state() const {
  return d_->state;
}

void ClientDataset::emptyDataset() {
  d_->checkActive();
  d_->buf.clear();
  d_->clearRows();
  d_->setState(DatasetState::Browse);
}

size_t ClientDataset::recordCount() const {
  return active() ? d_->view.size() : 0;
}

size_t ClientDataset::recNo() const {
  if (!active() || d_->view.empty()) return 0;
  if (d_->state == DatasetState::Insert) {
    return d_->appending ? d_->view.size() + 1 : d_->cur + 1;
  }
  return d_->cur + 1;
}

void ClientDataset::setRecNo(size_t recNo) {
  d_->checkBrowseMode();
  if (recNo < 1 || recNo > d_->view.size()) {
    d_->error(fmt::format("record {} does not exist (the dataset has {})", recNo, d_->view.size()));
  }
  d_->fire(&DatasetEvents::beforeScroll);
  d_->cur = recNo - 1;
  d_->bof = d_->eof = false;
  d_->fire(&DatasetEvents::afterScroll);
}

void ClientDataset::first() {
  d_->checkBrowseMode();
  d_->fire(&DatasetEvents::beforeScroll);
  d_->cursorToFirst();
  d_->fire(&DatasetEvents::afterScroll);
}

void ClientDataset::last() {
  d_->checkBrowseMode();
  d_->fire(&DatasetEvents::beforeScroll);
  d_->cur = d_->view.empty() ? 0 : d_->view.size() - 1;
  d_->eof = true;
  d_->bof = d_->view.empty();
  d_->fire(&DatasetEvents::afterScroll);
}

void ClientDataset::next() {
  d_->checkBrowseMode();
  d_->fire(&DatasetEvents::beforeScroll);
  if (d_->eof) return;
  d_->bof = false;
  if (d_->cur + 1 < d_->view.size()) {
    ++d_->cur;
  } else {
    d_->eof = true;
  }
  d_->fire(&DatasetEvents::afterScroll);
}

void ClientDataset::prior() {
  d_->checkBrowseMode();
  d_->fire(&DatasetEvents::beforeScroll);
  if (d_->bof) return;
  d_->eof = false;
  if (d_->cur > 0) {
    --d_->cur;
  } else {
    d_->bof = true;
  }
  d_->fire(&DatasetEvents::afterScroll);
}

bool ClientDataset::bof() const {
  return !active() || d_->bof;
}
bool ClientDataset::eof() const {
  return !active() || d_->eof;
}

ClientDataset::Bookmark ClientDataset::bookmark() const {
  d_->checkActive();
  const int64_t slot = d_->currentSlot();
  if (slot < 0) return -1;
  return static_cast<int64_t>(static_cast<uint64_t>(d_->generation & 0x7FFFFFFFu) << 32 |
                              static_cast<uint64_t>(slot));
}

bool ClientDataset::gotoBookmark(Bookmark b) {
  d_->checkBrowseMode();
  if (b < 0 ||
      static_cast<uint32_t>(static_cast<uint64_t>(b) >> 32) != (d_->generation & 0x7FFFFFFFu))
    return false;
  const auto slot = static_cast<uint32_t>(static_cast<uint64_t>(b) & 0xFFFFFFFFu);
  auto it = std::find(d_->view.begin(), d_->view.end(), slot);
  if (it == d_->view.end()) return false;
  d_->fire(&DatasetEvents::beforeScroll);
  d_->cur = static_cast<size_t>(it - d_->view.begin());
  d_->bof = d_->eof = false;
  d_->fire(&DatasetEvents::afterScroll);
  return true;
}

void ClientDataset::append() {
  d_->beginInsert(true);
}

void ClientDataset::insert() {
  d_->beginInsert(false);
}

void ClientDataset::edit() {
  d_->checkActive();
  if (d_->editing()) return;
  if (d_->view.empty()) {  // the host turns an edit of an empty dataset into an insert
    insert();
    return;
  }
  d_->fire(&DatasetEvents::beforeEdit);
  d_->buf = decodeRow(d_->rows[d_->view[d_->cur]].data, d_->defs.size());
  d_->setState(DatasetState::Edit);
  d_->fire(&DatasetEvents::afterEdit);
}

void ClientDataset::post() {
  auto& d = *d_;
  d.checkActive();
  if (!d.editing()) return;
  d.fire(&DatasetEvents::beforePost);
  std::string data = encodeRow(d.buf);
  if (d.state == DatasetState::Insert) {
    const auto slot = static_cast<uint32_t>(d.rows.size());
    d.rows.push_back(Impl::Row{std::move(data), {}, d.logChanges ? kInserted : kUnchanged});
    if (d.insertBefore < 0) {
      d.natural.push_back(slot);
    } else {
      auto it =
          std::find(d.natural.begin(), d.natural.end(), static_cast<uint32_t>(d.insertBefore));
      d.natural.insert(it, slot);
    }
    if (d.logChanges) d.changeOrder.push_back(slot);
    const size_t preferred = d.appending || d.view.empty() ? d.view.size() : d.cur;
    const size_t pos = d.place(slot, preferred);
    if (pos != std::string::npos) {
      d.cur = pos;
    } else if (!d.view.empty()) {
      d.cur = std::min(d.cur, d.view.size() - 1);
    }
  } else {
    const uint32_t slot = d.view[d.cur];
    auto& row = d.rows[slot];
    if (data != row.data) {
      if (d.logChanges && row.status == kUnchanged) {
        row.original = std::move(row.data);
        row.status = kModified;
        d.changeOrder.push_back(slot);
      } else if (row.status == kModified && data == row.original) {
        // edited back to what it was: nothing left to send
        row.status = kUnchanged;
        std::string().swap(row.original);
        d.removeFromChangeOrder(slot);
      }
      row.data = std::move(data);
      ++d.version;
      if ((!d.sortFields.empty() || d.filterActive()) && !d.staysAt(d.cur)) {
        d.view.erase(d.view.begin() + static_cast<std::ptrdiff_t>(d.cur));
        const size_t pos = d.place(slot, d.cur);
        if (pos != std::string::npos) {
          d.cur = pos;
        } else if (!d.view.empty()) {
          d.cur = std::min(d.cur, d.view.size() - 1);
        }
      }
    }
  }
  d.bof = false;
  d.eof = d.view.empty();
  d.buf.clear();
  d.setState(DatasetState::Browse);
  d.fire(&DatasetEvents::afterPost);
}

void ClientDataset::cancel() {
  auto& d = *d_;
  if (!d.editing()) return;
  d.fire(&DatasetEvents::beforeCancel);
  d.buf.clear();
  d.setState(DatasetState::Browse);
  d.fire(&DatasetEvents::afterCancel);
}

void ClientDataset::deleteRecord() {
  auto& d = *d_;
  d.checkActive();
  if (d.state == DatasetState::Insert) {
    cancel();
    return;
  }
  if (d.view.empty()) d.error("cannot delete from an empty dataset");
  d.fire(&DatasetEvents::beforeDelete);
  d.fire(&DatasetEvents::beforeScroll);
  const uint32_t slot = d.view[d.cur];
  auto& row = d.rows[slot];
  d.view.erase(d.view.begin() + static_cast<std::ptrdiff_t>(d.cur));
  ++d.version;
  switch (row.status) {
    case kInserted:  // never reached the service: nothing to tell it
      d.removeFromChangeOrder(slot);
      d.markDead(slot);
      break;
    case kModified:  // the service must still find the row as it was
      std::string().swap(row.data);
      row.status = kDeleted;
      break;
    default:
      if (d.logChanges) {
        row.original = std::move(row.data);
        row.data.clear();
        row.status = kDeleted;
        d.changeOrder.push_back(slot);
      } else {
        d.markDead(slot);
      }
      break;
  }
  const bool wasLast = d.cur >= d.view.size();
  if (d.view.empty()) {
    d.cur = 0;
    d.bof = d.eof = true;
  } else {
    if (wasLast) d.cur = d.view.size() - 1;
    d.bof = false;
    d.eof = wasLast;
  }
  d.buf.clear();
  d.setState(DatasetState::Browse);
  d.fire(&DatasetEvents::afterDelete);
  d.fire(&DatasetEvents::afterScroll);
}

Value ClientDataset::valueAt(size_t recNo, std::string_view field) const {
  d_->checkActive();
  const size_t f = d_->require(field);
  if (recNo < 1 || recNo > d_->view.size()) {
    d_->error(fmt::format("record {} does not exist (the dataset has {})", recNo, d_->view.size()));
  }
  return cellAt(d_->rows[d_->view[recNo - 1]].data, f);
}

// --- change log

int ClientDataset::changeCount() const {
  return static_cast<int>(d_->changeOrder.size());
}

nlohmann::json ClientDataset::delta() const {
  return d_->packet(d_->natural, d_->changeOrder, true);
}

void ClientDataset::mergeChangeLog() {
  auto& d = *d_;
  if (active()) d.checkBrowseMode();
  for (uint32_t s : d.changeOrder) {
    auto& row = d.rows[s];
    if (row.status == kDeleted) {
      d.markDead(s);
    } else {
      row.status = kUnchanged;
      std::string().swap(row.original);
    }
  }
  d.changeOrder.clear();
  d.compactNatural();
  ++d.version;
}

void ClientDataset::cancelUpdates() {
  auto& d = *d_;
  if (active()) cancel();
  const int64_t keep = d.currentSlot();
  for (uint32_t s : d.changeOrder) {
    auto& row = d.rows[s];
    if (row.status == kInserted) {
      d.markDead(s);
    } else if (row.status == kModified || row.status == kDeleted) {
      row.data = std::move(row.original);
      std::string().swap(row.original);
      row.status = kUnchanged;
    }
  }
  d.changeOrder.clear();
  d.compactNatural();
  if (active()) {
    d.rebuildView();
    d.cursorTo(keep);
  }
}

void ClientDataset::setLogChanges(bool on) {
  d_->logChanges = on;
}
bool ClientDataset::logChanges() const {
  return d_->logChanges;
}

// --- order and search

void ClientDataset::addIndex(IndexDef index) {
  if (index.name.empty()) d_->error("an index needs a name");
  for (const auto& i : d_->indexes) {
    if (sameName(i.name, index.name))
      d_->error(fmt::format("index '{}' declared twice", index.name));
  }
  if (!d_->defs.empty()) d_->resolveKeys(index.fields);  // refuse unknown fields now
  d_->indexes.push_back(std::move(index));
}

// A named index and a field list exclude each other; an order that cannot be resolved
// leaves the previous one in force.
void ClientDataset::applyOrder(std::string name, std::string fields) {
  auto& d = *d_;
  if (active()) d.checkBrowseMode();
  const std::string oldName = d.indexName;
  const std::string oldFields = d.indexFieldNames;
  d.indexName = std::move(name);
  d.indexFieldNames = std::move(fields);
  if (!active()) return;
  try {
    d.resolveSort();
  } catch (...) {
    d.indexName = oldName;
    d.indexFieldNames = oldFields;
    d.resolveSort();
    throw;
  }
  const int64_t keep = d.currentSlot();
  d.rebuildView();
  d.cursorTo(keep);
}

void ClientDataset::setIndexName(std::string_view name) {
  applyOrder(std::string(name), {});
}

const std::string& ClientDataset::indexName() const {
  return d_->indexName;
}

void ClientDataset::setIndexFieldNames(std::string_view fields) {
  applyOrder({}, std::string(fields));
}

const std::string& ClientDataset::indexFieldNames() const {
  return d_->indexFieldNames;
}

bool ClientDataset::locate(std::string_view keys, const std::vector<Value>& values,
                           LocateOptions options) {
  auto& d = *d_;
  d.checkBrowseMode();
  const auto fields = d.resolveKeys(keys);
  const size_t pos = d.search(fields, values, options);
  d.fire(&DatasetEvents::beforeScroll);
  if (pos == std::string::npos) return false;
  d.cur = pos;
  d.bof = d.eof = false;
  d.fire(&DatasetEvents::afterScroll);
  return true;
}

Value ClientDataset::lookup(std::string_view keys, const std::vector<Value>& values,
                            std::string_view resultField) const {
  const auto& d = *d_;
  d.checkActive();
  const auto fields = d.resolveKeys(keys);
  const size_t result = d.require(resultField);
  const size_t pos = d.search(fields, values, {});
  if (pos == std::string::npos) return Value();
  return cellAt(d.rows[d.view[pos]].data, result);
}

// --- filter

void ClientDataset::setFilter(std::string_view expression) {
  auto& d = *d_;
  std::unique_ptr<FilterNode> ast;
  if (!EmptyString(expression)) ast = FilterParser(expression).parse();
  if (active()) d.checkBrowseMode();
  std::string oldText = std::move(d.filterText);
  auto oldAst = std::move(d.filterAst);
  d.filterText = std::string(expression);
  d.filterAst = std::move(ast);
  if (active() && d.filtered) {
    try {
      d.resolveFilter();
    } catch (...) {
      d.filterText = std::move(oldText);
      d.filterAst = std::move(oldAst);
      d.resolveFilter();
      throw;
    }
    d.rebuildView();
    first();
  }
}

const std::string& ClientDataset::filter() const {
  return d_->filterText;
}

void ClientDataset::setFiltered(bool on) {
  auto& d = *d_;
  if (d.filtered == on) return;
  if (active()) d.checkBrowseMode();
  if (on && active() && d.filterAst) d.resolveFilter();
  d.filtered = on;
  if (active()) {
    d.rebuildView();
    first();
  }
}

bool ClientDataset::filtered() const {
  return d_->filtered;
}

// --- events

DatasetEvents& ClientDataset::events() {
  return d_->events;
}

DatasetEvents ClientDataset::detachEvents() {
  DatasetEvents out = std::move(d_->events);
  d_->events = DatasetEvents{};
  return out;
}

void ClientDataset::attachEvents(DatasetEvents events) {
  d_->events = std::move(events);
}

void ClientDataset::freeze() {
  ++d_->freezeCount;
}

void ClientDataset::unfreeze() {
  if (d_->freezeCount > 0) --d_->freezeCount;
}

bool ClientDataset::frozen() const {
  return d_->freezeCount > 0;
}

// --- copies and packets

void ClientDataset::copyDataFrom(const ClientDataset& other) {
  if (&other == this) return;
  const auto& o = *other.d_;
  if (o.defs.empty()) d_->error(fmt::format("{} has no fields to copy", o.label()));
  d_->reload(o.defs, [&](Impl& fresh) {
    fresh.rows.reserve(o.natural.size());
    for (uint32_t s : o.natural) {
      if (!o.live(s)) continue;
      fresh.natural.push_back(static_cast<uint32_t>(fresh.rows.size()));
      fresh.rows.push_back(Impl::Row{o.rows[s].data, {}, kUnchanged});
    }
  });
}

nlohmann::json ClientDataset::toPacket() const {
  return d_->packet(d_->natural, d_->changeOrder, false);
}

void ClientDataset::loadPacket(const nlohmann::json& packet) {
  auto& d = *d_;
  std::vector<FieldDef> defs = parseFields(packet);
  if (defs.empty()) throw std::invalid_argument("data packet: no fields");
  if (!packet.contains("rows") || !packet["rows"].is_array()) {
    throw std::invalid_argument("data packet: \"rows\" is missing or not an array");
  }
  const json* changes = nullptr;
  if (packet.contains("changes")) {
    changes = &packet["changes"];
    if (!changes->is_array())
      throw std::invalid_argument("data packet: \"changes\" is not an array");
  }
  const auto defsIn = defs;
  d.reload(std::move(defs), [&](Impl& fresh) {
    const std::vector<int> map = fresh.sourcesOf(defsIn);
    const json& rowsJson = packet["rows"];
    const size_t n = rowsJson.size();
    std::vector<Impl::Row> live(n);
    for (size_t i = 0; i < n; ++i) {
      live[i].data = fresh.encodeJsonRow(rowsJson[i], defsIn, map, {"data packet: row", i, ""});
    }
    // change log: statuses of rows, and deleted rows with the position they held
    std::vector<std::pair<size_t, Impl::Row>> deleted;  // (position, row)
    std::vector<std::pair<bool, size_t>> order;         // (is a deletion, index)
    if (changes) {
      std::vector<bool> seen(n, false);
      size_t ci = 0;
      for (const auto& c : *changes) {
        const std::string where = fmt::format("data packet: change {}", ci++);
        if (!c.is_object() || !c.contains("kind") || !c["kind"].is_string()) {
          throw std::invalid_argument(where + ": \"kind\" is missing");
        }
        const std::string kind = c["kind"].get<std::string>();
        if (!c.contains("row") || !c["row"].is_number_integer() || c["row"].get<int64_t>() < 0) {
          throw std::invalid_argument(where + ": \"row\" is missing or not a position");
        }
        const auto pos = c["row"].get<size_t>();
        auto original = [&]() {
          if (!c.contains("original"))
            throw std::invalid_argument(where + ": \"original\" is missing");
          return fresh.encodeJsonRow(c["original"], defsIn, map,
                                     {"data packet: change", ci - 1, ", original"});
        };
        if (kind == "insert" || kind == "modify") {
          if (pos >= n)
            throw std::invalid_argument(fmt::format("{}: row {} does not exist", where, pos));
          if (seen[pos])
            throw std::invalid_argument(fmt::format("{}: row {} changed twice", where, pos));
          seen[pos] = true;
          if (kind == "insert") {
            live[pos].status = kInserted;
          } else {
            live[pos].status = kModified;
            live[pos].original = original();
          }
          order.emplace_back(false, pos);
        } else if (kind == "delete") {
          if (pos > n)
            throw std::invalid_argument(
                fmt::format("{}: position {} is past the rows", where, pos));
          deleted.emplace_back(pos, Impl::Row{{}, original(), kDeleted});
          order.emplace_back(true, deleted.size() - 1);
        } else {
          throw std::invalid_argument(fmt::format("{}: unknown kind '{}'", where, kind));
        }
      }
    }
    // slots: live rows first (slot = row index), then deleted rows
    fresh.rows = std::move(live);
    std::vector<uint32_t> deletedSlot(deleted.size());
    std::vector<size_t> byPos(deleted.size());
    for (size_t i = 0; i < deleted.size(); ++i) {
      deletedSlot[i] = static_cast<uint32_t>(fresh.rows.size());
      fresh.rows.push_back(std::move(deleted[i].second));
      byPos[i] = i;
    }
    std::stable_sort(byPos.begin(), byPos.end(),
                     [&](size_t a, size_t b) { return deleted[a].first < deleted[b].first; });
    fresh.natural.reserve(fresh.rows.size());
    size_t di = 0;
    for (size_t i = 0; i <= n; ++i) {
      while (di < byPos.size() && deleted[byPos[di]].first == i)
        fresh.natural.push_back(deletedSlot[byPos[di++]]);
      if (i < n) fresh.natural.push_back(static_cast<uint32_t>(i));
    }
    for (const auto& [isDeletion, idx] : order) {
      fresh.changeOrder.push_back(isDeletion ? deletedSlot[idx] : static_cast<uint32_t>(idx));
    }
  });
}

void ClientDataset::appendPacketRows(const nlohmann::json& packet) {
  auto& d = *d_;
  if (d.defs.empty()) d.error("no fields defined");
  const std::vector<FieldDef> defsIn = parseFields(packet);
  if (!packet.contains("rows") || !packet["rows"].is_array()) {
    throw std::invalid_argument("data packet: \"rows\" is missing or not an array");
  }
  const std::vector<int> map = d.sourcesOf(defsIn);
  std::vector<std::string> encoded;
  const json& rowsJson = packet["rows"];
  encoded.reserve(rowsJson.size());
  for (size_t i = 0; i < rowsJson.size(); ++i) {
    encoded.push_back(d.encodeJsonRow(rowsJson[i], defsIn, map, {"data packet: row", i, ""}));
  }
  if (!active()) open();
  d.checkBrowseMode();
  const bool wasEmpty = d.view.empty();
  const int64_t keep = d.currentSlot();
  for (auto& data : encoded) {
    d.natural.push_back(static_cast<uint32_t>(d.rows.size()));
    d.rows.push_back(Impl::Row{std::move(data), {}, kUnchanged});
  }
  d.rebuildView();
  if (wasEmpty) {
    d.cursorToFirst();
  } else {
    d.cursorTo(keep);
  }
}

void ClientDataset::loadPacked(const DataPacket& packet) {
  auto& d = *d_;
  if (packet.fields().empty()) throw std::invalid_argument("data packet: no fields");
  d.reload(packet.fields(), [&](Impl& fresh) {
    const auto& in = packet.rows_;
    for (size_t i = 0; i < in.size(); ++i) fresh.checkTexts(in[i], {"data packet: row", i, ""});
    fresh.rows.reserve(in.size());
    fresh.natural.reserve(in.size());
    for (const auto& data : in) {
      fresh.natural.push_back(static_cast<uint32_t>(fresh.rows.size()));
      fresh.rows.push_back(Impl::Row{data, {}, kUnchanged});
    }
  });
}

void ClientDataset::appendPackedRows(const DataPacket& packet) {
  auto& d = *d_;
  if (d.defs.empty()) d.error("no fields defined");
  // Fields matched by name in another order or of other types: the JSON path converts them.
  if (!d.sameLayout(packet.fields())) {
    appendPacketRows(packet.toJson());
    return;
  }
  const auto& in = packet.rows_;
  for (size_t i = 0; i < in.size(); ++i) d.checkTexts(in[i], {"data packet: row", i, ""});
  if (!active()) open();
  d.checkBrowseMode();
  const bool wasEmpty = d.view.empty();
  const int64_t keep = d.currentSlot();
  d.rows.reserve(d.rows.size() + in.size());
  for (const auto& data : in) {
    d.natural.push_back(static_cast<uint32_t>(d.rows.size()));
    d.rows.push_back(Impl::Row{data, {}, kUnchanged});
  }
  d.rebuildView();
  if (wasEmpty) {
    d.cursorToFirst();
  } else {
    d.cursorTo(keep);
  }
}

}  // namespace host