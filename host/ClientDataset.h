#pragma once
// The module's working memory: an in-memory table with a cursor, editing states, a change
// log, indexes, locate, a filter, detachable events and a JSON data packet form.
//
// A dataset is used from one thread at a time: nothing in it is locked, and even its const
// members update caches (the last field found, the sorted keys of locate). Two threads may
// work on two datasets at once.

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/Value.h"

namespace host {

/// Field types: S n (text of at most n characters), F (double), D (date and time), integer,
/// boolean, memo (text without a size limit).
enum class FieldType { String, Float, Date, Integer, Boolean, Memo };

const char* fieldTypeCode(FieldType t);  // "S", "F", "D", "I", "B", "M"
FieldType fieldTypeFromCode(std::string_view code);

/// The declaration of one field.
struct FieldDef {
  std::string name;
  FieldType type = FieldType::String;
  int size = 20;              ///< characters, for String; ignored otherwise
  std::string displayLabel;   ///< grid title; the name when empty
  std::string displayFormat;  ///< "#,##0.00", "#,##0.000", "dd/mm/yyyy"
  std::string editMask;       ///< ">aaa;0; ", "9999999999;0; "
  bool fixedWidth = false;    ///< a fixed-width text (padded by the sender)
  bool visible = true;
  int displayWidth = 0;  ///< characters shown in a grid; 0 = from the size
};

enum class DatasetState { Inactive, Browse, Edit, Insert };

class ClientDataset;
class DataPacket;

/// The current row's value of one field, as the host's TField gives it.
class Field {
 public:
  const FieldDef& def() const;
  const std::string& name() const { return def().name; }
  FieldType type() const { return def().type; }
  /// The grid title: the display label, or the name when there is none.
  const std::string& displayLabel() const {
    return def().displayLabel.empty() ? def().name : def().displayLabel;
  }

  /// The value by copy: rows are stored packed, so there is no Value object to refer to.
  Value value() const;
  bool isNull() const { return value().isNull(); }
  std::string asString() const { return value().asString(); }
  double asFloat() const { return value().asDouble(); }
  int64_t asInteger() const { return value().asInteger(); }
  bool asBoolean() const { return value().asBoolean(); }
  DateTime asDate() const { return value().asDate(); }
  /// The display text: display format applied (Brazilian separators, "dd/mm/yyyy").
  std::string displayText() const;

  /// Assigns in edit or insert state (throws otherwise). Text is converted to the field's
  /// type; a text longer than a String field's size, or not UTF-8, a value not of the type
  /// (or not finite) is refused with an OperationError naming the dataset and the field.
  void setValue(Value v);
  void setString(std::string_view s) { setValue(Value(s)); }
  void setFloat(double d) { setValue(Value(d)); }
  void setDate(DateTime d) { setValue(Value(d)); }
  void clear() { setValue(Value()); }

 private:
  friend class ClientDataset;
  Field(ClientDataset* ds, size_t index) : ds_(ds), index_(index) {}
  ClientDataset* ds_;
  size_t index_;
};

/// The display text of a value of field `def`, as `Field::displayText` gives it for the
/// current row: a view formats the rows it draws with it, without moving the cursor.
std::string displayTextOf(const FieldDef& def, const Value& value);

/// Options of `locate`.
struct LocateOptions {
  bool caseInsensitive = false;
  bool partialKey = false;  ///< a text key matches the start of the field
};

/// Events of a dataset. Every member may be empty. They are not fired while the dataset is
/// frozen, nor while detached (see `detachEvents`).
struct DatasetEvents {
  using Handler = std::function<void(ClientDataset&)>;
  Handler afterOpen, beforeClose, afterClose;
  Handler beforeScroll, afterScroll;
  Handler beforeInsert, afterInsert, onNewRecord;
  Handler beforeEdit, afterEdit;
  Handler beforePost, afterPost;
  Handler beforeCancel, afterCancel;
  Handler beforeDelete, afterDelete;
  Handler onStateChange;
};

/// A named index over one or more fields, ascending ("A;B").
struct IndexDef {
  std::string name;
  std::string fields;
  bool caseInsensitive = false;
};

class ClientDataset {
 public:
  explicit ClientDataset(std::string name = {});
  ~ClientDataset();
  ClientDataset(const ClientDataset&) = delete;
  ClientDataset& operator=(const ClientDataset&) = delete;

