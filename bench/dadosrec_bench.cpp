// Confirming "Dados para Recebimento" replicated to 10,000 marked boletos: the register's
// whole confirmation (checks, the position row, the fine and interest of every marked boleto,
// SetDadosRec in one transaction, the reload and the marks restored), in-process (target under
// 1 s) and over loopback HTTP (target under 2 s). Then the same 10,000 marked boletos extended
// from "Prorrogação" (the selection, SetProrrogacao in one transaction with one prepared
// statement per step, the reload and the marks restored), with the same targets. A whole-run
// timer: each run changes the database, so each is timed once.
//
//   build-rel/bench/dadosrec_bench [runs] [dadosrec|extend]
//
// The seeded database is made again in the temporary folder at each start.

#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "bench/ProcessorTime.h"
#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Host.h"
#include "module/RemoteHostDatabase.h"
#include "module/ScreenHost.h"
#include "module/Units.h"
#include "records/Tables.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

constexpr int kMarked = 10000;

double seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

struct Run {
  std::shared_ptr<service::Service> svc;
  std::unique_ptr<remote::HttpServer> server;
  std::thread serving;
  std::shared_ptr<host::ScriptedDialogs> dialogs = std::make_shared<host::ScriptedDialogs>();
  std::shared_ptr<rec::HeadlessScreenHost> screens = std::make_shared<rec::HeadlessScreenHost>();
  std::shared_ptr<const host::Clock> clock = std::make_shared<host::SystemClock>();
  std::optional<host::HostScope> host_;
  rec::TfrmHabContRec* f = nullptr;

  explicit Run(bool http) {
    const auto dir = std::filesystem::temp_directory_path() /
                     (http ? "boleto-dadosrec-bench-http" : "boleto-dadosrec-bench");
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    svc = service::openService((dir / "bench.db").string(), clock);
    service::SeedOptions o;
    o.password = "bench";
    o.extraBoletos = kMarked;
    o.today = clock->today();
    service::seed(*svc->db, o);
    host::ContextSettings s;
    s.company = "04";
    s.branch = "0001";
    std::shared_ptr<remote::TransportFactory> transport;
    if (http) {
      server = std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth);
      s.webUrl = "127.0.0.1";
      s.webPort = server->bind("127.0.0.1", 0);
      serving = std::thread([this] { server->serve(); });
      transport = std::make_shared<remote::HttpTransportFactory>("demo", "bench");
    } else {
      transport = std::make_shared<remote::InProcessTransportFactory>(svc->dispatcher, "demo");
    }
    host_.emplace(host::Host{.context = std::make_shared<host::ConfiguredContext>(s),
                             .dialogs = dialogs,
                             .database = std::make_shared<rec::RemoteHostDatabase>(),
                             .screens = screens,
                             .transport = transport,
                             .clock = clock});
    rec::initializeUnits();
    screens->onModal("TfrmFiltroHabRec", [](host::ScreenModel& m) {
      auto& flt = dynamic_cast<rec::TfrmFiltroHabRec&>(m);
      flt.control("edtDtVencIni").setText("01/01/2000");
      flt.control("edtDtVencFin").setText("31/12/2099");
      flt.control("sbtConfirma").click();
    });
    rec::IniProc();
    f = rec::frmHabContRec();
    f->control("medEmpresa").setFocus();
    f->control("medEmpresa").type("04");
    f->focusList();
    markAdded();
  }
  ~Run() {
    if (f != nullptr) f->close();
    host_.reset();
    if (server) {
      server->stop();
      serving.join();
    }
  }

  // The pending boletos of account 001, marked as the marking leaves them (without its
  // questions, which are the marking benchmark's business).
  void markAdded() {
    host::DetachedEvents noRules(f->cdsBoletos);
    host::FrozenDataset frozen(f->cdsBoletos);
    for (f->cdsBoletos.first(); !f->cdsBoletos.eof(); f->cdsBoletos.next()) {
      if (f->cdsBoletos.valueOf("IDSTATBREC").asString() != "A" ||
          f->cdsBoletos.valueOf("CDREDUCONT").asString() != "001") {
        continue;
      }
      f->cdsBoletos.edit();
      f->cdsBoletos.fieldByName("IDMARCADO").setString("M");
      f->cdsBoletos.post();
      f->cdsMarca.append();
      for (const auto& def : f->cdsMarca.fieldDefs()) {
        f->cdsMarca.fieldByName(def.name).setValue(f->cdsBoletos.valueOf(def.name));
      }
      f->cdsMarca.post();
    }
    f->cdsBoletos.mergeChangeLog();
    f->cdsMarca.mergeChangeLog();
  }

  // One confirmation: a new fine percentage and portfolio type on the current boleto,
  // replicated. Answers the seconds it took.
  double confirm(int n) {
    f->cdsBoletos.locate(records::kBoletoKeyFields,
                         {host::Value("0001"), host::Value("0000000001")});
    f->Alterar();
    f->control("edtCDTPBAIXAREC").setFocus();
    f->control("edtCDTPBAIXAREC").type("1");
    f->focusList();
    f->control("dbePeMulta").setFocus();
    f->control("dbePeMulta").type(fmt::format("{},5", 2 + n));
    f->focusList();
    f->control("cbxIDCARTCOBREC").choose(1 + n % 4);
    dialogs->expectQuestion("gravado em todos os boletos marcados", true)
        .expectQuestion("cancelados da remessa", true);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = bench::processorSeconds();
    f->Confirmar();
    cpu = bench::processorSeconds() - cpuStart;
    return seconds(std::chrono::steady_clock::now() - start);
  }
  // The processor time of the last confirmation or extension, every thread of the process
  // (the HTTP server's included): on a shared machine the wall time says more about the
  // neighbours.
  double cpu = 0;

  // One extension of every marked boleto to `to`. Answers the seconds it took.
  double extend(const host::DateTime& to) {
    f->cdsBoletos.locate(records::kBoletoKeyFields,
                         {host::Value("0001"), host::Value("0000000001")});
    f->pageControl("pgcPadrao").showPage("tshProrrogacao");
    f->control("edtNovaData").type(to.format("dd/mm/yyyy"));
    f->control("edtCDMOTIPROR").type("1");
    dialogs->expectQuestion("prorrogar todos os boletos", true);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = bench::processorSeconds();
    f->Confirmar();
    const double s = seconds(std::chrono::steady_clock::now() - start);
    cpu = bench::processorSeconds() - cpuStart;
    f->pageControl("pgcPadrao").showPage("tshFolhaDados");
    return s;
  }
};

