#pragma once
// Where the command line finds the application service: the embedded service on an SQLite
// file (--db PATH, else BOLETO_DB, else data/boleto.db in the working directory, created,
// migrated and seeded with demo data when missing) or a running server (--server URL).

#include <memory>
#include <string>
#include <vector>

#include "host/Host.h"

namespace cli {

struct DatabaseOptions {
  std::string db;              ///< --db: SQLite file or postgresql:// URL
  std::string server;          ///< --server: http(s)://host:port of a boleto-server
  std::string user = "demo";   ///< --user: operator for --server and for the embedded service
  std::string passwordFile;    ///< --password-file, else BOLETO_PASSWORD, else asked: for --server
  std::string caCert;          ///< --ca-cert: certificates to trust for an https:// server
  std::string company = "04";  ///< the working company of the context installed
  std::string contextFile;     ///< --context: host context settings, "key = value" lines
  std::vector<std::string> contextSets;  ///< --set key=value, applied after the file
};

DatabaseOptions& databaseOptions();

/// The database the embedded service opens: --db, BOLETO_DB, or "data/boleto.db".
std::string embeddedDatabase();

/// The installed ports with the configured service as their transport and direct queries,
/// and, unless one is installed, a host context that points at it; the embedded service is
/// opened once, on the installed clock. A command installs them for its run (host::HostScope).
/// Throws std::runtime_error when the embedded database cannot be opened.
host::Host configuredHost();
/// Ends the session a --server login opened (nothing for the embedded service).
void closeConfiguredService();

}  // namespace cli
