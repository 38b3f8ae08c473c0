// A fresh SQLite file seeded by boleto-server, the server started on a free loopback port, and
// the module fetching the same records over HTTP and in the same process.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "module/Records.h"
#include "module/SharedConnection.h"
#include "records/Tables.h"
#include "remote/Transports.h"
#include "service/Service.h"
#include "tests/Processes.h"

namespace {

std::vector<remote::Arg> filtroArgs(const std::string& company) {
  std::vector<remote::Variant> v(37, remote::Variant(""));
  for (size_t i : {4u, 9u, 13u, 18u, 19u, 29u}) v[i] = remote::Variant(false);
  for (size_t i : {11u, 12u, 22u, 34u, 35u}) v[i] = remote::Variant();
  v[15] = v[16] = remote::Variant(0.0);
  v[25] = v[26] = remote::Variant(int64_t{0});
  v[0] = remote::Variant(company);
  return std::vector<remote::Arg>(v.begin(), v.end());
}

struct Fetched {
  nlohmann::json account;
  nlohmann::json boletos;
  std::string paddedCode;
};

// What the module sees through one transport: the account and the boleto list, each loaded
// into its record and taken back out as a packet.
Fetched fetchThrough(std::shared_ptr<remote::TransportFactory> factory) {
  remote::Connection conn("Rec12000.rdmHabContRec", std::move(factory));
  EXPECT_TRUE(conn.connect()) << conn.lastError();
  Fetched f;
  host::ClientDataset cdsContCorr("cdsContCorr"), cdsBoletos("cdsBoletos");
  f.paddedCode = "1";
  rec::fetchBankAccount(conn, f.paddedCode, cdsContCorr);
  rec::loadRecordRows(remote::CheckResultServ(conn.call("Filtro", filtroArgs("04"))), cdsBoletos,
                      records::BoletoRecord());
  f.account = cdsContCorr.toPacket();
  f.boletos = cdsBoletos.toPacket();
  return f;
}

}  // namespace

