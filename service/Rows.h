#pragma once
// A query's rows as a packet typed by a field table (records/Tables.h).

#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "remote/Variant.h"
#include "service/DirectQueryRunner.h"
#include "service/Dispatcher.h"

namespace service {

/// Runs `sql` with `values` bound in order and answers its rows as a packet typed by
/// `fields` (the select list's order).
inline remote::Variant packetOf(CallContext& ctx, const std::string& sql,
                                const std::vector<host::Value>& values,
                                const std::vector<host::FieldDef>& fields) {
  return remote::Variant::packet(runBoundPacked(ctx.sql(), sql, values, fields));
}

}  // namespace service
