#pragma once
// The application service assembled: database, migrations, methods and logins.

#include <memory>
#include <string>

#include "host/DateTime.h"
#include "service/Access.h"
#include "service/Database.h"
#include "service/Dispatcher.h"

namespace service {

struct Service {
  std::shared_ptr<Database> db;
  std::shared_ptr<Dispatcher> dispatcher;
  std::shared_ptr<SessionAuthenticator> auth;
  /// The service's "now": what it stamps on what it writes and the date of its reports.
  std::shared_ptr<const host::Clock> clock;
};

/// Opens the database at `where` (SQLite path or postgresql:// URL), applies the pending
/// migrations and registers every method. `clock` is the service's "now": the server's
/// process gives it the system clock, tests a fixed one. `missing` says what a missing SQLite
/// file does.
std::shared_ptr<Service> openService(const std::string& where,
                                     std::shared_ptr<const host::Clock> clock,
                                     Missing missing = Missing::Create);

/// Whether the service can serve, for a health check: empty when its database answers a
/// query, else why not.
std::string healthCheck(Service& s);

/// The embedded service: like openService. When `where` is the embedded default path (nothing
/// named, `isDefault`), an SQLite file that does not exist yet is created (with its folder)
/// and seeded with the demo data, dated from the clock's today; `demoPassword` then holds the
/// demo operator's password, and is empty otherwise. A path someone named must exist.
struct EmbeddedService {
  std::shared_ptr<Service> service;
  std::string demoPassword;
};
EmbeddedService openEmbeddedService(const std::string& where,
                                    std::shared_ptr<const host::Clock> clock, bool isDefault);

}  // namespace service
