#include "service/DirectQueryRunner.h"

#include <fmt/format.h>

#include <deque>
#include <stdexcept>

#include "host/Errors.h"
#include "service/Packets.h"

namespace service {

namespace {

template <class Read>
auto runWith(soci::session& sql, const std::string& text, const std::vector<host::Value>& values,
             Read read) {
  // soci binds by reference: the values live here until the rows are read.
  std::deque<std::string> texts;
  std::deque<long long> integers;
  std::deque<double> doubles;
  std::deque<soci::indicator> indicators;
  soci::details::prepare_temp_type prep = (sql.prepare << text);
  for (const auto& v : values) {
    switch (v.kind()) {
      case host::Value::Kind::Integer:
        integers.push_back(v.asInteger());
        prep, soci::use(integers.back());
        break;
      case host::Value::Kind::Float:
        doubles.push_back(v.asDouble());
        prep, soci::use(doubles.back());
        break;
      case host::Value::Kind::Date:
        texts.push_back(v.asDate().iso());
        prep, soci::use(texts.back());
        break;
      case host::Value::Kind::Boolean:
        texts.push_back(v.asBoolean() ? "S" : "N");
        prep, soci::use(texts.back());
        break;
      case host::Value::Kind::Null:
        texts.emplace_back();
        indicators.push_back(soci::i_null);
        prep, soci::use(texts.back(), indicators.back());
        break;
      default:
        texts.push_back(v.asString());
        prep, soci::use(texts.back());
        break;
    }
  }
  soci::rowset<soci::row> rows(prep);
  return read(rows);
}

}  // namespace

nlohmann::json runBound(soci::session& sql, const std::string& text,
                        const std::vector<host::Value>& values,
                        const std::vector<host::FieldDef>& fields) {
  return runWith(sql, text, values, [&](auto& rows) { return packetFromRows(rows, fields); });
}

host::DataPacket runBoundPacked(soci::session& sql, const std::string& text,
                                const std::vector<host::Value>& values,
                                const std::vector<host::FieldDef>& fields) {
  if (sql.get_backend_name() == "sqlite3") return packedFromSqlite(sql, text, values, fields);
  return runWith(sql, text, values, [&](auto& rows) { return packedFromRows(rows, fields); });
}

nlohmann::json runDirectQuery(soci::session& sql, Dialect dialect, const queries::DirectQuery& q,
                              const host::QueryParams& params, const std::string& company) {
  queries::checkParams(q, params);
  auto pos = queries::positional(dialect == Dialect::PostgreSQL ? q.postgresql : q.sqlite);
  std::vector<host::Value> values;
  for (const auto& name : pos.names) {
    host::Value v;
    if (name == queries::kSessionCompany) {
      v = host::Value(company);
    } else {
      for (const auto& [n, value] : params)
        if (n == name) v = value;
    }
    values.push_back(std::move(v));
  }
  return runBound(sql, pos.sql, values, q.fields);
}

EmbeddedHostDatabase::EmbeddedHostDatabase(std::shared_ptr<Database> db,
                                           std::function<std::string()> company)
    : db_(std::move(db)), company_(std::move(company)) {}

namespace {
const queries::DirectQuery& declared(const std::string& name) {
  const auto* q = queries::find(name);
  if (!q) throw host::OperationError(fmt::format("There is no direct query named {}.", name));
  return *q;
}
}  // namespace

std::unique_ptr<host::ClientDataset> EmbeddedHostDatabase::run(const std::string& name,
                                                               const host::QueryParams& params) {
  const auto& q = declared(name);
  std::string company = q.companyScoped ? company_() : std::string();
  nlohmann::json packet;
  try {
    std::lock_guard lock(db_->mutex());
    packet = runDirectQuery(db_->session(), db_->dialect(), q, params, company);
  } catch (const std::invalid_argument& e) {
    throw host::OperationError(fmt::format("Direct query {}: {}.", name, e.what()));
  } catch (const soci::soci_error& e) {
    throw host::OperationError(fmt::format("Direct query {} failed: {}", name, e.what()));
  }
  auto ds = std::make_unique<host::ClientDataset>(name);
  ds->loadPacket(packet);
  ds->first();
  return ds;
}

std::vector<std::string> EmbeddedHostDatabase::parameterNames(const std::string& name) const {
  return declared(name).parameters;
}

}  // namespace service
