#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "service/Access.h"
#include "service/Database.h"
#include "service/DirectQueryRunner.h"
#include "service/Migrations.h"
#include "service/Packets.h"
#include "service/Sequences.h"
#include "service/tests/ServiceFixture.h"

using service::testing::fixedClock;
using service::testing::freshDir;
using service::testing::TestStorage;

TEST(ServiceClock, WhatTheServiceStampsComesFromItsClock) {
  auto dir = freshDir();
  auto clock = fixedClock();
  auto svc = service::openService((dir / "c.db").string(), clock);
  std::string applied;
  svc->db->session() << "SELECT MIN(DTAPLICACAO) FROM SCHEMAVERSAO", soci::into(applied);
  EXPECT_EQ(applied, "2026-03-02T10:00:00.000");
  service::SeedOptions o;
  o.password = "x";
  o.today = clock->today();
  service::seed(*svc->db, o);
  clock->set(host::DateTime::fromYmdHms(2026, 3, 3, 0, 0, 5));
  nlohmann::json packet{{"fields", {{{"name", "CDLISTA"}, {"type", "S"}, {"size", 50}}}},
                        {"rows", {{"00010000000001"}}}};
  remote::Request r{"Rec12000.rdmHabContRec",
                    "CriaLista",
                    "04",
                    {remote::Variant::packet(packet), remote::Variant("0001")},
                    {}};
  ASSERT_TRUE(svc->dispatcher->handle("demo", r).ok());
  std::string created;
  svc->db->session() << "SELECT DTCRIACAO FROM LISTA", soci::into(created);
  EXPECT_EQ(created, "2026-03-03T00:00:05.000");
  std::filesystem::remove_all(dir);
}

TEST(Migrations, ApplyingTwiceIsHarmless) {
  auto dir = freshDir();
  TestStorage storage(dir, "m.db");
  const auto& path = storage.where();
  int version = 0;
  {
    auto svc = service::openService(path, fixedClock());
    version = service::schemaVersion(*svc->db);
    EXPECT_EQ(version, service::migrations().back().version);
    svc->db->session() << "INSERT INTO VIATURA (CDVIATURA) VALUES ('0001')";
  }
  auto again = service::openService(path, fixedClock());
  EXPECT_EQ(service::migrate(*again->db, *again->clock), version);
  int rows = 0, applied = 0;
  again->db->session() << "SELECT COUNT(*) FROM VIATURA", soci::into(rows);
  again->db->session() << "SELECT COUNT(*) FROM SCHEMAVERSAO", soci::into(applied);
  EXPECT_EQ(rows, 1) << "data survives a second start";
  EXPECT_EQ(applied, static_cast<int>(service::migrations().size()));
  if (!storage.postgresql()) {
    std::string mode;
    again->db->session() << "PRAGMA journal_mode", soci::into(mode);
    EXPECT_EQ(mode, "wal");
  }
  again.reset();
  std::filesystem::remove_all(dir);
}

TEST(Migrations, ADatabaseOfANewerProgramIsRefusedNamingBothVersions) {
  auto dir = freshDir();
  TestStorage storage(dir, "n.db");
  const int known = service::migrations().back().version;
  {
    auto svc = service::openService(storage.where(), fixedClock());
    svc->db->session() << "INSERT INTO SCHEMAVERSAO (NRVERSAO, NMARQUIVO, DTAPLICACAO) VALUES "
                          "(" +
                              std::to_string(known + 7) + ", 'futura.sql', '2030-01-01')";
  }
  try {
    service::openService(storage.where(), fixedClock());
    FAIL() << "a database of a newer program was used";
  } catch (const std::runtime_error& e) {
    const std::string text = e.what();
    EXPECT_NE(text.find(std::to_string(known + 7)), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(known)), std::string::npos) << text;
  }
  std::filesystem::remove_all(dir);
}

TEST(Migrations, AMigrationThatArrivedAfterALaterOneIsStillApplied) {
  auto dir = freshDir();
  TestStorage storage(dir, "m.db");
  const auto& path = storage.where();
  {
    auto svc = service::openService(path, fixedClock());
    // As if this database had been migrated before the filter options' migration existed.
    svc->db->session() << "DROP TABLE OPCAOFILTRO";
    svc->db->session() << "DELETE FROM SCHEMAVERSAO WHERE NRVERSAO = 8";
  }
  auto again = service::openService(path, fixedClock());
  int table = -1, recorded = 0;
  again->db->session() << "SELECT COUNT(*) FROM OPCAOFILTRO", soci::into(table);
  again->db->session() << "SELECT COUNT(*) FROM SCHEMAVERSAO WHERE NRVERSAO = 8",
      soci::into(recorded);
  EXPECT_EQ(table, 0) << "the table is there again, empty";
  EXPECT_EQ(recorded, 1);
  EXPECT_EQ(service::schemaVersion(*again->db), service::migrations().back().version);
  again.reset();
  std::filesystem::remove_all(dir);
}