void measure(bool http, int runs, double target) {
  Run run(http);
  const size_t marked = run.f->cdsMarca.recordCount();
  for (int n = 0; n < runs; ++n) {
    const double s = run.confirm(n);
    int written = 0;
    run.svc->db->session() << "SELECT COUNT(*) FROM BOLRECEBER WHERE VRPEMULBREC = :p",
        soci::use(2.5 + n), soci::into(written);
    fmt::print(
        "{:<11} marked {:>6}  written {:>6}  {:.3f} s  cpu {:.3f} s  (target < {:.0f} s){}\n",
        http ? "HTTP" : "in-process", marked, written, s, run.cpu, target,
        s < target ? "" : "  OVER TARGET");
  }
}

void measureExtension(bool http, int runs, double target) {
  Run run(http);
  const size_t marked = run.f->cdsMarca.recordCount();
  for (int n = 0; n < runs; ++n) {
    const host::DateTime to = run.clock->today().addDays(200 + n);
    const double s = run.extend(to);
    int written = 0;
    const std::string day = to.iso().substr(0, 10);
    run.svc->db->session() << "SELECT COUNT(*) FROM BOLRECEBER WHERE DTVENBOLREC = :d",
        soci::use(day), soci::into(written);
    fmt::print(
        "{:<11} extended of {:>6} marked: {:>6}  {:.3f} s  cpu {:.3f} s  (target < {:.0f} s){}\n",
        http ? "HTTP" : "in-process", marked, written, s, run.cpu, target,
        s < target ? "" : "  OVER TARGET");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const std::string only = argc > 2 ? argv[2] : "";
  if (only.empty() || only == "dadosrec") {
    measure(false, runs, 1.0);
    measure(true, runs, 2.0);
  }
  if (only.empty() || only == "extend") {
    measureExtension(false, runs, 1.0);
    measureExtension(true, runs, 2.0);
  }
  return 0;
}
