#pragma once
// Where a test keeps its data: a fresh SQLite file in the test's folder, or, when the
// environment says BOLETO_TEST_STORAGE=postgresql, a fresh database on the PostgreSQL server
// that the PG* variables name (scripts/test.sh starts a throw-away cluster), dropped when the
// test ends. ctest registers each test of the service, register, numbering and emission
// suites once per storage.

#include <soci/postgresql/soci-postgresql.h>
#include <soci/soci.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace service::testing {

class TestStorage {
 public:
  /// A new, empty database; `file` names the SQLite file in `dir`.
  explicit TestStorage(const std::filesystem::path& dir, const std::string& file = "boleto.db") {
    if (!usingPostgresql()) {
      where_ = (dir / file).string();
      return;
    }
    std::random_device rd;
    name_ = "boleto_t" + std::to_string(rd()) + std::to_string(rd());
    soci::session admin(soci::postgresql, maintenance());
    admin << "CREATE DATABASE " + name_;
    where_ = "postgresql:///" + name_;
  }
  ~TestStorage() {
    if (name_.empty()) return;
    try {
      soci::session admin(soci::postgresql, maintenance());
      admin << "DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)";
    } catch (const std::exception&) {
      // the cluster is thrown away after the run anyway
    }
  }
  TestStorage(const TestStorage&) = delete;
  TestStorage& operator=(const TestStorage&) = delete;

  /// What openService takes: the SQLite path or the postgresql:// URL.
  const std::string& where() const { return where_; }
  bool postgresql() const { return !name_.empty(); }

  static bool usingPostgresql() {
    const char* storage = std::getenv("BOLETO_TEST_STORAGE");
    return storage && std::string(storage) == "postgresql";
  }

 private:
  // The database the PG* variables name, from which test databases are made and dropped.
  static std::string maintenance() {
    if (!std::getenv("PGHOST") && !std::getenv("PGPORT"))
      throw std::runtime_error(
          "BOLETO_TEST_STORAGE=postgresql but no PostgreSQL server is named by PGHOST/PGPORT: "
          "run the tests through scripts/test.sh, or inside pg_virtualenv");
    const char* db = std::getenv("PGDATABASE");
    return std::string("dbname=") + (db && *db ? db : "postgres");
  }

  std::string where_;
  std::string name_;
};

}  // namespace service::testing
