// The register's list at scale: 100,000 boletos of one company travel from the service's
// Filtro through a data packet and the wire into a client dataset, which then orders them by
// FTR_PARCNUM, as the register shows them. Timed whole, in-process and over loopback HTTP,
// and in its stages (the service alone; the dataset alone).
//
//   build-b/bench/register_bench                      (target: under 1 s in-process, 2 s HTTP)
//
// The list is loaded with remote::appendPacketRows, which takes a packed packet's rows as
// they are; a caller that goes through packetJson() pays for a JSON tree of every row.
//
// The seeded database is kept in the temporary folder between runs (seeding takes a while);
// BOLETO_BENCH_RESEED=1 seeds it again, BOLETO_BENCH_DIR names another folder for it.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "bench/FiltroArgs.h"
#include "host/ClientDataset.h"
#include "host/Context.h"
#include "host/Host.h"
#include "module/Records.h"
#include "records/Tables.h"
#include "remote/Connection.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

constexpr int kBoletos = 100000;
constexpr const char* kPassword = "bench";

struct Fixture {
  std::filesystem::path dir;
  std::shared_ptr<service::Service> svc;
  std::unique_ptr<remote::HttpServer> server;
  std::thread serving;
  std::shared_ptr<remote::TransportFactory> http, inProcess;
  std::shared_ptr<const host::Clock> clock = std::make_shared<host::SystemClock>();
  std::optional<host::HostScope> host_;

  Fixture() {
    const char* where = std::getenv("BOLETO_BENCH_DIR");
    dir = where && *where ? std::filesystem::path(where)
                          : std::filesystem::temp_directory_path() / "boleto-register-bench";
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
      o.password = kPassword;
      o.extraBoletos = kBoletos;
      o.today = clock->today();
      service::seed(*svc->db, o);
    }
    server = std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth);
    int port = server->bind("127.0.0.1", 0);
    serving = std::thread([this] { server->serve(); });
    host::ContextSettings s;
    s.company = "04";
    s.webUrl = "127.0.0.1";
    s.webPort = port;
    host_.emplace(
        host::Host{.context = std::make_shared<host::ConfiguredContext>(s), .clock = clock});
    http = std::make_shared<remote::HttpTransportFactory>("demo", kPassword);
    inProcess = std::make_shared<remote::InProcessTransportFactory>(svc->dispatcher, "demo");
  }
  ~Fixture() {
    server->stop();
    serving.join();
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

std::vector<remote::Arg> filtroCallArgs(std::vector<remote::Variant>& v) {
  std::vector<remote::Arg> args;
  for (size_t i = 0; i < v.size(); ++i) {
    // The list and key arguments are in-out, as the filter passes them.
    const bool ref = v[i].kind() == remote::Variant::Kind::Text && i != 0 && i != 2;
    args.push_back(ref ? remote::Arg::ref(v[i]) : remote::Arg(v[i]));
  }
  return args;
}

// As the register fills its list: the rows appended to a dataset of the boleto record.
void loadSorted(const remote::Variant& packet, host::ClientDataset& cdsBoletos) {
  cdsBoletos.setFieldDefs(records::BoletoRecord().fields());
  cdsBoletos.createDataset();
  remote::appendPacketRows(cdsBoletos, packet);
  cdsBoletos.setIndexFieldNames("FTR_PARCNUM");
  cdsBoletos.first();
}

void wholeList(benchmark::State& state, bool overHttp) {
  auto& f = fixture();
  remote::Connection conn("Rec12000.rdmHabContRec", overHttp ? f.http : f.inProcess);
  if (!conn.connect()) {
    state.SkipWithError(conn.lastError().c_str());
    return;
  }
  size_t rows = 0;
  for (auto _ : state) {
    auto v = bench::filtroArgs();
    host::ClientDataset cdsBoletos("cdsBoletos");
    loadSorted(remote::CheckResultServ(conn.call("Filtro", filtroCallArgs(v))), cdsBoletos);
    rows = cdsBoletos.recordCount();
  }
  state.counters["rows"] = static_cast<double>(rows);
  if (rows < kBoletos) state.SkipWithError("the list is shorter than the seeded boletos");
}

// The service alone: Filtro through the dispatcher, the packet built and dropped.
void BM_Filtro_Service(benchmark::State& state) {
  auto& f = fixture();
  remote::Request req;
  req.object = "Rec12000.rdmHabContRec";
  req.method = "Filtro";
  req.company = "04";
  req.args = bench::filtroArgs();
  req.byRef.assign(req.args.size(), false);
  for (auto _ : state) {
    auto reply = f.svc->dispatcher->handle("demo", req);
    if (!reply.ok()) state.SkipWithError(reply.text.c_str());
    benchmark::DoNotOptimize(reply);
  }
}

// The dataset alone: a packet already in memory loaded and ordered.
void BM_Filtro_LoadAndSort(benchmark::State& state) {
  auto& f = fixture();
  remote::Request req;
  req.object = "Rec12000.rdmHabContRec";
  req.method = "Filtro";
  req.company = "04";
  req.args = bench::filtroArgs();
  req.byRef.assign(req.args.size(), false);
  auto reply = f.svc->dispatcher->handle("demo", req);
  if (!reply.ok()) {
    state.SkipWithError(reply.text.c_str());
    return;
  }
  for (auto _ : state) {
    host::ClientDataset cdsBoletos("cdsBoletos");
    loadSorted(reply.result, cdsBoletos);
    benchmark::DoNotOptimize(cdsBoletos.recordCount());
  }
}

void BM_Filtro_InProcess(benchmark::State& state) {
  wholeList(state, false);
}
void BM_Filtro_Http(benchmark::State& state) {
  wholeList(state, true);
}

}  // namespace

BENCHMARK(BM_Filtro_Service)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Filtro_LoadAndSort)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Filtro_InProcess)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Filtro_Http)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

BENCHMARK_MAIN();
