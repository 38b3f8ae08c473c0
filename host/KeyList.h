#pragma once
// The host's key list: ordered keys, one value each, where adding to a key that is already
// there accumulates its number (the marked totals) or replaces its array (the emission lists).

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/Value.h"

namespace host {

/// The value of one key: a scalar Value or an array of Values.
class KeyValue {
 public:
  KeyValue() = default;
  KeyValue(Value v) : scalar_(std::move(v)) {}
  KeyValue(std::vector<Value> array) : array_(std::move(array)), isArray_(true) {}

  bool isArray() const { return isArray_; }
  const Value& scalar() const { return scalar_; }
  const std::vector<Value>& array() const { return array_; }
  /// Element n of an array (null when out of range or not an array).
  const Value& element(size_t n) const;
  /// The number of a scalar (0 for an array).
  double asDouble() const { return isArray_ ? 0.0 : scalar_.asDouble(); }

 private:
  Value scalar_;
  std::vector<Value> array_;
  bool isArray_ = false;
};

/// `TKeyList`: keys in order of first addition; keys compare exactly (case and blanks count).
class TKeyList {
 public:
  /// Adds `key`; when present, a number is added to its total (rounded to the decimals of
  /// money, 2 places, so totals never drift), an array or a text replaces the value.
  void Add(const std::string& key, const KeyValue& value);
  /// Position of the key, or -1.
  int IndexOf(std::string_view key) const;
  bool Contains(std::string_view key) const { return IndexOf(key) >= 0; }
  /// Drops the key; nothing happens when it is not there.
  void Remove(std::string_view key);
  const std::string& Key(int i) const;
  /// The value (total) at position i; throws std::out_of_range outside [0, Count).
  const KeyValue& Sum(int i) const;
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear();

 private:
  struct Item {
    std::string key;
    KeyValue value;
  };
  std::vector<Item> items_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace host
