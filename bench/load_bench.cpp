// Many operators on one server over loopback HTTP, each with a session and a connection of
// its own, calling without pause for a fixed time: calls answered, errors, and the latency
// of the calls (median, 99th percentile, worst). A whole-run timer, not Google Benchmark.
//
//   load_bench --clients 50 --seconds 20 --call filtro     # Filtro listing 2,000 boletos
//   load_bench --clients 200 --seconds 20 --call light     # Host.rdmAcesso.Operador
//   load_bench ... --db postgresql:///boleto_bench          # on PostgreSQL (an empty database)
//   load_bench ... --server http://host:8211 --password-file F   # against a running server
//   load_bench --breakdown 200       # one caller: processor time of each step of one Filtro
//
// Without --server it seeds a fresh database (2,000 boletos of company 04) and serves it from
// this process with the server's default limits.

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <semaphore>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bench/FiltroArgs.h"
#include "bench/ProcessorTime.h"
#include "host/Context.h"
#include "host/DateTime.h"
#include "host/Host.h"
#include "remote/Connection.h"
#include "remote/Credentials.h"
#include "remote/HttpServer.h"
#include "remote/Transports.h"
#include "service/Seed.h"
#include "service/Service.h"

namespace {

using Clock = std::chrono::steady_clock;

double threadSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// The processor time of each step of one Filtro, one call at a time on this thread: the
// service's handler (query and packed rows), the reply's text, and the client's reading of it.
void breakdown(service::Service& svc, int calls) {
  remote::Request req;
  req.object = "Rec12000.rdmHabContRec";
  req.method = "Filtro";
  req.company = "04";
  req.args = bench::filtroArgs();
  double handle = 0, write = 0, read = 0;
  size_t bytes = 0, rows = 0;
  for (int i = 0; i < calls; ++i) {
    const double t0 = threadSeconds();
    remote::Reply r = svc.dispatcher->handle("demo", req);
    const double t1 = threadSeconds();
    const std::string text = remote::writeReply(r);
    const double t2 = threadSeconds();
    remote::Reply back = remote::readReply(text);
    const double t3 = threadSeconds();
    if (!r.ok() || !back.ok() || !back.result.packedPacket())
      throw std::runtime_error("Filtro failed: " + r.key + " " + r.text);
    handle += t1 - t0;
    write += t2 - t1;
    read += t3 - t2;
    bytes = text.size();
    rows = back.result.packedPacket()->rowCount();
  }
  const double n = calls;
  fmt::print("Filtro, {} rows, {} bytes; processor ms per call over {} calls:\n", rows, bytes,
             calls);
  fmt::print("  service {:.2f}, reply text {:.2f}, client reading {:.2f}, total {:.2f}\n",
             1e3 * handle / n, 1e3 * write / n, 1e3 * read / n, 1e3 * (handle + write + read) / n);
}

struct Outcome {
  std::vector<double> ms;
  size_t rows = 0;
  std::map<std::string, int> errors;
};

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"load_bench: many operators calling one server over loopback HTTP"};
  int clients = 50, seconds = 20;
  std::string call = "filtro", db, server, passwordFile;
  app.add_option("--clients", clients)->capture_default_str();
  app.add_option("--seconds", seconds)->capture_default_str();
  app.add_option("--call", call, "filtro (2,000 rows) or light (Operador)")
      ->check(CLI::IsMember({"filtro", "light"}))
      ->capture_default_str();
  app.add_option("--db", db, "database to seed and serve (default: a fresh SQLite file)");
  app.add_option("--server", server, "a running server instead (its demo data already loaded)");
  app.add_option("--password-file", passwordFile, "the demo password for --server");
  int breakdownCalls = 0;
  app.add_option("--breakdown", breakdownCalls,
                 "instead of the load: N Filtro calls by one caller, each step's processor time");
  CLI11_PARSE(app, argc, argv);

  std::shared_ptr<service::Service> svc;
  std::unique_ptr<remote::HttpServer> http;
  std::thread serving;
  std::string password = "bench";
  const auto dir = std::filesystem::temp_directory_path() / "boleto-load-bench";
  if (server.empty()) {
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    svc = service::openService(db.empty() ? (dir / "bench.db").string() : db,
                               std::make_shared<host::SystemClock>());
    service::SeedOptions o;
    o.password = password;
    o.today = svc->clock->today();
    o.extraBoletos = 2000 - 12;  // the demo data has 12 boletos of company 04
    service::seed(*svc->db, o);
    if (breakdownCalls > 0) {
      breakdown(*svc, breakdownCalls);
      svc.reset();
      if (db.empty()) std::filesystem::remove_all(dir);
      return 0;
    }
    http = std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth);
    server = "127.0.0.1:" + std::to_string(http->bind("127.0.0.1", 0));
    serving = std::thread([&] { http->serve(); });
  } else {
    password = remote::readPassword(passwordFile, "BOLETO_PASSWORD", "Senha de demo: ");
  }
  host::ContextSettings s;
  s.company = "04";
  s.webUrl = server;
  s.webPort = 8211;
  host::HostScope ports({.context = std::make_shared<host::ConfiguredContext>(s)});

  // Every operator logs in first (a few at a time, as a morning's logins come), then all
  // call at once until the time is up.
  std::counting_semaphore<8> logins(8);
  std::atomic<int> ready{0};
  std::atomic<bool> go{false};
  Clock::time_point until;
  std::vector<Outcome> outcomes(static_cast<size_t>(clients));
  std::vector<std::thread> threads;
  const bool filtro = call == "filtro";
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      Outcome& out = outcomes[static_cast<size_t>(i)];
      remote::Connection c(filtro ? "Rec12000.rdmHabContRec" : "Host.rdmAcesso",
                           std::make_shared<remote::HttpTransportFactory>("demo", password));
      logins.acquire();
      if (!c.connect()) ++out.errors["login: " + c.lastError()];
      logins.release();
      ++ready;
      while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      const auto values = bench::filtroArgs();
      const std::vector<remote::Arg> args(values.begin(), values.end());
      while (Clock::now() < until) {
        if (!c.connected() && !c.connect()) {
          ++out.errors["connect: " + c.lastError()];
          continue;
        }
        const auto start = Clock::now();
        auto r = filtro ? c.call("Filtro", args) : c.call("Operador");
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!r.reply.ok()) {
          ++out.errors[r.reply.key + ": " + r.reply.text];
          continue;
        }
        out.ms.push_back(ms);
        if (filtro)
          out.rows = r.reply.result.packedPacket() ? r.reply.result.packedPacket()->rowCount()
                                                   : r.reply.result.packetJson()["rows"].size();
      }
    });
  }
  while (ready < clients) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  until = Clock::now() + std::chrono::seconds(seconds);
  const double processorFrom = bench::processorSeconds();
  go = true;
  for (auto& t : threads) t.join();
  const double processor = bench::processorSeconds() - processorFrom;

  std::vector<double> all;
  std::map<std::string, int> errors;
  size_t rows = 0;
  for (const auto& o : outcomes) {
    all.insert(all.end(), o.ms.begin(), o.ms.end());
    for (const auto& [what, n] : o.errors) errors[what] += n;
    rows = std::max(rows, o.rows);
  }
  std::sort(all.begin(), all.end());
  auto at = [&](double q) {
    return all.empty() ? 0.0 : all[std::min(all.size() - 1, static_cast<size_t>(q * all.size()))];
  };
  int errorCount = 0;
  for (const auto& [what, n] : errors) errorCount += n;
  fmt::print("{} clients, {} for {} s{}: {} calls ({:.1f}/s), {} errors\n", clients, call, seconds,
             filtro ? fmt::format(" ({} rows each)", rows) : "", all.size(),
             static_cast<double>(all.size()) / seconds, errorCount);
  fmt::print("latency ms: median {:.1f}, p90 {:.1f}, p99 {:.1f}, max {:.1f}\n", at(0.5), at(0.9),
             at(0.99), all.empty() ? 0.0 : all.back());
  fmt::print("processor {:.1f} s ({:.1f} ms a call{})\n", processor,
             all.empty() ? 0.0 : 1e3 * processor / static_cast<double>(all.size()),
             http ? ", server and clients" : ", clients only");
  for (const auto& [what, n] : errors) fmt::print("  {} x {}\n", n, what);

  if (http) {
    http->stop();
    serving.join();
  }
  svc.reset();
  if (db.empty()) std::filesystem::remove_all(dir);
  return errorCount == 0 ? 0 : 1;
}
