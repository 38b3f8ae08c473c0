// boleto adjust: one adjustment added to a boleto on the register's "Ajustes" tab.
// boleto extend: the due date of one boleto, or of the marked ones, moved on the
// "Prorrogação" tab. Both run headless as an operator does and print what changed.

#include <fmt/format.h>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Lookup.h"
#include "host/ScopedFlag.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"

namespace {

void listAll(cli::HeadlessRegister& session) {
  session.onFilter([](rec::TfrmFiltroHabRec& f) {
    f.control("edtDtVencIni").setText({});
    f.control("edtDtVencFin").setText({});
    f.control("sbtConfirma").click();
  });
}

host::OperationError notListed(const cli::BoletoKey& k, const std::string& company) {
  return host::OperationError(
      fmt::format("O boleto {}/{} não está na lista da empresa {}.", k.branch, k.number, company));
}

struct AdjustArgs {
  std::string company = "04";
  std::string boleto, type, value;
  bool yes = false;
};

int adjust(const AdjustArgs& a) {
  const cli::BoletoKey target = cli::parseBoletoKey(a.boleto, "--boleto");
  const double value = host::StrToFloatDef(a.value, -1);
  if (value <= 0) throw CLI::ValidationError("--value", "expected a value above 0, got " + a.value);
  cli::HeadlessRegister session(a.company, a.yes);
  listAll(session);
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    if (!cli::locate(reg, target)) throw notListed(target, a.company);
    const double before = reg.cdsBoletos.valueOf("VRFINALBREC").asDouble();
    reg.pageControl("pgcPadrao").showPage("tshAjustes");
    try {
      reg.Incluir();
    } catch (const host::OperationAborted&) {
      throw host::OperationError(
          "O ajuste não foi incluído: o cadastro pediu confirmação (--yes para confirmar).");
    }
    if (reg.cdsAjBolRec.state() != host::DatasetState::Insert) {
      throw host::OperationError("O ajuste não pôde ser incluído.");
    }
    reg.cdsAjBolRec.fieldByName("CDAJUCTREC").setString(a.type);
    reg.Vd_CdAjuctRec(false);
    reg.cdsAjBolRec.fieldByName("VRAJBOLREC").setFloat(value);
    const std::string code = reg.cdsAjBolRec.fieldByName("CDAJUCTREC").asString();
    const std::string description = reg.cdsAjBolRec.fieldByName("DSAJUCTREC").asString();
    reg.Confirmar();
    if (!cli::locate(reg, target)) throw notListed(target, a.company);
    fmt::print("{}/{}\n  Ajuste {} {}: {}\n  Valor líquido: {} -> {}\n", target.branch,
               target.number, code, description, host::FormatBr(value, 2),
               host::FormatBr(before, 2),
               host::FormatBr(reg.cdsBoletos.valueOf("VRFINALBREC").asDouble(), 2));
    reg.close();
    return 0;
  });
}

struct ExtendArgs {
  std::string company = "04";
  std::string boleto, marked, to, reason;
  bool dropNumber = false;
};

int extend(const ExtendArgs& a) {
  std::vector<cli::BoletoKey> keys;
  if (!a.boleto.empty()) keys.push_back(cli::parseBoletoKey(a.boleto, "--boleto"));
  for (const auto& k : host::SplitLista(a.marked)) {
    keys.push_back(cli::parseBoletoKey(k, "--marked"));
  }
  if (keys.empty()) throw CLI::ValidationError("--boleto", "name a boleto or --marked boletos");
  if (!host::DateTime::parse(a.to, "dd/mm/yyyy")) {
    throw CLI::ValidationError("--to", "expected dd/mm/yyyy, got " + a.to);
  }
  // The register asks whether all marked boletos are meant (yes: --marked says so) and
  // whether the nosso número stays (yes unless --drop-number).
  cli::HeadlessRegister session(a.company, true);
  if (a.dropNumber) session.dialogs().answerNo("manter o nosso número");
  listAll(session);
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    if (a.boleto.empty()) {
      host::ScopedFlag quiet(reg.bMarcaGeral);
      for (const auto& k : keys) {
        if (!cli::locate(reg, k)) throw notListed(k, a.company);
        if (reg.cdsBoletos.valueOf("IDMARCADO").asString() != "M") reg.Marca_Boleto(false, 'M');
      }
    }
    if (!cli::locate(reg, keys.front())) throw notListed(keys.front(), a.company);
    struct Seen {
      std::string due, number;
    };
    const auto seen = [&] {
      const auto due = reg.cdsBoletos.valueOf("DTVENBOLREC");
      return Seen{due.isNull() ? "" : due.asDate().format("dd/mm/yyyy"),
                  host::AllTrim(reg.cdsBoletos.valueOf("CDNOSNUMREC").asString())};
    };
    std::vector<Seen> before;
    for (const auto& k : keys) {
      cli::locate(reg, k);
      before.push_back(seen());
    }
    cli::locate(reg, keys.front());
    reg.pageControl("pgcPadrao").showPage("tshProrrogacao");
    reg.control("edtNovaData").type(a.to);
    reg.control("edtCDMOTIPROR").type(a.reason);
    reg.Vd_Prorrogacao(false);
    reg.Confirmar();
    int moved = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (!cli::locate(reg, keys[i])) continue;
      const Seen after = seen();
      if (after.due == before[i].due && after.number == before[i].number) continue;
      ++moved;
      fmt::print("{}/{}\n  Vencimento: {} -> {}\n", keys[i].branch, keys[i].number, before[i].due,
                 after.due);
      if (after.number != before[i].number) {
        fmt::print("  Nosso número: {} -> {}\n", before[i].number, after.number);
      }
    }
    fmt::print("{} boleto(s) prorrogado(s)\n", moved);
    reg.close();
    return 0;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<AdjustArgs>();
  auto* c = app.add_subcommand("adjust", "add an adjustment to a boleto on the register, headless");
  c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
  c->add_option("--boleto", a->boleto, "the boleto, BRANCH/NUMBER")->required();
  c->add_option("--type", a->type, "adjustment type (CDAJUCTREC)")->required();
  c->add_option("--value", a->value, "the adjustment's value, positive (12,50 or 12.50)")
      ->required();
  c->add_flag("--yes", a->yes,
              "answer yes to the register's questions (an emitted boleto asks; default: no)");
  c->callback([a] {
    const int rc = adjust(*a);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });

  auto e = std::make_shared<ExtendArgs>();
  auto* x = app.add_subcommand(
      "extend", "move the due date of a boleto or of the marked boletos on the register");
  x->add_option("--company", e->company, "company (CDEMPRESA)")->capture_default_str();
  auto* one = x->add_option("--boleto", e->boleto, "the boleto, BRANCH/NUMBER");
  auto* marked = x->add_option("--marked", e->marked,
                               "boletos marked and extended together (BRANCH/NUMBER, comma "
                               "separated); those that may not be are listed and left");
  one->excludes(marked);
  x->add_option("--to", e->to, "the new due date, dd/mm/yyyy")->required();
  x->add_option("--reason", e->reason, "extension reason (CDMOTIPROR)")->required();
  x->add_flag("--drop-number", e->dropNumber,
              "give up the nosso número of boletos the bank never received (default: keep)");
  x->callback([e] {
    const int rc = extend(*e);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
