// boleto mail: the register's e-mail road, headless. The register opens, the company's
// pending boletos of one account are filtered and marked, and "Enviar Boleto" opens the
// e-mail screen, which is confirmed: each boleto goes in an e-mail of its own with its PDF
// (and the documents of its fiscal notes), through the branch's SMTP server.

#include <fmt/format.h>

#include <chrono>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Consiste.h"
#include "host/ScopedFlag.h"
#include "mail/EnvBolMail.h"

namespace {

struct MailArgs : cli::AccountRun {
  bool noSmtp = false;
};

int mail(const MailArgs& a) {
  const auto started = std::chrono::steady_clock::now();
  cli::HeadlessRegister session(a.company, true);
  const std::string account = host::Ajusta(host::AllTrim(a.account), 3);

  session.filterAccount(a, account, 2);
  bool failed = false;
  session.screens().onModal("TfrmEnvBolMail", [&](host::ScreenModel& s) {
    auto& m = dynamic_cast<rec::TfrmEnvBolMail&>(s);
    if (a.noSmtp) m.control("chbSMTP").setChecked(false);
    m.control("sbtConfirma").click();
    if (m.isOpen()) {
      // The run stopped: the screen would stay open for the operator; the command closes it.
      failed = true;
      m.setModalResult(host::mrCancel);
      m.close();
    }
  });
  size_t sent = 0, skipped = 0;
  rec::setMailProgress([&](size_t done, size_t total, const std::string& key, bool ok) {
    sent = done;
    if (!ok) ++skipped;
    fmt::print("[{}/{}] boleto {}/{} {}\n", done + skipped, total, key.substr(0, 4), key.substr(4),
               ok ? "enviado" : "não enviado");
    std::fflush(stdout);
  });

  const int rc = cli::reportingErrors([&] {
    auto* reg = &session.open();
    const size_t marked = cli::markAccount(*reg, account, true);
    int status = 0;
    if (marked == 0) {
      fmt::print("Nenhum boleto pendente da conta {} na empresa {}: nada a enviar.\n", account,
                 a.company);
    } else {
      fmt::print("{} boleto(s) marcado(s) da conta {} na empresa {}; enviando por e-mail\n", marked,
                 account, a.company);
      std::fflush(stdout);
      const int errorsBefore = session.dialogs().errors();
      reg->mnuEnviarBoletoClick();
      if (failed || session.dialogs().errors() > errorsBefore) status = 1;
      const double secs =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      fmt::print("{} boleto(s) enviado(s), {} não enviado(s) de {} ({:.1f} s)\n", sent,
                 marked - sent, marked, secs);
    }
    reg->busy = false;
    reg->close();
    return status;
  });
  rec::setMailProgress(nullptr);
  return rc;
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<MailArgs>();
  auto* c = app.add_subcommand(
      "mail", "e-mail the pending boletos of one account, as \"Enviar Boleto\" does");
  cli::addAccountRunOptions(*c, *a);
  c->add_flag("--no-smtp", a->noSmtp, "hand each e-mail to the system's mail client instead");
  c->callback([a] {
    if (const int rc = mail(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
