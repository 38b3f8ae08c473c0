#include "apps/boleto/DatabaseOptions.h"

#include <fmt/format.h>

#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "apps/boleto/Commands.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "host/HostDatabase.h"
#include "module/RemoteHostDatabase.h"
#include "module/ServiceContext.h"
#include "remote/Connection.h"
#include "remote/Credentials.h"
#include "remote/Transports.h"
#include "service/Service.h"

namespace cli {

DatabaseOptions& databaseOptions() {
  static DatabaseOptions options;
  return options;
}

std::string embeddedDatabase() {
  const auto& o = databaseOptions();
  if (!o.db.empty()) return o.db;
  if (const char* env = std::getenv("BOLETO_DB"); env && *env) return env;
  return "data/boleto.db";
}

namespace {

// The embedded service lives as long as the process.
std::shared_ptr<service::Service> gEmbedded;
// The login to a --server, ended when the command is done.
std::shared_ptr<remote::HttpTransportFactory> gHttp;

std::shared_ptr<remote::TransportFactory> embeddedFactory(const std::string& user) {
  const std::string db = embeddedDatabase();
  const char* env = std::getenv("BOLETO_DB");
  const bool named = !databaseOptions().db.empty() || (env && *env);
  auto opened = service::openEmbeddedService(db, host::installedHost().clock, !named);
  gEmbedded = opened.service;
  if (!opened.demoPassword.empty()) {
    fmt::print(stderr, "boleto: created {} with demo data; operator \"demo\" password: {}\n", db,
               opened.demoPassword);
  }
  return std::make_shared<remote::InProcessTransportFactory>(gEmbedded->dispatcher, user);
}

}  // namespace

host::Host configuredHost() {
  static std::optional<host::Host> configured;
  if (configured) return *configured;
  auto& o = databaseOptions();
  host::Host ports = host::installedHost();
  // The context file and --set give the processing date, report directory, branch and the
  // like; who works, and for which company, are the command's own flags.
  host::ContextSettings settings;
  if (!o.contextFile.empty()) settings = host::ContextSettings::fromFile(o.contextFile);
  for (const auto& item : o.contextSets) {
    const size_t eq = item.find('=');
    if (eq == std::string::npos) {
      throw std::invalid_argument("--set takes key=value, not \"" + item + "\"");
    }
    settings.set(item.substr(0, eq), item.substr(eq + 1));
  }
  settings.operatorCode = o.user;
  settings.company = o.company;
  if (!o.server.empty()) {
    const auto servers = remote::ServerAddress::parseList(o.server, 8211);
    if (servers.size() == 1) {
      settings.webUrl =
          servers[0].scheme == "https" ? "https://" + servers[0].host : servers[0].host;
      settings.webPort = servers[0].port;
    } else {
      // Several servers of one service: the transport tries them in this order, each with the
      // scheme and port written for it (read as one address, the list lost its first scheme).
      std::string list;
      for (const auto& s : servers) list += (list.empty() ? "" : ",") + s.url();
      settings.webUrl = list;
      settings.webPort = 8211;
    }
    const std::string password =
        remote::readPassword(o.passwordFile, "BOLETO_PASSWORD", "Senha de " + o.user + ": ");
    auto http = std::make_shared<remote::HttpTransportFactory>(o.user, password);
    if (!o.caCert.empty()) http->setCaCertFile(o.caCert);
    gHttp = http;
    ports.transport = http;
  } else {
    ports.transport = embeddedFactory(o.user);
  }
  // Direct queries reach the service the same way: it runs its own copy of each declaration.
  ports.database = std::make_shared<rec::RemoteHostDatabase>(ports.transport);
  if (!ports.context) {
    // Which companies the operator may use is the service's to say.
    ports.context = std::make_shared<rec::ServiceContext>(
        std::make_shared<host::ConfiguredContext>(settings), ports.transport);
  }
  configured = ports;
  return ports;
}

void closeConfiguredService() {
  if (gHttp) gHttp->logout();
  gHttp.reset();
}

namespace {
const Registrar registrar{[](CLI::App& app) {
  auto& o = databaseOptions();
  auto* db = app.add_option("--db", o.db,
                            "SQLite file or postgresql:// URL of the embedded service "
                            "(default: $BOLETO_DB, else data/boleto.db)");
  auto* server = app.add_option(
      "--server", o.server,
      "use a running boleto-server at URL; several servers of one service separated by commas "
      "(URL,URL: the next is tried when one does not answer)");
  db->excludes(server);
  app.add_option("--user", o.user, "operator")->capture_default_str();
  app.add_option("--password-file", o.passwordFile,
                 "file whose first line is the operator's password for --server (- reads it "
                 "from standard input); else $BOLETO_PASSWORD, else it is asked on the terminal. "
                 "Never on the command line, where other users see it");
  app.add_option("--ca-cert", o.caCert,
                 "PEM file of the certificates to trust for an https:// --server "
                 "(default: the system's authorities)")
      ->check(CLI::ExistingFile);
  app.add_option("--context", o.contextFile,
                 "host context settings file (processing-date, branch, report-dir, ...)")
      ->check(CLI::ExistingFile);
  app.add_option("--set", o.contextSets, "one host context setting, key=value (repeatable)");
}};
}  // namespace

}  // namespace cli
