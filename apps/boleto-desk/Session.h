#pragma once
// The service the desktop works with (the embedded one on an SQLite file, or a running
// boleto-server) and the operator's login to it.

#include <memory>
#include <string>

#include "host/Context.h"

namespace remote {
class TransportFactory;
}  // namespace remote
namespace service {
struct Service;
}  // namespace service

namespace desk {

struct ServiceOptions {
  std::string db =
      "data/boleto.db";  ///< SQLite file (or postgresql:// URL) of the embedded service
  /// Whether someone named `db` (--db, BOLETO_DB): only the default path is created when missing.
  bool dbNamed = false;
  std::string server;  ///< http(s)://host:port of a boleto-server instead
  std::string caCert;  ///< certificates to trust for an https:// server
  /// Processing date, report directory and the like; the login fills in who and where.
  host::ContextSettings context;
};

struct Login {
  std::string operatorCode;
  std::string password;
  std::string company;
  std::string branch;
};

class Session {
 public:
  /// Opens the embedded database (created, migrated and seeded when missing; then
  /// `demoPassword()` tells the demo operator's password) or only notes the server's
  /// address. Throws std::exception when the embedded database cannot be opened or the
  /// server address is malformed.
  explicit Session(ServiceOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  /// The demo operator's password when this session created the database, else empty.
  const std::string& demoPassword() const { return demoPassword_; }

  /// Checks the login with the service: the operator and password, the company (it exists
  /// and the operator may use it) and the branch (it exists). Returns the text to show the
  /// operator, or "" when accepted: then `context()` and `transport()` are this login's.
  std::string login(const Login& login);

  const Login& user() const { return user_; }
  std::shared_ptr<host::Context> context() const { return context_; }
  std::shared_ptr<remote::TransportFactory> transport() const { return transport_; }

 private:
  ServiceOptions options_;
  std::shared_ptr<service::Service> embedded_;
  std::string demoPassword_;
  Login user_;
  std::shared_ptr<host::Context> context_;
  std::shared_ptr<remote::TransportFactory> transport_;
};

}  // namespace desk
