#include "service/Access.h"

#include <sodium.h>

#include <stdexcept>

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

SessionAuthenticator::SessionAuthenticator(std::shared_ptr<Database> db) : db_(std::move(db)) {}

std::optional<std::string> SessionAuthenticator::login(const std::string& op,
                                                       const std::string& password) {
  std::string hash;
  soci::indicator ind = soci::i_null;
  {
    std::lock_guard lock(db_->mutex());
    db_->session() << "SELECT DSSENHAHASH FROM OPERADOR WHERE CDOPERADOR = :c AND IDATIVO = 'S'",
        soci::use(op), soci::into(hash, ind);
  }
  if (ind != soci::i_ok || !verifyPassword(hash, password)) return std::nullopt;
  initSodium();
  unsigned char raw[32];
  randombytes_buf(raw, sizeof raw);
  char hex[sizeof raw * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, raw, sizeof raw);
  std::lock_guard lock(mutex_);
  sessions_[hex] = op;
  return std::string(hex);
}

std::optional<std::string> SessionAuthenticator::operatorOf(const std::string& token) {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(token);
  if (it == sessions_.end()) return std::nullopt;
  return it->second;
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
