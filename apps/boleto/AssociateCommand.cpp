// boleto associate: "Conjugar Boletos" headless. The register opens for the company and its
// association screen joins the open boletos of each customer (all, or those listed) of the
// branches and period given into one new boleto per customer with two or more of them.
// With --boleto, the register's own "Associar Boleto": the boletos named, of one customer,
// are marked and replaced by one new boleto for their total.

#include <fmt/format.h>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "association/Cli_rec12013.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Lookup.h"
#include "host/ScopedFlag.h"
#include "records/Tables.h"

namespace {

struct AssociateArgs {
  std::string company = "04";
  std::string customers, branches;
  std::string from = "01/01/1900", to = "31/12/2999";
  std::string due, account, type;
  std::vector<std::string> boletos;
  bool yes = false;
};

// "Associar Boleto" on the register: mark, associate, complete, confirm.
int associateMarked(const AssociateArgs& a) {
  std::vector<cli::BoletoKey> keys;
  for (const auto& text : a.boletos) {
    for (const auto& k : host::SplitLista(text)) keys.push_back(cli::parseBoletoKey(k, "--boleto"));
  }
  cli::HeadlessRegister session(a.company, a.yes);
  session.listAllDates();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    {
      // Marked as the list marks them; the discount questions are mark all's to skip.
      host::ScopedFlag quiet(reg.bMarcaGeral);
      for (const auto& k : keys) {
        if (!cli::locate(reg, k)) {
          throw host::OperationError(fmt::format("O boleto {}/{} não está na lista da empresa {}.",
                                                 k.branch, k.number, a.company));
        }
        if (reg.cdsBoletos.valueOf("IDMARCADO").asString() != "M") reg.Marca_Boleto(false, 'M');
      }
    }
    try {
      reg.sbtAgrupaClick();
    } catch (const host::OperationAborted&) {
    }
    if (!reg.associacaoPendente()) throw host::OperationError("Associação não realizada.");
    if (!a.due.empty()) {
      const auto day = host::DateTime::parse(a.due, "dd/mm/yyyy");
      if (!day) throw host::OperationError(fmt::format("Data inválida: {}", a.due));
      reg.cdsBoletos.fieldByName("DTVENBOLREC").setDate(*day);
    }
    reg.cdsBoletos.fieldByName("CDREDUCONT").setString(a.account);
    reg.cdsBoletos.fieldByName("CDTPBAIXAREC").setString(a.type);
    const std::string total = host::FormatBr(reg.markedTotal, 2);
    reg.Confirmar();
    const std::string key =
        reg.current("CDFILIAL").asString() + reg.current("NRLANBOLREC").asString();
    fmt::print("boleto novo: {}/{} valor {} ({} boletos associados)\n", key.substr(0, 4),
               key.substr(4), total, keys.size());
    reg.close();
    return 0;
  });
}

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
  c->add_option("--due", a->due,
                "due date of the new boletos, dd/mm/yyyy (with --boleto: default the latest of "
                "theirs)");
  c->add_option("--account", a->account, "collection account of the new boletos")->required();
  c->add_option("--type", a->type, "write-off type of the new boletos (CDTPBAIXAREC)")->required();
  c->add_option("--boleto", a->boletos,
                "with this, the register's \"Associar Boleto\": the boletos of one customer to "
                "join, BRANCH/NUMBER (repeat, or comma separated)");
  c->add_flag("--yes", a->yes, "answer yes to the register's questions (with --boleto)");
  c->callback([a] {
    if (a->boletos.empty() && a->due.empty()) throw CLI::RequiredError("--due (without --boleto)");
    const int rc = a->boletos.empty() ? associate(*a) : associateMarked(*a);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
