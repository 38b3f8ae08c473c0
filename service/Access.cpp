#include "service/Access.h"

#include <fmt/format.h>
#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <thread>

#include "service/Areas.h"
#include "service/Dispatcher.h"

namespace service {

namespace {
void initSodium() {
  static const int ok = sodium_init();
  if (ok < 0) throw std::runtime_error("libsodium could not be initialised");
}
}  // namespace

std::string hashPassword(const std::string& password) {
  initSodium();
  char out[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
    throw std::runtime_error("not enough memory to hash a password");
  return out;
}

bool verifyPassword(const std::string& hash, const std::string& password) {
  initSodium();
  return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

void saveOperator(soci::session& sql, const std::string& code, const std::string& name,
                  const std::string& password, const std::set<std::string>& companies) {
  std::string hash = hashPassword(password);
  sql << "DELETE FROM OPEREMPRESA WHERE CDOPERADOR = :c", soci::use(code);
  sql << "DELETE FROM OPERADOR WHERE CDOPERADOR = :c", soci::use(code);
  sql << "INSERT INTO OPERADOR (CDOPERADOR, NMOPERADOR, DSSENHAHASH, IDATIVO) "
         "VALUES (:c, :n, :h, 'S')",
      soci::use(code), soci::use(name), soci::use(hash);
  for (const auto& company : companies) {
    std::string c = company;
    sql << "INSERT INTO OPEREMPRESA (CDOPERADOR, CDEMPRESA) VALUES (:o, :e)", soci::use(code),
        soci::use(c);
  }
}

namespace {

std::string tokenHash(const std::string& token) {
  initSodium();
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(token.data()), token.size());
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

// The hash an unknown operator's password is checked against, so that the answer takes as
// long as a known operator's.
const std::string& standInHash() {
  static const std::string hash = [] {
    initSodium();
    unsigned char raw[16];
    randombytes_buf(raw, sizeof raw);
    return hashPassword(std::string(reinterpret_cast<const char*>(raw), sizeof raw));
  }();
  return hash;
}

// A writing transaction outside the calls: on SQLite it takes the write lock at once, so that
// another instance's writer makes it wait instead of fail.
class Writing {
 public:
  explicit Writing(Database& db) : lock_(db.mutex()), sql_(db.session()) {
    sql_ << (db.dialect() == Dialect::SQLite ? "BEGIN IMMEDIATE" : "BEGIN");
  }
  Writing(const Writing&) = delete;
  Writing& operator=(const Writing&) = delete;
  soci::session& sql() { return sql_; }
  void commit() {
    sql_ << "COMMIT";
    done_ = true;
  }
  ~Writing() {
    if (done_) return;
    try {
      sql_ << "ROLLBACK";
    } catch (const std::exception&) {
      // nothing was left to undo
    }
  }

 private:
  std::lock_guard<std::mutex> lock_;
  soci::session& sql_;
  bool done_ = false;
};

// The reads of logins and session checks are one row by its key: they go before the calls
// waiting for a reading session, or every call would wait in that line twice, once for its
// session check and once for itself.
template <typename Fn>
auto reading(Database& db, Fn&& fn) {
  if (db.pooled()) {
    auto lease = db.reader(true);
    return fn(db.session());
  }
  std::lock_guard lock(db.mutex());
  return fn(db.session());
}

int64_t toMs(std::chrono::milliseconds d) {
  return static_cast<int64_t>(d.count());
}

}  // namespace

SessionAuthenticator::SessionAuthenticator(std::shared_ptr<Database> db, SessionPolicy policy)
    : db_(std::move(db)),
      policy_(std::move(policy)),
      checks_(std::clamp<std::ptrdiff_t>(std::thread::hardware_concurrency(), 2, 64)) {}

void SessionAuthenticator::setPolicy(SessionPolicy policy) {
  policy_ = std::move(policy);
  std::lock_guard lock(mutex_);
  cache_.clear();
}

int64_t SessionAuthenticator::nowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(policy_.clock().time_since_epoch())
      .count();
}

std::optional<int64_t> SessionAuthenticator::refusedUntil(const std::string& op,
                                                          const std::string& address) {
  const std::string opKey = "O:" + op, addressKey = "E:" + address;
  long long until = 0;
  soci::indicator ind = soci::i_null;
  reading(*db_, [&](soci::session& sql) {
    sql << "SELECT MAX(NRBLOQATE) FROM LOGINFALHA WHERE DSCHAVE = :o OR DSCHAVE = :e",
        soci::use(opKey), soci::use(addressKey), soci::into(until, ind);
    return 0;
  });
  if (ind != soci::i_ok || until <= nowMs()) return std::nullopt;
  return until;
}

void SessionAuthenticator::recordFailure(const std::string& op, const std::string& address) {
  const int64_t now = nowMs();
  const SessionPolicy& p = policy_;
  auto delayAfter = [&](int failures, int factor) -> int64_t {
    if (failures >= p.lockoutFailures * factor) return toMs(p.lockout);
    if (failures <= p.freeFailures * factor) return 0;
    const int doublings = std::min(failures - p.freeFailures * factor - 1, 30);
    return std::min(toMs(p.firstDelay) << doublings, toMs(p.maxDelay));
  };
  Writing w(*db_);
  for (const auto& [key, factor] :
       {std::pair{"O:" + op, 1}, std::pair{"E:" + address, p.addressFactor}}) {
    int failures = 0;
    long long last = 0;
    soci::indicator ind = soci::i_null;
    w.sql() << "SELECT QTFALHAS, NRULTFALHA FROM LOGINFALHA WHERE DSCHAVE = :k", soci::use(key),
        soci::into(failures, ind), soci::into(last);
    if (ind != soci::i_ok || now - last > toMs(p.failureMemory)) failures = 0;
    ++failures;
    const long long at = now, until = now + delayAfter(failures, factor);
    w.sql() << "INSERT INTO LOGINFALHA (DSCHAVE, QTFALHAS, NRULTFALHA, NRBLOQATE) "
               "VALUES (:k, :q, :u, :b) ON CONFLICT (DSCHAVE) DO UPDATE SET "
               "QTFALHAS = EXCLUDED.QTFALHAS, NRULTFALHA = EXCLUDED.NRULTFALHA, "
               "NRBLOQATE = EXCLUDED.NRBLOQATE",
        soci::use(key), soci::use(failures), soci::use(at), soci::use(until);
  }
  // Runs of failures long over, such as those of codes nobody uses, are not kept.
  const long long forgotten = now - toMs(p.failureMemory);
  const long long current = now;
  w.sql() << "DELETE FROM LOGINFALHA WHERE NRULTFALHA < :f AND NRBLOQATE < :n",
      soci::use(forgotten), soci::use(current);
  w.commit();
}

std::string SessionAuthenticator::openSession(const std::string& op) {
  initSodium();
  unsigned char raw[32];
  randombytes_buf(raw, sizeof raw);
  char hex[sizeof raw * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, raw, sizeof raw);
  const std::string token = hex, hash = tokenHash(token), opKey = "O:" + op;
  const long long now = nowMs();
  const long long idleCut = now - toMs(policy_.idle), absoluteCut = now - toMs(policy_.absolute);
  Writing w(*db_);
  w.sql() << "INSERT INTO SESSAO (CDSESSAO, CDOPERADOR, NRCRIADA, NRUSADA) "
             "VALUES (:s, :o, :c, :u)",
      soci::use(hash), soci::use(op), soci::use(now), soci::use(now);
  w.sql() << "DELETE FROM LOGINFALHA WHERE DSCHAVE = :k", soci::use(opKey);
  w.sql() << "DELETE FROM SESSAO WHERE NRUSADA < :i OR NRCRIADA < :a", soci::use(idleCut),
      soci::use(absoluteCut);
  w.commit();
  return token;
}

remote::LoginOutcome SessionAuthenticator::login(const remote::LoginAttempt& attempt) {
  remote::LoginOutcome out;
  const std::string& op = attempt.operatorCode;
  if (auto until = refusedUntil(op, attempt.address)) {
    out.key = "LOGIN_BLOQUEADO";
    const int64_t seconds = (*until - nowMs() + 999) / 1000;
    out.text = fmt::format("Muitas tentativas de login sem sucesso: tente de novo em {} segundo{}.",
                           seconds, seconds == 1 ? "" : "s");
    return out;
  }
  std::string hash;
  soci::indicator ind = soci::i_null;
  reading(*db_, [&](soci::session& sql) {
    sql << "SELECT DSSENHAHASH FROM OPERADOR WHERE CDOPERADOR = :c AND IDATIVO = 'S'",
        soci::use(op), soci::into(hash, ind);
    return 0;
  });
  const bool known = ind == soci::i_ok;
  bool right = false;
  {
    checks_.acquire();
    try {
      right = verifyPassword(known ? hash : standInHash(), attempt.password) && known;
    } catch (...) {
      checks_.release();
      throw;
    }
    checks_.release();
  }
  if (!right) {
    recordFailure(op, attempt.address);
    out.key = "LOGIN_INVALIDO";
    out.text = "Operador ou senha inválidos.";
    return out;
  }
  out.token = openSession(op);
  return out;
}

std::optional<std::string> SessionAuthenticator::login(const std::string& op,
                                                       const std::string& password) {
  return login(remote::LoginAttempt{op, password, "local"}).token;
}

std::optional<std::string> SessionAuthenticator::operatorOf(const std::string& token) {
  if (token.empty() || token.size() > 128) return std::nullopt;
  const std::string hash = tokenHash(token);
  const long long now = nowMs();
  {
    std::lock_guard lock(mutex_);
    auto it = cache_.find(hash);
    if (it != cache_.end() && now - it->second.checkedMs >= 0 &&
        now - it->second.checkedMs < toMs(policy_.trust))
      return it->second.operatorCode;
  }
  std::string op;
  long long created = 0, used = 0;
  soci::indicator ind = soci::i_null;
  reading(*db_, [&](soci::session& sql) {
    sql << "SELECT S.CDOPERADOR, S.NRCRIADA, S.NRUSADA FROM SESSAO S JOIN OPERADOR O "
           "ON O.CDOPERADOR = S.CDOPERADOR WHERE S.CDSESSAO = :s AND O.IDATIVO = 'S'",
        soci::use(hash), soci::into(op, ind), soci::into(created), soci::into(used);
    return 0;
  });
  const bool expired = ind == soci::i_ok &&
                       (now - used > toMs(policy_.idle) || now - created > toMs(policy_.absolute));
  if (ind != soci::i_ok || expired) {
    if (expired) {
      Writing w(*db_);
      w.sql() << "DELETE FROM SESSAO WHERE CDSESSAO = :s", soci::use(hash);
      w.commit();
    }
    std::lock_guard lock(mutex_);
    cache_.erase(hash);
    return std::nullopt;
  }
  // The moment of use is written now and then, not at every call.
  if (now - used > std::min<int64_t>(toMs(policy_.idle) / 4, 60'000)) {
    Writing w(*db_);
    w.sql() << "UPDATE SESSAO SET NRUSADA = :u WHERE CDSESSAO = :s", soci::use(now),
        soci::use(hash);
    w.commit();
  }
  std::lock_guard lock(mutex_);
  if (cache_.size() > 4096) {
    for (auto it = cache_.begin(); it != cache_.end();)
      it = now - it->second.checkedMs > toMs(policy_.trust) ? cache_.erase(it) : ++it;
  }
  cache_[hash] = Cached{op, now};
  return op;
}

void SessionAuthenticator::logout(const std::string& token) {
  if (token.empty() || token.size() > 128) return;
  const std::string hash = tokenHash(token);
  {
    Writing w(*db_);
    w.sql() << "DELETE FROM SESSAO WHERE CDSESSAO = :s", soci::use(hash);
    w.commit();
  }
  std::lock_guard lock(mutex_);
  cache_.erase(hash);
}

void registerAcesso(Dispatcher& d) {
  d.on<rpc::Operador>(
      [](CallContext& ctx, rpc::Operador&) { return remote::Variant(ctx.operatorCode()); });
  d.on<rpc::AcessoOperEmpresa>([](CallContext& ctx, rpc::AcessoOperEmpresa& a) {
    const std::string& op = a.CDOPERADOR.value();
    const std::string& company = a.CDEMPRESA.value();
    // An operator asks about itself; asking about another needs nothing more, since the
    // answer is only whether access exists.
    return remote::Variant(operatorMayUse(ctx.database(), op, company));
  });
}

}  // namespace service
