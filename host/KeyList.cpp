#include "host/KeyList.h"

#include <fmt/format.h>

#include <stdexcept>

#include "host/Consiste.h"

namespace host {

const Value& KeyValue::element(size_t n) const {
  static const Value kNull;
  if (!isArray_ || n >= array_.size()) return kNull;
  return array_[n];
}

void TKeyList::Add(const std::string& key, const KeyValue& value) {
  auto it = index_.find(key);
  if (it == index_.end()) {
    index_.emplace(key, items_.size());
    items_.push_back({key, value});
    return;
  }
  KeyValue& current = items_[it->second].value;
  if (!value.isArray() && value.scalar().isNumber() && !current.isArray() &&
      (current.scalar().isNumber() || current.scalar().isNull())) {
    current = KeyValue(Value(RoundDec(2, current.scalar().asDouble() + value.scalar().asDouble())));
  } else {
    current = value;
  }
}

int TKeyList::IndexOf(std::string_view key) const {
  auto it = index_.find(std::string(key));
  return it == index_.end() ? -1 : static_cast<int>(it->second);
}

void TKeyList::Remove(std::string_view key) {
  auto it = index_.find(std::string(key));
  if (it == index_.end()) return;
  const size_t pos = it->second;
  index_.erase(it);
  items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(pos));
  for (size_t i = pos; i < items_.size(); ++i) index_[items_[i].key] = i;
}

const std::string& TKeyList::Key(int i) const {
  if (i < 0 || i >= Count()) {
    throw std::out_of_range(fmt::format("key list position {} out of 0..{}", i, Count() - 1));
  }
  return items_[static_cast<size_t>(i)].key;
}

const KeyValue& TKeyList::Sum(int i) const {
  if (i < 0 || i >= Count()) {
    throw std::out_of_range(fmt::format("key list position {} out of 0..{}", i, Count() - 1));
  }
  return items_[static_cast<size_t>(i)].value;
}

void TKeyList::Clear() {
  items_.clear();
  index_.clear();
}

}  // namespace host
