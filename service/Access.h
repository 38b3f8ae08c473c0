#pragma once
// Operators, their passwords and the companies each may use; login sessions.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
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

/// How long sessions live and how failed logins are throttled. Failures are counted per
/// operator code (known or not) and per caller address; after the free ones, each failure makes
/// the next attempt wait twice as long as the one before, and enough of them in a row lock the
/// key out for a while. The lockout ends on its own: the operator's next correct login after it
/// succeeds and clears the operator's count.
struct SessionPolicy {
  std::chrono::milliseconds idle = std::chrono::hours(1);
  std::chrono::milliseconds absolute = std::chrono::hours(12);

  int freeFailures = 3;
  std::chrono::milliseconds firstDelay = std::chrono::seconds(1);
  std::chrono::milliseconds maxDelay = std::chrono::minutes(1);
  int lockoutFailures = 10;
  std::chrono::milliseconds lockout = std::chrono::minutes(15);
  /// A run of failures is forgotten after this long without another.
  std::chrono::milliseconds failureMemory = std::chrono::hours(1);
  /// One address may carry several operators (an office behind one router): its thresholds
  /// are these multiples of the operator's.
  int addressFactor = 3;

  /// A session found valid is taken on trust this long before it is read again, so a logout
  /// or an expiry reaches the other instances within this time.
  std::chrono::milliseconds trust = std::chrono::seconds(1);
  /// The time sessions and failures are measured in; the system's clock unless a test sets
  /// another.
  std::function<std::chrono::system_clock::time_point()> clock = [] {
    return std::chrono::system_clock::now();
  };
};

/// Logs operators in against the database and keeps their sessions there, so that every
/// server instance on one database accepts a token any of them issued. A token is held only
/// as its hash. Password checks run a few at a time (each takes 64 MB for a moment), and an
/// unknown operator costs the same check as a known one.
class SessionAuthenticator final : public remote::Authenticator {
 public:
  explicit SessionAuthenticator(std::shared_ptr<Database> db, SessionPolicy policy = {});
  void setPolicy(SessionPolicy policy);

  remote::LoginOutcome login(const remote::LoginAttempt& attempt) override;
  /// A login from this process (the desktop's own check): the token, or nothing.
  std::optional<std::string> login(const std::string& operatorCode, const std::string& password);
  std::optional<std::string> operatorOf(const std::string& token) override;
  void logout(const std::string& token) override;

 private:
  struct Cached {
    std::string operatorCode;
    int64_t checkedMs;
  };
  int64_t nowMs() const;
  std::optional<int64_t> refusedUntil(const std::string& op, const std::string& address);
  void recordFailure(const std::string& op, const std::string& address);
  std::string openSession(const std::string& op);

  std::shared_ptr<Database> db_;
  SessionPolicy policy_;
  std::counting_semaphore<64> checks_;
  std::mutex mutex_;
  std::map<std::string, Cached> cache_;  // by token hash
};

}  // namespace service