TEST(EndToEnd, AccountAndBoletosAreTheSameOverHttpAndInProcess) {
  std::random_device rd;
  auto dir = std::filesystem::temp_directory_path() / ("boleto-e2e-" + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  const std::string db = (dir / "boleto.db").string();
  const std::string password = "e2e-" + std::to_string(rd());

  // The password travels in the environment, never on a command line other users can read.
  setenv("BOLETO_PASSWORD", password.c_str(), 1);
  Process seeding = spawn({BOLETO_SERVER, "seed", "--demo", "--boletos", "40", "--db", db});
  unsetenv("BOLETO_PASSWORD");
  std::string seeded, line;
  while (!(line = readLine(seeding.out)).empty()) seeded += line + "\n";
  close(seeding.out);
  ASSERT_EQ(waitFor(seeding.pid), 0) << seeded;
  EXPECT_NE(seeded.find(password), std::string::npos) << "the seed prints the demo password";

  Process server = spawn({BOLETO_SERVER, "serve", "--db", db, "--listen", "127.0.0.1:0"});
  std::string banner = readLine(server.out);
  auto colon = banner.rfind(':');
  ASSERT_NE(colon, std::string::npos) << banner;
  int port = std::stoi(banner.substr(colon + 1));

  host::ContextSettings settings;
  settings.company = "04";
  settings.webUrl = "127.0.0.1";
  settings.webPort = port;
  auto context = std::make_unique<host::HostScope>(
      host::Host{.context = std::make_shared<host::ConfiguredContext>(settings)});

  Fetched overHttp = fetchThrough(std::make_shared<remote::HttpTransportFactory>("demo", password));
  auto local = service::openService(
      db, std::make_shared<host::FixedClock>(host::DateTime::fromYmdHms(2026, 3, 2, 10, 0, 0)));
  Fetched inProcess =
      fetchThrough(std::make_shared<remote::InProcessTransportFactory>(local->dispatcher, "demo"));

  EXPECT_EQ(overHttp.paddedCode, "001");
  EXPECT_EQ(overHttp.paddedCode, inProcess.paddedCode);
  ASSERT_EQ(overHttp.account["rows"].size(), 1u);
  EXPECT_EQ(overHttp.boletos["rows"].size(), 12u + 40u);
  EXPECT_EQ(overHttp.account, inProcess.account);
  EXPECT_EQ(overHttp.boletos, inProcess.boletos);

  // A server that went away fails the next call clearly instead of answering nothing.
  remote::Connection conn("Rec12000.rdmHabContRec",
                          std::make_shared<remote::HttpTransportFactory>("demo", password));
  ASSERT_TRUE(conn.connect());
  kill(server.pid, SIGTERM);
  EXPECT_EQ(waitFor(server.pid), 0) << "the server stops cleanly on SIGTERM";
  close(server.out);
  std::string code = "001";
  EXPECT_THROW(remote::CheckResultServ(conn.call("GetCont_Corr", {remote::Arg::ref(code)})),
               host::OperationError);

  context.reset();
  local.reset();
  std::filesystem::remove_all(dir);
}

#ifdef BOLETO_CLI
TEST(EndToEnd, CommandLineCreatesAndSeedsItsDatabaseWhenMissing) {
  std::random_device rd;
  auto dir = std::filesystem::temp_directory_path() / ("boleto-cli-" + std::to_string(rd()));
  std::filesystem::create_directories(dir);

  Process first = spawn({BOLETO_CLI, "account", "6"}, dir.c_str());
  std::string shown = readAll(first.out);
  EXPECT_EQ(waitFor(first.pid), 0) << shown;
  EXPECT_TRUE(std::filesystem::exists(dir / "data" / "boleto.db"));
  EXPECT_NE(shown.find("CDREDUCONT      006"), std::string::npos) << shown;
  EXPECT_NE(shown.find("CDBANCO         341"), std::string::npos) << shown;

  // A path someone names must exist: a slip of the keyboard creates no new database, neither
  // beside the default one nor in a folder that does not exist; the first is left alone.
  auto before = std::filesystem::last_write_time(dir / "data" / "boleto.db");
  for (const auto& named : {dir / "outro.db", dir / "nao-existe" / "boleto.db"}) {
    Process other = spawn({BOLETO_CLI, "--db", named.string(), "account", "001", "--company", "08"},
                          dir.c_str());
    readAll(other.out);
    EXPECT_NE(waitFor(other.pid), 0) << named;
    EXPECT_FALSE(std::filesystem::exists(named)) << named;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "nao-existe"));
  EXPECT_EQ(std::filesystem::last_write_time(dir / "data" / "boleto.db"), before);
  // The seed creates one where it is told to, and the command line then uses it.
  Process seeding =
      spawn({BOLETO_SERVER, "seed", "--demo", "--db", (dir / "outro.db").string()}, dir.c_str());
  readAll(seeding.out);
  ASSERT_EQ(waitFor(seeding.pid), 0);
  Process other =
      spawn({BOLETO_CLI, "--db", (dir / "outro.db").string(), "account", "001", "--company", "08"},
            dir.c_str());
  shown = readAll(other.out);
  EXPECT_EQ(waitFor(other.pid), 0) << shown;
  EXPECT_NE(shown.find("CDBANCCNAB      025"), std::string::npos) << shown;

  // A password is never taken from the command line, where every user of the machine reads
  // it; the help says where it comes from instead.
  Process typed =
      spawn({BOLETO_CLI, "--server", "http://127.0.0.1:1", "--password", "segredo", "account", "1"},
            dir.c_str());
  readAll(typed.out);
  EXPECT_NE(waitFor(typed.pid), 0);
  for (const auto& asked : {std::vector<std::string>{BOLETO_CLI, "--help"},
                            std::vector<std::string>{BOLETO_SERVER, "seed", "--help"}}) {
    Process help = spawn(asked, dir.c_str());
    const std::string text = readAll(help.out);
    waitFor(help.pid);
    EXPECT_NE(text.find("--password-file"), std::string::npos) << text;
    EXPECT_NE(text.find("BOLETO_PASSWORD"), std::string::npos) << text;
  }

  Process both = spawn(
      {BOLETO_CLI, "--db", "x.db", "--server", "http://127.0.0.1:1", "account", "1"}, dir.c_str());
  readAll(both.out);
  EXPECT_NE(waitFor(both.pid), 0) << "--db and --server exclude each other";
  std::filesystem::remove_all(dir);
}

