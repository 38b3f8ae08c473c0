#include "service/Migrations.h"

#include <fmt/format.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "host/DateTime.h"
#include "service/Database.h"

namespace service {

std::vector<std::string> splitStatements(const std::string& sql) {
  std::vector<std::string> out;
  std::istringstream in(sql);
  std::string line, current;
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line.compare(start, 2, "--") == 0) continue;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    current += line;
    current += '\n';
    if (!line.empty() && line.back() == ';') {
      current.erase(current.size() - 2);  // the ";\n"
      out.push_back(current);
      current.clear();
    }
  }
  if (current.find_first_not_of(" \t\r\n") != std::string::npos) out.push_back(current);
  return out;
}

namespace {

// Migrations whose step is more than SQL: stored values rewritten by rules that live in code.
constexpr int kNossoNumeroCanonico = 14;

void ensureVersionTable(soci::session& sql) {
  sql << "CREATE TABLE IF NOT EXISTS SCHEMAVERSAO (NRVERSAO INTEGER PRIMARY KEY, "
         "NMARQUIVO TEXT NOT NULL, DTAPLICACAO TEXT NOT NULL)";
}
}  // namespace

int schemaVersion(Database& db) {
  auto& sql = db.session();
  ensureVersionTable(sql);
  int version = 0;
  soci::indicator ind = soci::i_null;
  sql << "SELECT MAX(NRVERSAO) FROM SCHEMAVERSAO", soci::into(version, ind);
  return ind == soci::i_ok ? version : 0;
}

int migrate(Database& db, const host::Clock& clock) {
  std::lock_guard lock(db.mutex());
  auto& sql = db.session();
  ensureVersionTable(sql);
  // Every migration not yet recorded, not only those above the highest: migrations written
  // in parallel land out of order, and a database that took a later one must still get the
  // earlier one when it arrives.
  std::set<int> applied;
  {
    soci::rowset<int> rs = (sql.prepare << "SELECT NRVERSAO FROM SCHEMAVERSAO");
    for (int v : rs) applied.insert(v);
  }
  int current = applied.empty() ? 0 : *applied.rbegin();
  // A newer program changed this database in ways this one does not know: working on it
  // could write rows that break the newer program's rules.
  const int known = migrations().empty() ? 0 : migrations().back().version;
  if (current > known)
    throw std::runtime_error(fmt::format(
        "the database {} has schema version {}, newer than this program's {}: use a program as "
        "new as the database",
        db.shown(), current, known));
  for (const auto& m : migrations()) {
    if (applied.count(m.version) != 0) continue;
    soci::transaction tr(sql);
    try {
      for (const auto& statement : splitStatements(m.sql)) sql << statement;
      if (m.version == kNossoNumeroCanonico) canonicalizeNossoNumeros(sql);
      std::string name = m.name;
      std::string now = clock.now().iso();
      sql << "INSERT INTO SCHEMAVERSAO (NRVERSAO, NMARQUIVO, DTAPLICACAO) VALUES (:v, :n, :d)",
          soci::use(m.version), soci::use(name), soci::use(now);
    } catch (const std::exception& e) {
      throw std::runtime_error(fmt::format("migration {} failed: {}", m.name, e.what()));
    }
    tr.commit();
    current = std::max(current, m.version);
  }
  return current;
}

}  // namespace service
