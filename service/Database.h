#pragma once
// The service's database: SOCI sessions on an SQLite file (WAL) or a PostgreSQL server. One
// primary session carries every call that may write, one call at a time; calls that only read
// take a session of their own from a small pool and run side by side.

#include <soci/soci.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace service {

enum class Dialect { SQLite, PostgreSQL };

/// What opening an SQLite file that is not there does: create it (a test, the seed, the
/// embedded default) or refuse (a path someone named, which a typing slip would otherwise
/// turn into a new, empty database).
enum class Missing { Create, Refuse };

class Database {
  struct Slot;

 public:
  /// Opens "postgresql://..." on PostgreSQL, anything else as an SQLite file (created when
  /// missing, unless `missing` says to refuse). Throws std::runtime_error naming the database
  /// when it cannot be opened. `readers` bounds the sessions opened (on first need) for
  /// read-only calls.
  static std::unique_ptr<Database> open(const std::string& where, Missing missing = Missing::Create,
                                        size_t readers = 4);
  ~Database();

  /// The session of the calling thread's read lease when it holds one, else the primary
  /// session (use that under `mutex()`).
  soci::session& session();
  Dialect dialect() const { return dialect_; }
  const std::string& where() const { return where_; }
  /// `where` as messages show it: a password in a URL is masked.
  static std::string shown(const std::string& where);
  std::string shown() const { return shown(where_); }
  /// Held for the whole of a call on the primary session: writes run one after another.
  std::mutex& mutex() { return mutex_; }

  /// A session for one read-only call, held until the lease ends; `session()` and
  /// `prepared()` on this thread use it meanwhile. Reading sessions refuse to write. Waits
  /// while every reading session is busy.
  class ReadLease {
   public:
    ReadLease(ReadLease&& o) noexcept : db_(o.db_), slot_(o.slot_), previous_(o.previous_) {
      o.slot_ = nullptr;
    }
    ReadLease(const ReadLease&) = delete;
    ReadLease& operator=(const ReadLease&) = delete;
    ReadLease& operator=(ReadLease&&) = delete;
    ~ReadLease();
    soci::session& session();

   private:
    friend class Database;
    ReadLease(Database& db, Slot* slot, Slot* previous)
        : db_(db), slot_(slot), previous_(previous) {}
    Database& db_;
    Slot* slot_;
    Slot* previous_;
  };
  /// Whether read-only calls get sessions of their own (not for a database that lives in
  /// memory, which a second session would not see).
  bool pooled() const { return maxReaders_ > 0; }
  /// Callers that wait for a reading session are served first come, first served, each woken
  /// alone when a session is handed to it. A `quick` read (a session check, a health check:
  /// one row by its key) goes before the calls waiting in line, so that it never waits
  /// behind a queue of long lists.
  ReadLease reader(bool quick = false);
  /// Callers waiting for a reading session now.
  size_t waitingReaders();

  /// A statement prepared once per session and reused by every call (parsing the SQL of a
  /// small read costs more than running it). `Query` owns the statement and the variables it
  /// binds; `make` builds it on first use. Use it under `mutex()` or a read lease, and fetch
  /// it to its end, so the statement holds no read snapshot between calls.
  template <class Query>
  Query& prepared(const std::string& key,
                  const std::function<std::unique_ptr<Query>(soci::session&)>& make) {
    Slot& slot = currentSlot();
    auto it = slot.prepared.find(key);
    if (it == slot.prepared.end()) {
      std::shared_ptr<Query> q = make(*slot.sql);
      it = slot.prepared.emplace(key, std::static_pointer_cast<void>(q)).first;
    }
    return *static_cast<Query*>(it->second.get());
  }

 private:
  struct Slot {
    const Database* owner = nullptr;
    std::unique_ptr<soci::session> sql;
    std::map<std::string, std::shared_ptr<void>> prepared;
  };
  Database() = default;
  Slot& currentSlot();
  void connect(soci::session& sql, bool readOnly) const;

  Slot primary_;
  Dialect dialect_ = Dialect::SQLite;
  std::string where_;
  std::mutex mutex_;

  size_t maxReaders_ = 0;
  struct Waiter;
  // Gives a freed session, or the place of one that could not be opened (nullptr), to the
  // first caller in line; false when nobody waits.
  bool handOver(Slot* slot);
  std::mutex poolMutex_;
  std::vector<std::unique_ptr<Slot>> readers_;
  std::vector<Slot*> idle_;
  std::deque<Waiter*> waiting_;
};

}  // namespace service
