#pragma once
// Per-screen message tables: operations name a key, the screen shows the table's text.

#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/Value.h"

namespace host {

/// Delphi-style formatting: %s, %d, %f, %.nf, %x and %% with positional arguments taken in
/// order. Missing arguments leave the specifier as it stands; extra arguments are ignored.
std::string Format(std::string_view pattern, const std::vector<Value>& args);

/// A screen's table of key and text pairs. Keys match without regard to letter case.
class TMessages {
 public:
  TMessages() = default;
  TMessages(std::initializer_list<std::pair<std::string, std::string>> entries);

  void Add(const std::string& key, const std::string& text);
  bool Has(std::string_view key) const;
  /// The text of a key; a key the table lacks comes back as the key itself, so that a
  /// missing entry is visible to the operator instead of an empty box.
  std::string Msg(std::string_view key) const;
  /// The text of a key with its %s (and other) specifiers filled.
  std::string Msg(std::string_view key, const std::vector<Value>& args) const;
  /// Raises the key's text as an OperationError carrying the key (the host's MensErro).
  [[noreturn]] void Error(std::string_view key, const std::vector<Value>& args = {}) const;
  size_t size() const { return texts_.size(); }

 private:
  std::unordered_map<std::string, std::string> texts_;  // by lower-case key
};

}  // namespace host
