#pragma once
// The service's database: one SOCI session on an SQLite file (WAL) or a PostgreSQL server.

#include <functional>
#include <map>
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

  /// A statement prepared once and reused by every call (parsing the SQL of a small read
  /// costs more than running it). `Query` owns the statement and the variables it binds;
  /// `make` builds it on first use. Use it under `mutex()`, and fetch it to its end, so the
  /// statement holds no read snapshot between calls.
  template <class Query>
  Query& prepared(const std::string& key, const std::function<std::unique_ptr<Query>(soci::session&)>& make) {
    auto it = prepared_.find(key);
    if (it == prepared_.end()) {
      std::shared_ptr<Query> q = make(sql_);
      it = prepared_.emplace(key, std::static_pointer_cast<void>(q)).first;
    }
    return *static_cast<Query*>(it->second.get());
  }

 private:
  Database() = default;
  soci::session sql_;
  Dialect dialect_ = Dialect::SQLite;
  std::string where_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<void>> prepared_;
};

}  // namespace service
