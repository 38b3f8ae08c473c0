// A fresh SQLite file seeded by boleto-server, the server started on a free loopback port, and
// the module fetching the same records over HTTP and in the same process.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "host/Context.h"
#include "host/Errors.h"
#include "host/Host.h"
#include "module/Records.h"
#include "module/SharedConnection.h"
#include "records/Tables.h"
#include "remote/Transports.h"
#include "service/Service.h"

extern char** environ;

namespace {

struct Process {
  pid_t pid = -1;
  int out = -1;  // the child's standard output
};

Process spawn(const std::vector<std::string>& argv, const char* workDir = nullptr) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  if (workDir) posix_spawn_file_actions_addchdir_np(&actions, workDir);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  Process p;
  int rc = posix_spawn(&p.pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  p.out = pipeFds[0];
  return p;
}

std::string readAll(int fd) {
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(fd);
  return text;
}

std::string readLine(int fd) {
  std::string line;
  char c;
  while (read(fd, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

int waitFor(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

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

  Process seeding = spawn(
      {BOLETO_SERVER, "seed", "--demo", "--boletos", "40", "--password", password, "--db", db});
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

  // --db names another file, which is created the same way; the first is left alone.
  auto before = std::filesystem::last_write_time(dir / "data" / "boleto.db");
  Process other =
      spawn({BOLETO_CLI, "--db", (dir / "outro.db").string(), "account", "001", "--company", "08"},
            dir.c_str());
  shown = readAll(other.out);
  EXPECT_EQ(waitFor(other.pid), 0) << shown;
  EXPECT_NE(shown.find("CDBANCCNAB      025"), std::string::npos) << shown;
  EXPECT_TRUE(std::filesystem::exists(dir / "outro.db"));
  EXPECT_EQ(std::filesystem::last_write_time(dir / "data" / "boleto.db"), before);

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
