#pragma once
// What the methods' answers are made of: the field declarations of a packet, and a query's
// rows as a packet typed by them.

#include <string>
#include <vector>

#include "host/ClientDataset.h"
#include "remote/Variant.h"
#include "service/DirectQueryRunner.h"
#include "service/Dispatcher.h"

namespace service {

/// A text field of `size` characters.
inline host::FieldDef S(const char* name, int size) {
  host::FieldDef f;
  f.name = name;
  f.size = size;
  return f;
}

inline host::FieldDef F(const char* name) {
  host::FieldDef f;
  f.name = name;
  f.type = host::FieldType::Float;
  return f;
}

inline host::FieldDef D(const char* name) {
  host::FieldDef f;
  f.name = name;
  f.type = host::FieldType::Date;
  return f;
}

/// Runs `sql` with `values` bound in order and answers its rows as a packet typed by
/// `fields` (the select list's order).
inline remote::Variant packetOf(CallContext& ctx, const std::string& sql,
                                const std::vector<host::Value>& values,
                                const std::vector<host::FieldDef>& fields) {
  return remote::Variant::packet(runBoundPacked(ctx.sql(), sql, values, fields));
}

}  // namespace service
