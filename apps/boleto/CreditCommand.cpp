// boleto credit: a boleto discounted by one credit of its customer, headless. The register
// finds the boleto; the discount screen (advances, devolutions) or the credit-note screen takes
// the credit, the amount and the adjustment type as an operator gives them, and its confirmation
// books the discount on the service.

#include <fmt/format.h>

#include <cmath>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "descadia/Cli_rec12005.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "impnfcred/Cli_rec12003.h"
#include "records/Tables.h"

namespace {

struct CreditArgs {
  std::string kind;  ///< advance, devolution, note
  std::string company = "04";
  std::string boleto;  ///< branch and number, 14 digits or "branch/number"
  std::string credit;  ///< the same for the credit
  double amount = 0;
  std::string type;  ///< adjustment type (CDAJUCTREC)
};

/// A key given as "0001/0000000002" or "00010000000002": branch and number, padded.
std::pair<std::string, std::string> keyOf(const std::string& text, const char* what) {
  std::string branch, number;
  const auto slash = text.find('/');
  if (slash != std::string::npos) {
    branch = text.substr(0, slash);
    number = text.substr(slash + 1);
  } else if (text.size() == 14) {
    branch = text.substr(0, 4);
    number = text.substr(4);
  } else {
    host::MensErro(
        fmt::format("{} \"{}\": informe filial/número (0001/0000000002) ou os 14 "
                    "dígitos.",
                    what, text));
  }
  return {host::Ajusta(host::AllTrim(branch), 4), host::Ajusta(host::AllTrim(number), 10)};
}

int64_t cents(double v) {
  return std::llround(host::RoundDec(2, v) * 100.0);
}

int credit(const CreditArgs& a) {
  cli::HeadlessRegister session(a.company, true);
  session.onFilter([](rec::TfrmFiltroHabRec& f) {
    f.control("edtDtVencIni").setText("01/01/1900");
    f.control("edtDtVencFin").setText("31/12/2999");
    f.control("sbtConfirma").click();
  });
  return cli::reportingErrors([&] {
    const auto [branch, number] = keyOf(a.boleto, "Boleto");
    const auto [creditBranch, creditNumber] = keyOf(a.credit, "Crédito");
    auto& reg = session.open();
    if (!cli::locate(reg, cli::BoletoKey{branch, number}))
      host::MensErro(
          fmt::format("Boleto {}/{} não está na empresa {}.", branch, number, a.company));
    const std::string customer = reg.cdsBoletos.valueOf("CDCLIENTE").asString();
    const std::string company = reg.cdsBoletos.valueOf("CDEMPRESA").asString();
    const double before = host::RoundDec(2, reg.cdsBoletos.valueOf("VRFINALBREC").asDouble());
    bool found = false, done = false;
    if (a.kind == "note") {
      session.screens().onModal("TfrmImpNfCred", [&](host::ScreenModel& s) {
        auto& f = dynamic_cast<rec::TfrmImpNfCred&>(s);
        found = f.cdsGrid.locate("CDFILIAL;NRLANCTONF",
                                 {host::Value(creditBranch), host::Value(creditNumber)});
        if (found) {
          f.Marca();
          if (f.total() != cents(a.amount)) {
            found = false;
          } else {
            f.control("edtCdAjuctRec").setText(a.type);
            done = f.run([&] { f.Confirmar(); }) && f.modalResult() == host::mrOk;
          }
        }
        if (f.isOpen()) f.Cancelar();
      });
      rec::CriaImpNFCred(branch, number, company, customer, before);
      if (!found)
        host::MensErro(fmt::format(
            "Nota de crédito {}/{} de {} não está disponível para o "
            "cliente {}: uma nota é usada inteira.",
            creditBranch, creditNumber, host::FormatFloat("#,##0.00", a.amount), customer));
    } else {
      const bool advance = a.kind == "advance";
      session.screens().onModal("TfrmDescAdia", [&](host::ScreenModel& s) {
        auto& f = dynamic_cast<rec::TfrmDescAdia&>(s);
        found = f.credits().locate(advance ? "CDFILIAL;NRLANCTONF" : "FILIDEVO;NRLANCTONF",
                                   {host::Value(creditBranch), host::Value(creditNumber)});
        if (found) {
          done = f.run([&] {
            f.Marca();
            f.credits().edit();
            f.credits().fieldByName("VRDESCONTO").setValue(host::Value(a.amount));
            f.credits().post();
            f.control("edtCdAjuctRec").setText(a.type);
            f.Confirmar();
          }) && f.modalResult() == host::mrOk;
        }
        if (f.isOpen()) f.control("sbtFechar").click();
      });
      rec::CriaDescAdi(before, customer, company, number, branch, advance ? "0" : "1");
      if (!found)
        host::MensErro(fmt::format("{} {}/{} não está em aberto para o cliente {}.",
                                   advance ? "Adiantamento" : "Devolução", creditBranch,
                                   creditNumber, customer));
    }
    if (!done) return 1;
    reg.Fitro_Locate();
    const double after = host::RoundDec(2, reg.cdsBoletos.valueOf("VRFINALBREC").asDouble());
    fmt::print("Boleto {}/{}: desconto de {} ({} {}/{}), valor líquido {} -> {}\n", branch, number,
               host::FormatFloat("#,##0.00", a.amount), a.kind, creditBranch, creditNumber,
               host::FormatFloat("#,##0.00", before), host::FormatFloat("#,##0.00", after));
    reg.close();
    return 0;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<CreditArgs>();
  auto* c = app.add_subcommand("credit",
                               "discount a boleto by one credit of its customer: an advance, a "
                               "devolution or a credit note");
  c->add_option("--kind", a->kind, "advance, devolution or note")
      ->required()
      ->check(CLI::IsMember({"advance", "devolution", "note"}));
  c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
  c->add_option("--boleto", a->boleto, "the boleto, branch/number")->required();
  c->add_option("--credit", a->credit, "the credit, branch/number")->required();
  c->add_option("--amount", a->amount, "value to discount (a credit note is used whole: its value)")
      ->required();
  c->add_option("--type", a->type, "adjustment type of the discount (CDAJUCTREC)")->required();
  c->callback([a] {
    if (const int rc = credit(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
