#pragma once
// Data packets built from query rows, typed by a record's field table.

#include <soci/soci.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "host/ClientDatasetPacket.h"

namespace service {

/// The field part of a packet: [{"name","type","size"}...].
nlohmann::json packetFields(const std::vector<host::FieldDef>& fields);

/// The layout of packed packets with these fields (kept, as the field part is).
std::shared_ptr<const host::DataPacket::Layout> packetLayout(
    const std::vector<host::FieldDef>& fields);

/// Runs `query` (its columns in the order of `fields`, parameters already bound) and returns
/// the packet: values converted to each field's type, dates as "yyyy-mm-dd".
nlohmann::json packetFromRows(soci::rowset<soci::row>& rows,
                              const std::vector<host::FieldDef>& fields);

/// The same packet in packed form, for answers large enough that a JSON tree per row counts.
host::DataPacket packedFromRows(soci::rowset<soci::row>& rows,
                                const std::vector<host::FieldDef>& fields);

/// The rows of `text` on an SQLite session, its parameters (":p1"...) bound to `values` in
/// order, read straight off SQLite: what packedFromRows gives for the same query without
/// SOCI's per-value conversions, which cost as much as the query itself on a long list.
host::DataPacket packedFromSqlite(soci::session& sql, const std::string& text,
                                  const std::vector<host::Value>& values,
                                  const std::vector<host::FieldDef>& fields);

/// One fetched row appended to a packed packet, typed by `fields` (its columns in their order).
void packedRow(const soci::row& row, const std::vector<host::FieldDef>& fields,
               host::DataPacket& packet);

/// One fetched row as a packet row, typed by `fields` (its columns in their order).
nlohmann::json packetRow(const soci::row& row, const std::vector<host::FieldDef>& fields);

/// A select list: for each field the expression `exprOf(name)` gives, "AS" the name.
std::string selectList(const std::vector<host::FieldDef>& fields,
                       const std::function<std::string(const std::string&)>& exprOf);

}  // namespace service
