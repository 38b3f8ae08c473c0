// The order of a dataset's view (named indexes and field lists), locate and lookup.

#include <fmt/format.h>

#include <algorithm>

#include "host/ClientDatasetImpl.h"
#include "host/Consiste.h"

namespace host {

using namespace packed;
using namespace dataset;

void ClientDataset::Impl::resolveSort() {
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

int ClientDataset::Impl::compareKeys(const std::vector<Value>& a, const std::string& rowB) const {
  for (size_t k = 0; k < sortFields.size(); ++k) {
    const int c = Value::compare(a[k], cellAt(rowB, sortFields[k]), sortCaseInsensitive);
    if (c != 0) return c;
  }
  return 0;
}

void ClientDataset::Impl::rebuildView() {
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

// Whether the row at `pos` of the view still belongs there after its values changed: it
// passes the filter and sorts between its neighbours. A row whose sort key did not change
// keeps its place among the rows of equal key, so a walk by position meets each row once.
bool ClientDataset::Impl::staysAt(size_t pos) {
  const uint32_t slot = view[pos];
  if (!passes(slot)) return false;
  if (sortFields.empty()) return true;
  std::vector<Value> key;
  for (size_t f : sortFields) key.push_back(cellAt(rows[slot].data, f));
  if (pos > 0 && compareKeys(key, rows[view[pos - 1]].data) < 0) return false;
  if (pos + 1 < view.size() && compareKeys(key, rows[view[pos + 1]].data) > 0) return false;
  return true;
}

// Puts a posted row into the view: at its index position, or at `preferred` when there
// is no index. Returns the position, or npos when the filter hides it.
size_t ClientDataset::Impl::place(uint32_t slot, size_t preferred) {
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

size_t ClientDataset::Impl::search(const std::vector<size_t>& fields, const std::vector<Value>& raw,
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

void ClientDataset::Impl::buildCache(const std::vector<size_t>& fields, bool ci) const {
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

size_t ClientDataset::Impl::searchCache(const std::vector<Value>& wanted) const {
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

}  // namespace host
