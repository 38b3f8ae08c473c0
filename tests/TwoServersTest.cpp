// Two boleto-server instances on one PostgreSQL database behind the clients' list of server
// addresses: the clients are spread over both, one instance is killed in the middle of the
// run, and every client finishes its run on the other without losing a step.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "host/ClientDataset.h"
#include "host/Context.h"
#include "host/Host.h"
#include "remote/Connection.h"
#include "remote/Transports.h"
#include "service/tests/TestStorage.h"
#include "tests/Processes.h"

namespace {

struct Instance {
  Process process;
  int port = 0;
  std::string log;
};

Instance startServer(const std::string& db, const std::filesystem::path& log) {
  Instance i;
  i.log = log.string();
  i.process =
      spawn({BOLETO_SERVER, "serve", "--db", db, "--listen", "127.0.0.1:0", "--log", i.log});
  const std::string banner = readLine(i.process.out);
  const auto colon = banner.rfind(':');
  if (colon == std::string::npos) throw std::runtime_error("no banner: " + banner);
  i.port = std::stoi(banner.substr(colon + 1));
  return i;
}

int linesWith(const std::string& file, const std::string& part) {
  std::ifstream in(file);
  int n = 0;
  for (std::string line; std::getline(in, line);)
    if (line.find(part) != std::string::npos) ++n;
  return n;
}

/// Reaches the service at a list of its own, whatever the context says: each client here
/// lists the servers in its own order.
class AtAddress final : public remote::TransportFactory {
 public:
  AtAddress(std::shared_ptr<remote::TransportFactory> inner, std::string address)
      : inner_(std::move(inner)), address_(std::move(address)) {}
  std::unique_ptr<remote::Transport> open(const std::string&, int port,
                                          std::string& error) override {
    return inner_->open(address_, port, error);
  }

 private:
  std::shared_ptr<remote::TransportFactory> inner_;
  std::string address_;
};

remote::Variant optionsPacket(int client, int step) {
  host::ClientDataset ds("cdsOpcoes");
  auto field = [](const char* name) {
    host::FieldDef f;
    f.name = name;
    f.type = host::FieldType::String;
    f.size = 60;
    return f;
  };
  ds.setFieldDefs({field("NMCHAVE"), field("TXVALOR")});
  ds.createDataset();
  for (const auto& [key, value] : {std::pair{std::string("cliente"), std::to_string(client)},
                                   std::pair{std::string("passo"), std::to_string(step)}}) {
    ds.append();
    ds.field(0).setValue(host::Value(key));
    ds.field(1).setValue(host::Value(value));
    ds.post();
  }
  ds.mergeChangeLog();
  return remote::Variant::packet(ds.toPacket());
}

}  // namespace

TEST(TwoServers, ClientsSpreadOverBothFinishOnTheSurvivorWhenOneIsKilledAndNothingIsLost) {
  if (!service::testing::TestStorage::usingPostgresql())
    GTEST_SKIP() << "two instances share a PostgreSQL database; this suite runs on SQLite";
  std::random_device rd;
  const auto dir = std::filesystem::temp_directory_path() / ("boleto-two-" + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  service::testing::TestStorage storage(dir);

  setenv("BOLETO_PASSWORD", "senha-das-duas", 1);
  Process seeding = spawn({BOLETO_SERVER, "seed", "--demo", "--db", storage.where()});
  readAll(seeding.out);
  unsetenv("BOLETO_PASSWORD");
  ASSERT_EQ(waitFor(seeding.pid), 0);

  Instance a = startServer(storage.where(), dir / "a.log");
  Instance b = startServer(storage.where(), dir / "b.log");
  const std::string addressA = "http://127.0.0.1:" + std::to_string(a.port);
  const std::string addressB = "http://127.0.0.1:" + std::to_string(b.port);

  host::ContextSettings settings;
  settings.company = "04";
  settings.webPort = 8211;
  host::HostScope scope({.context = std::make_shared<host::ConfiguredContext>(settings)});

  constexpr int kClients = 6, kSteps = 60;
  std::atomic<int> acknowledged{0}, interrupted{0};
  std::mutex failuresMutex;
  std::vector<std::string> failures;
  auto run = [&](int client) {
    // Half the clients list A first, half B first: both serve from the start.
    const std::string servers =
        client % 2 == 0 ? addressA + "," + addressB : addressB + "," + addressA;
    auto factory = std::make_shared<AtAddress>(
        std::make_shared<remote::HttpTransportFactory>("demo", "senha-das-duas"), servers);
    remote::Connection c("Host.rdmOpcoes", factory);
    for (int step = 1; step <= kSteps; ++step) {
      for (int attempt = 0;; ++attempt) {
        if (attempt > 5) {
          std::lock_guard lock(failuresMutex);
          failures.push_back("client " + std::to_string(client) + " gave up at step " +
                             std::to_string(step));
          return;
        }
        if (!c.connected()) c.connect();
        auto r = c.call("SalvaOpcoes",
                        {remote::Arg("T" + std::to_string(client)), optionsPacket(client, step)});
        if (r.reply.ok()) break;
        if (r.reply.failure != remote::Failure::Transport) {
          std::lock_guard lock(failuresMutex);
          failures.push_back(r.reply.key + ": " + r.reply.text);
          return;
        }
        // The server died under this call: it is done again, on the other one.
        ++interrupted;
      }
      ++acknowledged;
    }
  };
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) clients.emplace_back(run, i);
  while (acknowledged < kClients * kSteps / 3)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(a.process.pid, SIGKILL);
  waitFor(a.process.pid);
  for (auto& t : clients) t.join();
  EXPECT_TRUE(failures.empty()) << failures.front();
  EXPECT_EQ(acknowledged, kClients * kSteps);

  // Every client's last step is stored, read back through the survivor.
  remote::Connection check(
      "Host.rdmOpcoes",
      std::make_shared<AtAddress>(
          std::make_shared<remote::HttpTransportFactory>("demo", "senha-das-duas"), addressB));
  ASSERT_TRUE(check.connect()) << check.lastError();
  for (int i = 0; i < kClients; ++i) {
    host::ClientDataset saved("saved");
    remote::loadPacket(
        saved, remote::CheckResultServ(check.call("CarregaOpcoes", {"T" + std::to_string(i)})));
    ASSERT_EQ(saved.recordCount(), 2u) << "client " << i;
    ASSERT_TRUE(saved.locate("NMCHAVE", {host::Value("passo")}));
    EXPECT_EQ(saved.valueOf("TXVALOR").asString(), std::to_string(kSteps)) << "client " << i;
  }
  // Both served calls before the kill, and the clients of the dead one went on with the
  // session they had: one login per client, whichever server took it.
  EXPECT_GT(linesWith(a.log, "Host.rdmOpcoes.SalvaOpcoes"), 0);
  EXPECT_GT(linesWith(b.log, "Host.rdmOpcoes.SalvaOpcoes"), 0);
  EXPECT_EQ(linesWith(a.log, " login ") + linesWith(b.log, " login "), kClients + 1);

  kill(b.process.pid, SIGTERM);
  EXPECT_EQ(waitFor(b.process.pid), 0);
  close(a.process.out);
  close(b.process.out);
  std::filesystem::remove_all(dir);
}