TEST(EndToEnd, CommandLineTakesTheHostContextFromAFileAndSettings) {
  std::random_device rd;
  auto dir = std::filesystem::temp_directory_path() / ("boleto-ctx-" + std::to_string(rd()));
  std::filesystem::create_directories(dir);

  // A setting that cannot be read stops the command before any database is created.
  Process bad =
      spawn({BOLETO_CLI, "--set", "processing-date=31/02/2026", "account", "1"}, dir.c_str());
  readAll(bad.out);
  EXPECT_NE(waitFor(bad.pid), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "data" / "boleto.db"));

  {
    std::ofstream f(dir / "context.conf");
    f << "# the host's context\nprocessing-date = 08/12/2026\nbranch = 2\nreport-dir = rel\n";
  }
  Process good = spawn({BOLETO_CLI, "--context", (dir / "context.conf").string(), "--set",
                        "web-port=9000", "account", "1"},
                       dir.c_str());
  const std::string shown = readAll(good.out);
  EXPECT_EQ(waitFor(good.pid), 0) << shown;
  EXPECT_NE(shown.find("CDREDUCONT      001"), std::string::npos) << shown;
  std::filesystem::remove_all(dir);
}
#endif

TEST(EndToEnd, ServerTakesItsDatabaseTlsAndCallLogFromItsConfigurationFile) {
  std::random_device rd;
  auto dir = std::filesystem::temp_directory_path() / ("boleto-conf-" + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  const auto cert = dir / "cert.pem", key = dir / "key.pem";
  const std::string make =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout " +
      key.string() + " -out " + cert.string() + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << make;

  // A database someone names is never made up: serve refuses one that is not there.
  Process missing = spawn({BOLETO_SERVER, "serve", "--db", (dir / "nao.db").string()});
  readAll(missing.out);
  EXPECT_NE(waitFor(missing.pid), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "nao.db"));

  const std::string password = "conf-" + std::to_string(rd());
  {
    std::ofstream f(dir / "senha");
    f << password << "\n";
  }
  Process seeding = spawn({BOLETO_SERVER, "seed", "--demo", "--db", (dir / "boleto.db").string(),
                           "--password-file", (dir / "senha").string()});
  readAll(seeding.out);
  ASSERT_EQ(waitFor(seeding.pid), 0);
  {
    std::ofstream f(dir / "boleto-server.conf");
    f << "[serve]\ndb = " << (dir / "boleto.db").string() << "\nlisten = 127.0.0.1:0\n"
      << "cert = " << cert.string() << "\nkey = " << key.string() << "\n"
      << "log = " << (dir / "chamadas.log").string() << "\n";
  }
  Process server =
      spawn({BOLETO_SERVER, "serve", "--config", (dir / "boleto-server.conf").string()});
  const std::string banner = readLine(server.out);
  ASSERT_NE(banner.find("https://127.0.0.1:"), std::string::npos) << banner;
  const int port = std::stoi(banner.substr(banner.rfind(':') + 1));

  host::ContextSettings settings;
  settings.company = "04";
  settings.webUrl = "https://127.0.0.1";
  settings.webPort = port;
  host::HostScope scope({.context = std::make_shared<host::ConfiguredContext>(settings)});
  auto factory = std::make_shared<remote::HttpTransportFactory>("demo", password);
  factory->setCaCertFile(cert.string());
  remote::Connection conn("Rec12000.rdmHabContRec", factory);
  ASSERT_TRUE(conn.connect()) << conn.lastError();
  std::string code = "1";
  remote::CheckResultServ(conn.call("GetCont_Corr", {remote::Arg::ref(code)}));
  EXPECT_EQ(code, "001");
  // The logout ends the session; the next call of the same factory logs in anew.
  factory->logout();
  remote::CheckResultServ(conn.call("GetCont_Corr", {remote::Arg::ref(code)}));

  kill(server.pid, SIGTERM);
  EXPECT_EQ(waitFor(server.pid), 0);
  close(server.out);
  std::ifstream log(dir / "chamadas.log");
  std::string all((std::istreambuf_iterator<char>(log)), {});
  EXPECT_NE(all.find(" demo login "), std::string::npos) << all;
  EXPECT_NE(all.find(" demo Rec12000.rdmHabContRec.GetCont_Corr "), std::string::npos) << all;
  EXPECT_NE(all.find(" demo logout "), std::string::npos) << all;
  EXPECT_NE(all.find(" demo login ", all.find(" demo logout ")), std::string::npos) << all;
  std::filesystem::remove_all(dir);
}
