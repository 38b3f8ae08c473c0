// boleto associate: "Conjugar Boletos" headless. The register opens for the company and its
// association screen joins the open boletos of each customer (all, or those listed) of the
// branches and period given into one new boleto per customer with two or more of them.

#include <fmt/format.h>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "association/Cli_rec12013.h"
#include "host/Consiste.h"

namespace {

struct AssociateArgs {
  std::string company = "04";
  std::string customers, branches;
  std::string from = "01/01/1900", to = "31/12/2999";
  std::string due, account, type;
};

int associate(const AssociateArgs& a) {
  cli::HeadlessRegister session(a.company, true);
  session.onFilter([](rec::TfrmFiltroHabRec& f) {
    f.control("edtDtVencIni").setText("01/01/1900");
    f.control("edtDtVencFin").setText("31/12/2999");
    f.control("sbtConfirma").click();
  });
  std::vector<std::string> made;
  bool ok = false;
  session.screens().onModal("TfrmConjulgarBoleto", [&](host::ScreenModel& s) {
    auto& f = dynamic_cast<rec::TfrmConjulgarBoleto&>(s);
    if (!a.customers.empty()) {
      f.control("rgpCliente").choose(1);
      f.stListaCliente = a.customers;
    }
    if (!a.branches.empty()) {
      f.control("rgpFilial").choose(1);
      f.stListaFilial = a.branches;
    }
    f.control("edtDtDe").setText(a.from);
    f.control("edtDtAte").setText(a.to);
    f.control("edtDtVenc").setText(a.due);
    f.control("edtCdReduCont").setText(a.account);
    f.control("edtCdTpBaixa").setText(a.type);
    ok = f.run([&] { f.sbtConfirmarClick(); });
    made = f.novosBoletos();
    f.sbtCancelarClick();
  });
  return cli::reportingErrors([&] {
    auto* reg = &session.open();
    reg->control("sbtAgrupar").click();
    reg->close();
    if (!ok) return 1;
    fmt::print("{} boleto(s) novo(s):", made.size());
    for (const auto& k : made) fmt::print(" {}/{}", k.substr(0, 4), k.substr(4));
    fmt::print("\n");
    return 0;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<AssociateArgs>();
  auto* c = app.add_subcommand("associate",
                               "join the open boletos of each customer into one new boleto, as "
                               "\"Conjugar Boletos\" does");
  c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
  c->add_option("--customers", a->customers, "customers, \"code,code\" (default: all)");
  c->add_option("--branches", a->branches, "origin branches, \"0001,0002\" (default: all)");
  c->add_option("--from", a->from, "period from, dd/mm/yyyy")->capture_default_str();
  c->add_option("--to", a->to, "period to, dd/mm/yyyy")->capture_default_str();
  c->add_option("--due", a->due, "due date of the new boletos, dd/mm/yyyy")->required();
  c->add_option("--account", a->account, "collection account of the new boletos")->required();
  c->add_option("--type", a->type, "write-off type of the new boletos (CDTPBAIXAREC)")->required();
  c->callback([a] {
    if (const int rc = associate(*a); rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
