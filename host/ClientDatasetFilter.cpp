// The filter of a dataset: comparisons of a field with a literal, "is [not] null", and, or,
// not, parentheses (the grammar is in host/README.md). Parsed once when set; field names are
// resolved when the filter is applied.

#include <fmt/format.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "host/ClientDatasetImpl.h"
#include "host/Consiste.h"

namespace host {

using namespace packed;
using namespace dataset;

namespace {

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

  /// Each "not" and each parenthesis is one level of the parser's own recursion: a filter
  /// typed or stored by a person needs a handful, and a deeper one would exhaust the stack.
  struct Level {
    explicit Level(FilterParser& p) : parser(p) {
      if (++parser.depth_ > kMaxDepth) parser.fail("nesting deeper than 100 levels");
    }
    ~Level() { --parser.depth_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;
    FilterParser& parser;
  };
  static constexpr int kMaxDepth = 100;

  std::unique_ptr<FilterNode> parseNot() {
    if (isKeyword("not")) {
      Level level(*this);
      next();
      return binary(FilterNode::Kind::Not, parseNot(), nullptr);
    }
    return parsePrimary();
  }

  std::unique_ptr<FilterNode> parsePrimary() {
    if (tok_.kind == Tok::LParen) {
      Level level(*this);
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
  int depth_ = 0;
  Token tok_;
};

}  // namespace

std::unique_ptr<FilterNode> dataset::parseFilter(std::string_view text) {
  return FilterParser(text).parse();
}

void ClientDataset::Impl::resolveFilter() {
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

bool ClientDataset::Impl::evalNode(const FilterNode& n, const std::string& row) const {
  switch (n.kind) {
    case FilterNode::Kind::And:
      return evalNode(*n.left, row) && evalNode(*n.right, row);
    case FilterNode::Kind::Or:
      return evalNode(*n.left, row) || evalNode(*n.right, row);
    case FilterNode::Kind::Not:
      return !evalNode(*n.left, row);
    case FilterNode::Kind::IsNull:
    case FilterNode::Kind::IsNotNull: {
      CellCursor c(row);
      c.skip(n.fieldIndex);
      return (c.tag() == kNull) == (n.kind == FilterNode::Kind::IsNull);
    }
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

void ClientDataset::setFilter(std::string_view expression) {
  auto& d = *d_;
  std::unique_ptr<FilterNode> ast;
  if (!EmptyString(expression)) ast = parseFilter(expression);
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

}  // namespace host
