// boleto emit: the operator's road from the register to PDF boletos, headless. The register
// opens, the company's boletos of one account are filtered and the pending ones marked, and
// "Emitir Boleto" runs with the emit answer yes: each boleto is numbered, coded, written as a
// PDF into <dir>/Boletos_Emitidos/<today>/ and recorded as emitted. With --format the
// emission screen's "Salvar como" runs instead, in that format, each save dialog answered
// with the name it proposes in the same dated folder.

#include <fmt/format.h>

#include <chrono>
#include <filesystem>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "emission/ImprimeBol.h"
#include "host/Consiste.h"
#include "host/Context.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "module/Units.h"
#include "report/Export.h"

namespace {

struct EmitArgs : cli::AccountRun {
  int model = 1;
  std::string dir = "./out";
  bool reissue = false;
  bool oneFile = false;
  std::string format;  ///< empty: the file run's PDFs
};

int emit(const EmitArgs& a) {
  const auto started = std::chrono::steady_clock::now();
  // Every question of the road is answered yes: emit, and (with --reissue) emit again.
  cli::HeadlessRegister session(a.company, true);
  const report::ExportFormat* format =
      a.format.empty() ? nullptr : report::exportFormatByName(a.format);

  const std::string account = host::Ajusta(host::AllTrim(a.account), 3);
  std::string dir = a.dir.empty() ? std::string("./out") : a.dir;
  if (dir.back() != '/') dir += '/';
  std::filesystem::create_directories(dir);
  const std::string folder = dir + "Boletos_Emitidos/" + host::Now().format("yyyy-mm-dd") + "/";
  if (format) {
    // Saving is the interactive run: the register's questions that would start the file run
    // are answered no, so the emission screen opens.
    session.dialogs().answerNo("em arquivos PDF");
    session.dialogs().answerNo("Deseja reemiti-los");
    std::filesystem::create_directories(folder);
    session.dialogs().setSaveFolder(folder);
  }

  session.filterAccount(a, account, a.reissue ? 0 : 2);
  // A single marked boleto asks no question, so the emission screen opens: the command
  // then does what the file run does, with the same directory.
  session.screens().onModal("TfrmImprimeBol", [&](host::ScreenModel& s) {
    auto& e = dynamic_cast<rec::TfrmImprimeBol&>(s);
    if (format) {
      e.control("sbtSalvarComo").click();
      if (e.control("pmnSalvarComo").visible())
        e.control(rec::TfrmImprimeBol::saveAsItems().at(static_cast<size_t>(format->tag))).click();
      if (e.isOpen()) e.close();
      return;
    }
    if (e.run([&] { e.Emiteboletos(dir); })) e.close();
  });
  rec::setModeloInicial(a.model);
  rec::setArquivoUnicoInicial(a.oneFile);
  size_t emitted = 0;
  rec::setEmissionProgress([&](size_t done, size_t total, const std::string& key) {
    emitted = done;
    fmt::print("[{}/{}] boleto {}/{} emitido\n", done, total, key.substr(0, 4), key.substr(4));
    std::fflush(stdout);
  });

  const int rc = cli::reportingErrors([&] {
    int status = 0;
    auto* reg = &session.open();

    const size_t marked = cli::markAccount(*reg, account, !a.reissue);
    if (marked == 0) {
      fmt::print("Nenhum boleto {}da conta {} na empresa {}: nada a emitir.\n",
                 a.reissue ? "" : "pendente ", account, a.company);
    } else {
      fmt::print("{} boleto(s) marcado(s) da conta {} na empresa {}; emitindo em {}\n", marked,
                 account, a.company, dir);
      std::fflush(stdout);
      Cli_rec12000::stDiretorio = dir;
      const int errorsBefore = session.dialogs().errors();
      reg->mnuBoletoClick();
      if (session.dialogs().errors() > errorsBefore) status = 1;
      const double secs =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      if (format)
        fmt::print("{} boleto(s) emitido(s), {} arquivo(s) {} salvo(s) em {} ({:.1f} s)\n", emitted,
                   session.dialogs().saved().size(), format->name, folder, secs);
      else
        fmt::print("{} boleto(s) emitido(s){} em {} ({:.1f} s)\n", emitted,
                   a.model == 0 ? " (pré-impresso: numerados, sem arquivo)" : "", folder, secs);
    }
    reg->busy = false;
    reg->close();
    return status;
  });
  rec::setEmissionProgress(nullptr);
  return rc;
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<EmitArgs>();
  auto* c = app.add_subcommand(
      "emit", "emit the pending boletos of one account as PDF files, as \"Emitir Boleto\" does");
  cli::addAccountRunOptions(*c, *a);
  c->add_option("--model", a->model, "print model: 0 pre-printed, 1 complete boleto, 2 invoice")
      ->check(CLI::Range(0, 2))
      ->capture_default_str();
  c->add_option("--dir", a->dir, "output directory (Boletos_Emitidos/<today> is made in it)")
      ->capture_default_str();
  c->add_flag("--reissue", a->reissue, "also emit again the boletos already emitted");
  auto* formatOption =
      c->add_option("--format", a->format,
                    "save the run as txt|csv|htm|xlsx|rtf|wmf|pdf|xhtml|gif|jpg|bmp|emf "
                    "(\"Salvar como\"), one file per boleto")
          ->check([](const std::string& v) {
            return report::exportFormatByName(v) ? std::string() : "unknown format \"" + v + "\"";
          });
  // One file per boleto and one file for the run cannot both hold.
  c->add_flag("--one-file", a->oneFile,
              "every boleto of the run in one PDF, one boleto a page, in print order")
      ->excludes(formatOption);
  c->callback([a] {
    if (const int rc = emit(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
