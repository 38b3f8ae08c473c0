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

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchRegister.h"
#include "bench/ProcessorTime.h"
#include "carne/Cli_rec01200.h"
#include "emission/ImprimeBol.h"

namespace fs = std::filesystem;

namespace {

void runOnce(int count, bool http, int model, const std::string& output) {
  bench::BenchRegister run(count, http);
  const fs::path& dir = run.dir;
  auto& reg = *run.reg;
  auto& screens = run.screens;
  const int marked = run.markPending(count);
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
  const double took = bench::seconds(t0);
  const double cpu = bench::processorSeconds() - cpu0;
  size_t files = 0, bytes = 0;
  for (const auto& e : fs::exists(dir / "out") ? fs::recursive_directory_iterator(dir / "out")
                                               : fs::recursive_directory_iterator())
    if (e.is_regular_file()) {
      ++files;
      bytes += static_cast<size_t>(e.file_size());
    }
  fmt::print(
      "{:<10} {} model {}: {} boletos marked, {} in the emission lists, result {}, {} PDF files "
      "({:.1f} MB) in {:.2f} s, processor {:.2f} s "
      "({:.1f} ms per boleto); peak memory {} MB{}\n",
      http ? "http" : "in-process", output, model, marked, reg.klEmissao.Count(), result, files,
      static_cast<double>(bytes) / 1e6, took, cpu, took * 1000.0 / std::max(1, marked),
      bench::peakMemoryMb(), run.dialogs->errors ? "; error: " + run.dialogs->last : std::string());
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
