// The register list's events as the desktop reports them: title clicks, double clicks, keys,
// entering a column, and the reload that keeps the current boleto.

#include "host/Errors.h"
#include "host/Screen.h"
#include "module/Creators.h"
#include "records/Tables.h"
#include "register/DisplayCodes.h"
#include "register/FiltroHabRec.h"
#include "register/HabContRec.h"
#include "register/Marcacao.h"

namespace rec {

using host::Value;

namespace {

constexpr const char* kDescription = "FTR_DSBOLETREC";

bool movesOut(GridKey key) {
  return key == GridKey::Tab || key == GridKey::Left || key == GridKey::Right ||
         key == GridKey::Up || key == GridKey::Down;
}

}  // namespace

void TfrmHabContRec::attachGrids() {
  auto& list = grid("dbgPadrao");
  list.setDataset(&cdsBoletos);
  list.setDisplayRule("FTR_IDSTATBREC",
                      [](const Value& v) { return reg::StatusText(v.asString(), true); });
  list.setDisplayRule("FTR_IDSITUCNABR",
                      [](const Value& v) { return reg::CnabSituationText(v.asString()); });
  list.setDisplayRule("FTR_IDPROTESTREC",
                      [](const Value& v) { return reg::ProtestText(v.asString()); });
  list.onTitleClick = [this](const std::string& field) { dbgPadraoTitleClick(field); };
  list.onDblClick = [this] { dbgPadraoDblClick(); };
  list.onKeyDown = [this](GridKey& key, ShiftState shift) { dbgPadraoKeyDown(key, shift); };
  list.onKeyPress = [this](char key) { dbgPadraoKeyPress(key); };
  list.onColEnter = [this](const std::string& field) { dbgPadraoColEnter(field); };

  auto& receivables = grid("dbgCntReceber");
  receivables.setDataset(&cdsCntReceber);
  receivables.onKeyDown = [this](GridKey& key, ShiftState shift) {
    dbgCntReceberKeyDown(key, shift);
  };
  // The receivables page shows the same receivables in full.
  grid("dbgFormulario").setDataset(&cdsCntReceber);
  grid("dbgAjustes").setDataset(&cdsAjBolRec);
  grid("dbgParcelamento").setDataset(&cdsParcelamento);
  grid("dbgTpRecBoleto").setDataset(&cdsTpRecBoleto);
}

void TfrmHabContRec::dbgPadraoTitleClick(const std::string& field) {
  if (field == "IDMARCADO") {
    if (!hasRows()) return;
    marcaMessages(messages());
    const bool unmark = cdsMarca.active() && !cdsMarca.isEmpty();
    if (!ask(unmark ? "CONF_DESMARC" : "CONF_MARC")) return;
    if (cdsMarca.active()) cdsMarca.emptyDataset();
    marcaRows_.clear();
    if (unmark) {
      unmarkAll();
    } else {
      markAll();
    }
    if (hasRows()) afterScroll();
    Habilita();
    return;
  }
  // Sorting would post a pending edit of the row: the operator confirms or cancels first.
  if (!cdsBoletos.active() || listEditing()) return;
  const std::string by = field == "FTR_NRPARCBOLREC" ? "FTR_PARCNUM" : field;
  if (cdsBoletos.fieldIndex(by) < 0) return;
  cdsBoletos.setIndexFieldNames(by);
}

void TfrmHabContRec::dbgPadraoDblClick() {
  if (!hasRows()) return;
  Marca_Boleto(true, 'T');
  if (current("IDMARCADO").asString() == "M") {
    // The boleto just marked: the first marked key names an older one as soon as two are.
    const std::string branch = current("CDFILIAL").asString();
    const std::string number = current("NRLANBOLREC").asString();
    const std::string customer = current("CDCLIENTE").asString();
    const auto& notes = creators();
    if (notes.NFDebitoCred && notes.CriaImpNFCred && notes.NFDebitoCred(customer, company())) {
      const int result = notes.CriaImpNFCred(branch, number, company(), customer,
                                             current("FTR_VRFINALBREC").asDouble());
      if (result == host::mrOk) {
        // The notes changed the boleto: the marks go with the reload.
        if (cdsMarca.active()) cdsMarca.emptyDataset();
        Fitro_Locate();
      }
    }
  }
  Habilita();
  if (hasRows()) afterScroll();
}

void TfrmHabContRec::dbgPadraoKeyDown(GridKey& key, ShiftState shift) {
  if (key == GridKey::Delete && shift.ctrl) {
    key = GridKey::None;
    return;
  }
  if (movesOut(key) && listEditing() && !cdsBoletos.isEmpty() &&
      control("mnuConfirmar").enabled()) {
    Confirmar();
  }
}

void TfrmHabContRec::dbgCntReceberKeyDown(GridKey& key, ShiftState shift) {
  if ((key == GridKey::Delete && shift.ctrl) || key == GridKey::Insert) key = GridKey::None;
}

void TfrmHabContRec::dbgPadraoColEnter(const std::string& field) {
  auto& g = grid("dbgPadrao");
  if (const int at = g.IndiceCol(field); at >= 0 && g.selectedColumn() != at) {
    g.setSelectedColumn(at);
  }
  if (field == kDescription) {
    if (listBrowse()) {
      g.setReadOnly(false);
      columnEditing = true;
    }
    return;
  }
  g.setReadOnly(true);
  columnEditing = false;
}

void TfrmHabContRec::dbgPadraoKeyPress(char key) {
  if (columnEditing) {
    descriptionEditMode();
    return;
  }
  if (key == ' ') dbgPadraoDblClick();
}

void TfrmHabContRec::descriptionEditMode() {
  if (!hasRows()) return;
  if (listBrowse()) cdsBoletos.edit();
  if (!listEditing()) return;
  for (const char* off : {"mnuAlterar", "mnuPesquisar", "mnuVerificar", "mnuFiltrar", "sbtEmail",
                          "mnuEnviaBoleto", "sbtImprimir"}) {
    control(off).setEnabled(false);
  }
  control("mnuConfirmar").setEnabled(true);
  control("mnuCancelar").setEnabled(true);
  control("pnlEmpresa").setEnabled(false);
  auto& pgc = pageControl("pgcPadrao");
  for (auto* page : pgc.pages()) pgc.setPageEnabled(page->name(), page->name() == "tshFolhaDados");
}

void TfrmHabContRec::Fitro_Locate() {
  const Value empresa = current("CDEMPRESA");
  const Value filial = current("CDFILIAL");
  const Value numero = current("NRLANBOLREC");
  if (frmFiltroHabRec() != nullptr) {
    CriaFiltroHabRec("ESCONDE_FILTRO");
    // The reload delivers every boleto unmarked: what was kept of the marks goes with them.
    clearMarking();
    marcaRows_.clear();
    budgetMarks_.clear();
  }
  if (cdsBoletos.active() && !filial.isNull()) {
    cdsBoletos.locate("CDEMPRESA;CDFILIAL;NRLANBOLREC", {empresa, filial, numero},
                      {.caseInsensitive = true});
  }
}

}  // namespace rec
