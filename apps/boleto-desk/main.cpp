// boleto-desk: the desktop. Logs the operator in, loads the module's package and shows its
// screens in a workspace.

#include <CLI/CLI.hpp>
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "apps/boleto-desk/LoginDialog.h"
#include "apps/boleto-desk/MainWindow.h"
#include "apps/boleto-desk/Package.h"
#include "apps/boleto-desk/Session.h"
#include "apps/boleto-desk/Tour.h"
#include "host/DateTime.h"
#include "host/Host.h"
#include "remote/Credentials.h"

namespace {

std::string envOr(const char* name, std::string fallback) {
  const char* v = std::getenv(name);
  return v != nullptr && *v != '\0' ? std::string(v) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);  // takes Qt's own arguments (-platform ...) out of argv
  QApplication::setApplicationName(QStringLiteral("boleto-desk"));
  // The machine's clock is "today" for the whole run; the main window adds the other ports.
  host::HostScope processHost({.clock = std::make_shared<host::SystemClock>()});

  desk::ServiceOptions options;
  options.db = envOr("BOLETO_DB", "data/boleto.db");
  desk::Login initial{envOr("USER_BOLETO", "demo"), envOr("BOLETO_PASSWORD", ""), "04", "0001"};
  std::string contextFile;
  std::vector<std::string> sets;
  std::string screenshots;
  std::string packageDir = envOr("BOLETO_PACKAGE_DIR", "");

  CLI::App cli("boleto-desk: the desktop of the boleto module");
  auto* db = cli.add_option("--db", options.db,
                            "SQLite file or postgresql:// URL of the embedded "
                            "service (default: $BOLETO_DB, else data/boleto.db)");
  cli.add_option("--server", options.server, "use a running boleto-server at URL")->excludes(db);
  cli.add_option("--ca-cert", options.caCert, "certificates to trust for an https:// server")
      ->check(CLI::ExistingFile);
  cli.add_option("--context", contextFile, "host context settings file")->check(CLI::ExistingFile);
  cli.add_option("--set", sets, "one host context setting, key=value (repeatable)");
  cli.add_option("--user", initial.operatorCode, "operator shown in the login")
      ->capture_default_str();
  std::string passwordFile;
  cli.add_option("--password-file", passwordFile,
                 "log in at once with the password on the first line of this file (- reads it "
                 "from standard input; default: $BOLETO_PASSWORD; the login dialog stays when it "
                 "is refused). Never on the command line, where other users see it");
  cli.add_option("--company", initial.company, "company shown in the login")->capture_default_str();
  cli.add_option("--branch", initial.branch, "branch shown in the login")->capture_default_str();
  cli.add_option("--package-dir", packageDir,
                 "directory of the package PKG_REC12000.so (default: $BOLETO_PACKAGE_DIR, "
                 "the program's directory, the build tree)");
  cli.add_option("--screenshots", screenshots,
                 "save pictures of the main screens into DIR and quit (with --password-file or "
                 "$BOLETO_PASSWORD)");
  CLI11_PARSE(cli, argc, argv);
  try {
    if (!passwordFile.empty()) initial.password = remote::readPassword(passwordFile, nullptr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boleto-desk: %s\n", e.what());
    return 2;
  }
  options.dbNamed = db->count() > 0 || !envOr("BOLETO_DB", "").empty();

  try {
    if (!contextFile.empty()) options.context = host::ContextSettings::fromFile(contextFile);
    for (const auto& item : sets) {
      const size_t eq = item.find('=');
      if (eq == std::string::npos)
        throw std::invalid_argument("--set takes key=value, not \"" + item + "\"");
      options.context.set(item.substr(0, eq), item.substr(eq + 1));
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boleto-desk: %s\n", e.what());
    return 2;
  }

  std::unique_ptr<desk::Session> session;
  std::unique_ptr<desk::Package> package;
  try {
    session = std::make_unique<desk::Session>(options);
    package = std::make_unique<desk::Package>(std::vector<std::string>{
        packageDir, QApplication::applicationDirPath().toStdString(), BOLETO_PACKAGE_BUILD_DIR});
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boleto-desk: %s\n", e.what());
    if (screenshots.empty())
      QMessageBox::critical(nullptr, QStringLiteral("Boleto"), QString::fromStdString(e.what()));
    return 1;
  }
  if (!session->demoPassword().empty()) {
    std::fprintf(stderr, "boleto-desk: created %s with demo data; operator \"demo\" password: %s\n",
                 options.db.c_str(), session->demoPassword().c_str());
    if (initial.password.empty() && screenshots.empty()) {
      QMessageBox::information(
          nullptr, QStringLiteral("Boleto"),
          QStringLiteral("Base de demonstração criada em %1.\nOperador \"demo\", senha: %2")
              .arg(QString::fromStdString(options.db),
                   QString::fromStdString(session->demoPassword())));
    }
  }

  desk::LoginDialog login(*session, initial);
  bool in = false;
  if (!initial.password.empty()) {
    login.accept();
    in = login.result() == QDialog::Accepted;
    if (!in && !screenshots.empty()) {
      std::fprintf(stderr, "boleto-desk: %s\n", login.refusal().toStdString().c_str());
      return 1;
    }
  }
  if (!in) in = login.exec() == QDialog::Accepted;
  if (!in) return 0;

  try {
    desk::MainWindow window(*session, *package);
    window.show();
    if (!screenshots.empty()) return desk::runTour(window, screenshots);
    return QApplication::exec();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "boleto-desk: %s\n", e.what());
    return 1;
  }
}
