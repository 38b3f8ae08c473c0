#pragma once
// Operators, their passwords and the companies each may use; login sessions.

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "remote/HttpServer.h"
#include "service/Database.h"

namespace service {

/// A password hash in libsodium's self-describing string form (Argon2id).
std::string hashPassword(const std::string& password);
bool verifyPassword(const std::string& hash, const std::string& password);

/// Creates or replaces an operator with its password and companies (inside the caller's
/// transaction).
void saveOperator(soci::session& sql, const std::string& code, const std::string& name,
                  const std::string& password, const std::set<std::string>& companies);

/// Logs operators in against the database and keeps their session tokens in memory.
class SessionAuthenticator final : public remote::Authenticator {
 public:
  explicit SessionAuthenticator(std::shared_ptr<Database> db);
  std::optional<std::string> login(const std::string& operatorCode,
                                   const std::string& password) override;
  std::optional<std::string> operatorOf(const std::string& token) override;

 private:
  std::shared_ptr<Database> db_;
  std::mutex mutex_;
  std::map<std::string, std::string> sessions_;
};

}  // namespace service
