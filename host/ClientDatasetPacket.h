#pragma once
// A data packet held in the dataset's packed row form. The service builds a large answer in
// it straight from its query rows, and a client dataset takes the rows over as they are: no
// JSON tree of a hundred thousand rows is built on either side. Its JSON form is the one
// ClientDataset::toPacket writes.

#include <cstddef>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/ClientDataset.h"

namespace host {

class DataPacket {
 public:
  /// What a packet holds besides its rows: the "fields" member, parsed and as text, and the
  /// other members (an empty change log, say) as they are. Immutable, so the packets of one
  /// query share one instead of building and parsing their fields at every call.
  struct Layout {
    nlohmann::json head;  // every member but "rows"
    std::vector<FieldDef> fields;
    std::string fieldsText;
  };
  /// The layout of `head`; throws std::invalid_argument for malformed fields.
  static std::shared_ptr<const Layout> layout(nlohmann::json head);

  /// No rows yet.
  explicit DataPacket(std::shared_ptr<const Layout> layout);
  explicit DataPacket(nlohmann::json head) : DataPacket(layout(std::move(head))) {}

  const std::vector<FieldDef>& fields() const { return layout_->fields; }
  size_t rowCount() const { return rows_.size(); }

  // --- building: a row's cells in field order, then endRow(). A cell that does not suit its
  // field (text for a date field, a cell too many, endRow() before the last cell) throws
  // std::invalid_argument. An integer suits a double field. A double that is not finite
  // becomes null, as JSON carries it.
  void addNull();
  void addText(std::string_view s);
  void addInteger(int64_t i);
  void addFloat(double d);
  void addBoolean(bool b);
  void addDate(const DateTime& d);
  /// A date written "yyyy-mm-dd" (or with "Thh:nn:ss.zzz"); false, adding nothing, when the
  /// text is not one.
  bool addIsoDate(std::string_view iso);
  void endRow();

  /// The JSON tree of the packet.
  nlohmann::json toJson() const;
  /// Appends the JSON text of the packet ("fields" and "rows" first); throws
  /// std::invalid_argument for a text that is not UTF-8.
  void writeJson(std::string& out) const;
  /// Reads the JSON text of a packet starting at `pos` (`end` is set past it). Nothing when the
  /// text is not in the plain form this reader takes (a change log that is not empty, rows
  /// before fields, a cell that is not of its field's type, any malformed JSON): the caller
  /// reads it as a tree then, which keeps what it carries or says what is wrong. Never throws.
  static std::optional<DataPacket> readJson(std::string_view text, size_t pos, size_t& end);

  bool operator==(const DataPacket& o) const {
    return layout_->head == o.layout_->head && rows_ == o.rows_;
  }

 private:
  friend class ClientDataset;
  void put(FieldType expected, bool alsoFloat = false);
  std::shared_ptr<const Layout> layout_;
  std::vector<std::string> rows_;  // packed, as ClientDataset keeps its rows
  std::string building_;
  size_t cell_ = 0;
};

/// The field part of a packet as a service sends it: name, type, and size of text fields.
nlohmann::json packetFieldsJson(const std::vector<FieldDef>& fields);

/// The deepest nesting of arrays and objects the readers of packets and calls accept. A packet
/// needs three levels and a call a handful more; input nested deeper is refused before it is
/// parsed, since every walk over a tree (writing it out, decoding a call) recurses per level.
inline constexpr int kMaxJsonNesting = 64;

/// Where the JSON value starting at `pos` (after blanks) ends, or npos when it is malformed or
/// nested deeper than kMaxJsonNesting. Checks nesting and strings only: the value's content is
/// left to whoever parses it.
size_t jsonValueEnd(std::string_view text, size_t pos);

}  // namespace host