  const std::string& name() const { return name_; }

  // --- structure
  /// Declares the fields (dataset must be inactive).
  void setFieldDefs(std::vector<FieldDef> defs);
  void addFieldDef(FieldDef def);
  const std::vector<FieldDef>& fieldDefs() const;
  FieldDef& fieldDef(std::string_view name);  ///< labels, formats and visibility may change
  size_t fieldCount() const;
  /// Position of a field, or -1.
  int fieldIndex(std::string_view name) const;
  /// Throws OperationError naming the dataset when the field does not exist.
  Field fieldByName(std::string_view name);
  /// Field by position (0-based), for loops over every field.
  Field field(size_t index);
  Value valueOf(std::string_view name) const;  ///< current row, read-only

  // --- open and close
  /// Opens with no rows (the host's CreateDataSet).
  void createDataset();
  /// Opens with the rows held (none after a close): afterOpen, then afterScroll.
  void open();
  /// Lets go of the rows, the pending edit and the change log, as the host does; the fields
  /// stay.
  void close();
  bool active() const;
  DatasetState state() const;
  /// Drops every row and the change log, keeps the fields, stays open.
  void emptyDataset();

  // --- cursor (over the rows visible through the index and the filter)
  size_t recordCount() const;
  bool isEmpty() const { return recordCount() == 0; }
  /// 1-based position of the cursor, 0 when empty.
  size_t recNo() const;
  void setRecNo(size_t recNo);
  void first();
  void last();
  void next();
  void prior();
  bool bof() const;
  bool eof() const;
  /// An opaque mark of the current row that survives sorting, filtering and other edits.
  using Bookmark = int64_t;
  Bookmark bookmark() const;
  /// False (cursor kept) when the row is gone, hidden, or the rows were replaced since.
  bool gotoBookmark(Bookmark b);

  // --- editing
  void append();
  void insert();
  /// Edits the current row; on an empty dataset, starts an insert (as the host does).
  void edit();
  void post();
  void cancel();
  /// Deletes the current row (cancels an insert). The cursor goes to the next row, or to the
  /// new last row with eof() true, so that "delete or next until eof" loops end.
  void deleteRecord();
  /// Row value read without moving the cursor: row is 1-based like recNo (posted values).
  Value valueAt(size_t recNo, std::string_view field) const;

  // --- change log
  int changeCount() const;
  /// The changes since the last merge, in order, as a data packet holding only the changed
  /// rows, each with its original values (see README).
  nlohmann::json delta() const;
  /// Accepts the changes: the current rows become the originals.
  void mergeChangeLog();
  /// Drops the changes: the rows come back as they were at the last merge.
  void cancelUpdates();
  /// Whether the change log is kept (true by default).
  void setLogChanges(bool on);
  bool logChanges() const;

  // --- order and search
  void addIndex(IndexDef index);
  /// Orders by a named index; "" returns to the order of arrival.
  void setIndexName(std::string_view name);
  const std::string& indexName() const;
  /// Orders by a field list "A;B" (ascending); "" returns to the order of arrival.
  void setIndexFieldNames(std::string_view fields);
  const std::string& indexFieldNames() const;
  /// Moves to the first row whose fields `keys` ("A;B") equal `values`; false (cursor kept)
  /// when there is none.
  bool locate(std::string_view keys, const std::vector<Value>& values, LocateOptions options = {});
  /// Value of `resultField` in the first row matching, without moving; null when none.
  Value lookup(std::string_view keys, const std::vector<Value>& values,
               std::string_view resultField) const;

