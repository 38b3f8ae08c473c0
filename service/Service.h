#pragma once
// The application service assembled: database, migrations, methods and logins.

#include <memory>
#include <string>

#include "service/Access.h"
#include "service/Database.h"
#include "service/Dispatcher.h"

namespace service {

struct Service {
  std::shared_ptr<Database> db;
  std::shared_ptr<Dispatcher> dispatcher;
  std::shared_ptr<SessionAuthenticator> auth;
};

/// Opens the database at `where` (SQLite path or postgresql:// URL), applies the pending
/// migrations and registers every method. `missing` says what a missing SQLite file does.
std::shared_ptr<Service> openService(const std::string& where, Missing missing = Missing::Create);

/// Whether the service can serve, for a health check: empty when its database answers a
/// query, else why not.
std::string healthCheck(Service& s);

/// The embedded service: like openService. When `where` is the embedded default path (nothing
/// named, `isDefault`), an SQLite file that does not exist yet is created (with its folder)
/// and seeded with the demo data, and `demoPassword` then holds the demo operator's password;
/// a path someone named must exist.
struct EmbeddedService {
  std::shared_ptr<Service> service;
  std::string demoPassword;
};
EmbeddedService openEmbeddedService(const std::string& where, bool isDefault);

}  // namespace service
