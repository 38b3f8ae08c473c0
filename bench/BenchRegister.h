#pragma once
// What the whole-run benchmarks of the register's batch roads share: a freshly seeded SQLite
// database with N extra pending boletos of account 001, the service in-process or behind a
// loopback HTTP server, the host's ports (dialogs that answer yes and keep what they were
// shown), and the register opened on company 04 with those boletos marked.

#include <fmt/format.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Host.h"
#include "host/ScopedFlag.h"
#include "module/RemoteHostDatabase.h"
#include "module/ScreenHost.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace bench {

namespace fs = std::filesystem;

inline constexpr const char* kPassword = "bench";

/// Answers every question yes and counts what else was shown.
class QuietDialogs final : public host::Dialogs {
 public:
  bool question(const std::string&, const std::string&) override { return true; }
  void information(const std::string& t, const std::string&) override { last = t; }
  void error(const std::string& t, const std::string&) override {
    ++errors;
    last = t;
  }
  int msgAlertEx(const std::string&, const std::string&, const std::vector<std::string>&) override {
    return host::kMsgAlertFirstButton;
  }
  void showWait(bool) override {}
  std::optional<std::string> selectFolder(const std::string&, const std::string&) override {
    return {};
  }
  std::optional<std::string> saveFile(const std::string&, const std::string&, const std::string&,
                                      const std::string&) override {
    return {};
  }
  std::optional<int> pickList(const std::string&, const std::vector<std::string>&) override {
    return {};
  }
  std::optional<std::vector<int>> pickMany(const std::string&, const std::vector<std::string>&,
                                           const std::vector<int>&) override {
    return {};
  }
  int errors = 0;
  std::string last;
};

inline double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

/// The process's peak resident memory so far, in MB.
inline long peakMemoryMb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss / 1024;
}

/// One benchmark run: its folder, database, service, host and register. `prepare` runs on the
/// seeded database before the register opens (a run's own settings).
class BenchRegister {
 public:
  BenchRegister(int count, bool http, const std::function<void(soci::session&)>& prepare = {})
      : dir(fs::temp_directory_path() / fmt::format("boleto-bench-{}", std::random_device{}())) {
    fs::create_directories(dir / "rel");
    // A run of the benchmark is a run of today: the machine's clock, installed once.
    auto clock = std::make_shared<host::SystemClock>();
    svc = service::openService((dir / "bench.db").string(), clock);
    service::SeedOptions o;
    o.password = kPassword;
    o.extraBoletos = count;
    o.today = clock->today();
    service::seed(*svc->db, o);
    if (prepare) prepare(svc->db->session());

    int port = 8211;
    std::shared_ptr<remote::TransportFactory> factory;
    if (http) {
      server = std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth);
      port = server->bind("127.0.0.1", 0);
      serving = std::thread([this] { server->serve(); });
      factory = std::make_shared<remote::HttpTransportFactory>("demo", kPassword);
    } else {
      factory = std::make_shared<remote::InProcessTransportFactory>(svc->dispatcher, "demo");
    }
    rec::netHabContRec().setFactory(nullptr);
    host::ContextSettings s;
    s.company = "04";
    s.branch = "0001";
    s.processingDate = clock->today();
    s.reportDir = (dir / "rel").string() + "/";
    s.webUrl = "127.0.0.1";
    s.webPort = port;
    host.emplace(host::Host{.context = std::make_shared<host::ConfiguredContext>(s),
                            .dialogs = dialogs,
                            .database = std::make_shared<rec::RemoteHostDatabase>(),
                            .screens = screens,
                            .transport = factory,
                            .clock = clock});
    rec::initializeUnits();
    screens->onModal("TfrmFiltroHabRec", [](host::ScreenModel& m) {
      auto& f = dynamic_cast<rec::TfrmFiltroHabRec&>(m);
      f.control("edtDtVencIni").setText("01/01/2000");
      f.control("edtDtVencFin").setText("31/12/2099");
      f.control("rgpStatus").setItemIndex(2);
      f.control("rgpContaCorr").choose(1);
      f.stListaCCorr = "001";
      f.control("sbtConfirma").click();
    });
    rec::IniProc();
    reg = rec::frmHabContRec();
    reg->control("medEmpresa").setFocus();
    reg->control("medEmpresa").type("04");
    reg->focusList();
  }

  ~BenchRegister() {
    if (reg != nullptr) {
      reg->busy = false;
      reg->close();
    }
    rec::netHabContRec().disconnect();
    host.reset();
    if (server) {
      server->stop();
      serving.join();
    }
    svc.reset();
    fs::remove_all(dir);
  }

  BenchRegister(const BenchRegister&) = delete;
  BenchRegister& operator=(const BenchRegister&) = delete;

  /// Marks up to `count` boletos that were not emitted; how many were marked.
  int markPending(int count) {
    int marked = 0;
    host::ScopedFlag marking(reg->bMarcaGeral);
    for (size_t r = 1; r <= reg->cdsBoletos.recordCount() && marked < count; ++r) {
      reg->cdsBoletos.setRecNo(r);
      if (reg->current("IDSTATBREC").asString() == "E") continue;
      reg->Marca_Boleto(false, 'M');
      ++marked;
    }
    return marked;
  }

  fs::path dir;
  std::shared_ptr<service::Service> svc;
  std::unique_ptr<remote::HttpServer> server;
  std::thread serving;
  std::shared_ptr<QuietDialogs> dialogs = std::make_shared<QuietDialogs>();
  std::shared_ptr<rec::HeadlessScreenHost> screens = std::make_shared<rec::HeadlessScreenHost>();
  std::optional<host::HostScope> host;
  rec::TfrmHabContRec* reg = nullptr;
};

}  // namespace bench