TEST(Migrations, StatementsSplitAtLineEndSemicolons) {
  auto parts = service::splitStatements(
      "-- a comment; with a semicolon\nCREATE TABLE A (X TEXT);\n\nINSERT INTO A VALUES ('a;b');\n"
      "CREATE INDEX I ON A (X);");
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[1], "INSERT INTO A VALUES ('a;b')");
  EXPECT_EQ(parts[2], "CREATE INDEX I ON A (X)");
}

TEST(Migrations, OpeningAnUnwritablePathSaysWhich) {
  try {
    service::openService("/nonexistent-dir/x/boleto.db", fixedClock());
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent-dir/x/boleto.db"), std::string::npos);
  }
}

TEST(Sequences, EachTakeGivesTheNextNumberPerCompanyAndName) {
  auto dir = freshDir();
  TestStorage storage(dir, "s.db");
  auto svc = service::openService(storage.where(), fixedClock());
  auto& sql = svc->db->session();
  EXPECT_EQ(service::nextSequence(sql, "04", "NOSSONUMERO001"), 1);
  EXPECT_EQ(service::nextSequence(sql, "04", "NOSSONUMERO001"), 2);
  EXPECT_EQ(service::nextSequence(sql, "08", "NOSSONUMERO001"), 1);
  service::setSequence(sql, "04", "NOSSONUMERO001", 1000);
  EXPECT_EQ(service::nextSequence(sql, "04", "NOSSONUMERO001"), 1001);
  EXPECT_EQ(service::currentSequence(sql, "04", "NADA"), 0);
  svc.reset();
  std::filesystem::remove_all(dir);
}

TEST(Sequences, WritersOnSeparateConnectionsNeverTakeTheSameNumber) {
  // As two server instances on one database: each writer has a connection of its own, and
  // each number is taken in a transaction of its own.
  auto dir = freshDir();
  TestStorage storage(dir, "q.db");
  service::openService(storage.where(), fixedClock()).reset();
  constexpr int kWriters = 4, kTakes = 60;
  std::vector<std::vector<int64_t>> taken(kWriters);
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      auto db = service::Database::open(storage.where(), service::Missing::Refuse);
      const bool pg = db->dialect() == service::Dialect::PostgreSQL;
      auto& sql = db->session();
      for (int i = 0; i < kTakes; ++i) {
        sql << (pg ? "BEGIN" : "BEGIN IMMEDIATE");
        taken[w].push_back(service::nextSequence(sql, "04", "NOSSONUMERO001"));
        sql << "COMMIT";
      }
    });
  }
  for (auto& t : writers) t.join();
  std::set<int64_t> all;
  for (const auto& mine : taken) all.insert(mine.begin(), mine.end());
  EXPECT_EQ(all.size(), size_t{kWriters * kTakes}) << "a number was handed out twice";
  EXPECT_EQ(*all.begin(), 1);
  EXPECT_EQ(*all.rbegin(), kWriters * kTakes);
  std::filesystem::remove_all(dir);
}

TEST(Access, PasswordsAreHashedAndSessionsNamedByToken) {
  std::string hash = service::hashPassword("correta");
  EXPECT_EQ(hash.find("correta"), std::string::npos);
  EXPECT_TRUE(service::verifyPassword(hash, "correta"));
  EXPECT_FALSE(service::verifyPassword(hash, "Correta"));

  auto dir = freshDir();
  TestStorage storage(dir, "a.db");
  auto svc = service::openService(storage.where(), fixedClock());
  svc->db->session() << "INSERT INTO EMPRESA (CDEMPRESA, NMEMPRESA) VALUES ('04', 'E')";
  service::saveOperator(svc->db->session(), "ana", "Ana", "s3nha", {"04"});
  EXPECT_FALSE(svc->auth->login("ana", "errada"));
  EXPECT_FALSE(svc->auth->login("ninguem", "s3nha"));
  auto token = svc->auth->login("ana", "s3nha");
  ASSERT_TRUE(token);
  EXPECT_EQ(svc->auth->operatorOf(*token), "ana");
  EXPECT_NE(svc->auth->login("ana", "s3nha"), token);
  EXPECT_FALSE(svc->auth->operatorOf("forjado"));
  svc.reset();
  std::filesystem::remove_all(dir);
}

