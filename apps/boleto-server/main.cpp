// boleto-server: serves the application service over HTTP, or loads demo data.

#include <fmt/format.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include "host/DateTime.h"
#include "host/Secrets.h"
#include "remote/Credentials.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/Relatorios.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

// The service's "now": the machine's clock, for every command of this process.
std::shared_ptr<const host::Clock> systemClock() {
  static const auto clock = std::make_shared<host::SystemClock>();
  return clock;
}

/// How `serve` runs: the database, where it listens, TLS, the call log, session times and the
/// connection limits. Read from the command line or a configuration file (--config).
struct ServeOptions {
  std::string db = "data/boleto.db";
  std::string listen = "127.0.0.1:8211";
  std::string cert, key;
  std::string log = "stderr";
  int sessionIdleMinutes = 60;
  int sessionMaxHours = 12;
  remote::ServerLimits limits;
  int headerTimeoutSeconds = 10;
  int callBodyMegabytes = 64;
};

/// Writes the call log's lines whole, from any thread, to standard error or a file.
class CallLog {
 public:
  explicit CallLog(const std::string& where) {
    if (where.empty() || where == "none") return;
    if (where == "stderr") {
      out_ = stderr;
      return;
    }
    out_ = std::fopen(where.c_str(), "a");
    if (!out_)
      throw std::runtime_error(
          fmt::format("cannot open the call log {}: {}", where, std::strerror(errno)));
    owned_ = true;
  }
  ~CallLog() {
    if (owned_) std::fclose(out_);
  }
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;
  bool active() const { return out_ != nullptr; }
  void write(const std::string& line) {
    std::lock_guard lock(mutex_);
    fmt::print(out_, "{}\n", line);
    std::fflush(out_);
  }

 private:
  std::mutex mutex_;
  std::FILE* out_ = nullptr;
  bool owned_ = false;
};

int serve(const ServeOptions& o) {
  auto where = remote::ServerAddress::parse(o.listen, 8211);
  if (o.cert.empty() != o.key.empty())
    throw std::runtime_error("TLS needs both a certificate (cert) and its key (key)");
  // A database someone names must exist: a slip of the keyboard would otherwise serve a new,
  // empty one.
  auto svc = service::openService(o.db, systemClock(), service::Missing::Refuse);
  service::SessionPolicy policy;
  policy.idle = std::chrono::minutes(o.sessionIdleMinutes);
  policy.absolute = std::chrono::hours(o.sessionMaxHours);
  svc->auth->setPolicy(policy);

  CallLog log(o.log);
  remote::ServerOptions options;
  options.certFile = o.cert;
  options.keyFile = o.key;
  options.limits = o.limits;
  options.limits.headerTimeout = std::chrono::seconds(o.headerTimeoutSeconds);
  options.limits.callBody = static_cast<size_t>(o.callBodyMegabytes) << 20;
  if (log.active()) options.log = [&log](const std::string& line) { log.write(line); };
  options.health = [svc] { return service::healthCheck(*svc); };
  remote::HttpServer server(svc->dispatcher, svc->auth, options);

  // SIGINT and SIGTERM end the server cleanly: they are taken by a waiting thread, not by a
  // handler, so stopping the server runs outside signal context.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A client that hangs up mid-reply must not end the server.
  std::signal(SIGPIPE, SIG_IGN);

  int port = server.bind(where.host, where.port);
  std::thread waiter([&] {
    int sig = 0;
    sigwait(&stopSignals, &sig);
    server.stop();
  });
  fmt::print("boleto-server: serving {} on {}://{}:{}\n", service::Database::shown(o.db),
             o.cert.empty() ? "http" : "https", where.host, port);
  std::fflush(stdout);
  server.serve();
  // When the server stopped for another reason, wake the waiter.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  return 0;
}

int seedDemo(const std::string& db, bool demo, int boletos, const std::string& passwordFile) {
  const std::string password = remote::readPassword(passwordFile, "BOLETO_PASSWORD");
  auto svc = service::openService(db, systemClock());
  service::SeedOptions o;
  o.today = svc->clock->today();
  o.demo = demo;
  o.extraBoletos = boletos;
  o.password = password;
  auto r = service::seed(*svc->db, o);
  if (r.demoLoaded)
    fmt::print("demo data loaded into {}\n", db);
  else if (demo)
    fmt::print("demo data already present in {}\n", db);
  if (!r.password.empty()) fmt::print("operator \"demo\" password: {}\n", r.password);
  if (r.boletosAdded)
    fmt::print("{} pending boletos added to company 04, account 001\n", r.boletosAdded);
  return 0;
}

/// Stores report templates in the database: the shipped ones that are missing or older, or
/// the given .QR2 files (each under its file name, dated by its modification time, UTC).
int storeTemplates(const std::string& db, const std::vector<std::string>& files) {
  auto svc = service::openService(db, systemClock(), service::Missing::Refuse);
  std::lock_guard lock(svc->db->mutex());
  auto& sql = svc->db->session();
  soci::transaction tr(sql);
  if (files.empty()) {
    const int n = service::storeShippedTemplates(sql);
    tr.commit();
    fmt::print("{} shipped templates stored in {}\n", n, db);
    return 0;
  }
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) throw std::runtime_error(fmt::format("cannot read {}", file));
    const auto written = std::chrono::file_clock::to_sys(std::filesystem::last_write_time(file));
    const std::time_t t = std::chrono::system_clock::to_time_t(
        std::chrono::time_point_cast<std::chrono::system_clock::duration>(written));
    std::tm utc{};
    gmtime_r(&t, &utc);
    const auto date = host::DateTime::fromYmdHms(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                                                 utc.tm_hour, utc.tm_min, utc.tm_sec);
    const std::string name = std::filesystem::path(file).filename().string();
    try {
      service::storeTemplate(sql, name, text.str(), date);
    } catch (const std::invalid_argument& e) {
      throw std::runtime_error(fmt::format("{}: {}", file, e.what()));
    }
    fmt::print("{} stored (version \"{}\", {})\n", name, service::templateVersion(text.str()),
               date.format("dd/mm/yyyy hh:nn:ss"));
  }
  // All or nothing: a bad file stores none of the others.
  tr.commit();
  return 0;
}

