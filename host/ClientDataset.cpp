#include "host/ClientDataset.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>

#include "host/ClientDatasetImpl.h"
#include "host/Consiste.h"

namespace host {

using namespace packed;
using namespace dataset;

namespace dataset {

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

}  // namespace dataset

namespace {

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
// Impl: names, conversion, rows and the cursor

void ClientDataset::Impl::rebuildNames() {
  byName.clear();
  for (size_t i = 0; i < defs.size(); ++i) byName.emplace(defs[i].name, i);
}

int ClientDataset::Impl::find(std::string_view name) const {
  // screens read and fill fields in the same order row after row: try the one after the
  // last found before hashing
  if (nextGuess < defs.size() && defs[nextGuess].name == name) return static_cast<int>(nextGuess++);
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

size_t ClientDataset::Impl::require(std::string_view name) const {
  const int i = find(name);
  if (i < 0) error(fmt::format("field '{}' not found", name));
  return static_cast<size_t>(i);
}

std::vector<size_t> ClientDataset::Impl::resolveKeys(std::string_view keys) const {
  std::vector<size_t> out;
  for (const auto& k : splitKeys(keys)) out.push_back(require(k));
  if (out.empty()) error("no key fields given");
  return out;
}

Value ClientDataset::Impl::convert(size_t field, Value v, bool checkSize) const {
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

void ClientDataset::Impl::compactNatural() {
  if (deadInNatural == 0) return;
  std::erase_if(natural, [&](uint32_t s) { return rows[s].status == kDead; });
  deadInNatural = 0;
}

void ClientDataset::Impl::markDead(uint32_t slot) {
  rows[slot].status = kDead;
  std::string().swap(rows[slot].data);
  std::string().swap(rows[slot].original);
  ++deadInNatural;
  if (deadInNatural > 64 && deadInNatural * 2 > natural.size()) compactNatural();
}

void ClientDataset::Impl::removeFromChangeOrder(uint32_t slot) {
  auto it = std::find(changeOrder.begin(), changeOrder.end(), slot);
  if (it != changeOrder.end()) changeOrder.erase(it);
}

void ClientDataset::Impl::clearRows() {
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

void ClientDataset::Impl::cursorToFirst() {
  cur = 0;
  bof = true;
  eof = view.empty();
}

void ClientDataset::Impl::cursorTo(int64_t slot) {
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

Value ClientDataset::Impl::current(size_t field) const {
  checkActive();
  if (editing()) return buf[field];
  if (view.empty()) return Value();
  return cellAt(rows[view[cur]].data, field);
}

void ClientDataset::Impl::beginInsert(bool append) {
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

// --- scoped guards

SavedOrder::SavedOrder(ClientDataset& ds)
    : ds_(ds),
      name_(ds.indexName()),
      fields_(ds.indexFieldNames()),
      uncaught_(std::uncaught_exceptions()) {}

SavedOrder::SavedOrder(ClientDataset& ds, std::string_view fields) : SavedOrder(ds) {
  // Ordering again costs a sort of every row: skipped when nothing would change.
  if (!name_.empty() || fields_ != fields) ds_.setIndexFieldNames(fields);
}

SavedOrder::~SavedOrder() noexcept(false) {
  if (ds_.indexName() == name_ && ds_.indexFieldNames() == fields_) return;
  try {
    if (!name_.empty()) {
      ds_.setIndexName(name_);
    } else {
      ds_.setIndexFieldNames(fields_);
    }
  } catch (...) {
    if (std::uncaught_exceptions() > uncaught_) return;
    throw;
  }
}

}  // namespace host
