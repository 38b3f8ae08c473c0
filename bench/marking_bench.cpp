// Marking in the register at scale: the seeded demo plus 100,000 pending boletos of company
// 04 listed by the register's own filter, in-process; then mark all through the mark
// column's title (target under 1 s), and toggling one boleto (target under 1 ms), on a list
// with nothing marked and on one with everything marked.
//
//   build-rel/bench/marking_bench --benchmark_min_time=0.5
//
// The seeded database is kept in the temporary folder between runs (seeding takes a while);
// BOLETO_BENCH_RESEED=1 seeds it again.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "host/Context.h"
#include "host/Dialogs.h"
#include "host/Host.h"
#include "module/Records.h"
#include "module/RemoteHostDatabase.h"
#include "module/ScreenHost.h"
#include "module/SharedConnection.h"
#include "module/Units.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

constexpr int kBoletos = 100000;

struct Fixture {
  std::shared_ptr<service::Service> svc;
  std::shared_ptr<host::ScriptedDialogs> dialogs = std::make_shared<host::ScriptedDialogs>();
  std::shared_ptr<rec::HeadlessScreenHost> screens = std::make_shared<rec::HeadlessScreenHost>();
  std::shared_ptr<const host::Clock> clock = std::make_shared<host::SystemClock>();
  std::optional<host::HostScope> host_;
  rec::TfrmHabContRec* f = nullptr;

  Fixture() {
    const auto dir = std::filesystem::temp_directory_path() / "boleto-marking-bench";
    const auto db = dir / "bench.db";
    const char* reseed = std::getenv("BOLETO_BENCH_RESEED");
    const bool fresh = !std::filesystem::exists(db) || (reseed && *reseed == '1');
    if (fresh) {
      std::filesystem::remove_all(dir);
      std::filesystem::create_directories(dir);
    }
    svc = service::openService(db.string(), clock);
    if (fresh) {
      service::SeedOptions o;
      o.password = "bench";
      o.extraBoletos = kBoletos;
      o.today = clock->today();
      service::seed(*svc->db, o);
    }
    host::ContextSettings s;
    s.company = "04";
    s.branch = "0001";
    host_.emplace(host::Host{
        .context = std::make_shared<host::ConfiguredContext>(s),
        .dialogs = dialogs,
        .database = std::make_shared<rec::RemoteHostDatabase>(),
        .screens = screens,
        .transport = std::make_shared<remote::InProcessTransportFactory>(svc->dispatcher, "demo"),
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
  }

  // Every mark gone, as after the list was reloaded.
  void unmarked() {
    f->Desmarca_Boletos();
    f->klMarcados.Clear();
    f->klVencimentos.Clear();
    f->klOrcamentos.Clear();
    f->nMarcEmitidos = f->nMarcOutros = 0;
    f->setTotals(0, 0);
  }

  void markAll() {
    dialogs->expectQuestion("Deseja marcar todos", true);
    f->dbgPadraoTitleClick("IDMARCADO");
  }

  // A pending boleto of a customer with nothing open: marking it asks nothing.
  void onQuietBoleto() {
    f->cdsBoletos.locate("CDCLIENTE;IDSTATBREC",
                         {host::Value("000000000000000000101"), host::Value("A")});
  }
};

Fixture& fixture() {
  static Fixture fx;
  return fx;
}

void BM_MarkAll(benchmark::State& state) {
  auto& fx = fixture();
  if (fx.f->cdsBoletos.recordCount() < kBoletos) {
    state.SkipWithError("the list is shorter than the seeded boletos");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    fx.unmarked();
    state.ResumeTiming();
    fx.markAll();
  }
  state.counters["rows"] = static_cast<double>(fx.f->cdsBoletos.recordCount());
  state.counters["marked"] = static_cast<double>(fx.f->cdsMarca.recordCount());
}
BENCHMARK(BM_MarkAll)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ToggleOne(benchmark::State& state) {
  auto& fx = fixture();
  fx.unmarked();
  fx.onQuietBoleto();
  for (auto _ : state) fx.f->Marca_Boleto(false, 'T');
  if (fx.f->markedCount > 1) state.SkipWithError("toggling marked more than one boleto");
}
BENCHMARK(BM_ToggleOne)->Unit(benchmark::kMicrosecond);

void BM_ToggleOneInAMarkedList(benchmark::State& state) {
  auto& fx = fixture();
  fx.unmarked();
  fx.markAll();
  fx.onQuietBoleto();
  for (auto _ : state) fx.f->Marca_Boleto(false, 'T');
  state.counters["marked"] = static_cast<double>(fx.f->cdsMarca.recordCount());
}
BENCHMARK(BM_ToggleOneInAMarkedList)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
