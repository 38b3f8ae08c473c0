#pragma once
// Runs a declared direct query on the service's database: the parameters bound by position,
// never written into the SQL. Used by the "Host.rdmQuery" server object and by the embedded
// adapter of the host's direct-query port.

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "host/ClientDatasetPacket.h"
#include "host/HostDatabase.h"
#include "queries/DirectQueries.h"
#include "service/Database.h"

namespace service {

/// Runs `sql`, whose placeholders (":name", each written once) take `values` in the order
/// they appear, and returns the rows as a packet typed by `fields` (the select list's order).
/// Null values bind as SQL null; dates as ISO text; booleans as "S"/"N".
nlohmann::json runBound(soci::session& sql, const std::string& text,
                        const std::vector<host::Value>& values,
                        const std::vector<host::FieldDef>& fields);
/// The same rows as a packed packet (see host::DataPacket).
host::DataPacket runBoundPacked(soci::session& sql, const std::string& text,
                                const std::vector<host::Value>& values,
                                const std::vector<host::FieldDef>& fields);

/// The rows of `q` run with `params` on `sql` as a data packet typed by the declaration.
/// `company` binds the session company of a company-scoped query. Throws
/// std::invalid_argument for a parameter the query does not declare.
nlohmann::json runDirectQuery(soci::session& sql, Dialect dialect, const queries::DirectQuery& q,
                              const host::QueryParams& params, const std::string& company);

/// The direct-query port answered from a database in this process (the embedded default):
/// each run takes the database's lock, as a service call does.
class EmbeddedHostDatabase final : public host::HostDatabase {
 public:
  /// `company` gives the session company of company-scoped queries (the host's EmprProc).
  EmbeddedHostDatabase(std::shared_ptr<Database> db, std::function<std::string()> company);

  std::unique_ptr<host::ClientDataset> run(const std::string& name,
                                           const host::QueryParams& params) override;
  std::vector<std::string> parameterNames(const std::string& name) const override;

 private:
  std::shared_ptr<Database> db_;
  std::function<std::string()> company_;
};

}  // namespace service
