// boleto update: one boleto's receiving data (or its description) edited and confirmed on the
// register, headless, as an operator does: filter, locate, mark, change, confirm. The
// questions the register asks are answered as --yes says; what changed is printed.

#include <fmt/format.h>

#include <cmath>
#include <optional>

#include "apps/boleto/Commands.h"
#include "apps/boleto/HeadlessRegister.h"
#include "host/Consiste.h"
#include "host/Errors.h"
#include "host/Lookup.h"
#include "host/ScopedFlag.h"
#include "records/Tables.h"
#include "register/DisplayCodes.h"
#include "register/FiltroHabRec.h"
#include "register/GridKeys.h"
#include "register/HabContRec.h"

namespace {

struct UpdateArgs {
  std::string company = "04";
  std::string boleto;
  std::optional<std::string> due, account, writeOff, message, description;
  std::optional<std::string> finePct, fine, interestPct, interest;
  std::string marked;
  bool yes = false;
};

using Key = cli::BoletoKey;
const auto parseKey = cli::parseBoletoKey;

// The fields whose change is reported, with the label the register shows them by.
struct Reported {
  const char* field;
  const char* label;
};
constexpr Reported kReported[] = {
    {"DTVENBOLREC", "Vencimento"},
    {"CDREDUCONT", "Conta cobrança"},
    {"CDTPBAIXAREC", "Tipo de baixa"},
    {"VRPEMULBREC", "Multa (%)"},
    {"VRMULTABREC", "Multa (Valor)"},
    {"VRPEMORBREC", "Mora Diário (%)"},
    {"VRMORDIABREC", "Mora Diário (Valor)"},
    {"FTR_DSBOLETREC", "Descrição"},
    {"IDSTATBREC", "Status"},
    {"IDSITUCNABR", "Situação CNAB"},
    {"CDCARTCOBBOL", "Carteira"},
    {"IDIMPRBOLBOL", "Impressão"},
    {"CDNOSNUMREC", "Nosso número"},
};

std::string shown(const host::Value& v, std::string_view field) {
  if (v.isNull()) return "";
  if (field.starts_with("DT")) return v.asDate().format("dd/mm/yyyy");
  if (field == "VRPEMULBREC" || field == "VRPEMORBREC") return host::FormatBr(v.asDouble(), 3);
  if (field.starts_with("VR")) return host::FormatBr(v.asDouble(), 2);
  return host::AllTrim(v.asString());
}

using Snapshot = std::vector<std::string>;

Snapshot snapshot(rec::TfrmHabContRec& reg) {
  Snapshot s;
  for (const auto& r : kReported) s.push_back(shown(reg.cdsBoletos.valueOf(r.field), r.field));
  reg.BuscaCNABMsg(reg.cdsBoletos.valueOf("CDFILIAL").asString(),
                   reg.cdsBoletos.valueOf("NRLANBOLREC").asString());
  s.push_back(reg.control("memTXMENSBOLBOL").text());
  return s;
}

bool go(rec::TfrmHabContRec& reg, const Key& k) {
  return cli::locate(reg, k);
}

// A number flag typed into its field and the field left; a negative one is given to the field
// as it stands, so that the field's own check refuses it rather than the minus being dropped.
void enterNumber(rec::TfrmHabContRec& reg, const char* control, const char* field,
                 const std::string& text, void (rec::TfrmHabContRec::*leave)()) {
  const double v = host::StrToFloatDef(text, std::nan(""));
  if (std::isnan(v)) throw host::OperationError(fmt::format("Número inválido: {}", text));
  if (v < 0) {
    reg.cdsBoletos.fieldByName(field).setFloat(v);
  } else {
    reg.control(control).setFocus();
    reg.control(control).type(text);
  }
  (reg.*leave)();
  reg.focusList();
}

int update(const UpdateArgs& a) {
  const Key target = parseKey(a.boleto, "--boleto");
  std::vector<Key> marks;
  for (const auto& k : host::SplitLista(a.marked)) marks.push_back(parseKey(k, "--marked"));
  cli::HeadlessRegister session(a.company, a.yes);
  session.listAllDates();
  return cli::reportingErrors([&] {
    auto& reg = session.open();
    const auto missing = [&](const Key& k) {
      return host::OperationError(fmt::format("O boleto {}/{} não está na lista da empresa {}.",
                                              k.branch, k.number, a.company));
    };
    {
      // Marked as the list marks them; the discount questions are mark all's to skip.
      host::ScopedFlag quiet(reg.bMarcaGeral);
      for (const auto& k : marks) {
        if (!go(reg, k)) throw missing(k);
        if (reg.cdsBoletos.valueOf("IDMARCADO").asString() != "M") reg.Marca_Boleto(false, 'M');
      }
    }
    if (!go(reg, target)) throw missing(target);
    std::vector<Key> watched{target};
    for (const auto& k : marks) {
      if (k.branch != target.branch || k.number != target.number) watched.push_back(k);
    }
    std::vector<Snapshot> before;
    for (const auto& k : watched) {
      go(reg, k);
      before.push_back(snapshot(reg));
    }
    go(reg, target);

    const bool receivingData = a.due || a.account || a.writeOff || a.message || a.finePct ||
                               a.fine || a.interestPct || a.interest;
    if (!receivingData && a.description) {
      // A description alone is typed in the list and confirmed with Tab.
      auto& list = reg.grid("dbgPadrao");
      list.colEnter("FTR_DSBOLETREC");
      list.keyPress(' ');
      if (!reg.listEditing()) throw host::OperationError("O boleto não pôde ser alterado.");
      reg.cdsBoletos.fieldByName("FTR_DSBOLETREC").setString(*a.description);
      rec::GridKey tab = rec::GridKey::Tab;
      list.keyDown(tab, {});
    } else if (receivingData || a.description) {
      reg.Alterar();
      if (!reg.listEditing()) throw host::OperationError("O boleto não pôde ser alterado.");
      if (a.account) {
        reg.control("edtCDREDUCONT").setFocus();
        reg.control("edtCDREDUCONT").type(*a.account);
        reg.focusList();
      }
      if (a.writeOff) {
        reg.control("edtCDTPBAIXAREC").setFocus();
        reg.control("edtCDTPBAIXAREC").type(*a.writeOff);
        reg.focusList();
      }
      if (a.due) {
        const auto day = host::DateTime::parse(*a.due, "dd/mm/yyyy");
        if (!day) throw host::OperationError(fmt::format("Data inválida: {}", *a.due));
        reg.cdsBoletos.fieldByName("DTVENBOLREC").setDate(*day);
      }
      if (a.finePct) {
        enterNumber(reg, "dbePeMulta", "VRPEMULBREC", *a.finePct,
                    &rec::TfrmHabContRec::dbePeMultaExit);
      }
      if (a.fine) {
        enterNumber(reg, "dbeVrMulta", "VRMULTABREC", *a.fine,
                    &rec::TfrmHabContRec::dbeVrMultaExit);
      }
      if (a.interestPct) {
        enterNumber(reg, "dbePeMora", "VRPEMORBREC", *a.interestPct,
                    &rec::TfrmHabContRec::dbePeMoraExit);
      }
      if (a.interest) {
        enterNumber(reg, "dbeVrMora", "VRMORDIABREC", *a.interest,
                    &rec::TfrmHabContRec::dbeVrMoraExit);
      }
      if (a.message) reg.control("memTXMENSBOLBOL").type(*a.message);
      if (a.description) reg.cdsBoletos.fieldByName("FTR_DSBOLETREC").setString(*a.description);
      reg.Confirmar();
    } else {
      throw host::OperationError("Nada a alterar: informe ao menos um campo.");
    }

    int changed = 0;
    for (size_t i = 0; i < watched.size(); ++i) {
      if (!go(reg, watched[i])) continue;
      const Snapshot after = snapshot(reg);
      std::vector<std::string> lines;
      for (size_t f = 0; f < after.size(); ++f) {
        if (after[f] == before[i][f]) continue;
        const char* label = f < std::size(kReported) ? kReported[f].label : "Mensagem";
        lines.push_back(fmt::format("  {}: {} -> {}", label, before[i][f], after[f]));
      }
      if (lines.empty()) continue;
      ++changed;
      fmt::print("{}/{}\n", watched[i].branch, watched[i].number);
      for (const auto& l : lines) fmt::print("{}\n", l);
    }
    fmt::print("{} boleto(s) alterado(s)\n", changed);
    reg.close();
    return 0;
  });
}

const cli::Registrar registrar{[](CLI::App& app) {
  auto a = std::make_shared<UpdateArgs>();
  auto* c = app.add_subcommand(
      "update", "edit and confirm one boleto's receiving data on the register, headless");
  c->add_option("--company", a->company, "company (CDEMPRESA)")->capture_default_str();
  c->add_option("--boleto", a->boleto, "the boleto, BRANCH/NUMBER")->required();
  c->add_option("--due", a->due, "due date, dd/mm/yyyy");
  c->add_option("--account", a->account, "collection account (CDREDUCONT)");
  c->add_option("--writeoff", a->writeOff, "write-off type (CDTPBAIXAREC)");
  auto* finePct = c->add_option("--fine-pct", a->finePct, "fine, percent of the net value");
  auto* fine = c->add_option("--fine", a->fine, "fine, value");
  finePct->excludes(fine);
  auto* interestPct =
      c->add_option("--interest-pct", a->interestPct, "daily interest, percent of the net value");
  auto* interest = c->add_option("--interest", a->interest, "daily interest, value");
  interestPct->excludes(interest);
  c->add_option("--message", a->message, "bank message");
  c->add_option("--description", a->description, "the boleto's description");
  c->add_option("--marked", a->marked,
                "boletos marked first (BRANCH/NUMBER, comma separated): with --yes the data "
                "are replicated to them");
  c->add_flag("--yes", a->yes, "answer yes to the register's questions (default: no)");
  c->callback([a] {
    const int rc = update(*a);
    if (rc != 0) throw CLI::RuntimeError(rc);
  });
}};

}  // namespace
