#pragma once
// Versioned schema migrations (data/migrations/NNNN_name.sql), applied at start.

#include <soci/soci.h>

#include <string>
#include <vector>

#include "host/DateTime.h"

namespace service {

class Database;

struct Migration {
  int version;
  const char* name;
  const char* sql;
};

/// Every migration, in version order (compiled in from data/migrations).
const std::vector<Migration>& migrations();

/// Applies the migrations the database has not seen, each in one transaction, and returns
/// the schema version, stamping each with the clock's now. Running it again changes nothing.
int migrate(Database& db, const host::Clock& clock);
/// The highest migration applied; 0 for an empty database.
int schemaVersion(Database& db);

/// Rewrites the nosso números stored as their barcode carries them (digits, no check
/// characters) into the form their bank prints, check characters included; rows it cannot
/// prove to be of that older form stay as they are. Run by the migration that introduced the
/// one form.
void canonicalizeNossoNumeros(soci::session& sql);

/// Splits a migration into statements: each ends with ';' at the end of a line; lines
/// starting with "--" are comments.
std::vector<std::string> splitStatements(const std::string& sql);

}  // namespace service
