// boleto-server: serves the application service over HTTP, or loads demo data.

#include <fmt/format.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "host/DateTime.h"
#include "host/Secrets.h"
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

int serve(const std::string& db, const std::string& listen, const std::string& cert,
          const std::string& key) {
  auto where = remote::ServerAddress::parse(listen, 8211);
  auto svc = service::openService(db, systemClock());
  auto made = cert.empty()
                  ? std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth)
                  : std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth, cert, key);
  remote::HttpServer& server = *made;

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
  fmt::print("boleto-server: serving {} on {}://{}:{}\n", db, cert.empty() ? "http" : "https",
             where.host, port);
  std::fflush(stdout);
  server.serve();
  // When the server stopped for another reason, wake the waiter.
  pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  return 0;
}

int seedDemo(const std::string& db, bool demo, int boletos, const std::string& password) {
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
  auto svc = service::openService(db, systemClock());
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
  std::string listen = "127.0.0.1:8211";
  auto* serveCmd = app.add_subcommand("serve", "serve the service over HTTP");
  serveCmd->add_option("--db", db, "SQLite file or postgresql:// URL")->capture_default_str();
  serveCmd->add_option("--listen", listen, "address:port to listen on (port 0: any free port)")
      ->capture_default_str();
  std::string cert, key;
  auto* certOpt = serveCmd->add_option("--cert", cert, "PEM certificate: serve HTTPS")
                      ->check(CLI::ExistingFile);
  serveCmd->add_option("--key", key, "PEM private key of --cert")
      ->check(CLI::ExistingFile)
      ->needs(certOpt);
  certOpt->needs("--key");

  bool demo = false;
  int boletos = 0;
  std::string password;
  auto* seedCmd = app.add_subcommand("seed", "load demo data and benchmark boletos");
  seedCmd->add_option("--db", db, "SQLite file or postgresql:// URL")->capture_default_str();
  seedCmd->add_flag("--demo", demo, "load the demo companies, accounts, customers and boletos");
  seedCmd->add_option("--boletos", boletos, "add N pending boletos of company 04, account 001")
      ->check(CLI::NonNegativeNumber);
  seedCmd->add_option("--password", password, "password of the demo operator (default: random)");

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
    if (serveCmd->parsed()) return serve(db, listen, cert, key);
    if (seedCmd->parsed()) {
      if (!demo && boletos == 0) {
        fmt::print(stderr, "boleto-server seed: say --demo and/or --boletos N\n");
        return 2;
      }
      return seedDemo(db, demo, boletos, password);
    }
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const std::exception& e) {
    fmt::print(stderr, "boleto-server: {}\n", e.what());
    return 1;
  }
  return 0;
}
