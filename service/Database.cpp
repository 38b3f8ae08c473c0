#include "service/Database.h"

#include <fmt/format.h>
#include <libpq-fe.h>
#include <soci/postgresql/soci-postgresql.h>
#include <soci/sqlite3/soci-sqlite3.h>

#include <filesystem>

namespace service {

namespace {
// The slot of the read lease the calling thread holds, if any.
thread_local void* tCurrentSlot = nullptr;

// Every session is used by one thread at a time (a call holds the primary session's lock or a
// read lease), so SQLite's own lock around each of its calls, one per value read, only costs
// time. Set before SQLite starts; too late, it changes nothing.
[[maybe_unused]] const int kSqliteThreading = sqlite_api::sqlite3_config(SQLITE_CONFIG_MULTITHREAD);

// SOCI hands libpq a "key=value" text and reads it itself first, which a postgresql:// URL
// does not survive: the URL is turned into that form, each value quoted, as libpq reads it.
std::string libpqParameters(const std::string& url) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
  if (!options) {
    std::string why = error ? error : "malformed";
    PQfreemem(error);
    while (!why.empty() && why.back() == '\n') why.pop_back();
    throw std::runtime_error(why);
  }
  std::string out;
  for (PQconninfoOption* o = options; o->keyword; ++o) {
    if (!o->val) continue;
    std::string value;
    for (const char* c = o->val; *c; ++c) {
      if (*c == '\'' || *c == '\\') value += '\\';
      value += *c;
    }
    out += fmt::format("{}{}='{}'", out.empty() ? "" : " ", o->keyword, value);
  }
  PQconninfoFree(options);
  return out;
}

}  // namespace

std::string Database::shown(const std::string& where) {
  // A password in a URL is never repeated in a message.
  const size_t scheme = where.find("://");
  const size_t at = where.find('@');
  if (scheme == std::string::npos || at == std::string::npos || at < scheme) return where;
  const size_t colon = where.find(':', scheme + 3);
  if (colon == std::string::npos || colon > at) return where;
  return where.substr(0, colon + 1) + "***" + where.substr(at);
}

void Database::connect(soci::session& sql, bool readOnly) const {
  if (dialect_ == Dialect::PostgreSQL) {
    sql.open(soci::postgresql, libpqParameters(where_));
    if (readOnly) sql << "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY";
    return;
  }
  sql.open(soci::sqlite3, fmt::format("db=\"{}\" timeout=30", where_));
  // WAL lets readers work while a call writes; NORMAL sync is safe with WAL.
  std::string mode;
  sql << "PRAGMA journal_mode=WAL", soci::into(mode);
  sql << "PRAGMA synchronous=NORMAL";
  sql << "PRAGMA foreign_keys=ON";
  // The default 2 MB page cache rereads a 100,000-boleto list through a system call per
  // page; mapping the file lets readers take pages straight from the OS cache.
  sql << "PRAGMA cache_size=-32768";
  sql << "PRAGMA mmap_size=268435456";
  // A method wrongly declared read-only fails on its first write instead of racing the
  // primary session's writers.
  if (readOnly) sql << "PRAGMA query_only=1";
}

std::unique_ptr<Database> Database::open(const std::string& where, Missing missing,
                                         size_t readers) {
  std::unique_ptr<Database> db(new Database);
  db->where_ = where;
  db->primary_.owner = db.get();
  db->primary_.sql = std::make_unique<soci::session>();
  try {
    if (where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0) {
      db->dialect_ = Dialect::PostgreSQL;
    } else {
      if (where.find('"') != std::string::npos)
        throw std::runtime_error("a database path may not contain a double quote");
      db->dialect_ = Dialect::SQLite;
      // A second session on an in-memory database would open another, empty database.
      const bool inMemory =
          where.empty() || where == ":memory:" || where.find("mode=memory") != std::string::npos;
      if (inMemory) readers = 0;
      std::error_code ec;
      if (!inMemory && missing == Missing::Refuse && !std::filesystem::exists(where, ec))
        throw std::runtime_error(
            ec ? ec.message()
               : fmt::format("o arquivo não existe (boleto-server seed --demo --db {} cria um "
                             "com dados de demonstração)",
                             where));
    }
    db->connect(*db->primary_.sql, false);
  } catch (const std::exception& e) {
    throw std::runtime_error(
        fmt::format("não foi possível abrir o banco de dados {}: {}", shown(where), e.what()));
  }
  db->maxReaders_ = readers;
  return db;
}

Database::~Database() = default;

Database::Slot& Database::currentSlot() {
  auto* slot = static_cast<Slot*>(tCurrentSlot);
  return slot && slot->owner == this ? *slot : primary_;
}

soci::session& Database::session() {
  return *currentSlot().sql;
}

struct Database::Waiter {
  std::condition_variable wake;
  bool served = false;
  Slot* slot = nullptr;  // nullptr when served: open a session of its own
};

bool Database::handOver(Slot* slot) {
  if (waiting_.empty()) return false;
  Waiter* next = waiting_.front();
  waiting_.pop_front();
  next->slot = slot;
  next->served = true;
  next->wake.notify_one();
  return true;
}

Database::ReadLease Database::reader(bool quick) {
  std::unique_lock lock(poolMutex_);
  // First come, first served: under load a call that waits is not passed over again and
  // again by later ones, which is what makes the slowest calls slow. Each waiter has its
  // own wake-up: waking every waiter at each release, to find the one whose turn it is,
  // costs fifty threads a wake-up per call under fifty callers.
  Slot* slot = nullptr;
  if (waiting_.empty() && !idle_.empty()) {
    slot = idle_.back();
    idle_.pop_back();
  } else if (!(waiting_.empty() && readers_.size() < maxReaders_)) {
    Waiter me;
    if (quick) {
      waiting_.push_front(&me);
    } else {
      waiting_.push_back(&me);
    }
    me.wake.wait(lock, [&] { return me.served; });
    slot = me.slot;
  }
  if (!slot) {
    auto fresh = std::make_unique<Slot>();
    fresh->owner = this;
    fresh->sql = std::make_unique<soci::session>();
    slot = fresh.get();
    readers_.push_back(std::move(fresh));
    lock.unlock();
    try {
      connect(*slot->sql, true);
    } catch (...) {
      // Give the place back: the next caller in line, or a later one, tries to open it.
      lock.lock();
      for (auto it = readers_.begin(); it != readers_.end(); ++it) {
        if (it->get() == slot) {
          readers_.erase(it);
          break;
        }
      }
      handOver(nullptr);
      throw;
    }
  }
  Slot* previous = static_cast<Slot*>(tCurrentSlot);
  tCurrentSlot = slot;
  return ReadLease(*this, slot, previous);
}

size_t Database::waitingReaders() {
  std::lock_guard lock(poolMutex_);
  return waiting_.size();
}

Database::ReadLease::~ReadLease() {
  if (!slot_) return;
  tCurrentSlot = previous_;
  std::lock_guard lock(db_.poolMutex_);
  if (!db_.handOver(slot_)) db_.idle_.push_back(slot_);
}

soci::session& Database::ReadLease::session() {
  return *slot_->sql;
}

}  // namespace service
