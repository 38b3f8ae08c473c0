// boleto carne: "Emitir Carnê" headless. The register opens, the company's boletos of one
// account are filtered and marked (the pending ones, or all with --all), and the carnê
// screen prints them, or saves them as one PDF with --out, three boletos a page; boletos
// without a number are numbered first.

#include <fmt/format.h>

#include <chrono>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "carne/Cli_rec01200.h"
#include "host/Consiste.h"
#include "host/ScopedFlag.h"

namespace {

struct CarneArgs : cli::AccountRun {
  std::string out;
  bool all = false;
  bool instalments = false;
};

int carne(const CarneArgs& a) {
  const auto started = std::chrono::steady_clock::now();
  cli::HeadlessRegister session(a.company, true);
  const std::string account = host::Ajusta(host::AllTrim(a.account), 3);
  session.filterAccount(a, account, a.all ? 0 : 2);
  size_t printed = 0;
  std::string written;
  session.screens().onModal("TfrmImprimeCarne", [&](host::ScreenModel& s) {
    auto& c = dynamic_cast<rec::TfrmImprimeCarne&>(s);
    c.control("chbParcelas").setChecked(a.instalments);
    const bool ok = c.run([&] {
      if (a.out.empty())
        c.sbtImprimirClick();
      else
        written = c.SalvarPdf(a.out);
    });
    if (ok) printed = c.ordem().size();
  });

  return cli::reportingErrors([&] {
    int status = 0;
    auto* reg = &session.open();
    const size_t marked = cli::markAccount(*reg, account, false);
    if (marked == 0) {
      fmt::print("Nenhum boleto {}da conta {} na empresa {}: nada a imprimir.\n",
                 a.all ? "" : "pendente ", account, a.company);
    } else {
      const int errorsBefore = session.dialogs().errors();
      reg->mnuCarneClick();
      if (session.dialogs().errors() > errorsBefore || printed == 0) status = 1;
      const double secs =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      if (status == 0)
        fmt::print("Carnê de {} boleto(s) {} ({:.1f} s)\n", printed,
                   written.empty() ? std::string("enviado à impressora") : "em " + written, secs);
    }
    reg->close();
    return status;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<CarneArgs>();
  auto* c = app.add_subcommand(
      "carne", "print the boletos of one account as a carnê (three a page), as \"Emitir Carnê\"");
  cli::addAccountRunOptions(*c, *a);
  c->add_option("--out", a->out, "save the carnê as this PDF file instead of printing it");
  c->add_flag("--all", a->all, "every boleto of the account, not only the pending ones");
  c->add_flag("--instalments", a->instalments, "add the related instalments of each boleto");
  c->callback([a] {
    if (const int rc = carne(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