TEST(Packets, ReadStraightOffSqliteTheyHoldWhatTheSociRowsGive) {
  auto dir = freshDir();
  auto svc = service::openService((dir / "p.db").string(), fixedClock());
  auto& sql = svc->db->session();
  sql << "CREATE TABLE KINDS (T TEXT, R DOUBLE PRECISION, N INTEGER)";
  // Every column read as every field kind: texts that are numbers or dates or neither, whole
  // and fractional doubles, integers, nulls, empty text.
  sql << "INSERT INTO KINDS VALUES ('0001', 1.0, 1), ('2026-02-28', 0.1, 0), "
         "('2026-02-28T13:05:09.250', -2.5, -2147483648), ('S', NULL, NULL), "
         "('', 1e300, 42), (NULL, 3, 7), ('ação', 12.5, 1), ('1.5e2', 0, 2)";
  using host::FieldType;
  std::vector<host::FieldDef> fields;
  std::string select;
  for (const char* column : {"T", "R", "N"}) {
    for (FieldType type : {FieldType::String, FieldType::Memo, FieldType::Float, FieldType::Integer,
                           FieldType::Boolean, FieldType::Date}) {
      host::FieldDef f;
      f.name = std::string(column) + host::fieldTypeCode(type);
      f.type = type;
      f.size = 30;
      fields.push_back(f);
      select += (select.empty() ? "" : ", ") + std::string(column) + " AS " + f.name;
    }
  }
  const std::string query =
      "SELECT " + select + " FROM KINDS WHERE N IS NULL OR N <> :p1 ORDER BY rowid";
  const std::vector<host::Value> values{host::Value(int64_t{7})};
  const auto viaSoci = service::runBound(sql, query, values, fields);
  const auto direct = service::runBoundPacked(sql, query, values, fields);
  ASSERT_EQ(direct.rowCount(), 7u);
  EXPECT_EQ(direct.toJson(), viaSoci);
  {
    // and the packed rows of SOCI's, as PostgreSQL gives them
    long long seven = 7;
    soci::rowset<soci::row> rows = (sql.prepare << query, soci::use(seven));
    EXPECT_EQ(service::packedFromRows(rows, fields).toJson(), viaSoci);
  }
  // SOCI reads an INTEGER column as 32 bits; straight off SQLite it keeps all 64
  sql << "INSERT INTO KINDS (N) VALUES (-9007199254740993)";
  EXPECT_EQ(service::runBoundPacked(sql, "SELECT N AS NI FROM KINDS WHERE N < -2147483648", {},
                                    {fields[15]})
                .toJson()["rows"],
            nlohmann::json::parse("[[-9007199254740993]]"));
  EXPECT_THROW(service::runBoundPacked(sql, "SELECT T FROM NOWHERE", {}, fields), soci::soci_error);
  std::filesystem::remove_all(dir);
}

TEST(ReadingSessions, CallersAreServedInTheOrderTheyCameAndQuickReadsFirst) {
  auto dir = freshDir();
  auto db = service::Database::open((dir / "r.db").string(), service::Missing::Create, 1);
  std::mutex m;
  std::vector<std::string> served;
  std::vector<std::thread> callers;
  auto waitFor = [&](size_t n) {
    while (db->waitingReaders() < n) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  };
  {
    auto held = db->reader();
    for (const char* name : {"a", "b", "c", "quick"}) {
      const bool quick = std::string(name) == "quick";
      callers.emplace_back([&, name, quick] {
        auto lease = db->reader(quick);
        int one = 0;
        db->session() << "SELECT 1", soci::into(one);
        std::lock_guard lock(m);
        served.push_back(one == 1 ? name : "?");
      });
      waitFor(callers.size());
    }
  }
  for (auto& t : callers) t.join();
  EXPECT_EQ(served, (std::vector<std::string>{"quick", "a", "b", "c"}));

  // many callers on one session: each one served, none left waiting
  std::atomic<int> reads{0};
  std::vector<std::thread> many;
  for (int i = 0; i < 16; ++i)
    many.emplace_back([&, i] {
      for (int k = 0; k < 50; ++k) {
        auto lease = db->reader(i % 4 == 0);
        int one = 0;
        db->session() << "SELECT 1", soci::into(one);
        reads += one;
      }
    });
  for (auto& t : many) t.join();
  EXPECT_EQ(reads.load(), 16 * 50);
  EXPECT_EQ(db->waitingReaders(), 0u);
  db.reset();
  std::filesystem::remove_all(dir);
}
