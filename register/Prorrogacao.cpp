// The "Prorrogação" tab: a new due date and an extension reason for the current boleto or for
// every marked boleto that may be extended. The confirmation selects the boletos, asks
// whether their nosso número stays, and sends them in one call.

#include <optional>

#include "host/Consiste.h"
#include "host/Dialogs.h"
#include "host/Errors.h"
#include "host/ScopedFlag.h"
#include "records/Methods.h"
#include "records/Tables.h"
#include "register/HabContRec.h"

namespace rec {

using host::ControlKind;
using host::Value;

namespace {

std::optional<host::DateTime> typedDate(const std::string& text) {
  const std::string t = host::AllTrim(text);
  if (t.empty()) return std::nullopt;
  return host::DateTime::parse(t, "dd/mm/yyyy");
}

constexpr const char* kLockedPages[] = {"tshFolhaDados", "tshFormulario",   "tshDadosRec",
                                        "tshAjustes",    "tshParcelamento", "tshTpRecBoleto"};

// The extension's edit state on or off: confirm and cancel against change, the other pages
// and the company panel locked or free.
void extensionEditing(TfrmHabContRec& f, bool on) {
  f.control("mnuAlterar").setEnabled(!on);
  f.control("mnuConfirmar").setEnabled(on);
  f.control("mnuCancelar").setEnabled(on);
  auto& pgc = f.pageControl("pgcPadrao");
  for (const char* page : kLockedPages) {
    pgc.setPageEnabled(page, !on);
    f.control(std::string("mnu") + (page + 3)).setEnabled(!on);
  }
  f.control("pnlEmpresa").setEnabled(!on);
}

}  // namespace

void TfrmHabContRec::attachExtension() {
  auto& m = messages();
  m.Add("Mot_Deve", "Motivo da prorrogação deve ser informado.");
  m.Add("Mot_N_Cad", "Motivo de prorrogação não cadastrado.");
  m.Add("bol_npode_pror", "Boleto emitido não pode ser prorrogado.");
  m.Add("Data_Inv", "Data inválida.");
  m.Add("MotProrr", "Motivos de Prorrogação");

  auto& ext = control("tshProrrogacao");
  addControl("sbtMotivo", ControlKind::Button, &ext).onClick = [this] {
    run([this] { PesquisaMotivo(); });
  };
  auto& date = control("edtNovaData");
  date.setCaption("!99/99/9999;1;_");
  date.onChange = [this] {
    const auto d = typedDate(control("edtNovaData").text());
    control("lblNomeSemana").setCaption(d ? host::NomeSemana(*d) : std::string());
    if (extensionReacts) {
      extensionTyped();
    } else {
      control("pnlEmpresa").setEnabled(false);
    }
  };
  date.onExit = [this] {
    const std::string text = host::AllTrim(control("edtNovaData").text());
    if (!text.empty() && !typedDate(text)) failOn("edtNovaData", "Data_Inv");
  };
  auto& reason = control("edtCDMOTIPROR");
  reason.onChange = [this] {
    if (extensionReacts) extensionTyped();
  };
  reason.onExit = [this] { Vd_Prorrogacao(false); };
}

void TfrmHabContRec::extensionTyped() {
  if (!pageShown("tshProrrogacao") || !hasRows()) return;
  extensionEditing(*this, true);
  control("mnuFiltrar").setEnabled(false);
  control("edtDSMOTIPROR").setText({});
}

void TfrmHabContRec::extensionEnded() {
  extensionEditing(*this, false);
}

void TfrmHabContRec::Vd_Prorrogacao(bool mandatory) {
  auto& reason = control("edtCDMOTIPROR");
  const auto stop = [this](std::string_view key) {
    pageControl("pgcPadrao").setActivePage("tshProrrogacao");
    failOn("edtCDMOTIPROR", key);
  };
  const std::string typed = host::AllTrim(reason.text());
  if (typed.empty()) {
    if (mandatory) stop("Mot_Deve");
    return;
  }
  const std::string code = host::Ajusta(typed, 2);
  reason.setText(code);
  callInto(cdsProrrogacao, rpc::GetProrrogacao{.CDMOTIPROR = code, .todos = ""});
  if (cdsProrrogacao.isEmpty()) stop("Mot_N_Cad");
  control("edtDSMOTIPROR").setText(cdsProrrogacao.valueOf("DSMOTIPROR").asString());
}

void TfrmHabContRec::PesquisaMotivo() {
  callInto(cdsProrrogacao, rpc::GetProrrogacao{.CDMOTIPROR = "", .todos = "T"});
  std::vector<std::string> items;
  for (size_t row = 1; row <= cdsProrrogacao.recordCount(); ++row) {
    items.push_back(cdsProrrogacao.valueAt(row, "CDMOTIPROR").asString() + " | " +
                    cdsProrrogacao.valueAt(row, "DSMOTIPROR").asString());
  }
  const auto chosen = host::dialogs().pickList(messages().Msg("MotProrr"), items);
  if (!chosen || *chosen < 0 || static_cast<size_t>(*chosen) >= items.size()) return;
  const size_t row = static_cast<size_t>(*chosen) + 1;
  control("edtCDMOTIPROR").type(cdsProrrogacao.valueAt(row, "CDMOTIPROR").asString());
  control("edtDSMOTIPROR").setText(cdsProrrogacao.valueAt(row, "DSMOTIPROR").asString());
}

void TfrmHabContRec::ValidaProrrogacao(bool all, std::string& notExtended) {
  notExtended.clear();
  if (cdsBolProrrogados.fieldCount() == 0) {
    cdsBolProrrogados.setFieldDefs(records::cdsBolProrrogados().fields());
  }
  if (!cdsBolProrrogados.active()) cdsBolProrrogados.createDataset();
  const auto newDue = typedDate(control("edtNovaData").text());
  if (!newDue) failOn("edtNovaData", "Data_Inv");
  const auto beforeEmission = [&] {
    const Value emitted = current("DTEMISSAO");
    return !emitted.isNull() && newDue->dateOnly() < emitted.asDate().dateOnly();
  };
  const auto extendable = [&] {
    const std::string changed = current("IDBOLRECALTER").asString();
    const std::string situation = host::AllTrim(current("IDSITUCNABR").asString());
    if (changed == "1" && situation != "00" && situation != "01") return false;
    return !beforeEmission() && current("IDSTATBREC").asString() != "E";
  };
  const auto add = [&] {
    cdsBolProrrogados.append();
    for (const char* f :
         {"CDFILIAL", "NRLANBOLREC", "CDNOSNUMREC", "IDBOLRECALTER", "IDSITUCNABR"}) {
      cdsBolProrrogados.fieldByName(f).setValue(current(f));
    }
    const std::string changed = current("IDBOLRECALTER").asString();
    if (changed == "2" || changed == "3") {
      cdsBolProrrogados.fieldByName("DSLINHABARREC").setValue(current("DSLINHABARREC"));
      cdsBolProrrogados.fieldByName("CDBARRAREC").setValue(current("CDBARRAREC"));
    }
    cdsBolProrrogados.post();
  };
  const auto leftOut = [&] {
    const Value due = current("DTVENBOLREC");
    notExtended += (due.isNull() ? std::string() : due.asDate().format("dd/mm/yyyy")) + " " +
                   current("NMRAZSOCCLIE").asString() + " - " +
                   host::FormatFloat("#,##0.00", current("VRFINALBREC").asDouble()) + "\r";
  };

  if (!all) {
    if (beforeEmission()) failOn("edtNovaData", "DtVen<DtEmi");
    if (current("IDSTATBREC").asString() == "E" && current("IDBOLRECALTER").asString() == "1") {
      error("bol_npode_pror");
    }
    add();
    return;
  }
  const auto where = cdsBoletos.bookmark();
  {
    host::FrozenDataset frozen(cdsBoletos);
    host::DetachedEvents quiet(cdsBoletos, &host::DatasetEvents::afterScroll);
    const auto back = [&] { cdsBoletos.gotoBookmark(where); };
    try {
      if (current("IDMARCADO").asString() != "M") {
        if (extendable()) {
          add();
        } else {
          leftOut();
        }
      }
      cdsBoletos.first();
      while (!cdsBoletos.eof()) {
        if (current("IDMARCADO").asString() == "M") {
          if (extendable()) {
            add();
          } else {
            leftOut();
            Marca_Boleto(false, 'T');
          }
        }
        cdsBoletos.next();
      }
    } catch (...) {
      back();
      throw;
    }
    back();
  }
}

void TfrmHabContRec::confirmaProrrogacao() {
  // 5.1
  if (cdsBolProrrogados.fieldCount() == 0) {
    cdsBolProrrogados.setFieldDefs(records::cdsBolProrrogados().fields());
  }
  if (!cdsBolProrrogados.active()) cdsBolProrrogados.createDataset();
  cdsBolProrrogados.emptyDataset();
  // 5.2
  const std::string typed = host::AllTrim(control("edtNovaData").text());
  if (typed.empty()) failOn("edtNovaData", "Data_Deve");
  const auto newDue = typedDate(typed);
  if (!newDue) failOn("edtNovaData", "Data_Inv");
  // 5.3
  Vd_Prorrogacao(true);
  // 5.4
  const size_t marked = cdsMarca.active() ? cdsMarca.recordCount() : 0;
  const bool all = marked >= 2 && ask("ProrrogTBol");
  std::string notExtended;
  ValidaProrrogacao(all, notExtended);
  // The boletos left out were unmarked: the marks restored after the reload are these.
  if (all && cdsMarcaAux.active()) {
    if (cdsMarca.active() && !cdsMarca.isEmpty()) {
      cdsMarcaAux.copyDataFrom(cdsMarca);
    } else {
      cdsMarcaAux.emptyDataset();
    }
  }
  // 5.5
  if (!cdsBolProrrogados.isEmpty()) {
    std::string nossoNumero = current("CDNOSNUMREC").asString();
    std::string emitted = current("IDBOLEMITIDO").asString();
    const bool asked = host::AllTrim(cdsBolProrrogados.valueOf("IDSITUCNABR").asString()) == "00" &&
                       !host::AllTrim(nossoNumero).empty();
    if (asked && !ask("ManterNNum")) {
      nossoNumero.clear();
      emitted.clear();
    } else if (!asked && host::AllTrim(nossoNumero).empty()) {
      // An empty number gives the boletos' numbers up: without the operator's no, the marked
      // boletos keep theirs even when the current one has none.
      for (size_t row = 1; row <= cdsBolProrrogados.recordCount() && nossoNumero.empty(); ++row) {
        nossoNumero = host::AllTrim(cdsBolProrrogados.valueAt(row, "CDNOSNUMREC").asString());
      }
    }
    host::WaitAnimation wait;
    rpc::call(*conn_,
              rpc::SetProrrogacao{
                  .DTVENBOLREC = *newDue,
                  .CDMOTIPROR = host::AllTrim(control("edtCDMOTIPROR").text()),
                  .CDEMPRESA = company(),
                  .CDNOSNUMREC = nossoNumero,
                  .cdsBolProrrogados = remote::Variant::packet(cdsBolProrrogados.toPacket()),
                  .IDBOLEMITIDO = emitted});
  }
  // 5.6, then 5.7
  if (!host::AllTrim(notExtended).empty()) showMsg("BoletosNPror", {Value("\r" + notExtended)});
  extensionEnded();
}

}  // namespace rec
