// Calls per second of a small read method (GetCont_Corr) through the remote layer: over
// loopback HTTP and in-process, from one client and from four at once. Each client has its
// own connection, as each operator's process would.
//
//   build-service/bench/remote_bench --benchmark_min_time=2

#include <benchmark/benchmark.h>

#include <filesystem>
#include <optional>
#include <thread>

#include "host/Context.h"
#include "host/Host.h"
#include "records/Methods.h"
#include "remote/Connection.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

struct Fixture {
  std::filesystem::path dir;
  std::shared_ptr<service::Service> svc;
  std::unique_ptr<remote::HttpServer> server;
  std::thread serving;
  std::shared_ptr<remote::TransportFactory> http, inProcess;
  std::shared_ptr<const host::Clock> clock = std::make_shared<host::SystemClock>();
  std::optional<host::HostScope> host_;

  Fixture() {
    dir = std::filesystem::temp_directory_path() / "boleto-remote-bench";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    svc = service::openService((dir / "bench.db").string(), clock);
    service::SeedOptions o;
    o.password = "bench";
    o.extraBoletos = 1000;
    o.today = clock->today();
    service::seed(*svc->db, o);
    server = std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth);
    int port = server->bind("127.0.0.1", 0);
    serving = std::thread([this] { server->serve(); });
    host::ContextSettings s;
    s.company = "04";
    s.webUrl = "127.0.0.1";
    s.webPort = port;
    host_.emplace(
        host::Host{.context = std::make_shared<host::ConfiguredContext>(s), .clock = clock});
    http = std::make_shared<remote::HttpTransportFactory>("demo", "bench");
    inProcess = std::make_shared<remote::InProcessTransportFactory>(svc->dispatcher, "demo");
  }
  ~Fixture() {
    server->stop();
    serving.join();
    svc.reset();
    std::filesystem::remove_all(dir);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

void calls(benchmark::State& state, bool overHttp) {
  auto& f = fixture();
  remote::Connection conn(rpc::kHabContRec, overHttp ? f.http : f.inProcess);
  if (!conn.connect()) {
    state.SkipWithError(conn.lastError().c_str());
    return;
  }
  for (auto _ : state) {
    std::string code = "001";
    auto packet = rpc::call(conn, rpc::GetCont_Corr{.CDREDUCONT = code});
    benchmark::DoNotOptimize(packet);
  }
  state.SetItemsProcessed(state.iterations());
}

// The floor under every call: transport, dispatch and an empty transaction.
void floor(benchmark::State& state, bool overHttp) {
  auto& f = fixture();
  remote::Connection conn(rpc::kAcesso, overHttp ? f.http : f.inProcess);
  if (!conn.connect()) {
    state.SkipWithError(conn.lastError().c_str());
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(rpc::call(conn, rpc::Operador{}));
  state.SetItemsProcessed(state.iterations());
}

void BM_Operador_Http(benchmark::State& state) {
  floor(state, true);
}
void BM_Operador_InProcess(benchmark::State& state) {
  floor(state, false);
}
void BM_GetContCorr_Http(benchmark::State& state) {
  calls(state, true);
}
void BM_GetContCorr_InProcess(benchmark::State& state) {
  calls(state, false);
}

}  // namespace

BENCHMARK(BM_GetContCorr_Http)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK(BM_GetContCorr_InProcess)->Threads(1)->Threads(4)->UseRealTime();

BENCHMARK(BM_Operador_Http)->Threads(1)->Threads(4)->UseRealTime();
BENCHMARK(BM_Operador_InProcess)->Threads(1)->Threads(4)->UseRealTime();

BENCHMARK_MAIN();
