#include "service/Database.h"

#include <fmt/format.h>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

namespace service {

std::unique_ptr<Database> Database::open(const std::string& where) {
  std::unique_ptr<Database> db(new Database);
  db->where_ = where;
  try {
    if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0) {
      db->dialect_ = Dialect::PostgreSQL;
      db->sql_.open(soci::postgresql, where);
    } else {
      if (where.find('"') != std::string::npos)
        throw std::runtime_error("a database path may not contain a double quote");
      db->dialect_ = Dialect::SQLite;
      db->sql_.open(soci::sqlite3, fmt::format("db=\"{}\" timeout=30", where));
      // WAL lets readers work while a call writes; NORMAL sync is safe with WAL.
      std::string mode;
      db->sql_ << "PRAGMA journal_mode=WAL", soci::into(mode);
      db->sql_ << "PRAGMA synchronous=NORMAL";
      db->sql_ << "PRAGMA foreign_keys=ON";
    }
  } catch (const std::exception& e) {
    throw std::runtime_error(fmt::format("cannot open the database {}: {}", where, e.what()));
  }
  return db;
}

}  // namespace service
