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
/// migrations and registers every method.
std::shared_ptr<Service> openService(const std::string& where);

/// The embedded default: like openService, but an SQLite file that does not exist yet is
/// created (with its folder) and seeded with the demo data; `demoPassword` then holds the
/// demo operator's password, and is empty otherwise.
struct EmbeddedService {
  std::shared_ptr<Service> service;
  std::string demoPassword;
};
EmbeddedService openEmbeddedService(const std::string& where);

}  // namespace service
