// The file run of the emission at scale: 1,000 marked boletos of one account are numbered,
// coded, stored and written as PDF files, as "Emitir Boleto" runs it with the emit answer.
// Timed whole (from the emission screen's creator to its return), in-process and over
// loopback HTTP, each on a freshly seeded SQLite database.
//
//   emission_bench [count] [inprocess|http|both] [model] [files|one-file|carne]
//
// Model 1 (the default) writes a PDF per boleto; model 0 (pre-printed) numbers and stores
// without printing, which isolates the cost of the service calls. "one-file" writes the run
// as one PDF, one boleto a page (target: under 1 s for 1,000); "carne" prints the marked
// boletos as a carnê saved as one PDF, three a page (target: under 1.5 s for 1,000). With
// "-again" appended the run is made once untimed first, so the timed run reprints boletos
// that carry their numbers.

#include <fmt/format.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "bench/ProcessorTime.h"
#include "carne/Cli_rec01200.h"
#include "emission/ImprimeBol.h"
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

namespace fs = std::filesystem;

namespace {

constexpr const char* kPassword = "bench";

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

double seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void runOnce(int count, bool http, int model, const std::string& output) {
  std::random_device rd;
  const fs::path dir = fs::temp_directory_path() / fmt::format("boleto-emission-bench-{}", rd());
  fs::create_directories(dir / "rel");
  // A run of the benchmark is a run of today: the machine's clock, installed once.
  auto clock = std::make_shared<host::SystemClock>();
  auto svc = service::openService((dir / "bench.db").string(), clock);
  service::SeedOptions o;
  o.password = kPassword;
  o.extraBoletos = count;
  o.today = clock->today();
  service::seed(*svc->db, o);

  std::unique_ptr<remote::HttpServer> server;
  std::thread serving;
  int port = 8211;
  std::shared_ptr<remote::TransportFactory> factory;
  if (http) {
    server = std::make_unique<remote::HttpServer>(svc->dispatcher, svc->auth);
    port = server->bind("127.0.0.1", 0);
    serving = std::thread([&] { server->serve(); });
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
  auto dialogs = std::make_shared<QuietDialogs>();
  auto screens = std::make_shared<rec::HeadlessScreenHost>();
  auto host = std::make_unique<host::HostScope>(
      host::Host{.context = std::make_shared<host::ConfiguredContext>(s),
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
  auto& reg = *rec::frmHabContRec();
  reg.control("medEmpresa").setFocus();
  reg.control("medEmpresa").type("04");
  reg.focusList();
  int marked = 0;
  {
    host::ScopedFlag marking(reg.bMarcaGeral);
    for (size_t r = 1; r <= reg.cdsBoletos.recordCount() && marked < count; ++r) {
      reg.cdsBoletos.setRecNo(r);
      if (reg.current("IDSTATBREC").asString() == "E") continue;
      reg.Marca_Boleto(false, 'M');
      ++marked;
    }
  }
  reg.Atualiza_Emissao(true);

  // "...-again": the same run once untimed first, so the timed one finds every boleto
  // numbered (a reissue: no service call takes a number).
  const bool again = output.ends_with("-again");
  const std::string kind = again ? output.substr(0, output.size() - 6) : output;
  rec::setModeloInicial(model);
  rec::setArquivoUnicoInicial(kind == "one-file");
  rec::InstalaImprimeCarne();
  fs::path outDir = dir / "first";
  screens->onModal("TfrmImprimeCarne", [&](host::ScreenModel& m) {
    auto& c = dynamic_cast<rec::TfrmImprimeCarne&>(m);
    fs::create_directories(outDir);
    c.run([&] { c.SalvarPdf((outDir / "carne.pdf").string()); });
  });
  const auto go = [&] {
    return kind == "carne" ? rec::CriaImprimeCarne(reg.ordemEmissao())
                           : rec::CriaImprimeBol(reg.ordemEmissao(), outDir.string(), false, true);
  };
  if (again) go();
  outDir = dir / "out";
  const auto t0 = std::chrono::steady_clock::now();
  const double cpu0 = bench::processorSeconds();
  const int result = go();
  const double took = seconds(t0);
  const double cpu = bench::processorSeconds() - cpu0;
  size_t files = 0, bytes = 0;
  for (const auto& e : fs::exists(dir / "out") ? fs::recursive_directory_iterator(dir / "out")
                                               : fs::recursive_directory_iterator())
    if (e.is_regular_file()) {
      ++files;
      bytes += static_cast<size_t>(e.file_size());
    }
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  fmt::print(
      "{:<10} {} model {}: {} boletos marked, {} in the emission lists, result {}, {} PDF files "
      "({:.1f} MB) in {:.2f} s, processor {:.2f} s "
      "({:.1f} ms per boleto); peak memory {} MB{}\n",
      http ? "http" : "in-process", output, model, marked, reg.klEmissao.Count(), result, files,
      static_cast<double>(bytes) / 1e6, took, cpu, took * 1000.0 / std::max(1, marked),
      ru.ru_maxrss / 1024, dialogs->errors ? "; error: " + dialogs->last : std::string());

  reg.busy = false;
  reg.close();
  rec::netHabContRec().disconnect();
  host.reset();
  if (server) {
    server->stop();
    serving.join();
  }
  svc.reset();
  fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  const std::string mode = argc > 2 ? argv[2] : "both";
  const int model = argc > 3 ? std::atoi(argv[3]) : 1;
  const std::string output = argc > 4 ? argv[4] : "files";
  if (mode == "inprocess" || mode == "both") runOnce(count, false, model, output);
  if (mode == "http" || mode == "both") runOnce(count, true, model, output);
  return 0;
}
