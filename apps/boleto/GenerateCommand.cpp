// boleto generate: "Gera Boleto (txt)" headless. The register opens, the company's boletos of
// one account are filtered and marked (the pending ones, or all with --all), and the
// generation screen numbers them (a boleto that has a number keeps it) and lists them in a
// text file in --dir, or prints the report with --print.

#include <fmt/format.h>

#include <chrono>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "geracao/Cli_rec12006.h"
#include "host/Consiste.h"
#include "host/ScopedFlag.h"

namespace {

struct GenerateArgs : cli::AccountRun {
  std::string dir;
  bool print = false;
  bool all = false;
};

int generate(const GenerateArgs& a) {
  const auto started = std::chrono::steady_clock::now();
  cli::HeadlessRegister session(a.company, true);
  const std::string account = host::Ajusta(host::AllTrim(a.account), 3);
  session.filterAccount(a, account, a.all ? 0 : 2);
  rec::InstalaGerarBoleto();
  size_t generated = 0, listed = 0;
  std::string written;
  bool completed = false;
  session.screens().onModal("TfrmEditaBoleto", [&](host::ScreenModel& s) {
    auto& g = dynamic_cast<rec::TfrmEditaBoleto&>(s);
    g.control("edtDiretorio").setText(a.dir);
    completed = g.run([&] {
      if (a.print)
        g.Imprimir();
      else
        g.sbtExportarClick();
    });
    generated = g.gerados().size();
    written = g.arquivoExportado();
    if (!completed) g.sbtFecharClick();
  });

  return cli::reportingErrors([&] {
    int status = 0;
    auto* reg = &session.open();
    listed = cli::markAccount(*reg, account, false);
    if (listed == 0) {
      fmt::print("Nenhum boleto {}da conta {} na empresa {}: nada a gerar.\n",
                 a.all ? "" : "pendente ", account, a.company);
    } else {
      const int errorsBefore = session.dialogs().errors();
      reg->mnuGeraBoletoClick();
      if (session.dialogs().errors() > errorsBefore || !completed) status = 1;
      const double secs =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      if (status == 0)
        fmt::print("{} boleto(s) gerado(s), {} numerado(s) nesta execução, {} ({:.1f} s)\n", listed,
                   generated,
                   a.print ? std::string("relatório enviado à impressora") : "em " + written, secs);
    }
    reg->close();
    return status;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<GenerateArgs>();
  auto* c = app.add_subcommand(
      "generate",
      "number the boletos of one account and list them in a text file, as \"Gera Boleto (txt)\"");
  cli::addAccountRunOptions(*c, *a);
  c->add_option("--dir", a->dir, "directory of the text file (kept as the operator's)")->required();
  c->add_flag("--print", a->print, "print the report instead of writing the text file");
  c->add_flag("--all", a->all,
              "every boleto of the account, not only the pending ones (numbers are kept)");
  c->callback([a] {
    if (const int rc = generate(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
