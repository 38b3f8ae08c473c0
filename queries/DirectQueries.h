#pragma once
// Every direct query of the module, declared once: its name, the parameters a caller sets,
// its SQL for SQLite and for PostgreSQL, and the fields of its rows. The module's adapters
// and the service link this library; only the name and the parameter values ever travel.

#include <string>
#include <string_view>
#include <vector>

#include "host/ClientDataset.h"
#include "host/HostDatabase.h"

namespace queries {

/// The parameter every company-scoped query reads: bound by the runner to the session's
/// company, never by the caller.
inline constexpr const char* kSessionCompany = "SESSAO_CDEMPRESA";

struct DirectQuery {
  std::string name;
  /// Parameters the caller sets, as the SQL names them (":P_CDEMPRESA").
  std::vector<std::string> parameters;
  /// The SQL per database kind. A list parameter holds a list text ("0001,0002") and is
  /// bound whole; the SQL splits it.
  std::string sqlite;
  std::string postgresql;
  /// The columns of the rows, in the select list's order.
  std::vector<host::FieldDef> fields;
  /// Restricted to the session's company (bound as :SESSAO_CDEMPRESA).
  bool companyScoped = false;
};

/// Every declared query.
const std::vector<DirectQuery>& all();
/// The query declared as `name` (exact), or nullptr.
const DirectQuery* find(std::string_view name);

/// Checks `params` against the declaration: throws std::invalid_argument naming the first
/// parameter the query does not declare, or a value that is not a scalar a query can take.
void checkParams(const DirectQuery& q, const host::QueryParams& params);

/// The SQL of `sql` with each ":NAME" (outside quotes) replaced by a placeholder of its own,
/// and the names in the order they appear, so that a parameter written twice is bound twice.
struct PositionalSql {
  std::string sql;
  std::vector<std::string> names;
};
PositionalSql positional(const std::string& sql);

/// Codes of a list text: separated by commas, blanks trimmed, empty items dropped.
std::vector<std::string> splitList(std::string_view text);

}  // namespace queries
