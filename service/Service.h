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

}  // namespace service