  // --- filter: "(A = 'x')", "A = 'x' and B <> 'y'", "A is null" ... (see README)
  void setFilter(std::string_view expression);
  const std::string& filter() const;
  void setFiltered(bool on);
  bool filtered() const;

  // --- events
  DatasetEvents& events();
  /// Takes the events away and returns them; nothing fires until `attachEvents`.
  DatasetEvents detachEvents();
  void attachEvents(DatasetEvents events);
  /// Nested: events and scrolling notifications stop until the matching `unfreeze`.
  void freeze();
  void unfreeze();
  bool frozen() const;

  // --- copies and packets
  /// Replaces structure and rows with those of `other` (no change log); cursor on first row.
  void copyDataFrom(const ClientDataset& other);
  /// The data packet: field definitions, rows, and the change log with original values.
  nlohmann::json toPacket() const;
  /// Replaces structure, rows and change log with those of a packet; opens the dataset.
  /// A malformed packet is refused with std::invalid_argument naming what is wrong.
  void loadPacket(const nlohmann::json& packet);
  /// Appends the rows of a packet whose fields are matched by name (the host's "data packet
  /// goes into a client dataset by field name"): fields the dataset lacks are ignored.
  void appendPacketRows(const nlohmann::json& packet);
  /// The same from a packet in packed form: its rows are taken as they are (texts checked
  /// against the fields as above), with no JSON in between.
  void loadPacked(const DataPacket& packet);
  void appendPackedRows(const DataPacket& packet);

 private:
  friend class Field;
  void applyOrder(std::string name, std::string fields);
  struct Impl;
  std::string name_;
  std::unique_ptr<Impl> d_;
};

// --- scoped guards: what a scope changes on a dataset comes back however the scope ends, an
// exception included. They end in the reverse order of their making, as scopes do.

/// Freezes a dataset for a scope (freezes nest).
class FrozenDataset {
 public:
  explicit FrozenDataset(ClientDataset& ds) : ds_(ds) { ds_.freeze(); }
  ~FrozenDataset() { ds_.unfreeze(); }
  FrozenDataset(const FrozenDataset&) = delete;
  FrozenDataset& operator=(const FrozenDataset&) = delete;

 private:
  ClientDataset& ds_;
};

/// Takes a dataset's events away for a scope, all of them or only `one`
/// (`&DatasetEvents::afterScroll`), and gives them back when it ends, replacing whatever was
/// set on those events meanwhile.
class DetachedEvents {
 public:
  explicit DetachedEvents(ClientDataset& ds) : ds_(ds), saved_(ds.detachEvents()) {}
  DetachedEvents(ClientDataset& ds, DatasetEvents::Handler DatasetEvents::*one)
      : ds_(ds), one_(one) {
    saved_.*one_ = std::exchange(ds_.events().*one_, nullptr);
  }
  ~DetachedEvents() {
    if (one_ != nullptr) {
      ds_.events().*one_ = std::move(saved_.*one_);
    } else {
      ds_.attachEvents(std::move(saved_));
    }
  }
  DetachedEvents(const DetachedEvents&) = delete;
  DetachedEvents& operator=(const DetachedEvents&) = delete;

 private:
  ClientDataset& ds_;
  DatasetEvents::Handler DatasetEvents::*one_ = nullptr;
  DatasetEvents saved_;
};

/// Keeps a dataset's order (its index name or its field list) for a scope and puts it back
/// when the scope ends. Given `fields`, the dataset is ordered by them meanwhile ("": the
/// order of arrival). Putting the order back posts a pending edit, as any change of order
/// does; when that throws while another exception is on its way out, the first one is the
/// one that tells what went wrong.
class SavedOrder {
 public:
  explicit SavedOrder(ClientDataset& ds);
  SavedOrder(ClientDataset& ds, std::string_view fields);
  ~SavedOrder() noexcept(false);
  SavedOrder(const SavedOrder&) = delete;
  SavedOrder& operator=(const SavedOrder&) = delete;

 private:
  ClientDataset& ds_;
  std::string name_;
  std::string fields_;
  int uncaught_;
};

}  // namespace host
