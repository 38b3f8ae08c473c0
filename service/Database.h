#pragma once
// The service's database: one SOCI session on an SQLite file (WAL) or a PostgreSQL server.

#include <memory>
#include <mutex>
#include <string>

#include <soci/soci.h>

namespace service {

enum class Dialect { SQLite, PostgreSQL };

class Database {
 public:
  /// Opens "postgresql://..." on PostgreSQL, anything else as an SQLite file (created when
  /// missing). Throws std::runtime_error naming the database when it cannot be opened.
  static std::unique_ptr<Database> open(const std::string& where);

  soci::session& session() { return sql_; }
  Dialect dialect() const { return dialect_; }
  const std::string& where() const { return where_; }
  /// Held for the whole of a call: calls on one session run one after another.
  std::mutex& mutex() { return mutex_; }

 private:
  Database() = default;
  soci::session sql_;
  Dialect dialect_ = Dialect::SQLite;
  std::string where_;
  std::mutex mutex_;
};

}  // namespace service