/// Reads a mail password from standard input (one line, not echoed on a terminal) and prints
/// it sealed for the branch settings, never the password itself.
int sealMailPassword(const std::string& keyFile) {
  const bool terminal = ::isatty(STDIN_FILENO);
  termios saved{};
  if (terminal) {
    fmt::print(stderr, "mail password: ");
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string password;
  std::getline(std::cin, password);
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    fmt::print(stderr, "\n");
  }
  if (!password.empty() && password.back() == '\r') password.pop_back();
  const std::string sealed = host::sealMailPassword(keyFile, password);
  std::fill(password.begin(), password.end(), '\0');
  fmt::print("{}\n", sealed);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"boleto-server: the application service of the boleto module", "boleto-server"};
  app.set_version_flag("--version", "boleto-server " BOLETO_VERSION);
  app.require_subcommand(1);

  std::string db = "data/boleto.db";
  ServeOptions so;
  // A configuration file holds the options of each command under its name ("[serve]"); it may
  // be named before or after the command, and the command line wins over it.
  app.set_config("--config", "",
                 "configuration file: each command's options as \"name = value\" lines under "
                 "[command] (see README.md)");
  auto* serveCmd = app.add_subcommand("serve", "serve the service over HTTP or HTTPS");
  serveCmd->fallthrough();
  serveCmd->add_option("--db", so.db, "SQLite file (must exist) or postgresql:// URL")
      ->capture_default_str();
  serveCmd->add_option("--listen", so.listen, "address:port to listen on (port 0: any free port)")
      ->capture_default_str();
  serveCmd->add_option("--cert", so.cert, "PEM certificate (chain): serve HTTPS")
      ->check(CLI::ExistingFile);
  serveCmd->add_option("--key", so.key, "PEM private key of --cert")->check(CLI::ExistingFile);
  serveCmd
      ->add_option("--log", so.log,
                   "where the call log goes, one line per call: stderr, a file, or none")
      ->capture_default_str();
  serveCmd
      ->add_option("--session-idle-minutes", so.sessionIdleMinutes,
                   "a session unused this long ends")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  serveCmd
      ->add_option("--session-max-hours", so.sessionMaxHours,
                   "a session ends this long after its login, however used")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  serveCmd->add_option("--max-connections", so.limits.maxConnections, "connections at once")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  serveCmd
      ->add_option("--max-per-address", so.limits.maxPerAddress,
                   "connections at once from one address")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  serveCmd
      ->add_option("--max-anonymous", so.limits.maxAnonymous,
                   "connections at once that hold no session yet")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  serveCmd
      ->add_option("--max-anonymous-per-address", so.limits.maxAnonymousPerAddress,
                   "connections at once without a session from one address")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  serveCmd
      ->add_option("--header-timeout-seconds", so.headerTimeoutSeconds,
                   "a request's head arrives whole within this time")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  serveCmd
      ->add_option("--call-body-mb", so.callBodyMegabytes,
                   "the largest call a logged-in caller may send, in MB")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();

  bool demo = false;
  int boletos = 0;
  std::string passwordFile;
  auto* seedCmd = app.add_subcommand("seed", "load demo data and benchmark boletos");
  seedCmd->add_option("--db", db, "SQLite file or postgresql:// URL")->capture_default_str();
  seedCmd->add_flag("--demo", demo, "load the demo companies, accounts, customers and boletos");
  seedCmd->add_option("--boletos", boletos, "add N pending boletos of company 04, account 001")
      ->check(CLI::NonNegativeNumber);
  seedCmd->add_option("--password-file", passwordFile,
                      "file whose first line is the demo operator's password (- reads standard "
                      "input); else $BOLETO_PASSWORD, else a random one is printed. Never on the "
                      "command line, where other users see it");

  std::vector<std::string> templateFiles;
  auto* templatesCmd = app.add_subcommand(
      "templates", "store report templates: the shipped ones, or the given .QR2 files");
  templatesCmd->add_option("--db", db, "SQLite file or postgresql:// URL")->capture_default_str();
  templatesCmd->add_option("files", templateFiles, "template files to store (replacing)")
      ->check(CLI::ExistingFile);

  std::string keyFile = host::defaultSecretKeyFile().string();
  auto* sealCmd = app.add_subcommand(
      "seal-secret",
      "seal a branch's mail password read from standard input, for its settings (CDSENHEMAILF)");
  sealCmd->add_option("--key-file", keyFile, "the deployment's key file (made when missing)")
      ->capture_default_str();

  try {
    app.parse(argc, argv);
    if (sealCmd->parsed()) return sealMailPassword(keyFile);
    if (templatesCmd->parsed()) return storeTemplates(db, templateFiles);
    if (serveCmd->parsed()) return serve(so);
    if (seedCmd->parsed()) {
      if (!demo && boletos == 0) {
        fmt::print(stderr, "boleto-server seed: say --demo and/or --boletos N\n");
        return 2;
      }
      return seedDemo(db, demo, boletos, passwordFile);
    }
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const std::exception& e) {
    fmt::print(stderr, "boleto-server: {}\n", e.what());
    return 1;
  }
  return 0;
}
