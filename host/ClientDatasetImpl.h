#pragma once
// The inside of a ClientDataset, shared by the files that implement it:
//   ClientDataset.cpp         fields, cursor, editing, change log, events
//   ClientDatasetFilter.cpp   the filter: its grammar, resolution and evaluation
//   ClientDatasetOrder.cpp    indexes, the view's order, locate and lookup
//   ClientDatasetPackets.cpp  data packets in and out, copies
// and the packed rows they all hold (ClientDatasetRows.h). Internal to host/: nothing outside
// ClientDataset*.cpp includes it.

#include <fmt/format.h>

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/ClientDataset.h"
#include "host/ClientDatasetRows.h"
#include "host/Errors.h"

namespace host {

namespace dataset {

struct NameHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

enum RowStatus : uint8_t { kUnchanged, kInserted, kModified, kDeleted, kDead };

enum class CmpOp { Eq, Ne, Lt, Gt, Le, Ge };

/// A parsed filter expression. Field names are resolved to positions when the filter is
/// applied to a dataset (`ClientDataset::Impl::resolveFilter`).
struct FilterNode {
  enum class Kind { And, Or, Not, Compare, IsNull, IsNotNull } kind = Kind::Compare;
  std::unique_ptr<FilterNode> left, right;
  std::string field;
  size_t fieldIndex = 0;
  CmpOp op = CmpOp::Eq;
  Value literal;  // as written
  Value operand;  // converted to the field's type when resolved
};

/// Parses a filter expression; throws std::invalid_argument quoting it and saying where it
/// goes wrong.
std::unique_ptr<FilterNode> parseFilter(std::string_view text);

/// "A;B" as its trimmed, non-empty parts.
std::vector<std::string> splitKeys(std::string_view keys);

}  // namespace dataset

struct ClientDataset::Impl {
  using RowStatus = dataset::RowStatus;
  using FilterNode = dataset::FilterNode;

  struct Row {
    std::string data;      // current values (empty for a logged deletion)
    std::string original;  // values at the last merge, for a modified or deleted row
    RowStatus status = dataset::kUnchanged;
  };

  explicit Impl(ClientDataset* s) : self(s) {}

  ClientDataset* self;
  std::vector<FieldDef> defs;
  std::unordered_map<std::string, size_t, dataset::NameHash, std::equal_to<>> byName;
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

  // --- helpers (ClientDataset.cpp)
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

  bool live(uint32_t slot) const {
    const auto s = rows[slot].status;
    return s == dataset::kUnchanged || s == dataset::kInserted || s == dataset::kModified;
  }

  int64_t currentSlot() const { return view.empty() ? -1 : static_cast<int64_t>(view[cur]); }

  void rebuildNames();
  /// Position of a field (exact name first, then regardless of case), or -1.
  int find(std::string_view name) const;
  /// Position of a field; OperationError naming the dataset when there is none.
  size_t require(std::string_view name) const;
  std::vector<size_t> resolveKeys(std::string_view keys) const;
  /// Converts `v` to the field's type; refuses what does not fit (text too long, not a
  /// number, not a date).
  Value convert(size_t field, Value v, bool checkSize) const;
  void compactNatural();
  void markDead(uint32_t slot);
  void removeFromChangeOrder(uint32_t slot);
  void clearRows();
  void cursorToFirst();
  /// Keeps the cursor on `slot` if it is still visible, else on the first row.
  void cursorTo(int64_t slot);
  Value current(size_t field) const;
  void beginInsert(bool append);

  // --- filter (ClientDatasetFilter.cpp)
  void resolveFilter();
  bool evalNode(const FilterNode& n, const std::string& row) const;
  bool filterActive() const { return filtered && filterAst && filterResolved; }
  bool passes(uint32_t slot) const {
    return !filterActive() || evalNode(*filterAst, rows[slot].data);
  }

  // --- order and locate (ClientDatasetOrder.cpp)
  void resolveSort();
  int compareKeys(const std::vector<Value>& a, const std::string& rowB) const;
  /// The visible rows again, filtered and in index order.
  void rebuildView();
  bool staysAt(size_t pos);
  size_t place(uint32_t slot, size_t preferred);
  /// First view position whose key fields match; npos when none.
  size_t search(const std::vector<size_t>& fields, const std::vector<Value>& raw,
                const LocateOptions& o) const;
  void buildCache(const std::vector<size_t>& fields, bool ci) const;
  size_t searchCache(const std::vector<Value>& wanted) const;

  // --- packets (ClientDatasetPackets.cpp)
  /// Where a packet row sits, for messages; formatted only when something is wrong.
  struct Where {
    std::string_view prefix;
    size_t index;
    std::string_view suffix;
    std::string str() const { return fmt::format("{} {}{}", prefix, index, suffix); }
  };
  nlohmann::json fieldsJson() const;
  nlohmann::json packet(const std::vector<uint32_t>& ordered, const std::vector<uint32_t>& changed,
                        bool onlyChanged) const;
  std::vector<int> sourcesOf(const std::vector<FieldDef>& defsIn) const;
  std::string encodeJsonRow(const nlohmann::json& row, const std::vector<FieldDef>& defsIn,
                            const std::vector<int>& sources, const Where& where) const;
  void checkTexts(const std::string& row, const Where& where) const;
  bool sameLayout(const std::vector<FieldDef>& in) const;
  template <typename Fill>
  void reload(std::vector<FieldDef> newDefs, Fill fill);
};

}  // namespace host
