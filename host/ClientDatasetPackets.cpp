// A dataset's data packets: written out (toPacket, delta), read in (loadPacket,
// appendPacketRows, and the packed forms of ClientDatasetPacket.h), and copies. The
// DataPacket class itself is in ClientDatasetPacket.cpp.

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <unordered_map>

#include "host/ClientDatasetImpl.h"
#include "host/ClientDatasetPacket.h"
#include "host/Consiste.h"

namespace host {

using nlohmann::json;
using namespace packed;
using namespace dataset;

json ClientDataset::Impl::fieldsJson() const {
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

// Packet of the given slots (live ones become rows) and of the change log entries of
// `changed`; positions of logged deletions are taken from the order of `ordered`.
json ClientDataset::Impl::packet(const std::vector<uint32_t>& ordered,
                                 const std::vector<uint32_t>& changed, bool onlyChanged) const {
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

// For each field of this dataset, the field of a packet with fields `defsIn` that fills
// it (-1: none, the value stays null).
std::vector<int> ClientDataset::Impl::sourcesOf(const std::vector<FieldDef>& defsIn) const {
  std::vector<int> out(defs.size(), -1);
  for (size_t i = 0; i < defsIn.size(); ++i) {
    const int f = find(defsIn[i].name);
    if (f >= 0) out[static_cast<size_t>(f)] = static_cast<int>(i);
  }
  return out;
}

// Encodes one JSON row of a packet whose fields are `defsIn`. Throws invalid_argument.
std::string ClientDataset::Impl::encodeJsonRow(const json& row, const std::vector<FieldDef>& defsIn,
                                               const std::vector<int>& sources,
                                               const Where& where) const {
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

// Checks the texts of a packed row for fields `defs` as encodeJsonRow checks a JSON one.
void ClientDataset::Impl::checkTexts(const std::string& row, const Where& where) const {
  CellCursor cells(row);
  for (const auto& def : defs) {
    if (cells.tag() != kText) {
      cells.skip();
      continue;
    }
    const auto chars = utf8Chars(cells.next().text);
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

// Whether rows packed for fields `in` are rows of this dataset as they are.
bool ClientDataset::Impl::sameLayout(const std::vector<FieldDef>& in) const {
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

// Replaces the content of the dataset (structure and rows) and reopens it, firing the events
// of a close and an open. `fill` puts the rows in; nothing changes when it throws.
template <typename Fill>
void ClientDataset::Impl::reload(std::vector<FieldDef> newDefs, Fill fill) {
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
    fresh.filterAst = parseFilter(d.filterText);
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

nlohmann::json ClientDataset::delta() const {
  return d_->packet(d_->natural, d_->changeOrder, true);
}

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
